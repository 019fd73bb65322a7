#include "command.h"

#include "access/access_import.h"

int importCommand(const QStringList &args, const CliStreams &io)
{
    Command command(
        Synopsis::import,
        QStringLiteral("Converts an Access database (Jet 3, Jet 4 or ACE) into a new "
                       "SQLite file this program reads: every table with its name and "
                       "column names, values without loss (currency and decimal as "
                       "exact decimal text, dates as ISO-8601 text, binary as BLOB). "
                       "The experiment table becomes the program's own when its "
                       "columns fit. The Access file is only read; the new file is "
                       "complete or absent, and never written over an existing one."),
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
    std::optional<QString> encoding;
    if (command.isSet(QStringLiteral("jet3-encoding")))
        encoding = command.value(QStringLiteral("jet3-encoding"));
    const auto progress = [&](const QString &table, qint64 rows) {
        write(io.err, QStringLiteral("%1: %2 rows\n").arg(table).arg(rows));
    };
    const auto imported = accessdb::importAccess(
        command.values().first(), command.value(QStringLiteral("out")), encoding, progress);
    if (!imported) {
        // A program that runs the import as a child (the window) reads what happened from
        // the last line, to say it in its own words.
        if (qEnvironmentVariableIsSet("TESMORA_FAILURE_KIND"))
            write(io.err, QStringLiteral("failure-kind=%1\n").arg(int(imported.failure().kind)));
        return failure(io, imported.failure());
    }
    for (const QString &note : imported->notes)
        write(io.err, QStringLiteral("tesmora-cli: note: %1\n").arg(note));
    write(io.err, QStringLiteral("imported %1 tables, %2 rows (%3%4) into %5\n")
                      .arg(imported->tables)
                      .arg(imported->rows)
                      .arg(imported->jetVersion,
                           imported->textEncoding.isEmpty()
                               ? QString()
                               : QStringLiteral(", text in ") + imported->textEncoding,
                           command.value(QStringLiteral("out"))));
    return 0;
}
