#pragma once

// The experiment table "等高线表" in a SQLite file, reached through Qt SQL. Records are
// addressed by position (0 ... count - 1, in rowid order) and edited by rowid, so two rows
// holding the same values stay two rows. Only the rowids are loaded on opening; the records
// themselves are fetched a page at a time.

#include "analysis/record_source.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

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
    FieldValue field() const
    {
        switch (type) {
        case Type::Missing:
            return FieldValue::error();
        case Type::Null:
            return FieldValue::of(QVariant());
        case Type::Number:
            return FieldValue::ofNumber(number);
        case Type::Text:
            return FieldValue::of(QVariant(text));
        case Type::Other:
            break;
        }
        return FieldValue::of(QVariant(QByteArray("")));
    }
};

class ExperimentTable
{
public:
    enum class Mode { ReadWrite, ReadOnly };

    ExperimentTable();
    ~ExperimentTable();
    ExperimentTable(const ExperimentTable &) = delete;
    ExperimentTable &operator=(const ExperimentTable &) = delete;

    // Why a file cannot be a database we open, or nothing when it may be one. Looks only at
    // the file's header; never creates or writes.
    static std::optional<QString> refuseFile(const QString &path);

    // Opens the table; a missing file is never created and a file that is not a SQLite
    // database is never written to. On failure `error` says which file and why.
    bool open(const QString &path, Mode mode, QString *error);
    // Opens the table for streaming by rowid alone: positions are not read (count() is 0).
    bool openForStreaming(const QString &path, QString *error);
    void close();
    bool isOpen() const { return m_open; }
    QString path() const { return m_path; }

    QStringList columns() const { return m_columns; }
    int columnIndex(const QString &name) const { return m_columns.indexOf(name); }
    // The records located so far (all of them once complete()); positions count from 0 there.
    int count() const { return int(m_rowIds.size()); }
    bool complete() const { return m_complete; }
    // Locates up to `limit` more records (all with -1); returns how many were added.
    int fetchMore(int limit);
    // The rowids after the located ones, without adding them, and adding them.
    std::optional<std::vector<qint64>> nextRowIds(int limit, QString *error) const;
    void appendRowIds(const std::vector<qint64> &ids, bool last);
    static constexpr int FirstFetch = 256;
    qint64 rowId(int position) const { return m_rowIds.at(std::size_t(position)); }
    // The position of a rowid, if the record is still in the table.
    std::optional<int> positionOf(qint64 rowId) const;

    // The record at a position: one value per column, or an empty list when it cannot be read.
    QVariantList record(int position) const;
    FieldValue field(int position, const QString &name) const;

    // Writes one cell; the error says why not (read-only file, locked, constraint).
    bool setValue(int position, int column, const QVariant &value, QString *error);
    // Appends a record with one cell set; returns its position.
    std::optional<int> insertRecord(int column, const QVariant &value, QString *error);
    // Deletes the records at these positions: all of them, or none and the reason.
    bool removeRecords(QList<int> positions, QString *error);

    // Counted and looked up in the file, for a table opened for streaming.
    std::optional<qint64> countRecords(QString *error) const;
    std::optional<qint64> rowIdAtOffset(qint64 offset, QString *error) const;

    // Streams the records whose rowids lie in fromRowId ... toRowId, in rowid order, without
    // keeping them; stops when `visit` says so. Cells come in the order of `names`.
    bool forEachInRowIds(const QStringList &names,
                         const std::function<bool(const std::vector<StreamCell> &)> &visit,
                         QString *error, qint64 fromRowId, qint64 toRowId) const;

private:
    bool loadRowIds(QString *error);
    bool openTable(const QString &path, Mode mode, bool positions, QString *error);
    QString quotedTable() const;

    QString m_connection;
    QString m_path;
    bool m_open = false;
    QStringList m_columns;
    std::vector<qint64> m_rowIds;
    bool m_complete = false;
    mutable QHash<int, QList<QVariantList>> m_pages; // page index -> records
};

// The current record of a table, as record loading reads it.
class TableRecord : public RecordSource
{
public:
    TableRecord(const ExperimentTable &table, int position)
        : m_table(table)
        , m_position(position)
    {
    }
    FieldValue field(const QString &name) const override { return m_table.field(m_position, name); }

private:
    const ExperimentTable &m_table;
    int m_position;
};

// Double quotes an SQL identifier.
QString quoteIdentifier(const QString &name);
