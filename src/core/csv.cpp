#include "core/csv.h"

#include <QLocale>

namespace {

// Whether a text cell reads as a plain number (which a spreadsheet takes as a number).
bool isPlainNumber(QAnyStringView text)
{
    bool ok = false;
    QLocale::c().toDouble(text.toString(), &ok);
    return ok;
}

} // namespace

CsvNeeds csvNeeds(QAnyStringView text, CsvColumn column)
{
    CsvNeeds needs;
    needs.apostrophe = !text.isEmpty() && QStringView(u"=+-@\t\r").contains(text.front()) &&
                       (column == CsvColumn::Text || !isPlainNumber(text));
    text.visit([&](auto view) {
        for (const auto c : view) {
            if (c == ',' || c == '"' || c == '\n' || c == '\r') {
                needs.quotes = true;
                break;
            }
        }
    });
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
