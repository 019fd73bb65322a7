// The window as a person uses it, data first: nothing typed is lost (questions, half-typed
// numbers, failed writes and deletes, crashes), what is shown is what the file holds, and an
// Access file becomes the program's database only when asked.
#include "shell/dialogs.h"
#include "store/sample_db.h"
#include "window_support.h"

#include <QAccessible>
#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestWindow : public QObject
{
    Q_OBJECT
private slots:
    void questionsKeepWhatWasTyped_data();
    void questionsKeepWhatWasTyped();
    void deleteWholeRowsOnly();
    void failedDeleteKeepsThePlace();
    void editSurvives_data();
    void editSurvives();
    void halfTypedNumberKeepsItsEditor();
    void unwrittenEditLandsAtTheNextRecordChange();
    void writeToTheCurrentRecordRedrawsIt();
    void halfTypedNewRecordHasNoMap();
    void firstRecordTypedIsDrawn();
    void databaseWithoutExperimentTableOffersOne();
    void accessFileIsConvertedOnlyWhenAsked_data();
    void accessFileIsConvertedOnlyWhenAsked();
    void declinedAccessFileIsShownReadOnly();

private:
    QString freshFolder(const QString &name, bool withDatabase)
    {
        return windowFolder(m_dir.filePath(name), withDatabase);
    }
    QTemporaryDir m_dir;
};

// Every question whose Yes gives something up (typing, records, the file as it is) answers No
// to Enter and Escape, and stands where the window is (or mid-screen before it is shown).
void TestWindow::questionsKeepWhatWasTyped_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("windowShown");
    QTest::newRow("enter-before-the-window") << int(Qt::Key_Return) << false;
    QTest::newRow("escape-over-the-window") << int(Qt::Key_Escape) << true;
}

void TestWindow::questionsKeepWhatWasTyped()
{
    QFETCH(int, key);
    QFETCH(bool, windowShown);
    QWidget window;
    window.setGeometry(300, 200, 400, 300);
    if (windowShown) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    MessageBoxDialogs dialogs(&window);
    QPoint centre;
    const auto answer = [&] {
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            centre = box->geometry().center();
            QTest::keyClick(box, Qt::Key(key));
        });
    };
    answer();
    QVERIFY(
        !dialogs.askYesNo(QStringLiteral("退出"), QStringLiteral("仍要退出并放弃这些修改吗？")));
    const QPoint expected = windowShown ? window.frameGeometry().center()
                                        : window.screen()->availableGeometry().center();
    QVERIFY2((centre - expected).manhattanLength() < 40,
             qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
    answer();
    QCOMPARE(
        dialogs.askChoice(QStringLiteral("没有实验表"), QStringLiteral("?"),
                          {QStringLiteral("导入"), QStringLiteral("其他"), QStringLiteral("取消")}),
        2);
}

void TestWindow::failedDeleteKeepsThePlace()
{
    const QString folder = freshFolder(QStringLiteral("delete-locked"), true);
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    f.moveTo(1);
    for (int row : {1, 2})
        f.grid->selectionModel()->select(f.model().index(row, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const OtherWriter other(dbIn(folder));
    QVERIFY(other.holding());
    QTest::keyClick(f.grid, Qt::Key_Delete);
    QCOMPARE(w.dialogs.warnings.size(), 1);
    QVERIFY(!w.dialogs.warnings.first().contains(QStringLiteral("locked"))); // said in Chinese
    QCOMPARE(f.currentRecord(), 1);
    QCOMPARE(f.grid->currentIndex().row(), 1);
    QCOMPARE(f.grid->selectionModel()->selectedRows().size(), 2);
    QCOMPARE(f.table().count(), 3);
}

// A landed write to the shown record redraws it, as a record change would, without asking
// for its colour again; the map is then the one a fresh window draws from the file.
void TestWindow::writeToTheCurrentRecordRedrawsIt()
{
    const QString folder = freshFolder(QStringLiteral("redraw"), true);
    Window w(folder);
    Form1 &f = *w.form;
    f.Check1->setChecked(false); // colours from the picker
    f.moveTo(1);
    f.moveTo(0);
    const int asked = w.picker.shown;
    const QString before = f.Text2->text();
    QVERIFY(f.model().setData(f.model().index(0, f.table().columnIndex(QStringLiteral("Y5"))),
                              QStringLiteral("20"), Qt::EditRole));
    QVERIFY(f.Text2->text() != before);
    QCOMPARE(w.picker.shown, asked);
    const QString text2 = f.Text2->text(), text3 = f.Text3->text();
    const QImage redrawn = f.surface().Image();
    f.moveTo(1);
    f.moveTo(0);
    QCOMPARE(text2, f.Text2->text());
    QCOMPARE(text3, f.Text3->text());
    QCOMPARE(redrawn, f.surface().Image());
}

// Into an empty table a newcomer types the first record: once its eleven responses are in,
// it is drawn without moving anywhere.
void TestWindow::firstRecordTypedIsDrawn()
{
    const QString folder = freshFolder(QStringLiteral("first-record"), false);
    QVERIFY(sample_db::writeEmpty(dbIn(folder)));
    Window w(folder);
    Form1 &f = *w.form;
    const QStringList values = QStringList{QStringLiteral("1")} << asTexts(HardnessY);
    for (int column = 0; column < values.size(); ++column) {
        const int row = column == 0 ? 0 : f.currentRecord();
        if (column == 0)
            f.grid->setCurrentIndex(f.model().index(0, 0));
        QVERIFY(f.model().setData(f.model().index(row, column), values[column], Qt::EditRole));
    }
    QCOMPARE(f.table().count(), 1);
    QCOMPARE(f.currentRecord(), 0);
    QCOMPARE(f.Text3->text(), QStringLiteral("0.992"));
}

// A database without the experiment table is no dead end: over the grid, a new experiment
// table (the file's own tables kept) and an import are offered, reachable by a screen reader.
void TestWindow::databaseWithoutExperimentTableOffersOne()
{
    const QString folder = freshFolder(QStringLiteral("no-table"), false);
    QVERIFY(runSql(dbIn(folder), {QStringLiteral("CREATE TABLE 其他 (a)"),
                                  QStringLiteral("INSERT INTO 其他 VALUES (42)")}));
    Window w(folder);
    Form1 &f = *w.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QStringList offered;
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(&f);
    std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
        for (int i = 0; node && i < node->childCount(); ++i) {
            QAccessibleInterface *child = node->child(i);
            if (child && child->role() == QAccessible::Button && !child->state().invisible)
                offered << child->text(QAccessible::Name);
            walk(child);
        }
    };
    walk(window);
    QVERIFY2(offered.contains(QStringLiteral("新建实验表")) &&
                 offered.contains(QStringLiteral("导入 Access 文件…")),
             qPrintable(offered.join(QLatin1Char(','))));
    QPushButton *create = nullptr;
    for (QPushButton *b : f.findChildren<QPushButton *>())
        create = b->text() == QStringLiteral("新建实验表") ? b : create;
    QVERIFY(create && create->isVisible());
    // The reason stands over the grid with the offers, and goes when the table is there.
    const auto reasons = [&] {
        QStringList shown;
        for (const QLabel *label : f.findChildren<QLabel *>())
            if (label->isVisible() && !f.Data1->isAncestorOf(label) &&
                label->text().contains(QStringLiteral("等高线表")))
                shown << label->text();
        return shown;
    };
    QCOMPARE(reasons().size(), 1);
    QTest::mouseClick(create, Qt::LeftButton);
    QCOMPARE(reasons(), QStringList());
    QCOMPARE(f.Data1->caption(), QStringLiteral("  选择数据"));
    QCOMPARE(readCell(dbIn(folder), QStringLiteral("SELECT a FROM 其他")).toInt(), 42);
    QCOMPARE(readCell(dbIn(folder), QStringLiteral("SELECT count(*) FROM 等高线表")).toInt(), 0);
}

void TestWindow::deleteWholeRowsOnly()
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

void TestWindow::editSurvives_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("exit-button") << "exit";
    QTest::newRow("close-box") << "close";
    QTest::newRow("navigation") << "navigate";
}

void TestWindow::editSurvives()
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

void TestWindow::halfTypedNumberKeepsItsEditor()
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
    // A click on another cell or on a row's header keeps it too, the reason in its tool tip.
    const QRect other = f.grid->visualRect(f.model().index(1, 5));
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, other.center());
    QTest::mouseClick(f.grid->verticalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(5, f.grid->verticalHeader()->sectionViewportPosition(2) + 3));
    QCOMPARE(f.currentRecord(), 0);
    QCOMPARE(QApplication::focusWidget(), editor);
    QCOMPARE(editor->text(), QStringLiteral("-"));
    QVERIFY(editor->toolTip().contains(QStringLiteral("还不是数字")));
    QVERIFY(w.dialogs.warnings.isEmpty());
    // Finished, it is written when the cell is left.
    QTest::keyClicks(editor, QStringLiteral("2"));
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, other.center());
    QCOMPARE(f.currentRecord(), 1);
    QCOMPARE(
        readCell(dbIn(folder), QStringLiteral("SELECT Y5 FROM 等高线表 WHERE ID = 1")).toDouble(),
        -2.0);
}

void TestWindow::unwrittenEditLandsAtTheNextRecordChange()
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
        // The unwritten cell is marked, its neighbours are not.
        const auto marked = [&](int column) {
            return f.model().data(f.model().index(0, column), Qt::BackgroundRole).isValid();
        };
        QVERIFY(marked(5) && !marked(4) && !marked(6));
        // Still held: the next record change tries again and stays quiet about the same reason.
        f.moveTo(1);
        QCOMPARE(f.model().pendingCount(), 1);
        QCOMPARE(w.dialogs.warnings.size(), 1);
        // Closing asks before the typing is given up, and No keeps the window and the typing.
        w.dialogs.answer = false;
        QVERIFY(!f.close());
        QCOMPARE(w.dialogs.questions.size(), 1);
        QVERIFY(w.dialogs.questions.first().startsWith(QStringLiteral("未保存的修改|有 1 处修改")));
        QCOMPARE(f.model().pendingCount(), 1);
    }
    // Nothing else happens: the window tries again by itself and says when it landed.
    QTRY_COMPARE_WITH_TIMEOUT(f.model().pendingCount(), 0, 10000);
    f.moveTo(2);
    QCOMPARE(w.dialogs.notes.size(), 1);
    QVERIFY(w.dialogs.notes.first().contains(QStringLiteral("已写入")));
    QCOMPARE(
        readCell(dbIn(folder), QStringLiteral("SELECT Y5 FROM 等高线表 WHERE ID = 1")).toDouble(),
        7.3);
    // Back on the record, its map comes from the value now in the file.
    f.moveTo(0);
    QCOMPARE(f.state().Response[4], 7.3f);
}

void TestWindow::halfTypedNewRecordHasNoMap()
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

void TestWindow::accessFileIsConvertedOnlyWhenAsked_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("convert") << true;
    QTest::newRow("keep") << false;
}

void TestWindow::accessFileIsConvertedOnlyWhenAsked()
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

void TestWindow::declinedAccessFileIsShownReadOnly()
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

QTEST_MAIN(TestWindow)
#include "test_window.moc"
