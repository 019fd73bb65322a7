#include "access/access_reader.h"

#include "access/access_import.h"
#include "access/access_protocol.h"
#include "access/access_values.h"
#include "core/design.h"
#include "row_values.h"

#include <QFile>
#include <QSet>
#include <QtEndian>

#include <memory>
#include <vector>

#include <mdbtools.h>
#include <sqlite3.h>

namespace accessdb {

namespace {

// Currency, decimal and replication-ID values come as libmdb's text, never longer than this.
constexpr int ProgressEvery = 1000;

struct HandleCloser
{
    void operator()(MdbHandle *h) const { mdb_close(h); }
};
using Handle = std::unique_ptr<MdbHandle, HandleCloser>;

struct TableFree
{
    void operator()(MdbTableDef *t) const { mdb_free_tabledef(t); }
};
using Table = std::unique_ptr<MdbTableDef, TableFree>;

struct StatementFree
{
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFree>;

QString quoted(const QString &name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

MdbColumn *columnOf(MdbTableDef *t, unsigned i)
{
    return static_cast<MdbColumn *>(g_ptr_array_index(t->columns, i));
}

const char *sqlType(int type)
{
    switch (type) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
        return "INTEGER";
    case MDB_FLOAT:
    case MDB_DOUBLE:
        return "REAL";
    case MDB_BINARY:
    case MDB_OLE:
        return "BLOB";
    default:
        return "TEXT"; // text, memo, dates, and currency and decimal as exact decimal text
    }
}

ColumnKind kindOf(int type)
{
    switch (type) {
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_MONEY:
    case MDB_NUMERIC:
        return ColumnKind::Number;
    case MDB_TEXT:
    case MDB_MEMO:
        return ColumnKind::Text;
    default:
        return ColumnKind::Other;
    }
}

class Reader
{
public:
    Reader(const QString &source, std::FILE *protocol)
        : m_source(source)
        , m_protocol(protocol)
    {
    }
    ~Reader() { sqlite3_close_v2(m_out); }

    Result<void> open(const QString &encoding);
    Result<void> openTarget(const QString &target);
    Result<void> readCatalog();
    Result<void> copyTables();
    Result<void> finish();
    const ImportSummary &summary() const { return m_summary; }

private:
    Result<void> copyTable(MdbCatalogEntry *entry);
    Result<void> createTable(MdbTableDef *t, const QString &name, bool experiment,
                             std::vector<int> &targetOf, Statement &insert);
    Result<void> exec(const char *sql);
    Failure engine() const;
    QString sqliteName(const QString &accessName);
    void tell(const QByteArray &line);

    QString m_source;
    std::FILE *m_protocol;
    Handle m_mdb;
    sqlite3 *m_out = nullptr;
    QByteArray m_encoding; // of Jet 3 text; empty for Jet 4 and ACE
    qint64 m_fileSize = 0;
    ImportSummary m_summary;
    QSet<QString> m_names; // SQLite names taken, folded
};

void Reader::tell(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, std::size_t(line.size()), m_protocol);
    std::fflush(m_protocol);
}

Failure Reader::engine() const
{
    const int code = sqlite3_extended_errcode(m_out);
    const Failure::Kind kind = (code & 0xff) == SQLITE_FULL    ? Failure::Kind::DiskFull
                               : (code & 0xff) == SQLITE_IOERR ? Failure::Kind::Io
                                                               : Failure::Kind::Engine;
    return Failure{kind, {}, QString::fromUtf8(sqlite3_errmsg(m_out)), code};
}

Result<void> Reader::exec(const char *sql)
{
    if (sqlite3_exec(m_out, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        return engine();
    return {};
}

Result<void> Reader::open(const QString &encoding)
{
    QFile file(m_source);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{Failure::Kind::CannotRead, {}, file.errorString(), 0};
    m_fileSize = file.size();
    const QByteArray head = file.read(4096);
    if (!hasAccessHeader(head))
        return Failure{Failure::Kind::NotAccess, {}, {}, 0};
    if (hasEncryptionHeader(head))
        return Failure{Failure::Kind::Encrypted, {}, {}, 0};
    m_mdb.reset(mdb_open(QFile::encodeName(m_source).constData(), MDB_NOFLAGS));
    if (!m_mdb)
        return damaged(QStringLiteral("its header cannot be read"));
    const guint32 version = m_mdb->f->jet_version;
    m_summary.jetVersion = version == MDB_VER_JET3   ? QStringLiteral("Jet 3")
                           : version == MDB_VER_JET4 ? QStringLiteral("Jet 4")
                                                     : QStringLiteral("ACE");
    if (version == MDB_VER_JET3) {
        m_summary.textEncoding =
            encoding.isEmpty() ? encodingOfCodePage(m_mdb->f->code_page) : encoding;
        m_encoding = m_summary.textEncoding.toLatin1();
        if (!isKnownEncoding(m_summary.textEncoding))
            return damaged(QStringLiteral("its header names code page %1, which this system "
                                          "cannot decode; name one with --jet3-encoding")
                               .arg(m_mdb->f->code_page));
        // Table and column names: libmdb decodes them in the code page it finds in the
        // environment when it opens a file (this process is the reader's alone).
        qputenv("MDB_JET3_CHARSET", m_encoding);
        m_mdb.reset(mdb_open(QFile::encodeName(m_source).constData(), MDB_NOFLAGS));
        if (!m_mdb)
            return damaged(QStringLiteral("its header cannot be read"));
    }
    return {};
}

Result<void> Reader::openTarget(const QString &target)
{
    if (sqlite3_open_v2(QFile::encodeName(target).constData(), &m_out, SQLITE_OPEN_READWRITE,
                        nullptr) != SQLITE_OK)
        return engine();
    // Nothing of it counts until the parent puts it in place, which syncs it first.
    return exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN");
}

Result<void> Reader::readCatalog()
{
    if (!mdb_read_catalog(m_mdb.get(), MDB_ANY))
        return damaged(QStringLiteral("its table catalogue cannot be read"));
    // Every object the catalogue table declares must have been read: a row libmdb passed
    // over would be a table missing without a word.
    MdbCatalogEntry catalogue{};
    catalogue.mdb = m_mdb.get();
    catalogue.object_type = MDB_TABLE;
    catalogue.table_pg = 2;
    std::snprintf(catalogue.object_name, sizeof catalogue.object_name, "MSysObjects");
    const Table t(mdb_read_table(&catalogue));
    if (!t || t->num_rows != m_mdb->num_catalog)
        return damaged(QStringLiteral("its table catalogue declares %1 objects, of which %2 "
                                      "can be read")
                           .arg(t ? t->num_rows : 0)
                           .arg(m_mdb->num_catalog));
    // Values are bound in buffers of this size from here on (the catalogue's own are larger).
    mdb_set_bind_size(m_mdb.get(), BindSize);
    return {};
}

Result<void> Reader::copyTables()
{
    for (unsigned e = 0; e < m_mdb->num_catalog; ++e) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(m_mdb->catalog, e));
        if (entry->object_type != MDB_TABLE || mdb_is_system_table(entry))
            continue;
        if (const Result<void> copied = copyTable(entry); !copied) {
            Failure f = copied.failure();
            f.detail = QStringLiteral("table %1: %2")
                           .arg(quoted(QString::fromUtf8(entry->object_name)), f.detail);
            return f;
        }
    }
    return {};
}

Result<void> Reader::finish()
{
    if (const Result<void> done = exec("COMMIT"); !done)
        return done;
    const int closed = sqlite3_close_v2(m_out);
    m_out = nullptr;
    if (closed != SQLITE_OK)
        return Failure{Failure::Kind::Io, {}, QStringLiteral("closing the new file failed"), 0};
    return {};
}

QString Reader::sqliteName(const QString &accessName)
{
    const QString name = sqliteTableName(accessName, m_names);
    m_names.insert(name.toCaseFolded());
    if (name != accessName)
        m_summary.notes << QStringLiteral("table %1 imported as %2 (SQLite keeps names that "
                                          "begin with sqlite_ for itself)")
                               .arg(quoted(accessName), quoted(name));
    return name;
}

Result<void> Reader::createTable(MdbTableDef *t, const QString &name, bool experiment,
                                 std::vector<int> &targetOf, Statement &insert)
{
    QStringList columns, declared;
    const QStringList wanted = experimentColumns();
    for (unsigned i = 0; i < t->num_cols; ++i) {
        const QString column = QString::fromUtf8(columnOf(t, i)->name);
        targetOf[i] = experiment ? int(placeOf(wanted, column)) : int(i);
        if (!experiment) {
            columns << quoted(column);
            declared << quoted(column) + QLatin1Char(' ') +
                            QLatin1String(sqlType(columnOf(t, i)->col_type));
        }
    }
    for (const QString &w : experiment ? wanted : QStringList()) {
        columns << quoted(w);
        declared << quoted(w) +
                        (w == TitleField ? QStringLiteral(" TEXT") : QStringLiteral(" REAL"));
    }
    const QByteArray create = QStringLiteral("CREATE TABLE %1 (%2)%3")
                                  .arg(quoted(name), declared.join(QStringLiteral(", ")),
                                       experiment ? QStringLiteral(" STRICT") : QString())
                                  .toUtf8();
    if (const Result<void> made = exec(create.constData()); !made)
        return made;
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?%1").arg(i + 1);
    const QByteArray sql =
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(quoted(name), columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))
            .toUtf8();
    sqlite3_stmt *s = nullptr;
    const int rc = sqlite3_prepare_v2(m_out, sql.constData(), -1, &s, nullptr);
    insert.reset(s);
    if (rc != SQLITE_OK)
        return engine();
    return {};
}

Result<void> Reader::copyTable(MdbCatalogEntry *entry)
{
    Table table(mdb_read_table(entry));
    if (!table || !mdb_read_columns(table.get()))
        return damaged(QStringLiteral("its definition cannot be read"));
    MdbTableDef *t = table.get();
    const QString accessName = QString::fromUtf8(entry->object_name);
    const bool isExperiment = accessName == ExperimentTableName;
    bool experiment = false;
    if (isExperiment) {
        m_summary.experimentTableFound = true;
        QStringList names;
        QList<ColumnKind> kinds;
        for (unsigned i = 0; i < t->num_cols; ++i) {
            names << QString::fromUtf8(columnOf(t, i)->name);
            kinds << kindOf(columnOf(t, i)->col_type);
        }
        const auto misfit = experimentTableMisfit(names, kinds);
        if (misfit)
            m_summary.notes << *misfit;
        experiment = !misfit;
        m_summary.experimentTableStrict = experiment;
    }
    std::vector<int> targetOf(t->num_cols);
    Statement insert;
    if (const Result<void> made =
            createTable(t, sqliteName(accessName), experiment, targetOf, insert);
        !made)
        return made;
    // Only the values libmdb renders exactly are bound; the others are read from the row.
    const RowValues values(m_mdb.get(), m_encoding, m_fileSize);
    std::vector<std::array<char, BindSize>> bound(t->num_cols);
    for (unsigned i = 0; i < t->num_cols; ++i) {
        if (boundByLibrary(columnOf(t, i)->col_type))
            mdb_bind_column(t, int(i + 1), bound[i].data(), nullptr);
    }
    mdb_rewind_table(t);
    qint64 rows = 0;
    tell(progressLine(accessName, 0));
    while (mdb_fetch_row(t)) {
        if (++rows > qint64(t->num_rows))
            return damaged(QStringLiteral("it yields more rows than the %1 it declares (its "
                                          "pages loop)")
                               .arg(t->num_rows));
        sqlite3_reset(insert.get());
        sqlite3_clear_bindings(insert.get());
        for (unsigned i = 0; i < t->num_cols; ++i) {
            MdbColumn *col = columnOf(t, i);
            if (const Result<void> ok =
                    values.bind(insert.get(), targetOf[i] + 1, col, experiment, bound[i].data());
                !ok)
                return Failure{ok.failure().kind,
                               {},
                               QStringLiteral("row %1, column %2: %3")
                                   .arg(rows)
                                   .arg(quoted(QString::fromUtf8(col->name)), ok.failure().detail),
                               0};
        }
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            return engine();
        if (rows % ProgressEvery == 0)
            tell(progressLine(accessName, rows));
    }
    if (rows != qint64(t->num_rows))
        return damaged(QStringLiteral("%1 of its %2 rows can be read").arg(rows).arg(t->num_rows));
    tell(progressLine(accessName, rows));
    m_summary.rows += rows;
    ++m_summary.tables;
    return {};
}

} // namespace

int runReader(const QString &source, const QString &target, const QString &encoding,
              std::FILE *protocol)
{
    Reader reader(source, protocol);
    Result<void> done = reader.open(encoding);
    if (done)
        done = reader.openTarget(target);
    if (done)
        done = reader.readCatalog();
    if (done)
        done = reader.copyTables();
    if (done)
        done = reader.finish();
    const QByteArray line = done ? doneLine(reader.summary()) : failureLine(done.failure());
    std::fwrite(line.constData(), 1, std::size_t(line.size()), protocol);
    return std::fflush(protocol) == 0 && done ? 0 : 1;
}

} // namespace accessdb
