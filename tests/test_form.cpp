#include "recording_surface.h"
#include "shell/form1.h"
#include "store/sample_db.h"
#include "test_support.h"
#include "window_support.h"

#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

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
    void save_data();
    void save();
    void secondInstanceIsRefused();
    void staleAndUnwritableLocks();
    void tabCyclesThroughTheWindow();
    void analysisFollowsTheRecordAndMarksWaitForTheNext();
    void exportInEachFormat_data();
    void exportInEachFormat();

private:
    QString freshFolder(const QString &name, bool withDatabase);
    QTemporaryDir m_dir;
};

QString TestForm::freshFolder(const QString &name, bool withDatabase)
{
    return windowFolder(m_dir.filePath(name), withDatabase);
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
    f.show(); // the caption saying so fits between the navigator's arrows
    const auto *caption = f.Data1->findChild<QLabel *>();
    QVERIFY(caption->fontMetrics().horizontalAdvance(caption->text()) <=
            caption->contentsRect().width());
    QPushButton *create = nullptr;
    for (QPushButton *b : f.findChildren<QPushButton *>())
        create = b->text() == QStringLiteral("新建空数据库") ? b : create;
    QVERIFY(create && create->isVisible());
    const QRect onView(f.grid->viewport()->mapFrom(create->parentWidget(), create->pos()),
                       create->size());
    QVERIFY(f.grid->viewport()->rect().contains(onView)); // wholly on view
    QTest::mouseClick(create, Qt::LeftButton);
    QVERIFY(QFile::exists(dbIn(folder)));
    QVERIFY(!create->isVisible());
    QCOMPARE(f.model().rowCount(), 1); // the row for adding the first record
    QCOMPARE(f.Data1->caption(), QStringLiteral("  选择数据"));
    QVERIFY(f.model().setData(f.model().index(0, 0), QStringLiteral("7"), Qt::EditRole));
    QCOMPARE(readCell(dbIn(folder), QStringLiteral("SELECT ID FROM 等高线表")).toInt(), 7);
    // Enter on a focused button presses it, as Space and a click do: "存图" asks, "退出" ends.
    f.Command2->setFocus();
    QTest::keyClick(f.Command2, Qt::Key_Return);
    QTRY_COMPARE(w.dialogs.questions.size(), 1);
    f.Command1->setFocus();
    QTest::keyClick(f.Command1, Qt::Key_Enter);
    QTRY_VERIFY(!f.isVisible());
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
    // The map is the 4095-unit square, one surface pixel per device pixel.
    QCOMPARE(f.Picture1->width(), f.twips(4095));
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
    QTest::mouseClick(f.Data1->previousButton(), Qt::LeftButton);
    QCOMPARE(f.state().RecordId, QStringLiteral("2")); // the record before, not an ID less
    QCOMPARE(f.Data1->findChild<QLabel *>()->toolTip(), QStringLiteral("记录 2 / 3"));
    // A row change in the grid is a record change too.
    f.grid->setCurrentIndex(f.model().index(0, 3));
    QCOMPARE(f.state().RecordId, QStringLiteral("1"));
    QCOMPARE(f.Text3->text(), QStringLiteral("0.992"));
    // At the first record there is nothing before it.
    QVERIFY(!f.Data1->firstButton()->isEnabled() && !f.Data1->previousButton()->isEnabled());
    QVERIFY(f.Data1->lastButton()->isEnabled());
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
    // The wheel turned away from the user is one line more.
    QWheelEvent up(QPointF(5, 5), f.UpDown1->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f.UpDown1, &up);
    QCOMPARE(f.state().LineCount, 2.0f);
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
    // A bitmap takes the one spelling the save button writes.
    const bool bitmap = suffix == QLatin1String("bmp");
    const QString written = bitmap ? folder + QStringLiteral("/map.BMP") : w.dialogs.saveAs;
    QCOMPARE(QDir(folder).entryList({QStringLiteral("map.*")}),
             QStringList{QFileInfo(written).fileName()});
    QFile file(written);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith(magic));
    QVERIFY(w.dialogs.warnings.isEmpty());
    QVERIFY(w.dialogs.offeredFormats.contains(QStringLiteral("*.svg")));
}

QTEST_MAIN(TestForm)
#include "test_form.moc"
