#include "core/numbers.h"
#include "plot/layers.h"

#include <array>
#include <cmath>

namespace plot {

namespace {

constexpr double CodedLimit = PlotLimit;
constexpr double SweepStep = 0.01;
constexpr double LabelMargin = 200;
constexpr int ListCapacity = 1001;
// More levels than any line count gives; bounds the time a pathological step can take.
constexpr int MaxLevels = 10000;

// The 283 sweep values -1.414, -1.404, ... about 1.406, by repeated addition as the sweeps
// step them.
struct SweepValues
{
    std::array<double, 300> v{};
    int count = 0;
    SweepValues()
    {
        for (double x = -CodedLimit; x <= CodedLimit; x += SweepStep)
            v[std::size_t(count++)] = x;
    }
};
const SweepValues &sweepValues()
{
    static const SweepValues values;
    return values;
}

struct PointList
{
    std::array<double, ListCapacity> x{};
    std::array<double, ListCapacity> y{};
    int count = 0;
    void append(double px, double py)
    {
        if (count < ListCapacity) {
            x[std::size_t(count)] = px;
            y[std::size_t(count)] = py;
            ++count;
        }
    }
};

// Solves a·t² + b·t + c = 0 for a != 0 and hands each root within the coded square to `found`
// with the list it belongs to: 1 plus root, 2 minus root.
template <typename Found> void solveQuadratic(double a, double b, double c, Found &&found)
{
    // The quadratic case solves also when b is 0: a symmetric surface still has its contours.
    const double d = b * b - 4 * a * c;
    if (!(d >= 0))
        return;
    const double sq = std::sqrt(d);
    const double plus = ((-b + sq) / 2) / a;
    const double minus = ((-b - sq) / 2) / a;
    if (std::fabs(plus) <= CodedLimit)
        found(1, plus);
    if (std::fabs(minus) <= CodedLimit)
        found(2, minus);
}

} // namespace

QString levelLabel(float level)
{
    return numbers::NumberText(numbers::roundHundredthsAwayFromZero(double(level)));
}

std::vector<float> contourLevels(const LevelRange &range)
{
    std::vector<float> levels;
    if (range.max == range.min)
        return levels;
    const float levelMax = range.max, step = range.step;
    float level = range.min;
    if (!std::isfinite(level) || !std::isfinite(levelMax) || !std::isfinite(step) || step < 0)
        return levels;
    while (level <= levelMax && int(levels.size()) < MaxLevels) {
        levels.push_back(level);
        // A step of 0 (or one too small to move the level) gives this level once.
        const float next = level + step;
        if (!(next > level))
            break;
        level = next;
    }
    return levels;
}

int DrawContours(const ContourMap &map, Surface &surface, std::vector<TextBox> *labels)
{
    const std::vector<float> levels = contourLevels(map.levels);
    if (levels.empty())
        return 0;

    const double b0 = map.b.b0, b1 = map.b.b1, b2 = map.b.b2, b11 = map.b.b11, b22 = map.b.b22;
    const double b12 = map.b.b12;
    const double left = map.geometry.left, top = map.geometry.top, size = map.geometry.size;
    const auto xOf = [&](double x1) {
        return map.geometry.xOf(x1);
    };
    const auto yOf = [&](double x2) {
        return map.geometry.yOf(x2);
    };
    const std::int32_t colour = map.colour;
    const SweepValues &sweep = sweepValues();

    // What does not depend on the level, once per call.
    std::array<double, 300> linearColumn{}, linearRow{}, quadColumn{}, quadRow{};
    std::array<double, 300> screenX{}, screenY{};
    for (int i = 0; i < sweep.count; ++i) {
        const double v = sweep.v[std::size_t(i)];
        linearColumn[std::size_t(i)] = b2 + b12 * v;
        quadColumn[std::size_t(i)] = b0 + b1 * v + b11 * (v * v);
        linearRow[std::size_t(i)] = b1 + b12 * v;
        quadRow[std::size_t(i)] = b0 + b2 * v + b22 * (v * v);
        screenX[std::size_t(i)] = xOf(v);
        screenY[std::size_t(i)] = yOf(v);
    }

    std::array<PointList, 3> lists; // linear, plus and minus roots of the column sweep
    int dots = 0;
    for (std::size_t levelIndex = 0; levelIndex < levels.size(); ++levelIndex) {
        const float level = levels[levelIndex];
        const int k = int(levelIndex) + 1;
        for (PointList &list : lists)
            list.count = 0;

        // Column sweep: X1 fixed, solve for X2.
        for (int i = 0; i < sweep.count; ++i) {
            const double px = screenX[std::size_t(i)];
            const double base = quadColumn[std::size_t(i)];
            const double b = linearColumn[std::size_t(i)];
            const auto found = [&](int which, double root) {
                const double py = yOf(root);
                lists[std::size_t(which)].append(px, py);
                surface.PSet(float(px), float(py), colour);
                ++dots;
            };
            if (b22 == 0) {
                // Linear in X2: the root written as the level minus the rest, over b.
                if (b != 0) {
                    const double root = (double(level) - base) / b;
                    if (std::fabs(root) <= CodedLimit)
                        found(0, root);
                }
            } else {
                solveQuadratic(b22, b, base - double(level), found);
            }
        }

        const QString text = levelLabel(level);
        if (map.showLabels) {
            const double d = k % 2 == 0 ? 2 : 2.5;
            for (const PointList &list : lists) {
                // An empty list gives no label: its position 0 holds no point of this level.
                if (list.count == 0)
                    continue;
                const auto m = std::size_t(std::nearbyint(list.count / d));
                const double px = list.x[m], py = list.y[m];
                if (left + LabelMargin < px && px < left + size - LabelMargin &&
                    top + LabelMargin < py && py < top + size - LabelMargin) {
                    const float w = surface.TextWidth(text) / 2;
                    const float h = surface.TextHeight(text) / 2;
                    surface.CurrentX = float(px - double(w));
                    surface.CurrentY = float(py - double(h));
                    surface.Print(text);
                    if (labels)
                        labels->push_back(
                            {px - double(w), py - double(h), px + double(w), py + double(h)});
                }
            }
        }

        // Row sweep: X2 fixed, solve for X1; plotted only.
        for (int i = 0; i < sweep.count; ++i) {
            const double py = screenY[std::size_t(i)];
            const double base = quadRow[std::size_t(i)];
            const double b = linearRow[std::size_t(i)];
            const auto found = [&](int, double root) {
                surface.PSet(float(xOf(root)), float(py), colour);
                ++dots;
            };
            if (b11 == 0) {
                if (b != 0) {
                    const double root = (double(level) - base) / b;
                    if (std::fabs(root) <= CodedLimit)
                        found(0, root);
                }
            } else {
                solveQuadratic(b11, b, base - double(level), found);
            }
        }
    }
    return dots;
}

} // namespace plot
