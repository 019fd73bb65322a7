#pragma once

// The start values of the window-level state, as Form_Load gives them: program folder,
// geometry, line count, colour, record identity, the design matrix and its constants.

#include "core/form_state.h"

// Fills DesignMatrix and the design constants, in the order start-up fixes.
void initializeDesign(FormState &state);

// Form_Load's defaults; the options stay as they are.
void initializeFormState(FormState &state, const QString &appPath);

// The state as start-up leaves it before the first record: defaults, and the colour and labels
// options on.
FormState startedFormState(const QString &appPath, int lineCount = LineCountDefault);

// The program folder with exactly one "/" at its end.
QString appFolderFrom(const QString &appPath);

// The palette colour of an index 0 ... 15, 0x00BBGGRR.
Long paletteColor(int index);
// The automatic curve colour of an ID: its palette colour, but black for the palette's white.
Long curvePaletteColor(int index);
