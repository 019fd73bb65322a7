#include "stats/desirability.h"

#include <cmath>

namespace optimise {

double desirability(const Goal &g, double y)
{
    switch (g.kind) {
    case GoalKind::Max:
        if (y <= g.low)
            return 0;
        return y >= g.high ? 1 : std::pow((y - g.low) / (g.high - g.low), g.s1);
    case GoalKind::Min:
        if (y >= g.high)
            return 0;
        return y <= g.low ? 1 : std::pow((g.high - y) / (g.high - g.low), g.s1);
    case GoalKind::Target:
        if (y < g.low || y > g.high)
            return 0;
        if (y == g.target)
            return 1;
        return y < g.target ? std::pow((y - g.low) / (g.target - g.low), g.s1)
                            : std::pow((g.high - y) / (g.high - g.target), g.s2);
    case GoalKind::Range:
        return y >= g.low && y <= g.high ? 1 : 0;
    }
    return 0;
}

double predict(const Model &b, double x1, double x2)
{
    return b[0] + b[1] * x1 + b[2] * x2 + b[3] * x1 * x1 + b[4] * x2 * x2 + b[5] * x1 * x2;
}

double overall(const std::vector<Response> &responses, double x1, double x2)
{
    double logSum = 0;
    int weights = 0;
    for (const Response &r : responses) {
        const double d = desirability(r.goal, predict(r.model, x1, x2));
        if (!(d > 0))
            return 0;
        logSum += r.goal.importance * std::log(d);
        weights += r.goal.importance;
    }
    return weights ? std::exp(logSum / weights) : 0;
}

} // namespace optimise
