// The fit and the contours on arbitrary responses (NaN, infinities, denormals, huge values)
// and line counts: no crash, no undefined behaviour, bounded time, nothing outside the plot.
#include "core/form_defaults.h"
#include "core/regression.h"
#include "null_surface.h"
#include "plot/layers.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 11 * sizeof(float) + 1)
        return 0;
    FormState s;
    initializeFormState(s, QStringLiteral("/fuzz"));
    s.ShowLabels = true;
    s.LineCount = float(data[0]);
    for (int i = 0; i < 11; ++i)
        std::memcpy(&s.Response[std::size_t(i)], data + 1 + 4 * i, sizeof(float));
    const regression::FitReport report = regression::FitRegression(s);
    if (report.outcome == regression::FitOutcome::Complete &&
        (s.Text3.isEmpty() || s.Text4.isEmpty() || !(report.r >= 0 && report.r <= 1)))
        std::abort();
    CheckingSurface surface;
    plot::DrawContours(s, surface);
    return 0;
}
