#pragma once

// The rules for a database file that every way of opening one shares.

#include "core/result.h"

#include <QString>

#include <optional>

// Why a file cannot be a database we open, or nothing when it may be one. Looks only at the
// file's header; never creates or writes.
std::optional<Failure> refuseDatabaseFile(const QString &path);

// How long a reader or writer waits for another program's lock before it reports the file
// as busy.
inline constexpr int BusyTimeoutMs = 2000;
// The window waits far less: it keeps a write it could not make and tries again later, and is
// never frozen for seconds by another program's lock.
inline constexpr int WindowBusyTimeoutMs = 200;

// Double quotes an SQL identifier.
QString quoteIdentifier(const QString &name);
