#include "stats/regression.h"

#include "core/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

namespace regression {

namespace {

constexpr double Alpha = AxialDistance;
constexpr int ResidualDegreesOfFreedom = 5;

// Stores a double as Single; a value beyond the single range is an overflow.
bool store(float &target, double value)
{
    const std::optional<float> narrowed = numbers::toSingle(value);
    if (!narrowed)
        return false;
    target = *narrowed;
    return true;
}

// A text of three decimals (or its prefix and sign-or-blank form) written into its buffer.
void setThousandths(TermText &text, double x, bool plain, char prefix = '\0')
{
    text.setEnd(numbers::writeThousandthsText(text.room(), x, plain, prefix));
}

// A coefficient after the constant term: its own sign, or "+" before a blank.
void setSignedTerm(TermText &term, float b)
{
    setThousandths(term, double(b), false, b < 0 ? '\0' : '+');
}

// One column's sum of products in single precision, in run order. A zero of the design adds
// ±0 to a sum that is never -0, which changes nothing (an infinite or NaN response shows in the
// first column, all ones), so those products are left out at compile time.
template <std::size_t Col, std::size_t... Run>
float columnSum(const Responses &y, std::index_sequence<Run...>)
{
    float sum = 0;
    ((SingleDesignMatrix[Run][Col] != 0 ? void(sum += SingleDesignMatrix[Run][Col] * y[Run])
                                        : void()),
     ...);
    return sum;
}

template <std::size_t... Col>
std::array<float, DesignTerms> columnSums(const Responses &y, std::index_sequence<Col...>)
{
    return {columnSum<Col>(y, std::make_index_sequence<DesignRuns>())...};
}

// 1.-2. The level range and the level step for `lineCount` intervals.
bool fitLevels(const Responses &y, float lineCount, FitResult &f)
{
    // 1. Level range.
    f.levelMax = y[0];
    f.levelMin = y[0];
    for (int i = 0; i < DesignRuns; ++i) {
        if (f.levelMax <= y[std::size_t(i)])
            f.levelMax = y[std::size_t(i)];
        if (f.levelMin >= y[std::size_t(i)])
            f.levelMin = y[std::size_t(i)];
    }

    // 2. Level interval; above 10 the range is first cut to a whole number.
    f.outcome = FitOutcome::NoLevelStep;
    float range = 0;
    if (!store(range, double(f.levelMax) - double(f.levelMin)))
        return false;
    if (f.levelMax > 10 && f.levelMin > 10)
        range = std::floor(range);
    if (lineCount == 0 || !store(f.levelStep, double(range) / double(lineCount)))
        return false;

    return true;
}

// 3.-5. The column sums and the coefficients.
bool fitCoefficients(const Responses &y, FitResult &f)
{
    const DesignConstants &d = designConstants();
    // 3. Column sums, each product rounded to single precision. Single arithmetic overflows to
    // infinity, which no later step turns finite again, so one check at the end finds it.
    f.outcome = FitOutcome::NoCoefficients;
    f.columnSums = columnSums(y, std::make_index_sequence<DesignTerms>());
    for (float sum : f.columnSums)
        if (!std::isfinite(sum))
            return false;

    // 4. Sum of the responses: the first column's.
    const double sy = f.columnSums[0];

    // 5. Coefficients, in exactly these forms and this order.
    const double p1 = f.columnSums[1], p2 = f.columnSums[2], p3 = f.columnSums[3];
    const double p4 = f.columnSums[4], p5 = f.columnSums[5];
    const double wm = d.weightMean, ws = d.weightSame, wc = d.weightCross, wo = d.weightOther;
    Coefficients &b = f.b;
    if (!store(b.b0, (p2 + p1) * wc + sy * wm) ||
        !store(b.b11, (p2 + p1) * wo + (ws - wo) * p1 + sy * wc) ||
        !store(b.b22, (p1 + p2) * wo + (ws - wo) * p2 + sy * wc) ||
        !store(b.b1, p3 / double(d.sumSquares)) || !store(b.b2, p4 / double(d.sumSquares)) ||
        !store(b.b12, p5 / 4))
        return false;

    return true;
}

// 6.-8. The equation's text from the coefficients, into buffers reused from fit to fit.
void equationText(FitResult &f)
{
    const Coefficients &b = f.b;
    // 6.-8. Equation text.
    setThousandths(f.terms[0], double(b.b0), false);
    setSignedTerm(f.terms[1], b.b1);
    setSignedTerm(f.terms[2], b.b2);
    setSignedTerm(f.terms[3], b.b11);
    setSignedTerm(f.terms[4], b.b22);
    setSignedTerm(f.terms[5], b.b12);
    // Each piece copied whole (a term's buffer, a name's four bytes) and the end moved on by its
    // length: no loop by the byte. What a copy writes past its piece the next one overwrites;
    // the last term's whole buffer and the last name still end within the equation's room.
    constexpr char Names[DesignTerms - 1][4] = {
        {'X', '1'}, {'X', '2'}, {'X', '1', '^', '2'}, {'X', '2', '^', '2'}, {'X', '1', 'X', '2'}};
    constexpr int NameSizes[DesignTerms - 1] = {2, 2, 4, 4, 4};
    char *at = f.equation.room();
    for (std::size_t i = 0; i < DesignTerms; ++i) {
        const QLatin1StringView term = f.terms[i].view();
        std::memcpy(at, term.data(), numbers::ThousandthsTextMax);
        at += term.size();
        if (i > 0) {
            std::memcpy(at, Names[i - 1], 4);
            at += NameSizes[i - 1];
        }
    }
    f.equation.setEnd(at);
}

// 9. The fitted values at the runs.
void fittedValues(FitResult &f)
{
    const Coefficients &b = f.b;
    const double b0 = b.b0, b1 = b.b1, b2 = b.b2, b11 = b.b11, b22 = b.b22, b12 = b.b12;
    const double a = Alpha;
    const double a2 = std::pow(Alpha, 2);
    f.fitted = {b0 - b1 - b2 + b11 + b22 + b12,
                b0 + b1 - b2 + b11 + b22 - b12,
                b0 - b1 + b2 + b11 + b22 - b12,
                b0 + b1 + b2 + b11 + b22 + b12,
                b0 + b1 * a + b11 * a2,
                b0 - b1 * a + b11 * a2,
                b0 + b2 * a + b22 * a2,
                b0 - b2 * a + b22 * a2,
                b0,
                b0,
                b0};
}

// 10.-14. The sums of squares, R and S, and their texts.
bool fitCorrelation(const Responses &y, FitResult &f)
{
    // 10.-11. Sums of squares.
    f.outcome = FitOutcome::NoCorrelation;
    double syy = 0;
    double sse = 0;
    for (int i = 0; i < DesignRuns; ++i) {
        const double r = y[std::size_t(i)];
        syy += r * r;
        sse += (r - f.fitted[std::size_t(i)]) * (r - f.fitted[std::size_t(i)]);
    }
    const double syAgain = f.columnSums[0];
    float sst = 0;
    if (!store(sst, syy - syAgain * syAgain / DesignRuns) || !std::isfinite(sse))
        return false;

    // 12. R; all responses equal (SST = 0, though single sums may leave a trace of rounding)
    // or SSE above SST leave it undefined.
    if (f.levelMax == f.levelMin || !(sst > 0))
        return false;
    const double radicand = 1 - sse / double(sst);
    if (!(radicand >= 0) || !store(f.r, std::sqrt(radicand)))
        return false;

    // 13. S from R and SST as stored.
    f.outcome = FitOutcome::NoDeviation;
    const double sVariance =
        (1 - double(f.r) * double(f.r)) * double(sst) / ResidualDegreesOfFreedom;
    if (!(sVariance >= 0) || !std::isfinite(sVariance))
        return false;
    f.s = std::sqrt(sVariance);

    // 14. Both shown rounded to three decimals.
    setThousandths(f.rText, f.r, true);
    setThousandths(f.sText, f.s, true);
    return true;
}

} // namespace

void fit(const Responses &y, float lineCount, FitResult &f)
{
    f.outcome = FitOutcome::Complete;
    if (!fitLevels(y, lineCount, f) || !fitCoefficients(y, f))
        return;
    equationText(f);
    fittedValues(f);
    if (fitCorrelation(y, f))
        f.outcome = FitOutcome::Complete;
}

} // namespace regression
