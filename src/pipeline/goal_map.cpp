#include "pipeline/goal_map.h"

#include "pipeline/record_change.h"
#include "plot/layers.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr Long White = 0xFFFFFF;
constexpr double LegendPad = 40;

// A logical point of the plot square in coded units.
double codedX1(const plot::PlotGeometry &g, double x)
{
    return (x - g.left) * 2 * PlotLimit / g.size - PlotLimit;
}
double codedX2(const plot::PlotGeometry &g, double y)
{
    return PlotLimit - (y - g.top) * 2 * PlotLimit / g.size;
}

// Where the legend stands: in the corner of the plot square farthest from the optimum.
plot::TextBox legendBox(const GoalMap &map, Surface &surface, double &line)
{
    const plot::PlotGeometry &g = plot::DesignedGeometry;
    surface.FontSize = 7;
    double width = 0;
    line = 0;
    for (const GoalLayer &l : map.layers) {
        width = std::max(width, double(surface.TextWidth(l.legend)));
        line = std::max(line, double(surface.TextHeight(l.legend)));
    }
    constexpr double Inset = 60;
    const double w = width + 2 * LegendPad, h = line * double(map.layers.size()) + 2 * LegendPad;
    const bool right = map.optimum && map.optimum->x1 < 0;
    const bool bottom = map.optimum && map.optimum->x2 > 0;
    const double left = right ? g.left + g.size - Inset - w : g.left + Inset;
    const double top = bottom ? g.top + g.size - Inset - h : g.top + Inset;
    return {left, top, left + w, top + h};
}

// The legend over the map.
void drawLegend(const GoalMap &map, const plot::TextBox &box, double line, Surface &surface)
{
    surface.FontSize = 7;
    surface.FillCells(
        float(box.left), float(box.top), float(box.right - box.left), float(box.bottom - box.top),
        [](double, double) { return true; }, White);
    surface.LineBox(float(box.left), float(box.top), float(box.right), float(box.bottom));
    for (std::size_t i = 0; i < map.layers.size(); ++i) {
        surface.ForeColor = map.layers[i].colour;
        surface.CurrentX = float(box.left + LegendPad);
        surface.CurrentY = float(box.top + LegendPad + line * double(i));
        surface.Print(map.layers[i].legend);
    }
    surface.ForeColor = 0;
}

} // namespace

std::vector<double> goalLimits(const optimise::Goal &goal)
{
    if (goal.kind == optimise::GoalKind::Target)
        return {goal.low, goal.target, goal.high};
    return {goal.low, goal.high};
}

QString goalWords(const optimise::Goal &goal)
{
    QStringList limits;
    for (double v : goalLimits(goal))
        limits << QString::number(v, 'g', 6);
    return QStringLiteral("%1 %2").arg(QLatin1String(optimise::goalKindName(goal.kind)),
                                       limits.join(QStringLiteral(" … ")));
}

QString goalLegend(const QString &idText, const QString &name, const optimise::Goal &goal)
{
    return QStringLiteral("ID %1 %2：%3").arg(idText, name, goalWords(goal));
}

Long goalColour(double id, std::size_t place)
{
    if (id == std::floor(id) && id >= 0 && id <= 15)
        return curvePaletteColor(int(id));
    static const int dark[] = {1, 2, 4, 5, 6, 9, 12, 13};
    return paletteColor(dark[place % std::size(dark)]);
}

void drawGoalMap(const GoalMap &map, Surface &surface)
{
    const plot::PlotGeometry &g = plot::DesignedGeometry;
    surface.Clear();
    std::vector<optimise::Response> responses;
    for (const GoalLayer &l : map.layers)
        responses.push_back(l.response);
    // Every goal met: tested at each pixel's centre, under everything else.
    surface.FillCells(
        float(g.left), float(g.top), float(g.size), float(g.size),
        [&](double x, double y) {
            return optimise::overall(responses, codedX1(g, x), codedX2(g, y)) > 0;
        },
        map.fill);
    const plot::AxisTexts real = map.units ? axisTexts(*map.units) : plot::AxisTexts();
    plot::drawAxisLabels(g, nullptr, surface, map.units ? &real : nullptr);
    plot::drawGrid(g, surface);
    std::vector<plot::TextBox> occupied;
    // The legend's place is known first: a figure's level labels keep clear of it.
    double line = 0;
    const plot::TextBox legend = legendBox(map, surface, line);
    surface.FontSize = 7;
    for (const GoalLayer &l : map.layers) {
        const optimise::Model &b = l.response.model;
        const QuadraticCoefficients q{float(b[0]), float(b[1]), float(b[2]),
                                      float(b[3]), float(b[4]), float(b[5])};
        for (double v : goalLimits(l.response.goal)) {
            const float level = float(v);
            // One level: a range just above it with no step.
            plot::DrawContours(
                {q,
                 {level, std::nextafter(level, std::numeric_limits<float>::max()), 0},
                 l.colour,
                 true,
                 g},
                surface, &occupied, {legend});
        }
    }
    drawLegend(map, legend, line, surface);
    occupied.push_back(legend);
    if (map.optimum)
        plot::drawMarks(
            {{map.optimum->x1, map.optimum->x2, QStringLiteral("最优 D = %1").arg(map.D, 0, 'f', 3),
              plot::Mark::Shape::Box}},
            g, surface, occupied);
}
