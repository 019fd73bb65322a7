#pragma once

// What the tables kept beside the experiment table share (the factor definitions, the goals):
// Qt SQL's errors as Failures, whether a table is there, and a write done in one transaction,
// all of it or none.

#include "core/result.h"

#include <QString>

#include <functional>

class QSqlDatabase;
class QSqlError;

namespace side_tables {

Failure failureOf(const QSqlError &error, const QString &path);
Result<bool> hasTable(QSqlDatabase &db, const QString &name, const QString &path);
// Runs `write` in a transaction: committed when it and the commit succeed, else rolled back.
Result<void> inTransaction(QSqlDatabase &db, const QString &path,
                           const std::function<Result<void>()> &write);

} // namespace side_tables
