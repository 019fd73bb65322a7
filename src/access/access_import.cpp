#include "access/access_import.h"

#include "core/design.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cstdlib>
#include <memory>
#include <vector>

#include <mdbtools.h>
#include <sqlite3.h>

namespace accessdb {

namespace {

// Values come through bound columns of this many bytes (a memo may be as long).
constexpr int BindSize = 1 << 20;

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

struct Database
{
    sqlite3 *db = nullptr;
    ~Database() { sqlite3_close_v2(db); }
};

struct Statement
{
    sqlite3_stmt *s = nullptr;
    ~Statement() { sqlite3_finalize(s); }
};

Failure damaged(const QString &path, const QString &detail)
{
    return Failure{Failure::Kind::Damaged, path, detail, 0};
}

QString quoted(const QString &name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
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
    case MDB_MONEY:
    case MDB_NUMERIC:
        return "TEXT"; // exact decimal text, as Access keeps it
    default:
        return "TEXT";
    }
}

bool isNumericType(int type)
{
    switch (type) {
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_MONEY:
    case MDB_NUMERIC:
        return true;
    default:
        return false;
    }
}

bool isTextType(int type)
{
    return type == MDB_TEXT || type == MDB_MEMO;
}

Result<void> exec(sqlite3 *db, const QString &sql, const QString &path)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) == SQLITE_OK)
        return {};
    const QString detail = QString::fromUtf8(message ? message : "");
    sqlite3_free(message);
    return Failure{Failure::Kind::Engine, path, detail, 0};
}

// The program's own experiment table, when an Access table of that name has its columns.
bool fitsExperimentTable(MdbTableDef *t, QStringList *notes)
{
    QStringList names;
    QList<ColumnKind> kinds;
    for (unsigned i = 0; i < t->num_cols; ++i) {
        auto *col = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, i));
        names << QString::fromUtf8(col->name);
        kinds << (isNumericType(col->col_type) ? ColumnKind::Number
                  : isTextType(col->col_type)  ? ColumnKind::Text
                                               : ColumnKind::Other);
    }
    if (const auto misfit = experimentTableMisfit(names, kinds)) {
        *notes << *misfit;
        return false;
    }
    return true;
}

// A name's place in a list, matched as Access and SQLite match names: regardless of case.
int placeOf(const QStringList &names, const QString &name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

} // namespace

std::optional<QString> experimentTableMisfit(const QStringList &names,
                                             const QList<ColumnKind> &kinds)
{
    QStringList wanted{IdField};
    for (int run = 1; run <= DesignRuns; ++run)
        wanted << responseField(run);
    wanted << TitleField;
    if (names.size() != wanted.size())
        return QStringLiteral(
                   "%1 has %2 columns, not the 13 of ID, Y1 ... Y11, Y12: copied as it is")
            .arg(ExperimentTableName)
            .arg(names.size());
    QStringList seen;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const int at = placeOf(wanted, names[i]);
        const ColumnKind need = at == 12 ? ColumnKind::Text : ColumnKind::Number;
        if (at < 0 || kinds.value(i) != need || seen.contains(wanted[at]))
            return QStringLiteral("%1: column %2 does not fit (ID and Y1 ... Y11 take numbers, Y12 "
                                  "text): copied as it is")
                .arg(ExperimentTableName, names[i]);
        seen << wanted[at];
    }
    return std::nullopt;
}

bool isAccessFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(32);
    return header.mid(4, 15) == "Standard Jet DB" || header.mid(4, 15) == "Standard ACE DB";
}

QString encodingOfCodePage(int codePage)
{
    switch (codePage) {
    case 936:
        return QStringLiteral("GBK");
    case 950:
        return QStringLiteral("BIG5");
    case 932:
        return QStringLiteral("SHIFT_JIS");
    case 949:
        return QStringLiteral("CP949");
    case 0:
        return QStringLiteral("CP1252");
    default:
        return QStringLiteral("CP%1").arg(codePage);
    }
}

Result<ImportSummary> importAccess(const QString &accessPath, const QString &sqlitePath,
                                   const std::optional<QString> &jet3Encoding,
                                   const Progress &progress)
{
    if (!QFileInfo::exists(accessPath))
        return Failure{Failure::Kind::Missing, accessPath, {}, 0};
    if (!isAccessFile(accessPath))
        return Failure{Failure::Kind::NotSqlite, accessPath, QStringLiteral("not an Access file"),
                       0};
    if (QFileInfo::exists(sqlitePath))
        return Failure{Failure::Kind::Exists, sqlitePath, {}, 0};

    const QByteArray file = QFile::encodeName(accessPath);
    ImportSummary summary;
    // A Jet 3 file's text is in the code page of the Access that wrote it: its header says
    // which, unless the user says otherwise. libmdb takes it from the environment at opening.
    QString encoding;
    {
        Handle probe(mdb_open(file.constData(), MDB_NOFLAGS));
        if (!probe)
            return damaged(accessPath, QStringLiteral("libmdb cannot open it"));
        const guint32 version = probe->f->jet_version;
        summary.jetVersion = version == MDB_VER_JET3   ? QStringLiteral("Jet 3")
                             : version == MDB_VER_JET4 ? QStringLiteral("Jet 4")
                                                       : QStringLiteral("ACE");
        if (version == MDB_VER_JET3) {
            encoding = jet3Encoding.value_or(encodingOfCodePage(probe->f->code_page));
            summary.textEncoding = encoding;
        }
    }
    if (!encoding.isEmpty())
        qputenv("MDB_JET3_CHARSET", encoding.toLatin1());
    Handle mdb(mdb_open(file.constData(), MDB_NOFLAGS));
    if (!mdb)
        return damaged(accessPath, QStringLiteral("libmdb cannot open it"));
    mdb_set_bind_size(mdb.get(), BindSize);
    mdb_set_date_fmt(mdb.get(), "%Y-%m-%dT%H:%M:%S");
    mdb_set_shortdate_fmt(mdb.get(), "%Y-%m-%d");
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) {
        // An .accdb whose catalogue is unreadable is encrypted (Office encryption); a Jet file
        // so far is damaged.
        if (mdb->f->jet_version >= MDB_VER_ACCDB_2007)
            return Failure{Failure::Kind::Encrypted, accessPath, {}, 0};
        return damaged(accessPath, QStringLiteral("its table catalogue cannot be read"));
    }

    // Written under a scratch name beside the target, renamed into place once whole.
    const QString scratch = sqlitePath + QStringLiteral(".import-part");
    QFile::remove(scratch);
    struct Remove
    {
        QString path;
        bool keep = false;
        ~Remove()
        {
            if (!keep)
                QFile::remove(path);
        }
    } cleanup{scratch};
    Database out;
    if (sqlite3_open_v2(QFile::encodeName(scratch).constData(), &out.db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE,
                        nullptr) != SQLITE_OK)
        return Failure{Failure::Kind::CannotOpen, sqlitePath,
                       QString::fromUtf8(sqlite3_errmsg(out.db)), 0};
    if (auto ok = exec(out.db, QStringLiteral("PRAGMA journal_mode = OFF; BEGIN"), sqlitePath); !ok)
        return ok.failure();

    std::vector<char> buffer;
    for (unsigned e = 0; e < mdb->num_catalog; ++e) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, e));
        if (entry->object_type != MDB_TABLE || mdb_is_system_table(entry))
            continue;
        Table table(mdb_read_table(entry));
        if (!table || !mdb_read_columns(table.get()))
            return damaged(accessPath, QStringLiteral("table %1 cannot be read")
                                           .arg(QString::fromUtf8(entry->object_name)));
        MdbTableDef *t = table.get();
        const QString name = QString::fromUtf8(entry->object_name);
        const bool experiment =
            name == ExperimentTableName && fitsExperimentTable(t, &summary.notes);
        summary.experimentTableStrict = summary.experimentTableStrict || experiment;
        QStringList columns, declared;
        std::vector<int> targetOf(t->num_cols); // where each Access column goes in the insert
        if (experiment) {
            QStringList wanted{IdField};
            for (int run = 1; run <= DesignRuns; ++run)
                wanted << responseField(run);
            wanted << TitleField;
            for (unsigned i = 0; i < t->num_cols; ++i) {
                auto *col = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, i));
                targetOf[i] = placeOf(wanted, QString::fromUtf8(col->name));
            }
            for (const QString &w : wanted) {
                columns << quoted(w);
                declared << quoted(w) + (w == TitleField ? QStringLiteral(" TEXT")
                                                         : QStringLiteral(" REAL"));
            }
        } else {
            for (unsigned i = 0; i < t->num_cols; ++i) {
                auto *col = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, i));
                columns << quoted(QString::fromUtf8(col->name));
                declared << quoted(QString::fromUtf8(col->name)) + QLatin1Char(' ') +
                                QLatin1String(sqlType(col->col_type));
                targetOf[i] = int(i);
            }
        }
        if (auto ok = exec(out.db,
                           QStringLiteral("CREATE TABLE %1 (%2)%3")
                               .arg(quoted(name), declared.join(QStringLiteral(", ")),
                                    experiment ? QStringLiteral(" STRICT") : QString()),
                           sqlitePath);
            !ok)
            return ok.failure();
        QStringList marks;
        for (qsizetype i = 0; i < columns.size(); ++i)
            marks << QStringLiteral("?%1").arg(i + 1);
        Statement insert;
        const QByteArray sql =
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(quoted(name), columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))
                .toUtf8();
        if (sqlite3_prepare_v2(out.db, sql.constData(), -1, &insert.s, nullptr) != SQLITE_OK)
            return Failure{Failure::Kind::Engine, sqlitePath,
                           QString::fromUtf8(sqlite3_errmsg(out.db)), 0};

        std::vector<std::vector<char>> bound(t->num_cols, std::vector<char>(BindSize + 1));
        std::vector<int> lengths(t->num_cols);
        for (unsigned i = 0; i < t->num_cols; ++i) {
            if (mdb_bind_column(t, int(i + 1), bound[i].data(), &lengths[i]) == -1)
                return damaged(accessPath,
                               QStringLiteral("a column of %1 cannot be read").arg(name));
        }
        mdb_rewind_table(t);
        qint64 rows = 0;
        while (mdb_fetch_row(t)) {
            sqlite3_reset(insert.s);
            sqlite3_clear_bindings(insert.s);
            for (unsigned i = 0; i < t->num_cols; ++i) {
                auto *col = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, i));
                const int slot = targetOf[i] + 1;
                if (col->col_type != MDB_BOOL && lengths[i] == 0)
                    continue; // NULL
                switch (col->col_type) {
                case MDB_BOOL:
                    sqlite3_bind_int(insert.s, slot, bound[i][0] == '1' ? 1 : 0);
                    break;
                case MDB_BYTE:
                case MDB_INT:
                case MDB_LONGINT:
                    sqlite3_bind_int64(insert.s, slot, std::strtoll(bound[i].data(), nullptr, 10));
                    break;
                case MDB_FLOAT:
                    // From the record itself: the text form would round.
                    sqlite3_bind_double(insert.s, slot,
                                        double(mdb_get_single(mdb->pg_buf, col->cur_value_start)));
                    break;
                case MDB_DOUBLE:
                    sqlite3_bind_double(insert.s, slot,
                                        mdb_get_double(mdb->pg_buf, col->cur_value_start));
                    break;
                case MDB_MONEY:
                case MDB_NUMERIC:
                    if (experiment) // the program's own table takes numbers
                        sqlite3_bind_double(insert.s, slot, std::strtod(bound[i].data(), nullptr));
                    else // exact decimal text
                        sqlite3_bind_text(insert.s, slot, bound[i].data(), lengths[i],
                                          SQLITE_TRANSIENT);
                    break;
                case MDB_OLE: {
                    size_t size = 0;
                    void *data = mdb_ole_read_full(mdb.get(), col, &size);
                    sqlite3_bind_blob64(insert.s, slot, data ? data : "", size, SQLITE_TRANSIENT);
                    std::free(data);
                    break;
                }
                case MDB_BINARY:
                    sqlite3_bind_blob(insert.s, slot, bound[i].data(), lengths[i],
                                      SQLITE_TRANSIENT);
                    break;
                default:
                    // libmdb hands a memo over through the bound buffer only: one that fills
                    // it may have been cut, and a cut value is never passed off as whole.
                    if (col->col_type == MDB_MEMO && lengths[i] >= BindSize)
                        return Failure{Failure::Kind::OutOfMemory, accessPath,
                                       QStringLiteral("a memo of table %1 is longer than %2 bytes")
                                           .arg(name)
                                           .arg(BindSize),
                                       0};
                    sqlite3_bind_text(insert.s, slot, bound[i].data(), lengths[i],
                                      SQLITE_TRANSIENT);
                }
            }
            if (sqlite3_step(insert.s) != SQLITE_DONE)
                return Failure{Failure::Kind::Engine, sqlitePath,
                               QStringLiteral("table %1: %2")
                                   .arg(name, QString::fromUtf8(sqlite3_errmsg(out.db))),
                               0};
            ++rows;
            if (progress && rows % 10000 == 0)
                progress(name, rows);
        }
        if (progress)
            progress(name, rows);
        summary.rows += rows;
        ++summary.tables;
    }
    if (auto ok = exec(out.db, QStringLiteral("COMMIT"), sqlitePath); !ok)
        return ok.failure();
    if (sqlite3_close_v2(out.db) != SQLITE_OK) {
        out.db = nullptr;
        return Failure{Failure::Kind::Io, sqlitePath, QStringLiteral("closing the new file failed"),
                       0};
    }
    out.db = nullptr;
    // Never over a file that appeared meanwhile.
    if (QFileInfo::exists(sqlitePath))
        return Failure{Failure::Kind::Exists, sqlitePath, {}, 0};
    if (!QFile::rename(scratch, sqlitePath))
        return Failure{Failure::Kind::System, sqlitePath,
                       QStringLiteral("renaming into place failed"), 0};
    cleanup.keep = true;
    return summary;
}

} // namespace accessdb
