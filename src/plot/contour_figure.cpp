#include "plot/contour_paths.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>

namespace plot {

namespace {

// How far a label keeps from the border of the square, and the gap beyond each end of its text.
constexpr double LabelInset = 20;
constexpr double GapBeyondText = 0.25; // of the text's height
// Where along its curve a label may move from its designed place, in widths of its gap.
constexpr std::array<double, 13> Offsets{0, 0.5, -0.5, 1, -1, 1.5, -1.5, 2, -2, 3, -3, 4, -4};

// A label's gap: a rectangle turned along the curve.
struct Gap
{
    QString text;
    QPointF centre;
    double degrees = 0;
    double halfLength = 0, halfHeight = 0;

    QPointF along() const
    {
        const double a = degrees * std::numbers::pi / 180;
        return {std::cos(a), std::sin(a)};
    }
    std::array<QPointF, 4> corners() const
    {
        const QPointF u = along() * halfLength, v = QPointF(-along().y(), along().x()) * halfHeight;
        return {centre - u - v, centre + u - v, centre + u + v, centre - u + v};
    }
    // The part [t0, t1] of the segment from a to b inside the rectangle, if any.
    std::optional<std::pair<double, double>> cuts(QPointF a, QPointF b) const
    {
        const QPointF u = along(), v(-u.y(), u.x());
        const QPointF p = a - centre, d = b - a;
        double t0 = 0, t1 = 1;
        for (const auto &[axis, half] : {std::pair{u, halfLength}, std::pair{v, halfHeight}}) {
            const double at = QPointF::dotProduct(p, axis), step = QPointF::dotProduct(d, axis);
            if (step == 0) {
                if (std::fabs(at) >= half)
                    return std::nullopt;
                continue;
            }
            double lo = (-half - at) / step, hi = (half - at) / step;
            if (lo > hi)
                std::swap(lo, hi);
            t0 = std::max(t0, lo);
            t1 = std::min(t1, hi);
        }
        if (!(t0 < t1))
            return std::nullopt;
        return std::pair{t0, t1};
    }
    TextBox extent() const
    {
        TextBox box{1e300, 1e300, -1e300, -1e300};
        for (const QPointF &c : corners()) {
            box.left = std::min(box.left, c.x());
            box.top = std::min(box.top, c.y());
            box.right = std::max(box.right, c.x());
            box.bottom = std::max(box.bottom, c.y());
        }
        return box;
    }
};

// Whether two convex quadrilaterals overlap: no axis of either separates them.
bool overlap(const std::array<QPointF, 4> &a, const std::array<QPointF, 4> &b)
{
    for (const auto *shape : {&a, &b}) {
        for (std::size_t i = 0; i < 4; ++i) {
            const QPointF e = (*shape)[(i + 1) % 4] - (*shape)[i];
            const QPointF n(-e.y(), e.x());
            double aMin = 1e300, aMax = -1e300, bMin = 1e300, bMax = -1e300;
            for (const QPointF &p : a) {
                aMin = std::min(aMin, QPointF::dotProduct(p, n));
                aMax = std::max(aMax, QPointF::dotProduct(p, n));
            }
            for (const QPointF &p : b) {
                bMin = std::min(bMin, QPointF::dotProduct(p, n));
                bMax = std::max(bMax, QPointF::dotProduct(p, n));
            }
            if (aMax <= bMin || bMax <= aMin)
                return false;
        }
    }
    return true;
}

std::array<QPointF, 4> cornersOf(const TextBox &b)
{
    return {QPointF(b.left, b.top), QPointF(b.right, b.top), QPointF(b.right, b.bottom),
            QPointF(b.left, b.bottom)};
}

// A piece with the arc length at each of its points, to walk along it.
struct Walk
{
    const ContourPiece &piece;
    std::vector<double> at;
    double length = 0;

    explicit Walk(const ContourPiece &p)
        : piece(p)
    {
        const auto &pts = p.points;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            at.push_back(length);
            const QPointF next = pts[(i + 1) % pts.size()];
            if (i + 1 < pts.size() || p.closed)
                length += std::hypot(next.x() - pts[i].x(), next.y() - pts[i].y());
        }
    }
    // The point at arc length s: around a loop, or nothing beyond the ends of an open piece.
    std::optional<QPointF> point(double s) const
    {
        const auto &pts = piece.points;
        if (piece.closed)
            s = std::fmod(std::fmod(s, length) + length, length);
        else if (s < 0 || s > length)
            return std::nullopt;
        const auto next = std::upper_bound(at.begin(), at.end(), s);
        const std::size_t i = std::size_t(next - at.begin()) - 1;
        const QPointF a = pts[i], b = pts[(i + 1) % pts.size()];
        const double span = (i + 1 < at.size() ? at[i + 1] : length) - at[i];
        return span > 0 ? a + (b - a) * ((s - at[i]) / span) : a;
    }
};

// The first place along the curve, from the designed one outwards, where the label's gap fits
// inside the square, follows a curve nearly straight under it and is clear of `taken`.
std::optional<Gap> placeLabel(const QString &text, double w, double h, QPointF designed,
                              const std::vector<ContourPiece> &pieces, const PlotGeometry &g,
                              const std::vector<std::array<QPointF, 4>> &taken)
{
    double best = 1e300;
    std::size_t piece = 0, vertex = 0;
    for (std::size_t k = 0; k < pieces.size(); ++k)
        for (std::size_t i = 0; i < pieces[k].points.size(); ++i) {
            const QPointF d = pieces[k].points[i] - designed;
            if (const double dd = QPointF::dotProduct(d, d); dd < best) {
                best = dd;
                piece = k;
                vertex = i;
            }
        }
    if (pieces.empty())
        return std::nullopt;
    const Walk walk(pieces[piece]);
    const double gap = w + 2 * GapBeyondText * h;
    for (const double offset : Offsets) {
        const double s = walk.at[vertex] + offset * gap;
        const auto c = walk.point(s), a = walk.point(s - gap / 2), b = walk.point(s + gap / 2);
        if (!c || !a || !b || *a == *b)
            continue;
        Gap label{text, *c, std::atan2(b->y() - a->y(), b->x() - a->x()) * 180 / std::numbers::pi,
                  gap / 2, h / 2};
        if (label.degrees > 90)
            label.degrees -= 180;
        else if (label.degrees <= -90)
            label.degrees += 180;
        // Text set on a bend would lean off its curve.
        const QPointF n(-label.along().y(), label.along().x());
        bool straight = true;
        for (const double f : {-0.25, 0.25})
            if (const auto q = walk.point(s + f * gap))
                straight = straight && std::fabs(QPointF::dotProduct(*q - *c, n)) <= h / 3;
        const auto corners = label.corners();
        const bool inside = std::all_of(corners.begin(), corners.end(), [&](QPointF p) {
            return p.x() > g.left + LabelInset && p.x() < g.left + g.size - LabelInset &&
                   p.y() > g.top + LabelInset && p.y() < g.top + g.size - LabelInset;
        });
        if (straight && inside && std::none_of(taken.begin(), taken.end(), [&](const auto &t) {
                return overlap(t, corners);
            }))
            return label;
    }
    return std::nullopt;
}

// The piece without what lies under any label: the lines that remain.
std::vector<ContourPiece> cutGaps(const ContourPiece &piece, const std::vector<Gap> &gaps)
{
    auto points = piece.points;
    if (piece.closed && !points.empty())
        points.push_back(points.front());
    std::vector<ContourPiece> out;
    ContourPiece current;
    bool cut = false;
    const auto end = [&] {
        if (current.points.size() >= 2)
            out.push_back(std::move(current));
        current = {};
    };
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const QPointF a = points[i], b = points[i + 1];
        const auto at = [&](double u) {
            return a + (b - a) * u;
        };
        std::vector<std::pair<double, double>> under;
        for (const Gap &gap : gaps)
            if (const auto part = gap.cuts(a, b))
                under.push_back(*part);
        std::sort(under.begin(), under.end());
        double t = 0;
        for (const auto &[t0, t1] : under) {
            if (t0 > t) {
                if (current.points.empty())
                    current.points.push_back(at(t));
                current.points.push_back(at(t0));
            }
            end();
            cut = true;
            t = std::max(t, t1);
        }
        if (t < 1) {
            if (current.points.empty())
                current.points.push_back(at(t));
            current.points.push_back(b);
        }
    }
    end();
    if (!cut)
        return {piece};
    // A loop cut open: its last line runs on into its first.
    if (piece.closed && out.size() > 1 && out.back().points.back() == out.front().points.front()) {
        out.back().points.insert(out.back().points.end(), out.front().points.begin() + 1,
                                 out.front().points.end());
        out.erase(out.begin());
    }
    return out;
}

} // namespace

int drawContourFigure(const ContourMap &map, Surface &surface, std::vector<TextBox> *labels,
                      const std::vector<TextBox> &avoid)
{
    const std::vector<float> levels = contourLevels(map.levels);
    if (levels.empty())
        return 0;
    std::vector<std::vector<ContourPiece>> traced;
    for (const float level : levels)
        traced.push_back(traceLevel(map.b, double(level), map.geometry, surface.PathTolerance()));
    std::vector<Gap> gaps;
    if (map.showLabels) {
        std::vector<std::array<QPointF, 4>> taken;
        for (const TextBox &box : avoid)
            taken.push_back(cornersOf(box));
        for (const auto &corners : surface.TurnedLabels)
            if (corners.size() == 4)
                taken.push_back({corners[0], corners[1], corners[2], corners[3]});
        const auto places = levelLabelPlaces(map, levels);
        for (std::size_t k = 0; k < levels.size(); ++k) {
            const QString text = levelLabel(levels[k]);
            const double w = surface.TextWidth(text), h = surface.TextHeight(text);
            for (const QPointF &place : places[k]) {
                if (const auto gap =
                        placeLabel(text, w, h, place, traced[k], map.geometry, taken)) {
                    taken.push_back(gap->corners());
                    gaps.push_back(*gap);
                }
            }
        }
    }
    int points = 0;
    for (const auto &pieces : traced)
        for (const ContourPiece &piece : pieces)
            for (const ContourPiece &line : cutGaps(piece, gaps)) {
                surface.Path(line.points, line.closed, map.colour);
                points += int(line.points.size());
            }
    for (const Gap &gap : gaps) {
        surface.PrintTurned(gap.text, gap.centre.x(), gap.centre.y(), gap.degrees);
        const auto corners = gap.corners();
        surface.TurnedLabels.emplace_back(corners.begin(), corners.end());
        if (labels)
            labels->push_back(gap.extent());
    }
    return points;
}

} // namespace plot
