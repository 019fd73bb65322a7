#include "store/seen_names.h"

#include "store/sqlite_support.h"

#include <sqlite3.h>

SeenNames::~SeenNames()
{
    sqlite3_finalize(m_insert);
    sqlite3_close(m_db);
}

Result<void> SeenNames::open()
{
    sqlite3_close(m_db); // what a failed start left
    // An empty file name is SQLite's private temporary database: on disk past a small cache,
    // deleted when closed.
    if (sqlite3_open_v2("", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK ||
        sqlite3_exec(m_db,
                     "PRAGMA cache_size = -1024; PRAGMA journal_mode = OFF; "
                     "PRAGMA synchronous = OFF; "
                     "CREATE TABLE seen(name TEXT PRIMARY KEY) WITHOUT ROWID; BEGIN",
                     nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(m_db, "INSERT OR IGNORE INTO seen VALUES (?)", -1, &m_insert, nullptr) !=
            SQLITE_OK)
        return sqlite_support::failureOf(m_db);
    return {};
}

Result<bool> SeenNames::first(const QString &name)
{
    if (!m_insert) {
        if (const Result<void> opened = open(); !opened)
            return opened.failure();
    }
    const QByteArray utf8 = name.toUtf8();
    sqlite3_bind_text(m_insert, 1, utf8.constData(), int(utf8.size()), SQLITE_STATIC);
    const int step = sqlite3_step(m_insert);
    sqlite3_reset(m_insert);
    if (step != SQLITE_DONE)
        return sqlite_support::failureOf(m_db);
    return sqlite3_changes(m_db) == 1;
}
