#include "shell/form1.h"

#include <QDir>
#include <QShortcut>
#include <QTimer>

// What the controls, the grid and the table report, and what the window does with it.
void Form1::connectControls()
{
    connect(Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);
    connect(Check2, &QCheckBox::toggled, this, &Form1::Check2_Click);
    connect(Check3, &QCheckBox::toggled, this, &Form1::Check3_Click);
    connect(UpDown1, &UpDown::changed, this, &Form1::UpDown1_Change);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Image1, &FrameImage::clicked, this, &Form1::Image1_Click);
    connect(Picture1, &SurfaceView::clicked, this, &Form1::Picture1_Click);
    connectNavigator();
    connect(m_model, &ExperimentModel::readFailed, this, [this](const QString &reason) {
        m_dialogs->warn(QStringLiteral("无法读取数据库"),
                        QStringLiteral("无法读取“%1”中更多的记录：%2")
                            .arg(QDir::toNativeSeparators(m_table.path()), reason));
    });
    connect(grid, &ExperimentGrid::entryDropped, this, [this](const QString &text) {
        m_dialogs->warn(QStringLiteral("输入无效"),
                        QStringLiteral("“%1”不是数字，这次输入已放弃，单元格保持原值。").arg(text));
    });
    connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { onGridRowChanged(current.row()); });
    connect(grid, &ExperimentGrid::deleteRequested, this, &Form1::deleteRows);
    connect(grid, &ExperimentGrid::createRequested, this, &Form1::createDatabase);
    connect(grid, &ExperimentGrid::importRequested, this, &Form1::importAccessDatabase);
    connect(m_model, &ExperimentModel::writeFailed, this, [this](const QString &reason) {
        m_dialogs->warn(QStringLiteral("无法写入数据库"),
                        QStringLiteral("修改未能写入“%1”：%2\n输入的值保留在表格中（红色），"
                                       "换记录、再次修改或退出时会再次写入。")
                            .arg(QDir::toNativeSeparators(m_table.path()), reason));
        m_pendingWarning = reason;
        m_retry->start();
    });
    connect(m_model, &ExperimentModel::recordAdded, this,
            [this](int) { onGridRowChanged(grid->currentIndex().row()); });
    // What is shown is what the file holds: a write to the current record redraws it.
    connect(m_model, &ExperimentModel::recordWritten, this, [this](int row) {
        if (row == m_current && !m_loading)
            redrawCurrent();
    });
    connect(m_model, &ExperimentModel::recordMoved, this, [this](int from, int to) {
        // The current record stays current wherever its new key puts it.
        if (m_current == from)
            m_current = to;
        else if (from < m_current && m_current <= to)
            --m_current;
        else if (to <= m_current && m_current < from)
            ++m_current;
        Data1->setPosition(m_current, m_table.count(), !m_table.complete());
    });

    // Beside the designed window, on request: the model analysis and marks on the map.
    for (QWidget *w : {static_cast<QWidget *>(Picture1), static_cast<QWidget *>(Text2)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint &at) { showAnalysisMenu(w, at); });
    }

    auto *f1 = new QShortcut(QKeySequence::HelpContents, this);
    f1->setContext(Qt::WindowShortcut);
    connect(f1, &QShortcut::activated, this, &Form1::showHelp);
}

void Form1::connectNavigator()
{
    // The navigator's buttons take no focus: a cell being typed is settled first, and a half-typed
    // number keeps its editor open with the reason instead of vanishing.
    connect(Data1, &Navigator::first, this, [this] {
        if (grid->commitPendingEdit())
            moveTo(0);
    });
    connect(Data1, &Navigator::previous, this, [this] {
        if (grid->commitPendingEdit())
            moveTo(m_current - 1);
    });
    connect(Data1, &Navigator::next, this, [this] {
        if (!grid->commitPendingEdit())
            return;
        if (m_current + 1 >= m_table.count() && !m_model->fetchNext())
            return;
        moveTo(m_current + 1);
    });
    connect(Data1, &Navigator::last, this, [this] {
        if (grid->commitPendingEdit() && m_model->fetchAll())
            moveTo(m_table.count() - 1);
    });
}
