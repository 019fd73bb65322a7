#pragma once

// Old Access databases (Jet 3 from Access 97, Jet 4 from Access 2000-2003, ACE .accdb)
// converted into a new SQLite file: every table with its name and column names, values
// without loss (currency and decimal as exact decimal text, dates as ISO-8601 text, binary as
// BLOB), the experiment table as the program's own STRICT table when its columns fit. The
// reading runs in a child process under a memory limit and a limit on time without progress;
// whatever the library reports, a row count short of the declared one, a long value cut or a
// value that cannot be decoded refuses the whole file as damaged. The Access file is only
// ever read.

#include "access/access_protocol.h"
#include "core/result.h"
#include "core/scratch_file.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace accessdb {

// Whether `path` is a regular file whose header says it is an Access database.
bool isAccessFile(const QString &path);

// Progress: the table being read and the rows copied so far.
using Progress = std::function<void(const QString &table, qint64 rows)>;

struct ImportOptions
{
    QString readerProgram;               // the program that runs the reader (tesmora-cli)
    std::optional<QString> jet3Encoding; // overrides a Jet 3 file's code page (iconv name)
    Progress progress;
    int stallSeconds = 15; // no progress for this long: the file is taken for damaged
};

// The argument that makes the reader program run the reader: PROGRAM ReaderCommand SOURCE
// TARGET [ENCODING].
inline constexpr char ReaderCommand[] = "--access-reader";

// Converts `accessPath` into the SQLite file `into` (an empty scratch file made for it; the
// caller puts it in place or lets it go).
Result<ImportSummary> importAccess(const QString &accessPath, const ScratchFile &into,
                                   const ImportOptions &options);

// What a column holds, as far as the experiment table is concerned.
enum class ColumnKind { Number, Text, Other };
// Why an Access table of the experiment table's name cannot become the program's own table
// (its columns must be ID, Y1 ... Y11 numbers and Y12 text, matched by name regardless of
// case), or nothing when it can.
std::optional<QString> experimentTableMisfit(const QStringList &names,
                                             const QList<ColumnKind> &kinds);
// A name's place in a list, matched as Access and SQLite match names: regardless of case.
qsizetype placeOf(const QStringList &names, const QString &name);

} // namespace accessdb
