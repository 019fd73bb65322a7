#include "shell/form1.h"

#include "pipeline/bitmap.h"
#include "pipeline/map_export.h"
#include "pipeline/record_change.h"
#include "shell/failure_text.h"
#include "shell/help.h"
#include "shell/record_state.h"

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

    buildMapArea();
    buildGridArea();
    buildCommands();
    buildResults();
    // Tab order by tab index; labels and the frame take no focus.
    for (QLabel *l : {Label1, Label2, Label3, Label4, Label5, Label6, Label7})
        l->setFocusPolicy(Qt::NoFocus);
    const QList<QWidget *> order{Picture1, grid,  Command1, Command2, Check1, Check2,
                                 Check3,   Text2, Text3,    Text4,    Text1,  UpDown1};
    for (int i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    connectControls();
}

void Form1::buildMapArea()
{
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
}

void Form1::buildGridArea()
{
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
}

void Form1::buildCommands()
{
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
}

void Form1::buildResults()
{
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
    redrawLabels(mapOptions(m_state), m_state.ResponseTitle, surface());
    Picture1->update();
}

void Form1::Picture1_Click()
{
    redrawGrid(surface());
    Picture1->update();
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
