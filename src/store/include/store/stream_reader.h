#pragma once

// Reads the experiment table from start to end without keeping it: the command line's report
// and batch maps. Its own read-only connection on SQLite's statement API (the generic row
// fetching of Qt SQL costs more than the fits of a large table), used by one thread at a time.

#include "store/record_source.h"
#include "store/sqlite_support.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One cell of a streamed record.
struct StreamCell
{
    enum class Type : unsigned char {
        Missing, // a name the table lacks
        Null,
        Number,
        Text,
        Other, // a blob
    };
    Type type = Type::Missing;
    double number = 0;
    QString text;
    QByteArray bytes; // the text as stored, to notice when it changes

    // As record loading reads a field.
    FieldValue field() const;
    // Another cell's value as field() reads it: its text only where it holds one.
    void takeValue(const StreamCell &from)
    {
        type = from.type;
        number = from.number;
        if (type == Type::Text)
            text = from.text;
    }
};

// A streamed record, with its cells in the order of recordFieldNames().
class StreamRecord : public RecordSource
{
public:
    explicit StreamRecord(const std::vector<StreamCell> &cells);
    FieldValue field(const QString &name) const override;
    void values(RecordValues &values) const override;

private:
    const std::vector<StreamCell> &m_cells;
    const QStringList &m_names;
    mutable qsizetype m_next = 0; // where the next field asked for most likely is
};

// ID, Y1 ... Y11, Y12: the fields a record change reads, in the order StreamRecord expects.
const QStringList &recordFieldNames();

class StreamReader
{
public:
    StreamReader();
    ~StreamReader();
    StreamReader(const StreamReader &) = delete;
    StreamReader &operator=(const StreamReader &) = delete;

    // Opens read-only; never creates, never writes.
    Result<void> open(const QString &path);
    QString path() const { return m_path; }

    // Everything read between these two sees the table as it was at the first read.
    Result<void> beginSnapshot();
    void endSnapshot();
    // Whether an open snapshot keeps every writer from committing, so that a second reader
    // that begins its own snapshot now sees the same table: true in SQLite's rollback-journal
    // modes, false in WAL, where writers commit beside readers.
    bool snapshotHoldsOffWriters() const;

    Result<qint64> count() const;
    // The row key of the record `offset` records on from the first whose key is at least
    // `from`, in key order; nothing when the table ends before it.
    Result<std::optional<qint64>> keyAtOffset(qint64 from, qint64 offset) const;
    // The largest row key; nothing in an empty table.
    Result<std::optional<qint64>> lastKey() const;

    // Streams the records whose row keys lie in from ... to, in key order, cells in the order
    // of `names`; stops early when `visit` says so.
    using Visit = std::function<bool(const std::vector<StreamCell> &)>;
    Result<void> forEach(const QStringList &names, const Visit &visit, qint64 from,
                         qint64 to) const;

private:
    class Use;
    // The statement of `sql`, prepared at its first use and kept while the connection lasts: a
    // report of many chunks asks the same few things for every one. Null when it cannot be.
    sqlite3_stmt *prepared(const QByteArray &sql) const;
    // The first column of the first row, nothing without a row; `values` bound to ?1, ?2, ...
    Result<std::optional<qint64>> firstInteger(const QByteArray &sql,
                                               std::initializer_list<qint64> values = {}) const;
    Failure failure() const;

    sqlite3 *m_db = nullptr;
    mutable std::vector<std::pair<QByteArray, sqlite3_stmt *>> m_prepared;
    QString m_path;
    sqlite_support::TableShape m_shape;
    std::unique_ptr<sqlite_support::WorkLimit> m_limit;
};
