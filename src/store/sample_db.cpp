#include "store/sample_db.h"

#include "core/scratch_file.h"
#include "store/database_file.h"
#include "store/experiment_table.h"
#include "store/record_source.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <array>
#include <cmath>
#include <functional>
#include <random>

namespace sample_db {

namespace {

struct Series
{
    double id;
    std::array<double, 11> y;
    const char *title;
};

// Measured series of a few formulation studies; the first two are the reference series the
// tests check the fit against.
const Series SampleSeries[] = {
    {1, {12.1, 13.4, 11.8, 14.2, 13.9, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3}, "硬度"},
    {2, {2.5, 3.1, 1.9, 2.8, 3.3, 2.0, 2.6, 2.2, 3.6, 3.5, 3.7}, "粘度 Pa·s"},
    {3, {78.2, 84.5, 80.1, 88.9, 87.4, 76.3, 85.2, 79.8, 90.6, 91.2, 89.8}, "收率 %"},
    {4, {41.0, 38.5, 45.2, 43.9, 40.1, 42.7, 46.8, 39.4, 47.5, 48.1, 47.0}, "抗拉强度 MPa"},
    {5, {6.8, 7.4, 7.1, 8.2, 7.9, 6.5, 7.6, 6.9, 8.8, 8.6, 8.9}, "pH"},
    {6, {132, 118, 141, 125, 120, 138, 136, 122, 112, 115, 110}, "溶解时间 s"},
    {7, {0.82, 0.91, 0.78, 0.95, 0.93, 0.76, 0.88, 0.80, 0.99, 0.97, 1.01}, "白度指数"},
    {12, {23.4, 25.1, 24.0, 27.3, 26.2, 22.8, 25.9, 23.7, 28.4, 28.0, 28.9}, "拉伸率 %"},
};

// Creates `path` anew through a temporary file, so a half-written database never stands
// under the final name and an existing file is never replaced.
// The engine's refusal of a new database's statement, in its own words.
Failure engineFailure(const QSqlError &error)
{
    return Failure{Failure::Kind::Engine, {}, error.text(), 0};
}

Result<void> writeNew(const QString &path, const std::function<Result<void>(QSqlDatabase &)> &fill)
{
    Result<ScratchFile> scratch = ScratchFile::beside(path, Placement::NoReplace);
    if (!scratch)
        return scratch.failure();
    const QString connection = QStringLiteral("tesmora-sample-%1").arg(quintptr(&fill));
    Result<void> filled;
    {
        // SQLite takes the empty scratch file as a new database.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(scratch->path());
        filled = [&]() -> Result<void> {
            if (!db.open())
                return engineFailure(db.lastError());
            if (QSqlQuery query(db); !query.exec(createTableSql()))
                return engineFailure(query.lastError());
            if (!db.transaction())
                return engineFailure(db.lastError());
            if (const Result<void> rows = fill(db); !rows)
                return rows;
            return db.commit() ? Result<void>() : engineFailure(db.lastError());
        }();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    if (!filled)
        return filled.failure().withPath(path);
    return scratch->commit(Durability::Synced);
}

QString insertSql()
{
    const QStringList &names = experimentColumns();
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(quoteIdentifier(ExperimentTableName), names.join(QLatin1Char(',')),
             QStringList(names.size(), QStringLiteral("?")).join(QLatin1Char(',')));
}

Result<void> insertSeries(QSqlQuery &query, double id, const std::array<double, 11> &y,
                          const QString &title)
{
    query.addBindValue(id);
    for (double v : y)
        query.addBindValue(v);
    query.addBindValue(title);
    return query.exec() ? Result<void>() : engineFailure(query.lastError());
}

} // namespace

QString createTableSql()
{
    QStringList columns;
    for (const QString &name : experimentColumns())
        columns << name + (name == TitleField ? QStringLiteral(" TEXT") : QStringLiteral(" REAL"));
    return QStringLiteral("CREATE TABLE %1 (%2) STRICT")
        .arg(quoteIdentifier(ExperimentTableName), columns.join(QStringLiteral(", ")));
}

namespace {

// Runs `work` on a connection of its own to an existing database file.
template <typename Work> auto withDatabase(const QString &path, bool readOnly, Work work)
{
    const QString connection = QStringLiteral("tesmora-schema-%1").arg(quintptr(&work));
    decltype(work(std::declval<QSqlDatabase &>())) result = Failure{};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (readOnly)
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        result = db.open() ? work(db)
                           : Failure{Failure::Kind::CannotOpen, path, db.lastError().text(), 0};
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return result;
}

} // namespace

Result<void> addExperimentTable(const QString &path)
{
    if (const auto refusal = refuseDatabaseFile(path))
        return *refusal;
    return withDatabase(path, false, [&](QSqlDatabase &db) -> Result<void> {
        QSqlQuery query(db);
        if (!query.exec(createTableSql()))
            return Failure{Failure::Kind::Engine, path, query.lastError().text(), 0};
        return {};
    });
}

Result<QStringList> tableNames(const QString &path)
{
    if (const auto refusal = refuseDatabaseFile(path))
        return *refusal;
    return withDatabase(path, true, [&](QSqlDatabase &db) -> Result<QStringList> {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT name FROM sqlite_schema WHERE type = 'table' AND "
                                       "name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid")))
            return Failure{Failure::Kind::Engine, path, query.lastError().text(), 0};
        QStringList names;
        while (query.next())
            names << query.value(0).toString();
        return names;
    });
}

Result<void> writeEmpty(const QString &path)
{
    return writeNew(path, [](QSqlDatabase &) { return Result<void>(); });
}

Result<void> writeSample(const QString &path)
{
    return writeNew(path, [](QSqlDatabase &db) -> Result<void> {
        QSqlQuery query(db);
        query.prepare(insertSql());
        for (const Series &s : SampleSeries) {
            if (const Result<void> added =
                    insertSeries(query, s.id, s.y, QString::fromUtf8(s.title));
                !added)
                return added;
        }
        return {};
    });
}

Result<void> writeGenerated(const QString &path, int records, unsigned seed)
{
    return writeNew(path, [records, seed](QSqlDatabase &db) -> Result<void> {
        static const char *const names[] = {"硬度", "粘度", "收率 %",   "抗拉强度",
                                            "pH",   "白度", "溶解时间", "拉伸率 %"};
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> coefficient(-1.0, 1.0);
        std::normal_distribution<double> noise(0.0, 1.0);
        const auto &x = DesignPoints;
        QSqlQuery query(db);
        query.prepare(insertSql());
        for (int r = 0; r < records; ++r) {
            // A plausible response surface around a level, with a little measurement noise.
            const double level = 5 + 95 * (coefficient(random) + 1) / 2;
            const double scale = level * 0.08;
            const double b1 = scale * coefficient(random), b2 = scale * coefficient(random);
            const double b11 = -scale * std::fabs(coefficient(random));
            const double b22 = -scale * std::fabs(coefficient(random));
            const double b12 = scale * 0.5 * coefficient(random);
            std::array<double, 11> y{};
            for (int run = 0; run < 11; ++run) {
                const double x1 = x[run][0], x2 = x[run][1];
                const double v = level + b1 * x1 + b2 * x2 + b11 * x1 * x1 + b22 * x2 * x2 +
                                 b12 * x1 * x2 + scale * 0.1 * noise(random);
                y[run] = std::round(v * 100) / 100;
            }
            if (const Result<void> added =
                    insertSeries(query, r + 1, y, QString::fromUtf8(names[r % 8]));
                !added)
                return added;
        }
        return {};
    });
}

} // namespace sample_db
