#include "least_squares.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

namespace analysis::ls {

// (XᵀX)⁻¹ of the design, by Gauss-Jordan elimination with partial pivoting.
const Matrix &inverseNormal()
{
    static const Matrix inverse = [] {
        Matrix a{}, inv{};
        for (int r = 0; r < Runs; ++r) {
            const Row x = termsAt(DesignPoints[std::size_t(r)][0], DesignPoints[std::size_t(r)][1]);
            for (int i = 0; i < Terms; ++i)
                for (int j = 0; j < Terms; ++j)
                    a[std::size_t(i)][std::size_t(j)] += x[std::size_t(i)] * x[std::size_t(j)];
        }
        for (int i = 0; i < Terms; ++i)
            inv[std::size_t(i)][std::size_t(i)] = 1;
        for (int c = 0; c < Terms; ++c) {
            int pivot = c;
            for (int r = c + 1; r < Terms; ++r)
                if (std::fabs(a[std::size_t(r)][std::size_t(c)]) >
                    std::fabs(a[std::size_t(pivot)][std::size_t(c)]))
                    pivot = r;
            std::swap(a[std::size_t(c)], a[std::size_t(pivot)]);
            std::swap(inv[std::size_t(c)], inv[std::size_t(pivot)]);
            const double d = a[std::size_t(c)][std::size_t(c)];
            for (int k = 0; k < Terms; ++k) {
                a[std::size_t(c)][std::size_t(k)] /= d;
                inv[std::size_t(c)][std::size_t(k)] /= d;
            }
            for (int r = 0; r < Terms; ++r) {
                if (r == c)
                    continue;
                const double f = a[std::size_t(r)][std::size_t(c)];
                for (int k = 0; k < Terms; ++k) {
                    a[std::size_t(r)][std::size_t(k)] -= f * a[std::size_t(c)][std::size_t(k)];
                    inv[std::size_t(r)][std::size_t(k)] -= f * inv[std::size_t(c)][std::size_t(k)];
                }
            }
        }
        return inv;
    }();
    return inverse;
}

const Design &design()
{
    static const Design d = [] {
        Design out;
        const Matrix &inverse = inverseNormal();
        for (int r = 0; r < Runs; ++r)
            out.terms[std::size_t(r)] =
                termsAt(DesignPoints[std::size_t(r)][0], DesignPoints[std::size_t(r)][1]);
        for (int i = 0; i < Terms; ++i) {
            out.variance[std::size_t(i)] = inverse[std::size_t(i)][std::size_t(i)];
            for (int r = 0; r < Runs; ++r) {
                Sum p;
                for (int j = 0; j < Terms; ++j)
                    p.add(inverse[std::size_t(i)][std::size_t(j)] *
                          out.terms[std::size_t(r)][std::size_t(j)]);
                out.projection[std::size_t(r)][std::size_t(i)] =
                    VanishingProjection[std::size_t(r)][std::size_t(i)] ? 0 : p.value();
            }
        }
        for (int r = 0; r < Runs; ++r) {
            Sum h;
            for (int i = 0; i < Terms; ++i)
                h.add(out.terms[std::size_t(r)][std::size_t(i)] *
                      out.projection[std::size_t(r)][std::size_t(i)]);
            out.leverage[std::size_t(r)] = h.value();
        }
        return out;
    }();
    return d;
}

// What rounding alone leaves in a sum of `n` squares of deviations computed from values no
// larger than `magnitude`: a sum this small is no variation in the data.
double roundingFloor(int n, double magnitude)
{
    const double unit = 64 * std::numeric_limits<double>::epsilon() * magnitude;
    return n * unit * unit;
}

namespace {

// The largest power of two not above `big` (1 for 0), and a division by it. Below the normal
// range the division is made; above it, a product with the inverse, which is exact there and
// gives the same real quotient, so the same rounding: no division a response.
struct Unit
{
    double scale = 1;
    double inverse = 1;
    bool normal = true;
    double of(double v) const { return normal ? v * inverse : v / scale; }
};

Unit unitOf(double big)
{
    Unit u;
    if (big >= std::numeric_limits<double>::min()) {
        // The exponent's bits alone: 2^floor(log2 big).
        u.scale = std::bit_cast<double>(std::bit_cast<std::uint64_t>(big) & 0x7FF0000000000000u);
        u.inverse = 1 / u.scale;
    } else if (big > 0) {
        int exponent = 0;
        std::frexp(big, &exponent);
        u.scale = std::ldexp(1.0, exponent - 1);
        u.normal = false;
    }
    return u;
}

} // namespace

// The responses in units of a power of two at least as large as the largest of them (exact),
// centred on their mean: every figure is computed from these, and scaled back at the end.
Scaled scaledResponses(const Responses &y)
{
    Scaled s;
    double big = 0;
    for (double v : y) {
        s.finite = s.finite && std::isfinite(v);
        big = std::max(big, std::fabs(v));
    }
    s.level = std::all_of(y.begin(), y.end(), [&](double v) { return v == y[0]; });
    if (!s.finite)
        return s;
    const Unit unit = unitOf(big); // |response / scale| < 2, and 2^1023 is finite
    s.scale = unit.scale;
    // About the first response first: near responses differ exactly, and their mean is then
    // taken of the small differences, not of the large level.
    const double shift = unit.of(y[0]);
    Sum total;
    for (double v : y)
        total.add(unit.of(v) - shift);
    const double offset = s.level ? 0 : total.value() / Runs;
    s.mean = shift + offset;
    for (int r = 0; r < Runs; ++r) {
        s.centred[std::size_t(r)] = s.level ? 0 : (unit.of(y[std::size_t(r)]) - shift) - offset;
        s.largest = std::max(s.largest, std::fabs(s.centred[std::size_t(r)]));
    }
    return s;
}

namespace {

// Two doubles side by side (the compilers' vector extension, SSE2's packed arithmetic): each
// lane is rounded as the same operation on one double is.
using Pair = double __attribute__((vector_size(16)));
constexpr int Pairs = (Runs + 1) / 2; // the runs in pairs, the last lane of the last unused

Pair pairAt(const double *at)
{
    Pair p;
    std::memcpy(&p, at, sizeof p);
    return p;
}

// The design's terms a term at a time, the runs in pairs.
using TermColumns = std::array<std::array<Pair, Pairs>, Terms>;
const TermColumns &termColumns()
{
    static const TermColumns columns = [] {
        TermColumns out{};
        for (int r = 0; r < Runs; ++r)
            for (int i = 0; i < Terms; ++i)
                out[std::size_t(i)][std::size_t(r / 2)][r % 2] =
                    design().terms[std::size_t(r)][std::size_t(i)];
        return out;
    }();
    return columns;
}

// Each run's 1 - h, the runs in pairs (1 past the last).
const std::array<Pair, Pairs> &leftOutDivisors()
{
    static const std::array<Pair, Pairs> divisors = [] {
        std::array<Pair, Pairs> out{};
        for (int r = 0; r < 2 * Pairs; ++r)
            out[std::size_t(r / 2)][r % 2] = r < Runs ? 1 - design().leverage[std::size_t(r)] : 1;
        return out;
    }();
    return divisors;
}

} // namespace

// The least-squares coefficients of the centred, scaled responses: the design's projection
// applied to them. The six sums run side by side in pairs, each adding the runs in their
// order. Where the projection vanishes its product is ±0, which changes no bit of a
// compensated sum that started at +0 (the responses are finite here).
Row fitScaled(const Responses &c)
{
    const Design &d = design();
    std::array<SumOf<Pair>, Terms / 2> sums;
    for (int r = 0; r < Runs; ++r)
        for (int k = 0; k < Terms / 2; ++k)
            sums[std::size_t(k)].add(pairAt(&d.projection[std::size_t(r)][std::size_t(2 * k)]) *
                                     c[std::size_t(r)]);
    Row b{};
    for (int k = 0; k < Terms / 2; ++k) {
        const Pair v = sums[std::size_t(k)].value();
        b[std::size_t(2 * k)] = v[0];
        b[std::size_t(2 * k + 1)] = v[1];
    }
    return b;
}

double predictScaled(const Row &b, double x1, double x2)
{
    Points at;
    at.add(x1, x2);
    return predictScaled(b, at)[0];
}

std::array<double, Points::Max> predictScaled(const Row &b, const Points &at)
{
    std::array<double, Points::Max> values{};
    for (int k = 0; 2 * k < at.count; ++k) {
        const Pair x1 = pairAt(&at.x1[std::size_t(2 * k)]), x2 = pairAt(&at.x2[std::size_t(2 * k)]);
        const std::array<Pair, Terms> x = termsOf(Pair{1, 1}, x1, x2);
        SumOf<Pair> y;
        for (int i = 0; i < Terms; ++i)
            y.add(b[std::size_t(i)] * x[std::size_t(i)]);
        const Pair v = y.value();
        values[std::size_t(2 * k)] = v[0];
        values[std::size_t(2 * k + 1)] = v[1];
    }
    return values;
}

PureError pureError(const Responses &y)
{
    PureError pe;
    double big = 0;
    for (int r : CentreRuns)
        big = std::max(big, std::fabs(y[std::size_t(r)]));
    const Unit unit = unitOf(big);
    pe.scale = unit.scale;
    // About the first centre run, as the responses are.
    const double shift = unit.of(y[std::size_t(CentreRuns[0])]);
    Sum sum;
    for (int r : CentreRuns)
        sum.add(unit.of(y[std::size_t(r)]) - shift);
    const double mean = sum.value() / double(CentreRuns.size());
    Sum ss;
    double largest = 0;
    for (int r : CentreRuns) {
        const double d = (unit.of(y[std::size_t(r)]) - shift) - mean;
        ss.add(d * d);
        largest = std::max(largest, std::fabs(unit.of(y[std::size_t(r)])));
    }
    pe.ss = ss.value() <= roundingFloor(int(CentreRuns.size()), largest) ? 0 : ss.value();
    return pe;
}

Squares squares(const Scaled &s, const Row &b, const Responses &y)
{
    Squares q;
    Sum press;
    const Design &d = design();
    // Each run's fitted value, the runs side by side in pairs, the terms in their order (a
    // vanishing term's product adds ±0, as in fitScaled).
    const TermColumns &columns = termColumns();
    std::array<SumOf<Pair>, Pairs> fitted;
    for (int i = 0; i < Terms; ++i)
        for (int k = 0; k < Pairs; ++k)
            fitted[std::size_t(k)].add(columns[std::size_t(i)][std::size_t(k)] * b[std::size_t(i)]);
    // The residuals, their squares, the responses' squares and the residuals left out of
    // their own fit (over 1 - h) in pairs of runs; the sums then add the runs in order, the
    // residual's and the total's side by side.
    std::array<double, 2 * Pairs> centred{};
    std::copy(s.centred.begin(), s.centred.end(), centred.begin());
    const std::array<Pair, Pairs> &apart = leftOutDivisors();
    SumOf<Pair> residualAndTotal;
    for (int k = 0; k < Pairs; ++k) {
        const Pair c = pairAt(&centred[std::size_t(2 * k)]);
        const Pair e = c - fitted[std::size_t(k)].value();
        const Pair ee = e * e, cc = c * c;
        const Pair left = e / apart[std::size_t(k)];
        const Pair ll = left * left;
        for (int lane = 0; lane < 2 && 2 * k + lane < Runs; ++lane) {
            residualAndTotal.add(lane == 0 ? __builtin_shufflevector(ee, cc, 0, 2)
                                           : __builtin_shufflevector(ee, cc, 1, 3));
            if (d.leverage[std::size_t(2 * k + lane)] < 1)
                press.add(ll[lane]);
            else
                q.pressDefined = false;
        }
    }
    const Pair sums = residualAndTotal.value();
    const double sse = sums[0];
    const bool noResidual = sse <= roundingFloor(Runs, s.largest);
    q.residual = noResidual ? 0 : sse;
    q.total = sums[1];
    q.own = pureError(y);
    const double ratio = q.own.scale / s.scale;
    q.pureError = q.own.ss * ratio * ratio;
    q.press = noResidual ? 0 : press.value();
    return q;
}

} // namespace analysis::ls
