#pragma once

// The multi-response map: the region where every goal is met shaded under everything else,
// each goal's limit lines (LOW and HIGH, and TARGET) traced in its record's colour with their
// values, the optimum marked, and a legend naming each response and its goal; in the designed
// map's frame, ticks and grid.

#include "core/colour.h"
#include "core/factors.h"
#include "plot/surface.h"
#include "stats/multi_optimum.h"

#include <QString>

#include <optional>
#include <vector>

struct GoalLayer
{
    optimise::Response response;
    QString legend; // e.g. "ID 1 硬度：max 13 … 15"
    Long colour = 0;
};

inline constexpr Long DefaultGoalFill = packedFromRgb(0xFFF2A8);

struct GoalMap
{
    std::vector<GoalLayer> layers;
    std::optional<optimise::Point> optimum;
    double D = 0;
    Long fill = DefaultGoalFill;
    std::optional<Factors> units; // axes in real units
};

void drawGoalMap(const GoalMap &map, Surface &surface);

// A goal in words for the legend: "max 13 … 15", "target 3 … 3.4 … 3.8", "range 14 … 20".
QString goalWords(const optimise::Goal &goal);
// A goal's line in the legend: "ID 1 硬度：max 13 … 15".
QString goalLegend(const QString &idText, const QString &name, const optimise::Goal &goal);
// A record's colour on the goal map: the automatic colour of its ID where it has one, else
// one of the darker palette colours by the goal's place.
Long goalColour(double id, std::size_t place);
// The limits a goal's lines are traced at.
std::vector<double> goalLimits(const optimise::Goal &goal);
