#pragma once

// What a statistician asks of a response-surface fit, from the eleven responses alone, in
// double precision: the exact least-squares fit of the full quadratic model with standard
// errors, t and p values; the analysis of variance with lack of fit against the pure error of
// the three centre runs; R², adjusted and predicted R² and PRESS; the stationary point and its
// canonical analysis; and the largest and smallest predicted response over the plotted square.
// A figure that the data leave undefined (no pure error, a perfect fit, a flat response) is
// absent, and the rest is still given.

#include "core/design.h"

#include <QString>

#include <array>
#include <optional>

namespace analysis {

using Responses = std::array<double, DesignRuns>;

// The coded half-width of the plotted square.
inline constexpr double SquareLimit = PlotLimit;
// An eigenvalue this small against the other (in absolute value) makes the surface a ridge.
inline constexpr double RidgeRatio = 0.01;

struct Coefficient
{
    const char *term = ""; // b0, b1, b2, b11, b22, b12
    double estimate = 0;
    std::optional<double> se, t, p;
};

struct VarianceRow
{
    int df = 0;
    double ss = 0;
    std::optional<double> ms, f, p;
};

struct Point
{
    double x1 = 0, x2 = 0, y = 0;
};

enum class Nature { Maximum, Minimum, Saddle, Ridge };

struct ModelAnalysis
{
    std::array<Coefficient, DesignTerms> coefficients; // b0, b1, b2, b11, b22, b12
    VarianceRow model, residual, lackOfFit, pureError, total;
    std::optional<double> rSquared, adjRSquared, predRSquared;
    double press = 0;
    std::optional<Point> stationary; // where both partial derivatives vanish
    std::optional<Nature> nature;    // none for a surface without curvature
    bool stationaryInside = false;
    std::array<double, 2> eigenvalues{}; // of the second-order part, smaller first
    Point maximum, minimum;              // over |X1|, |X2| <= SquareLimit
};

ModelAnalysis analyse(const Responses &responses);

// The model's prediction at a coded point.
double predict(const ModelAnalysis &analysis, double x1, double x2);

// "maximum", "minimum", "saddle", "ridge".
const char *natureName(Nature nature);

} // namespace analysis
