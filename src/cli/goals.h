#pragma once

// Goals on records' responses, as the command line takes them (--goal ID=KIND:LIMITS,
// --importance ID=R), the records they name and the real units they share: what optimise and
// render's goal map both read.

#include "command.h"
#include "units.h"

#include "stats/desirability.h"
#include "store/stream_reader.h"

#include <QHash>
#include <QString>

#include <optional>
#include <variant>
#include <vector>

struct GoalRequest
{
    QString text;
    double id = 0;
    optimise::Goal goal;
};

// The goals, their importances applied, each checked; a usage error names the goal.
Checked<std::vector<GoalRequest>> goalRequests(const Command &command);

// A record a goal names: its exact fit and its name.
struct GoalRecord
{
    optimise::Model model;
    QString name;
};
// The records the goals name, by ID (none where a record has no fit).
Result<QHash<double, std::optional<GoalRecord>>> goalRecords(const StreamReader &reader,
                                                             const std::vector<GoalRequest> &goals);
// The goals on their records' fits; a usage error for a record missing or without a fit.
Checked<std::vector<optimise::Response>>
goalResponses(const std::vector<GoalRequest> &goals,
              const QHash<double, std::optional<GoalRecord>> &records);

// What a goal command works on: the goals, their records' fits and names, the real units.
struct GoalInputs
{
    std::vector<GoalRequest> goals;
    QHash<double, std::optional<GoalRecord>> records;
    std::vector<optimise::Response> responses;
    std::optional<Factors> factors;
};
// Reads them from the database for checked goals and units; else the exit code of the
// command, the reason already said (a record missing or without a fit is a usage error).
std::variant<GoalInputs, int> readGoalInputs(const Command &command,
                                             const std::vector<GoalRequest> &goals,
                                             const UnitsRequest &units, const QString &folder,
                                             const CliStreams &io);

// render --goal: the goal map of the records into --out.
int renderGoalMap(const Command &command, const QString &folder, const CliStreams &io);

// Real units for an answer over several records: the given ones, or the records' stored ones
// when they agree (else refused, unless --coded asks for coded units).
Checked<std::optional<Factors>> answerUnits(const Command &command, const UnitsRequest &units,
                                            const FactorDefinitions &stored,
                                            const std::vector<GoalRequest> &goals);
