#pragma once

// The record change: the one path that turns a record of the table into a map. The window,
// the command line and the tests all run exactly this code.

#include "plot/layers.h"
#include "plot/surface.h"
#include "stats/regression.h"
#include "store/record_source.h"

#include "core/form_defaults.h"
#include "core/form_state.h"
#include "pipeline/color_picker.h"
#include "stats/model_analysis.h"
#include <optional>

// Copies the current record into the state and redraws the map: identifier, clearing (unless
// overlaid), colour, responses, title, then labels, grid, fit and contours. Each step is
// guarded on its own and the next step still runs; what this record cannot give is left
// empty, never taken from the record before.
void LoadCurrentRecord(FormState &state, const RecordSource &record, Surface &surface,
                       ColorPicker &picker);

// Steps 1 to 5 of the record change without drawing: identifier, colour, responses, title.
// False when a response could not be read: that record has no fit. The command line's report
// runs this and fitLoadedRecord alone.
bool loadRecordFields(FormState &state, const RecordSource &record, ColorPicker &picker);

// The fit of the record just loaded; without all eleven responses there is none (empty result
// boxes, nothing to trace).
regression::FitReport fitLoadedRecord(FormState &state, bool responsesRead);

// What the drawing layers take, from the window-level state.
plot::PlotGeometry plotGeometry(const FormState &state);
// The current record's contours; nothing when its fit gave no levels or coefficients, so no
// map is ever traced from another record's surface.
std::optional<plot::ContourMap> contourMap(const FormState &state);

// A record's eleven responses as numbers, for the model analysis; none when one of them is not.
std::optional<analysis::Responses> readResponses(const RecordSource &record);

// The marks the state asks for, from the model analysis of the record's responses.
std::vector<plot::Mark> mapMarks(const FormState &state, const analysis::Responses &responses);

// A click on the frame around the map: the tick labels, axis names and title again, over what
// is drawn.
void redrawLabels(FormState &state, Surface &surface);
// A click on the map: the grid and the border again.
void redrawGrid(FormState &state, Surface &surface);

// The file name of a record's map, "等高线图" + ID + "." + extension, or nothing when the ID cannot
// name a file of its own (empty, or not the text of a number).
std::optional<QString> mapFileName(const QString &recordId,
                                   const QString &extension = QStringLiteral("BMP"));

// The start of every saved map's name, and the file of an overlaid batch of maps.
inline const QString MapFilePrefix = QStringLiteral("等高线图");
inline const QString OverlayFileName = MapFilePrefix + QStringLiteral("重叠.BMP");

// Where the save button writes the current map: the program folder and mapFileName.
std::optional<QString> saveFileName(const FormState &state);
