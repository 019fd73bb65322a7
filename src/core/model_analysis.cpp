#include "core/model_analysis.h"

#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/students_t.hpp>

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

// Upper-tail probabilities; none where the statistic is not a finite number.
std::optional<double> fTail(std::optional<double> f, int df1, int df2)
{
    if (!f || !std::isfinite(*f) || *f < 0)
        return std::nullopt;
    return boost::math::cdf(boost::math::complement(boost::math::fisher_f(df1, df2), *f));
}

std::optional<double> tTwoSided(std::optional<double> t, int df)
{
    if (!t || !std::isfinite(*t))
        return std::nullopt;
    return 2 *
           boost::math::cdf(boost::math::complement(boost::math::students_t(df), std::fabs(*t)));
}

// a / b where both say something: none for a zero or undefined denominator.
std::optional<double> ratio(double a, double b)
{
    if (!(b > 0) || !std::isfinite(a) || !std::isfinite(b))
        return std::nullopt;
    return a / b;
}

// Whether a sum of squares is nothing but rounding against the data's own scale.
bool negligible(double ss, double scale)
{
    return ss <= 1e-24 * std::max(1.0, scale);
}

} // namespace

double predict(const ModelAnalysis &a, double x1, double x2)
{
    const Row x = termsAt(x1, x2);
    double y = 0;
    for (int i = 0; i < Terms; ++i)
        y += a.coefficients[std::size_t(i)].estimate * x[std::size_t(i)];
    return y;
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

    // Least squares: b = (XᵀX)⁻¹ Xᵀy.
    Row xty{};
    for (int r = 0; r < Runs; ++r) {
        const Row x = termsAt(Points[std::size_t(r)][0], Points[std::size_t(r)][1]);
        for (int i = 0; i < Terms; ++i)
            xty[std::size_t(i)] += x[std::size_t(i)] * y[std::size_t(r)];
    }
    for (int i = 0; i < Terms; ++i) {
        double b = 0;
        for (int j = 0; j < Terms; ++j)
            b += inverseNormal()[std::size_t(i)][std::size_t(j)] * xty[std::size_t(j)];
        a.coefficients[std::size_t(i)].term = names[i];
        a.coefficients[std::size_t(i)].estimate = b;
    }

    // Residuals, leverages and the sums of squares.
    double mean = 0;
    for (double v : y)
        mean += v;
    mean /= Runs;
    double sst = 0, sse = 0;
    a.press = 0;
    bool pressDefined = true;
    for (int r = 0; r < Runs; ++r) {
        const double x1 = Points[std::size_t(r)][0], x2 = Points[std::size_t(r)][1];
        const Row x = termsAt(x1, x2);
        const double e = y[std::size_t(r)] - predict(a, x1, x2);
        const double h = quadratic(x, x);
        sse += e * e;
        sst += (y[std::size_t(r)] - mean) * (y[std::size_t(r)] - mean);
        if (h < 1)
            a.press += (e / (1 - h)) * (e / (1 - h));
        else
            pressDefined = false;
    }
    double centreMean = 0;
    for (int r : CentreRuns)
        centreMean += y[std::size_t(r)];
    centreMean /= double(CentreRuns.size());
    double sspe = 0;
    for (int r : CentreRuns)
        sspe += (y[std::size_t(r)] - centreMean) * (y[std::size_t(r)] - centreMean);
    const double scale = sst + mean * mean * Runs;
    if (negligible(sse, scale))
        sse = 0;
    if (negligible(sspe, scale))
        sspe = 0;
    const double sslof = std::max(0.0, sse - sspe);
    const double ssr = std::max(0.0, sst - sse);

    a.residual = {Runs - Terms, sse, sse / (Runs - Terms), {}, {}};
    a.pureError = {int(CentreRuns.size()) - 1, sspe, sspe / (int(CentreRuns.size()) - 1), {}, {}};
    a.lackOfFit = {
        a.residual.df - a.pureError.df, sslof, sslof / (a.residual.df - a.pureError.df), {}, {}};
    a.lackOfFit.f = ratio(*a.lackOfFit.ms, *a.pureError.ms);
    a.lackOfFit.p = fTail(a.lackOfFit.f, a.lackOfFit.df, a.pureError.df);
    a.model = {Terms - 1, ssr, ssr / (Terms - 1), {}, {}};
    a.model.f = ratio(*a.model.ms, *a.residual.ms);
    a.model.p = fTail(a.model.f, a.model.df, a.residual.df);
    a.total = {Runs - 1, sst, {}, {}, {}};

    // Standard errors, t and p of the coefficients.
    const double mse = *a.residual.ms;
    for (int i = 0; i < Terms; ++i) {
        Coefficient &c = a.coefficients[std::size_t(i)];
        const double variance = mse * inverseNormal()[std::size_t(i)][std::size_t(i)];
        if (mse > 0) {
            c.se = std::sqrt(variance);
            c.t = c.estimate / *c.se;
            c.p = tTwoSided(c.t, a.residual.df);
        }
    }

    // How much of the variation the model explains.
    if (sst > 0 && !negligible(sst, mean * mean * Runs)) {
        a.rSquared = 1 - sse / sst;
        a.adjRSquared = 1 - (sse / a.residual.df) / (sst / a.total.df);
        if (pressDefined)
            a.predRSquared = 1 - a.press / sst;
    }

    // Canonical analysis of the second-order part [[b11, b12/2], [b12/2, b22]].
    const double b1 = a.coefficients[1].estimate, b2 = a.coefficients[2].estimate;
    const double b11 = a.coefficients[3].estimate, b22 = a.coefficients[4].estimate;
    const double b12 = a.coefficients[5].estimate;
    const double half = (b11 + b22) / 2;
    const double spread = std::hypot((b11 - b22) / 2, b12 / 2);
    a.eigenvalues = {half - spread, half + spread};
    const double large = std::max(std::fabs(a.eigenvalues[0]), std::fabs(a.eigenvalues[1]));
    const double small = std::min(std::fabs(a.eigenvalues[0]), std::fabs(a.eigenvalues[1]));
    const double coefficientScale =
        std::max({std::fabs(a.coefficients[0].estimate), std::fabs(b1), std::fabs(b2), 1e-300});
    if (large > 1e-12 * coefficientScale) {
        if (small <= RidgeRatio * large)
            a.nature = Nature::Ridge;
        else if (a.eigenvalues[1] < 0)
            a.nature = Nature::Maximum;
        else if (a.eigenvalues[0] > 0)
            a.nature = Nature::Minimum;
        else
            a.nature = Nature::Saddle;
    }
    // Where the gradient vanishes: [2·b11, b12; b12, 2·b22] x = -[b1, b2].
    const double det = 4 * b11 * b22 - b12 * b12;
    if (a.nature && det != 0 && std::isfinite(det)) {
        const double x1 = (-2 * b22 * b1 + b12 * b2) / det;
        const double x2 = (-2 * b11 * b2 + b12 * b1) / det;
        if (std::isfinite(x1) && std::isfinite(x2)) {
            a.stationary = Point{x1, x2, predict(a, x1, x2)};
            a.stationaryInside = std::fabs(x1) <= SquareLimit && std::fabs(x2) <= SquareLimit;
        }
    }

    // The extremes over the square: the corners, each edge's own extreme, the stationary point.
    bool first = true;
    const auto consider = [&](double x1, double x2) {
        const Point p{x1, x2, predict(a, x1, x2)};
        if (first || p.y > a.maximum.y)
            a.maximum = p;
        if (first || p.y < a.minimum.y)
            a.minimum = p;
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
        consider(a.stationary->x1, a.stationary->x2);
    return a;
}

} // namespace analysis
