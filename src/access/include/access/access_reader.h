#pragma once

// The reading of an Access file with libmdb, run only in a child process of its own (the
// library can loop, allocate without bound or crash on a damaged file): every table into a
// new SQLite file, each value decoded here from its stored bytes, every table's row count and
// every long value's length checked against what the file declares. Progress and the outcome
// go out as protocol lines.

#include <QString>

#include <cstdio>

namespace accessdb {

// Converts `source` into `target`, an empty file made for it, telling `protocol` how it goes.
// `encoding` overrides the code page of a Jet 3 file's text (empty: the header's). Returns
// the process's exit code (0 when the file was read whole).
int runReader(const QString &source, const QString &target, const QString &encoding,
              std::FILE *protocol);

} // namespace accessdb
