#include "core/regression.h"

#include "core/numbers.h"

#include <algorithm>
#include <cmath>
#include <optional>

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

// A coefficient after the constant term: its own sign, or "+" before a blank.
void assignSignedTerm(QString &term, float b)
{
    numbers::assignThousandthsText(term, double(b), false, b < 0 ? '\0' : '+');
}

// Sum of the responses in single precision, the way both sums of the fit take it.
float responseSum(const FormState &s)
{
    float sum = 0;
    for (int i = 0; i < DesignRuns; ++i)
        sum += s.Response[i];
    return sum;
}

} // namespace

void clearFit(FormState &s)
{
    s.LevelsCurrent = false;
    s.CoefficientsCurrent = false;
    // Emptied, keeping their buffers for the texts of the next fit.
    s.Text2.resize(0);
    s.Text3.resize(0);
    s.Text4.resize(0);
}

FitReport FitRegression(FormState &s)
{
    // Until a step below succeeds, nothing of the previous record may be shown or traced.
    clearFit(s);

    // 1. Level range.
    s.LevelMax = s.Response[0];
    s.LevelMin = s.Response[0];
    for (int i = 0; i < DesignRuns; ++i) {
        if (s.LevelMax <= s.Response[i])
            s.LevelMax = s.Response[i];
        if (s.LevelMin >= s.Response[i])
            s.LevelMin = s.Response[i];
    }

    // 2. Level interval; above 10 the range is first cut to a whole number.
    float range = 0;
    if (!store(range, double(s.LevelMax) - double(s.LevelMin)))
        return {FitOutcome::NoLevelStep};
    if (s.LevelMax > 10 && s.LevelMin > 10)
        range = std::floor(range);
    if (s.LineCount == 0 || !store(s.LevelStep, double(range) / double(s.LineCount)))
        return {FitOutcome::NoLevelStep};
    s.LevelsCurrent = true;

    // 3. Column sums, each product rounded to single precision. Single arithmetic overflows to
    // infinity, which no later step turns finite again, so one check at the end finds it.
    for (int col = 0; col < DesignTerms; ++col) {
        float sum = 0;
        for (int run = 0; run < DesignRuns; ++run)
            sum += s.DesignMatrix[run][col] * s.Response[run];
        if (!std::isfinite(sum))
            return {FitOutcome::NoCoefficients};
        s.ColumnSums[col] = sum;
    }

    // 4. Sum of the responses.
    const double sy = responseSum(s);
    if (!std::isfinite(sy))
        return {FitOutcome::NoCoefficients};

    // 5. Coefficients, in exactly these forms and this order.
    const double p1 = s.ColumnSums[1], p2 = s.ColumnSums[2], p3 = s.ColumnSums[3];
    const double p4 = s.ColumnSums[4], p5 = s.ColumnSums[5];
    const double wm = s.WeightMean, ws = s.WeightSame, wc = s.WeightCross, wo = s.WeightOther;
    if (!store(s.B0, (p2 + p1) * wc + sy * wm) ||
        !store(s.B11, (p2 + p1) * wo + (ws - wo) * p1 + sy * wc) ||
        !store(s.B22, (p1 + p2) * wo + (ws - wo) * p2 + sy * wc) ||
        !store(s.B1, p3 / double(s.SumSquares)) || !store(s.B2, p4 / double(s.SumSquares)) ||
        !store(s.B12, p5 / 4))
        return {FitOutcome::NoCoefficients};
    s.CoefficientsCurrent = true;

    // 6.-8. Equation text.
    numbers::assignThousandthsText(s.TermB0, double(s.B0), false);
    assignSignedTerm(s.TermB1, s.B1);
    assignSignedTerm(s.TermB2, s.B2);
    assignSignedTerm(s.TermB11, s.B11);
    assignSignedTerm(s.TermB22, s.B22);
    assignSignedTerm(s.TermB12, s.B12);
    // The pieces copied into the equation's own buffer, reused from fit to fit.
    const QStringView pieces[] = {s.TermB0, s.TermB1,  u"X1",   s.TermB2,  u"X2",  s.TermB11,
                                  u"X1^2",  s.TermB22, u"X2^2", s.TermB12, u"X1X2"};
    qsizetype length = 0;
    for (QStringView piece : pieces)
        length += piece.size();
    QString &equation = s.EquationText;
    equation.resize(length);
    QChar *at = equation.data();
    for (QStringView piece : pieces)
        at = std::copy(piece.begin(), piece.end(), at);
    s.Text2.append(equation); // a copy of its own, so the next fit reuses both buffers

    // 9. Fitted values at the runs.
    const double b0 = s.B0, b1 = s.B1, b2 = s.B2, b11 = s.B11, b22 = s.B22, b12 = s.B12;
    const double a = Alpha;
    const double a2 = std::pow(Alpha, 2);
    s.Fitted = {b0 - b1 - b2 + b11 + b22 + b12,
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

    // 10.-11. Sums of squares.
    double syy = 0;
    double sse = 0;
    for (int i = 0; i < DesignRuns; ++i) {
        const double r = s.Response[i];
        syy += r * r;
        sse += (r - s.Fitted[i]) * (r - s.Fitted[i]);
    }
    const double syAgain = responseSum(s);
    float sst = 0;
    if (!store(sst, syy - syAgain * syAgain / DesignRuns) || !std::isfinite(sse))
        return {FitOutcome::NoCorrelation};

    // 12. R; all responses equal (SST = 0, though single sums may leave a trace of rounding)
    // or SSE above SST leave it undefined.
    if (s.LevelMax == s.LevelMin || !(sst > 0))
        return {FitOutcome::NoCorrelation};
    const double radicand = 1 - sse / double(sst);
    float r = 0;
    if (!(radicand >= 0) || !store(r, std::sqrt(radicand)))
        return {FitOutcome::NoCorrelation};

    // 13. S from R and SST as stored.
    const double sVariance = (1 - double(r) * double(r)) * double(sst) / ResidualDegreesOfFreedom;
    if (!(sVariance >= 0) || !std::isfinite(sVariance))
        return {FitOutcome::NoDeviation};
    const double sDeviation = std::sqrt(sVariance);

    // 14. Both shown rounded to three decimals.
    numbers::assignThousandthsText(s.Text3, r, true);
    numbers::assignThousandthsText(s.Text4, sDeviation, true);
    return {FitOutcome::Complete, r, sDeviation};
}

} // namespace regression
