#include "core/goal.h"

#include <cmath>
#include <cstring>

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

namespace {
constexpr const char *KindNames[] = {"max", "min", "target", "range"};
} // namespace

const char *goalKindName(GoalKind kind)
{
    return KindNames[int(kind)];
}

std::optional<GoalKind> goalKindNamed(const char *name)
{
    for (int i = 0; i < 4; ++i) {
        if (std::strcmp(name, KindNames[i]) == 0)
            return GoalKind(i);
    }
    return std::nullopt;
}

} // namespace optimise
