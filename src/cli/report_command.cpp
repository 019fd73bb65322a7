#include "command.h"

#include "cli/failure_text.h"
#include "cli/report_rows.h"
#include "core/design.h"
#include "store/stream_reader.h"

#include <limits>
#include <thread>
#include <utility>

namespace {

// Below this many records a table is reported on one thread.
constexpr int MinSplitRecords = 5000;

} // namespace

int reportCommand(const QStringList &args, const QString &folder, const CliStreams &io)
{
    Command command(
        Synopsis::report,
        QStringLiteral("Streams one row per record: ID, name, the six coefficients, R, S and the "
                       "equation, each record from its own fields alone. Text cells are escaped "
                       "in text (\\t, \\n, \\r, \\\\, \\xHH); in CSV a text that a spreadsheet "
                       "would run as a formula starts with '."),
        {databaseOption(),
         lineCountOption(),
         {QStringLiteral("format"), QStringLiteral("text (default), csv or json."),
          QStringLiteral("FORMAT")},
         {QStringLiteral("responses"), QStringLiteral("Add Y1 ... Y11 as read.")},
         {QStringLiteral("analysis"),
          QStringLiteral("Add the model analysis: standard errors and p values, F and p of the "
                         "model and of lack of fit, R² figures, PRESS, the stationary point and "
                         "the optimum (as in analyse).")}});
    if (const auto done = command.start(args, io))
        return *done;
    QString error;
    const auto lines = command.lineCount(&error);
    if (!lines)
        return usageError(io, error, command.usage());
    const QString format = command.isSet(QStringLiteral("format"))
                               ? command.value(QStringLiteral("format"))
                               : QStringLiteral("text");
    if (format != QLatin1String("text") && format != QLatin1String("csv") &&
        format != QLatin1String("json"))
        return usageError(
            io, QStringLiteral("--format must be text, csv or json, not \"%1\"").arg(format),
            command.usage());

    // Streamed: the records are not held, whatever the table's size.
    std::optional<ScratchFile> conversion; // an Access file's, gone with the command
    StreamReader reader;
    // One read transaction: both parts below see the table as it was at the count.
    const Result<qint64> records =
        openSnapshot(reader, databasePath(command, folder), io, conversion);
    if (!records)
        return failure(io, records.failure());

    const ReportRows::Extras extras{command.isSet(QStringLiteral("responses")),
                                    command.isSet(QStringLiteral("analysis"))};
    const QChar separator = format == QLatin1String("csv") ? QLatin1Char(',') : QLatin1Char('\t');
    const bool json = format == QLatin1String("json");
    if (json)
        write(io.out, QStringLiteral("["));
    else
        write(io.out, ReportRows::header(separator, extras));

    // Every record's row depends on that record alone, so a large table is split in the
    // middle and its second part runs on a thread of its own inside the same snapshot,
    // written to a scratch file and copied after the first: two cores, memory that does not
    // grow.
    constexpr qint64 First = std::numeric_limits<qint64>::min();
    constexpr qint64 Last = std::numeric_limits<qint64>::max();
    const qint64 count = *records;
    std::optional<qint64> splitKey;
    if (count >= 2 * MinSplitRecords) {
        const Result<qint64> key = reader.keyAtOffset(count / 2);
        if (!key)
            return failure(io, key.failure());
        splitKey = *key;
    }
    // The second part reads through a connection of its own, which sees the same table only
    // while the first one's snapshot holds writers off (rollback journal; the counts agree as a
    // check). Otherwise (WAL) the report runs on one thread.
    StreamReader own;
    if (splitKey && !(reader.snapshotHoldsOffWriters() && own.open(reader.path()) &&
                      own.beginSnapshot() && [&] {
                          const Result<qint64> again = own.count();
                          return again && *again == count;
                      }()))
        splitKey.reset();
    std::FILE *tail = splitKey ? std::tmpfile() : nullptr;
    if (!tail)
        splitKey.reset();
    Result<void> tailRead;
    bool tailWriteFailed = false;
    std::thread second;
    if (splitKey) {
        second = std::thread([&] {
            ReportRows rows(format, folder, *lines, tail, extras);
            tailRead = own.forEach(
                recordFieldNames(),
                [&](const std::vector<StreamCell> &cells) {
                    rows.add(cells, false);
                    return !rows.failed();
                },
                *splitKey, Last);
            tailWriteFailed = !rows.flush() || std::fflush(tail) != 0 || std::ferror(tail);
        });
    }

    ReportRows rows(format, folder, *lines, io.out, extras);
    bool firstRow = true;
    const Result<void> read = reader.forEach(
        recordFieldNames(),
        [&](const std::vector<StreamCell> &cells) {
            rows.add(cells, std::exchange(firstRow, false));
            return !rows.failed();
        },
        First, splitKey ? *splitKey - 1 : Last);
    rows.flush();
    if (second.joinable())
        second.join();
    reader.endSnapshot();
    own.endSnapshot();
    bool copyFailed = false;
    if (tail) {
        std::rewind(tail);
        char buffer[1 << 16];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, tail)) {
            if (std::fwrite(buffer, 1, n, io.out) != n) {
                copyFailed = true;
                break;
            }
        }
        copyFailed = copyFailed || std::ferror(tail);
        std::fclose(tail);
    }
    if (json)
        write(io.out, QStringLiteral("\n]\n"));
    if (!read)
        return failure(io, read.failure());
    if (!tailRead)
        return failure(io, tailRead.failure());
    if (tailWriteFailed || copyFailed)
        return failure(io, QStringLiteral("could not write the second half of the report through "
                                          "a scratch file (is the temporary folder full?)"));
    if (rows.failed() || std::fflush(io.out) != 0 || std::ferror(io.out))
        return failure(io, QStringLiteral("could not write the report"));
    return 0;
}
