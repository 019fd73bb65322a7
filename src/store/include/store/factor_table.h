#pragma once

// The factor definitions stored beside the experiment table: the table "因素表", one row a
// record's ID with the name, unit and levels of X1 and X2. It is created only when a
// definition is first saved, so opening, reading or reporting never changes a file and the
// experiment table keeps its shape.

#include "core/factors.h"
#include "core/result.h"

#include <QHash>
#include <QList>
#include <QString>

class QSqlDatabase;

inline const QString FactorTableName = QStringLiteral("因素表");

// The column definitions of the table (STRICT, with the levels' rules as checks).
QString createFactorTableSql();

// Every stored definition; none when the table does not exist. A row that breaks the rules
// (equal levels, no name) is refused with its ID, never used.
Result<FactorDefinitions> readFactorDefinitions(QSqlDatabase &db, const QString &path);
// The same from a database file opened read-only for the purpose.
Result<FactorDefinitions> readFactorDefinitions(const QString &path);

// Gives each of `ids` the definition, in one transaction: all of them or none. Creates the
// table on the first save.
Result<void> saveFactorDefinitions(QSqlDatabase &db, const QString &path, const QList<double> &ids,
                                   const Factors &factors);
