#pragma once

// The least squares of the design, exact to the rounding of the data: the eleven runs, the
// model's terms, (XᵀX)⁻¹, compensated sums, and the responses scaled by a power of two and
// centred, so that sums of squares keep the digits of responses far from 1 and never
// overflow. For the model analysis only.

#include "stats/model_analysis.h"

#include <array>
#include <cmath>
#include <optional>

namespace analysis::ls {

constexpr int Terms = DesignTerms;
constexpr int Runs = DesignRuns;
using Row = std::array<double, Terms>;
using Matrix = std::array<Row, Terms>;

// The centre's runs among the design's (core/design.h).
constexpr std::array<int, ::CentreRuns> CentreRuns{8, 9, 10};
static_assert(CentreRuns[0] == DesignRuns - ::CentreRuns);

// The model's terms at a point: 1, X1, X2, X1², X2², X1·X2; of one point or of points side
// by side in the lanes of a vector (`one` holds a 1 in each).
template <typename Number>
constexpr std::array<Number, Terms> termsOf(Number one, Number x1, Number x2)
{
    return {one, x1, x2, x1 * x1, x2 * x2, x1 * x2};
}
constexpr Row termsAt(double x1, double x2)
{
    return termsOf(1.0, x1, x2);
}

// Where a run's term is zero (a centre run's X1, an axial run's X1·X2): the products there
// are ±0, and the sums over the runs add them as the others (a compensated sum that starts at
// +0 is never -0, and adding ±0 to it changes no bit).
using RunTerms = std::array<std::array<bool, Terms>, Runs>;
constexpr RunTerms vanishingTerms()
{
    RunTerms zero{};
    for (int r = 0; r < Runs; ++r) {
        const Row x = termsAt(DesignPoints[std::size_t(r)][0], DesignPoints[std::size_t(r)][1]);
        for (int i = 0; i < Terms; ++i)
            zero[std::size_t(r)][std::size_t(i)] = x[std::size_t(i)] == 0;
    }
    return zero;
}
inline constexpr RunTerms VanishingTerms = vanishingTerms();

// A term whose column is orthogonal to every other (X1, X2 and X1·X2 in this design) has the
// column itself over its sum of squares as its row of (XᵀX)⁻¹Xᵀ: zero where the term is.
constexpr bool orthogonalTerm(int i)
{
    for (int j = 0; j < Terms; ++j) {
        double product = 0;
        for (int r = 0; r < Runs; ++r) {
            const Row x = termsAt(DesignPoints[std::size_t(r)][0], DesignPoints[std::size_t(r)][1]);
            product += x[std::size_t(i)] * x[std::size_t(j)];
        }
        if (j != i && product != 0)
            return false;
    }
    return true;
}
constexpr RunTerms vanishingProjection()
{
    RunTerms zero{};
    for (int r = 0; r < Runs; ++r)
        for (int i = 0; i < Terms; ++i)
            zero[std::size_t(r)][std::size_t(i)] =
                orthogonalTerm(i) && VanishingTerms[std::size_t(r)][std::size_t(i)];
    return zero;
}
inline constexpr RunTerms VanishingProjection = vanishingProjection();
static_assert(VanishingProjection[8][1] && VanishingProjection[4][5] && !VanishingProjection[8][0],
              "the centre's X1 and the axial runs' X1·X2 leave the fit");

// (XᵀX)⁻¹ of the design, by Gauss-Jordan elimination with partial pivoting.
const Matrix &inverseNormal();

// A compensated sum: the exact rounding of each addition (Knuth's two-sum, without the
// branch of Neumaier's form, the same error to the bit) is carried along. Over a vector of
// doubles it is as many sums side by side, each lane rounded as alone.
template <typename Number> class SumOf
{
public:
    void add(Number v)
    {
        const Number t = m_sum + v;
        const Number vPart = t - m_sum;
        m_carry += (m_sum - (t - vPart)) + (v - vPart);
        m_sum = t;
    }
    Number value() const { return m_sum + m_carry; }

private:
    Number m_sum{}, m_carry{};
};
using Sum = SumOf<double>;

// What depends on the design alone, computed once: each run's terms, the projection
// (XᵀX)⁻¹Xᵀ that turns the responses into the coefficients (a row a run: what its response
// adds to each coefficient), each run's leverage and the diagonal of (XᵀX)⁻¹ the standard
// errors scale.
struct Design
{
    std::array<Row, Runs> terms{};
    std::array<Row, Runs> projection{};
    std::array<double, Runs> leverage{};
    Row variance{};
};
const Design &design();

// A figure, or nothing for what is no finite number.
inline Figure figure(double v)
{
    return std::isfinite(v) ? Figure(v) : std::nullopt;
}

// What rounding alone leaves in a sum of `n` squares of deviations computed from values no
// larger than `magnitude`: a sum this small is no variation in the data.
double roundingFloor(int n, double magnitude);

// The responses in units of a power of two at least as large as the largest of them (exact),
// centred on their mean: every figure is computed from these, and scaled back at the end.
struct Scaled
{
    double scale = 1;    // a response is (centred + mean) * scale
    double mean = 0;     // in scaled units
    Responses centred{}; // in scaled units, |centred| < 4
    double largest = 0;  // of |centred|
    bool level = false;  // every response the same
    bool finite = true;  // every response a finite number
};

Scaled scaledResponses(const Responses &y);

// The least-squares coefficients of the centred, scaled responses.
Row fitScaled(const Responses &c);

double predictScaled(const Row &b, double x1, double x2);

// Points where the fitted surface is wanted, at most ten.
struct Points
{
    static constexpr int Max = 10;
    std::array<double, Max> x1{}, x2{};
    int count = 0;
    void add(double at1, double at2)
    {
        x1[std::size_t(count)] = at1;
        x2[std::size_t(count)] = at2;
        ++count;
    }
};

// The surface at each point, as predictScaled gives it, two points at a time.
std::array<double, Points::Max> predictScaled(const Row &b, const Points &at);

// The pure error of the centre runs, in units of a power of two of their own size: a centre
// far below the largest response keeps its digits.
struct PureError
{
    double ss = 0; // in units of scale²
    double scale = 1;
};

PureError pureError(const Responses &y);

// Sums of squares in scaled units (the pure error's may underflow there: its own is kept).
struct Squares
{
    double residual = 0, pureError = 0, total = 0, press = 0;
    bool pressDefined = true;
    PureError own;
};

Squares squares(const Scaled &s, const Row &b, const Responses &y);

} // namespace analysis::ls
