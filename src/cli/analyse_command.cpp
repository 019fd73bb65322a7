#include "command.h"
#include "units.h"

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

namespace {

Command analyseOptions()
{
    QList<QCommandLineOption> options{
        databaseOption(),
        {QStringLiteral("id"), QStringLiteral("The record with this ID."), QStringLiteral("ID")},
        {QStringLiteral("json"), QStringLiteral("Print the figures as JSON.")}};
    options << unitsOptions(true);
    return Command(Synopsis::analyse,
                   QStringLiteral("Analyses the full quadratic fit of one series in double "
                                  "precision: coefficients with standard errors, t and p; the "
                                  "analysis of variance with lack of fit against the pure error "
                                  "of the centre runs; R², adjusted and predicted R², PRESS; the "
                                  "stationary point and its canonical analysis; the largest and "
                                  "smallest predicted response over |X1|, |X2| <= 1.414. "
                                  "Undefined figures are NA (null in JSON). With factors, the "
                                  "stationary point, the optimum and the model in real units too."),
                   options);
}

// The eleven responses given after the options.
Checked<analysis::Responses> givenResponses(const QStringList &values)
{
    if (values.size() != DesignRuns)
        return Checked<analysis::Responses>::refused(
            QStringLiteral("analyse needs exactly 11 responses, got %1").arg(values.size()));
    analysis::Responses y{};
    for (int i = 0; i < DesignRuns; ++i) {
        bool ok = false;
        const double v = QLocale::c().toDouble(values[i].trimmed(), &ok);
        if (!ok || !std::isfinite(v))
            return Checked<analysis::Responses>::refused(
                QStringLiteral("response %1 (\"%2\") is not a number").arg(i + 1).arg(values[i]));
        y[std::size_t(i)] = v;
    }
    return y;
}

} // namespace

int analyseCommand(const QStringList &args, const QString &folder, const CliStreams &io)
{
    Command command = analyseOptions();
    if (const auto done = command.start(args, io, true))
        return *done;
    const auto units = unitsRequest(command);
    if (!units)
        return usageError(io, units.error(), command.usage());
    const bool byId = command.isSet(QStringLiteral("id"));
    if (units->stored && !byId)
        return usageError(io,
                          QStringLiteral("--units reads the factors stored for a record: "
                                         "give --id"),
                          command.usage());
    analysis::Responses y{};
    FactorDefinitions definitions;
    std::optional<double> recordId;
    if (byId) {
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
        const Result<FactorDefinitions> stored = storedDefinitions(*units, reader.path());
        if (!stored)
            return failure(io, stored.failure());
        definitions = *stored;
        recordId = *id;
        y = **responses;
    } else {
        const auto given = givenResponses(command.values());
        if (!given)
            return usageError(io, given.error(), command.usage());
        y = *given;
    }
    const analysis::ModelAnalysis a = analysis::analyse(y);
    const std::optional<Factors> factors = units->choice(&definitions).of(recordId);
    if (command.isSet(QStringLiteral("json"))) {
        const QJsonObject json = analysisJson(a, units->on() ? &factors : nullptr);
        write(io.out, QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented)));
    } else {
        write(io.out,
              analysisSummary(a) + (units->on() ? realUnitsSummary(a, factors) : QString()));
    }
    return 0;
}
