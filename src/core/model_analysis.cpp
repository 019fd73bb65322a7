#include "core/model_analysis.h"

#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace analysis {

namespace {

constexpr int Terms = DesignTerms;
constexpr int Runs = DesignRuns;
using Row = std::array<double, Terms>;
using Matrix = std::array<Row, Terms>;

// The coded design points in the order of the runs, axial distance 1.4142.
constexpr std::array<std::array<double, 2>, Runs> Points{{{-1, -1},
                                                          {1, -1},
                                                          {-1, 1},
                                                          {1, 1},
                                                          {AxialDistance, 0},
                                                          {-AxialDistance, 0},
                                                          {0, AxialDistance},
                                                          {0, -AxialDistance},
                                                          {0, 0},
                                                          {0, 0},
                                                          {0, 0}}};
constexpr std::array<int, 3> CentreRuns{8, 9, 10};

// The model's terms at a point: 1, X1, X2, X1², X2², X1·X2.
Row termsAt(double x1, double x2)
{
    return {1, x1, x2, x1 * x1, x2 * x2, x1 * x2};
}

// (XᵀX)⁻¹ of the design, by Gauss-Jordan elimination with partial pivoting.
const Matrix &inverseNormal()
{
    static const Matrix inverse = [] {
        Matrix a{}, inv{};
        for (int r = 0; r < Runs; ++r) {
            const Row x = termsAt(Points[std::size_t(r)][0], Points[std::size_t(r)][1]);
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

double quadratic(const Row &x, const Row &v)
{
    double s = 0;
    for (int i = 0; i < Terms; ++i)
        for (int j = 0; j < Terms; ++j)
            s += x[std::size_t(i)] * inverseNormal()[std::size_t(i)][std::size_t(j)] *
                 v[std::size_t(j)];
    return s;
}

// A sum with Neumaier's compensation: the rounding of each addition is carried along.
class Sum
{
public:
    void add(double v)
    {
        const double t = m_sum + v;
        m_carry += std::fabs(m_sum) >= std::fabs(v) ? (m_sum - t) + v : (v - t) + m_sum;
        m_sum = t;
    }
    double value() const { return m_sum + m_carry; }

private:
    double m_sum = 0, m_carry = 0;
};

// A figure, or nothing for what is no finite number.
Figure figure(double v)
{
    return std::isfinite(v) ? Figure(v) : std::nullopt;
}

// Upper-tail probabilities; none where the statistic is not a finite number.
Figure fTail(Figure f, int df1, int df2)
{
    if (!f || !std::isfinite(*f) || *f < 0)
        return std::nullopt;
    return boost::math::cdf(boost::math::complement(boost::math::fisher_f(df1, df2), *f));
}

Figure tTwoSided(Figure t, int df)
{
    if (!t || !std::isfinite(*t))
        return std::nullopt;
    return 2 *
           boost::math::cdf(boost::math::complement(boost::math::students_t(df), std::fabs(*t)));
}

// a / b where both say something: none for a zero or undefined denominator.
Figure ratio(double a, double b)
{
    if (!(b > 0) || !std::isfinite(a) || !std::isfinite(b))
        return std::nullopt;
    return figure(a / b);
}

// What rounding alone leaves in a sum of `n` squares of deviations computed from values no
// larger than `magnitude`: a sum this small is no variation in the data.
double roundingFloor(int n, double magnitude)
{
    const double unit = 64 * std::numeric_limits<double>::epsilon() * magnitude;
    return n * unit * unit;
}

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
    if (big > 0) {
        int exponent = 0;
        std::frexp(big, &exponent);
        s.scale = std::ldexp(1.0, exponent - 1); // |response / scale| < 2, and 2^1023 is finite
    }
    // About the first response first: near responses differ exactly, and their mean is then
    // taken of the small differences, not of the large level.
    const double shift = y[0] / s.scale;
    Sum total;
    for (double v : y)
        total.add(v / s.scale - shift);
    const double offset = s.level ? 0 : total.value() / Runs;
    s.mean = shift + offset;
    for (int r = 0; r < Runs; ++r) {
        s.centred[std::size_t(r)] = s.level ? 0 : (y[std::size_t(r)] / s.scale - shift) - offset;
        s.largest = std::max(s.largest, std::fabs(s.centred[std::size_t(r)]));
    }
    return s;
}

// The least-squares coefficients of the centred, scaled responses.
Row fitScaled(const Responses &c)
{
    std::array<Sum, Terms> xty;
    for (int r = 0; r < Runs; ++r) {
        const Row x = termsAt(Points[std::size_t(r)][0], Points[std::size_t(r)][1]);
        for (int i = 0; i < Terms; ++i)
            xty[std::size_t(i)].add(x[std::size_t(i)] * c[std::size_t(r)]);
    }
    Row b{};
    for (int i = 0; i < Terms; ++i) {
        Sum bi;
        for (int j = 0; j < Terms; ++j)
            bi.add(inverseNormal()[std::size_t(i)][std::size_t(j)] * xty[std::size_t(j)].value());
        b[std::size_t(i)] = bi.value();
    }
    return b;
}

double predictScaled(const Row &b, double x1, double x2)
{
    const Row x = termsAt(x1, x2);
    Sum y;
    for (int i = 0; i < Terms; ++i)
        y.add(b[std::size_t(i)] * x[std::size_t(i)]);
    return y.value();
}

// The pure error of the centre runs, in units of a power of two of their own size: a centre
// far below the largest response keeps its digits.
struct PureError
{
    double ss = 0; // in units of scale²
    double scale = 1;
};

PureError pureError(const Responses &y)
{
    PureError pe;
    double big = 0;
    for (int r : CentreRuns)
        big = std::max(big, std::fabs(y[std::size_t(r)]));
    if (big > 0) {
        int exponent = 0;
        std::frexp(big, &exponent);
        pe.scale = std::ldexp(1.0, exponent - 1);
    }
    // About the first centre run, as the responses are.
    const double shift = y[std::size_t(CentreRuns[0])] / pe.scale;
    Sum sum;
    for (int r : CentreRuns)
        sum.add(y[std::size_t(r)] / pe.scale - shift);
    const double mean = sum.value() / double(CentreRuns.size());
    Sum ss;
    double largest = 0;
    for (int r : CentreRuns) {
        const double d = (y[std::size_t(r)] / pe.scale - shift) - mean;
        ss.add(d * d);
        largest = std::max(largest, std::fabs(y[std::size_t(r)] / pe.scale));
    }
    pe.ss = ss.value() <= roundingFloor(int(CentreRuns.size()), largest) ? 0 : ss.value();
    return pe;
}

// Sums of squares in scaled units (the pure error's may underflow there: its own is kept).
struct Squares
{
    double residual = 0, pureError = 0, total = 0, press = 0;
    bool pressDefined = true;
    PureError own;
};

Squares squares(const Scaled &s, const Row &b, const Responses &y)
{
    Squares q;
    Sum sse, sst, press;
    for (int r = 0; r < Runs; ++r) {
        const double x1 = Points[std::size_t(r)][0], x2 = Points[std::size_t(r)][1];
        const double e = s.centred[std::size_t(r)] - predictScaled(b, x1, x2);
        const Row x = termsAt(x1, x2);
        const double h = quadratic(x, x);
        sse.add(e * e);
        sst.add(s.centred[std::size_t(r)] * s.centred[std::size_t(r)]);
        if (h < 1)
            press.add((e / (1 - h)) * (e / (1 - h)));
        else
            q.pressDefined = false;
    }
    const bool noResidual = sse.value() <= roundingFloor(Runs, s.largest);
    q.residual = noResidual ? 0 : sse.value();
    q.total = sst.value();
    q.own = pureError(y);
    const double ratio = q.own.scale / s.scale;
    q.pureError = q.own.ss * ratio * ratio;
    q.press = noResidual ? 0 : press.value();
    return q;
}

// The figures of the analysis of variance, the coefficients' errors and the R² family.
void varianceTable(ModelAnalysis &a, const Scaled &s, const Row &b, const Squares &q)
{
    const auto area = [&](double v) {
        return figure(v * s.scale * s.scale);
    };
    const double sse = q.residual, sspe = q.pureError, sst = q.total;
    const double sslof = std::max(0.0, sse - sspe), ssr = std::max(0.0, sst - sse);
    const double mse = sse / a.residual.df, mspe = sspe / a.pureError.df;
    const double mslof = sslof / a.lackOfFit.df, msr = ssr / a.model.df;
    a.residual.ss = area(sse);
    a.residual.ms = area(mse);
    const auto ownArea = [&](double v) {
        return figure(v * q.own.scale * q.own.scale);
    };
    a.pureError.ss = ownArea(q.own.ss);
    a.pureError.ms = ownArea(q.own.ss / a.pureError.df);
    a.lackOfFit.ss = area(sslof);
    a.lackOfFit.ms = area(mslof);
    a.lackOfFit.f = ratio(mslof, mspe);
    a.lackOfFit.p = fTail(a.lackOfFit.f, a.lackOfFit.df, a.pureError.df);
    a.model.ss = area(ssr);
    a.model.ms = area(msr);
    a.model.f = ratio(msr, mse);
    a.model.p = fTail(a.model.f, a.model.df, a.residual.df);
    a.total.ss = area(sst);
    // A perfect fit has no error: 0, and no t of a division by it.
    for (int i = 0; i < Terms; ++i) {
        Coefficient &c = a.coefficients[std::size_t(i)];
        const double se = std::sqrt(mse * inverseNormal()[std::size_t(i)][std::size_t(i)]);
        const double estimate = b[std::size_t(i)] + (i == 0 ? s.mean : 0);
        c.se = figure(se * s.scale);
        c.t = se > 0 ? figure(estimate / se) : std::nullopt;
        c.p = tTwoSided(c.t, a.residual.df);
    }
    if (sst > 0) {
        a.rSquared = 1 - sse / sst;
        a.adjRSquared = 1 - mse / (sst / a.total.df);
        if (q.pressDefined)
            a.predRSquared = 1 - q.press / sst;
    }
    a.press = q.pressDefined ? area(q.press) : std::nullopt;
}

// Canonical analysis of the second-order part [[b11, b12/2], [b12/2, b22]] and the point
// where the gradient vanishes, from the scaled coefficients (their ratios need no scale).
void canonical(ModelAnalysis &a, const Scaled &s, const Row &b)
{
    const double b1 = b[1], b2 = b[2], b11 = b[3], b22 = b[4], b12 = b[5];
    const double half = (b11 + b22) / 2;
    const double spread = std::hypot((b11 - b22) / 2, b12 / 2);
    const std::array<double, 2> ev{half - spread, half + spread};
    a.eigenvalues = {figure(ev[0] * s.scale), figure(ev[1] * s.scale)};
    const double large = std::max(std::fabs(ev[0]), std::fabs(ev[1]));
    const double small = std::min(std::fabs(ev[0]), std::fabs(ev[1]));
    // Curvature is measured against the variation the data hold, never against their level.
    const double variation = std::max({std::fabs(b1), std::fabs(b2), s.largest});
    if (s.level || !(large > 1e-12 * variation))
        return;
    if (small <= RidgeRatio * large)
        a.nature = Nature::Ridge;
    else if (ev[1] < 0)
        a.nature = Nature::Maximum;
    else if (ev[0] > 0)
        a.nature = Nature::Minimum;
    else
        a.nature = Nature::Saddle;
    // [2·b11, b12; b12, 2·b22] x = -[b1, b2].
    const double det = 4 * b11 * b22 - b12 * b12;
    if (det == 0 || !std::isfinite(det))
        return;
    const double x1 = (-2 * b22 * b1 + b12 * b2) / det;
    const double x2 = (-2 * b11 * b2 + b12 * b1) / det;
    if (std::isfinite(x1) && std::isfinite(x2)) {
        a.stationary = Point{x1, x2, figure((predictScaled(b, x1, x2) + s.mean) * s.scale)};
        a.stationaryInside = std::fabs(x1) <= SquareLimit && std::fabs(x2) <= SquareLimit;
    }
}

// The extremes over the square: the corners, each edge's own extreme, the stationary point.
// A level surface has its value everywhere and no place of its own.
void extremes(ModelAnalysis &a, const Scaled &s, const Row &b)
{
    if (s.level) {
        a.maximum = a.minimum = Point{std::nullopt, std::nullopt, figure(s.mean * s.scale)};
        return;
    }
    const double b1 = b[1], b2 = b[2], b11 = b[3], b22 = b[4], b12 = b[5];
    double high = 0, low = 0;
    bool first = true;
    const auto consider = [&](double x1, double x2) {
        const double v = predictScaled(b, x1, x2);
        const Point p{x1, x2, figure((v + s.mean) * s.scale)};
        if (first || v > high) {
            a.maximum = p;
            high = v;
        }
        if (first || v < low) {
            a.minimum = p;
            low = v;
        }
        first = false;
    };
    for (double s1 : {-SquareLimit, SquareLimit})
        for (double s2 : {-SquareLimit, SquareLimit})
            consider(s1, s2);
    for (double edge : {-SquareLimit, SquareLimit}) {
        // X1 fixed: y = c + (b2 + b12·X1)·X2 + b22·X2², extreme at -(b2 + b12·X1) / (2·b22).
        if (b22 != 0) {
            const double x2 = -(b2 + b12 * edge) / (2 * b22);
            if (std::fabs(x2) <= SquareLimit)
                consider(edge, x2);
        }
        if (b11 != 0) {
            const double x1 = -(b1 + b12 * edge) / (2 * b11);
            if (std::fabs(x1) <= SquareLimit)
                consider(x1, edge);
        }
    }
    if (a.stationary && a.stationaryInside)
        consider(*a.stationary->x1, *a.stationary->x2);
}

} // namespace

Figure predict(const ModelAnalysis &a, double x1, double x2)
{
    const Row x = termsAt(x1, x2);
    Sum y;
    for (int i = 0; i < Terms; ++i) {
        if (!a.coefficients[std::size_t(i)].estimate)
            return std::nullopt;
        y.add(*a.coefficients[std::size_t(i)].estimate * x[std::size_t(i)]);
    }
    return figure(y.value());
}

const char *natureName(Nature nature)
{
    switch (nature) {
    case Nature::Maximum:
        return "maximum";
    case Nature::Minimum:
        return "minimum";
    case Nature::Saddle:
        return "saddle";
    case Nature::Ridge:
        return "ridge";
    }
    return "";
}

ModelAnalysis analyse(const Responses &y)
{
    ModelAnalysis a;
    static const char *const names[Terms] = {"b0", "b1", "b2", "b11", "b22", "b12"};
    for (int i = 0; i < Terms; ++i)
        a.coefficients[std::size_t(i)].term = names[i];
    a.model.df = Terms - 1;
    a.residual.df = Runs - Terms;
    a.pureError.df = int(CentreRuns.size()) - 1;
    a.lackOfFit.df = a.residual.df - a.pureError.df;
    a.total.df = Runs - 1;
    const Scaled s = scaledResponses(y);
    if (!s.finite)
        return a; // nothing can be said of responses that are no numbers
    const Row b = fitScaled(s.centred);
    for (int i = 0; i < Terms; ++i)
        a.coefficients[std::size_t(i)].estimate =
            figure((b[std::size_t(i)] + (i == 0 ? s.mean : 0)) * s.scale);
    varianceTable(a, s, b, squares(s, b, y));
    canonical(a, s, b);
    extremes(a, s, b);
    return a;
}

} // namespace analysis
