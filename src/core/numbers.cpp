#include "core/numbers.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace numbers {

namespace {

// Decimal digits (no trailing zeros) and the power of ten of the first digit, for at most 15
// significant digits. Zero gives "0" and 0.
struct Digits
{
    QByteArray digits;
    int exponent = 0;
};

Digits significantDigits(double magnitude)
{
    if (magnitude == 0)
        return {"0", 0};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", magnitude);
    // buffer: d.dddddddddddddde[+-]xx
    QByteArray text(buffer);
    const int ePos = text.indexOf('e');
    Digits result;
    result.exponent = text.mid(ePos + 1).toInt();
    result.digits = text.left(1) + text.mid(2, ePos - 2);
    while (result.digits.size() > 1 && result.digits.endsWith('0'))
        result.digits.chop(1);
    return result;
}

// The magnitude as text; leadingZero puts "0" before a bare decimal point.
QString magnitudeText(double magnitude, bool leadingZero)
{
    const Digits d = significantDigits(magnitude);
    const int e = d.exponent;
    QByteArray out;
    if (e >= 15 || e < -4) {
        out = d.digits.left(1);
        if (d.digits.size() > 1)
            out += '.' + d.digits.mid(1);
        char exp[16];
        std::snprintf(exp, sizeof exp, "E%c%02d", e < 0 ? '-' : '+', std::abs(e));
        out += exp;
    } else if (e >= 0) {
        QByteArray whole = d.digits.left(e + 1);
        while (whole.size() < e + 1)
            whole += '0';
        out = whole;
        if (d.digits.size() > e + 1)
            out += '.' + d.digits.mid(e + 1);
    } else {
        out = leadingZero ? "0." : ".";
        out += QByteArray(-e - 1, '0') + d.digits;
    }
    return QString::fromLatin1(out);
}

// Written over the target's own buffer: a text a record then allocates nothing.
void assignLatin1(QString &target, const char *text, int size)
{
    target.resize(size);
    QChar *at = target.data();
    for (int i = 0; i < size; ++i)
        at[i] = QLatin1Char(text[i]);
}

} // namespace

void assignNumberText(QString &target, double x, bool blank)
{
    const QLatin1StringView sign(x < 0 ? "-" : blank ? " " : "");
    if (!std::isfinite(x)) {
        target = sign + (std::isnan(x) ? QStringLiteral("NaN") : QStringLiteral("Inf"));
        return;
    }
    // Whole numbers, the usual identifiers, need no general conversion.
    if (x == std::trunc(x) && std::fabs(x) < 1e15) {
        char out[24];
        std::memcpy(out, sign.data(), std::size_t(sign.size()));
        const long long whole = static_cast<long long>(std::fabs(x));
        const auto end = std::to_chars(out + sign.size(), out + sizeof out, whole).ptr;
        assignLatin1(target, out, int(end - out));
        return;
    }
    target = sign + magnitudeText(std::fabs(x), false);
}

QString NumberText(double x)
{
    QString text;
    assignNumberText(text, x, true);
    return text;
}

QString plainText(double x)
{
    if (!std::isfinite(x))
        return NumberText(x).trimmed();
    const bool negative = x < 0;
    return (negative ? QStringLiteral("-") : QString()) + magnitudeText(std::fabs(x), true);
}

double roundThousandths(double x)
{
    return std::floor((x + 0.0005) * 1000) / 1000;
}

char *writeThousandthsText(char *out, double x, bool plain, char prefix)
{
    const double shifted = (x + 0.0005) * 1000;
    if (prefix)
        *out++ = prefix;
    // Below 1e15 the rounded value k / 1000 has at most 15 significant digits (-1e15 has one),
    // so its text is exactly the digits of k with the point three places from the right.
    if (!(std::fabs(shifted) < 1e15)) {
        const double rounded = std::floor(shifted) / 1000;
        const QString text = plain ? plainText(rounded) : NumberText(rounded);
        // At most fifteen digits, a sign, a point and an exponent: ASCII, within the room.
        const qsizetype size = std::min<qsizetype>(text.size(), ThousandthsTextMax - 1);
        for (qsizetype i = 0; i < size; ++i)
            out[i] = char(text[i].unicode());
        return out + size;
    }
    // Truncation is exact here; the floor is the truncation less one where that went up.
    long long k = static_cast<long long>(shifted);
    k -= double(k) > shifted ? 1 : 0;
    const bool negative = k < 0;
    const unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(k) : static_cast<unsigned long long>(k);
    // The whole part as it is, the three decimals without their trailing zeros.
    const unsigned long long whole = magnitude / 1000;
    const unsigned decimals = unsigned(magnitude % 1000);
    if (negative)
        *out++ = '-';
    else if (!plain)
        *out++ = ' ';
    if (whole != 0)
        out = std::to_chars(out, out + 16, whole).ptr;
    else if (plain || decimals == 0)
        *out++ = '0'; // "0.5" when plain, " 0" for zero
    if (decimals != 0) {
        out[0] = '.';
        out[1] = char('0' + decimals / 100);
        out[2] = char('0' + decimals / 10 % 10);
        out[3] = char('0' + decimals % 10);
        out += decimals % 10 ? 4 : decimals % 100 ? 3 : 2;
    }
    return out;
}

void assignThousandthsText(QString &target, double x, bool plain, char prefix)
{
    char out[ThousandthsTextMax];
    assignLatin1(target, out, int(writeThousandthsText(out, x, plain, prefix) - out));
}

double roundHundredthsAwayFromZero(double x)
{
    if (x < 0)
        return std::trunc((x - 0.005) * 100) / 100;
    return std::trunc((x + 0.005) * 100) / 100;
}

std::optional<std::int16_t> toInteger(double x)
{
    if (!std::isfinite(x))
        return std::nullopt;
    // Halves go to the even neighbour, whatever rounding mode the caller left behind.
    const double rounded = x - std::floor(x) == 0.5 ? 2 * std::round(x / 2) : std::round(x);
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

std::optional<double> toNumber(const QVariant &value)
{
    // Reals and integers, the cells of every table, are read in place.
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<double>() || type == QMetaType::fromType<qlonglong>()) {
        if (value.isNull())
            return std::nullopt;
        const double d = type == QMetaType::fromType<double>()
                             ? *static_cast<const double *>(value.constData())
                             : double(*static_cast<const qlonglong *>(value.constData()));
        if (!std::isfinite(d))
            return std::nullopt;
        return d;
    }
    if (value.isNull())
        return std::nullopt;
    switch (type.id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d))
            return std::nullopt;
        return d;
    }
    case QMetaType::QString: {
        bool ok = false;
        const double d = QLocale::c().toDouble(value.toString().trimmed(), &ok);
        if (!ok || !std::isfinite(d))
            return std::nullopt;
        return d;
    }
    default:
        return std::nullopt;
    }
}

std::optional<QString> toText(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return plainText(value.toDouble());
    default:
        return std::nullopt;
    }
}

} // namespace numbers
