#include "analysis/sqlite_support.h"

#include "analysis/record_source.h"

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

void WorkLimit::arm()
{
    m_deadline.store(nowMs() + StallLimitMs, std::memory_order_relaxed);
}

int WorkLimit::onProgress(void *self)
{
    return nowMs() > static_cast<WorkLimit *>(self)->m_deadline.load(std::memory_order_relaxed) ? 1
                                                                                                : 0;
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

std::optional<TableShape> inspectTable(sqlite3 *db, QString *error)
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
    if (rc != SQLITE_DONE) {
        *error = describe(db);
        return std::nullopt;
    }
    if (!found) {
        *error = QStringLiteral("数据库中没有表“%1”").arg(ExperimentTableName);
        return std::nullopt;
    }
    if (type == QLatin1String("view")) {
        *error =
            QStringLiteral("“%1”是视图，不是表；本程序只读写普通的表").arg(ExperimentTableName);
        return std::nullopt;
    }
    if (type != QLatin1String("table")) {
        *error =
            QStringLiteral("“%1”不是普通的表（%2），本程序不读取它").arg(ExperimentTableName, type);
        return std::nullopt;
    }

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
    if (rc != SQLITE_DONE) {
        *error = describe(db);
        return std::nullopt;
    }
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
    if (shape.key.isEmpty()) {
        *error = QStringLiteral("表“%1”没有可用的行号（WITHOUT ROWID 表，或列名占用了 _rowid_、"
                                "rowid 和 oid），无法可靠地找到和修改记录")
                     .arg(ExperimentTableName);
        return std::nullopt;
    }
    return shape;
}

QString describeCode(int code, const QString &detail)
{
    QString what;
    switch (code) {
    case SQLITE_READONLY_ROLLBACK:
    case SQLITE_READONLY_RECOVERY:
        what = QStringLiteral("数据库上次没有正常关闭，留有待恢复的日志文件；只读打开时无法恢复，"
                              "请先用本程序的窗口打开一次");
        break;
    case SQLITE_READONLY_DBMOVED:
        what = QStringLiteral("数据库文件已被删除或移走");
        break;
    default:
        switch (code & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            what = QStringLiteral("数据库正被其他程序占用，请稍后再试");
            break;
        case SQLITE_READONLY:
        case SQLITE_PERM:
            what = QStringLiteral("数据库文件是只读的，无法写入");
            break;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            what = QStringLiteral("数据库文件已损坏");
            break;
        case SQLITE_FULL:
            what = QStringLiteral("磁盘已满");
            break;
        case SQLITE_IOERR:
            what = QStringLiteral("读写磁盘时出错");
            break;
        case SQLITE_CANTOPEN:
            what = QStringLiteral("无法打开数据库文件");
            break;
        case SQLITE_INTERRUPT:
            what = QStringLiteral("数据库的查询长时间没有结果，已中止（表的触发器或定义可能"
                                  "无限循环）");
            break;
        case SQLITE_NOMEM:
        case SQLITE_TOOBIG:
            what = QStringLiteral("内存不足或数据过大");
            break;
        case SQLITE_CONSTRAINT:
            what = QStringLiteral("数据库的约束拒绝了这个值");
            break;
        default:
            what = QStringLiteral("数据库出错");
        }
    }
    return detail.isEmpty() ? what : QStringLiteral("%1（%2）").arg(what, detail);
}

QString describe(sqlite3 *db)
{
    if (!db)
        return describeCode(SQLITE_MISUSE, QString());
    return describeCode(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
}

} // namespace sqlite_support
