// The fit and the contours on arbitrary responses (NaN, infinities, denormals, huge values)
// and line counts: no crash, no undefined behaviour, bounded time, nothing outside the plot.
#include "null_surface.h"
#include "plot/layers.h"
#include "stats/regression.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 11 * sizeof(float) + 1)
        return 0;
    regression::Responses y;
    for (int i = 0; i < 11; ++i)
        std::memcpy(&y[std::size_t(i)], data + 1 + 4 * i, sizeof(float));
    regression::FitResult f;
    regression::fit(y, float(data[0]), f);
    if (f.outcome == regression::FitOutcome::Complete &&
        (f.rText.view().isEmpty() || f.sText.view().isEmpty() || !(f.r >= 0 && f.r <= 1)))
        std::abort();
    if (!f.hasCoefficients())
        return 0;
    const plot::ContourMap map{
        f.b, {f.levelMin, f.levelMax, f.levelStep}, 255, true, plot::DesignedGeometry};
    CheckingSurface surface;
    plot::DrawContours(map, surface);
    return 0;
}
