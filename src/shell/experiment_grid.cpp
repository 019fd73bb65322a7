#include "shell/experiment_grid.h"

#include "core/design.h"
#include "core/numbers.h"
#include "shell/failure_text.h"

#include <QBrush>
#include <QLocale>

#include <cmath>

namespace {

// Why a cell waits, in the window's words (shown in its tool tip and the warning).
template <typename T> QString reasonOf(const Result<T> &result)
{
    return result ? QString() : shell::describeFailure(result.failure());
}

} // namespace

std::optional<QVariant> parseNumericCell(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QVariant(QMetaType(QMetaType::Double)); // no value
    bool ok = false;
    const double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return QVariant(value);
}

// ---------------------------------------------------------------------------------------------

ExperimentModel::ExperimentModel(ExperimentTable &table, QObject *parent)
    : QAbstractTableModel(parent)
    , m_table(table)
{
}

void ExperimentModel::reload()
{
    beginResetModel();
    m_pending.clear();
    m_rows = tableRows();
    endResetModel();
}

int ExperimentModel::tableRows() const
{
    // The row for adding a record comes after the true last one.
    return m_table.isOpen() ? m_table.count() + (m_table.complete() ? 1 : 0) : 0;
}

int ExperimentModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

void ExperimentModel::announceAdded(int position)
{
    // The row for adding became the record, and a new one for adding appears under it; a
    // record that took another place, or others that another program added meanwhile, make
    // the grid read the table anew.
    if (tableRows() == m_rows + 1 && position == m_rows - 1) {
        beginInsertRows({}, m_rows, m_rows);
        m_rows = tableRows();
        endInsertRows();
        emit dataChanged(index(position, 0), index(position, columnCount() - 1));
    } else {
        beginResetModel();
        m_rows = tableRows();
        endResetModel();
    }
}

bool ExperimentModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_table.isOpen() && !m_table.complete();
}

void ExperimentModel::fetchMore(const QModelIndex &parent)
{
    if (canFetchMore(parent))
        addRowIds(ExperimentTable::FirstFetch);
}

bool ExperimentModel::fetchNext()
{
    return !canFetchMore({}) || addRowIds(ExperimentTable::FirstFetch);
}

bool ExperimentModel::fetchAll()
{
    return !canFetchMore({}) || addRowIds(-1);
}

bool ExperimentModel::addRowIds(int limit)
{
    const auto ids = m_table.nextRowIds(limit);
    if (!ids) {
        // Not the end of the table: the grid stays open-ended and asks again later.
        emit readFailed(shell::describeFailure(ids.failure()));
        return false;
    }
    const bool last = limit < 0 || int(ids->size()) < limit;
    const int first = m_table.count();
    const int added = int(ids->size());
    if (added == 0 && !last)
        return true;
    // The new records, and after the last one the row for adding.
    beginInsertRows({}, first, first + added - 1 + (last ? 1 : 0));
    m_table.appendRowIds(*ids, last);
    m_rows = tableRows();
    endInsertRows();
    return true;
}

int ExperimentModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table.columns().size());
}

bool ExperimentModel::isNewRecordRow(int row) const
{
    return m_table.isOpen() && m_table.complete() && row == m_table.count();
}

bool ExperimentModel::isNumericColumn(int column) const
{
    // ID and the responses, matched as SQLite matches names: regardless of case.
    const QString name = m_table.columns().value(column);
    return name.compare(TitleField, Qt::CaseInsensitive) != 0 &&
           experimentColumns().contains(name, Qt::CaseInsensitive);
}

QVariant ExperimentModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int row = index.row(), column = index.column();
    const qint64 key = isNewRecordRow(row) ? NewRecordKey : m_table.rowId(row);
    const auto pending = m_pending.constFind(key);
    const bool unwritten = pending != m_pending.cend() && pending->values.contains(column);

    // A record that cannot be read shows empty cells with the reason.
    const auto stored = unwritten || isNewRecordRow(row) ? Result<QVariantList>(QVariantList())
                                                         : m_table.readRecord(row);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        QVariant value;
        if (unwritten)
            value = pending->values.value(column);
        else if (stored)
            value = stored->value(column);
        if (value.isNull())
            return role == Qt::EditRole ? QVariant(QString()) : QVariant();
        // Numbers as the user typed them: 12.1, not 12.1000000000000001.
        if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::LongLong)
            return numbers::plainText(value.toDouble());
        return value;
    }
    case Qt::BackgroundRole:
        return unwritten || !stored ? QVariant(QBrush(QColor(255, 220, 220))) : QVariant();
    case Qt::ToolTipRole:
        if (unwritten)
            return QStringLiteral("未写入数据库：%1").arg(pending->reason);
        if (stored && !m_readOnly.isEmpty())
            return m_readOnly;
        if (!stored)
            return QStringLiteral("无法读取这条记录：%1")
                .arg(shell::describeFailure(stored.failure()));
        return {};
    case Qt::TextAlignmentRole:
        return isNumericColumn(column) ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default:
        return {};
    }
}

QVariant ExperimentModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_table.columns().value(section);
    return isNewRecordRow(section) ? QStringLiteral("*") : QString::number(section + 1);
}

Qt::ItemFlags ExperimentModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (!m_readOnly.isEmpty())
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

void ExperimentModel::setReadOnly(const QString &reason)
{
    beginResetModel();
    m_readOnly = reason;
    endResetModel();
}

Result<void> ExperimentModel::writeCell(int row, int column, const QVariant &value,
                                        const QVariantList &expected)
{
    if (!isNewRecordRow(row)) {
        const Result<int> written = writeExisting(row, column, value, expected);
        return written ? Result<void>() : written.failure();
    }
    const Result<int> added = m_table.insertRecord(column, value);
    if (!added)
        return added.failure();
    // The last row became a record; a new last row for adding appears under it.
    announceAdded(*added);
    emit recordAdded(*added);
    emit recordWritten(*added);
    return {};
}

Result<int> ExperimentModel::writeExisting(int row, int column, const QVariant &value,
                                           const QVariantList &expected)
{
    const Result<int> written = m_table.setValue(row, column, value, expected);
    if (!written)
        return written;
    if (*written != row) {
        beginMoveRows({}, row, row, {}, *written > row ? *written + 1 : *written);
        endMoveRows();
        emit recordMoved(row, *written);
    }
    emit recordWritten(*written);
    return written;
}

Result<void> ExperimentModel::flushNewRecord()
{
    auto it = m_pending.find(NewRecordKey);
    if (it == m_pending.end())
        return {};
    const QHash<int, QVariant> values = it->values;
    auto first = values.cbegin();
    const Result<int> added = m_table.insertRecord(first.key(), first.value());
    if (!added)
        return added.failure();
    m_pending.erase(it);
    announceAdded(*added);
    int row = *added;
    for (auto v = std::next(first); v != values.cend(); ++v) {
        const auto shown = m_table.readRecord(row);
        const Result<int> written =
            shown ? writeExisting(row, v.key(), v.value(), *shown) : Result<int>(shown.failure());
        if (written) {
            row = *written;
        } else {
            // The record stands; this cell waits for the retry.
            Pending &p = m_pending[m_table.rowId(row)];
            p.values.insert(v.key(), v.value());
            p.reason = reasonOf(written);
            if (shown && p.expected.isEmpty())
                p.expected = *shown;
        }
    }
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    emit recordAdded(row);
    emit recordWritten(row);
    return {};
}

bool ExperimentModel::retryPending()
{
    if (const Result<void> flushed = flushNewRecord(); !flushed) {
        m_pending[NewRecordKey].reason = reasonOf(flushed);
        return false;
    }
    bool allWritten = true;
    QHash<qint64, Pending> moved;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        const std::optional<int> position = m_table.positionOf(it.key());
        if (!position) {
            // The record is gone: nothing is left to write it to.
            it = m_pending.erase(it);
            continue;
        }
        int row = *position;
        if (it->expected.isEmpty()) {
            const auto shown = m_table.readRecord(row);
            if (!shown) {
                it->reason = reasonOf(shown);
                allWritten = false;
                ++it;
                continue;
            }
            it->expected = *shown;
        }
        for (auto cell = it->values.begin(); cell != it->values.end();) {
            if (const Result<int> written =
                    writeExisting(row, cell.key(), cell.value(), it->expected)) {
                row = *written;
                // The next cell of this record expects the value just written.
                if (cell.key() < it->expected.size())
                    it->expected[cell.key()] = cell.value();
                const QModelIndex changed = index(row, cell.key());
                cell = it->values.erase(cell);
                emit dataChanged(changed, changed);
            } else {
                it->reason = reasonOf(written);
                allWritten = false;
                ++cell;
            }
        }
        if (!it->values.isEmpty() && m_table.rowId(row) != it.key())
            moved.insert(m_table.rowId(row), *it); // the rest follows the record's new key
        it = it->values.isEmpty() || m_table.rowId(row) != it.key() ? m_pending.erase(it)
                                                                    : std::next(it);
    }
    m_pending.insert(moved);
    return allWritten;
}

QString ExperimentModel::pendingReason() const
{
    for (const Pending &p : m_pending) {
        if (!p.reason.isEmpty())
            return p.reason;
    }
    return {};
}

int ExperimentModel::pendingCount() const
{
    int cells = 0;
    for (const Pending &p : m_pending)
        cells += int(p.values.size());
    return cells;
}

bool ExperimentModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const int row = index.row(), column = index.column();
    QVariant stored = value;
    if (isNumericColumn(column)) {
        const auto parsed = parseNumericCell(value.toString());
        if (!parsed)
            return false; // the editor refuses such text already; nothing is stored
        stored = *parsed;
    } else if (value.toString().isEmpty()) {
        stored = QVariant(QMetaType(QMetaType::QString));
    }

    retryPending();
    const qint64 key = isNewRecordRow(row) ? NewRecordKey : m_table.rowId(row);
    // A new record with earlier unwritten cells is written whole with this one.
    if (key == NewRecordKey && m_pending.contains(NewRecordKey)) {
        m_pending[NewRecordKey].values.insert(column, stored);
        if (const Result<void> flushed = flushNewRecord(); !flushed) {
            m_pending[NewRecordKey].reason = reasonOf(flushed);
            emit dataChanged(index, index);
            emit writeFailed(reasonOf(flushed));
        }
        return true;
    }
    // The record as the grid shows it: what the write expects to find in the file.
    // When even that cannot be read (the file is held), the typing waits and the record is
    // read again before the retry writes it.
    QVariantList expected;
    Result<void> written;
    if (key != NewRecordKey) {
        const auto shown = m_table.readRecord(row);
        if (shown)
            expected = *shown;
        written = shown ? writeCell(row, column, stored, expected) : shown.failure();
    } else {
        written = writeCell(row, column, stored, expected);
    }
    if (written) {
        if (m_pending.contains(key)) {
            Pending &p = m_pending[key];
            p.values.remove(column);
            // The record's other unwritten cells now expect this value in the file.
            if (column < p.expected.size())
                p.expected[column] = stored;
            if (p.values.isEmpty())
                m_pending.remove(key);
        }
        emit dataChanged(index, index);
        return true;
    }
    Pending &p = m_pending[key];
    p.values.insert(column, stored);
    p.reason = reasonOf(written);
    // A new typing answers what the grid shows now: retried against that.
    p.expected = expected;
    emit dataChanged(index, index);
    emit writeFailed(p.reason);
    return true;
}

Result<void> ExperimentModel::removeRecords(const QList<int> &rows)
{
    if (!m_readOnly.isEmpty())
        return Failure{Failure::Kind::ReadOnly, m_table.path(), m_readOnly, 0};
    QList<int> records;
    for (int row : rows) {
        if (!isNewRecordRow(row))
            records << row;
    }
    if (records.isEmpty())
        return {};
    QList<qint64> keys;
    for (int row : records)
        keys << m_table.rowId(row);
    const Result<void> removed = m_table.removeRecords(records);
    if (!removed) {
        // Nothing was deleted: the rows stay where they are (and the view's place and
        // selection with them); what was read is shown as the file holds it now.
        if (m_rows > 0)
            emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
        return removed;
    }
    for (qint64 key : keys)
        m_pending.remove(key);
    beginResetModel();
    m_rows = tableRows();
    endResetModel();
    return removed;
}
