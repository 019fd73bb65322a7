#include "store/experiment_table.h"

#include "store/factor_table.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <algorithm>
#include <limits>

#include <sqlite3.h>

namespace {

constexpr int PageSize = 128;
constexpr int MaxPages = 64;

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("tesmora-table-%1").arg(counter.fetchAndAddRelaxed(1));
}

// The driver's own SQLite handle, for the settings Qt SQL has no words for.
sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    return handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
               ? *static_cast<sqlite3 *const *>(handle.data())
               : nullptr;
}

} // namespace

ExperimentTable::ExperimentTable()
    : m_connection(nextConnectionName())
{
}

ExperimentTable::~ExperimentTable()
{
    close();
}

Failure ExperimentTable::failure(const QSqlError &error) const
{
    // Extended result codes are on for the connection, so the driver's code says what
    // happened; its text stays as the detail.
    const int code = error.nativeErrorCode().toInt();
    const QString detail = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return sqlite_support::failureOfCode(code, detail).withPath(m_path);
}

int ExperimentTable::columnIndex(const QString &name) const
{
    return sqlite_support::indexOfName(m_shape.columns, name);
}

Result<void> ExperimentTable::open(const QString &path, Mode mode)
{
    close();
    if (const auto refusal = refuseDatabaseFile(path))
        return *refusal;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        // A URI with mode=rw or mode=ro never creates the file, even if it vanished since the
        // check above.
        QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        uri.setQuery(mode == Mode::ReadOnly ? QStringLiteral("mode=ro")
                                            : QStringLiteral("mode=rw"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1%2")
                                 .arg(WindowBusyTimeoutMs)
                                 .arg(mode == Mode::ReadOnly ? ";QSQLITE_OPEN_READONLY" : ""));
        const bool opened = db.open();
        m_db = opened ? sqliteHandle(db) : nullptr;
        if (!opened || !m_db) {
            const Failure why = failure(db.lastError()).withPath(path);
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connection);
            m_db = nullptr;
            return why;
        }
        m_path = path;
        m_open = true;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite_support::harden(m_db);
    m_limit = std::make_unique<sqlite_support::WorkLimit>();
    m_limit->attach(m_db);

    const auto shape = sqlite_support::inspectTable(m_db);
    if (!shape) {
        close();
        return shape.failure().withPath(path);
    }
    m_shape = *shape;
    // Only the first records are located on opening: a large table opens as fast as a small
    // one, and the rest is read as the grid scrolls or the navigator goes further.
    if (const auto fetched = fetchMore(FirstFetch); !fetched) {
        close();
        return fetched.failure().withPath(path);
    }
    return {};
}

void ExperimentTable::close()
{
    if (!m_open && !QSqlDatabase::contains(m_connection))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_db = nullptr;
    m_limit.reset();
    m_open = false;
    m_complete = false;
    m_shape = {};
    m_rowIds.clear();
    m_pages.clear();
}

QString ExperimentTable::quotedTable() const
{
    return quoteIdentifier(ExperimentTableName);
}

QString ExperimentTable::quotedKey() const
{
    return quoteIdentifier(m_shape.key);
}

Result<std::vector<qint64>> ExperimentTable::nextRowIds(int limit) const
{
    if (!m_open)
        return Failure{Failure::Kind::NoRecord, m_path, {}, 0};
    m_limit->arm();
    // From the very first key on, when none is located yet: the smallest key is a key too.
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(quotedKey(), quotedTable());
    if (!m_rowIds.empty())
        sql += QStringLiteral(" WHERE %1 > %2").arg(quotedKey()).arg(m_rowIds.back());
    sql += QStringLiteral(" ORDER BY %1").arg(quotedKey());
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    if (!query.exec(sql))
        return failure(query.lastError());
    std::vector<qint64> ids;
    while (query.next())
        ids.push_back(query.value(0).toLongLong());
    if (query.lastError().isValid())
        return failure(query.lastError());
    return ids;
}

void ExperimentTable::appendRowIds(const std::vector<qint64> &ids, bool last)
{
    m_rowIds.insert(m_rowIds.end(), ids.begin(), ids.end());
    m_complete = m_complete || last;
}

Result<void> ExperimentTable::fetchMore(int limit)
{
    const auto ids = nextRowIds(limit);
    if (!ids)
        return ids.failure();
    appendRowIds(*ids, limit < 0 || int(ids->size()) < limit);
    return {};
}

std::optional<int> ExperimentTable::positionOf(qint64 id) const
{
    const auto at = std::lower_bound(m_rowIds.begin(), m_rowIds.end(), id);
    if (at == m_rowIds.end() || *at != id)
        return std::nullopt;
    return int(at - m_rowIds.begin());
}

Result<QVariantList> ExperimentTable::readRecord(int position) const
{
    if (!m_open || position < 0 || position >= count())
        return Failure{Failure::Kind::NoRecord, m_path, {}, 0};
    const int page = position / PageSize;
    auto it = m_pages.find(page);
    if (it == m_pages.end()) {
        if (m_pages.size() >= MaxPages)
            m_pages.clear();
        const int first = page * PageSize;
        const int last = std::min(count(), first + PageSize) - 1;
        m_limit->arm();
        QSqlQuery query(QSqlDatabase::database(m_connection, false));
        query.setForwardOnly(true);
        // Each column by its name: "*" would also bring generated columns, which the table's
        // list of columns leaves out, and shift every value after one.
        QStringList selected{quotedKey()};
        for (const QString &column : m_shape.columns)
            selected << quoteIdentifier(column);
        query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 BETWEEN ? AND ? ORDER BY %3")
                          .arg(selected.join(QLatin1Char(',')), quotedTable(), quotedKey()));
        query.addBindValue(m_rowIds[std::size_t(first)]);
        query.addBindValue(m_rowIds[std::size_t(last)]);
        if (!query.exec())
            return failure(query.lastError());
        QList<QVariantList> rows(last - first + 1);
        const int columnCount = int(m_shape.columns.size());
        // Match by row key: another program may have deleted a row since the keys were read.
        int next = first;
        while (query.next() && next <= last) {
            const qint64 id = query.value(0).toLongLong();
            while (next <= last && m_rowIds[std::size_t(next)] < id)
                ++next;
            if (next > last || m_rowIds[std::size_t(next)] != id)
                continue;
            QVariantList values;
            values.reserve(columnCount);
            for (int c = 0; c < columnCount; ++c)
                values << query.value(c + 1);
            rows[next - first] = values;
            ++next;
        }
        if (query.lastError().isValid())
            return failure(query.lastError());
        it = m_pages.insert(page, rows);
    }
    const QVariantList &values = it->at(position - page * PageSize);
    if (values.isEmpty())
        return Failure{Failure::Kind::DeletedElsewhere, m_path, {}, 0};
    return values;
}

FieldValue ExperimentTable::field(int position, const QString &name) const
{
    const int column = columnIndex(name);
    if (column < 0)
        return FieldValue::error();
    const auto values = readRecord(position);
    if (!values)
        return FieldValue::error();
    return FieldValue::of(values->at(column));
}

QString ExperimentTable::sameRowCondition(const QVariantList &expected) const
{
    QString condition = QStringLiteral("%1 = ?").arg(quotedKey());
    for (qsizetype c = 0; c < expected.size() && c < m_shape.columns.size(); ++c)
        condition += QStringLiteral(" AND %1 IS ?").arg(quoteIdentifier(m_shape.columns[c]));
    return condition;
}

Failure ExperimentTable::conflict(qint64 key) const
{
    // What was read is stale: show the file as it is now.
    m_pages.clear();
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?").arg(quotedTable(), quotedKey()));
    query.addBindValue(key);
    const bool there = query.exec() && query.next();
    return Failure{
        there ? Failure::Kind::ChangedElsewhere : Failure::Kind::DeletedElsewhere, m_path, {}, 0};
}

Result<int> ExperimentTable::setValue(int position, int column, const QVariant &value,
                                      const QVariantList &expected)
{
    if (!m_open || position < 0 || position >= count() || column < 0 ||
        column >= m_shape.columns.size())
        return Failure{Failure::Kind::NoRecord, m_path, {}, 0};
    m_limit->arm();
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    // The key as it is after the write: a column that is the row key (ID INTEGER PRIMARY KEY)
    // moves the record when it is edited.
    query.prepare(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 RETURNING %4")
                      .arg(quotedTable(), quoteIdentifier(m_shape.columns.at(column)),
                           sameRowCondition(expected), quotedKey()));
    query.addBindValue(value);
    query.addBindValue(rowId(position));
    for (qsizetype c = 0; c < expected.size() && c < m_shape.columns.size(); ++c)
        query.addBindValue(expected[c]);
    if (!query.exec())
        return failure(query.lastError());
    int updated = 0;
    qint64 key = 0;
    while (query.next()) {
        key = query.value(0).toLongLong();
        ++updated;
    }
    if (query.lastError().isValid())
        return failure(query.lastError());
    query.finish();
    if (updated != 1)
        return conflict(rowId(position));
    m_pages.remove(position / PageSize);
    if (key == rowId(position))
        return position;
    return moveRecord(position, key);
}

int ExperimentTable::moveRecord(int position, qint64 key)
{
    m_pages.clear();
    m_rowIds.erase(m_rowIds.begin() + position);
    // A key past the located ones is located with all the rest.
    if (!m_complete && (m_rowIds.empty() || key > m_rowIds.back()))
        (void)fetchMore(-1);
    if (const auto found = positionOf(key))
        return *found;
    const auto at = std::lower_bound(m_rowIds.begin(), m_rowIds.end(), key);
    const int moved = int(at - m_rowIds.begin());
    m_rowIds.insert(at, key);
    return moved;
}

Result<int> ExperimentTable::insertRecord(int column, const QVariant &value)
{
    if (!m_open || column < 0 || column >= m_shape.columns.size())
        return Failure{Failure::Kind::NoRecord, m_path, {}, 0};
    m_limit->arm();
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (?)")
                      .arg(quotedTable(), quoteIdentifier(m_shape.columns.at(column))));
    query.addBindValue(value);
    if (!query.exec())
        return failure(query.lastError());
    const qint64 id = sqlite3_last_insert_rowid(m_db);
    // The new record's place is among all the others; should they not be read, it goes after
    // the ones located.
    (void)fetchMore(-1);
    m_pages.clear();
    if (const auto found = positionOf(id))
        return *found;
    const auto at = std::lower_bound(m_rowIds.begin(), m_rowIds.end(), id);
    const int position = int(at - m_rowIds.begin());
    m_rowIds.insert(at, id);
    return position;
}

Result<void> ExperimentTable::removeRecords(QList<int> positions)
{
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    // What the grid shows of each record is what may be deleted.
    QList<QVariantList> expected;
    for (int position : positions) {
        const auto values = readRecord(position);
        if (!values)
            return values.failure();
        expected << *values;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    m_limit->arm();
    if (!m_open || !db.transaction())
        return m_open ? failure(db.lastError()) : Failure{Failure::Kind::NoRecord, m_path, {}, 0};
    QSqlQuery query(db);
    for (qsizetype i = 0; i < positions.size(); ++i) {
        query.prepare(QStringLiteral("DELETE FROM %1 WHERE %2")
                          .arg(quotedTable(), sameRowCondition(expected[i])));
        query.addBindValue(rowId(positions[i]));
        for (const QVariant &v : expected[i])
            query.addBindValue(v);
        if (!query.exec() || query.numRowsAffected() != 1) {
            const Failure why = query.lastError().isValid() ? failure(query.lastError())
                                                            : conflict(rowId(positions[i]));
            query.finish();
            db.rollback();
            return why;
        }
    }
    query.finish();
    if (!db.commit()) {
        const Failure why = failure(db.lastError());
        db.rollback();
        return why;
    }
    for (auto it = positions.crbegin(); it != positions.crend(); ++it)
        m_rowIds.erase(m_rowIds.begin() + *it);
    m_pages.clear();
    return {};
}

Result<FactorDefinitions> ExperimentTable::factorDefinitions() const
{
    if (!m_open)
        return FactorDefinitions();
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    return readFactorDefinitions(db, m_path);
}

Result<void> ExperimentTable::saveFactors(const QList<double> &ids, const Factors &factors)
{
    if (!m_open)
        return Failure{Failure::Kind::CannotOpen, m_path, {}, 0};
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    return saveFactorDefinitions(db, m_path, ids, factors);
}

Result<StoredGoals> ExperimentTable::goals() const
{
    if (!m_open)
        return StoredGoals();
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    return readGoals(db, m_path);
}

Result<void> ExperimentTable::saveGoals(const StoredGoals &goals)
{
    if (!m_open)
        return Failure{Failure::Kind::CannotOpen, m_path, {}, 0};
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    return ::saveGoals(db, m_path, goals);
}
