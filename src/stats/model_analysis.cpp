#include "stats/model_analysis.h"

#include "least_squares.h"

#include "stats/tail_probabilities.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace analysis {

namespace {

using namespace ls;

// The design fixes the tests' degrees of freedom: each has a tail of its own.
static_assert(Runs - Terms == 5 && Terms - 1 == 5, "the model's F and the t tests have 5 and 5");
static_assert(Runs - Terms - (::CentreRuns - 1) == 3 && ::CentreRuns - 1 == 2,
              "lack of fit is F with 3 and 2");

Figure tail(Figure statistic, double (*upper)(double))
{
    if (!statistic || !std::isfinite(*statistic))
        return std::nullopt;
    return upper(*statistic);
}

// a / b where both say something: none for a zero or undefined denominator.
Figure ratio(double a, double b)
{
    if (!(b > 0) || !std::isfinite(a) || !std::isfinite(b))
        return std::nullopt;
    return figure(a / b);
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
    a.lackOfFit.p = tail(a.lackOfFit.f, fUpper3And2);
    a.model.ss = area(ssr);
    a.model.ms = area(msr);
    a.model.f = ratio(msr, mse);
    a.model.p = tail(a.model.f, fUpper5And5);
    a.total.ss = area(sst);
    // A perfect fit has no error: 0, and no t of a division by it.
    for (int i = 0; i < Terms; ++i) {
        Coefficient &c = a.coefficients[std::size_t(i)];
        const double se = std::sqrt(mse * design().variance[std::size_t(i)]);
        const double estimate = b[std::size_t(i)] + (i == 0 ? s.mean : 0);
        c.se = figure(se * s.scale);
        c.t = se > 0 ? figure(estimate / se) : std::nullopt;
        c.p = tail(c.t, tTwoSided5);
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
    Points candidates;
    for (double s1 : {-SquareLimit, SquareLimit})
        for (double s2 : {-SquareLimit, SquareLimit})
            candidates.add(s1, s2);
    for (double edge : {-SquareLimit, SquareLimit}) {
        // X1 fixed: y = c + (b2 + b12·X1)·X2 + b22·X2², extreme at -(b2 + b12·X1) / (2·b22).
        if (b22 != 0) {
            const double x2 = -(b2 + b12 * edge) / (2 * b22);
            if (std::fabs(x2) <= SquareLimit)
                candidates.add(edge, x2);
        }
        if (b11 != 0) {
            const double x1 = -(b1 + b12 * edge) / (2 * b11);
            if (std::fabs(x1) <= SquareLimit)
                candidates.add(x1, edge);
        }
    }
    if (a.stationary && a.stationaryInside)
        candidates.add(*a.stationary->x1, *a.stationary->x2);
    const std::array<double, Points::Max> values = predictScaled(b, candidates);
    // The first of equal values keeps the place.
    std::size_t high = 0, low = 0;
    for (std::size_t i = 1; i < std::size_t(candidates.count); ++i) {
        if (values[i] > values[high])
            high = i;
        if (values[i] < values[low])
            low = i;
    }
    const auto at = [&](std::size_t i) {
        return Point{candidates.x1[i], candidates.x2[i], figure((values[i] + s.mean) * s.scale)};
    };
    a.maximum = at(high);
    a.minimum = at(low);
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

std::array<VarianceLine, 5> varianceLines(const ModelAnalysis &a)
{
    return {{{Source::Model, &a.model, false, true, true},
             {Source::Residual, &a.residual, false, true, false},
             {Source::LackOfFit, &a.lackOfFit, true, true, true},
             {Source::PureError, &a.pureError, true, true, false},
             {Source::Total, &a.total, false, false, false}}};
}

ModelAnalysis analyse(const Responses &y)
{
    ModelAnalysis a;
    for (int i = 0; i < Terms; ++i)
        a.coefficients[std::size_t(i)].term = TermNames[std::size_t(i)];
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
