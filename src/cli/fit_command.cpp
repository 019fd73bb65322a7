#include "command.h"
#include "units.h"

#include "cli/analysis_output.h"
#include "stats/real_units.h"

#include "core/numbers.h"
#include "core/shortest_text.h"
#include "pipeline/record_change.h"
#include "plot/layers.h"
#include "stats/regression.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace {

// A single-precision result as the double whose shortest text is the float's own shortest
// text: 15.066338, not 15.066338539123535.
QJsonValue single(float value)
{
    char buffer[numbers::ShortestTextMax];
    const char *end = numbers::writeShortest(buffer, value);
    return QByteArray(buffer, end - buffer).toDouble();
}

QJsonValue orNull(bool present, const QJsonValue &value)
{
    return present ? value : QJsonValue(QJsonValue::Null);
}

// The fit as JSON: coefficients, levels, R, S and the texts, null where the fit did not reach.
QJsonObject fitJson(const regression::FitResult &fit)
{
    const bool complete = fit.complete();
    const bool fitted = fit.hasCoefficients();
    QJsonArray levels;
    const auto map = contourMap(fit, 0, false);
    for (float level : map ? plot::contourLevels(map->levels) : std::vector<float>())
        levels << single(level);
    return {
        {QStringLiteral("coefficients"),
         orNull(fitted, QJsonObject{{QStringLiteral("b0"), single(fit.b.b0)},
                                    {QStringLiteral("b1"), single(fit.b.b1)},
                                    {QStringLiteral("b2"), single(fit.b.b2)},
                                    {QStringLiteral("b11"), single(fit.b.b11)},
                                    {QStringLiteral("b22"), single(fit.b.b22)},
                                    {QStringLiteral("b12"), single(fit.b.b12)}})},
        {QStringLiteral("levels"),
         QJsonObject{{QStringLiteral("min"), single(fit.levelMin)},
                     {QStringLiteral("max"), single(fit.levelMax)},
                     {QStringLiteral("step"), orNull(fit.hasLevelStep(), single(fit.levelStep))},
                     {QStringLiteral("values"), levels}}},
        {QStringLiteral("R"), orNull(complete, single(fit.r))},
        {QStringLiteral("S"), orNull(complete, fit.s)},
        {QStringLiteral("texts"), QJsonObject{{QStringLiteral("Y"), fit.equationShown()},
                                              {QStringLiteral("R"), fit.rShown()},
                                              {QStringLiteral("S"), fit.sShown()}}}};
}

} // namespace

int fitCommand(const QStringList &args, const CliStreams &io)
{
    QList<QCommandLineOption> options{
        lineCountOption(),
        {QStringLiteral("json"), QStringLiteral("Print coefficients, levels, R, S and the texts as "
                                                "JSON; with factors, real_coefficients too.")}};
    options << unitsOptions(false);
    Command command(
        Synopsis::fit,
        QStringLiteral("Fits the quadratic model to the eleven responses of one series and prints "
                       "what the window shows: the equation (Y=), R and S. -- ends the options, "
                       "so negative responses may follow."),
        options);
    if (const auto done = command.start(args, io, true))
        return *done;
    const auto lines = command.lineCount();
    if (!lines)
        return usageError(io, lines.error(), command.usage());
    const auto units = unitsRequest(command);
    if (!units)
        return usageError(io, units.error(), command.usage());
    const QStringList values = command.values();
    if (values.size() != DesignRuns)
        return usageError(
            io, QStringLiteral("fit needs exactly 11 responses, got %1").arg(values.size()),
            command.usage());
    regression::Responses y{};
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
        y[std::size_t(i)] = *single;
    }
    regression::FitResult fit;
    regression::fit(y, float(*lines), fit);
    const QString &equation = fit.equationShown(), &r = fit.rShown(), &s = fit.sShown();
    // The window's own single-precision coefficients, in real units.
    std::optional<analysis::RealCoefficients> real;
    if (units->on() && fit.hasCoefficients()) {
        const Factors factors{*units->x1, *units->x2};
        real = analysis::realCoefficients({double(fit.b.b0), double(fit.b.b1), double(fit.b.b2),
                                           double(fit.b.b11), double(fit.b.b22), double(fit.b.b12)},
                                          factors);
    }
    if (!command.isSet(QStringLiteral("json"))) {
        write(io.out, QStringLiteral("Y=%1\nR=%2\nS=%3\n").arg(equation, r, s));
        if (units->on())
            write(io.out, (real ? analysis::realEquation(*real, {*units->x1, *units->x2})
                                : QStringLiteral("y = NA")) +
                              QLatin1Char('\n'));
        return 0;
    }
    QJsonObject json = fitJson(fit);
    if (units->on())
        json.insert(QStringLiteral("real_coefficients"),
                    real ? QJsonValue(realCoefficientsJson(*real)) : QJsonValue());
    write(io.out, QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented)));
    return 0;
}
