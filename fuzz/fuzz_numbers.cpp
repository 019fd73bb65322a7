// Number texts on arbitrary doubles: no crash, no undefined behaviour, and the fast thousandths
// text always equal to the general conversion.
#include "core/numbers.h"

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
        (void)numbers::plainText(x);
        (void)numbers::roundHundredthsAwayFromZero(x);
        (void)numbers::toSingle(x);
        (void)numbers::toInteger(x);
        if (std::isfinite(x)) {
            QString text;
            numbers::assignThousandthsText(text, x, false);
            if (text != numbers::NumberText(numbers::roundThousandths(x)))
                std::abort();
            numbers::assignThousandthsText(text, x, true);
            if (text != numbers::plainText(numbers::roundThousandths(x)))
                std::abort();
        }
    }
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)numbers::toNumber(QVariant(text));
    (void)numbers::toText(QVariant(text));
    return 0;
}
