#include "shell/form1.h"

#include "core/regression.h"
#include "pipeline/bitmap.h"
#include "pipeline/map_export.h"
#include "pipeline/record_change.h"
#include "shell/failure_text.h"
#include "shell/help.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QColor Blue(0, 0, 255);
const QColor Red(255, 0, 0);
const QColor Grey(192, 192, 192);

void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::ButtonText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

QFont songFont(double points)
{
    QFont font(RasterSurface::fontFamily());
    font.setPointSizeF(points);
    return font;
}

} // namespace

// ---------------------------------------------------------------------------------------------

namespace {

// How often unwritten edits are tried again while another program holds the file.
constexpr int RetryIntervalMs = 3000;

} // namespace

Form1::Form1(Form1Options options, QWidget *parent)
    : QWidget(parent)
    , m_options(std::move(options))
    , m_model(new ExperimentModel(m_table, this))
    , m_retry(new QTimer(this))
{
    m_retry->setInterval(RetryIntervalMs);
    connect(m_retry, &QTimer::timeout, this, &Form1::retryPendingWrites);
    if (m_options.dialogs) {
        m_dialogs = m_options.dialogs;
    } else {
        m_ownDialogs = std::make_unique<MessageBoxDialogs>(this);
        m_dialogs = m_ownDialogs.get();
    }
    if (m_options.picker) {
        m_picker = m_options.picker;
    } else {
        m_ownPicker = std::make_unique<DialogColorPicker>(this);
        m_picker = m_ownPicker.get();
    }
    buildControls();
}

Form1::~Form1()
{
    closeTable();
}

int Form1::twips(int value) const
{
    const QScreen *s = screen();
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return int(std::lround(value * dpi / 1440.0));
}

void Form1::place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

void Form1::buildControls()
{
    setWindowTitle(Form1Caption);
    setWindowIcon(applicationIcon());
    setFont(songFont(9));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Grey);
    setPalette(palette);
    setAutoFillBackground(true);
    // The client area keeps its designed size; the controls never move.
    setFixedSize(twips(7080), twips(5430));

    Image1 = new FrameImage(this);
    Image1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Image1->setLineWidth(1);
    place(Image1, 0, 240, 4185, 4215);

    Picture1 = new SurfaceView(this);
    place(Picture1, 50, 320, 4095, 4095);
    Picture1->setFont(songFont(6.75));

    Label5 = new QLabel(QStringLiteral("等高线图"), this);
    Label5->setFont(songFont(10.5));
    setTextColor(Label5, Red);
    place(Label5, 1680, 0, 975, 240);

    Label1 = new QLabel(QStringLiteral("输入试验性能："), this);
    setTextColor(Label1, Blue);
    place(Label1, 5040, 240, 1455, 255);

    DBGrid1 = new QWidget(this);
    place(DBGrid1, 4320, 600, 2715, 3255);
    {
        auto *layout = new QVBoxLayout(DBGrid1);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        auto *caption = new QLabel(QStringLiteral("试验数据"), DBGrid1);
        caption->setAlignment(Qt::AlignCenter);
        caption->setAutoFillBackground(true);
        QPalette captionPalette = caption->palette();
        captionPalette.setColor(QPalette::Window, QColor(0, 0, 128));
        captionPalette.setColor(QPalette::WindowText, Qt::white);
        caption->setPalette(captionPalette);
        layout->addWidget(caption);
        grid = new ExperimentGrid(DBGrid1);
        grid->setModel(m_model);
        grid->setFont(songFont(9));
        setTextColor(grid, QColor(0, 128, 0));
        grid->horizontalHeader()->setDefaultSectionSize(twips(1000));
        grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
        layout->addWidget(grid, 1);
    }

    Data1 = new Navigator(QStringLiteral("  选择数据"), this);
    place(Data1, 4560, 4080, 2295, 315);

    auto *help = new ClickableLabel(QStringLiteral("Press F1 for Help"), this);
    help->onClick = [this] {
        showHelp();
    };
    help->setCursor(Qt::PointingHandCursor);
    Label7 = help;
    QFont times(QStringLiteral("Times New Roman"));
    times.setStyleHint(QFont::Serif);
    times.setPointSizeF(7.5);
    Label7->setFont(times);
    setTextColor(Label7, Red);
    place(Label7, 5640, 4440, 1095, 255);

    Frame1 = new QGroupBox(QStringLiteral("选项："), this);
    setTextColor(Frame1, QColor(192, 64, 0));
    place(Frame1, 2160, 4500, 3255, 615);
    Check1 = new QCheckBox(QStringLiteral("颜色"), Frame1);
    Check2 = new QCheckBox(QStringLiteral("标注"), Frame1);
    Check3 = new QCheckBox(QStringLiteral("重叠"), Frame1);
    Label6 = new QLabel(QStringLiteral("线条数"), Frame1);
    for (QWidget *w : {static_cast<QWidget *>(Check1), static_cast<QWidget *>(Check2),
                       static_cast<QWidget *>(Check3), static_cast<QWidget *>(Label6)})
        setTextColor(w, Blue);
    place(Check1, 120, 240, 735, 255);
    place(Check2, 840, 240, 735, 255);
    place(Check3, 1500, 240, 735, 255);
    place(Label6, 2655, 285, 550, 255);

    Text1 = new QLineEdit(this);
    place(Text1, 4320, 4720, 300, 270);
    UpDown1 = new UpDown(Text1, this);
    place(UpDown1, 4560, 4720, 240, 270);
    Text1->raise();
    UpDown1->raise();

    Command2 = new CommandButton(QStringLiteral("存图"), this);
    place(Command2, 5520, 4680, 615, 375);
    Command1 = new CommandButton(QStringLiteral("退出"), this);
    place(Command1, 6240, 4680, 615, 375);

    Label3 = new QLabel(QStringLiteral("相关系数   R= "), this);
    place(Label3, 0, 4550, 1215, 255);
    Text3 = new QLineEdit(QStringLiteral("Text3"), this);
    place(Text3, 1215, 4500, 840, 270);
    Label4 = new QLabel(QStringLiteral("剩余标准差 S="), this);
    place(Label4, 0, 4860, 1215, 255);
    Text4 = new QLineEdit(QStringLiteral("Text4"), this);
    place(Text4, 1215, 4830, 840, 270);
    Label2 = new QLabel(QStringLiteral("回归方程式 Y="), this);
    place(Label2, 0, 5205, 1335, 255);
    Text2 = new QLineEdit(QStringLiteral("Text2"), this);
    place(Text2, 1215, 5160, 5895, 270);
    for (QLabel *l : {Label3, Label4, Label2})
        setTextColor(l, Blue);
    for (QLineEdit *t : {Text1, Text2, Text3, Text4})
        t->setFrame(true);

    // Tab order by tab index; labels and the frame take no focus.
    for (QLabel *l : {Label1, Label2, Label3, Label4, Label5, Label6, Label7})
        l->setFocusPolicy(Qt::NoFocus);
    const QList<QWidget *> order{Picture1, grid,  Command1, Command2, Check1, Check2,
                                 Check3,   Text2, Text3,    Text4,    Text1,  UpDown1};
    for (int i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);
    connect(Check2, &QCheckBox::toggled, this, &Form1::Check2_Click);
    connect(Check3, &QCheckBox::toggled, this, &Form1::Check3_Click);
    connect(UpDown1, &UpDown::changed, this, &Form1::UpDown1_Change);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Image1, &FrameImage::clicked, this, &Form1::Image1_Click);
    connect(Picture1, &SurfaceView::clicked, this, &Form1::Picture1_Click);
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

// ---------------------------------------------------------------------------------------------
// Options and commands

void Form1::Check1_Click()
{
    m_state.AutoColor = Check1->isChecked();
}

void Form1::Check2_Click()
{
    m_state.ShowLabels = Check2->isChecked();
}

void Form1::Check3_Click()
{
    m_state.Overlay = Check3->isChecked();
}

void Form1::UpDown1_Change()
{
    m_state.LineCount = float(UpDown1->value());
}

void Form1::Command1_Click()
{
    if (!settleEdits())
        return;
    closeTable();
    m_closed = true;
    close();
}

void Form1::Command2_Click()
{
    if (m_state.Overlay)
        return;
    m_state.MessageText = QStringLiteral("是否保存文件");
    m_state.MessageTitle = QStringLiteral("保存文件");
    // A record without a usable ID has no name for its map: said at once, nothing asked.
    const std::optional<QString> name = saveFileName(m_state);
    if (!name) {
        m_dialogs->warn(m_state.MessageTitle,
                        QStringLiteral("这条记录的 ID 为空或不是数字，无法为图命名；图没有保存。"));
        return;
    }
    if (!m_dialogs->askYesNo(m_state.MessageTitle, m_state.MessageText))
        return;
    if (const Result<void> saved = saveBitmap(surface().Image(), *name); !saved) {
        m_dialogs->warn(
            m_state.MessageTitle,
            QStringLiteral("无法保存“%1”：%2")
                .arg(QDir::toNativeSeparators(*name), shell::describeFailure(saved.failure())),
            shell::failureDetails(saved.failure()));
    }
}

void Form1::Image1_Click()
{
    redrawLabels(m_state, surface());
    Picture1->update();
}

void Form1::Picture1_Click()
{
    redrawGrid(m_state, surface());
    Picture1->update();
}

// ---------------------------------------------------------------------------------------------
// Records

void Form1::Data1_Reposition()
{
    if (m_current < 0 || m_current >= m_table.count())
        return;
    m_loading = true;
    retryPendingWrites();
    m_loading = false;
    Data1->setPosition(m_current, m_table.count(), !m_table.complete());
    loadCurrent(*m_picker);
}

void Form1::redrawCurrent()
{
    // The same record: its colour stays, and the picker is not asked again.
    FixedColorPicker same(m_state.CurveColor);
    loadCurrent(same);
}

void Form1::loadCurrent(ColorPicker &picker)
{
    // A record that cannot be read is said so, and nothing of another record is shown for it.
    if (const auto read = m_table.readRecord(m_current); !read) {
        surface().Clear();
        regression::clearFit(m_state);
        showResults();
        m_dialogs->warn(QStringLiteral("无法读取记录"),
                        QStringLiteral("无法读取“%1”的第 %2 条记录：%3")
                            .arg(QDir::toNativeSeparators(m_table.path()))
                            .arg(m_current + 1)
                            .arg(shell::describeFailure(read.failure())),
                        shell::failureDetails(read.failure()));
        return;
    }
    try {
        LoadCurrentRecord(m_state, TableRecord(m_table, m_current), surface(), picker);
    } catch (const std::bad_alloc &) {
        surface().Clear();
        regression::clearFit(m_state);
        m_dialogs->warn(QStringLiteral("内存不足"),
                        QStringLiteral("内存不足，无法画出这条记录的图。"));
    }
    showResults();
    updateAnalysis();
}

void Form1::showAnalysisMenu(QWidget *widget, const QPoint &at)
{
    QMenu menu(this);
    if (widget == Picture1) {
        menu.addAction(QStringLiteral("复制图像"), this, &Form1::copyMap);
        menu.addAction(QStringLiteral("导出图像…"), this, &Form1::exportMap);
        menu.addSeparator();
    }
    menu.addAction(QStringLiteral("模型分析…"), this, &Form1::showAnalysis);
    menu.addSeparator();
    const auto toggle = [&](const QString &text, bool FormState::MapMarks::*mark) {
        QAction *action = menu.addAction(text);
        action->setCheckable(true);
        action->setChecked(m_state.Marks.*mark);
        // Like the other options: it takes effect at the next record change.
        connect(action, &QAction::toggled, this,
                [this, mark](bool on) { m_state.Marks.*mark = on; });
    };
    toggle(QStringLiteral("标出驻点"), &FormState::MapMarks::stationary);
    toggle(QStringLiteral("标出最优点"), &FormState::MapMarks::optimum);
    toggle(QStringLiteral("标出试验点"), &FormState::MapMarks::runs);
    menu.exec(widget->mapToGlobal(at));
}

void Form1::copyMap()
{
    QApplication::clipboard()->setImage(surface().Image().convertToFormat(QImage::Format_RGB32));
}

void Form1::exportMap()
{
    const QString title = QStringLiteral("导出图像");
    const QString suggested =
        m_state.AppFolder + mapFileName(m_state.RecordId, mapExtension(MapFormat::Png))
                                .value_or(MapFilePrefix + ".png");
    // Overlaid maps exist only as pixels; a vector drawing is the current record drawn anew.
    const QString filters =
        m_state.Overlay
            ? QStringLiteral("PNG 图像 (*.png);;BMP 位图 (*.BMP *.bmp)")
            : QStringLiteral(
                  "PNG 图像 (*.png);;SVG 矢量图 (*.svg);;PDF 文件 (*.pdf);;BMP 位图 (*.BMP *.bmp)");
    QString path = m_dialogs->askSaveFile(title, suggested, filters);
    if (path.isEmpty())
        return;
    const auto format = mapFormatNamed(QFileInfo(path).suffix());
    if (!format || (isVectorFormat(*format) && m_state.Overlay)) {
        m_dialogs->warn(title,
                        m_state.Overlay
                            ? QStringLiteral("重叠的图请用 .png 或 .BMP 作为文件的扩展名。")
                            : QStringLiteral("请用 .png、.svg、.pdf 或 .BMP 作为文件的扩展名。"));
        return;
    }
    // One spelling for a bitmap, the one the save button has always written.
    if (*format == MapFormat::Bmp)
        path = path.left(path.size() - QFileInfo(path).suffix().size()) + mapExtension(*format);
    const bool current = m_current >= 0 && m_current < m_table.count();
    const auto draw = [&](Surface &vector) {
        if (!current)
            return;
        FormState copy = m_state;
        FixedColorPicker picker(m_state.CurveColor);
        LoadCurrentRecord(copy, TableRecord(m_table, m_current), vector, picker);
    };
    const QImage &image = surface().Image();
    const Result<QByteArray> map = encodeMap(*format, image, draw, image.width());
    const Result<void> saved = map ? saveFileSafely(*map, path, Durability::Synced)
                                   : Result<void>(map.failure().withPath(path));
    if (!saved)
        m_dialogs->warn(
            title,
            QStringLiteral("无法保存“%1”：%2")
                .arg(QDir::toNativeSeparators(path), shell::describeFailure(saved.failure())),
            shell::failureDetails(saved.failure()));
}

void Form1::showAnalysis()
{
    if (!m_analysis) {
        m_analysis = new AnalysisDialog(this);
        // Beside the window, so the map stays in view.
        if (const QScreen *where = screen())
            m_analysis->move(
                besideWindow(frameGeometry(), m_analysis->size(), where->availableGeometry()));
    }
    updateAnalysis();
    m_analysis->show();
    m_analysis->raise();
}

void Form1::updateAnalysis()
{
    if (!m_analysis)
        return;
    const bool current = m_current >= 0 && m_current < m_table.count();
    m_analysis->showRecord(m_state.RecordId,
                           current ? readResponses(TableRecord(m_table, m_current)) : std::nullopt);
}

void Form1::retryPendingWrites()
{
    const int waiting = m_model->pendingCount();
    if (waiting == 0) {
        m_retry->stop();
        return;
    }
    if (m_model->retryPending()) {
        m_retry->stop();
        m_pendingWarning.clear();
        m_dialogs->inform(QStringLiteral("修改已写入"),
                          QStringLiteral("之前未能写入的 %1 处修改现已写入“%2”。")
                              .arg(waiting)
                              .arg(QDir::toNativeSeparators(m_table.path())));
        return;
    }
    // Still failing: said again only when the reason is new, so browsing is not a string of
    // boxes; the red cells keep showing it.
    const QString reason = m_model->pendingReason();
    if (reason == m_pendingWarning)
        return;
    m_pendingWarning = reason;
    m_dialogs->warn(QStringLiteral("无法写入数据库"),
                    QStringLiteral("仍有 %1 处修改未能写入“%2”：%3")
                        .arg(m_model->pendingCount())
                        .arg(QDir::toNativeSeparators(m_table.path()), reason));
}

void Form1::showResults()
{
    Text2->setText(m_state.Text2);
    Text3->setText(m_state.Text3);
    Text4->setText(m_state.Text4);
    for (QLineEdit *t : {Text2, Text3, Text4})
        t->setCursorPosition(0);
    Picture1->update();
}

void Form1::moveTo(int position)
{
    if (!m_table.isOpen() || m_table.count() == 0)
        return;
    position = std::clamp(position, 0, m_table.count() - 1);
    const int column = std::max(0, grid->currentIndex().column());
    grid->setCurrentIndex(m_model->index(position, column));
    grid->scrollTo(m_model->index(position, column));
    // The grid reports the row change; when it already stood there, report it here.
    if (m_current != position)
        onGridRowChanged(position);
}

void Form1::onGridRowChanged(int row)
{
    if (row < 0 || row >= m_table.count() || row == m_current)
        return;
    m_current = row;
    Data1_Reposition();
}

void Form1::deleteRows(const QList<int> &rows)
{
    int records = 0;
    for (int row : rows)
        records += m_model->isNewRecordRow(row) ? 0 : 1;
    if (records == 0)
        return;
    if (!m_dialogs->askYesNo(QStringLiteral("删除记录"),
                             QStringLiteral("删除选中的 %1 条记录吗？").arg(records)))
        return;
    if (const Result<void> removed = m_model->removeRecords(rows); !removed) {
        m_dialogs->warn(
            QStringLiteral("删除记录"),
            QStringLiteral("没有删除任何记录：%1").arg(shell::describeFailure(removed.failure())),
            shell::failureDetails(removed.failure()));
        return;
    }
    // Another record now stands at the current place: show it.
    const int position = std::min(m_current, m_table.count() - 1);
    m_current = -1;
    Data1->setPosition(-1, m_table.count(), !m_table.complete());
    if (position >= 0)
        moveTo(position);
}

// ---------------------------------------------------------------------------------------------
// Ending

bool Form1::settleEdits()
{
    if (!grid->commitPendingEdit())
        return false;
    if (m_model->pendingCount() == 0 || m_model->retryPending())
        return true;
    return m_dialogs->askYesNo(
        QStringLiteral("未保存的修改"),
        QStringLiteral("有 %1 处修改未能写入“%2”。\n仍要退出并放弃这些修改吗？")
            .arg(m_model->pendingCount())
            .arg(QDir::toNativeSeparators(m_table.path())));
}

void Form1::closeTable()
{
    if (!m_table.isOpen())
        return;
    m_table.close();
    m_model->reload();
    m_current = -1;
}

void Form1::terminate()
{
    grid->commitPendingEdit();
    m_model->retryPending();
    closeTable();
    m_closed = true;
    close();
    QCoreApplication::quit();
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (!m_closed && !settleEdits()) {
        event->ignore();
        return;
    }
    closeTable();
    m_closed = true;
    event->accept();
}

void Form1::showHelp()
{
    showHelpWindow(this, m_state.AppFolder);
}
