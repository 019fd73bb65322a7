#include "core/csv.h"

#include <QLocale>

#include <cstdint>
#include <cstring>

namespace {

// Whether a text cell reads as a plain number (which a spreadsheet takes as a number).
bool isPlainNumber(QAnyStringView text)
{
    bool ok = false;
    QLocale::c().toDouble(text.toString(), &ok);
    return ok;
}

// Whether a byte of the word is `c`: the classic test for a zero byte in w ^ c·0x01…01.
bool hasByte(std::uint64_t word, char c)
{
    const std::uint64_t v = word ^ (std::uint64_t(std::uint8_t(c)) * 0x0101010101010101u);
    return ((v - 0x0101010101010101u) & ~v & 0x8080808080808080u) != 0;
}

bool breaksField(char16_t c)
{
    return c == u',' || c == u'"' || c == u'\n' || c == u'\r';
}

// Whether the text holds a separator, quote or line break; bytes eight at a time (the fit's
// equation, a record's longest cell, is one).
template <typename View> bool anyBreaksField(View view)
{
    qsizetype i = 0;
    if constexpr (sizeof(*view.data()) == 1) {
        for (; view.size() - i >= 8; i += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, view.data() + i, 8);
            if (hasByte(word, ',') || hasByte(word, '"') || hasByte(word, '\n') ||
                hasByte(word, '\r'))
                break;
        }
    }
    for (; i < view.size(); ++i)
        if (breaksField(char16_t(QChar(view[i]).unicode())))
            return true;
    return false;
}

} // namespace

CsvNeeds csvNeeds(QAnyStringView text, CsvColumn column)
{
    CsvNeeds needs;
    needs.apostrophe = !text.isEmpty() && QStringView(u"=+-@\t\r").contains(text.front()) &&
                       (column == CsvColumn::Text || !isPlainNumber(text));
    text.visit([&](auto view) { needs.quotes = anyBreaksField(view); });
    return needs;
}

QString csvField(const QString &text, CsvColumn column)
{
    const CsvNeeds needs = csvNeeds(text, column);
    QString value = needs.apostrophe ? QLatin1Char('\'') + text : text;
    if (!needs.quotes)
        return value;
    value.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

// The fields of one CSV line; none when a quote is left open or text follows a closing quote.
std::optional<QStringList> csvFields(const QString &line)
{
    QStringList fields;
    QString field;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c != QLatin1Char('"'))
                field += c;
            else if (i + 1 < line.size() && line[i + 1] == QLatin1Char('"'))
                field += line[++i];
            else
                quoted = false;
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
            wasQuoted = false;
        } else if (c == QLatin1Char('"') && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (wasQuoted) {
            return std::nullopt;
        } else {
            field += c;
        }
    }
    if (quoted)
        return std::nullopt;
    fields << field;
    return fields;
}
