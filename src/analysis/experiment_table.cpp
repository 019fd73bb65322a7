#include "analysis/experiment_table.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <algorithm>

#include <sqlite3.h>

namespace {

constexpr int PageSize = 128;
constexpr int MaxPages = 64;
// How long a write waits for another program's lock before it reports the file as busy.
constexpr int BusyTimeoutMs = 2000;

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("tesmora-table-%1").arg(counter.fetchAndAddRelaxed(1));
}

QString describeText(const QString &text)
{
    if (text.contains(QLatin1String("locked")) || text.contains(QLatin1String("busy")))
        return QStringLiteral("数据库正被其他程序占用，请稍后再试（%1）").arg(text);
    if (text.contains(QLatin1String("readonly")) || text.contains(QLatin1String("read-only")))
        return QStringLiteral("数据库文件是只读的，无法写入（%1）").arg(text);
    return text;
}

QString describe(const QSqlError &error)
{
    return describeText(error.driverText().isEmpty() ? error.text() : error.databaseText());
}

} // namespace

QString quoteIdentifier(const QString &name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

ExperimentTable::ExperimentTable()
    : m_connection(nextConnectionName())
{
}

ExperimentTable::~ExperimentTable()
{
    close();
}

std::optional<QString> ExperimentTable::refuseFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("找不到数据库文件“%1”").arg(path);
    if (!info.isFile())
        return QStringLiteral("“%1”不是文件").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("无法读取“%1”：%2").arg(path, file.errorString());
    const QByteArray header = file.read(32);
    if (header.isEmpty())
        return QStringLiteral("“%1”是空文件，不是数据库（文件未被改动）").arg(path);
    if (header.startsWith(QByteArray("SQLite format 3\0", 16)))
        return std::nullopt;
    if (header.mid(4, 15) == "Standard Jet DB" || header.mid(4, 15) == "Standard ACE DB")
        return QStringLiteral("“%1”是旧的 Access 数据库文件，本程序无法读取（文件未被改动）")
            .arg(path);
    return QStringLiteral("“%1”不是 SQLite 数据库文件（文件未被改动）").arg(path);
}

bool ExperimentTable::open(const QString &path, Mode mode, QString *error)
{
    return openTable(path, mode, true, error);
}

bool ExperimentTable::openForStreaming(const QString &path, QString *error)
{
    return openTable(path, Mode::ReadOnly, false, error);
}

bool ExperimentTable::openTable(const QString &path, Mode mode, bool positions, QString *error)
{
    close();
    if (const auto refusal = refuseFile(path)) {
        *error = *refusal;
        return false;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        // A URI with mode=rw or mode=ro never creates the file, even if it vanished since the
        // check above.
        QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        uri.setQuery(mode == Mode::ReadOnly ? QStringLiteral("mode=ro")
                                            : QStringLiteral("mode=rw"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1%2")
                                 .arg(BusyTimeoutMs)
                                 .arg(mode == Mode::ReadOnly ? ";QSQLITE_OPEN_READONLY" : ""));
        if (!db.open()) {
            *error = QStringLiteral("无法打开“%1”：%2").arg(path, describe(db.lastError()));
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connection);
            return false;
        }
        m_path = path;
        m_open = true;
    }

    QSqlQuery info(QSqlDatabase::database(m_connection, false));
    if (!info.exec(
            QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(ExperimentTableName)))) {
        *error = QStringLiteral("无法读取“%1”：%2").arg(path, describe(info.lastError()));
        close();
        return false;
    }
    while (info.next())
        m_columns << info.value(1).toString();
    info.finish();
    if (m_columns.isEmpty()) {
        *error = QStringLiteral("数据库“%1”中没有表“%2”").arg(path, ExperimentTableName);
        close();
        return false;
    }
    if (positions && !loadRowIds(error)) {
        close();
        return false;
    }
    return true;
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
    m_open = false;
    m_complete = false;
    m_columns.clear();
    m_rowIds.clear();
    m_pages.clear();
}

QString ExperimentTable::quotedTable() const
{
    return quoteIdentifier(ExperimentTableName);
}

namespace {

// The driver's own SQLite handle, for the paths where generic row fetching costs too much.
sqlite3 *sqliteHandle(const QString &connection)
{
    const QVariant handle = QSqlDatabase::database(connection, false).driver()->handle();
    return handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
               ? *static_cast<sqlite3 *const *>(handle.data())
               : nullptr;
}

} // namespace

std::optional<std::vector<qint64>> ExperimentTable::nextRowIds(int limit, QString *error) const
{
    sqlite3 *db = sqliteHandle(m_connection);
    const qint64 after = m_rowIds.empty() ? std::numeric_limits<qint64>::min() : m_rowIds.back();
    QString sql = QStringLiteral("SELECT rowid FROM %1 WHERE rowid > %2 ORDER BY rowid")
                      .arg(quotedTable())
                      .arg(after);
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *statement = nullptr;
    int rc = db ? sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &statement, nullptr)
                : SQLITE_MISUSE;
    std::vector<qint64> ids;
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW)
            ids.push_back(sqlite3_column_int64(statement, 0));
    }
    if (rc != SQLITE_DONE) {
        const QString reason = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("?");
        *error =
            QStringLiteral("无法读取表“%1”：%2").arg(ExperimentTableName, describeText(reason));
        sqlite3_finalize(statement);
        return std::nullopt;
    }
    sqlite3_finalize(statement);
    return ids;
}

void ExperimentTable::appendRowIds(const std::vector<qint64> &ids, bool last)
{
    m_rowIds.insert(m_rowIds.end(), ids.begin(), ids.end());
    m_complete = m_complete || last;
}

int ExperimentTable::fetchMore(int limit)
{
    QString error;
    const auto ids = nextRowIds(limit, &error);
    if (!ids) {
        m_complete = true; // nothing more can be read; what is loaded stays usable
        return 0;
    }
    appendRowIds(*ids, limit < 0 || int(ids->size()) < limit);
    return int(ids->size());
}

bool ExperimentTable::loadRowIds(QString *error)
{
    // Only the first records are located on opening: a large table opens as fast as a small
    // one, and the rest is read as the grid scrolls or the navigator goes further.
    m_rowIds.clear();
    m_complete = false;
    m_pages.clear();
    const auto ids = nextRowIds(FirstFetch, error);
    if (!ids)
        return false;
    appendRowIds(*ids, int(ids->size()) < FirstFetch);
    return true;
}

std::optional<int> ExperimentTable::positionOf(qint64 id) const
{
    const auto at = std::lower_bound(m_rowIds.begin(), m_rowIds.end(), id);
    if (at == m_rowIds.end() || *at != id)
        return std::nullopt;
    return int(at - m_rowIds.begin());
}

QVariantList ExperimentTable::record(int position) const
{
    if (!m_open || position < 0 || position >= count())
        return {};
    const int page = position / PageSize;
    auto it = m_pages.find(page);
    if (it == m_pages.end()) {
        if (m_pages.size() >= MaxPages)
            m_pages.clear();
        const int first = page * PageSize;
        const int last = std::min(count(), first + PageSize) - 1;
        QSqlQuery query(QSqlDatabase::database(m_connection, false));
        query.setForwardOnly(true);
        query.prepare(QStringLiteral("SELECT rowid, * FROM %1 WHERE rowid BETWEEN ? AND ? "
                                     "ORDER BY rowid")
                          .arg(quotedTable()));
        query.addBindValue(m_rowIds[std::size_t(first)]);
        query.addBindValue(m_rowIds[std::size_t(last)]);
        if (!query.exec())
            return {};
        QList<QVariantList> rows(last - first + 1);
        const int columnCount = int(m_columns.size());
        // Match by rowid: another program may have deleted a row since the rowids were read.
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
        it = m_pages.insert(page, rows);
    }
    return it->at(position - page * PageSize);
}

FieldValue ExperimentTable::field(int position, const QString &name) const
{
    const int column = columnIndex(name);
    if (column < 0)
        return FieldValue::error();
    const QVariantList values = record(position);
    if (values.isEmpty())
        return FieldValue::error();
    return FieldValue::of(values.at(column));
}

bool ExperimentTable::setValue(int position, int column, const QVariant &value, QString *error)
{
    if (!m_open || position < 0 || position >= count() || column < 0 ||
        column >= m_columns.size()) {
        *error = QStringLiteral("没有这条记录");
        return false;
    }
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                      .arg(quotedTable(), quoteIdentifier(m_columns.at(column))));
    query.addBindValue(value);
    query.addBindValue(rowId(position));
    if (!query.exec()) {
        *error = describe(query.lastError());
        return false;
    }
    if (query.numRowsAffected() != 1) {
        *error = QStringLiteral("这条记录已被其他程序删除");
        return false;
    }
    m_pages.remove(position / PageSize);
    return true;
}

std::optional<int> ExperimentTable::insertRecord(int column, const QVariant &value, QString *error)
{
    if (!m_open || column < 0 || column >= m_columns.size()) {
        *error = QStringLiteral("没有打开的表");
        return std::nullopt;
    }
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (?)")
                      .arg(quotedTable(), quoteIdentifier(m_columns.at(column))));
    query.addBindValue(value);
    if (!query.exec()) {
        *error = describe(query.lastError());
        return std::nullopt;
    }
    const qint64 id = query.lastInsertId().toLongLong();
    fetchMore(-1); // the new record's place is among all the others
    const auto found = positionOf(id);
    if (found) {
        m_pages.clear();
        return *found;
    }
    const auto at = std::lower_bound(m_rowIds.begin(), m_rowIds.end(), id);
    const int position = int(at - m_rowIds.begin());
    m_rowIds.insert(at, id);
    m_pages.clear();
    return position;
}

bool ExperimentTable::removeRecords(QList<int> positions, QString *error)
{
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!m_open || !db.transaction()) {
        *error = m_open ? describe(db.lastError()) : QStringLiteral("没有打开的表");
        return false;
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quotedTable()));
    for (int position : positions) {
        if (position < 0 || position >= count()) {
            db.rollback();
            *error = QStringLiteral("没有这条记录");
            return false;
        }
        query.addBindValue(rowId(position));
        if (!query.exec()) {
            *error = describe(query.lastError());
            db.rollback();
            return false;
        }
    }
    query.finish();
    if (!db.commit()) {
        *error = describe(db.lastError());
        db.rollback();
        return false;
    }
    for (auto it = positions.crbegin(); it != positions.crend(); ++it)
        m_rowIds.erase(m_rowIds.begin() + *it);
    m_pages.clear();
    return true;
}

namespace {

// The one integer a query answers, or nothing and the reason.
std::optional<qint64> singleInteger(sqlite3 *db, const QByteArray &sql, QString *error)
{
    sqlite3_stmt *statement = nullptr;
    std::optional<qint64> result;
    if (db && sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) ==
                  SQLITE_OK) {
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW)
            result = sqlite3_column_int64(statement, 0);
        else if (rc == SQLITE_DONE)
            result = -1;
    }
    if (!result)
        *error = describeText(db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("?"));
    sqlite3_finalize(statement);
    return result;
}

} // namespace

std::optional<qint64> ExperimentTable::countRecords(QString *error) const
{
    return singleInteger(sqliteHandle(m_connection),
                         QStringLiteral("SELECT count(*) FROM %1").arg(quotedTable()).toUtf8(),
                         error);
}

std::optional<qint64> ExperimentTable::rowIdAtOffset(qint64 offset, QString *error) const
{
    return singleInteger(sqliteHandle(m_connection),
                         QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid LIMIT 1 OFFSET %2")
                             .arg(quotedTable())
                             .arg(offset)
                             .toUtf8(),
                         error);
}

bool ExperimentTable::forEachInRowIds(
    const QStringList &names, const std::function<bool(const std::vector<StreamCell> &)> &visit,
    QString *error, qint64 fromRowId, qint64 toRowId) const
{
    QStringList selected;
    QList<int> slot; // where each name's value lands, -1 for a name the table lacks
    for (const QString &name : names) {
        if (m_columns.contains(name)) {
            slot << int(selected.size());
            selected << quoteIdentifier(name);
        } else {
            slot << -1;
        }
    }
    if (selected.isEmpty())
        selected << QStringLiteral("rowid");
    // Streaming goes straight to SQLite's statement API through the driver's own handle: the
    // generic row fetching costs more than the fits of a large table.
    sqlite3 *db = sqliteHandle(m_connection);
    if (!db) {
        *error = QStringLiteral("没有打开的表");
        return false;
    }
    const QByteArray sql = QStringLiteral("SELECT %1 FROM %2 WHERE rowid BETWEEN %3 AND %4 "
                                          "ORDER BY rowid")
                               .arg(selected.join(QLatin1Char(',')), quotedTable())
                               .arg(fromRowId)
                               .arg(toRowId)
                               .toUtf8();
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) !=
        SQLITE_OK) {
        *error = describeText(QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_finalize(statement);
        return false;
    }
    std::vector<StreamCell> cells(std::size_t(names.size()));
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            StreamCell &cell = cells[i];
            const int c = slot[qsizetype(i)];
            if (c < 0) {
                cell.type = StreamCell::Type::Missing;
                continue;
            }
            switch (sqlite3_column_type(statement, c)) {
            case SQLITE_INTEGER:
                cell.type = StreamCell::Type::Number;
                cell.number = double(sqlite3_column_int64(statement, c));
                break;
            case SQLITE_FLOAT:
                cell.type = StreamCell::Type::Number;
                cell.number = sqlite3_column_double(statement, c);
                break;
            case SQLITE_TEXT: {
                // Response names repeat from record to record: decoded again only when changed.
                const QByteArrayView bytes(
                    reinterpret_cast<const char *>(sqlite3_column_text(statement, c)),
                    sqlite3_column_bytes(statement, c));
                if (cell.type != StreamCell::Type::Text || cell.bytes != bytes) {
                    cell.bytes = bytes.toByteArray();
                    cell.text = QString::fromUtf8(bytes);
                }
                cell.type = StreamCell::Type::Text;
                break;
            }
            case SQLITE_BLOB:
                cell.type = StreamCell::Type::Other;
                break;
            default:
                cell.type = StreamCell::Type::Null;
            }
        }
        if (!visit(cells)) {
            rc = SQLITE_DONE;
            break;
        }
    }
    if (rc != SQLITE_DONE)
        *error = describeText(QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_finalize(statement);
    return rc == SQLITE_DONE;
}
