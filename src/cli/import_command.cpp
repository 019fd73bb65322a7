#include "command.h"

#include "access/access_import.h"
#include "access/access_values.h"
#include "core/design.h"

namespace {

QString summaryText(const accessdb::ImportSummary &s, const QString &out)
{
    return QStringLiteral("imported %1 tables, %2 rows (%3%4) into %5\n")
        .arg(s.tables)
        .arg(s.rows)
        .arg(s.jetVersion,
             s.textEncoding.isEmpty() ? QString() : QStringLiteral(", text in ") + s.textEncoding,
             out);
}

} // namespace

int importCommand(const QStringList &args, const CliStreams &io)
{
    Command command(
        Synopsis::import,
        QStringLiteral("Converts an Access database (Jet 3, Jet 4 or ACE) into a new "
                       "SQLite file this program reads: every table with its name and "
                       "column names, values without loss (currency and decimal as "
                       "exact decimal text, dates as ISO-8601 text, binary as BLOB). "
                       "The experiment table becomes the program's own when its "
                       "columns fit. A damaged file is refused as a whole (the table and "
                       "row named), never imported in part. The Access file is only read; "
                       "the new file is complete or absent, and never written over an "
                       "existing one."),
        {{QStringLiteral("out"), QStringLiteral("The new database file."), QStringLiteral("FILE")},
         {QStringLiteral("jet3-encoding"),
          QStringLiteral("The text encoding of a Jet 3 (Access 97) file, when not the "
                         "one its header gives (e.g. GBK, CP1252)."),
          QStringLiteral("NAME")}});
    command.allowOptionsAfterValues();
    if (const auto done = command.start(args, io, true))
        return *done;
    if (command.values().size() != 1 || !command.isSet(QStringLiteral("out")))
        return usageError(io, QStringLiteral("import needs one Access file and --out FILE"),
                          command.usage());
    const QString source = command.values().first();
    const QString out = command.value(QStringLiteral("out"));
    accessdb::ImportOptions options;
    options.readerProgram = readerProgram(io);
    if (command.isSet(QStringLiteral("jet3-encoding"))) {
        options.jet3Encoding = command.value(QStringLiteral("jet3-encoding"));
        if (!accessdb::isKnownEncoding(*options.jet3Encoding))
            return usageError(io,
                              QStringLiteral("--jet3-encoding: unknown encoding \"%1\" (an iconv "
                                             "name such as GBK or CP1252)")
                                  .arg(*options.jet3Encoding),
                              command.usage());
    }
    if (sameFile(source, out))
        return failure(io, Failure{Failure::Kind::SameFile, out, {}, 0});
    Result<ScratchFile> scratch = ScratchFile::beside(out, Placement::NoReplace);
    if (!scratch)
        return failure(io, scratch.failure());
    options.progress = [&](const QString &table, qint64 rows) {
        write(io.err, QStringLiteral("%1: %2 rows\n").arg(table).arg(rows));
    };
    const auto imported = accessdb::importAccess(source, *scratch, options);
    if (!imported)
        return failure(io, imported.failure());
    if (const Result<void> placed = scratch->commit(Durability::Synced); !placed)
        return failure(io, placed.failure());
    for (const QString &note : imported->notes)
        write(io.err, QStringLiteral("tesmora-cli: note: %1\n").arg(note));
    if (!imported->experimentTableFound)
        write(io.err, QStringLiteral("tesmora-cli: note: the file has no table %1, so the "
                                     "program shows no records from it\n")
                          .arg(ExperimentTableName));
    write(io.err, summaryText(*imported, out));
    return 0;
}
