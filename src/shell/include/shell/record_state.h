#pragma once

// The window's edge of the record change: the pipeline's values copied into the window-level
// state step by step, so what a step did not reach keeps its previous value there and nothing
// of another record is shown.

#include "core/form_state.h"
#include "pipeline/record_change.h"

#include <optional>

// The options the window's check boxes, spinner and menu have set.
MapOptions mapOptions(const FormState &state);

// The record change as the window runs it: draws the record and copies identifier, colour,
// responses, title and the fit into the state. `map` keeps the values (the analysis dialog
// reads them).
void LoadCurrentRecord(FormState &state, RecordMap &map, const RecordSource &record,
                       Surface &surface, ColorPicker &picker);

// Fits the state's responses with its line count and copies the result as the record change
// does: level range and step, coefficients, equation text in Text2, R in Text3 and S in Text4.
void FitRegression(FormState &state);
// The fit's values into the state; what cannot be computed for the current record is an
// empty box, never the previous record's result.
void showFit(FormState &state, const regression::FitResult &fit);
// No result for the current record: empty boxes, nothing to trace.
void clearFit(FormState &state);

// Where the save button writes the current map: the program folder and mapFileName.
std::optional<QString> saveFileName(const FormState &state);
