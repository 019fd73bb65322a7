#include "analysis/sample_db.h"
#include "recording_surface.h"
#include "shell/form1.h"
#include "test_support.h"

#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

class FakeDialogs : public Dialogs
{
public:
    bool answer = true;
    QStringList questions;
    QStringList warnings;
    QStringList notes;
    bool askYesNo(const QString &title, const QString &text) override
    {
        questions << title + QLatin1Char('|') + text;
        return answer;
    }
    void warn(const QString &title, const QString &text) override
    {
        warnings << title + QLatin1Char('|') + text;
    }
    void inform(const QString &title, const QString &text) override
    {
        notes << title + QLatin1Char('|') + text;
    }
    QString saveAs;
    QString askSaveFile(const QString &, const QString &, const QString &) override
    {
        return saveAs;
    }
    QString openFile;
    QString askOpenFile(const QString &, const QString &) override { return openFile; }
    QList<int> choices; // answered in turn; then the last answer, the one that gives nothing up
    int askChoice(const QString &title, const QString &text, const QStringList &answers) override
    {
        questions << title + QLatin1Char('|') + text;
        return choices.isEmpty() ? int(answers.size()) - 1 : choices.takeFirst();
    }
};

struct Window
{
    FakeDialogs dialogs;
    CountingPicker picker{0xFF0000};
    std::unique_ptr<Form1> form;
    bool loaded = false;

    Window(const QString &appPath, const QString &lockPath = QString(), bool answer = true,
           const QList<int> &choices = {})
    {
        dialogs.answer = answer;
        dialogs.choices = choices;
        Form1Options options;
        options.appPath = appPath;
        options.lockPath = lockPath;
        options.dialogs = &dialogs;
        options.picker = &picker;
        options.importTool = QStringLiteral(TESMORA_CLI);
        form = std::make_unique<Form1>(options);
        loaded = form->Form_Load();
    }
};

QString dbIn(const QString &folder)
{
    return folder + QStringLiteral("/配方数据.mdb");
}

} // namespace

class TestForm : public QObject
{
    Q_OBJECT
private slots:
    void startupWithoutDatabase();
    void startupShowsTheFirstRecord();
    void navigation();
    void largeTableIsReadAsNeeded();
    void optionHandlers();
    void pickerOpensWhenColourIsOff();
    void framesRedrawTheirLayerOnly();
    void deleteWholeRowsOnly();
    void editSurvives_data();
    void editSurvives();
    void save_data();
    void save();
    void secondInstanceIsRefused();
    void staleAndUnwritableLocks();
    void tabCyclesThroughTheWindow();
    void halfTypedNumberKeepsItsEditor();
    void unwrittenEditLandsAtTheNextRecordChange();
    void halfTypedNewRecordHasNoMap();
    void failureCaptionFits();
    void analysisFollowsTheRecordAndMarksWaitForTheNext();
    void exportInEachFormat_data();
    void accessFileIsConvertedOnlyWhenAsked_data();
    void accessFileIsConvertedOnlyWhenAsked();
    void declinedAccessFileIsShownReadOnly();
    void exportInEachFormat();

private:
    QString freshFolder(const QString &name, bool withDatabase);
    QTemporaryDir m_dir;
};

QString TestForm::freshFolder(const QString &name, bool withDatabase)
{
    const QString folder = m_dir.filePath(name);
    QDir().mkpath(folder);
    if (withDatabase)
        makeTable(dbIn(folder), {HardnessRow, ViscosityRow,
                                 QStringLiteral("12, 23.4, 25.1, 24.0, 27.3, 26.2, 22.8, 25.9, "
                                                "23.7, 28.4, 28.0, 28.9, '拉伸率'")});
    return folder;
}

void TestForm::startupWithoutDatabase()
{
    // Hostile files are in the fault matrix; here the window's own start-up state.
    const QString folder = freshFolder(QStringLiteral("startup"), false);
    Window w(folder);
    QVERIFY(w.loaded);
    Form1 &f = *w.form;
    QVERIFY(!QFile::exists(dbIn(folder)));
    QVERIFY(w.dialogs.questions.isEmpty() && w.dialogs.warnings.isEmpty()); // start-up is silent
    QVERIFY(f.Check1->isChecked() && f.Check2->isChecked() && !f.Check3->isChecked());
    QVERIFY(f.state().AutoColor && f.state().ShowLabels && !f.state().Overlay);
    QCOMPARE(f.Text2->text(), QStringLiteral("Text2"));
    QCOMPARE(f.Text3->text(), QStringLiteral("Text3"));
    QCOMPARE(f.Text4->text(), QStringLiteral("Text4"));
    QCOMPARE(f.Text1->text(), QStringLiteral("4"));
    QCOMPARE(f.state().RecordId, QStringLiteral("1"));
    QCOMPARE(f.state().CurveColor, 255);
    QCOMPARE(f.state().AppFolder, folder + QLatin1Char('/'));
    QCOMPARE(f.model().rowCount(), 0);
    // An Access file without an experiment table: said before anything is written; cancelled,
    // the folder stays without a database (no scratch file either); imported, the file's
    // tables come with a new empty experiment table, and the window opens it.
    w.dialogs.openFile = QStringLiteral(TESMORA_TEST_DATA "/access/V2016_currency.accdb");
    f.importAccessDatabase();
    QCOMPARE(w.dialogs.questions.size(), 1);
    QVERIFY(w.dialogs.questions.first().contains(
        QStringLiteral("没有实验表“等高线表”（只有：Table）")));
    QVERIFY(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());
    w.dialogs.choices = {0};
    f.importAccessDatabase();
    QCOMPARE(readCell(dbIn(folder), QStringLiteral("SELECT count(*) FROM \"Table\"")).toInt(), 1);
    QCOMPARE(readCell(dbIn(folder), QStringLiteral("SELECT count(*) FROM 等高线表")).toInt(), 0);
    QCOMPARE(f.Data1->caption(), QStringLiteral("  选择数据"));
    QVERIFY(QFile::remove(dbIn(folder)));
    w.dialogs.questions.clear();
    f.openTable();
    // The navigator says which file could not be opened.
    QVERIFY(f.Data1->caption().contains(QStringLiteral("无法打开")));
    QCOMPARE(f.windowTitle(), QStringLiteral("Tesmora(两变量中心复合旋转设计)"));
    // Over the empty grid, a new empty database is offered; only a click creates it.
    f.show();
    QPushButton *create = nullptr;
    for (QPushButton *b : f.grid->findChildren<QPushButton *>())
        create = b->text() == QStringLiteral("新建空数据库") ? b : create;
    QVERIFY(create && create->isVisible());
    QVERIFY(create->parentWidget()->rect().contains(create->geometry())); // wholly on view
    QTest::mouseClick(create, Qt::LeftButton);
    QVERIFY(QFile::exists(dbIn(folder)));
    QVERIFY(!create->isVisible());
    QCOMPARE(f.model().rowCount(), 1); // the row for adding the first record
    QCOMPARE(f.Data1->caption(), QStringLiteral("  选择数据"));
    QVERIFY(f.model().setData(f.model().index(0, 0), QStringLiteral("7"), Qt::EditRole));
    QCOMPARE(readCell(dbIn(folder), QStringLiteral("SELECT ID FROM 等高线表")).toInt(), 7);
    // "退出" ends the window.
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    QVERIFY(!f.isVisible());
}

void TestForm::startupShowsTheFirstRecord()
{
    const QString folder = freshFolder(QStringLiteral("first"), true);
    Window w(folder);
    Form1 &f = *w.form;
    QCOMPARE(f.currentRecord(), 0);
    QCOMPARE(f.Text2->text(),
             QStringLiteral(" 15.066+ .887X1+ .204X2-1.127X1^2-1.177X2^2+ .275X1X2"));
    QCOMPARE(f.Text3->text(), QStringLiteral("0.992"));
    QCOMPARE(f.Text4->text(), QStringLiteral("0.241"));
    QCOMPARE(f.state().RecordId, QStringLiteral("1"));
    QCOMPARE(f.state().CurveColor, 0x800000); // palette 1: 0, 0, 128
    QCOMPARE(f.Data1->caption(), QStringLiteral("  选择数据"));
    QCOMPARE(f.surface().Image().width(),
             int(std::lround(f.Picture1->width() * f.devicePixelRatioF())));
    QCOMPARE(f.focusWidget(), static_cast<QWidget *>(f.Picture1));
}

void TestForm::navigation()
{
    const QString folder = freshFolder(QStringLiteral("navigation"), true);
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    QTest::mouseClick(f.Data1->nextButton(), Qt::LeftButton);
    QCOMPARE(f.state().RecordId, QStringLiteral("2"));
    QCOMPARE(f.Text2->text(), QStringLiteral(" 3.6+ .417X1-.042X2-.462X1^2-.587X2^2+ .075X1X2"));
    QTest::mouseClick(f.Data1->lastButton(), Qt::LeftButton);
    QCOMPARE(f.state().RecordId, QStringLiteral("12"));
    QCOMPARE(f.state().CurveColor, 0x0000FF);
    QCOMPARE(f.state().ResponseTitle, QStringLiteral("拉伸率"));
    QVERIFY(!f.Data1->nextButton()->isEnabled());
    // A row change in the grid is a record change too.
    f.grid->setCurrentIndex(f.model().index(0, 3));
    QCOMPARE(f.state().RecordId, QStringLiteral("1"));
    QCOMPARE(f.Text3->text(), QStringLiteral("0.992"));
}

void TestForm::largeTableIsReadAsNeeded()
{
    const QString folder = m_dir.filePath(QStringLiteral("large"));
    QDir().mkpath(folder);
    QVERIFY(sample_db::writeGenerated(dbIn(folder), 1000, 5));
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    QCOMPARE(f.model().rowCount(), ExperimentTable::FirstFetch); // no row for adding yet
    // While another program holds the file, "last" says so and the table does not end there.
    {
        const OtherWriter other(dbIn(folder));
        QVERIFY(other.holding());
        QTest::mouseClick(f.Data1->lastButton(), Qt::LeftButton);
        QCOMPARE(f.currentRecord(), 0);
        QVERIFY(!f.table().complete());
        QVERIFY(w.dialogs.warnings.last().contains(QStringLiteral("占用")));
    }
    // "next" past the located records reads further; "last" goes to the true last record.
    f.moveTo(ExperimentTable::FirstFetch - 1);
    QTest::mouseClick(f.Data1->nextButton(), Qt::LeftButton);
    QCOMPARE(f.state().RecordId, QString::number(ExperimentTable::FirstFetch + 1));
    QTest::mouseClick(f.Data1->lastButton(), Qt::LeftButton);
    QCOMPARE(f.state().RecordId, QStringLiteral("1000"));
    QCOMPARE(f.model().rowCount(), 1001);
    QVERIFY(f.model().isNewRecordRow(1000));
    QVERIFY(!f.Data1->nextButton()->isEnabled());
}

void TestForm::optionHandlers()
{
    const QString folder = freshFolder(QStringLiteral("options"), true);
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    QTest::mouseClick(f.Check3, Qt::LeftButton);
    QVERIFY(f.state().Overlay);
    QTest::mouseClick(f.Check2, Qt::LeftButton);
    QVERIFY(!f.state().ShowLabels);
    QTest::mouseClick(f.Check1, Qt::LeftButton);
    QVERIFY(!f.state().AutoColor);
    // Typing into the line-count box changes nothing by itself.
    f.Text1->setText(QStringLiteral("9"));
    QCOMPARE(f.state().LineCount, 4.0f);
    QTest::mouseClick(f.UpDown1->upButton(), Qt::LeftButton);
    QTest::mouseClick(f.UpDown1->upButton(), Qt::LeftButton);
    QCOMPARE(f.state().LineCount, 6.0f);
    QCOMPARE(f.Text1->text(), QStringLiteral("6"));
    // Changing the spinner leaves the map until the next record: same step as before.
    QCOMPARE(f.state().LevelStep, 0.75f);
    QTest::mouseClick(f.Data1->nextButton(), Qt::LeftButton);
    QCOMPARE(f.state().LevelStep, 0.3f);
    // The spinner's range: never 0, which divides by zero, nor beyond its designed maximum.
    for (int i = 0; i < 12; ++i)
        QTest::mouseClick(f.UpDown1->upButton(), Qt::LeftButton);
    QCOMPARE(f.state().LineCount, 10.0f);
    for (int i = 0; i < 15; ++i)
        QTest::mouseClick(f.UpDown1->downButton(), Qt::LeftButton);
    QCOMPARE(f.state().LineCount, 1.0f);
    QCOMPARE(f.Text1->text(), QStringLiteral("1"));
}

void TestForm::pickerOpensWhenColourIsOff()
{
    const QString folder = freshFolder(QStringLiteral("picker"), true);
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    QCOMPARE(w.picker.shown, 0); // not at start-up
    QTest::mouseClick(f.Check1, Qt::LeftButton);
    QTest::mouseClick(f.Data1->nextButton(), Qt::LeftButton);
    QTest::mouseClick(f.Data1->nextButton(), Qt::LeftButton);
    QCOMPARE(w.picker.shown, 2);
    QCOMPARE(f.state().CurveColor, 0xFF0000);
    QTest::mouseClick(f.Check1, Qt::LeftButton);
    QTest::mouseClick(f.Data1->firstButton(), Qt::LeftButton);
    QCOMPARE(w.picker.shown, 2);
    QCOMPARE(f.state().CurveColor, 0x800000);
}

void TestForm::framesRedrawTheirLayerOnly()
{
    const QString folder = freshFolder(QStringLiteral("frames"), true);
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    const auto has = [&](QRgb colour) {
        const QImage image = f.surface().Image();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) == colour)
                    return true;
        return false;
    };
    const QRgb gridGreen = qRgb(0, 255, 0), labelRed = qRgb(255, 0, 0);
    // A click on the map draws the grid and nothing else, over what is there.
    f.surface().Clear();
    QTest::mouseClick(f.Picture1, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(has(gridGreen) && !has(labelRed));
    // A click on the frame draws the tick labels and nothing else, keeping the grid.
    QTest::mouseClick(f.Image1, Qt::LeftButton, {}, QPoint(1, 1));
    QVERIFY(has(gridGreen) && has(labelRed));
    f.surface().Clear();
    QTest::mouseClick(f.Image1, Qt::LeftButton, {}, QPoint(1, 1));
    QVERIFY(!has(gridGreen) && has(labelRed));
}

void TestForm::deleteWholeRowsOnly()
{
    const QString folder = freshFolder(QStringLiteral("delete"), true);
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    // A single cell selected: Delete takes no record away.
    f.grid->setCurrentIndex(f.model().index(1, 3));
    QTest::keyClick(f.grid, Qt::Key_Delete);
    QCOMPARE(f.table().count(), 3);
    QVERIFY(w.dialogs.questions.isEmpty());
    // Two whole rows: asked, then both deleted, and the record now in first place is shown.
    f.grid->selectionModel()->select(f.model().index(0, 0), QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
    f.grid->selectionModel()->select(f.model().index(1, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(f.grid, Qt::Key_Delete);
    QCOMPARE(w.dialogs.questions.size(), 1);
    QCOMPARE(readCell(dbIn(folder), QStringLiteral("SELECT count(*) FROM 等高线表")).toInt(), 1);
    QCOMPARE(f.state().RecordId, QStringLiteral("12"));
}

void TestForm::editSurvives_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("exit-button") << "exit";
    QTest::newRow("close-box") << "close";
    QTest::newRow("navigation") << "navigate";
}

void TestForm::editSurvives()
{
    QFETCH(QString, how);
    const QString folder = freshFolder(QStringLiteral("edit-") + how, true);
    {
        Window w(folder);
        Form1 &f = *w.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        // Type into a cell and leave the editor open: the edit is still pending.
        const QModelIndex cell = f.model().index(0, 5);
        f.grid->setCurrentIndex(cell);
        f.grid->edit(cell);
        auto *editor = qobject_cast<QLineEdit *>(
            f.grid->viewport()->focusWidget() ? QApplication::focusWidget() : nullptr);
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("7.3"));
        if (how == QLatin1String("exit"))
            QTest::mouseClick(f.Command1, Qt::LeftButton);
        else if (how == QLatin1String("close"))
            f.close();
        else
            QTest::mouseClick(f.Data1->nextButton(), Qt::LeftButton);
        QCOMPARE(readCell(dbIn(folder), QStringLiteral("SELECT Y5 FROM 等高线表 WHERE ID = 1"))
                     .toDouble(),
                 7.3);
        QCOMPARE(readCell(dbIn(folder), QStringLiteral("SELECT Y5 FROM 等高线表 WHERE ID = 2"))
                     .toDouble(),
                 3.3);
    }
    // Reopened, the record shows the new value.
    Window again(folder);
    QCOMPARE(again.form->state().Response[4], 7.3f);
}

void TestForm::save_data()
{
    QTest::addColumn<bool>("overlay");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("writable");
    QTest::newRow("yes") << false << true << true;
    QTest::newRow("no") << false << false << true;
    QTest::newRow("overlay-refuses") << true << true << true;
    QTest::newRow("unwritable-folder") << false << true << false;
}

void TestForm::save()
{
    QFETCH(bool, overlay);
    QFETCH(bool, answer);
    QFETCH(bool, writable);
    QString folder = freshFolder(QStringLiteral("save-%1").arg(QTest::currentDataTag()), true);
    if (!writable) {
        // A program "folder" that is a file: no user, root included, can write into it.
        folder = m_dir.filePath(QStringLiteral("plain-file"));
        QFile f(folder);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    w.dialogs.answer = answer;
    if (overlay)
        QTest::mouseClick(f.Check3, Qt::LeftButton);
    QTest::mouseClick(f.Command2, Qt::LeftButton);
    const QString name = folder + QStringLiteral("/等高线图1.BMP");
    QCOMPARE(w.dialogs.questions.size(), overlay ? 0 : 1);
    if (!overlay)
        QCOMPARE(w.dialogs.questions.first(), QStringLiteral("保存文件|是否保存文件"));
    const bool saved = !overlay && answer && writable;
    QCOMPARE(QFile::exists(name), saved);
    if (saved) {
        QImageReader reader(name);
        QCOMPARE(reader.format(), QByteArray("bmp"));
        const QImage image = reader.read();
        QCOMPARE(image.size(), f.surface().Image().size());
        // Saving again replaces the file without asking anything more.
        QTest::mouseClick(f.Command2, Qt::LeftButton);
        QCOMPARE(w.dialogs.questions.size(), 2);
    }
    QCOMPARE(w.dialogs.warnings.size(), !writable ? 1 : 0);
    if (!writable)
        QVERIFY(w.dialogs.warnings.first().contains(QStringLiteral("等高线图1.BMP")));
}

void TestForm::secondInstanceIsRefused()
{
    const QString folder = freshFolder(QStringLiteral("instance"), false);
    const QString lock = m_dir.filePath(QStringLiteral("instance.lock"));
    Window first(folder, lock);
    QVERIFY(first.loaded);
    Window second(folder, lock);
    QVERIFY(!second.loaded);
    QCOMPARE(second.dialogs.warnings,
             QStringList{QStringLiteral("程序已运行|程序正在运行，请检查窗口是否被最小化。")});
    first.form.reset();
    Window third(folder, lock);
    QVERIFY(third.loaded);
}

void TestForm::staleAndUnwritableLocks()
{
    const QString folder = freshFolder(QStringLiteral("locks"), false);
    // A lock left by a process that no longer runs is taken over.
    const QString stale = m_dir.filePath(QStringLiteral("stale.lock"));
    {
        QFile f(stale);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::number(0x7ffffff0) + "\ntesmora\n" +
                QSysInfo::machineHostName().toUtf8() + "\n");
    }
    Window afterCrash(folder, stale);
    QVERIFY(afterCrash.loaded);
    // A lock that cannot be written does not keep the program from starting.
    Window noLock(folder, m_dir.filePath(QStringLiteral("missing-folder/x/tesmora.lock")));
    QVERIFY(noLock.loaded);
    QVERIFY(noLock.dialogs.warnings.isEmpty());
}

void TestForm::tabCyclesThroughTheWindow()
{
    const QString folder = freshFolder(QStringLiteral("tab"), true);
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    f.Picture1->setFocus();
    const QList<QWidget *> order{f.grid,    f.Command1, f.Command2, f.Check1, f.Check2,
                                 f.Check3,  f.Text2,    f.Text3,    f.Text4,  f.Text1,
                                 f.UpDown1, f.Picture1, f.grid};
    for (QWidget *expected : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected);
    }
    // Tab out of a cell being typed settles it and leaves the grid too, staying on the record.
    f.grid->setCurrentIndex(f.model().index(0, 5));
    f.grid->edit(f.grid->currentIndex());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("7.5"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.Command1));
    QCOMPARE(f.currentRecord(), 0);
    QCOMPARE(
        readCell(dbIn(folder), QStringLiteral("SELECT Y5 FROM 等高线表 WHERE ID = 1")).toDouble(),
        7.5);
}

void TestForm::halfTypedNumberKeepsItsEditor()
{
    const QString folder = freshFolder(QStringLiteral("half-typed"), true);
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    f.grid->setCurrentIndex(f.model().index(0, 5));
    f.grid->edit(f.grid->currentIndex());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("-"));
    QTest::mouseClick(f.Data1->nextButton(), Qt::LeftButton);
    // Still on the record, still typing: nothing vanished and nothing was written.
    QCOMPARE(f.currentRecord(), 0);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor && editor->parentWidget() == f.grid->viewport());
    QCOMPARE(editor->text(), QStringLiteral("-"));
    QCOMPARE(
        readCell(dbIn(folder), QStringLiteral("SELECT Y5 FROM 等高线表 WHERE ID = 1")).toDouble(),
        13.9);
    // Moved away in the grid itself, the entry is dropped with a word.
    f.grid->setCurrentIndex(f.model().index(1, 5));
    QCOMPARE(f.currentRecord(), 1);
    QVERIFY(!w.dialogs.warnings.isEmpty());
    QVERIFY(w.dialogs.warnings.last().contains(QStringLiteral("已放弃")));
}

void TestForm::unwrittenEditLandsAtTheNextRecordChange()
{
    const QString folder = freshFolder(QStringLiteral("retry"), true);
    Window w(folder);
    Form1 &f = *w.form;
    {
        const OtherWriter other(dbIn(folder));
        QVERIFY(other.holding());
        QVERIFY(f.model().setData(f.model().index(0, 5), QStringLiteral("7.3"), Qt::EditRole));
        QCOMPARE(f.model().pendingCount(), 1);
        QCOMPARE(w.dialogs.warnings.size(), 1);
        // Still held: the next record change tries again and stays quiet about the same reason.
        f.moveTo(1);
        QCOMPARE(f.model().pendingCount(), 1);
        QCOMPARE(w.dialogs.warnings.size(), 1);
    }
    f.moveTo(2);
    QCOMPARE(f.model().pendingCount(), 0);
    QCOMPARE(w.dialogs.notes.size(), 1);
    QVERIFY(w.dialogs.notes.first().contains(QStringLiteral("已写入")));
    QCOMPARE(
        readCell(dbIn(folder), QStringLiteral("SELECT Y5 FROM 等高线表 WHERE ID = 1")).toDouble(),
        7.3);
    // Back on the record, its map comes from the value now in the file.
    f.moveTo(0);
    QCOMPARE(f.state().Response[4], 7.3f);
}

void TestForm::halfTypedNewRecordHasNoMap()
{
    const QString folder = freshFolder(QStringLiteral("new-record"), true);
    Window w(folder);
    Form1 &f = *w.form;
    f.moveTo(2);
    QVERIFY(!f.Text2->text().isEmpty());
    const int newRow = f.model().rowCount() - 1;
    QVERIFY(f.model().isNewRecordRow(newRow));
    f.grid->setCurrentIndex(f.model().index(newRow, 1));
    QVERIFY(f.model().setData(f.model().index(newRow, 1), QStringLiteral("20"), Qt::EditRole));
    QCOMPARE(f.currentRecord(), newRow);
    // One response of eleven: no equation, no R, no S, no contours from the record before.
    QVERIFY(f.Text2->text().isEmpty() && f.Text3->text().isEmpty() && f.Text4->text().isEmpty());
    QVERIFY(f.state().ResponseTitle.isEmpty());
    // Its ID is empty too: saving says why and writes nothing.
    QTest::mouseClick(f.Command2, Qt::LeftButton);
    QVERIFY(w.dialogs.warnings.last().contains(QStringLiteral("ID")));
    QCOMPARE(QDir(folder).entryList({QStringLiteral("*.BMP")}).size(), 0);
}

void TestForm::failureCaptionFits()
{
    const QString folder = freshFolder(QStringLiteral("caption"), false);
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const auto *caption = f.Data1->findChild<QLabel *>();
    QVERIFY(caption);
    QVERIFY(caption->fontMetrics().horizontalAdvance(caption->text()) <=
            caption->contentsRect().width());
}

void TestForm::analysisFollowsTheRecordAndMarksWaitForTheNext()
{
    const QString folder = freshFolder(QStringLiteral("analysis"), true);
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    f.showAnalysis();
    QVERIFY(f.analysisDialog()->isVisible() && !f.analysisDialog()->isModal());
    QVERIFY(f.analysisDialog()->text().contains(QStringLiteral("记录 ID 1")));
    QVERIFY(f.analysisDialog()->text().contains(QStringLiteral("极大值")));
    f.moveTo(1);
    QVERIFY(f.analysisDialog()->text().contains(QStringLiteral("记录 ID 2")));
    // Marks are off by default and come with the next record change, not before.
    const auto black = [&] {
        const QImage image = f.surface().Image();
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == qRgb(0, 0, 0);
        return n;
    };
    const int plain = black();
    f.state().Marks.runs = true;
    QCOMPARE(black(), plain);
    f.moveTo(0);
    f.moveTo(1);
    QVERIFY(black() > plain);
}

void TestForm::exportInEachFormat_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("magic");
    QTest::newRow("png") << "png" << QByteArray("\x89PNG");
    QTest::newRow("svg") << "svg" << QByteArray("<?xml");
    QTest::newRow("pdf") << "pdf" << QByteArray("%PDF");
    QTest::newRow("bmp") << "bmp" << QByteArray("BM");
}

void TestForm::exportInEachFormat()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, magic);
    const QString folder = freshFolder(QStringLiteral("export-") + suffix, true);
    Window w(folder);
    Form1 &f = *w.form;
    w.dialogs.saveAs = folder + QStringLiteral("/map.") + suffix;
    f.exportMap();
    QFile file(w.dialogs.saveAs);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith(magic));
    QVERIFY(w.dialogs.warnings.isEmpty());
    // Overlaid maps are pixels only: a vector export says so and writes nothing.
    QVERIFY(QFile::remove(w.dialogs.saveAs));
    f.Check3->setChecked(true);
    f.exportMap();
    const bool vector = suffix == QLatin1String("svg") || suffix == QLatin1String("pdf");
    QCOMPARE(QFile::exists(w.dialogs.saveAs), !vector);
    QCOMPARE(w.dialogs.warnings.size(), vector ? 1 : 0);
}

void TestForm::accessFileIsConvertedOnlyWhenAsked_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("convert") << true;
    QTest::newRow("keep") << false;
}

void TestForm::accessFileIsConvertedOnlyWhenAsked()
{
    QFETCH(bool, answer);
    const QString folder = freshFolder(QStringLiteral("access-%1").arg(answer), false);
    QVERIFY(QFile::copy(QStringLiteral(TESMORA_TEST_DATA "/access/V1997_test.mdb"), dbIn(folder)));
    const QByteArray original = fileDigest(dbIn(folder));
    const QString backup = folder + QStringLiteral("/配方数据.Access备份.mdb");
    {
        QFile taken(backup); // a backup name already in use is never written over
        QVERIFY(taken.open(QIODevice::WriteOnly) && taken.write("earlier") == 7);
    }
    Window w(folder, QString(), answer, {0});
    QCOMPARE(w.dialogs.questions.size(), answer ? 2 : 1); // converted: no experiment table
    QVERIFY(w.dialogs.questions.first().contains(QStringLiteral("Access 数据库文件")));
    const QString second = folder + QStringLiteral("/配方数据.Access备份2.mdb");
    if (answer) {
        // The original under its new name, whole; the conversion under the old one.
        QCOMPARE(fileDigest(second), original);
        QVERIFY(readCell(dbIn(folder), QStringLiteral("SELECT count(*) FROM Table1")).toInt() == 2);
    } else {
        QCOMPARE(fileDigest(dbIn(folder)), original);
        QVERIFY(!QFile::exists(second));
    }
    QCOMPARE(fileDigest(backup), QCryptographicHash::hash("earlier", QCryptographicHash::Sha256));
    // This file holds no experiment table: converted, it got an empty one; kept, the
    // read-only copy has none, and the window says so with the file's own name.
    if (answer)
        QCOMPARE(w.form->Data1->caption(), QStringLiteral("  选择数据"));
    else
        QVERIFY(w.form->Data1->caption().contains(QStringLiteral("无法打开")));
}

void TestForm::declinedAccessFileIsShownReadOnly()
{
    // A stand-in for the converter that gives an experiment table: the sample database.
    const QString folder = freshFolder(QStringLiteral("access-read-only"), false);
    QVERIFY(QFile::copy(QStringLiteral(TESMORA_TEST_DATA "/access/V1997_test.mdb"), dbIn(folder)));
    const QByteArray original = fileDigest(dbIn(folder));
    const QString tool = m_dir.filePath(QStringLiteral("fake-import.sh"));
    {
        QFile script(tool);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexec '" TESMORA_CLI "' sample --out \"$4\"\n");
    }
    QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::ExeOwner));
    FakeDialogs dialogs;
    dialogs.answer = false;
    Form1Options options;
    options.appPath = folder;
    options.dialogs = &dialogs;
    options.importTool = tool;
    Form1 f(options);
    QVERIFY(f.Form_Load());
    QVERIFY(f.table().count() > 0);
    QCOMPARE(f.Data1->caption(), QStringLiteral("  只读数据"));
    QVERIFY(!(f.model().flags(f.model().index(0, 5)) & Qt::ItemIsEditable));
    QVERIFY(!f.model().removeRecords({0}));
    QCOMPARE(fileDigest(dbIn(folder)), original);
    QCOMPARE(f.Text3->text(), QStringLiteral("0.992")); // the maps are there all the same
}

QTEST_MAIN(TestForm)
#include "test_form.moc"
