#pragma once

// The closed-form least-squares fit of the full quadratic model to the eleven runs of the
// two-factor central composite rotatable design (axial distance 1.4142, three centre runs).

#include "core/form_state.h"
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

// What a fit computed, step by step; `outcome` says how far it got.
struct FitResult
{
    FitOutcome outcome = FitOutcome::NoResponses;
    float levelMax = 0, levelMin = 0; // always
    float levelStep = 0;              // from hasLevelStep() on
    std::array<float, DesignTerms> columnSums{};
    Coefficients b;                         // from hasCoefficients() on, with the texts below
    std::array<QString, DesignTerms> terms; // b0's text, then each signed term
    QString equation;
    std::array<double, DesignRuns> fitted{};
    float r = 0; // with rText and sText, when the outcome is Complete
    double s = 0;
    QString rText, sText;

    bool hasLevelStep() const
    {
        return outcome != FitOutcome::NoLevelStep && outcome != FitOutcome::NoResponses;
    }
    bool hasCoefficients() const
    {
        return outcome == FitOutcome::Complete || outcome == FitOutcome::NoCorrelation ||
               outcome == FitOutcome::NoDeviation;
    }
};

// Fits the full quadratic model to the eleven responses, with the level step for
// `lineCount` contour intervals. Writes into `result`, reusing its text buffers.
void fit(const Responses &responses, float lineCount, FitResult &result);

struct FitReport
{
    FitOutcome outcome = FitOutcome::Complete;
    float r = 0;  // valid when the outcome is Complete
    double s = 0; // valid when the outcome is Complete
};

// The window's procedure: fits the current responses and copies the result into the state
// step by step: level range and step, coefficients, equation text in Text2, R in Text3 and S
// in Text4.
// What cannot be computed for the current record is shown as an empty box, never as the
// previous record's result.
FitReport FitRegression(FormState &state);

// No result for the current record: empty boxes, nothing to trace.
void clearFit(FormState &state);

} // namespace regression
