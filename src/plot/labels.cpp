#include "core/numbers.h"
#include "plot/layers.h"

namespace plot {

namespace {

constexpr std::int32_t Red = 255;
constexpr std::int32_t Blue = 0xFF0000;
constexpr std::int32_t Black = 0;

void printAt(Surface &surface, const QString &text, double x, double y)
{
    surface.CurrentX = float(x);
    surface.CurrentY = float(y);
    surface.Print(text);
}

} // namespace

void drawAxisLabels(const PlotGeometry &g, const QString *title, Surface &surface,
                    const AxisTexts *axes)
{
    const double left = g.left, top = g.top, size = g.size;
    const double bottom = top + size;
    const double spacing = g.tickSpacing;

    surface.FontSize = 7;
    surface.ForeColor = Red;

    // Horizontal axis: each label centred on its tick, half a line below the bottom edge.
    const auto below = [&](const QString &text, double x) {
        const double w = surface.TextWidth(text), h = surface.TextHeight(text);
        printAt(surface, text, x - w / 2, bottom + h / 2);
    };
    below(axes ? axes->x1Ticks[0] : QStringLiteral("-1.414"), left);
    for (int i = 0; i <= 4; ++i)
        below(axes ? axes->x1Ticks[std::size_t(i + 1)] : numbers::plainText(0.5 * i - 1),
              left + g.tickOffsetX + spacing * i);
    below(axes ? axes->x1Ticks[6] : QStringLiteral("1.414"), left + size);

    // Vertical axis: each label ends on the left edge, centred on its tick.
    const auto beside = [&](const QString &text, double y) {
        const double w = surface.TextWidth(text), h = surface.TextHeight(text);
        printAt(surface, text, left - w, y - h / 2);
    };
    beside(axes ? axes->x2Ticks[6] : QStringLiteral("1.414"), top);
    for (int i = 0; i <= 4; ++i)
        beside(axes ? axes->x2Ticks[std::size_t(5 - i)] : numbers::plainText(1 - 0.5 * i),
               top + g.tickOffsetY + spacing * i);
    beside(axes ? axes->x2Ticks[0] : QStringLiteral("-1.414"), bottom);

    surface.FontSize = 9;
    surface.ForeColor = Blue;
    {
        const QString x1 = axes ? axes->x1Title : QStringLiteral("X1");
        const double w = surface.TextWidth(x1), h = surface.TextHeight(x1);
        printAt(surface, x1, left + size / 2 - w / 2, bottom + 50 + h);
    }
    if (!axes) {
        const QString x2 = QStringLiteral("X2");
        const double w = surface.TextWidth(x2), h = surface.TextHeight(x2);
        printAt(surface, x2, w / 4, top + size / 2 - h / 2);
    } else {
        // A real axis title is too long to stand beside the tick labels: it heads the axis,
        // on the title's line, starting where "X2" starts.
        const double w = surface.TextWidth(QStringLiteral("X2"));
        printAt(surface, axes->x2Title, w / 4, 50);
    }
    if (title) {
        const double w = surface.TextWidth(*title);
        printAt(surface, *title, left + size / 2 - w / 2, 50);
    }

    surface.FontSize = 7;
    surface.ForeColor = Black;
}

} // namespace plot
