#include "plot/layers.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace plot {

namespace {

constexpr double CodedLimit = PlotLimit;
// The axial runs at 1.4142 lie a hair outside the plotted square: drawn on its edge.
constexpr double EdgeTolerance = 0.0005;
constexpr double BoxHalf = 35;
constexpr double DotHalf = 15;
// How far a mark's label keeps from the border of the square, in surface units.
constexpr double LabelInset = 30;

// Where a mark's symbol stands on the surface, when inside the square.
std::optional<std::pair<QPointF, double>> symbolAt(const Mark &m, const PlotGeometry &g)
{
    if (!(std::fabs(m.x1) <= CodedLimit + EdgeTolerance &&
          std::fabs(m.x2) <= CodedLimit + EdgeTolerance))
        return std::nullopt;
    return std::pair{QPointF(g.xOf(std::clamp(m.x1, -CodedLimit, CodedLimit)),
                             g.yOf(std::clamp(m.x2, -CodedLimit, CodedLimit))),
                     m.shape == Mark::Shape::Box ? BoxHalf : DotHalf};
}

} // namespace

std::vector<TextBox> markSymbols(const std::vector<Mark> &marks, const PlotGeometry &g)
{
    std::vector<TextBox> boxes;
    for (const Mark &m : marks)
        if (const auto at = symbolAt(m, g))
            boxes.push_back({at->first.x() - at->second, at->first.y() - at->second,
                             at->first.x() + at->second, at->first.y() + at->second});
    return boxes;
}

void drawMarks(const std::vector<Mark> &marks, const PlotGeometry &g, Surface &surface,
               const std::vector<TextBox> &occupied)
{
    const float fontSize = surface.FontSize;
    const std::int32_t foreColor = surface.ForeColor;
    surface.FontSize = 7;
    surface.ForeColor = 0;
    struct Placed
    {
        double x, y, half;
        const Mark *mark;
    };
    std::vector<Placed> shown;
    std::vector<TextBox> taken = occupied;
    for (const Mark &m : marks) {
        const auto at = symbolAt(m, g);
        if (!at)
            continue;
        const double x = at->first.x(), y = at->first.y(), half = at->second;
        if (m.shape == Mark::Shape::Box) {
            surface.LineBox(float(x - half), float(y - half), float(x + half), float(y + half));
        } else {
            for (double dy = -half; dy <= half; dy += 5)
                for (double dx = -half; dx <= half; dx += 5)
                    surface.PSet(float(x + dx), float(y + dy), 0);
        }
        taken.push_back({x - half, y - half, x + half, y + half});
        shown.push_back({x, y, half, &m});
    }
    // Labels after every symbol, so that none is written over another mark.
    const TextBox square{g.left + LabelInset, g.top + LabelInset, g.left + g.size - LabelInset,
                         g.top + g.size - LabelInset};
    for (const Placed &p : shown) {
        const double w = surface.TextWidth(p.mark->label), h = surface.TextHeight(p.mark->label);
        // Right, left, above, below, then the corners; then the same a line further out.
        std::vector<std::pair<double, double>> places;
        for (int ring = 0; ring < 3; ++ring) {
            const double gap = p.half + 20 + ring * h;
            places.insert(places.end(), {{p.x + gap, p.y - h / 2},
                                         {p.x - gap - w, p.y - h / 2},
                                         {p.x - w / 2, p.y - gap - h},
                                         {p.x - w / 2, p.y + gap},
                                         {p.x + gap, p.y - gap - h},
                                         {p.x + gap, p.y + gap},
                                         {p.x - gap - w, p.y - gap - h},
                                         {p.x - gap - w, p.y + gap}});
        }
        const auto boxAt = [&](const std::pair<double, double> &at) {
            return TextBox{at.first, at.second, at.first + w, at.second + h};
        };
        const auto inside = [&](const TextBox &b) {
            return b.left >= square.left && b.right <= square.right && b.top >= square.top &&
                   b.bottom <= square.bottom;
        };
        const auto clear = [&](const TextBox &b) {
            return std::none_of(taken.begin(), taken.end(),
                                [&](const TextBox &t) { return t.overlaps(b); });
        };
        // The first free place inside; else the first inside; else beside it as it fits.
        auto best = std::find_if(places.begin(), places.end(), [&](const auto &at) {
            return inside(boxAt(at)) && clear(boxAt(at));
        });
        if (best == places.end())
            best = std::find_if(places.begin(), places.end(),
                                [&](const auto &at) { return inside(boxAt(at)); });
        if (best == places.end())
            best = places.begin() + (boxAt(places[0]).right > square.right ? 1 : 0);
        taken.push_back(boxAt(*best));
        if (surface.KeepsPaths()) {
            // A figure's label on a ground of its own, over the lines it stands on.
            surface.PrintTurned(p.mark->label, best->first + w / 2, best->second + h / 2, 0);
            continue;
        }
        surface.CurrentX = float(best->first);
        surface.CurrentY = float(best->second);
        surface.Print(p.mark->label);
    }
    surface.FontSize = fontSize;
    surface.ForeColor = foreColor;
}

} // namespace plot
