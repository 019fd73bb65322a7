#include "store/side_tables.h"

#include "store/sqlite_support.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace side_tables {

Failure failureOf(const QSqlError &error, const QString &path)
{
    // Extended result codes say what happened; the engine's text stays as the detail.
    const QString detail = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return sqlite_support::failureOfCode(error.nativeErrorCode().toInt(), detail).withPath(path);
}

Result<bool> hasTable(QSqlDatabase &db, const QString &name, const QString &path)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ?"));
    query.addBindValue(name);
    if (!query.exec())
        return failureOf(query.lastError(), path);
    return query.next();
}

Result<void> inTransaction(QSqlDatabase &db, const QString &path,
                           const std::function<Result<void>()> &write)
{
    if (!db.transaction())
        return failureOf(db.lastError(), path);
    if (const Result<void> written = write(); !written) {
        db.rollback();
        return written;
    }
    if (!db.commit()) {
        const Failure failed = failureOf(db.lastError(), path);
        db.rollback();
        return failed;
    }
    return {};
}

} // namespace side_tables
