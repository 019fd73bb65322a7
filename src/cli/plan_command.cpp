#include "command.h"
#include "units.h"

#include "pipeline/run_sheet.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <random>

int planCommand(const QStringList &args, const CliStreams &io)
{
    QList<QCommandLineOption> options = unitsOptions(false);
    options << QCommandLineOption(QStringLiteral("randomise"),
                                  QStringLiteral("Run the eleven runs in a random order."))
            << QCommandLineOption(QStringLiteral("seed"),
                                  QStringLiteral("The seed of the random order, to draw the same "
                                                 "order again (with --randomise)."),
                                  QStringLiteral("N"))
            << QCommandLineOption(QStringLiteral("format"),
                                  QStringLiteral("text (default), csv or json."),
                                  QStringLiteral("FORMAT"));
    Command command(Synopsis::plan,
                    QStringLiteral("Prints the run sheet for the lab: the eleven runs in the "
                                   "design's standard order (run k's response goes into Yk), "
                                   "each with its run order, its coded place and the real "
                                   "settings of both factors. Coded X = (x - centre) / step "
                                   "with centre = (LOW + HIGH) / 2, step = (HIGH - LOW) / 2; "
                                   "the axial runs sit at centre ± 1.4142 · step."),
                    options);
    if (const auto done = command.start(args, io))
        return *done;
    const auto units = unitsRequest(command);
    if (!units)
        return usageError(io, units.error(), command.usage());
    if (!units->x1 || !units->x2)
        return usageError(io, QStringLiteral("plan needs --x1 and --x2"), command.usage());
    const auto checkedFormat = command.textFormat();
    if (!checkedFormat)
        return usageError(io, checkedFormat.error(), command.usage());
    const QString &format = *checkedFormat;
    const bool randomise = command.isSet(QStringLiteral("randomise"));
    if (command.isSet(QStringLiteral("seed")) && !randomise)
        return usageError(io, QStringLiteral("--seed goes with --randomise"), command.usage());
    std::optional<unsigned> seed;
    if (randomise) {
        const auto given = command.number(QStringLiteral("seed"), 0, 0, 2'000'000'000);
        if (!given)
            return usageError(io, given.error(), command.usage());
        if (command.isSet(QStringLiteral("seed"))) {
            seed = unsigned(*given);
        } else {
            // Drawn now, and said, so the same order can be printed again.
            seed = unsigned(std::random_device()() % 2'000'000'001u);
            write(io.err,
                  QStringLiteral("tesmora-cli: run order drawn with --seed %1\n").arg(*seed));
        }
    }
    const Factors factors{*units->x1, *units->x2};
    const RunSheet sheet = runSheet(factors, seed);
    if (format == QLatin1String("csv")) {
        write(io.out, runSheetCsv(factors, sheet));
    } else if (format == QLatin1String("json")) {
        QJsonArray runs;
        for (const RunSheetRow &r : sheet)
            runs << QJsonObject{
                {QStringLiteral("run"), r.run},    {QStringLiteral("order"), r.order},
                {QStringLiteral("X1"), r.x1Coded}, {QStringLiteral("X2"), r.x2Coded},
                {QStringLiteral("x1"), r.x1},      {QStringLiteral("x2"), r.x2}};
        const QJsonObject json{{QStringLiteral("factors"), factorsJson(factors)},
                               {QStringLiteral("runs"), runs}};
        write(io.out, QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented)));
    } else {
        write(io.out, runSheetText(factors, sheet));
    }
    if (std::fflush(io.out) != 0 || std::ferror(io.out))
        return failure(io, QStringLiteral("could not write the run sheet"));
    return 0;
}
