#pragma once

// The closed-form least-squares fit of the full quadratic model to the eleven runs of the
// two-factor central composite rotatable design (axial distance 1.4142, three centre runs).

#include "core/form_state.h"

namespace regression {

// How far a fit got. Everything a completed step assigned stays in the state.
enum class FitOutcome {
    Complete,
    NoLevelStep,    // the line count divides the range by zero (or overflows)
    NoCoefficients, // a column sum, coefficient or coefficient text overflowed
    NoCorrelation,  // R cannot be computed: all responses equal, or SSE exceeds SST
    NoDeviation,    // S overflowed
    NoResponses,    // a response could not be read: no fit was tried
};

struct FitReport
{
    FitOutcome outcome = FitOutcome::Complete;
    float r = 0;  // valid when the outcome is Complete
    double s = 0; // valid when the outcome is Complete
};

// Level range and step, coefficients, equation text in Text2, R in Text3 and S in Text4.
// What cannot be computed for the current record is shown as an empty box, never as the
// previous record's result.
FitReport FitRegression(FormState &state);

// No result for the current record: empty boxes, nothing to trace.
void clearFit(FormState &state);

} // namespace regression
