#pragma once

// Writing a file the user asked for: complete or absent, never over something that is not a
// file. An existing regular file is replaced in one step once the new one is whole; a missing
// name is created. Anything else at the name (a folder, a device, a FIFO, a symbolic link) is
// refused and left as it is.

#include "core/result.h"

#include <QByteArray>
#include <QString>

#include <optional>

// How a saved file reaches the disk. Synced: on the disk before the save returns. Deferred:
// still complete-or-absent for every reader (written aside, then renamed over), with the disk
// flush left to one syncFolder call at the end of a batch.
enum class Durability { Synced, Deferred };

// Why `path` may not be written, or nothing when it is missing or a regular file.
std::optional<Failure> refuseOutputPath(const QString &path);

// Writes `bytes` as the file `path`; on failure nothing is left behind.
Result<void> saveFileSafely(const QByteArray &bytes, const QString &path, Durability durability);

// Flushes everything written to the file system that holds `folder`.
Result<void> syncFolder(const QString &folder);

// Makes SIGTERM and SIGINT remove the scratch files of saves under way before the process
// ends as the signal would end it. For processes that save outside an event loop.
void installScratchCleanup();
