#pragma once

// The three drawing layers of the map. Each reads the form state and adds to the surface; none
// clears it.

#include "core/form_state.h"
#include "plot/surface.h"

#include <vector>

namespace plot {

// Tick labels, axis names and, with labels on and overlay off, the response name as title.
// Leaves the surface at font size 7 in black for the contour labels.
void drawAxisLabels(FormState &state, Surface &surface);

// The green dotted grid at the ticks and the black border of the plot square.
void drawGrid(FormState &state, Surface &surface);

// Contour dots of the fitted surface in CurveColor and, with labels on, the level values.
// Returns the number of dots set.
int DrawContours(const FormState &state, Surface &surface);

// The levels the contours are traced at: from LevelMin by repeated single-precision addition
// of LevelStep while not above LevelMax; a step of 0 gives LevelMin once. Empty when the fit
// did not produce levels and coefficients for the current record.
std::vector<float> contourLevels(const FormState &state);

// The label text of a contour level: two decimals, halves away from zero.
QString levelLabel(float level);

} // namespace plot
