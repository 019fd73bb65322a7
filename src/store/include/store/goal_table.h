#pragma once

// The goals of the last multi-response optimisation, kept beside the experiment table in the
// table "优化目标": one row a record's ID. Created only when goals are first saved, like the
// factor definitions, so opening or reading a file never changes it.

#include "core/goal.h"
#include "core/result.h"

#include <QString>

#include <utility>
#include <vector>

class QSqlDatabase;

inline const QString GoalTableName = QStringLiteral("优化目标");

// Record ID and its goal, in the order they were saved.
using StoredGoals = std::vector<std::pair<double, optimise::Goal>>;

// The column definitions (STRICT, with the goals' rules as checks).
QString createGoalTableSql();

// The stored goals; none when the table does not exist. A row that breaks the rules is refused
// with its ID, never used.
Result<StoredGoals> readGoals(QSqlDatabase &db, const QString &path);
// Replaces the stored goals with these, in one transaction.
Result<void> saveGoals(QSqlDatabase &db, const QString &path, const StoredGoals &goals);
