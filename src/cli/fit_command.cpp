#include "command.h"

#include "core/form_defaults.h"
#include "core/numbers.h"
#include "pipeline/record_change.h"
#include "plot/layers.h"
#include "stats/regression.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <charconv>

namespace {

// A single-precision result as the double whose shortest text is the float's own shortest
// text: 15.066338, not 15.066338539123535.
QJsonValue single(float value)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return QByteArray(buffer, end - buffer).toDouble();
}

QJsonValue orNull(bool present, const QJsonValue &value)
{
    return present ? value : QJsonValue(QJsonValue::Null);
}

} // namespace

int fitCommand(const QStringList &args, const QString &folder, const CliStreams &io)
{
    Command command(
        Synopsis::fit,
        QStringLiteral("Fits the quadratic model to the eleven responses of one series and prints "
                       "what the window shows: the equation (Y=), R and S. -- ends the options, "
                       "so negative responses may follow."),
        {lineCountOption(),
         {QStringLiteral("json"),
          QStringLiteral("Print coefficients, levels, R, S and the texts as JSON.")}});
    if (const auto done = command.start(args, io, true))
        return *done;
    QString error;
    const auto lines = command.lineCount(&error);
    if (!lines)
        return usageError(io, error, command.usage());
    const QStringList values = command.values();
    if (values.size() != DesignRuns)
        return usageError(
            io, QStringLiteral("fit needs exactly 11 responses, got %1").arg(values.size()),
            command.usage());
    FormState state = startedFormState(folder, *lines);
    for (int i = 0; i < DesignRuns; ++i) {
        bool ok = false;
        const double value = QLocale::c().toDouble(values[i].trimmed(), &ok);
        const auto single = ok ? numbers::toSingle(value) : std::nullopt;
        if (!single)
            return usageError(io,
                              QStringLiteral("response %1 (\"%2\") is not a number within "
                                             "single precision")
                                  .arg(i + 1)
                                  .arg(values[i]),
                              command.usage());
        state.Response[std::size_t(i)] = *single;
    }
    const regression::FitReport report = regression::FitRegression(state);
    if (!command.isSet(QStringLiteral("json"))) {
        write(io.out,
              QStringLiteral("Y=%1\nR=%2\nS=%3\n").arg(state.Text2, state.Text3, state.Text4));
        return 0;
    }
    const bool complete = report.outcome == regression::FitOutcome::Complete;
    const bool fitted = state.CoefficientsCurrent;
    QJsonArray levels;
    const auto map = contourMap(state);
    for (float level : map ? plot::contourLevels(map->levels) : std::vector<float>())
        levels << single(level);
    const QJsonObject json{
        {QStringLiteral("coefficients"),
         orNull(fitted, QJsonObject{{QStringLiteral("b0"), single(state.B0)},
                                    {QStringLiteral("b1"), single(state.B1)},
                                    {QStringLiteral("b2"), single(state.B2)},
                                    {QStringLiteral("b11"), single(state.B11)},
                                    {QStringLiteral("b22"), single(state.B22)},
                                    {QStringLiteral("b12"), single(state.B12)}})},
        {QStringLiteral("levels"),
         QJsonObject{{QStringLiteral("min"), single(state.LevelMin)},
                     {QStringLiteral("max"), single(state.LevelMax)},
                     {QStringLiteral("step"), orNull(state.LevelsCurrent, single(state.LevelStep))},
                     {QStringLiteral("values"), levels}}},
        {QStringLiteral("R"), orNull(complete, single(report.r))},
        {QStringLiteral("S"), orNull(complete, report.s)},
        {QStringLiteral("texts"), QJsonObject{{QStringLiteral("Y"), state.Text2},
                                              {QStringLiteral("R"), state.Text3},
                                              {QStringLiteral("S"), state.Text4}}}};
    write(io.out, QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented)));
    return 0;
}
