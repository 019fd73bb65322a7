#include "core/numbers.h"
#include "plot/contour_paths.h"

#include <array>
#include <cmath>

namespace plot {

namespace {

constexpr double CodedLimit = PlotLimit;
constexpr double SweepStep = 0.01;
constexpr double LabelMargin = 200;
constexpr int ListCapacity = 1001;
// More levels than any line count gives; bounds the time a pathological step can take.
constexpr int MaxLevels = 10000;

// The 283 sweep values -1.414, -1.404, ... about 1.406, by repeated addition as the sweeps
// step them.
struct SweepValues
{
    std::array<double, 300> v{};
    int count = 0;
    SweepValues()
    {
        for (double x = -CodedLimit; x <= CodedLimit; x += SweepStep)
            v[std::size_t(count++)] = x;
    }
};
const SweepValues &sweepValues()
{
    static const SweepValues values;
    return values;
}

struct PointList
{
    std::array<double, ListCapacity> x{};
    std::array<double, ListCapacity> y{};
    int count = 0;
    void append(double px, double py)
    {
        if (count < ListCapacity) {
            x[std::size_t(count)] = px;
            y[std::size_t(count)] = py;
            ++count;
        }
    }
};

// Solves a·t² + b·t + c = 0 for a != 0 and hands each root within the coded square to `found`
// with the list it belongs to: 1 plus root, 2 minus root.
template <typename Found> void solveQuadratic(double a, double b, double c, Found &&found)
{
    // The quadratic case solves also when b is 0: a symmetric surface still has its contours.
    const double d = b * b - 4 * a * c;
    if (!(d >= 0))
        return;
    const double sq = std::sqrt(d);
    const double plus = ((-b + sq) / 2) / a;
    const double minus = ((-b - sq) / 2) / a;
    if (std::fabs(plus) <= CodedLimit)
        found(1, plus);
    if (std::fabs(minus) <= CodedLimit)
        found(2, minus);
}

} // namespace

QString levelLabel(float level)
{
    return numbers::NumberText(numbers::roundHundredthsAwayFromZero(double(level)));
}

std::vector<float> contourLevels(const LevelRange &range)
{
    std::vector<float> levels;
    if (range.max == range.min)
        return levels;
    const float levelMax = range.max, step = range.step;
    float level = range.min;
    if (!std::isfinite(level) || !std::isfinite(levelMax) || !std::isfinite(step) || step < 0)
        return levels;
    while (level <= levelMax && int(levels.size()) < MaxLevels) {
        levels.push_back(level);
        // A step of 0 (or one too small to move the level) gives this level once.
        const float next = level + step;
        if (!(next > level))
            break;
        level = next;
    }
    return levels;
}

namespace {

// One direction of the sweep, with what does not depend on the level: at each sweep value v,
// the level curve solves square·r² + linear·r + constant = level for the other coordinate r;
// `at` is the value's place on the surface.
struct Sweep
{
    double square = 0;
    std::array<double, 300> linear{}, constant{}, at{};
};

// X1 fixed, solving for X2 (`column`), or X2 fixed, solving for X1.
Sweep sweepOf(const ContourMap &map, bool column)
{
    const double b0 = map.b.b0, b1 = map.b.b1, b2 = map.b.b2, b11 = map.b.b11, b22 = map.b.b22;
    const double b12 = map.b.b12;
    const SweepValues &sweep = sweepValues();
    Sweep s;
    s.square = column ? b22 : b11;
    for (int i = 0; i < sweep.count; ++i) {
        const double v = sweep.v[std::size_t(i)];
        s.linear[std::size_t(i)] = column ? b2 + b12 * v : b1 + b12 * v;
        s.constant[std::size_t(i)] =
            column ? b0 + b1 * v + b11 * (v * v) : b0 + b2 * v + b22 * (v * v);
        s.at[std::size_t(i)] = column ? map.geometry.xOf(v) : map.geometry.yOf(v);
    }
    return s;
}

// Each root of the sweep at `level`, handed to `found` with the sweep value's index and the
// list it belongs to: 0 linear root, 1 plus root, 2 minus root.
template <typename Found> void solveSweep(const Sweep &s, float level, Found &&found)
{
    for (int i = 0; i < sweepValues().count; ++i) {
        const double base = s.constant[std::size_t(i)];
        const double b = s.linear[std::size_t(i)];
        if (s.square == 0) {
            // Linear in r: the root written as the level minus the rest, over b.
            if (b != 0) {
                const double root = (double(level) - base) / b;
                if (std::fabs(root) <= CodedLimit)
                    found(i, 0, root);
            }
        } else {
            solveQuadratic(s.square, b, base - double(level),
                           [&](int which, double root) { found(i, which, root); });
        }
    }
}

// The designed places of the k-th level's labels: a point of each list well inside the
// square, at 1/2 or 1/2.5 of its list, so neighbouring levels' labels do not stack.
std::vector<QPointF> labelPoints(const std::array<PointList, 3> &lists, int k,
                                 const PlotGeometry &g)
{
    std::vector<QPointF> points;
    const double d = k % 2 == 0 ? 2 : 2.5;
    for (const PointList &list : lists) {
        // An empty list gives no label: its position 0 holds no point of this level.
        if (list.count == 0)
            continue;
        const auto m = std::size_t(std::nearbyint(list.count / d));
        const double px = list.x[m], py = list.y[m];
        if (g.left + LabelMargin < px && px < g.left + g.size - LabelMargin &&
            g.top + LabelMargin < py && py < g.top + g.size - LabelMargin)
            points.emplace_back(px, py);
    }
    return points;
}

// The level's value printed centred on each of its designed places.
void printLevelLabels(const std::array<PointList, 3> &lists, int k, float level,
                      const PlotGeometry &g, Surface &surface, std::vector<TextBox> *labels)
{
    const QString text = levelLabel(level);
    for (const QPointF &p : labelPoints(lists, k, g)) {
        const float w = surface.TextWidth(text) / 2;
        const float h = surface.TextHeight(text) / 2;
        surface.CurrentX = float(p.x() - double(w));
        surface.CurrentY = float(p.y() - double(h));
        surface.Print(text);
        if (labels)
            labels->push_back(
                {p.x() - double(w), p.y() - double(h), p.x() + double(w), p.y() + double(h)});
    }
}

} // namespace

std::vector<std::vector<QPointF>> levelLabelPlaces(const ContourMap &map,
                                                   const std::vector<float> &levels)
{
    const Sweep columns = sweepOf(map, true);
    std::vector<std::vector<QPointF>> places;
    std::array<PointList, 3> lists;
    for (std::size_t k = 0; k < levels.size(); ++k) {
        for (PointList &list : lists)
            list.count = 0;
        solveSweep(columns, levels[k], [&](int i, int which, double root) {
            lists[std::size_t(which)].append(columns.at[std::size_t(i)], map.geometry.yOf(root));
        });
        places.push_back(labelPoints(lists, int(k) + 1, map.geometry));
    }
    return places;
}

int DrawContours(const ContourMap &map, Surface &surface, std::vector<TextBox> *labels,
                 const std::vector<TextBox> &avoid)
{
    if (surface.KeepsPaths())
        return drawContourFigure(map, surface, labels, avoid);
    const std::vector<float> levels = contourLevels(map.levels);
    if (levels.empty())
        return 0;
    const Sweep columns = sweepOf(map, true), rows = sweepOf(map, false);
    const std::int32_t colour = map.colour;
    std::array<PointList, 3> lists; // linear, plus and minus roots of the column sweep
    int dots = 0;
    for (std::size_t k = 0; k < levels.size(); ++k) {
        const float level = levels[k];
        for (PointList &list : lists)
            list.count = 0;
        // Column sweep: X1 fixed, solve for X2; its points also place the labels.
        solveSweep(columns, level, [&](int i, int which, double root) {
            const double px = columns.at[std::size_t(i)], py = map.geometry.yOf(root);
            lists[std::size_t(which)].append(px, py);
            surface.PSet(float(px), float(py), colour);
            ++dots;
        });
        if (map.showLabels)
            printLevelLabels(lists, int(k) + 1, level, map.geometry, surface, labels);
        // Row sweep: X2 fixed, solve for X1; plotted only.
        solveSweep(rows, level, [&](int i, int, double root) {
            surface.PSet(float(map.geometry.xOf(root)), float(rows.at[std::size_t(i)]), colour);
            ++dots;
        });
    }
    return dots;
}

} // namespace plot
