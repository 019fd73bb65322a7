#pragma once

// The names a batch has used, for finding two records that would write the same file: kept in
// a private temporary database on disk, not in memory, so a batch of any size holds no list of
// its names.

#include "core/result.h"

#include <QString>

struct sqlite3;
struct sqlite3_stmt;

class SeenNames
{
public:
    SeenNames() = default;
    ~SeenNames();
    SeenNames(const SeenNames &) = delete;
    SeenNames &operator=(const SeenNames &) = delete;

    // True the first time a name is given, false every time after; a failure when the
    // temporary database cannot be written (a full disk).
    Result<bool> first(const QString &name);

private:
    Result<void> open();
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_insert = nullptr;
};
