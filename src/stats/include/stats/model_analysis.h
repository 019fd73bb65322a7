#pragma once

// What a statistician asks of a response-surface fit, from the eleven responses alone, in
// double precision: the exact least-squares fit of the full quadratic model with standard
// errors, t and p values; the analysis of variance with lack of fit against the pure error of
// the three centre runs; R², adjusted and predicted R² and PRESS; the stationary point and its
// canonical analysis; and the largest and smallest predicted response over the plotted square.
// A figure that the data leave undefined (no pure error, a perfect fit, a flat response) or
// that lies beyond the range of a double is absent, and the rest is still given. The sums of
// squares are taken about the mean, in units scaled to the data and with compensated sums, so
// responses of 1e12 or 1e300 lose nothing to rounding or overflow.

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

// The model's terms' names, in the coefficients' order.
inline constexpr std::array<const char *, DesignTerms> TermNames{"b0",  "b1",  "b2",
                                                                 "b11", "b22", "b12"};

// A number, or nothing where the data leave it undefined or it is beyond a double's range.
using Figure = std::optional<double>;

struct Coefficient
{
    const char *term = ""; // b0, b1, b2, b11, b22, b12
    Figure estimate, se, t, p;
};

struct VarianceRow
{
    int df = 0;
    Figure ss, ms, f, p;
};

// A place on the coded plane and the predicted response there; a level surface has its value
// everywhere and so no place.
struct Point
{
    Figure x1, x2, y;
};

enum class Nature { Maximum, Minimum, Saddle, Ridge };

struct ModelAnalysis
{
    std::array<Coefficient, DesignTerms> coefficients; // b0, b1, b2, b11, b22, b12
    VarianceRow model, residual, lackOfFit, pureError, total;
    Figure rSquared, adjRSquared, predRSquared, press;
    std::optional<Point> stationary; // where both partial derivatives vanish
    std::optional<Nature> nature;    // none for a surface without curvature
    bool stationaryInside = false;
    std::array<Figure, 2> eigenvalues; // of the second-order part, smaller first
    Point maximum, minimum;            // over |X1|, |X2| <= SquareLimit
};

ModelAnalysis analyse(const Responses &responses);

// The analysis of variance as every edge lays it out: the rows in order, which of them is a
// part of the one above (lack of fit and pure error of the residual), and which cells they have.
enum class Source { Model, Residual, LackOfFit, PureError, Total };
struct VarianceLine
{
    Source source;
    const VarianceRow *row;
    bool part;       // indented under the residual
    bool meanSquare; // a mean square is shown
    bool test;       // F and p are shown
};
std::array<VarianceLine, 5> varianceLines(const ModelAnalysis &analysis);

// The model's prediction at a coded point (nothing where a coefficient is absent).
Figure predict(const ModelAnalysis &analysis, double x1, double x2);

// "maximum", "minimum", "saddle", "ridge".
const char *natureName(Nature nature);

} // namespace analysis
