#include "command.h"
#include "units.h"

#include "cli/failure_text.h"
#include "cli/report_chunks.h"
#include "cli/report_rows.h"
#include "core/design.h"
#include "store/stream_reader.h"

#include <limits>
#include <memory>
#include <thread>
#include <utility>

namespace {

// Below this many records a table is reported on one thread.
constexpr int MinSplitRecords = 10000;

Command reportOptions()
{
    QList<QCommandLineOption> options{
        databaseOption(),
        lineCountOption(),
        {QStringLiteral("format"), QStringLiteral("text (default), csv or json."),
         QStringLiteral("FORMAT")},
        {QStringLiteral("responses"), QStringLiteral("Add Y1 ... Y11 as read.")},
        {QStringLiteral("analysis"),
         QStringLiteral("Add the model analysis: standard errors and p values, F and p of the "
                        "model and of lack of fit, R² figures, PRESS, the stationary point and "
                        "the optimum (as in analyse); with factors, in real units too.")}};
    options << unitsOptions(true);
    return Command(
        Synopsis::report,
        QStringLiteral("Streams one row per record: ID, name, the six coefficients, R, S and the "
                       "equation, each record from its own fields alone. Text cells are escaped "
                       "in text (\\t, \\n, \\r, \\\\, \\xHH); in CSV a text that a spreadsheet "
                       "would run as a formula starts with '."),
        options);
}

// How far a table of at least MinSplitRecords records reaches: the key of that record and the
// last key; nothing for a smaller table or where either cannot be read. Found without counting
// the records, which would read every page of the table once more before the report does.
std::optional<std::pair<qint64, qint64>> reach(const StreamReader &reader)
{
    const Result<std::optional<qint64>> far =
        reader.keyAtOffset(std::numeric_limits<qint64>::min(), MinSplitRecords - 1);
    if (!far || !*far)
        return std::nullopt;
    const Result<std::optional<qint64>> last = reader.lastKey();
    if (!last || !*last)
        return std::nullopt;
    return std::pair(**far, **last);
}

// A second thread for a large table, with a connection of its own inside the same snapshot
// (the first one's snapshot holds writers off, as in rollback-journal files; both see the table
// reach as far, as a check); nothing where that cannot be had, and the report is made on one
// thread.
std::unique_ptr<StreamReader> secondReader(const StreamReader &reader)
{
    if (!reader.snapshotHoldsOffWriters())
        return nullptr;
    const std::optional<std::pair<qint64, qint64>> far = reach(reader);
    if (!far)
        return nullptr;
    auto own = std::make_unique<StreamReader>();
    if (!own->open(reader.path()) || !own->beginSnapshot() || reach(*own) != far)
        return nullptr;
    return own;
}

} // namespace

int reportCommand(const QStringList &args, const QString &folder, const CliStreams &io)
{
    Command command = reportOptions();
    if (const auto done = command.start(args, io))
        return *done;
    const auto lines = command.lineCount();
    if (!lines)
        return usageError(io, lines.error(), command.usage());
    const auto checkedFormat = command.textFormat();
    if (!checkedFormat)
        return usageError(io, checkedFormat.error(), command.usage());
    const QString &format = *checkedFormat;
    const auto units = unitsRequest(command);
    if (!units)
        return usageError(io, units.error(), command.usage());
    const bool analysis = command.isSet(QStringLiteral("analysis"));
    if (units->on() && !analysis)
        return usageError(io, QStringLiteral("--units, --x1 and --x2 go with --analysis"),
                          command.usage());

    // Streamed: the records are not held, whatever the table's size.
    std::optional<ScratchFile> conversion; // an Access file's, gone with the command
    StreamReader reader;
    // One read transaction: both threads see the table as it was when it began.
    const Result<void> opened = openSnapshot(reader, databasePath(command, folder), io, conversion);
    if (!opened)
        return failure(io, opened.failure());

    const Result<FactorDefinitions> definitions = storedDefinitions(*units, reader.path());
    if (!definitions)
        return failure(io, definitions.failure());
    const ReportRows::Extras extras{command.isSet(QStringLiteral("responses")), analysis,
                                    units->on() ? std::optional(units->choice(&*definitions))
                                                : std::nullopt};
    const bool json = format == QLatin1String("json");
    write(io.out, json ? QStringLiteral("[")
                       : ReportRows::header(format == QLatin1String("csv") ? QLatin1Char(',')
                                                                           : QLatin1Char('\t'),
                                            extras));
    const std::unique_ptr<StreamReader> own = secondReader(reader);
    ReportChunks chunks(!own);
    std::thread second;
    ReportRows secondRows(format, *lines, io.out, extras);
    if (own)
        second = std::thread([&] { chunks.work(*own, secondRows); });
    ReportRows rows(format, *lines, io.out, extras);
    chunks.work(reader, rows);
    if (second.joinable())
        second.join();
    if (own)
        own->endSnapshot();
    reader.endSnapshot();
    if (json)
        write(io.out, QStringLiteral("\n]\n"));
    if (const Result<void> read = chunks.readResult(); !read)
        return failure(io, read.failure());
    if (chunks.writeFailed() || std::fflush(io.out) != 0 || std::ferror(io.out))
        return failure(io, QStringLiteral("could not write the report"));
    return 0;
}
