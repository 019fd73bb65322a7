#include "plot/layers.h"

namespace plot {

void drawGrid(FormState &s, Surface &surface)
{
    constexpr std::int32_t Green = 0xFF00;
    constexpr int DotSpacing = 30;
    const int x0 = s.PlotLeft + s.TickOffsetX;
    const int y0 = int(s.PlotTop + s.TickOffsetY);

    surface.DrawWidth = 1;
    for (int dot = 1; dot <= s.PlotSize; dot += DotSpacing) {
        for (int i = 0; i <= 4; ++i) {
            surface.PSet(float(x0 + s.TickSpacing * i), float(s.PlotTop + dot), Green);
            surface.PSet(float(s.PlotLeft + dot), float(y0 + s.TickSpacing * i), Green);
        }
    }
    surface.LineBox(s.PlotLeft, s.PlotTop, s.PlotLeft + s.PlotSize, s.PlotTop + s.PlotSize);
}

} // namespace plot
