#pragma once

// The level curves of the fitted quadratic as lines for vector drawings: traced from the
// quadratic itself, not from the dots of the screen map.

#include "core/quadratic.h"
#include "plot/layers.h"

#include <QPointF>

#include <vector>

namespace plot {

// One connected piece of a level curve inside the plot square, in surface units. A closed
// piece does not repeat its first point at the end.
struct ContourPiece
{
    std::vector<QPointF> points;
    bool closed = false;
};

// The level curve b(X1, X2) = level inside the plot square, one piece per connected part.
// Every vertex lies on the curve (where it crosses the tracing grid, or where a small ellipse
// is drawn from its own equation); between them the line is refined until no chord strays more
// than `tolerance` surface units from the curve.
std::vector<ContourPiece> traceLevel(const QuadraticCoefficients &b, double level,
                                     const PlotGeometry &geometry, double tolerance);

// The designed places of each level's labels on the screen map, in surface units.
std::vector<std::vector<QPointF>> levelLabelPlaces(const ContourMap &map,
                                                   const std::vector<float> &levels);

// The contour layer on a surface that keeps paths: every level traced as lines, each label
// turned along its curve in a gap of it (no line of the map under it), starting from its
// designed place and moved along the curve until it is clear of the other labels and of
// `avoid`; a label with no clear place is left out. The labels' extents go to `labels`.
int drawContourFigure(const ContourMap &map, Surface &surface, std::vector<TextBox> *labels,
                      const std::vector<TextBox> &avoid);

} // namespace plot
