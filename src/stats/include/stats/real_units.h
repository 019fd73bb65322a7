#pragma once

// The fitted model in the chemist's units: the coded coefficients with X = (x - centre) / step
// substituted, and coded points read back as real settings.

#include "core/factors.h"
#include "stats/model_analysis.h"

#include <array>

namespace analysis {

// y = c0 + c1·x1 + c2·x2 + c11·x1² + c22·x2² + c12·x1·x2, in this order; none when a coded
// coefficient is absent or a real one is beyond a double's range.
using RealCoefficients = std::array<Figure, DesignTerms>;
// Their names: c0, c1, c2, c11, c22, c12.
inline constexpr std::array<const char *, DesignTerms> RealCoefficientNames{"c0",  "c1",  "c2",
                                                                            "c11", "c22", "c12"};
// From b0, b1, b2, b11, b22, b12.
RealCoefficients realCoefficients(const std::array<Figure, DesignTerms> &coded,
                                  const Factors &factors);
// From the analysis' estimates.
RealCoefficients realCoefficients(const ModelAnalysis &analysis, const Factors &factors);

// The model in real units as an equation in the factors' names, each coefficient to six
// significant digits: "y = -47.6344 + 1.61161·温度 - 0.0112709·温度² ...", "y = NA" without one.
QString realEquation(const RealCoefficients &coefficients, const Factors &factors);

// A coded point's real settings (none where the coded place is absent).
struct RealPoint
{
    Figure x1, x2;
};
RealPoint realPoint(const Point &point, const Factors &factors);

} // namespace analysis
