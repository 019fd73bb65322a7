#pragma once

// How maps are drawn: the options the window's check boxes, spinner and menu set, and the
// command line's flags. One value, passed down to the record change.

#include "core/design.h"
#include "core/factors.h"

// Marks beside the designed map, off unless asked for ("标出驻点", "标出最优点", "标出试验点"):
// the stationary point, the optimum, the design points with their measured responses.
struct MapMarks
{
    bool stationary = false;
    bool optimum = false;
    bool runs = false;
    bool any() const { return stationary || optimum || runs; }
};

struct MapOptions
{
    bool autoColor = false;  // each record in the palette colour of its ID ("颜色")
    bool showLabels = false; // level values, and the title unless overlaid ("标注")
    bool overlay = false;    // records drawn over each other ("重叠")
    float lineCount = float(LineCountDefault); // contour intervals
    MapMarks marks;
    UnitsChoice units; // axis labels and titles in real units where a record has factors
};
