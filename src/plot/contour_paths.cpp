#include "plot/contour_paths.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>

namespace plot {

namespace {

constexpr double Limit = PlotLimit;
// Cells of the tracing grid on each side: a loop smaller than a cell that is not an ellipse of
// its own would be missed, and at 128 such a loop is a speck of two screen pixels.
constexpr int Cells = 128;
constexpr int Side = Cells + 1;
constexpr int MaxDepth = 10;

struct Quadratic
{
    double b0, b1, b2, b11, b22, b12, level;
    double at(double x, double y) const
    {
        return b0 + b1 * x + b2 * y + b11 * x * x + b22 * y * y + b12 * x * y - level;
    }
    QPointF gradient(double x, double y) const
    {
        return {b1 + 2 * b11 * x + b12 * y, b2 + 2 * b22 * y + b12 * x};
    }
};

double gridValue(int i)
{
    return -Limit + (2 * Limit) * i / Cells;
}

// The point between p and q (where the values fp and fq differ in sign) at which the quadratic
// takes its level: along a grid line it is a quadratic in one variable with one root in
// between, bracketed to the last bit.
QPointF crossing(const Quadratic &f, QPointF p, QPointF q, double fp)
{
    if (fp == 0)
        return p;
    double lo = 0, hi = 1, flo = fp;
    for (int i = 0; i < 80 && hi - lo > 1e-16; ++i) {
        const double t = (lo + hi) / 2;
        const QPointF m = p + (q - p) * t;
        const double fm = f.at(m.x(), m.y());
        if (fm == 0)
            return m;
        if ((fm < 0) == (flo < 0)) {
            lo = t;
            flo = fm;
        } else {
            hi = t;
        }
    }
    return p + (q - p) * ((lo + hi) / 2);
}

// The point of the curve nearest to `m` along the gradient, when Newton's steps find it close
// by; nothing near a stationary point, where the gradient gives no direction.
std::optional<QPointF> project(const Quadratic &f, QPointF m, double reach)
{
    QPointF p = m;
    for (int i = 0; i < 12; ++i) {
        const double v = f.at(p.x(), p.y());
        const QPointF g = f.gradient(p.x(), p.y());
        const double gg = g.x() * g.x() + g.y() * g.y();
        if (!(gg > 1e-300))
            return std::nullopt;
        const QPointF step = g * (v / gg);
        p -= step;
        if (std::hypot(step.x(), step.y()) < 1e-14)
            break;
    }
    if (std::hypot(p.x() - m.x(), p.y() - m.y()) > reach || std::fabs(p.x()) > Limit ||
        std::fabs(p.y()) > Limit || std::fabs(f.at(p.x(), p.y())) > 1e-9 * (1 + std::fabs(f.level)))
        return std::nullopt;
    return p;
}

// Appends the points after p up to q, with points of the curve between them wherever the
// chord strays more than `tolerance` from it.
void refine(const Quadratic &f, QPointF p, QPointF q, double tolerance, int depth,
            std::vector<QPointF> &out)
{
    const QPointF mid = (p + q) / 2;
    const double chord = std::hypot(q.x() - p.x(), q.y() - p.y());
    if (depth < MaxDepth && chord > tolerance) {
        if (const auto m = project(f, mid, chord);
            m && std::hypot(m->x() - mid.x(), m->y() - mid.y()) > tolerance) {
            refine(f, p, *m, tolerance, depth + 1, out);
            refine(f, *m, q, tolerance, depth + 1, out);
            return;
        }
    }
    out.push_back(q);
}

// A closed level curve of an elliptic surface that lies wholly inside the square: drawn from
// its centre and axes, so a loop too small for the grid is never lost.
std::optional<ContourPiece> ellipse(const Quadratic &f, double tolerance)
{
    const double det = f.b11 * f.b22 - f.b12 * f.b12 / 4;
    if (!(det > 0))
        return std::nullopt;
    // The stationary point solves 2·b11·x + b12·y = -b1, b12·x + 2·b22·y = -b2.
    const double sx = (-f.b1 * 2 * f.b22 + f.b2 * f.b12) / (4 * det);
    const double sy = (-f.b2 * 2 * f.b11 + f.b1 * f.b12) / (4 * det);
    const double c = -f.at(sx, sy); // the level above (or below) the stationary value
    if (!(c / f.b11 > 0))
        return std::nullopt;
    const double reachX = std::sqrt(c * f.b22 / det), reachY = std::sqrt(c * f.b11 / det);
    if (!(std::fabs(sx) + reachX < Limit && std::fabs(sy) + reachY < Limit))
        return std::nullopt;
    // The axes: eigenvalues and the angle of the first axis of the matrix of the square terms.
    const double mean = (f.b11 + f.b22) / 2;
    const double spread = std::hypot((f.b11 - f.b22) / 2, f.b12 / 2);
    const double l1 = mean + spread, l2 = mean - spread;
    const double phi = std::atan2(f.b12, f.b11 - f.b22) / 2;
    const double r1 = std::sqrt(c / l1), r2 = std::sqrt(c / l2);
    const double longest = std::max(r1, r2);
    const int n = std::clamp(
        int(std::ceil(std::numbers::pi * std::sqrt(longest / (2 * tolerance)))), 16, 4096);
    ContourPiece piece;
    piece.closed = true;
    piece.points.reserve(std::size_t(n));
    const double cp = std::cos(phi), sp = std::sin(phi);
    for (int k = 0; k < n; ++k) {
        const double t = 2 * std::numbers::pi * k / n;
        const double u = r1 * std::cos(t), v = r2 * std::sin(t);
        QPointF p(sx + cp * u - sp * v, sy + sp * u + cp * v);
        // One Newton step takes the rounding of the parametrisation back onto the curve.
        if (const auto on = project(f, p, tolerance))
            p = *on;
        piece.points.push_back(p);
    }
    return piece;
}

// The marching squares over the grid: each cell's crossings joined into segments, the
// segments into pieces.
class Tracer
{
public:
    explicit Tracer(const Quadratic &f)
        : m_f(f)
        , m_values(std::size_t(Side * Side))
        , m_ends(std::size_t(2 * Side * Side), {-1, -1})
        , m_points(std::size_t(2 * Side * Side))
    {
        for (int j = 0; j < Side; ++j)
            for (int i = 0; i < Side; ++i)
                m_values[index(i, j)] = f.at(gridValue(i), gridValue(j));
        for (int j = 0; j < Cells; ++j)
            for (int i = 0; i < Cells; ++i)
                cell(i, j);
    }

    std::vector<std::vector<QPointF>> pieces(std::vector<bool> &closed);

private:
    static std::size_t index(int i, int j) { return std::size_t(j * Side + i); }
    // Edges: the horizontal one from (i, j) to (i + 1, j), the vertical one to (i, j + 1).
    static int horizontal(int i, int j) { return 2 * int(index(i, j)); }
    static int vertical(int i, int j) { return 2 * int(index(i, j)) + 1; }
    static bool onBorder(int edge)
    {
        const int at = edge / 2, i = at % Side, j = at / Side;
        return edge % 2 == 0 ? (j == 0 || j == Cells) : (i == 0 || i == Cells);
    }
    bool inside(int i, int j) const { return m_values[index(i, j)] >= 0; }
    QPointF pointOf(int edge) const { return m_points[std::size_t(edge)]; }
    void cross(int edge, int i, int j, int i2, int j2);
    void join(int a, int b);
    void cell(int i, int j);

    const Quadratic &m_f;
    std::vector<double> m_values;
    std::vector<std::array<int, 2>> m_ends; // the segments at each edge
    std::vector<QPointF> m_points;          // the crossing on each crossed edge
    std::vector<std::array<int, 2>> m_segments;
};

void Tracer::cross(int edge, int i, int j, int i2, int j2)
{
    const QPointF p(gridValue(i), gridValue(j)), q(gridValue(i2), gridValue(j2));
    const double fp = m_values[index(i, j)], fq = m_values[index(i2, j2)];
    // Always from the inside corner, so both cells of an edge find the same point.
    m_points[std::size_t(edge)] = fp >= 0 ? crossing(m_f, p, q, fp) : crossing(m_f, q, p, fq);
}

void Tracer::join(int a, int b)
{
    const int s = int(m_segments.size());
    m_segments.push_back({a, b});
    for (int e : {a, b}) {
        auto &at = m_ends[std::size_t(e)];
        (at[0] < 0 ? at[0] : at[1]) = s;
    }
}

void Tracer::cell(int i, int j)
{
    const bool c0 = inside(i, j), c1 = inside(i + 1, j), c2 = inside(i + 1, j + 1),
               c3 = inside(i, j + 1);
    const int bottom = horizontal(i, j), top = horizontal(i, j + 1), left = vertical(i, j),
              right = vertical(i + 1, j);
    std::array<int, 4> crossed{};
    int n = 0;
    if (c0 != c1)
        cross(crossed[std::size_t(n++)] = bottom, i, j, i + 1, j);
    if (c1 != c2)
        cross(crossed[std::size_t(n++)] = right, i + 1, j, i + 1, j + 1);
    if (c2 != c3)
        cross(crossed[std::size_t(n++)] = top, i, j + 1, i + 1, j + 1);
    if (c3 != c0)
        cross(crossed[std::size_t(n++)] = left, i, j, i, j + 1);
    if (n == 2) {
        join(crossed[0], crossed[1]);
    } else if (n == 4) {
        // A saddle: the centre's side says which diagonal corners the region joins.
        const double centre =
            m_f.at((gridValue(i) + gridValue(i + 1)) / 2, (gridValue(j) + gridValue(j + 1)) / 2);
        if ((centre >= 0) == c0) {
            join(bottom, right);
            join(top, left);
        } else {
            join(left, bottom);
            join(right, top);
        }
    }
}

std::vector<std::vector<QPointF>> Tracer::pieces(std::vector<bool> &closed)
{
    std::vector<bool> used(m_segments.size(), false);
    std::vector<std::vector<QPointF>> out;
    const auto walk = [&](int edge, int segment) {
        std::vector<QPointF> line{pointOf(edge)};
        while (segment >= 0 && !used[std::size_t(segment)]) {
            used[std::size_t(segment)] = true;
            const auto &s = m_segments[std::size_t(segment)];
            edge = s[0] == edge ? s[1] : s[0];
            if (line.back() != pointOf(edge))
                line.push_back(pointOf(edge));
            const auto &at = m_ends[std::size_t(edge)];
            segment = at[0] == segment ? at[1] : at[0];
        }
        return line;
    };
    // Pieces that end on the border first, from one of their ends; then the loops.
    for (int e = 0; e < int(m_ends.size()); ++e) {
        const int s = m_ends[std::size_t(e)][0];
        if (s >= 0 && m_ends[std::size_t(e)][1] < 0 && onBorder(e) && !used[std::size_t(s)]) {
            out.push_back(walk(e, s));
            closed.push_back(false);
        }
    }
    for (std::size_t s = 0; s < m_segments.size(); ++s) {
        if (used[s])
            continue;
        std::vector<QPointF> loop = walk(m_segments[s][0], int(s));
        if (loop.size() > 1 && loop.back() == loop.front())
            loop.pop_back();
        out.push_back(std::move(loop));
        closed.push_back(true);
    }
    return out;
}

} // namespace

std::vector<ContourPiece> traceLevel(const QuadraticCoefficients &b, double level,
                                     const PlotGeometry &g, double tolerance)
{
    const Quadratic f{b.b0, b.b1, b.b2, b.b11, b.b22, b.b12, level};
    const double perCoded = g.size / (2 * Limit);
    const double coded = std::max(tolerance, 1e-6) / perCoded;
    std::vector<ContourPiece> pieces;
    if (const auto loop = ellipse(f, coded)) {
        pieces.push_back(*loop);
    } else {
        std::vector<bool> closed;
        const auto lines = Tracer(f).pieces(closed);
        for (std::size_t k = 0; k < lines.size(); ++k) {
            const auto &line = lines[k];
            if (line.size() < 2)
                continue;
            ContourPiece piece;
            piece.closed = closed[k];
            piece.points.push_back(line.front());
            for (std::size_t i = 1; i < line.size(); ++i)
                refine(f, line[i - 1], line[i], coded, 0, piece.points);
            if (piece.closed) {
                refine(f, line.back(), line.front(), coded, 0, piece.points);
                piece.points.pop_back(); // the first point again
            }
            pieces.push_back(std::move(piece));
        }
    }
    for (ContourPiece &piece : pieces)
        for (QPointF &p : piece.points)
            p = QPointF(g.xOf(p.x()), g.yOf(p.y()));
    return pieces;
}

} // namespace plot
