#pragma once

// The values of the row libmdb has just read, each decoded here from its stored bytes and
// bound into the insert of the new file: numbers as they are stored, dates from their days,
// text from its bytes, memo and OLE values read whole from their pages. Private to the reader.

#include "core/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <mdbtools.h>
#include <sqlite3.h>

namespace accessdb {

// Currency, decimal and replication-ID values come as libmdb's text, never longer than this.
inline constexpr int BindSize = 256;

// Whether libmdb's own text of a value is taken (the types it renders exactly).
bool boundByLibrary(int type);

Failure damaged(const QString &detail);

class RowValues
{
public:
    // `encoding`: of a Jet 3 file's text, empty for Jet 4 and ACE; `fileSize` bounds what a
    // long value may declare.
    RowValues(MdbHandle *mdb, const QByteArray &encoding, qint64 fileSize)
        : m_mdb(mdb)
        , m_encoding(encoding)
        , m_fileSize(fileSize)
    {
    }

    // Binds the value of `col` in the current row at `slot`; `bound` is libmdb's text of it
    // where boundByLibrary. The program's own experiment table takes numbers.
    Result<void> bind(sqlite3_stmt *insert, int slot, MdbColumn *col, bool experiment,
                      const char *bound) const;

private:
    Result<QByteArray> longValue(MdbColumn *col) const;
    Result<QString> text(QByteArrayView stored) const;

    MdbHandle *m_mdb;
    QByteArray m_encoding;
    qint64 m_fileSize;
};

} // namespace accessdb
