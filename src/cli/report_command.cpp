#include "command.h"
#include "units.h"

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

constexpr qint64 First = std::numeric_limits<qint64>::min();
constexpr qint64 Last = std::numeric_limits<qint64>::max();

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

// The second half of a large table's report: every record's row depends on that record
// alone, so the rows from `from` on are made on a thread of their own, through a connection
// of their own inside the same snapshot, into a scratch file copied after the first half.
class SecondHalf
{
public:
    ~SecondHalf()
    {
        if (m_thread.joinable())
            m_thread.join();
        if (m_file)
            std::fclose(m_file);
    }

    // Starts it when the table is large enough and a second connection sees the same table
    // (the first one's snapshot holds writers off, as in rollback-journal files; the counts
    // agree as a check); the key the first half ends before, or nothing (one thread).
    Result<std::optional<qint64>> start(StreamReader &reader, qint64 count, const QString &format,
                                        int lines, ReportRows::Extras extras)
    {
        if (count < 2 * MinSplitRecords)
            return std::optional<qint64>();
        const Result<qint64> key = reader.keyAtOffset(count / 2);
        if (!key)
            return key.failure();
        const bool same = reader.snapshotHoldsOffWriters() && m_own.open(reader.path()) &&
                          m_own.beginSnapshot() && [&] {
                              const Result<qint64> again = m_own.count();
                              return again && *again == count;
                          }();
        if (!same || !(m_file = std::tmpfile()))
            return std::optional<qint64>();
        m_thread = std::thread([this, from = *key, format, lines, extras] {
            ReportRows rows(format, lines, m_file, extras);
            m_read = m_own.forEach(
                recordFieldNames(),
                [&](const std::vector<StreamCell> &cells) {
                    rows.add(cells, false);
                    return !rows.failed();
                },
                from, Last);
            m_writeFailed = !rows.flush() || std::fflush(m_file) != 0 || std::ferror(m_file);
        });
        return std::optional<qint64>(*key);
    }

    // Waits for it and copies it after the first half; what its reading met.
    Result<void> finish(std::FILE *out)
    {
        if (m_thread.joinable())
            m_thread.join();
        m_own.endSnapshot();
        if (!m_file)
            return {};
        std::rewind(m_file);
        char buffer[1 << 16];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, m_file)) {
            if (std::fwrite(buffer, 1, n, out) != n) {
                m_copyFailed = true;
                break;
            }
        }
        m_copyFailed = m_copyFailed || std::ferror(m_file);
        return m_read;
    }
    // Whether rows it made did not reach the output.
    bool lost() const { return m_writeFailed || m_copyFailed; }

private:
    StreamReader m_own;
    std::FILE *m_file = nullptr;
    std::thread m_thread;
    Result<void> m_read;
    bool m_writeFailed = false;
    bool m_copyFailed = false;
};

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
    // One read transaction: both halves see the table as it was at the count.
    const Result<qint64> records =
        openSnapshot(reader, databasePath(command, folder), io, conversion);
    if (!records)
        return failure(io, records.failure());

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
    SecondHalf second;
    const Result<std::optional<qint64>> split =
        second.start(reader, *records, format, *lines, extras);
    if (!split)
        return failure(io, split.failure());
    ReportRows rows(format, *lines, io.out, extras);
    bool firstRow = true;
    const Result<void> read = reader.forEach(
        recordFieldNames(),
        [&](const std::vector<StreamCell> &cells) {
            rows.add(cells, std::exchange(firstRow, false));
            return !rows.failed();
        },
        First, *split ? **split - 1 : Last);
    rows.flush();
    const Result<void> tail = second.finish(io.out);
    reader.endSnapshot();
    if (json)
        write(io.out, QStringLiteral("\n]\n"));
    if (!read)
        return failure(io, read.failure());
    if (!tail)
        return failure(io, tail.failure());
    if (second.lost())
        return failure(io, QStringLiteral("could not write the second half of the report through "
                                          "a scratch file (is the temporary folder full?)"));
    if (rows.failed() || std::fflush(io.out) != 0 || std::ferror(io.out))
        return failure(io, QStringLiteral("could not write the report"));
    return 0;
}
