#include "shell/experiment_grid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QToolTip>
#include <QValidator>

namespace {

// Accepts what can still become a number; anything else is refused with a hint at the cell.
class NumericValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        static const QRegularExpression partial(
            QStringLiteral(R"(^\s*[-+]?(\d*\.?\d*)([eE][-+]?\d*)?\s*$)"));
        if (!partial.match(input).hasMatch()) {
            if (auto *editor = qobject_cast<QLineEdit *>(parent())) {
                QToolTip::showText(editor->mapToGlobal(QPoint(0, editor->height())),
                                   QStringLiteral("此列只能输入数字（如 12.5、-3、1.2e3）"),
                                   editor);
            }
            return Invalid;
        }
        return parseNumericCell(input) ? Acceptable : Intermediate;
    }
};

} // namespace

QWidget *ExperimentDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                          const QModelIndex &index) const
{
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    auto *line = qobject_cast<QLineEdit *>(editor);
    const auto *model = qobject_cast<const ExperimentModel *>(index.model());
    if (line && model && model->isNumericColumn(index.column()))
        line->setValidator(new NumericValidator(line));
    return editor;
}

bool ExperimentDelegate::eventFilter(QObject *object, QEvent *event)
{
    // A half-typed number is neither stored nor thrown away when the focus leaves it (a click
    // elsewhere): the editor stays open until it is a number or Esc gives it up.
    auto *line = qobject_cast<QLineEdit *>(object);
    if (event->type() == QEvent::FocusOut && line && line->validator() &&
        !line->hasAcceptableInput())
        return false;
    return QStyledItemDelegate::eventFilter(object, event);
}

void ExperimentDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                      const QModelIndex &index) const
{
    auto *line = qobject_cast<QLineEdit *>(editor);
    // An unfinished number ("1e", "-") is not stored; the cell keeps its value.
    if (line && line->validator() && !line->hasAcceptableInput()) {
        emit entryDropped(line->text());
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

// ---------------------------------------------------------------------------------------------

ExperimentGrid::ExperimentGrid(QWidget *parent)
    : QTableView(parent)
    // Over the grid but not in it: a table's children are hidden from screen readers, which
    // see only its cells.
    , m_failure(new QLabel(parent ? parent : viewport()))
    , m_create(new QPushButton(QStringLiteral("新建空数据库"), parent ? parent : viewport()))
    , m_import(new QPushButton(QStringLiteral("导入 Access 文件…"), parent ? parent : viewport()))
{
    m_create->hide();
    m_import->hide();
    connect(m_create, &QPushButton::clicked, this, &ExperimentGrid::createRequested);
    connect(m_import, &QPushButton::clicked, this, &ExperimentGrid::importRequested);
    // The viewport's size settles after the view's (scroll bars come and go): follow it.
    viewport()->installEventFilter(this);
    installEventFilter(this);
    verticalHeader()->viewport()->installEventFilter(this);
    horizontalHeader()->viewport()->installEventFilter(this);
    auto *delegate = new ExperimentDelegate(this);
    setItemDelegate(delegate);
    connect(delegate, &ExperimentDelegate::entryDropped, this, &ExperimentGrid::entryDropped);
    // Tab goes on to the next control of the window; the arrow keys move between cells.
    setTabKeyNavigation(false);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    horizontalHeader()->setHighlightSections(false);
    m_failure->setWordWrap(true);
    m_failure->setAlignment(Qt::AlignCenter);
    m_failure->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0); padding: 4px;"));
    m_failure->hide();
}

QWidget *ExperimentGrid::openEditor() const
{
    if (state() != QAbstractItemView::EditingState)
        return nullptr;
    // A cell's editor lives on the viewport (it may have lost the focus to a click).
    for (QWidget *w : viewport()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (w->isVisible() && w->inherits("QLineEdit"))
            return w;
    }
    return nullptr;
}

bool ExperimentGrid::holdHalfTypedNumber()
{
    auto *line = qobject_cast<QLineEdit *>(openEditor());
    if (!line || !line->validator() || line->hasAcceptableInput())
        return false;
    const QString hint =
        QStringLiteral("“%1”还不是数字：请改正，或按 Esc 放弃这次输入").arg(line->text());
    line->setToolTip(hint);
    QToolTip::showText(line->mapToGlobal(QPoint(0, line->height())), hint, line);
    line->setFocus();
    return true;
}

bool ExperimentGrid::commitPendingEdit()
{
    if (holdHalfTypedNumber())
        return false;
    if (QWidget *editor = openEditor()) {
        commitData(editor);
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    return true;
}

void ExperimentGrid::mousePressEvent(QMouseEvent *event)
{
    // A click elsewhere in the grid would close a half-typed number without storing it.
    if (holdHalfTypedNumber()) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void ExperimentGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    const bool leave = hint == QAbstractItemDelegate::EditNextItem ||
                       hint == QAbstractItemDelegate::EditPreviousItem;
    QTableView::closeEditor(editor, leave ? QAbstractItemDelegate::NoHint : hint);
    if (leave)
        focusNextPrevChild(hint == QAbstractItemDelegate::EditNextItem);
}

void ExperimentGrid::showFailure(const QString &reason, Offer offer)
{
    m_failure->setText(reason);
    m_failure->setVisible(!reason.isEmpty());
    m_create->setText(offer == Offer::NewTable ? QStringLiteral("新建实验表")
                                               : QStringLiteral("新建空数据库"));
    m_create->setVisible(offer != Offer::None);
    m_import->setVisible(offer != Offer::None);
    placeFailure();
}

void ExperimentGrid::placeFailure()
{
    // The reason above, the offers under it, one a line, at the bottom of the viewport.
    const QRect area(viewport()->mapTo(m_failure->parentWidget(), QPoint(0, 0)),
                     viewport()->size());
    for (QWidget *w : {static_cast<QWidget *>(m_failure), static_cast<QWidget *>(m_create),
                       static_cast<QWidget *>(m_import)})
        w->raise();
    int bottom = area.bottom();
    for (QPushButton *button : {m_import, m_create}) {
        if (button->isHidden())
            continue;
        const QSize size = button->sizeHint();
        bottom -= size.height() + 6;
        button->setGeometry(QRect(QPoint(area.center().x() - size.width() / 2, bottom), size));
    }
    m_failure->setGeometry(QRect(area.topLeft(), QPoint(area.right(), bottom - 2)));
}

bool ExperimentGrid::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == viewport() && event->type() == QEvent::Resize) ||
        (watched == this && (event->type() == QEvent::Move || event->type() == QEvent::Resize)))
        placeFailure();
    // So would a click on a row or column header.
    if (event->type() == QEvent::MouseButtonPress &&
        (watched == verticalHeader()->viewport() || watched == horizontalHeader()->viewport()) &&
        holdHalfTypedNumber())
        return true;
    return QTableView::eventFilter(watched, event);
}

void ExperimentGrid::keyPressEvent(QKeyEvent *event)
{
    // Delete removes records only when whole rows are selected (by their row headers), so the
    // key never takes a record away from someone who meant a cell.
    if (event->key() == Qt::Key_Delete && state() != QAbstractItemView::EditingState) {
        QList<int> rows;
        for (const QModelIndex &index : selectionModel()->selectedRows())
            rows << index.row();
        if (!rows.isEmpty()) {
            emit deleteRequested(rows);
            return;
        }
    }
    QTableView::keyPressEvent(event);
}
