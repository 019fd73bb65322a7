#pragma once

// The formulation that best meets every goal: the largest overall desirability over the
// plotted square |X1|, |X2| <= 1.414, found by branch and bound. Each box of the square gets an
// upper bound of D from the exact range of every fitted quadratic over it and, tighter, from
// the tangent of the logarithm of each desirability (log is concave, so log d lies below its
// tangent, a quadratic in X1 and X2 whose maximum over the box is exact). Boxes whose bound
// does not beat the best point found by more than the tolerance are dropped, the others split,
// so the answer is within the tolerance of the true maximum of D, or the remaining gap is said.

#include "stats/desirability.h"
#include "stats/model_analysis.h"

#include <optional>
#include <vector>

namespace optimise {

struct Point
{
    double x1 = 0, x2 = 0;
};

// Where the maximum of D is reached on a region (every goal fully met there, or a goal on a
// flat response): its share of the square and its most robust point, the one farthest from
// the region's edge (at `depth`, in coded units).
// Found on a 512 x 512 grid of the square: the share and the point to its resolution.
struct Plateau
{
    double share = 0;
    Point robust;
    double depth = 0;
};

// The best a goal could reach alone over the square: the predicted response and its d.
struct Alone
{
    double y = 0, d = 0;
};

struct Answer
{
    std::optional<Point> optimum; // none: no point of the square has D > 0
    double D = 0;
    double bound = 0; // the true maximum of D is at most this
    std::optional<Plateau> plateau;
    std::vector<Alone> alone;                   // with no optimum, one a goal
    std::vector<std::pair<int, int>> conflicts; // with no optimum: goals (by index) that cannot
                                                // be met together; (i, i) for one alone
};

inline constexpr double Tolerance = 1e-7;

// The model a goal is on: the exact least-squares fit of the eleven responses (none when a
// coefficient is beyond a double's range).
std::optional<Model> fittedModel(const analysis::Responses &responses);

Answer optimiseGoals(const std::vector<Response> &responses, double tolerance = Tolerance);

} // namespace optimise
