// Contour tracing of arbitrary coefficients and level ranges: no crash, no undefined behaviour,
// bounded time, every dot inside the plot square, every label at a finite place.
#include "null_surface.h"
#include "plot/layers.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 9 * sizeof(float) + 1)
        return 0;
    float v[9];
    std::memcpy(v, data, sizeof v);
    const plot::ContourMap map{{v[0], v[1], v[2], v[3], v[4], v[5]},
                               {v[6], v[7], v[8]},
                               255,
                               (data[36] & 1) != 0,
                               plot::DesignedGeometry};
    CheckingSurface surface;
    plot::DrawContours(map, surface);
    return 0;
}
