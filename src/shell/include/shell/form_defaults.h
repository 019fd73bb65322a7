#pragma once

// The start values of the window-level state, as Form_Load gives them: program folder,
// geometry, line count, colour, record identity, the design matrix and its constants.

#include "core/form_state.h"

// Fills DesignMatrix and the design constants, in the order start-up fixes.
void initializeDesign(FormState &state);

// Form_Load's defaults; the options stay as they are.
void initializeFormState(FormState &state, const QString &appPath);
