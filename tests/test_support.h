#pragma once

// Databases for tests, written with plain SQL so that old, loosely typed tables can be made too.

#include "fixtures.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTest>

inline bool runSql(const QString &path, const QStringList &statements)
{
    const QString connection = QStringLiteral("test-support");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery query(db);
        for (const QString &sql : statements) {
            if (ok && !query.exec(sql)) {
                qWarning() << sql << query.lastError().text();
                ok = false;
            }
        }
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

// A loosely typed table of the old kind, with the given rows of values (SQL literals).
inline bool makeTable(const QString &path, const QStringList &rows,
                      const QString &columns =
                          QStringLiteral("ID, Y1, Y2, Y3, Y4, Y5, Y6, Y7, Y8, Y9, Y10, Y11, Y12"))
{
    QStringList sql{QStringLiteral("CREATE TABLE 等高线表 (%1)").arg(columns),
                    QStringLiteral("BEGIN")};
    for (const QString &row : rows)
        sql << QStringLiteral("INSERT INTO 等高线表 VALUES (%1)").arg(row);
    sql << QStringLiteral("COMMIT");
    return runSql(path, sql);
}

inline QByteArray fileDigest(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

inline QVariant readCell(const QString &path, const QString &sql)
{
    const QString connection = QStringLiteral("test-read");
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(sql) && query.next())
                value = query.value(0);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return value;
}

const QString HardnessRow = "1, " + asSqlList(HardnessY) + ", '硬度'";
const QString ViscosityRow = "2, " + asSqlList(ViscosityY) + ", '粘度'";

// Another program's exclusive hold on a database, for as long as the object lives.
class OtherWriter
{
public:
    explicit OtherWriter(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Connection);
        db.setDatabaseName(path);
        m_holding = db.open() && QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE"));
    }
    ~OtherWriter()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(Connection, false);
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            db.close();
        }
        QSqlDatabase::removeDatabase(Connection);
    }
    bool holding() const { return m_holding; }

private:
    static inline const QString Connection = QStringLiteral("other-writer");
    bool m_holding = false;
};
