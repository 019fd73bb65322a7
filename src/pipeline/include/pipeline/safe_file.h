#pragma once

// Writing a file the user asked for: complete or absent, never over something that is not a
// file. An existing regular file is replaced in one step once the new one is whole; a missing
// name is created. Anything else at the name (a folder, a device, a FIFO, a symbolic link) is
// refused and left as it is.

#include "core/result.h"
#include "core/scratch_file.h"

#include <QByteArray>
#include <QString>

// Writes `bytes` as the file `path`; on failure nothing is left behind.
Result<void> saveFileSafely(const QByteArray &bytes, const QString &path, Durability durability);
