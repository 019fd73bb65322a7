// Number texts on arbitrary doubles: no crash, no undefined behaviour, and the fast thousandths
// text always equal to the general conversion.
#include "analysis/numbers.h"

#include <QVariant>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size >= sizeof(double)) {
        double x;
        std::memcpy(&x, data, sizeof x);
        (void)numbers::NumberText(x);
        (void)numbers::PlainText(x);
        (void)numbers::RoundHundredthsAwayFromZero(x);
        (void)numbers::ToSingle(x);
        (void)numbers::ToInteger(x);
        if (std::isfinite(x)) {
            if (numbers::ThousandthsText(x, false) !=
                    numbers::NumberText(numbers::RoundThousandths(x)) ||
                numbers::ThousandthsText(x, true) !=
                    numbers::PlainText(numbers::RoundThousandths(x)))
                std::abort();
        }
    }
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)numbers::ToNumber(QVariant(text));
    (void)numbers::ToText(QVariant(text));
    return 0;
}
