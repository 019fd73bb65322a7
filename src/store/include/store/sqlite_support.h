#pragma once

// What every connection to a database file needs, whoever opens it: the file is untrusted
// input, so its schema runs with SQLite's defensive settings and bounded work; the table is
// inspected before anything is read; SQLite's codes become Failures.

#include "core/result.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>

struct sqlite3;

namespace sqlite_support {

// How long one statement may work without producing a row before it is interrupted: a view or
// trigger that loops without end must not hang the program.
inline constexpr int StallLimitMs = 5000;

// Interrupts a connection's statements that stall. Re-armed by every row a statement produces.
class WorkLimit
{
public:
    explicit WorkLimit(int limitMs = StallLimitMs)
        : m_limitMs(limitMs)
    {
    }
    // Starts watching `db`; the object must outlive the connection's use.
    void attach(sqlite3 *db);
    // A fresh allowance, from now: only noted here, and the next check of the work starts it
    // (a clock read for every row of a long report is measurable).
    void arm() { m_armed.store(true, std::memory_order_relaxed); }

private:
    static int onProgress(void *self);
    int m_limitMs;
    std::atomic<bool> m_armed{false};
    std::atomic<std::int64_t> m_deadline{0};
};

// Turns off what a hostile schema could use (trusted_schema, writes to the schema) and checks
// page cells as they are read.
void harden(sqlite3 *db);

// The experiment table as found in the file.
struct TableShape
{
    QStringList columns;
    QString key; // the name that reaches the true row key: _rowid_, rowid or oid
};

// Checks that the experiment table is an ordinary table with a row key that no column hides,
// and lists its columns.
Result<TableShape> inspectTable(sqlite3 *db);

// The last failure on `db`, and a failure from an extended result code and SQLite's words.
Failure failureOf(sqlite3 *db);
Failure failureOfCode(int extendedCode, const QString &detail);

// Whether two names are the same to SQLite (case-insensitive for ASCII letters).
bool sameName(const QString &a, const QString &b);
int indexOfName(const QStringList &names, const QString &name);

} // namespace sqlite_support
