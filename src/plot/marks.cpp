#include "plot/layers.h"

#include <algorithm>
#include <cmath>

namespace plot {

namespace {

constexpr double CodedLimit = PlotLimit;
// The axial runs at 1.4142 lie a hair outside the plotted square: drawn on its edge.
constexpr double EdgeTolerance = 0.0005;
constexpr double BoxHalf = 35;
constexpr double DotHalf = 15;

} // namespace

void drawMarks(const std::vector<Mark> &marks, const PlotGeometry &g, Surface &surface)
{
    const float fontSize = surface.FontSize;
    const std::int32_t foreColor = surface.ForeColor;
    surface.FontSize = 7;
    surface.ForeColor = 0;
    for (const Mark &m : marks) {
        if (!(std::fabs(m.x1) <= CodedLimit + EdgeTolerance &&
              std::fabs(m.x2) <= CodedLimit + EdgeTolerance))
            continue;
        const double x1 = std::clamp(m.x1, -CodedLimit, CodedLimit);
        const double x2 = std::clamp(m.x2, -CodedLimit, CodedLimit);
        const double x = g.xOf(x1);
        const double y = g.yOf(x2);
        if (m.shape == Mark::Shape::Box) {
            surface.LineBox(float(x - BoxHalf), float(y - BoxHalf), float(x + BoxHalf),
                            float(y + BoxHalf));
        } else {
            for (double dy = -DotHalf; dy <= DotHalf; dy += 5)
                for (double dx = -DotHalf; dx <= DotHalf; dx += 5)
                    surface.PSet(float(x + dx), float(y + dy), 0);
        }
        // The label right of the mark, or left of it near the right edge.
        const double w = surface.TextWidth(m.label), h = surface.TextHeight(m.label);
        const double half = m.shape == Mark::Shape::Box ? BoxHalf : DotHalf;
        const bool left = x + half + 20 + w > g.left + g.size;
        surface.CurrentX = float(left ? x - half - 20 - w : x + half + 20);
        surface.CurrentY = float(y - h / 2);
        surface.Print(m.label);
    }
    surface.FontSize = fontSize;
    surface.ForeColor = foreColor;
}

} // namespace plot
