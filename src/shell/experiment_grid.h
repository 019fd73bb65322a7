#pragma once

// The data-bound grid: one row per record of the experiment table plus a last row for adding
// one, one column per field. Every committed cell is written to the file at once, keyed on the
// record's rowid. A write that fails keeps the typed value in the cell (marked, with the reason)
// and is tried again with the next write and before the table closes.

#include "analysis/experiment_table.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QLabel>
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

    // Locates every record of the table ("last" needs the true last one).
    void fetchAll();

    // Whether the row is the one for adding a record.
    bool isNewRecordRow(int row) const;
    // Whether a column holds numbers only (ID, Y1 ... Y11).
    bool isNumericColumn(int column) const;

    // Tries the writes that failed before; true when none is left.
    bool retryPending();
    int pendingCount() const;

    // Deletes the records at these rows: all of them, or none (the reason in `error`).
    bool removeRecords(const QList<int> &rows, QString *error);

signals:
    // A write failed; the typed value is kept in the cell.
    void writeFailed(const QString &reason);
    // A record was added through the last row, now at `row`.
    void recordAdded(int row);

private:
    struct Pending
    {
        QHash<int, QVariant> values; // column -> typed value
        QString reason;
    };
    static constexpr qint64 NewRecordKey = -1;
    bool writeCell(int row, int column, const QVariant &value, QString *error);
    bool flushNewRecord(QString *error);
    void addRowIds(int limit);

    ExperimentTable &m_table;
    QHash<qint64, Pending> m_pending; // rowid (or NewRecordKey) -> unwritten cells
};

// Numbers only, refused at once with a hint; empty clears the cell.
class ExperimentDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
};

class ExperimentGrid : public QTableView
{
    Q_OBJECT
public:
    explicit ExperimentGrid(QWidget *parent = nullptr);
    // Writes what is being typed in a cell editor, as leaving the cell would.
    void commitPendingEdit();
    // Shows why there is no table, over the empty grid.
    void showFailure(const QString &reason);

signals:
    void deleteRequested(const QList<int> &rows);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QLabel *m_failure;
};

// Parses what a user typed into a numeric cell: a number, or empty for no value.
std::optional<QVariant> parseNumericCell(const QString &text);
