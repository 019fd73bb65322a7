#pragma once

// The three drawing layers of the map. Each takes what it draws and adds to the surface; none
// clears it.

#include "core/colour.h"
#include "core/design.h"
#include "core/quadratic.h"
#include "plot/surface.h"

#include <QString>

#include <array>
#include <vector>

namespace plot {

// Where the plot square lies on the 4095-unit surface, and where its ticks are.
struct PlotGeometry
{
    double left = 0, top = 0, size = 0;
    double tickSpacing = 0, tickOffsetX = 0, tickOffsetY = 0;

    // A coded X1 and X2 on the surface, evaluated in exactly this order.
    double xOf(double x1) const { return left + ((x1 + PlotLimit) * size / 2) / PlotLimit; }
    double yOf(double x2) const { return top + ((PlotLimit - x2) * size / 2) / PlotLimit; }
};

// The window's plot square: 300 units of frame above it for the title, 400 left of it for the
// tick labels and the X2 name, the rest of the 4095 units below and right.
inline constexpr PlotGeometry DesignedGeometry{400, 300, 3395, 600, 497, 497};

// The contour levels: from `min` by repeated single-precision addition of `step` while not
// above `max`.
struct LevelRange
{
    float min = 0, max = 0, step = 0;
};

// What the contour layer draws: the fitted surface, its levels, the curve colour and whether
// the level values are printed.
struct ContourMap
{
    QuadraticCoefficients b;
    LevelRange levels;
    Long colour = 0;
    bool showLabels = false;
    PlotGeometry geometry;
};

// What the axes say: the texts of the seven ticks, from -1.414 up to 1.414, and the axis
// titles. Without them the coded values and "X1", "X2".
struct AxisTexts
{
    std::array<QString, 7> x1Ticks, x2Ticks;
    QString x1Title, x2Title;
};

// Tick labels, axis names and, when given, the response name as title. Leaves the surface at
// font size 7 in black for the contour labels.
void drawAxisLabels(const PlotGeometry &geometry, const QString *title, Surface &surface,
                    const AxisTexts *axes = nullptr);
// The green dotted grid at the ticks and the black border of the plot square.
void drawGrid(const PlotGeometry &geometry, Surface &surface);
// A rectangle of surface units that a text takes.
struct TextBox
{
    double left = 0, top = 0, right = 0, bottom = 0;
    bool overlaps(const TextBox &o) const
    {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
};

// Contour dots of the fitted surface in its colour and, with labels on, the level values
// (their boxes added to `labels` when given). Returns the number of dots set. On a surface that
// keeps paths, the curves as lines instead and each label in a gap of its curve, clear of
// `avoid`; then the number of the lines' points.
int DrawContours(const ContourMap &map, Surface &surface, std::vector<TextBox> *labels = nullptr,
                 const std::vector<TextBox> &avoid = {});

// Points on the map with a short label: the stationary point, the optimum, the design runs.
struct Mark
{
    enum class Shape { Box, Dot };
    double x1 = 0, x2 = 0; // coded
    QString label;
    Shape shape = Shape::Box;
};
// Each mark inside the plot square, in black, its label beside it: at the first place around
// the mark (right, left, above, below, then the corners) that stays inside the square clear of
// its border and overlaps neither another mark or its label nor any box in `occupied` (the
// contour labels). Leaves the font size and colour as it found them.
// The squares the marks' symbols take on the surface.
std::vector<TextBox> markSymbols(const std::vector<Mark> &marks, const PlotGeometry &geometry);
void drawMarks(const std::vector<Mark> &marks, const PlotGeometry &geometry, Surface &surface,
               const std::vector<TextBox> &occupied = {});

// The levels the contours are traced at; a step of 0 gives `min` once. None for a flat
// response (min = max): the single-precision fit leaves traces of rounding in the quadratic
// terms, which would draw a made-up line at the one level.
std::vector<float> contourLevels(const LevelRange &levels);
// The label text of a contour level: two decimals, halves away from zero.
QString levelLabel(float level);

} // namespace plot
