#pragma once

// New experiment databases: the sample that ships beside the program, and generated tables of
// any size for benchmarks. Both refuse to touch an existing file.

#include "core/result.h"

#include <QString>
#include <QStringList>

namespace sample_db {

// The column definitions of a new "等高线表": STRICT, so text cannot hide in numeric columns.
QString createTableSql();

// Writes a database with an empty experiment table, never over an existing file.
Result<void> writeEmpty(const QString &path);

// Adds an empty experiment table to an existing database that has none; its other tables
// stay as they are.
Result<void> addExperimentTable(const QString &path);

// The names of the ordinary tables of a database, read-only.
Result<QStringList> tableNames(const QString &path);

// Writes the sample database (a few realistic series, among them the two reference series).
Result<void> writeSample(const QString &path);

// Writes `records` generated series (realistic responses and names), reproducible by seed.
Result<void> writeGenerated(const QString &path, int records, unsigned seed);

} // namespace sample_db
