#pragma once

// CSV as spreadsheets read it: fields written so that a cell can neither break the row nor run
// as a formula, and one line read back into its fields.

#include <QAnyStringView>
#include <QString>
#include <QStringList>

#include <optional>

// What a CSV column holds: a number (a cell that is no plain number is text there) or text.
enum class CsvColumn { Number, Text };
// A CSV field: quoted when it holds a separator, quote or line break; a cell a spreadsheet
// would run as a formula or turn into a number (=, +, -, @, tab, carriage return first; in a
// number column, when it is no plain number) gets a leading apostrophe.
QString csvField(const QString &text, CsvColumn column);
// What csvField adds to a text: the leading apostrophe, the quotes (with any quote doubled).
struct CsvNeeds
{
    bool apostrophe = false;
    bool quotes = false;
};
CsvNeeds csvNeeds(QAnyStringView text, CsvColumn column);

// The fields of one CSV line; none when a quote is left open or text follows a closing quote.
std::optional<QStringList> csvFields(const QString &line);
