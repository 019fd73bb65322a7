#include "store/sqlite_support.h"

#include "store/record_source.h"

#include <chrono>

#include <sqlite3.h>

namespace sqlite_support {

namespace {

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// SQLite's virtual machine calls the progress handler every this many instructions.
constexpr int ProgressInstructions = 20000;

} // namespace

void WorkLimit::attach(sqlite3 *db)
{
    arm();
    sqlite3_progress_handler(db, ProgressInstructions, &WorkLimit::onProgress, this);
}

int WorkLimit::onProgress(void *self)
{
    auto *limit = static_cast<WorkLimit *>(self);
    const std::int64_t now = nowMs();
    if (limit->m_armed.exchange(false, std::memory_order_relaxed)) {
        limit->m_deadline.store(now + limit->m_limitMs, std::memory_order_relaxed);
        return 0;
    }
    return now > limit->m_deadline.load(std::memory_order_relaxed) ? 1 : 0;
}

void harden(sqlite3 *db)
{
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_exec(db, "PRAGMA cell_size_check = ON", nullptr, nullptr, nullptr);
}

bool sameName(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = a[i].unicode(), y = b[i].unicode();
        const auto lower = [](char16_t c) {
            return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
        };
        if (lower(x) != lower(y))
            return false;
    }
    return true;
}

int indexOfName(const QStringList &names, const QString &name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (sameName(names[i], name))
            return int(i);
    }
    return -1;
}

Result<TableShape> inspectTable(sqlite3 *db)
{
    const QByteArray table = ExperimentTableName.toUtf8();
    sqlite3_stmt *statement = nullptr;
    // What the name stands for: an ordinary table, a view, a virtual table; and whether it
    // keeps a row key at all.
    QString type;
    bool withoutRowId = false;
    bool found = false;
    int rc = sqlite3_prepare_v2(db, "SELECT type, wr FROM pragma_table_list WHERE name = ?1", -1,
                                &statement, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, table.constData(), int(table.size()), SQLITE_TRANSIENT);
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
            const QString t = QString::fromUtf8(text ? text : "");
            // The main schema comes first; a temp table never hides it for us.
            if (!found || t == QLatin1String("table")) {
                type = t;
                withoutRowId = sqlite3_column_int(statement, 1) != 0;
            }
            found = true;
        }
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        return failureOf(db);
    if (!found)
        return Failure{Failure::Kind::NoTable, {}, ExperimentTableName, 0};
    if (type == QLatin1String("view"))
        return Failure{Failure::Kind::View, {}, ExperimentTableName, 0};
    if (type != QLatin1String("table"))
        return Failure{Failure::Kind::NotOrdinaryTable, {}, type, 0};

    TableShape shape;
    rc = sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_info(?1)", -1, &statement, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, table.constData(), int(table.size()), SQLITE_TRANSIENT);
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
            shape.columns << QString::fromUtf8(text ? text : "");
        }
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        return failureOf(db);
    // An ordinary column may take any of the three names of the row key; the first one left
    // free reaches the true key.
    if (!withoutRowId) {
        for (const QString &name :
             {QStringLiteral("_rowid_"), QStringLiteral("rowid"), QStringLiteral("oid")}) {
            if (indexOfName(shape.columns, name) < 0) {
                shape.key = name;
                break;
            }
        }
    }
    if (shape.key.isEmpty())
        return Failure{Failure::Kind::NoRowKey, {}, ExperimentTableName, 0};
    return shape;
}

Failure failureOfCode(int code, const QString &detail)
{
    using Kind = Failure::Kind;
    Kind kind = Kind::Engine;
    switch (code) {
    case SQLITE_READONLY_ROLLBACK:
    case SQLITE_READONLY_RECOVERY:
        kind = Kind::HotJournal;
        break;
    case SQLITE_READONLY_DBMOVED:
        kind = Kind::Moved;
        break;
    default:
        switch (code & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            kind = Kind::Busy;
            break;
        case SQLITE_READONLY:
        case SQLITE_PERM:
            kind = Kind::ReadOnly;
            break;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            kind = Kind::Damaged;
            break;
        case SQLITE_FULL:
            kind = Kind::DiskFull;
            break;
        case SQLITE_IOERR:
            kind = Kind::Io;
            break;
        case SQLITE_CANTOPEN:
            kind = Kind::CannotOpen;
            break;
        case SQLITE_INTERRUPT:
            kind = Kind::Interrupted;
            break;
        case SQLITE_NOMEM:
        case SQLITE_TOOBIG:
            kind = Kind::OutOfMemory;
            break;
        case SQLITE_CONSTRAINT:
            kind = Kind::Constraint;
            break;
        default:
            break;
        }
    }
    return Failure{kind, {}, detail, code};
}

Failure failureOf(sqlite3 *db)
{
    if (!db)
        return failureOfCode(SQLITE_MISUSE, QString());
    return failureOfCode(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
}

} // namespace sqlite_support
