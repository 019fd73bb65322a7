#pragma once

// Old Access databases (Jet 3 from Access 97, Jet 4 from Access 2000-2003, ACE .accdb) read
// with libmdb and converted once into a new SQLite file: every table with its name and column
// names, values without loss (currency and decimal as exact decimal text, dates as ISO-8601
// text, binary as BLOB), the experiment table as the program's own STRICT table when its
// columns fit. The Access file is only ever read; the new file is complete or absent.

#include "core/result.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace accessdb {

// Whether a file's header says it is an Access database.
bool isAccessFile(const QString &path);

struct ImportSummary
{
    int tables = 0;
    qint64 rows = 0;
    QString jetVersion;   // "Jet 3", "Jet 4", "ACE"
    QString textEncoding; // of a Jet 3 file's text
    bool experimentTableStrict = false;
    QStringList notes; // what did not fit, for the user
};

// Progress: the table being read and the rows copied so far.
using Progress = std::function<void(const QString &table, qint64 rows)>;

// Converts `accessPath` into the new SQLite file `sqlitePath` (never over an existing file).
// `jet3Encoding` overrides the code page a Jet 3 file's header gives (an iconv name, e.g.
// "GBK", "CP1252").
Result<ImportSummary> importAccess(const QString &accessPath, const QString &sqlitePath,
                                   const std::optional<QString> &jet3Encoding = std::nullopt,
                                   const Progress &progress = {});

// What a column holds, as far as the experiment table is concerned.
enum class ColumnKind { Number, Text, Other };
// Why an Access table of the experiment table's name cannot become the program's own table
// (its columns must be ID, Y1 ... Y11 numbers and Y12 text, matched by name regardless of
// case), or nothing when it can.
std::optional<QString> experimentTableMisfit(const QStringList &names,
                                             const QList<ColumnKind> &kinds);

// The iconv name of a Windows code page (936 → "CP936"), for a Jet 3 file's text.
QString encodingOfCodePage(int codePage);

} // namespace accessdb
