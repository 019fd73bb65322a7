#pragma once

// The data-bound grid: one row per record of the experiment table plus a last row for adding
// one, one column per field. Every committed cell is written to the file at once, keyed on the
// record's row key and checked against what the grid showed of the record. A write that fails
// keeps the typed value in the cell (marked, with the reason) and is tried again with the next
// write, at each record change and before the table closes.

#include "store/experiment_table.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>

class ExperimentModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit ExperimentModel(ExperimentTable &table, QObject *parent = nullptr);

    // Call after the table was opened or closed.
    void reload();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    // No editing, for the reason given (empty: editing on again).
    void setReadOnly(const QString &reason);
    QString readOnlyReason() const { return m_readOnly; }

    // Locates every record of the table ("last" needs the true last one); false when the file
    // could not be read (readFailed says why; the table is not taken to end there).
    bool fetchAll();
    // Locates the next records; false when the file could not be read.
    bool fetchNext();

    // Whether the row is the one for adding a record.
    bool isNewRecordRow(int row) const;
    // Whether a column holds numbers only (ID, Y1 ... Y11).
    bool isNumericColumn(int column) const;

    // Tries the writes that failed before; true when none is left.
    bool retryPending();
    int pendingCount() const;
    // Why the last of them failed.
    QString pendingReason() const;

    // Deletes the records at these rows: all of them, or none.
    Result<void> removeRecords(const QList<int> &rows);

signals:
    // A write failed; the typed value is kept in the cell.
    void writeFailed(const QString &reason);
    // A record was added through the last row, now at `row`.
    void recordAdded(int row);
    // A new row key (an edited ID that is the key) moved a record from one row to another.
    void recordMoved(int from, int to);
    // A cell of the record now at `row` reached the file.
    void recordWritten(int row);
    // More records could not be located.
    void readFailed(const QString &reason);

private:
    struct Pending
    {
        QHash<int, QVariant> values; // column -> typed value
        QString reason;
        QVariantList expected; // the record as shown when the values were typed
    };
    static constexpr qint64 NewRecordKey = -1;
    Result<void> writeCell(int row, int column, const QVariant &value,
                           const QVariantList &expected);
    // Writes the new record's waiting cells: the record first (or nothing), then each other
    // cell, one that fails waiting for the retry.
    Result<void> flushNewRecord();
    bool addRowIds(int limit);
    // The rows the table has now: its records and, once all are located, the row for adding.
    int tableRows() const;
    // Tells the views of a record just added at `position`.
    void announceAdded(int position);
    // Writes one cell of a record; follows the record when the write moves it. The record's
    // row after the write, or nothing.
    Result<int> writeExisting(int row, int column, const QVariant &value,
                              const QVariantList &expected);

    ExperimentTable &m_table;
    QHash<qint64, Pending> m_pending; // row key (or NewRecordKey) -> unwritten cells
    int m_rows = 0;                   // the rows the views were told of
    QString m_readOnly;               // why editing is off, if it is
};

// Numbers only, refused at once with a hint; empty clears the cell.
class ExperimentDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
signals:
    // The editor closed with text that is not a number: nothing was stored.
    void entryDropped(const QString &text) const;

public:
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

protected:
    bool eventFilter(QObject *object, QEvent *event) override;
};

class ExperimentGrid : public QTableView
{
    Q_OBJECT
public:
    explicit ExperimentGrid(QWidget *parent = nullptr);
    // Writes what is being typed in a cell editor, as leaving the cell would. False when the
    // text is not yet a number: the editor stays open with the reason.
    bool commitPendingEdit();
    // What the grid offers over an empty table: nothing, a new database and an import (no
    // file at all), or a new experiment table and an import (a database without one).
    enum class Offer { None, NewDatabase, NewTable };
    // Shows why there is no table, over the empty grid, with the offers.
    void showFailure(const QString &reason, Offer offer = Offer::None);

signals:
    void deleteRequested(const QList<int> &rows);
    void entryDropped(const QString &text);
    // "新建空数据库" (or "新建实验表") or "导入 Access 文件…" was clicked.
    void createRequested();
    void importRequested();

protected:
    // Tab in a cell editor settles the cell and leaves the grid, as Tab does outside it.
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *openEditor() const;
    // Keeps an editor whose text is not yet a number open, the reason in its tool tip; false
    // when there is none.
    bool holdHalfTypedNumber();

    QLabel *m_failure;
    QPushButton *m_create;
    QPushButton *m_import;
    void placeFailure();
};

// Parses what a user typed into a numeric cell: a number, or empty for no value.
std::optional<QVariant> parseNumericCell(const QString &text);
