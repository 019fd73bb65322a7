// Contour tracing of arbitrary coefficients and level ranges: no crash, no undefined behaviour,
// bounded time, every dot inside the plot square, every label at a finite place.
#include "core/form_defaults.h"
#include "null_surface.h"
#include "plot/layers.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 9 * sizeof(float) + 1)
        return 0;
    FormState s;
    initializeFormState(s, QStringLiteral("/fuzz"));
    float v[9];
    std::memcpy(v, data, sizeof v);
    s.B0 = v[0];
    s.B1 = v[1];
    s.B2 = v[2];
    s.B11 = v[3];
    s.B22 = v[4];
    s.B12 = v[5];
    s.LevelMin = v[6];
    s.LevelMax = v[7];
    s.LevelStep = v[8];
    s.ShowLabels = data[36] & 1;
    s.CoefficientsCurrent = true;
    s.LevelsCurrent = true;
    CheckingSurface surface;
    plot::DrawContours(s, surface);
    return 0;
}
