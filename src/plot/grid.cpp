#include "plot/layers.h"

namespace plot {

void drawGrid(const PlotGeometry &g, Surface &surface)
{
    constexpr std::int32_t Green = 0xFF00;
    constexpr int DotSpacing = 30;
    const double x0 = g.left + g.tickOffsetX;
    const double y0 = g.top + g.tickOffsetY;

    surface.DrawWidth = 1;
    for (int dot = 1; dot <= g.size; dot += DotSpacing) {
        for (int i = 0; i <= 4; ++i) {
            surface.PSet(float(x0 + g.tickSpacing * i), float(g.top + dot), Green);
            surface.PSet(float(g.left + dot), float(y0 + g.tickSpacing * i), Green);
        }
    }
    surface.LineBox(float(g.left), float(g.top), float(g.left + g.size), float(g.top + g.size));
}

} // namespace plot
