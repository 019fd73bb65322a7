#include "core/goal.h"

#include <cmath>

namespace optimise {

std::optional<GoalFault> goalFault(const Goal &g)
{
    for (double v : {g.low, g.high, g.target, g.s1, g.s2}) {
        if (!std::isfinite(v))
            return GoalFault::NotFinite;
    }
    if (!(g.low < g.high))
        return GoalFault::LowNotBelowHigh;
    if (g.kind == GoalKind::Target && (g.target < g.low || g.target > g.high))
        return GoalFault::TargetOutside;
    if (!(g.s1 > 0) || !(g.s2 > 0))
        return GoalFault::ShapeNotPositive;
    if (g.importance < 1 || g.importance > 5)
        return GoalFault::ImportanceOutside;
    return std::nullopt;
}

} // namespace optimise
