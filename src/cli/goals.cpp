#include "goals.h"

#include "pipeline/record_change.h"
#include "stats/multi_optimum.h"

#include <QLocale>

#include <algorithm>
#include <limits>

namespace {

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
    const auto goalKind =
        optimise::goalKindNamed(parts.first().trimmed().toLower().toLatin1().constData());
    if (!goalKind)
        return refused(QStringLiteral("the kind must be max, min, target or range"));
    const int limits = *goalKind == optimise::GoalKind::Target ? 3 : 2;
    const int shapes = *goalKind == optimise::GoalKind::Target  ? 2
                       : *goalKind == optimise::GoalKind::Range ? 0
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
    g.kind = *goalKind;
    g.low = v[0];
    if (*goalKind == optimise::GoalKind::Target) {
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

} // namespace

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
                        .arg(text, recordIdText(g->id),
                             QLatin1String(optimise::goalKindName(other.goal.kind))));
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
            if (const auto model = f.responses ? optimise::fittedModel(*f.responses) : std::nullopt)
                record = GoalRecord{*model, f.title};
            found.insert(*f.idNumber, record);
            return true;
        },
        std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    if (!read)
        return read.failure();
    return found;
}

Checked<std::vector<optimise::Response>>
goalResponses(const std::vector<GoalRequest> &goals,
              const QHash<double, std::optional<GoalRecord>> &records)
{
    using Refused = Checked<std::vector<optimise::Response>>;
    std::vector<optimise::Response> responses;
    for (const GoalRequest &g : goals) {
        const auto it = records.constFind(g.id);
        if (it == records.cend())
            return Refused::refused(QStringLiteral("--goal \"%1\": no record with ID %2")
                                        .arg(g.text, recordIdText(g.id)));
        if (!*it)
            return Refused::refused(QStringLiteral("--goal \"%1\": record %2 has no fit (its "
                                                   "eleven responses are not all numbers)")
                                        .arg(g.text, recordIdText(g.id)));
        responses.push_back({g.goal, (*it)->model});
    }
    return responses;
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
    for (const GoalRequest &g : goals) {
        if (choice.of(g.id) == first)
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

std::variant<GoalInputs, int> readGoalInputs(const Command &command,
                                             const std::vector<GoalRequest> &goals,
                                             const UnitsRequest &units, const QString &folder,
                                             const CliStreams &io)
{
    std::optional<ScratchFile> conversion; // an Access file's, gone with the command
    StreamReader reader;
    if (const Result<void> opened =
            openDatabase(reader, databasePath(command, folder), io, conversion);
        !opened)
        return failure(io, opened.failure());
    const auto records = goalRecords(reader, goals);
    if (!records)
        return failure(io, records.failure());
    const auto responses = goalResponses(goals, *records);
    if (!responses)
        return usageError(io, responses.error(), command.usage());
    const Result<FactorDefinitions> stored = storedDefinitions(units, reader.path());
    if (!stored)
        return failure(io, stored.failure());
    const auto factors = answerUnits(command, units, *stored, goals);
    if (!factors)
        return failure(io, factors.error());
    return GoalInputs{goals, *records, *responses, *factors};
}
