#include "store/goal_table.h"

#include "store/database_file.h"
#include "store/side_tables.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>

QString createGoalTableSql()
{
    return QStringLiteral("CREATE TABLE %1 (ID REAL PRIMARY KEY NOT NULL, "
                          "Kind TEXT NOT NULL CHECK (Kind IN ('max', 'min', 'target', 'range')), "
                          "Low REAL NOT NULL, Target REAL, High REAL NOT NULL CHECK (Low < High), "
                          "S1 REAL NOT NULL CHECK (S1 > 0), S2 REAL NOT NULL CHECK (S2 > 0), "
                          "Importance INTEGER NOT NULL CHECK (Importance BETWEEN 1 AND 5), "
                          "Position INTEGER NOT NULL) STRICT")
        .arg(quoteIdentifier(GoalTableName));
}

Result<StoredGoals> readGoals(QSqlDatabase &db, const QString &path)
{
    const Result<bool> exists = side_tables::hasTable(db, GoalTableName, path);
    if (!exists)
        return exists.failure();
    StoredGoals goals;
    if (!*exists)
        return goals;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT ID, Kind, Low, Target, High, S1, S2, Importance "
                                   "FROM %1 ORDER BY Position")
                        .arg(quoteIdentifier(GoalTableName))))
        return side_tables::failureOf(query.lastError(), path);
    while (query.next()) {
        const double id = query.value(0).toDouble();
        const auto kind = optimise::goalKindNamed(query.value(1).toString().toLatin1().constData());
        optimise::Goal g;
        g.kind = kind.value_or(optimise::GoalKind::Max);
        g.low = query.value(2).toDouble();
        g.target = query.value(3).isNull() ? 0 : query.value(3).toDouble();
        g.high = query.value(4).toDouble();
        g.s1 = query.value(5).toDouble();
        g.s2 = query.value(6).toDouble();
        g.importance = query.value(7).toInt();
        if (!kind || optimise::goalFault(g))
            return Failure{Failure::Kind::Damaged, path,
                           QStringLiteral("%1, ID %2: not a goal").arg(GoalTableName).arg(id), 0};
        goals.push_back({id, g});
    }
    if (query.lastError().isValid())
        return side_tables::failureOf(query.lastError(), path);
    return goals;
}

Result<void> saveGoals(QSqlDatabase &db, const QString &path, const StoredGoals &goals)
{
    return side_tables::inTransaction(db, path, [&]() -> Result<void> {
        const Result<bool> exists = side_tables::hasTable(db, GoalTableName, path);
        if (!exists)
            return exists.failure();
        QSqlQuery query(db);
        if (!*exists && !query.exec(createGoalTableSql()))
            return side_tables::failureOf(query.lastError(), path);
        if (!query.exec(QStringLiteral("DELETE FROM %1").arg(quoteIdentifier(GoalTableName))))
            return side_tables::failureOf(query.lastError(), path);
        query.prepare(QStringLiteral("INSERT INTO %1 (ID, Kind, Low, Target, High, S1, S2, "
                                     "Importance, Position) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")
                          .arg(quoteIdentifier(GoalTableName)));
        for (std::size_t i = 0; i < goals.size(); ++i) {
            const auto &[id, g] = goals[i];
            query.addBindValue(id);
            query.addBindValue(QString::fromLatin1(optimise::goalKindName(g.kind)));
            query.addBindValue(g.low);
            query.addBindValue(g.kind == optimise::GoalKind::Target
                                   ? QVariant(g.target)
                                   : QVariant(QMetaType(QMetaType::Double)));
            query.addBindValue(g.high);
            query.addBindValue(g.s1);
            query.addBindValue(g.s2);
            query.addBindValue(g.importance);
            query.addBindValue(qint64(i));
            if (!query.exec())
                return side_tables::failureOf(query.lastError(), path);
        }
        return {};
    });
}
