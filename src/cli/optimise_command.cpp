#include "command.h"
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

// A goal as given: "ID=KIND:..." and, from --importance, its importance.
struct GoalRequest
{
    QString text;
    double id = 0;
    optimise::Goal goal;
};

const char *kindName(optimise::GoalKind kind)
{
    switch (kind) {
    case optimise::GoalKind::Max:
        return "max";
    case optimise::GoalKind::Min:
        return "min";
    case optimise::GoalKind::Target:
        return "target";
    case optimise::GoalKind::Range:
        return "range";
    }
    return "";
}

QString goalFaultText(optimise::GoalFault fault)
{
    switch (fault) {
    case optimise::GoalFault::NotFinite:
        return QStringLiteral("a limit, target or shape is not a finite number");
    case optimise::GoalFault::LowNotBelowHigh:
        return QStringLiteral("LOW must be below HIGH");
    case optimise::GoalFault::TargetOutside:
        return QStringLiteral("TARGET lies outside [LOW, HIGH]");
    case optimise::GoalFault::ShapeNotPositive:
        return QStringLiteral("a shape must be above 0");
    case optimise::GoalFault::ImportanceOutside:
        return QStringLiteral("the importance must be 1 to 5");
    }
    return {};
}

// "ID=max:LOW:HIGH[:S]", "ID=min:LOW:HIGH[:S]", "ID=target:LOW:TARGET:HIGH[:S1[:S2]]",
// "ID=range:LOW:HIGH".
Checked<GoalRequest> parseGoal(const QString &text)
{
    using Refused = Checked<GoalRequest>;
    const auto refused = [&](const QString &why) {
        return Refused::refused(QStringLiteral("--goal \"%1\": %2").arg(text, why));
    };
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq < 0)
        return refused(QStringLiteral("needs ID=KIND:LIMITS"));
    GoalRequest r{text, 0, {}};
    bool ok = false;
    r.id = QLocale::c().toDouble(text.left(eq).trimmed(), &ok);
    if (!ok)
        return refused(QStringLiteral("the ID is not a number"));
    const QStringList parts = text.mid(eq + 1).split(QLatin1Char(':'));
    static const QHash<QString, std::pair<optimise::GoalKind, int>> kinds{
        {QStringLiteral("max"), {optimise::GoalKind::Max, 2}},
        {QStringLiteral("min"), {optimise::GoalKind::Min, 2}},
        {QStringLiteral("target"), {optimise::GoalKind::Target, 3}},
        {QStringLiteral("range"), {optimise::GoalKind::Range, 2}}};
    const auto kind = kinds.constFind(parts.first().trimmed().toLower());
    if (kind == kinds.cend())
        return refused(QStringLiteral("the kind must be max, min, target or range"));
    const auto [goalKind, limits] = *kind;
    const int shapes = goalKind == optimise::GoalKind::Target  ? 2
                       : goalKind == optimise::GoalKind::Range ? 0
                                                               : 1;
    const int numbers = int(parts.size()) - 1;
    if (numbers < limits || numbers > limits + shapes)
        return refused(
            QStringLiteral("%1 takes %2 limits%3")
                .arg(parts.first())
                .arg(limits)
                .arg(shapes ? QStringLiteral(" and up to %1 shapes").arg(shapes) : QString()));
    std::vector<double> v;
    for (int i = 1; i < parts.size(); ++i) {
        v.push_back(QLocale::c().toDouble(parts[i].trimmed(), &ok));
        if (!ok)
            return refused(QStringLiteral("\"%1\" is not a number").arg(parts[i]));
    }
    optimise::Goal &g = r.goal;
    g.kind = goalKind;
    g.low = v[0];
    if (goalKind == optimise::GoalKind::Target) {
        g.target = v[1];
        g.high = v[2];
    } else {
        g.high = v[1];
    }
    if (numbers > limits)
        g.s1 = g.s2 = v[std::size_t(limits)];
    if (numbers > limits + 1)
        g.s2 = v[std::size_t(limits) + 1];
    return r;
}

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

// The goals, their importances applied, each checked.
Checked<std::vector<GoalRequest>> goalRequests(const Command &command)
{
    using Refused = Checked<std::vector<GoalRequest>>;
    std::vector<GoalRequest> goals;
    for (const QString &text : command.values(QStringLiteral("goal"))) {
        const auto g = parseGoal(text);
        if (!g)
            return Refused::refused(g.error());
        for (const GoalRequest &other : goals) {
            if (other.id == g->id && other.goal.kind != g->goal.kind)
                return Refused::refused(
                    QStringLiteral("--goal \"%1\": record %2 already has a %3 goal")
                        .arg(text, recordIdText(g->id), QLatin1String(kindName(other.goal.kind))));
        }
        goals.push_back(*g);
    }
    if (goals.empty())
        return Refused::refused(QStringLiteral("optimise needs at least one --goal"));
    for (const QString &text : command.values(QStringLiteral("importance"))) {
        const QStringList parts = text.split(QLatin1Char('='));
        bool idOk = false, rOk = false;
        const double id = parts.size() == 2 ? QLocale::c().toDouble(parts[0], &idOk) : 0;
        const int r = parts.size() == 2 ? parts[1].toInt(&rOk) : 0;
        bool used = false;
        for (GoalRequest &g : goals) {
            if (idOk && g.id == id) {
                g.goal.importance = rOk ? r : 0;
                used = true;
            }
        }
        if (!used)
            return Refused::refused(
                QStringLiteral("--importance \"%1\": needs ID=R for the ID of a goal").arg(text));
    }
    for (const GoalRequest &g : goals) {
        if (const auto fault = optimise::goalFault(g.goal))
            return Refused::refused(
                QStringLiteral("--goal \"%1\": %2").arg(g.text, goalFaultText(*fault)));
    }
    return goals;
}

// The records the goals name: each one's exact fit and name.
struct GoalRecord
{
    optimise::Model model;
    QString name;
};

Result<QHash<double, std::optional<GoalRecord>>> goalRecords(const StreamReader &reader,
                                                             const std::vector<GoalRequest> &goals)
{
    QHash<double, std::optional<GoalRecord>> found;
    const Result<void> read = reader.forEach(
        recordFieldNames(),
        [&](const std::vector<StreamCell> &cells) {
            const RecordFields f = readRecordFields(StreamRecord(cells));
            if (!f.idNumber || found.contains(*f.idNumber))
                return true;
            const bool wanted = std::any_of(goals.begin(), goals.end(), [&](const GoalRequest &g) {
                return g.id == *f.idNumber;
            });
            if (!wanted)
                return true;
            std::optional<GoalRecord> record;
            if (f.responses) {
                const analysis::ModelAnalysis a = analysis::analyse(*f.responses);
                optimise::Model b{};
                bool all = true;
                for (std::size_t i = 0; i < b.size(); ++i) {
                    all = all && a.coefficients[i].estimate.has_value();
                    b[i] = a.coefficients[i].estimate.value_or(0);
                }
                if (all)
                    record = GoalRecord{b, f.title};
            }
            found.insert(*f.idNumber, record);
            return true;
        },
        std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    if (!read)
        return read.failure();
    return found;
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
            {QStringLiteral("kind"), QLatin1String(kindName(g.kind))},
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
        text += QStringLiteral("Every goal is fully met on %1 %% of the square; its most robust "
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

// Real units for the answer: the given ones, or the records' stored ones when they agree.
Checked<std::optional<Factors>> answerUnits(const Command &command, const UnitsRequest &units,
                                            const FactorDefinitions &stored,
                                            const std::vector<GoalRequest> &goals)
{
    if (!units.on())
        return std::optional<Factors>();
    const UnitsChoice choice = units.choice(&stored);
    const std::optional<Factors> first = choice.of(goals.front().id);
    const auto key = [](const std::optional<Factors> &f) {
        return f ? QStringList{f->x1.title(),
                               QString::number(f->x1.low, 'g', 17),
                               QString::number(f->x1.high, 'g', 17),
                               f->x2.title(),
                               QString::number(f->x2.low, 'g', 17),
                               QString::number(f->x2.high, 'g', 17)}
                 : QStringList();
    };
    for (const GoalRequest &g : goals) {
        if (key(choice.of(g.id)) == key(first))
            continue;
        if (command.isSet(QStringLiteral("coded")))
            return std::optional<Factors>();
        return Checked<std::optional<Factors>>::refused(
            QStringLiteral("records %1 and %2 have different factors in real units: give --x1 "
                           "and --x2, or --coded for coded units")
                .arg(recordIdText(goals.front().id), recordIdText(g.id)));
    }
    return first;
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
    std::optional<ScratchFile> conversion; // an Access file's, gone with the command
    StreamReader reader;
    if (const Result<void> opened =
            openDatabase(reader, databasePath(command, folder), io, conversion);
        !opened)
        return failure(io, opened.failure());
    const auto records = goalRecords(reader, *goals);
    if (!records)
        return failure(io, records.failure());
    std::vector<optimise::Response> responses;
    for (const GoalRequest &g : *goals) {
        const auto it = records->constFind(g.id);
        if (it == records->cend())
            return usageError(io,
                              QStringLiteral("--goal \"%1\": no record with ID %2")
                                  .arg(g.text, recordIdText(g.id)),
                              command.usage());
        if (!*it)
            return usageError(io,
                              QStringLiteral("--goal \"%1\": record %2 has no fit (its eleven "
                                             "responses are not all numbers)")
                                  .arg(g.text, recordIdText(g.id)),
                              command.usage());
        responses.push_back({g.goal, (*it)->model});
    }
    const Result<FactorDefinitions> stored = storedDefinitions(*units, reader.path());
    if (!stored)
        return failure(io, stored.failure());
    const auto factors = answerUnits(command, *units, *stored, *goals);
    if (!factors)
        return failure(io, factors.error());
    const optimise::Answer answer = optimise::optimiseGoals(responses);
    const Outcome out{*goals, responses, *records, answer, *factors};
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
