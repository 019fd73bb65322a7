// Formulation work in the window as a person does it: factors in real units defined for
// several records at once, the answers in real units, the run sheet saved; goals on several
// responses, the best formulation, the goal map.

#include "plot/raster_surface.h"
#include "shell/analysis_dialog.h"
#include "shell/factor_dialog.h"
#include "shell/optimise_dialog.h"
#include "shell/run_sheet_dialog.h"
#include "store/factor_table.h"
#include "window_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestWindowFormulation : public QObject
{
    Q_OBJECT
private slots:
    void factorsDefinedSavedAndShown();
    void goalsOptimisedAndDrawn();
    void mapMenuTurnsMarksOn();
    void analysisOpensBesideTheWindow_data();
    void analysisOpensBesideTheWindow();
    void analysisNamesTheOptimumOrALevelSurface();

private:
    QTemporaryDir m_dir;
};

void TestWindowFormulation::factorsDefinedSavedAndShown()
{
    const QString folder = windowFolder(m_dir.filePath(QStringLiteral("units")), true);
    Window w(folder);
    Form1 &f = *w.form;
    const auto stored = [&] {
        return readCell(dbIn(folder), QStringLiteral("SELECT count(*) FROM 因素表"));
    };

    // Typed with equal levels: said in the dialog, nothing written, the typing kept.
    f.editFactors();
    auto *dialog = f.findChild<FactorDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    const QStringList typed{"温度", "°C", "60", "60", "时间", "min", "30", "10"};
    QLineEdit *const boxes[] = {dialog->name[0], dialog->unit[0], dialog->low[0], dialog->high[0],
                                dialog->name[1], dialog->unit[1], dialog->low[1], dialog->high[1]};
    for (int i = 0; i < 8; ++i) {
        QVERIFY(boxes[i]->isVisible()); // in the dialog, to type in
        boxes[i]->setText(typed[i]);    // typed text, Chinese included
    }
    dialog->records->item(1)->setCheckState(Qt::Checked); // record 2 shares the runs
    QPushButton *ok = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(dialog->isVisible());
    QVERIFY(!stored().isValid()); // no table: nothing was created
    QCOMPARE(dialog->high[0]->text(), QStringLiteral("60"));

    // Mended: both records get it in one step, and the dialog closes.
    dialog->high[0]->setText(QStringLiteral("80"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QTRY_VERIFY(!f.findChild<FactorDialog *>());
    QCOMPARE(stored().toInt(), 2);

    // Real units from the next record change; a record without factors says it stays coded.
    f.setRealUnits(true);
    f.showAnalysis();
    f.moveTo(1);
    QVERIFY(f.Picture1->toolTip().isEmpty());
    QVERIFY(f.analysisDialog()->text().contains(QStringLiteral("温度 = ")));
    f.moveTo(2);
    QVERIFY(!f.Picture1->toolTip().isEmpty());
    QVERIFY(!f.analysisDialog()->text().contains(QStringLiteral("实际单位")));

    // The run sheet of record 1: real settings, an order drawn from the seed shown, saved.
    f.moveTo(0);
    f.showRunSheet();
    auto *sheet = f.findChild<RunSheetDialog *>();
    QVERIFY(sheet);
    QVERIFY(sheet->text->toPlainText().contains(QStringLiteral("84.142")));
    QVERIFY(!sheet->seed->isEnabled());
    sheet->randomise->click();
    QVERIFY(sheet->seed->isEnabled());
    sheet->seed->setValue(42);
    QCOMPARE(sheet->sheet()[0].order, runSheet({}, 42u)[0].order);
    w.dialogs.saveAs = m_dir.filePath(QStringLiteral("sheet.csv"));
    QTest::mouseClick(sheet->csvButton, Qt::LeftButton);
    QFile csv(w.dialogs.saveAs);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QVERIFY(csv.readAll().startsWith("run,order,X1,X2,温度 (°C),时间 (min),response\n"));
    QVERIFY(w.dialogs.warnings.isEmpty());
    // A file that cannot be written is said so.
    w.dialogs.saveAs = m_dir.filePath(QStringLiteral("no/such/folder/sheet.pdf"));
    QTest::mouseClick(sheet->pdfButton, Qt::LeftButton);
    QCOMPARE(w.dialogs.warnings.size(), 1);
}

void TestWindowFormulation::goalsOptimisedAndDrawn()
{
    const QString folder = windowFolder(m_dir.filePath(QStringLiteral("goals")), true);
    Window w(folder);
    Form1 &f = *w.form;
    f.showOptimise();
    OptimiseDialog *dialog = f.optimiseDialog();
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(!dialog->overlayButton->isEnabled()); // no goal yet
    // Hardness at least 13 (fully from 15), viscosity near 3.4: typed into the table.
    QTableWidget *t = dialog->table;
    const auto set = [&](int row, int column, const QString &text) {
        t->item(row, column)->setText(text);
    };
    t->item(0, 0)->setCheckState(Qt::Checked);
    set(0, 4, QStringLiteral("13"));
    set(0, 6, QStringLiteral("15"));
    t->item(1, 0)->setCheckState(Qt::Checked);
    qobject_cast<QComboBox *>(t->cellWidget(1, 3))->setCurrentIndex(2); // 目标值
    set(1, 4, QStringLiteral("3"));
    set(1, 5, QStringLiteral("3.4"));
    set(1, 6, QStringLiteral("3.8"));
    // The answer follows the typing a moment later, without a button.
    QTRY_VERIFY(dialog->resultText().startsWith(QStringLiteral("最优点：")));
    QVERIFY(dialog->resultText().contains(QStringLiteral("D = 0.97194")));
    QVERIFY(!readCell(dbIn(folder), QStringLiteral("SELECT count(*) FROM 优化目标")).isValid());

    // The goal map in the map area, shaded where both goals are met; the goals kept.
    QTest::mouseClick(dialog->overlayButton, Qt::LeftButton);
    const QImage &map = f.surface().Image();
    const QRgb fill = toRgb(DefaultGoalFill);
    const auto shaded = [&] {
        int n = 0;
        for (int y = 0; y < map.height(); ++y)
            for (int x = 0; x < map.width(); ++x)
                n += map.pixel(x, y) == fill;
        return n;
    };
    QVERIFY(shaded() > 100);
    QCOMPARE(readCell(dbIn(folder), QStringLiteral("SELECT count(*) FROM 优化目标")).toInt(), 2);
    QVERIFY(w.dialogs.warnings.isEmpty());
    // New goals that cannot be kept (another program holds the file): said, the old ones stay.
    set(1, 5, QStringLiteral("3.5"));
    {
        const OtherWriter other(dbIn(folder));
        QVERIFY(other.holding());
        QTest::mouseClick(dialog->overlayButton, Qt::LeftButton);
        QCOMPARE(w.dialogs.warnings.size(), 1);
        QVERIFY2(w.dialogs.warnings[0].contains(QStringLiteral("无法把优化目标保存到")),
                 qPrintable(w.dialogs.warnings[0]));
    }
    QCOMPARE(readCell(dbIn(folder), QStringLiteral("SELECT group_concat(Target) FROM 优化目标"))
                 .toString(),
             QStringLiteral("3.4"));
    set(1, 5, QStringLiteral("3.4"));
    // A record change ends it, as it ends an overlay; the goals come back with the dialog.
    f.moveTo(1);
    QCOMPARE(shaded(), 0);
    dialog->close();
    QTRY_VERIFY(!f.optimiseDialog());
    f.showOptimise();
    QCOMPARE(f.optimiseDialog()->table->item(1, 5)->text(), QStringLiteral("3.4"));
    QVERIFY(f.optimiseDialog()->resultText().contains(QStringLiteral("D = 0.97194")));
}

// The map's menu turns each mark on for the next record change, one at a time.
void TestWindowFormulation::mapMenuTurnsMarksOn()
{
    Window w(windowFolder(m_dir.filePath(QStringLiteral("marks")), true));
    Form1 &f = *w.form;
    const std::pair<const char *, bool MapMarks::*> marks[] = {{"标出驻点", &MapMarks::stationary},
                                                               {"标出最优点", &MapMarks::optimum},
                                                               {"标出试验点", &MapMarks::runs}};
    for (const auto &[text, mark] : marks) {
        QVERIFY(!(f.state().Marks.*mark));
        bool found = false;
        QTimer::singleShot(0, [&, text = text] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            for (QAction *action : menu ? menu->actions() : QList<QAction *>())
                if (action->text() == QString::fromUtf8(text) && action->isCheckable()) {
                    found = true;
                    action->trigger();
                }
            if (menu)
                menu->close();
        });
        emit f.Picture1->customContextMenuRequested(QPoint(10, 10));
        QVERIFY2(found, text);
        QVERIFY(f.state().Marks.*mark);
    }
}

void TestWindowFormulation::analysisOpensBesideTheWindow_data()
{
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QPoint>("at");
    const QRect screen(0, 0, 1280, 800);
    QTest::newRow("room-on-the-right") << QRect(0, 0, 480, 370) << QPoint(480, 0);
    QTest::newRow("room-on-the-left") << QRect(700, 100, 480, 370) << QPoint(80, 100);
    QTest::newRow("no-room-either-side") << QRect(300, 500, 700, 370) << QPoint(660, 240);
}

void TestWindowFormulation::analysisOpensBesideTheWindow()
{
    QFETCH(QRect, window);
    QFETCH(QPoint, at);
    QCOMPARE(besideWindow(window, QSize(620, 560), QRect(0, 0, 1280, 800)), at);
}

void TestWindowFormulation::analysisNamesTheOptimumOrALevelSurface()
{
    // A curved surface: its highest and lowest places over the plotted square, both at corners
    // here. A level one has no place of its own, only its value everywhere.
    const QString curved = analysisText(analysis::analyse(
        {11.12, 13.22, 10.56, 10.84, 12.3, 10.45, 10.56, 12.49, 11.83, 11.52, 11.79}));
    QVERIFY2(curved.contains(QStringLiteral("\n最大值 13.9667：X1 = 1.414，X2 = -1.414\n"
                                            "最小值 10.1431：X1 = 1.414，X2 = 1.414\n")),
             qPrintable(curved));
    QVERIFY(!curved.contains(QStringLiteral("曲面水平")));
    analysis::Responses level{};
    level.fill(5);
    const QString flat = analysisText(analysis::analyse(level));
    QVERIFY2(flat.contains(QStringLiteral("\n曲面水平：处处为 5\n")), qPrintable(flat));
    QVERIFY(!flat.contains(QStringLiteral("最大值")));
}

QTEST_MAIN(TestWindowFormulation)
#include "test_window_formulation.moc"
