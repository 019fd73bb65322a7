#pragma once

// The experiment table "等高线表" in a SQLite file, reached through Qt SQL: the window's
// editable record set. Records are addressed by position (0 ... count - 1, in row-key order)
// and edited by the table's true row key, so two rows holding the same values stay two rows.
// Only the first row keys are located on opening; records are fetched a page at a time.
// Before a write, the row must still hold what was last read of it: another program's change
// is never overwritten silently.

#include "core/factors.h"
#include "store/database_file.h"
#include "store/goal_table.h"
#include "store/record_source.h"
#include "store/sqlite_support.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
class QSqlError;

class ExperimentTable
{
public:
    enum class Mode { ReadWrite, ReadOnly };

    ExperimentTable();
    ~ExperimentTable();
    ExperimentTable(const ExperimentTable &) = delete;
    ExperimentTable &operator=(const ExperimentTable &) = delete;

    // Opens the table; a missing file is never created and a file that is not a SQLite
    // database is never written to.
    Result<void> open(const QString &path, Mode mode);
    void close();
    bool isOpen() const { return m_open; }
    QString path() const { return m_path; }

    QStringList columns() const { return m_shape.columns; }
    // A column by name, as SQLite matches names (case-insensitive); -1 when there is none.
    int columnIndex(const QString &name) const;
    // The records located so far (all of them once complete()); positions count from 0 there.
    int count() const { return int(m_rowIds.size()); }
    bool complete() const { return m_complete; }
    static constexpr int FirstFetch = 256;
    // The row keys after the located ones (up to `limit`, all with -1), without adding them,
    // and adding them. A read that fails is an error, never the end of the table.
    Result<std::vector<qint64>> nextRowIds(int limit) const;
    void appendRowIds(const std::vector<qint64> &ids, bool last);
    // Both at once.
    Result<void> fetchMore(int limit);
    qint64 rowId(int position) const { return m_rowIds.at(std::size_t(position)); }
    // The position of a row key, if the record is still located.
    std::optional<int> positionOf(qint64 rowId) const;

    // The record at a position: one value per column.
    Result<QVariantList> readRecord(int position) const;
    // A field of the record at a position, as record loading reads it: a record that cannot be
    // read has fields that cannot be read (its reader is told by readRecord).
    FieldValue field(int position, const QString &name) const;

    // Writes one cell if the row still holds `expected` (one value per column, as read); else
    // fails (changed or deleted by another program, read-only, locked...). Returns the
    // record's position after the write: a new value of a column that is the row key (ID
    // INTEGER PRIMARY KEY) moves the record to its key's place.
    Result<int> setValue(int position, int column, const QVariant &value,
                         const QVariantList &expected);
    // Appends a record with one cell set; returns its position.
    Result<int> insertRecord(int column, const QVariant &value);
    // Deletes the records at these positions, each only if it still holds what was last read
    // of it: all of them, or none.
    Result<void> removeRecords(QList<int> positions);

    // The factor definitions stored beside the table (none without their table), and saving
    // one for several records at once (creating their table on the first save).
    Result<FactorDefinitions> factorDefinitions() const;
    Result<void> saveFactors(const QList<double> &ids, const Factors &factors);
    // The goals of the last multi-response optimisation, and keeping new ones.
    Result<StoredGoals> goals() const;
    Result<void> saveGoals(const StoredGoals &goals);

    // Forgets what was read of the records, so the next read shows the file as it is.
    void forgetRecords() { m_pages.clear(); }

private:
    int moveRecord(int position, qint64 key);
    Failure failure(const QSqlError &error) const;
    QString quotedTable() const;
    QString quotedKey() const;
    // The condition that a row holds `expected`, and its values to bind after the key.
    QString sameRowCondition(const QVariantList &expected) const;
    Failure conflict(qint64 key) const;

    QString m_connection;
    QString m_path;
    bool m_open = false;
    sqlite3 *m_db = nullptr;
    std::unique_ptr<sqlite_support::WorkLimit> m_limit;
    sqlite_support::TableShape m_shape;
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
