#pragma once

// The closed-form least-squares fit of the full quadratic model to the eleven runs of the
// two-factor central composite rotatable design (axial distance 1.4142, three centre runs).

#include "core/design.h"
#include "core/numbers.h"
#include "core/quadratic.h"

#include <QString>

#include <array>

namespace regression {

// How far a fit got.
enum class FitOutcome {
    Complete,
    NoLevelStep,    // the line count divides the range by zero (or overflows)
    NoCoefficients, // a column sum, coefficient or coefficient text overflowed
    NoCorrelation,  // R cannot be computed: all responses equal, or SSE exceeds SST
    NoDeviation,    // S overflowed
    NoResponses,    // a response could not be read: no fit was tried
};

using Responses = std::array<float, DesignRuns>;

using Coefficients = QuadraticCoefficients;

// A text of the fit: ASCII in a buffer of its own, so that a fit a record allocates nothing
// and a report copies the bytes as they are.
template <int Capacity> class FitText
{
public:
    QLatin1StringView view() const { return {m_chars.data(), m_size}; }
    // Room for Capacity characters; `end` is where the text written there ends.
    char *room() { return m_chars.data(); }
    void setEnd(const char *end) { m_size = end - m_chars.data(); }

private:
    std::array<char, Capacity> m_chars{};
    qsizetype m_size = 0;
};
using TermText = FitText<numbers::ThousandthsTextMax>;
// Six terms and the names of five.
using EquationText = FitText<DesignTerms * numbers::ThousandthsTextMax + 16>;

// What a fit computed, step by step; `outcome` says how far it got.
struct FitResult
{
    FitOutcome outcome = FitOutcome::NoResponses;
    float levelMax = 0, levelMin = 0; // always
    float levelStep = 0;              // from hasLevelStep() on
    std::array<float, DesignTerms> columnSums{};
    Coefficients b;                          // from hasCoefficients() on, with the texts below
    std::array<TermText, DesignTerms> terms; // b0's text, then each signed term
    EquationText equation;
    std::array<double, DesignRuns> fitted{};
    float r = 0; // with rText and sText, when the outcome is Complete
    double s = 0;
    TermText rText, sText;

    bool hasLevelStep() const
    {
        return outcome != FitOutcome::NoLevelStep && outcome != FitOutcome::NoResponses;
    }
    bool hasCoefficients() const
    {
        return outcome == FitOutcome::Complete || outcome == FitOutcome::NoCorrelation ||
               outcome == FitOutcome::NoDeviation;
    }
    bool complete() const { return outcome == FitOutcome::Complete; }

    // What the result boxes show: the equation, R and S this fit reached, else empty (never a
    // text of the fit before).
    QLatin1StringView equationShown() const
    {
        return hasCoefficients() ? equation.view() : QLatin1StringView();
    }
    QLatin1StringView rShown() const { return complete() ? rText.view() : QLatin1StringView(); }
    QLatin1StringView sShown() const { return complete() ? sText.view() : QLatin1StringView(); }
};

// Fits the full quadratic model to the eleven responses, with the level step for
// `lineCount` contour intervals. Writes into `result`, reusing its text buffers.
void fit(const Responses &responses, float lineCount, FitResult &result);

} // namespace regression
