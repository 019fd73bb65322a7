#include "store/factor_table.h"

#include "store/database_file.h"
#include "store/side_tables.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

namespace {

const QStringList &factorColumns()
{
    static const QStringList columns{
        QStringLiteral("ID"),     QStringLiteral("X1Name"), QStringLiteral("X1Unit"),
        QStringLiteral("X1Low"),  QStringLiteral("X1High"), QStringLiteral("X2Name"),
        QStringLiteral("X2Unit"), QStringLiteral("X2Low"),  QStringLiteral("X2High")};
    return columns;
}

} // namespace

QString createFactorTableSql()
{
    return QStringLiteral(
               "CREATE TABLE %1 (ID REAL PRIMARY KEY NOT NULL, "
               "X1Name TEXT NOT NULL CHECK (trim(X1Name) <> ''), X1Unit TEXT NOT NULL, "
               "X1Low REAL NOT NULL, X1High REAL NOT NULL CHECK (X1High <> X1Low), "
               "X2Name TEXT NOT NULL CHECK (trim(X2Name) <> ''), X2Unit TEXT NOT NULL, "
               "X2Low REAL NOT NULL, X2High REAL NOT NULL CHECK (X2High <> X2Low)) STRICT")
        .arg(quoteIdentifier(FactorTableName));
}

Result<FactorDefinitions> readFactorDefinitions(QSqlDatabase &db, const QString &path)
{
    const Result<bool> exists = side_tables::hasTable(db, FactorTableName, path);
    if (!exists)
        return exists.failure();
    FactorDefinitions definitions;
    if (!*exists)
        return definitions;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(
            QStringLiteral("SELECT %1 FROM %2")
                .arg(factorColumns().join(QLatin1Char(',')), quoteIdentifier(FactorTableName))))
        return side_tables::failureOf(query.lastError(), path);
    while (query.next()) {
        const double id = query.value(0).toDouble();
        const auto factor = [&](int at) {
            return Factor{query.value(at).toString(), query.value(at + 1).toString(),
                          query.value(at + 2).toDouble(), query.value(at + 3).toDouble()};
        };
        const Factors f{factor(1), factor(5)};
        for (const Factor *x : {&f.x1, &f.x2}) {
            if (const auto fault = factorFault(*x))
                return Failure{
                    Failure::Kind::Damaged, path,
                    QStringLiteral("%1, ID %2: %3")
                        .arg(FactorTableName, QString::number(id), factorFaultText(*fault)),
                    0};
        }
        definitions.insert(id, f);
    }
    if (query.lastError().isValid())
        return side_tables::failureOf(query.lastError(), path);
    return definitions;
}

Result<FactorDefinitions> readFactorDefinitions(const QString &path)
{
    if (const auto refusal = refuseDatabaseFile(path))
        return *refusal;
    const QString connection = QStringLiteral("tesmora-factors-%1").arg(quintptr(&path));
    const auto readOnce = [&]() -> Result<FactorDefinitions> {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        // Read-only through a URI: the file is never created or changed.
        QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        uri.setQuery(QStringLiteral("mode=ro"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY"));
        if (!db.open())
            return side_tables::failureOf(db.lastError(), path);
        Result<FactorDefinitions> read = readFactorDefinitions(db, path);
        db.close();
        return read;
    };
    Result<FactorDefinitions> read = readOnce();
    QSqlDatabase::removeDatabase(connection);
    return read;
}

Result<void> saveFactorDefinitions(QSqlDatabase &db, const QString &path, const QList<double> &ids,
                                   const Factors &f)
{
    for (const Factor *x : {&f.x1, &f.x2}) {
        if (const auto fault = factorFault(*x))
            return Failure{Failure::Kind::Constraint, path, factorFaultText(*fault), 0};
    }
    return side_tables::inTransaction(db, path, [&]() -> Result<void> {
        const Result<bool> exists = side_tables::hasTable(db, FactorTableName, path);
        if (!exists)
            return exists.failure();
        QSqlQuery query(db);
        if (!*exists && !query.exec(createFactorTableSql()))
            return side_tables::failureOf(query.lastError(), path);
        query.prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (%2) VALUES (%3)")
                          .arg(quoteIdentifier(FactorTableName),
                               factorColumns().join(QLatin1Char(',')),
                               QStringList(factorColumns().size(), QStringLiteral("?"))
                                   .join(QLatin1Char(','))));
        for (double id : ids) {
            query.addBindValue(id);
            for (const Factor *x : {&f.x1, &f.x2}) {
                // An empty unit is stored as empty text, never as NULL.
                query.addBindValue(x->name.trimmed());
                query.addBindValue(x->unit.isNull() ? QStringLiteral("") : x->unit);
                query.addBindValue(x->low);
                query.addBindValue(x->high);
            }
            if (!query.exec())
                return side_tables::failureOf(query.lastError(), path);
        }
        return {};
    });
}
