#include "stats/tail_probabilities.h"

#include <array>
#include <cmath>
#include <numbers>
#include <optional>

namespace analysis {

namespace {

constexpr int MaxTerms = 200;

// I_x(a, b) for x <= 1/2 as x^a (1-x)^b / (a B(a, b)) times the sum over n of
// (a+b)_n / (a+1)_n x^n, every term positive. `prefactor` is x^a (1-x)^b / (a B(a, b)); the
// ratios of successive terms' coefficients are fixed by (a, b) and computed once.
template <int TwiceA, int TwiceB> struct BetaSeries
{
    std::array<double, MaxTerms> ratio{};
    BetaSeries()
    {
        const double a = TwiceA / 2.0, b = TwiceB / 2.0;
        for (int n = 0; n < MaxTerms; ++n)
            ratio[std::size_t(n)] = (a + b + n) / (a + 1 + n);
    }
    double operator()(double x, double prefactor) const
    {
        double term = 1, sum = 1;
        for (int n = 0; n < MaxTerms; ++n) {
            term *= ratio[std::size_t(n)] * x;
            sum += term;
            if (term <= sum * 1e-17)
                break;
        }
        return prefactor * sum;
    }
};

// x^(k/2) for a small whole k, from a square root and products only.
double halfPower(double x, int twice)
{
    double p = twice % 2 ? std::sqrt(x) : 1;
    for (int i = 0; i < twice / 2; ++i)
        p *= x;
    return p;
}

// I_x(a, b) with a and b given doubled, from x and 1 - x (each computed directly by the caller,
// so neither carries the rounding of the other); a·B(a, b) given.
template <int TwiceA, int TwiceB>
double incompleteBeta(double x, double oneMinusX, double aBeta, double bBeta)
{
    static const BetaSeries<TwiceA, TwiceB> lower;
    static const BetaSeries<TwiceB, TwiceA> upper;
    if (x <= 0.5)
        return lower(x, halfPower(x, TwiceA) * halfPower(oneMinusX, TwiceB) / aBeta);
    // I_x(a, b) = 1 - I_(1-x)(b, a): the series on the other side.
    return 1 - upper(oneMinusX, halfPower(oneMinusX, TwiceB) * halfPower(x, TwiceA) / bBeta);
}

constexpr double Pi = std::numbers::pi;
constexpr double Sqrt5 = 2.2360679774997896964091736687312762;

// The t tail's closed form subtracts nearly equal numbers where the tail is thin: below this
// x (|t| above √20, the tail below 0.007) the series takes over, and the closed form loses
// at most some forty roundings' worth (about 1e-14 relative) at the edge.
constexpr double TSeriesBelow = 0.2;

// The series of I_x(5/2, 1/2) in x, as a polynomial whose twenty-five terms reach below the
// last bit for x < 0.2; its coefficients are the running products of (3 + n) / (7/2 + n).
constexpr int TSeriesDegree = 24;
constexpr std::array<double, TSeriesDegree + 1> tSeriesCoefficients()
{
    std::array<double, TSeriesDegree + 1> c{};
    double product = 1;
    for (int n = 0; n <= TSeriesDegree; ++n) {
        c[std::size_t(n)] = product;
        product *= (6.0 + 2 * n) / (7.0 + 2 * n);
    }
    return c;
}

// In pairs, fours and eights (every term positive): a short chain of dependent products
// instead of one term after the other.
double tSeries(double x)
{
    static constexpr auto c = tSeriesCoefficients();
    const double x2 = x * x, x4 = x2 * x2, x8 = x4 * x4;
    std::array<double, 12> pairs{};
    for (std::size_t i = 0; i < pairs.size(); ++i)
        pairs[i] = c[2 * i] + c[2 * i + 1] * x;
    std::array<double, 6> fours{};
    for (std::size_t i = 0; i < fours.size(); ++i)
        fours[i] = pairs[2 * i] + pairs[2 * i + 1] * x2;
    const double eights[] = {fours[0] + fours[1] * x4, fours[2] + fours[3] * x4,
                             fours[4] + fours[5] * x4};
    return eights[0] + (eights[1] + (eights[2] + c[TSeriesDegree] * x8) * x8) * x8;
}

// The ends both F tails share: no number stays none, 0 and below leave all of the mass above,
// infinity none of it.
std::optional<double> fEnds(double f)
{
    if (std::isnan(f))
        return f;
    if (f <= 0)
        return 1;
    if (std::isinf(f))
        return 0;
    return std::nullopt;
}

} // namespace

double tTwoSided5(double t)
{
    if (std::isnan(t))
        return t;
    // P(|T| >= t) = I_x(5/2, 1/2) at x = 5 / (5 + t²).
    const double tt = t * t;
    if (std::isinf(tt))
        return 0;
    const double x = 5 / (5 + tt);
    if (x < TSeriesBelow) {
        // x^(5/2) (1 - x)^(1/2) / (5/2 · B(5/2, 1/2)) times the series; B(5/2, 1/2) = 3π/8.
        const double y = tt / (5 + tt);
        return x * x * std::sqrt(x * y) / (2.5 * 3 * Pi / 8) * tSeries(x);
    }
    // With φ = atan(√5 / |t|), whose sine squared is x: (2/π) (φ - sin φ cos φ (1 + 2x/3)).
    const double size = std::fabs(t);
    const double phi = std::atan(Sqrt5 / size);
    return 2 / Pi * (phi - Sqrt5 * size / (5 + tt) * (1 + 2 * x / 3));
}

double fUpper5And5(double f)
{
    if (const auto end = fEnds(f))
        return *end;
    // P(F >= f) = I_x(5/2, 5/2) at x = 5 / (5 + 5f); B(5/2, 5/2) = 3π/128.
    const double x = 1 / (1 + f), y = f / (1 + f);
    return incompleteBeta<5, 5>(x, y, 2.5 * 3 * Pi / 128, 2.5 * 3 * Pi / 128);
}

double fUpper3And2(double f)
{
    if (const auto end = fEnds(f))
        return *end;
    // P(F >= f) = I_x(1, 3/2) at x = 2 / (2 + 3f), which is 1 - y^(3/2) with y = 1 - x; as
    // (1 - y³) / (1 + y^(3/2)) = x (1 + y + y²) / (1 + y^(3/2)), with x and y each computed
    // directly, every term is positive: no subtraction where the tail is thin.
    const double d = 2 + 3 * f;
    const double x = 2 / d, y = std::isinf(d) ? 1 : 3 * f / d;
    return x * (1 + y + y * y) / (1 + y * std::sqrt(y));
}

} // namespace analysis
