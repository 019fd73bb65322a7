#include "access/access_values.h"

#include "core/file_signatures.h"

#include <QDate>
#include <QtEndian>

#include <cerrno>
#include <cmath>
#include <vector>

#include <iconv.h>

namespace accessdb {

namespace {

constexpr double FirstDay = -657434; // 0100-01-01
constexpr double LastDay = 2958465;  // 9999-12-31
constexpr int SecondsPerDay = 86400;

// Windows single-byte code pages: the ones whose undefined bytes Windows maps to the
// character of the same number.
bool isWindowsSingleByte(const QByteArray &encoding)
{
    const QByteArray e = encoding.toUpper();
    return (e.startsWith("CP125") || e.startsWith("WINDOWS-125")) && e.size() <= 12;
}

} // namespace

std::optional<QString> dateText(double stored)
{
    if (!std::isfinite(stored) || stored < FirstDay || stored >= LastDay + 1)
        return std::nullopt;
    const double whole = std::trunc(stored);
    qint64 day = qint64(whole);
    qint64 seconds = std::llround(std::fabs(stored - whole) * SecondsPerDay);
    if (seconds >= SecondsPerDay) { // rounds up to the next midnight
        seconds -= SecondsPerDay;
        ++day;
    }
    const QDate date = QDate(1899, 12, 30).addDays(day);
    if (!date.isValid() || date.year() > 9999)
        return std::nullopt;
    return QStringLiteral("%1-%2-%3T%4:%5:%6")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

std::optional<QString> decodeUnicodeText(QByteArrayView stored)
{
    std::vector<char16_t> units;
    units.reserve(std::size_t(stored.size()));
    const auto *b = reinterpret_cast<const unsigned char *>(stored.data());
    const qsizetype n = stored.size();
    if (n >= 2 && b[0] == 0xff && b[1] == 0xfe) {
        bool compressed = true;
        for (qsizetype i = 2; i < n;) {
            if (b[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                units.push_back(char16_t(b[i++]));
            } else if (i + 1 < n) {
                units.push_back(char16_t(b[i] | b[i + 1] << 8));
                i += 2;
            } else {
                return std::nullopt; // half a unit
            }
        }
    } else {
        if (n % 2 != 0)
            return std::nullopt;
        for (qsizetype i = 0; i < n; i += 2)
            units.push_back(char16_t(b[i] | b[i + 1] << 8));
    }
    // Surrogates only in pairs: a lone one is no character and cannot be kept as text.
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (QChar::isHighSurrogate(units[i]) && i + 1 < units.size() &&
            QChar::isLowSurrogate(units[i + 1]))
            ++i;
        else if (QChar::isSurrogate(units[i]))
            return std::nullopt;
    }
    return QString(reinterpret_cast<const QChar *>(units.data()), qsizetype(units.size()));
}

std::optional<QString> decodeCodePageText(QByteArrayView stored, const QByteArray &encoding)
{
    iconv_t cd = ::iconv_open("UTF-16LE", encoding.constData());
    if (cd == iconv_t(-1))
        return std::nullopt;
    const bool singleByte = isWindowsSingleByte(encoding);
    QString text;
    std::vector<char> out(std::size_t(stored.size()) * 4 + 8);
    char *in = const_cast<char *>(stored.data());
    std::size_t inLeft = std::size_t(stored.size());
    bool ok = true;
    while (inLeft > 0) {
        char *to = out.data();
        std::size_t outLeft = out.size();
        const std::size_t r = ::iconv(cd, &in, &inLeft, &to, &outLeft);
        text += QString(reinterpret_cast<const QChar *>(out.data()),
                        qsizetype((out.size() - outLeft) / 2));
        if (r != std::size_t(-1))
            continue;
        if (errno == EILSEQ && singleByte) {
            text += QChar(char16_t(static_cast<unsigned char>(*in)));
            ++in;
            --inLeft;
        } else if (errno != E2BIG) {
            ok = false;
            break;
        }
    }
    ::iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return text;
}

QString sqliteTableName(const QString &accessName, const QSet<QString> &taken)
{
    QString name = accessName;
    for (int n = 1; name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive) ||
                    taken.contains(name.toCaseFolded());
         ++n)
        name =
            QStringLiteral("access_%1%2").arg(accessName, n > 1 ? QString::number(n) : QString());
    return name;
}

bool isKnownEncoding(const QString &encoding)
{
    iconv_t cd = ::iconv_open("UTF-16LE", encoding.toLatin1().constData());
    if (cd == iconv_t(-1))
        return false;
    ::iconv_close(cd);
    return true;
}

QString encodingOfCodePage(int codePage)
{
    switch (codePage) {
    case 936:
        return QStringLiteral("GBK");
    case 950:
        return QStringLiteral("BIG5");
    case 932:
        return QStringLiteral("SHIFT_JIS");
    case 949:
        return QStringLiteral("CP949");
    case 0:
        return QStringLiteral("CP1252");
    default:
        return QStringLiteral("CP%1").arg(codePage);
    }
}

bool hasEncryptionHeader(const QByteArray &head)
{
    // ACE only (version byte 2 and later); the record at 0x299: its length, then the
    // encryption's major and minor version (2.2 to 4.4 for the kinds Office writes).
    constexpr int Record = 0x299;
    if (!hasAccessHeader(head) || head.size() < Record + 6 || quint8(head[0x14]) < 2)
        return false;
    const auto *p = reinterpret_cast<const uchar *>(head.constData()) + Record;
    const quint16 length = qFromLittleEndian<quint16>(p);
    const quint16 major = qFromLittleEndian<quint16>(p + 2);
    const quint16 minor = qFromLittleEndian<quint16>(p + 4);
    return length >= 8 && length < 4096 && major >= 2 && major <= 4 && minor >= 2 && minor <= 4;
}

} // namespace accessdb
