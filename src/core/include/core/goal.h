#pragma once

// A goal on a fitted response, as a formulation chemist states it: as large as possible above
// LOW (fully met from HIGH on), as small as possible, near a TARGET, or anywhere in a range;
// with shape exponents and an importance. Plain data: the desirability it defines is computed
// in the statistics, and the database keeps the goals of the last use.

#include <optional>

namespace optimise {

enum class GoalKind { Max, Min, Target, Range };

struct Goal
{
    GoalKind kind = GoalKind::Max;
    double low = 0, high = 1;
    double target = 0;     // Target only
    double s1 = 1, s2 = 1; // shape exponents; s2 the upper side of a Target
    int importance = 3;    // r, 1 ... 5
    bool operator==(const Goal &) const = default;
};

// What can be wrong with a goal; each edge words it.
enum class GoalFault {
    NotFinite,         // a limit, target or shape that is not a finite number
    LowNotBelowHigh,   // LOW >= HIGH
    TargetOutside,     // TARGET outside [LOW, HIGH]
    ShapeNotPositive,  // a shape <= 0
    ImportanceOutside, // an importance outside 1 ... 5
};
std::optional<GoalFault> goalFault(const Goal &goal);

// "max", "min", "target", "range": the kinds as the command line and the database name them.
const char *goalKindName(GoalKind kind);
std::optional<GoalKind> goalKindNamed(const char *name);

} // namespace optimise
