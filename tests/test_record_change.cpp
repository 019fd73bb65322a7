#include "pipeline/record_change.h"
#include "recording_surface.h"

#include <QTest>

namespace {

FormState startedState()
{
    return StartedFormState(QStringLiteral("/opt/t"));
}

MemoryRecord series(QVariant id, std::array<double, 11> y, QVariant title)
{
    MemoryRecord r;
    r.set(QStringLiteral("ID"), id);
    for (int i = 0; i < 11; ++i)
        r.set(QStringLiteral("Y%1").arg(i + 1), y[std::size_t(i)]);
    r.set(QStringLiteral("Y12"), title);
    return r;
}

const std::array<double, 11> Hardness{12.1, 13.4, 11.8, 14.2, 13.9, 11.5,
                                      13.0, 12.2, 15.1, 14.8, 15.3};
const QVariant Empty = QVariant(QMetaType(QMetaType::Double));

} // namespace

class TestRecordChange : public QObject
{
    Q_OBJECT
private slots:
    void automaticColour_data();
    void automaticColour();
    void pickerColourWhenAutomaticIsOff();
    void emptyResponseKeepsThePreviousValue();
    void emptyTitleKeepsThePreviousTitle();
    void unreadableIdKeepsName_data();
    void unreadableIdKeepsName();
    void missingFieldsAreSkipped();
    void overlayKeepsEarlierMaps();
    void layersRunInOrder();
    void programFolderAndSaveName_data();
    void programFolderAndSaveName();
};

void TestRecordChange::automaticColour_data()
{
    QTest::addColumn<QVariant>("id");
    QTest::addColumn<int>("colour");
    QTest::newRow("id-12-red") << QVariant(12.0) << 0x0000FF;
    QTest::newRow("id-3") << QVariant(3.0) << 0x808000;
    QTest::newRow("id-2.5-is-index-2") << QVariant(2.5) << 0x008000;
    QTest::newRow("id-3.5-is-index-4") << QVariant(3.5) << 0x000080;
    QTest::newRow("id-16-keeps-previous") << QVariant(16.0) << 0xFF0000; // index 9 before
    QTest::newRow("id-minus-1-keeps-previous") << QVariant(-1.0) << 0xFF0000;
    QTest::newRow("empty-id-keeps-previous") << Empty << 0xFF0000;
    QTest::newRow("text-id-keeps-previous") << QVariant(QStringLiteral("a/b")) << 0xFF0000;
}

void TestRecordChange::automaticColour()
{
    QFETCH(QVariant, id);
    QFETCH(int, colour);
    FormState s = startedState();
    RecordingSurface surface;
    FixedColorPicker picker(0x123456);
    LoadCurrentRecord(s, series(9.0, Hardness, QStringLiteral("硬度")), surface, picker);
    QCOMPARE(s.CurveColor, 0xFF0000); // index 9: blue
    LoadCurrentRecord(s, series(id, Hardness, QStringLiteral("硬度")), surface, picker);
    QCOMPARE(s.CurveColor, colour);
    QCOMPARE(picker.timesShown(), 0);
    // The contour dots carry the record's colour.
    QVERIFY(std::any_of(surface.dots.cbegin(), surface.dots.cend(),
                        [&](const RecordedDot &d) { return d.colour == colour; }));
}

void TestRecordChange::pickerColourWhenAutomaticIsOff()
{
    FormState s = startedState();
    s.AutoColor = false;
    RecordingSurface surface;
    FixedColorPicker picker(0xFF0000);
    LoadCurrentRecord(s, series(12.0, Hardness, QStringLiteral("硬度")), surface, picker);
    LoadCurrentRecord(s, series(3.0, Hardness, QStringLiteral("硬度")), surface, picker);
    QCOMPARE(picker.timesShown(), 2);
    QCOMPARE(s.CurveColor, 0xFF0000);
}

void TestRecordChange::emptyResponseKeepsThePreviousValue()
{
    FormState s = startedState();
    RecordingSurface surface;
    FixedColorPicker picker(0);
    MemoryRecord first = series(1.0, Hardness, QStringLiteral("硬度"));
    first.set(QStringLiteral("Y5"), 7.3);
    MemoryRecord second = series(2.0, Hardness, QStringLiteral("硬度"));
    second.set(QStringLiteral("Y5"), Empty);

    FormState fresh = startedState();
    LoadCurrentRecord(fresh, second, surface, picker);
    QCOMPARE(fresh.Response[4], 0.0f); // shown first: stays 0

    LoadCurrentRecord(s, first, surface, picker);
    LoadCurrentRecord(s, second, surface, picker);
    QCOMPARE(s.Response[4], 7.3f);
    QCOMPARE(s.Response[5], 11.5f);
    for (int i = 11; i < 16; ++i)
        QCOMPARE(s.Response[std::size_t(i)], 0.0f);
}

void TestRecordChange::emptyTitleKeepsThePreviousTitle()
{
    FormState s = startedState();
    RecordingSurface surface;
    FixedColorPicker picker(0);
    LoadCurrentRecord(s, series(1.0, Hardness, QStringLiteral("硬度")), surface, picker);
    LoadCurrentRecord(s, series(2.0, Hardness, QVariant(QMetaType(QMetaType::QString))), surface,
                      picker);
    QCOMPARE(s.ResponseTitle, QStringLiteral("硬度"));
    LoadCurrentRecord(s, series(3.0, Hardness, 42.5), surface, picker);
    QCOMPARE(s.ResponseTitle, QStringLiteral("42.5"));
}

void TestRecordChange::unreadableIdKeepsName_data()
{
    QTest::addColumn<QVariant>("id");
    QTest::addColumn<QString>("recordId");
    QTest::newRow("whole") << QVariant(7.0) << "7";
    QTest::newRow("fraction") << QVariant(12.5) << "12.5";
    QTest::newRow("negative") << QVariant(-1.0) << "-1";
    QTest::newRow("huge") << QVariant(1e300) << "1E+300";
    QTest::newRow("numeric-text") << QVariant(QStringLiteral("16")) << "16";
    QTest::newRow("path-text") << QVariant(QStringLiteral("../../x")) << "5";
    QTest::newRow("slash-text") << QVariant(QStringLiteral("a/b")) << "5";
    QTest::newRow("empty") << Empty << QString();
}

void TestRecordChange::unreadableIdKeepsName()
{
    QFETCH(QVariant, id);
    QFETCH(QString, recordId);
    FormState s = startedState();
    RecordingSurface surface;
    FixedColorPicker picker(0);
    LoadCurrentRecord(s, series(5.0, Hardness, QStringLiteral("硬度")), surface, picker);
    LoadCurrentRecord(s, series(id, Hardness, QStringLiteral("硬度")), surface, picker);
    QCOMPARE(s.RecordId, recordId);
    QCOMPARE(s.RecordId.isNull(), recordId.isNull());
}

void TestRecordChange::missingFieldsAreSkipped()
{
    // A table without Y5 and Y12: the other steps still run and the map is drawn.
    FormState s = startedState();
    RecordingSurface surface;
    FixedColorPicker picker(0);
    MemoryRecord r;
    r.set(QStringLiteral("ID"), 3.0);
    for (int i = 1; i <= 11; ++i) {
        if (i != 5)
            r.set(QStringLiteral("Y%1").arg(i), Hardness[std::size_t(i - 1)]);
    }
    LoadCurrentRecord(s, r, surface, picker);
    QCOMPARE(s.RecordId, QStringLiteral("3"));
    QCOMPARE(s.Response[4], 0.0f);
    QCOMPARE(s.Response[10], 15.3f);
    QVERIFY(!s.Text2.isEmpty());
    QVERIFY(!surface.dots.isEmpty());
}

void TestRecordChange::overlayKeepsEarlierMaps()
{
    FormState s = startedState();
    RecordingSurface surface;
    FixedColorPicker picker(0);
    LoadCurrentRecord(s, series(1.0, Hardness, QStringLiteral("硬度")), surface, picker);
    const qsizetype firstMap = surface.dots.size();
    s.Overlay = true;
    LoadCurrentRecord(s, series(2.0, Hardness, QStringLiteral("硬度")), surface, picker);
    QCOMPARE(surface.clears, 1);
    QCOMPARE(surface.dots.size(), 2 * firstMap);
    s.Overlay = false;
    LoadCurrentRecord(s, series(3.0, Hardness, QStringLiteral("硬度")), surface, picker);
    QCOMPARE(surface.clears, 2);
    QCOMPARE(surface.dots.size(), firstMap);
}

void TestRecordChange::layersRunInOrder()
{
    FormState s = startedState();
    RecordingSurface surface;
    FixedColorPicker picker(0);
    LoadCurrentRecord(s, series(12.0, Hardness, QStringLiteral("硬度")), surface, picker);
    // Labels first (the title among them), then 1140 grid dots, then the contours.
    QCOMPARE(surface.texts.first().text, QStringLiteral("-1.414"));
    QCOMPARE(surface.texts[16].text, QStringLiteral("硬度"));
    for (int i = 0; i < 1140; ++i)
        QCOMPARE(surface.dots[i].colour, 0xFF00);
    QCOMPARE(surface.dots[1140].colour, 0x0000FF);
    QCOMPARE(s.Text3, QStringLiteral("0.992"));
}

void TestRecordChange::programFolderAndSaveName_data()
{
    QTest::addColumn<QString>("appPath");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("saveName");
    QTest::newRow("folder") << "/opt/t"
                            << "/opt/t/"
                            << "/opt/t/等高线图1.BMP";
    QTest::newRow("root") << "/"
                          << "/"
                          << "/等高线图1.BMP";
}

void TestRecordChange::programFolderAndSaveName()
{
    QFETCH(QString, appPath);
    QFETCH(QString, folder);
    QFETCH(QString, saveName);
    FormState s;
    InitializeFormState(s, appPath);
    QCOMPARE(s.AppFolder, folder);
    QCOMPARE(SaveFileName(s), saveName);
    QCOMPARE(s.CurveColor, 255);
    QCOMPARE(s.PlotLeft + s.PlotTop + s.PlotSize, 4095);
}

QTEST_APPLESS_MAIN(TestRecordChange)
#include "test_record_change.moc"
