#include "stats/multi_optimum.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <queue>

namespace optimise {

namespace {

constexpr double Limit = PlotLimit;
constexpr int MaxBoxes = 2'000'000;
constexpr double SmallestBox = 1e-10;

struct Box
{
    double lo1, hi1, lo2, hi2;
    Point centre() const { return {(lo1 + hi1) / 2, (lo2 + hi2) / 2}; }
};

// The points where a quadratic can take its extremes over a box: the corners, the stationary
// point of each edge and the interior stationary point, where they lie in the box.
template <typename Visit> void criticalPoints(const Model &q, const Box &box, Visit visit)
{
    for (double x1 : {box.lo1, box.hi1}) {
        for (double x2 : {box.lo2, box.hi2})
            visit(x1, x2);
        if (q[4] != 0) {
            const double x2 = -(q[2] + q[5] * x1) / (2 * q[4]);
            if (x2 > box.lo2 && x2 < box.hi2)
                visit(x1, x2);
        }
    }
    for (double x2 : {box.lo2, box.hi2}) {
        if (q[3] != 0) {
            const double x1 = -(q[1] + q[5] * x2) / (2 * q[3]);
            if (x1 > box.lo1 && x1 < box.hi1)
                visit(x1, x2);
        }
    }
    const double det = 4 * q[3] * q[4] - q[5] * q[5];
    if (det != 0) {
        const double x1 = (-2 * q[4] * q[1] + q[5] * q[2]) / det;
        const double x2 = (-2 * q[3] * q[2] + q[5] * q[1]) / det;
        if (x1 > box.lo1 && x1 < box.hi1 && x2 > box.lo2 && x2 < box.hi2)
            visit(x1, x2);
    }
}

struct Range
{
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
};

Range rangeOver(const Model &q, const Box &box)
{
    Range r;
    criticalPoints(q, box, [&](double x1, double x2) {
        const double v = predict(q, x1, x2);
        r.min = std::min(r.min, v);
        r.max = std::max(r.max, v);
    });
    return r;
}

// An affine map of a response, u = offset + scale · y, as a quadratic in X1 and X2.
Model affine(const Model &b, double offset, double scale)
{
    Model u;
    for (std::size_t i = 0; i < u.size(); ++i)
        u[i] = scale * b[i];
    u[0] += offset;
    return u;
}

// A goal ready for bounding: its response and the ratios whose powers its desirability is.
struct Prepared
{
    Goal goal;
    Model y;
    std::optional<Model> rising;  // (y - LOW) / (HIGH - LOW) or, for a target, / (TARGET - LOW)
    std::optional<Model> falling; // (HIGH - y) / (HIGH - LOW) or / (HIGH - TARGET)
};

Prepared prepare(const Response &r)
{
    const Goal &g = r.goal;
    Prepared p{g, r.model, std::nullopt, std::nullopt};
    switch (g.kind) {
    case GoalKind::Max:
        p.rising = affine(r.model, -g.low / (g.high - g.low), 1 / (g.high - g.low));
        break;
    case GoalKind::Min:
        p.falling = affine(r.model, g.high / (g.high - g.low), -1 / (g.high - g.low));
        break;
    case GoalKind::Target:
        if (g.target > g.low)
            p.rising = affine(r.model, -g.low / (g.target - g.low), 1 / (g.target - g.low));
        if (g.target < g.high)
            p.falling = affine(r.model, g.high / (g.high - g.target), -1 / (g.high - g.target));
        break;
    case GoalKind::Range:
        break;
    }
    return p;
}

struct Bound
{
    bool infeasible = false; // some goal has d = 0 on the whole box
    double ub = 0;           // of D over the box
    Point candidate;         // where the tangent bound peaks: a good point to try
};

// Adds the tangent of weight · log(min(u, 1)) at the box's centre to the bound's quadratic;
// false when the ratio cannot be positive on the box.
bool addRatio(const Model &u, double weight, const Box &box, double &simple, Model &q,
              double &constant)
{
    const Range r = rangeOver(u, box);
    if (!(r.max > 0))
        return false;
    simple += weight * std::log(std::min(r.max, 1.0));
    if (r.min >= 1)
        return true; // d = 1 on the whole box
    const Point c = box.centre();
    const double at = predict(u, c.x1, c.x2);
    if (at >= 1)
        return true; // 0 bounds log d from above
    // log is concave: log u <= log e + (u - e) / e for any e > 0.
    const double e = at > 0 ? at : std::min(r.max, 1.0);
    for (std::size_t i = 0; i < q.size(); ++i)
        q[i] += weight / e * u[i];
    constant += weight * (std::log(e) - 1);
    return true;
}

Bound bound(const std::vector<Prepared> &goals, const Box &box, int weights)
{
    Bound b;
    double simple = 0, constant = 0;
    Model q{};
    for (const Prepared &p : goals) {
        const Goal &g = p.goal;
        const double r = g.importance;
        if (g.kind == GoalKind::Range || g.kind == GoalKind::Target) {
            const Range y = rangeOver(p.y, box);
            if (y.max < g.low || y.min > g.high) {
                b.infeasible = true;
                return b;
            }
            if (g.kind == GoalKind::Range)
                continue;
        }
        // A target's desirability is the smaller of its two sides: either bounds it, the one
        // on the centre's side best.
        const Point c = box.centre();
        const bool rising = p.rising && (!p.falling || predict(p.y, c.x1, c.x2) <= g.target);
        const Model &ratio = rising ? *p.rising : *p.falling;
        const double shape = !rising && g.kind == GoalKind::Target ? g.s2 : g.s1;
        if (!addRatio(ratio, r * shape, box, simple, q, constant)) {
            b.infeasible = true;
            return b;
        }
    }
    double peak = -std::numeric_limits<double>::infinity();
    criticalPoints(q, box, [&](double x1, double x2) {
        const double v = predict(q, x1, x2);
        if (v > peak) {
            peak = v;
            b.candidate = {x1, x2};
        }
    });
    b.ub = std::exp(std::min(simple, peak + constant) / weights);
    return b;
}

struct Node
{
    Box box;
    double ub;
    bool operator<(const Node &o) const { return ub < o.ub; }
};

struct Search
{
    Point best;
    double D = 0;
    double bound = 0;
};

Search branchAndBound(const std::vector<Response> &responses, double tolerance)
{
    std::vector<Prepared> goals;
    int weights = 0;
    for (const Response &r : responses) {
        goals.push_back(prepare(r));
        weights += r.goal.importance;
    }
    Search s;
    const auto tryPoint = [&](Point p) {
        const double d = overall(responses, p.x1, p.x2);
        if (d > s.D) {
            s.D = d;
            s.best = p;
        }
    };
    std::priority_queue<Node> open;
    const Box square{-Limit, Limit, -Limit, Limit};
    const auto consider = [&](const Box &box) {
        const Bound b = bound(goals, box, weights);
        if (b.infeasible)
            return;
        tryPoint(box.centre());
        tryPoint(b.candidate);
        // Kept while it may hold a better point; with nothing found yet, while it may hold any.
        if (b.ub > s.D + tolerance || (s.D == 0 && b.ub > 0))
            open.push({box, b.ub});
    };
    consider(square);
    int boxes = 0;
    double unresolved = 0;
    while (!open.empty()) {
        const Node n = open.top();
        if (n.ub <= s.D + tolerance && s.D > 0)
            break;
        open.pop();
        if (++boxes > MaxBoxes) {
            open.push(n);
            break;
        }
        const Box &b = n.box;
        if (b.hi1 - b.lo1 < SmallestBox) {
            unresolved = std::max(unresolved, n.ub);
            continue;
        }
        const double m1 = (b.lo1 + b.hi1) / 2, m2 = (b.lo2 + b.hi2) / 2;
        consider({b.lo1, m1, b.lo2, m2});
        consider({m1, b.hi1, b.lo2, m2});
        consider({b.lo1, m1, m2, b.hi2});
        consider({m1, b.hi1, m2, b.hi2});
    }
    s.bound =
        std::max({s.D + (s.D > 0 ? tolerance : 0), open.empty() ? 0 : open.top().ub, unresolved});
    s.bound = std::min(s.bound, 1.0);
    return s;
}

// Exact squared Euclidean distance transform of one line (Felzenszwalb and Huttenlocher): the
// lower envelope of the parabolas (q - p)² + f[p].
void distanceLine(std::vector<double> &f)
{
    const int n = int(f.size());
    const auto at = [](const auto &a, int i) {
        return a[std::size_t(i)];
    };
    std::vector<int> v(f.size(), 0);                     // the parabolas of the envelope
    std::vector<double> z(f.size() + 1, 0), d(f.size()); // where each takes over
    const double infinity = std::numeric_limits<double>::infinity();
    int k = 0;
    z[0] = -infinity;
    z[1] = infinity;
    const auto crossing = [&](int q, int p) {
        return ((at(f, q) + double(q) * q) - (at(f, p) + double(p) * p)) / (2.0 * (q - p));
    };
    for (int q = 1; q < n; ++q) {
        double s = crossing(q, at(v, k));
        while (s <= at(z, k)) {
            --k;
            s = crossing(q, at(v, k));
        }
        ++k;
        v[std::size_t(k)] = q;
        z[std::size_t(k)] = s;
        z[std::size_t(k) + 1] = infinity;
    }
    k = 0;
    for (int q = 0; q < n; ++q) {
        while (at(z, k + 1) < q)
            ++k;
        const int p = at(v, k);
        d[std::size_t(q)] = double(q - p) * (q - p) + at(f, p);
    }
    f = std::move(d);
}

std::optional<Plateau> plateauOf(const std::vector<Response> &responses, double level)
{
    constexpr int N = 512;
    const double cell = 2 * Limit / N;
    const auto at = [&](int i) {
        return -Limit + (i + 0.5) * cell;
    };
    // Squared distance (in cells) to the nearest cell outside the region.
    const double far = 4.0 * N * N;
    std::vector<double> grid(std::size_t(N) * N);
    int inside = 0;
    for (int j = 0; j < N; ++j) {
        for (int i = 0; i < N; ++i) {
            const bool met = overall(responses, at(i), at(j)) >= level * (1 - 1e-12);
            inside += met;
            grid[std::size_t(j) * N + std::size_t(i)] = met ? far : 0;
        }
    }
    if (inside == 0)
        return std::nullopt;
    std::vector<double> line(N);
    for (int j = 0; j < N; ++j) { // rows
        std::copy_n(grid.begin() + j * N, N, line.begin());
        distanceLine(line);
        std::copy_n(line.begin(), N, grid.begin() + j * N);
    }
    for (int i = 0; i < N; ++i) { // columns
        for (int j = 0; j < N; ++j)
            line[std::size_t(j)] = grid[std::size_t(j) * N + std::size_t(i)];
        distanceLine(line);
        for (int j = 0; j < N; ++j)
            grid[std::size_t(j) * N + std::size_t(i)] = line[std::size_t(j)];
    }
    Plateau p;
    p.share = double(inside) / (double(N) * N);
    for (int j = 0; j < N; ++j) {
        for (int i = 0; i < N; ++i) {
            const double toOutside = grid[std::size_t(j) * N + std::size_t(i)];
            if (toOutside == 0)
                continue;
            // To the nearest cell not in the region, half a cell short of it; and to the
            // square's own edge.
            const double edge =
                std::min({at(i) + Limit, Limit - at(i), at(j) + Limit, Limit - at(j)});
            const double depth =
                std::min(toOutside >= far ? edge : (std::sqrt(toOutside) - 0.5) * cell, edge);
            if (depth > p.depth) {
                p.depth = depth;
                p.robust = {at(i), at(j)};
            }
        }
    }
    return p;
}

Alone aloneBest(const Response &r)
{
    const Goal &g = r.goal;
    const Range y = rangeOver(r.model, {-Limit, Limit, -Limit, Limit});
    double best = y.max;
    switch (g.kind) {
    case GoalKind::Max:
        best = y.max;
        break;
    case GoalKind::Min:
        best = y.min;
        break;
    case GoalKind::Target:
        best = std::clamp(g.target, y.min, y.max);
        break;
    case GoalKind::Range:
        best = std::clamp((g.low + g.high) / 2, y.min, y.max);
        break;
    }
    return {best, desirability(g, best)};
}

} // namespace

std::optional<Model> fittedModel(const analysis::Responses &responses)
{
    const analysis::ModelAnalysis a = analysis::analyse(responses);
    Model b{};
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (!a.coefficients[i].estimate)
            return std::nullopt;
        b[i] = *a.coefficients[i].estimate;
    }
    return b;
}

Answer optimiseGoals(const std::vector<Response> &responses, double tolerance)
{
    Answer a;
    if (responses.empty())
        return a;
    const Search s = branchAndBound(responses, tolerance);
    a.bound = s.bound;
    if (s.D > 0) {
        a.optimum = s.best;
        a.D = s.D;
        // D is the same on a region only where each d is: fully met there, or the goal's
        // response flat. Otherwise its maximum is a point or a curve, and there is no region.
        const bool region = std::all_of(responses.begin(), responses.end(), [&](const Response &r) {
            const bool flat =
                std::all_of(r.model.begin() + 1, r.model.end(), [](double b) { return b == 0; });
            return flat ||
                   desirability(r.goal, predict(r.model, s.best.x1, s.best.x2)) >= 1 - 1e-12;
        });
        if (region)
            a.plateau = plateauOf(responses, s.D);
        return a;
    }
    // No formulation meets every goal: what each could reach alone, and which cannot be met
    // together, alone or in pairs.
    for (const Response &r : responses)
        a.alone.push_back(aloneBest(r));
    for (int i = 0; i < int(responses.size()); ++i) {
        if (a.alone[std::size_t(i)].d == 0)
            a.conflicts.push_back({i, i});
    }
    if (!a.conflicts.empty())
        return a;
    for (int i = 0; i < int(responses.size()); ++i) {
        for (int j = i + 1; j < int(responses.size()); ++j) {
            if (branchAndBound({responses[std::size_t(i)], responses[std::size_t(j)]}, tolerance)
                    .D == 0)
                a.conflicts.push_back({i, j});
        }
    }
    return a;
}

} // namespace optimise
