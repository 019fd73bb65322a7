#pragma once

// The number conversions shared by the regression, the record loader and the contour labels.

#include <QString>
#include <QVariant>

#include <cstdint>
#include <limits>
#include <optional>

namespace numbers {

// Sign-or-blank text: "-" or one blank, then up to 15 significant digits, "." as the point,
// no zero before the point below 1, exponent form outside 1e-4 ... 1e15 (" 12.346", "-.5").
QString NumberText(double x);
// NumberText written into `target` reusing its buffer; without `blank`, a positive number has
// no leading blank (an ID as the window shows it: "12", "-2.5").
void assignNumberText(QString &target, double x, bool blank);

// The same digits without the leading blank and with a zero before the point ("0.992", "12").
QString plainText(double x);

// Rounds to three decimals with halves going up: Int((x + 0.0005) * 1000) / 1000.
double roundThousandths(double x);

// NumberText (or plainText when `plain`) of roundThousandths(x) after an optional prefix (the
// fit's "+"), written as ASCII at `out` (at most ThousandthsTextMax bytes; the end is
// returned), without going through a general decimal conversion for the usual magnitudes: the
// hot path of every fit.
constexpr int ThousandthsTextMax = 32;
char *writeThousandthsText(char *out, double x, bool plain, char prefix = '\0');
// The same into `target`, reusing its buffer.
void assignThousandthsText(QString &target, double x, bool plain, char prefix = '\0');

// Rounds to two decimals with halves away from zero, the way contour levels are labelled.
double roundHundredthsAwayFromZero(double x);

// Narrows a double to single precision; a value beyond the single range (or NaN) overflows.
inline std::optional<float> toSingle(double x)
{
    // NaN fails the comparison as well.
    if (!(x >= -double(std::numeric_limits<float>::max()) &&
          x <= double(std::numeric_limits<float>::max())))
        return std::nullopt;
    return static_cast<float>(x);
}

// Rounds half to even into a 16-bit integer; out of range or NaN fails.
std::optional<std::int16_t> toInteger(double x);

// A cell's value as a number: integers and reals as they are, text that reads fully as a
// number; NULL, empty and other text fail.
std::optional<double> toNumber(const QVariant &value);

// A cell's value as text: numbers in plain text, text as it is; NULL fails.
std::optional<QString> toText(const QVariant &value);

} // namespace numbers
