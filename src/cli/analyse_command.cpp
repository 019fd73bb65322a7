#include "command.h"

#include "cli/analysis_output.h"
#include "pipeline/record_change.h"
#include "stats/model_analysis.h"
#include "store/stream_reader.h"

#include <QJsonDocument>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {

// The responses of the first record with this ID; none when there is no such record or one of
// its responses is not a number.
Result<std::optional<analysis::Responses>> recordResponses(const StreamReader &reader, double id)
{
    std::optional<analysis::Responses> found;
    const Result<void> read = reader.forEach(
        recordFieldNames(),
        [&](const std::vector<StreamCell> &cells) {
            const auto number = cells.front().field().asNumber();
            if (!number || *number != id)
                return true;
            found = readRecordFields(StreamRecord(cells)).responses;
            return false;
        },
        std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    if (!read)
        return read.failure();
    return found;
}

} // namespace

int analyseCommand(const QStringList &args, const QString &folder, const CliStreams &io)
{
    Command command(
        Synopsis::analyse,
        QStringLiteral("Analyses the full quadratic fit of one series in double "
                       "precision: coefficients with standard errors, t and p; the "
                       "analysis of variance with lack of fit against the pure error "
                       "of the centre runs; R², adjusted and predicted R², PRESS; the "
                       "stationary point and its canonical analysis; the largest and "
                       "smallest predicted response over |X1|, |X2| <= 1.414. "
                       "Undefined figures are NA (null in JSON)."),
        {databaseOption(),
         {QStringLiteral("id"), QStringLiteral("The record with this ID."), QStringLiteral("ID")},
         {QStringLiteral("json"), QStringLiteral("Print the figures as JSON.")}});
    if (const auto done = command.start(args, io, true))
        return *done;
    analysis::Responses y{};
    if (command.isSet(QStringLiteral("id"))) {
        if (!command.values().isEmpty())
            return usageError(io, QStringLiteral("give either --id or the responses, not both"),
                              command.usage());
        const auto id = command.recordId();
        if (!id)
            return usageError(io, id.error(), command.usage());
        std::optional<ScratchFile> conversion; // an Access file's, gone with the command
        StreamReader reader;
        if (const Result<void> opened =
                openDatabase(reader, databasePath(command, folder), io, conversion);
            !opened)
            return failure(io, opened.failure());
        const auto responses = recordResponses(reader, *id);
        if (!responses)
            return failure(io, responses.failure());
        if (!*responses)
            return failure(io, QStringLiteral("no record with ID %1 and eleven numeric responses "
                                              "in \"%2\"")
                                   .arg(command.value(QStringLiteral("id")), reader.path()));
        y = **responses;
    } else {
        const QStringList values = command.values();
        if (values.size() != DesignRuns)
            return usageError(
                io, QStringLiteral("analyse needs exactly 11 responses, got %1").arg(values.size()),
                command.usage());
        for (int i = 0; i < DesignRuns; ++i) {
            bool ok = false;
            const double v = QLocale::c().toDouble(values[i].trimmed(), &ok);
            if (!ok || !std::isfinite(v))
                return usageError(io,
                                  QStringLiteral("response %1 (\"%2\") is not a number")
                                      .arg(i + 1)
                                      .arg(values[i]),
                                  command.usage());
            y[std::size_t(i)] = v;
        }
    }
    const analysis::ModelAnalysis a = analysis::analyse(y);
    if (command.isSet(QStringLiteral("json")))
        write(io.out,
              QString::fromUtf8(QJsonDocument(analysisJson(a)).toJson(QJsonDocument::Indented)));
    else
        write(io.out, analysisSummary(a));
    return 0;
}
