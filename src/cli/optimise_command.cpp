#include "command.h"
#include "goals.h"
#include "units.h"

#include "pipeline/record_change.h"
#include "stats/model_analysis.h"
#include "stats/multi_optimum.h"
#include "store/stream_reader.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <limits>

namespace {

Command optimiseOptions()
{
    QList<QCommandLineOption> options{
        databaseOption(),
        {QStringLiteral("goal"),
         QStringLiteral("A goal on a record's response: ID=max:LOW:HIGH[:S], ID=min:LOW:HIGH[:S], "
                        "ID=target:LOW:TARGET:HIGH[:S1[:S2]] or ID=range:LOW:HIGH. Repeat for "
                        "each goal."),
         QStringLiteral("GOAL")},
        {QStringLiteral("importance"), QStringLiteral("A goal's importance, 1 to 5 (default 3)."),
         QStringLiteral("ID=R")},
        {QStringLiteral("coded"),
         QStringLiteral("With --units: answer in coded units when the records' stored factors "
                        "differ.")},
        {QStringLiteral("json"), QStringLiteral("Print the answer as JSON.")}};
    options << unitsOptions(true);
    return Command(
        Synopsis::optimise,
        QStringLiteral("Finds the formulation that best meets every goal: the point of the "
                       "plotted square of largest overall desirability D = (Π d^r)^(1/Σ r) of "
                       "the records' exact fits, within 1e-7 of the true maximum (branch and "
                       "bound). Where every goal is fully met on a region, its share of the "
                       "square and its most robust point too; where no point meets every goal, "
                       "which goals cannot be met together and the best each reaches alone."),
        options);
}

QJsonValue number(double v)
{
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue();
}

// What the command found, to print.
struct Outcome
{
    const std::vector<GoalRequest> &goals;
    const std::vector<optimise::Response> &responses;
    const QHash<double, std::optional<GoalRecord>> &records;
    const optimise::Answer &answer;
    const std::optional<Factors> &factors;

    // Each goal's predicted response and desirability: at the optimum, or the best it reaches
    // alone when there is none.
    optimise::Alone at(std::size_t i) const
    {
        if (!answer.optimum)
            return answer.alone[i];
        const double y =
            optimise::predict(responses[i].model, answer.optimum->x1, answer.optimum->x2);
        return {y, optimise::desirability(responses[i].goal, y)};
    }
    QString idOf(std::size_t i) const { return recordIdText(goals[i].id); }
};

void addReal(QJsonObject &o, const Outcome &out, double x1, double x2)
{
    if (!out.factors)
        return;
    o.insert(QStringLiteral("x1_real"), number(out.factors->x1.real(x1)));
    o.insert(QStringLiteral("x2_real"), number(out.factors->x2.real(x2)));
}

QJsonObject answerJson(const Outcome &out)
{
    QJsonArray goals;
    for (std::size_t i = 0; i < out.goals.size(); ++i) {
        const optimise::Goal &g = out.goals[i].goal;
        const optimise::Alone v = out.at(i);
        const bool target = g.kind == optimise::GoalKind::Target;
        goals << QJsonObject{
            {QStringLiteral("id"), out.goals[i].id},
            {QStringLiteral("kind"), QLatin1String(optimise::goalKindName(g.kind))},
            {QStringLiteral("low"), g.low},
            {QStringLiteral("high"), g.high},
            {QStringLiteral("target"), target ? QJsonValue(g.target) : QJsonValue()},
            {QStringLiteral("s"), target ? QJsonValue(QJsonArray{g.s1, g.s2}) : QJsonValue(g.s1)},
            {QStringLiteral("r"), g.importance},
            {QStringLiteral("y"), number(v.y)},
            {QStringLiteral("d"), number(v.d)}};
    }
    QJsonObject json{{QStringLiteral("goals"), goals}};
    QJsonValue optimum, plateau;
    if (const auto &p = out.answer.optimum) {
        QJsonObject o{{QStringLiteral("x1"), p->x1},
                      {QStringLiteral("x2"), p->x2},
                      {QStringLiteral("D"), out.answer.D}};
        addReal(o, out, p->x1, p->x2);
        optimum = o;
    }
    if (const auto &p = out.answer.plateau) {
        QJsonObject o{{QStringLiteral("share"), p->share},
                      {QStringLiteral("x1"), p->robust.x1},
                      {QStringLiteral("x2"), p->robust.x2},
                      {QStringLiteral("depth"), p->depth}};
        addReal(o, out, p->robust.x1, p->robust.x2);
        plateau = o;
    }
    json.insert(QStringLiteral("optimum"), optimum);
    json.insert(QStringLiteral("plateau"), plateau);
    if (!out.answer.optimum) {
        QJsonArray conflicts;
        for (const auto &[i, j] : out.answer.conflicts)
            conflicts << QJsonArray{out.goals[std::size_t(i)].id, out.goals[std::size_t(j)].id};
        json.insert(QStringLiteral("conflicts"), conflicts);
    }
    return json;
}

QString answerText(const Outcome &out)
{
    const auto shown = [](double v) {
        return QString::number(v, 'g', 6);
    };
    const auto place = [&](double x1, double x2) {
        QString text = QStringLiteral("X1 = %1, X2 = %2").arg(shown(x1), shown(x2));
        if (out.factors)
            text += QStringLiteral(" (%1 = %2, %3 = %4)")
                        .arg(out.factors->x1.name, shown(out.factors->x1.real(x1)),
                             out.factors->x2.name, shown(out.factors->x2.real(x2)));
        return text;
    };
    QString text;
    if (const auto &p = out.answer.optimum)
        text +=
            QStringLiteral("Optimum at %1: D = %2\n").arg(place(p->x1, p->x2), shown(out.answer.D));
    else
        text += QStringLiteral("No formulation in the region meets every goal.\n");
    if (const auto &p = out.answer.plateau)
        text += QStringLiteral("The best D is reached on %1 % of the square; its most robust "
                               "point is %2, %3 from the region's edge.\n")
                    .arg(shown(100 * p->share), place(p->robust.x1, p->robust.x2), shown(p->depth));
    text += out.answer.optimum ? QStringLiteral("\nGoal\tName\tKind\ty\td\n")
                               : QStringLiteral("\nGoal\tName\tKind\tbest alone\td\n");
    for (std::size_t i = 0; i < out.goals.size(); ++i) {
        const optimise::Alone v = out.at(i);
        const auto &record = out.records.value(out.goals[i].id);
        text += QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                    .arg(out.idOf(i), record ? record->name : QString(),
                         out.goals[i].text.mid(out.goals[i].text.indexOf(QLatin1Char('=')) + 1),
                         shown(v.y), shown(v.d));
    }
    for (const auto &[i, j] : out.answer.conflicts)
        text += i == j ? QStringLiteral("Goal on record %1 cannot be met anywhere in the square.\n")
                             .arg(out.idOf(std::size_t(i)))
                       : QStringLiteral("Goals on records %1 and %2 cannot be met together.\n")
                             .arg(out.idOf(std::size_t(i)), out.idOf(std::size_t(j)));
    return text;
}

} // namespace

int optimiseCommand(const QStringList &args, const QString &folder, const CliStreams &io)
{
    Command command = optimiseOptions();
    command.allowRepeated({QStringLiteral("goal"), QStringLiteral("importance")});
    if (const auto done = command.start(args, io))
        return *done;
    const auto goals = goalRequests(command);
    if (!goals)
        return usageError(io, goals.error(), command.usage());
    const auto units = unitsRequest(command);
    if (!units)
        return usageError(io, units.error(), command.usage());
    const auto read = readGoalInputs(command, *goals, *units, folder, io);
    if (const int *exit = std::get_if<int>(&read))
        return *exit;
    const GoalInputs &in = std::get<GoalInputs>(read);
    const optimise::Answer answer = optimise::optimiseGoals(in.responses);
    const Outcome out{in.goals, in.responses, in.records, answer, in.factors};
    write(io.out,
          command.isSet(QStringLiteral("json"))
              ? QString::fromUtf8(QJsonDocument(answerJson(out)).toJson(QJsonDocument::Indented))
              : answerText(out));
    if (answer.bound > answer.D + 2 * optimise::Tolerance)
        write(io.err, QStringLiteral("tesmora-cli: the search stopped with D within %1 of the "
                                     "best possible\n")
                          .arg(answer.bound - answer.D));
    return 0;
}
