#include "store/stream_reader.h"

#include "store/database_file.h"

#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <array>

#include <sqlite3.h>

namespace {

// Finalizes a statement however the scope is left.
struct Statement
{
    sqlite3_stmt *handle = nullptr;
    Statement() = default;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    ~Statement() { sqlite3_finalize(handle); }
};

// Response names repeat from record to record, the same one or a few in turn: a text is
// decoded only when it is none of the last few.
class RecentTexts
{
public:
    void take(QByteArrayView bytes, StreamCell &cell)
    {
        for (std::size_t i = 0; i < std::min(m_decoded, m_entries.size()); ++i) {
            if (m_entries[i].bytes == bytes) {
                cell.bytes = m_entries[i].bytes;
                cell.text = m_entries[i].text;
                return;
            }
        }
        cell.bytes = bytes.toByteArray();
        cell.text = QString::fromUtf8(bytes);
        m_entries[m_decoded++ % m_entries.size()] = {cell.bytes, cell.text};
    }

private:
    struct Entry
    {
        QByteArray bytes;
        QString text;
    };
    std::array<Entry, 8> m_entries; // the last decoded, the oldest replaced first
    std::size_t m_decoded = 0;
};

QString quoted(const QString &name)
{
    return quoteIdentifier(name);
}

} // namespace

FieldValue StreamCell::field() const
{
    switch (type) {
    case Type::Missing:
        return FieldValue::error();
    case Type::Null:
        return FieldValue::of(QVariant());
    case Type::Number:
        return FieldValue::ofNumber(number);
    case Type::Text:
        return FieldValue::ofText(text);
    case Type::Other:
        break;
    }
    return FieldValue::of(QVariant(QByteArray("")));
}

const QStringList &recordFieldNames()
{
    return experimentColumns();
}

StreamRecord::StreamRecord(const std::vector<StreamCell> &cells)
    : m_cells(cells)
    , m_names(recordFieldNames())
{
}

FieldValue StreamRecord::field(const QString &name) const
{
    // Record loading asks with the very strings of the field names, mostly in their order:
    // match those first, from the one after the last match on.
    const qsizetype count = m_names.size();
    const auto after = [count](qsizetype i) {
        return i + 1 < count ? i + 1 : 0;
    };
    for (qsizetype k = 0, i = m_next; k < count; ++k, i = after(i)) {
        if (name.constData() == m_names[i].constData()) {
            m_next = after(i);
            return m_cells[std::size_t(i)].field();
        }
    }
    const int i = sqlite_support::indexOfName(m_names, name);
    return i < 0 ? FieldValue::error() : m_cells[std::size_t(i)].field();
}

void StreamRecord::values(RecordValues &values) const
{
    // The cells follow recordFieldNames(): the ID, Y1 ... Y11, the response name. A number
    // and a text are taken as they are, any other cell as its field value gives it.
    const auto number = [](const StreamCell &cell) {
        return cell.type == StreamCell::Type::Number ? FieldValue::finite(cell.number)
                                                     : numberOf(cell.field());
    };
    values.idNumber = number(m_cells[0]);
    for (std::size_t run = 0; run < values.responses.size(); ++run)
        values.responses[run] = number(m_cells[run + 1]);
    const StreamCell &title = m_cells[values.responses.size() + 1];
    if (title.type == StreamCell::Type::Text)
        values.title = title.text;
    else
        values.title = textOf(title.field());
}

StreamReader::StreamReader() = default;

// A kept statement in use: bound and stepped while it lasts, reset when the scope is left, so
// that no read stays open past it.
class StreamReader::Use
{
public:
    explicit Use(sqlite3_stmt *statement)
        : handle(statement)
    {
    }
    Use(const Use &) = delete;
    Use &operator=(const Use &) = delete;
    ~Use()
    {
        sqlite3_reset(handle);
        sqlite3_clear_bindings(handle);
    }
    // Binds `values` to ?1, ?2, ...; false when one cannot be.
    bool bind(std::initializer_list<qint64> values) const
    {
        int at = 1;
        for (qint64 v : values)
            if (sqlite3_bind_int64(handle, at++, v) != SQLITE_OK)
                return false;
        return true;
    }
    sqlite3_stmt *const handle;
};

StreamReader::~StreamReader()
{
    for (const auto &kept : m_prepared)
        sqlite3_finalize(kept.second);
    sqlite3_close_v2(m_db);
}

sqlite3_stmt *StreamReader::prepared(const QByteArray &sql) const
{
    // One in use (a visit that asks the reader again) is not handed out twice.
    for (const auto &kept : m_prepared)
        if (kept.first == sql && !sqlite3_stmt_busy(kept.second))
            return kept.second;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v3(m_db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    m_prepared.emplace_back(sql, statement);
    return statement;
}

Failure StreamReader::failure() const
{
    return sqlite_support::failureOf(m_db).withPath(m_path);
}

Result<void> StreamReader::open(const QString &path)
{
    if (const auto refusal = refuseDatabaseFile(path))
        return *refusal;
    m_path = path;
    // mode=ro never creates the file, even if it vanished since the check above.
    QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    uri.setQuery(QStringLiteral("mode=ro"));
    const QByteArray name = uri.toString(QUrl::FullyEncoded).toUtf8();
    const int rc =
        sqlite3_open_v2(name.constData(), &m_db,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const Failure why = failure();
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return why;
    }
    sqlite3_busy_timeout(m_db, BusyTimeoutMs);
    sqlite_support::harden(m_db);
    // Read once from start to end: 256 KiB of page cache (SQLite's default is 2 MiB) hold what
    // is read again (a chunk's pages after its end was looked up); more would only take memory.
    sqlite3_exec(m_db, "PRAGMA cache_size = -256", nullptr, nullptr, nullptr);
    m_limit = std::make_unique<sqlite_support::WorkLimit>();
    m_limit->attach(m_db);
    const auto shape = sqlite_support::inspectTable(m_db);
    if (!shape)
        return shape.failure().withPath(path);
    m_shape = *shape;
    return {};
}

Result<void> StreamReader::beginSnapshot()
{
    m_limit->arm();
    if (sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return failure();
    // A deferred transaction takes its snapshot at its first read: the schema's version, read
    // now, takes it here (and from here on holds writers off, outside WAL).
    if (const Result<std::optional<qint64>> version = firstInteger("PRAGMA schema_version");
        !version)
        return version.failure();
    return {};
}

void StreamReader::endSnapshot()
{
    if (m_db)
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
}

bool StreamReader::snapshotHoldsOffWriters() const
{
    Statement statement;
    if (sqlite3_prepare_v2(m_db, "PRAGMA journal_mode", -1, &statement.handle, nullptr) !=
            SQLITE_OK ||
        sqlite3_step(statement.handle) != SQLITE_ROW)
        return false;
    const auto *mode = reinterpret_cast<const char *>(sqlite3_column_text(statement.handle, 0));
    return mode && qstricmp(mode, "wal") != 0;
}

Result<std::optional<qint64>> StreamReader::firstInteger(const QByteArray &sql,
                                                         std::initializer_list<qint64> values) const
{
    m_limit->arm();
    sqlite3_stmt *statement = prepared(sql);
    if (!statement)
        return failure();
    const Use use(statement);
    if (!use.bind(values))
        return failure();
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW)
        return std::optional(qint64(sqlite3_column_int64(statement, 0)));
    if (rc == SQLITE_DONE)
        return std::optional<qint64>();
    return failure();
}

Result<qint64> StreamReader::count() const
{
    const Result<std::optional<qint64>> n = firstInteger(
        QStringLiteral("SELECT count(*) FROM %1").arg(quoted(ExperimentTableName)).toUtf8());
    if (!n)
        return n.failure();
    return n->value_or(0);
}

Result<std::optional<qint64>> StreamReader::keyAtOffset(qint64 from, qint64 offset) const
{
    return firstInteger(QStringLiteral("SELECT %1 FROM %2 WHERE %1 >= ?1 ORDER BY %1 LIMIT 1 "
                                       "OFFSET ?2")
                            .arg(quoted(m_shape.key), quoted(ExperimentTableName))
                            .toUtf8(),
                        {from, offset});
}

Result<std::optional<qint64>> StreamReader::lastKey() const
{
    return firstInteger(QStringLiteral("SELECT %1 FROM %2 ORDER BY %1 DESC LIMIT 1")
                            .arg(quoted(m_shape.key), quoted(ExperimentTableName))
                            .toUtf8());
}

Result<void> StreamReader::forEach(const QStringList &names, const Visit &visit, qint64 from,
                                   qint64 to) const
{
    QStringList selected;
    std::vector<int> slot; // where each name's value lands, -1 for a name the table lacks
    for (const QString &name : names) {
        const int column = sqlite_support::indexOfName(m_shape.columns, name);
        if (column >= 0) {
            slot.push_back(int(selected.size()));
            selected << quoted(m_shape.columns[column]);
        } else {
            slot.push_back(-1);
        }
    }
    if (selected.isEmpty())
        selected << quoted(m_shape.key);
    const QByteArray sql =
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 BETWEEN ?1 AND ?2 ORDER BY %3")
            .arg(selected.join(QLatin1Char(',')), quoted(ExperimentTableName), quoted(m_shape.key))
            .toUtf8();
    m_limit->arm();
    sqlite3_stmt *s = prepared(sql);
    if (!s)
        return failure();
    const Use use(s);
    if (!use.bind({from, to}))
        return failure();
    std::vector<StreamCell> cells(names.size());
    RecentTexts recent;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        m_limit->arm();
        for (std::size_t i = 0; i < cells.size(); ++i) {
            StreamCell &cell = cells[i];
            const int c = slot[i];
            if (c < 0) {
                cell.type = StreamCell::Type::Missing;
                continue;
            }
            // One look-up of the column a cell: its type and value are read from it.
            sqlite3_value *value = sqlite3_column_value(s, c);
            switch (sqlite3_value_type(value)) {
            case SQLITE_INTEGER:
                cell.type = StreamCell::Type::Number;
                cell.number = double(sqlite3_value_int64(value));
                break;
            case SQLITE_FLOAT:
                cell.type = StreamCell::Type::Number;
                cell.number = sqlite3_value_double(value);
                break;
            case SQLITE_TEXT: {
                const QByteArrayView bytes(
                    reinterpret_cast<const char *>(sqlite3_value_text(value)),
                    sqlite3_value_bytes(value));
                if (cell.type != StreamCell::Type::Text || cell.bytes != bytes)
                    recent.take(bytes, cell);
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
        if (!visit(cells))
            return {};
    }
    if (rc != SQLITE_DONE)
        return failure();
    return {};
}
