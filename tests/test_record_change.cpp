#include "fixtures.h"
#include "pipeline/record_change.h"
#include "plot/layers.h"
#include "recording_surface.h"
#include "store/stream_reader.h"

#include <QTest>

namespace {

// The options the window starts with: colour and labels on.
const MapOptions Started{true, true, false, float(LineCountDefault), {}, {}};

MemoryRecord series(QVariant id, std::array<double, 11> y, QVariant title)
{
    MemoryRecord r;
    r.set(QStringLiteral("ID"), id);
    for (int i = 0; i < 11; ++i)
        r.set(QStringLiteral("Y%1").arg(i + 1), y[std::size_t(i)]);
    r.set(QStringLiteral("Y12"), title);
    return r;
}

const Series Hardness = HardnessY;
const QVariant Empty = QVariant(QMetaType(QMetaType::Double));

} // namespace

class TestRecordChange : public QObject
{
    Q_OBJECT
private slots:
    void automaticColour_data();
    void automaticColour();
    void pickerColourWhenAutomaticIsOff();
    void recordNeverShowsAnotherRecordsValues_data();
    void recordNeverShowsAnotherRecordsValues();
    void overlayKeepsEarlierMaps();
    void layersRunInOrder();
    void markLabelsStandApart_data();
    void markLabelsStandApart();
    void streamedValuesAsFieldByField();
};

void TestRecordChange::automaticColour_data()
{
    QTest::addColumn<QVariant>("id");
    QTest::addColumn<int>("colour");
    QTest::newRow("id-12-red") << QVariant(12.0) << 0x0000FF;
    QTest::newRow("id-3") << QVariant(3.0) << 0x808000;
    QTest::newRow("id-2.5-is-index-2") << QVariant(2.5) << 0x008000;
    QTest::newRow("id-3.5-is-index-4") << QVariant(3.5) << 0x000080;
    QTest::newRow("id-15-white-drawn-black") << QVariant(15.0) << 0x000000;
    QTest::newRow("id-14-yellow") << QVariant(14.0) << 0x00FFFF;
    QTest::newRow("id-16-keeps-previous") << QVariant(16.0) << 0xFF0000; // index 9 before
    QTest::newRow("id-minus-1-keeps-previous") << QVariant(-1.0) << 0xFF0000;
    QTest::newRow("empty-id-keeps-previous") << Empty << 0xFF0000;
    QTest::newRow("text-id-keeps-previous") << QVariant(QStringLiteral("a/b")) << 0xFF0000;
}

void TestRecordChange::automaticColour()
{
    QFETCH(QVariant, id);
    QFETCH(int, colour);
    RecordMap m;
    RecordingSurface surface;
    CountingPicker picker(0x123456);
    drawRecord(Started, series(9.0, Hardness, QStringLiteral("硬度")), surface, picker, m);
    QCOMPARE(m.colour.colour, 0xFF0000); // index 9: blue
    drawRecord(Started, series(id, Hardness, QStringLiteral("硬度")), surface, picker, m);
    QCOMPARE(m.colour.colour, colour);
    QCOMPARE(picker.shown, 0);
    // The contour dots carry the record's colour.
    QVERIFY(std::any_of(surface.dots.cbegin(), surface.dots.cend(),
                        [&](const RecordedDot &d) { return d.colour == colour; }));
}

void TestRecordChange::pickerColourWhenAutomaticIsOff()
{
    MapOptions options = Started;
    options.autoColor = false;
    RecordMap m;
    RecordingSurface surface;
    CountingPicker picker(0xFF0000);
    drawRecord(options, series(12.0, Hardness, QStringLiteral("硬度")), surface, picker, m);
    drawRecord(options, series(3.0, Hardness, QStringLiteral("硬度")), surface, picker, m);
    QCOMPARE(picker.shown, 2);
    QCOMPARE(m.colour.colour, 0xFF0000);
}

void TestRecordChange::recordNeverShowsAnotherRecordsValues_data()
{
    // One field of the second record changed; an invalid variant leaves the field out.
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("fitted");
    QTest::addColumn<QString>("recordId");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("responses"); // all eleven read as numbers (double precision)
    const QString y = QStringLiteral("硬度");
    QTest::newRow("y1-empty") << "Y1" << Empty << false << "2" << y << false;
    QTest::newRow("y5-text") << "Y5" << QVariant(QStringLiteral("abc")) << false << "2" << y
                             << false;
    QTest::newRow("y11-missing") << "Y11" << QVariant() << false << "2" << y << false;
    QTest::newRow("y5-beyond-single") << "Y5" << QVariant(1e39) << false << "2" << y << true;
    QTest::newRow("id-empty") << "ID" << Empty << true << QString() << y << true;
    QTest::newRow("id-path-text") << "ID" << QVariant(QStringLiteral("../../x")) << true
                                  << QString() << y << true;
    QTest::newRow("id-numeric-text")
        << "ID" << QVariant(QStringLiteral("16")) << true << "16" << y << true;
    QTest::newRow("id-huge") << "ID" << QVariant(1e300) << true << "1E+300" << y << true;
    QTest::newRow("title-empty") << "Y12" << QVariant(QMetaType(QMetaType::QString)) << true << "2"
                                 << "" << true;
    QTest::newRow("title-number") << "Y12" << QVariant(42.5) << true << "2"
                                  << "42.5" << true;
    QTest::newRow("title-missing") << "Y12" << QVariant() << true << "2"
                                   << "" << true;
}

void TestRecordChange::recordNeverShowsAnotherRecordsValues()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(bool, fitted);
    QFETCH(QString, recordId);
    QFETCH(QString, title);
    QFETCH(bool, responses);
    RecordMap m;
    RecordingSurface surface;
    FixedColorPicker picker(0);
    drawRecord(Started, series(1.0, Hardness, QStringLiteral("旧")), surface, picker, m);
    QVERIFY(m.fit.hasCoefficients());

    QHash<QString, QVariant> fields{{QStringLiteral("ID"), 2.0},
                                    {QStringLiteral("Y12"), QStringLiteral("硬度")}};
    for (int i = 0; i < 11; ++i)
        fields.insert(QStringLiteral("Y%1").arg(i + 1), Hardness[std::size_t(i)] + 1);
    if (value.isValid())
        fields.insert(field, value);
    else
        fields.remove(field);
    drawRecord(Started, MemoryRecord(fields), surface, picker, m);

    QCOMPARE(m.fields.id, recordId);
    QCOMPARE(m.fields.id.isNull(), recordId.isNull());
    QCOMPARE(m.fields.idNumber.has_value(), !recordId.isNull());
    QCOMPARE(m.fields.title, title);
    QCOMPARE(m.fields.responses.has_value(), responses);
    QCOMPARE(m.fields.designed.has_value(), fitted);
    QCOMPARE(m.fit.hasCoefficients(), fitted);
    QCOMPARE(m.fit.equationShown().isEmpty(), !fitted);
    QCOMPARE(m.fit.rShown().isEmpty(), !fitted);
    // The frame of the map (labels, the green grid) is drawn whatever the record holds; the
    // contours only from a fit of its own.
    QVERIFY(surface.texts.size() >= 14);
    QCOMPARE(surface.dots.size() > 1140, fitted);
}

void TestRecordChange::overlayKeepsEarlierMaps()
{
    MapOptions options = Started;
    RecordMap m;
    RecordingSurface surface;
    FixedColorPicker picker(0);
    drawRecord(options, series(1.0, Hardness, QStringLiteral("硬度")), surface, picker, m);
    const qsizetype firstMap = surface.dots.size();
    options.overlay = true;
    drawRecord(options, series(2.0, Hardness, QStringLiteral("硬度")), surface, picker, m);
    QCOMPARE(surface.clears, 1);
    QCOMPARE(surface.dots.size(), 2 * firstMap);
    options.overlay = false;
    drawRecord(options, series(3.0, Hardness, QStringLiteral("硬度")), surface, picker, m);
    QCOMPARE(surface.clears, 2);
    QCOMPARE(surface.dots.size(), firstMap);
}

void TestRecordChange::layersRunInOrder()
{
    RecordMap m;
    RecordingSurface surface;
    FixedColorPicker picker(0);
    drawRecord(Started, series(12.0, Hardness, QStringLiteral("硬度")), surface, picker, m);
    // Labels first (the title among them), then 1140 grid dots, then the contours.
    QCOMPARE(surface.texts.first().text, QStringLiteral("-1.414"));
    QCOMPARE(surface.texts[16].text, QStringLiteral("硬度"));
    for (int i = 0; i < 1140; ++i)
        QCOMPARE(surface.dots[i].colour, 0xFF00);
    QCOMPARE(surface.dots[1140].colour, 0x0000FF);
    QCOMPARE(m.fit.rShown(), QStringLiteral("0.992"));
}

// A streamed record hands its values over in one call: those its fields give one by one, for
// every kind of cell in every field.
void TestRecordChange::streamedValuesAsFieldByField()
{
    using Type = StreamCell::Type;
    const std::pair<Type, QVariant> kinds[] = {
        {Type::Number, 1.5},   {Type::Number, qInf()}, {Type::Number, -0.0},   {Type::Text, "16"},
        {Type::Text, " 2.5 "}, {Type::Text, "abc"},    {Type::Null, {}},       {Type::Other, {}},
        {Type::Missing, {}},   {Type::Number, 1e39},   {Type::Number, qQNaN()}};
    std::vector<StreamCell> cells(recordFieldNames().size());
    for (std::size_t shift = 0; shift < std::size(kinds); ++shift) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const auto &[type, value] = kinds[(i + shift) % std::size(kinds)];
            cells[i].type = type;
            cells[i].number = value.toDouble();
            cells[i].text = value.toString();
        }
        const StreamRecord record(cells);
        RecordValues handed, oneByOne;
        record.values(handed);
        record.RecordSource::values(oneByOne);
        QVERIFY(handed.idNumber == oneByOne.idNumber);
        QVERIFY(handed.responses == oneByOne.responses);
        QCOMPARE(handed.title, oneByOne.title);
        if (shift == 0)
            QVERIFY(handed.idNumber == 1.5 && !handed.responses[0] && handed.responses[2] == 16 &&
                    handed.responses[3] == 2.5 && !handed.responses[4]);
        if (shift == 4) // the response name in the sixth kind
            QCOMPARE(handed.title, QStringLiteral("abc"));
    }
}

QTEST_APPLESS_MAIN(TestRecordChange)
#include "test_record_change.moc"

// With every mark on, each label stands inside the square clear of its border, and no text of
// the map is written over another; an optimum at the stationary point shares its mark; a level
// surface has neither.
void TestRecordChange::markLabelsStandApart_data()
{
    QTest::addColumn<Series>("y");
    QTest::addColumn<QStringList>("optima"); // the labels' first words, in order
    QTest::newRow("maximum-at-stationary") << Hardness << QStringList{"最大（驻点）", "最小"};
    QTest::newRow("minimum-at-stationary")
        << Series{132, 118, 141, 125, 120, 138, 136, 122, 112, 115, 110}
        << QStringList{"最小（驻点）", "最大"};
    QTest::newRow("saddle") << Series{-3, 5, 4, -2, 1.5, 0.5, -1, 2, 0.1, -0.1, 0}
                            << QStringList{"驻点", "最大", "最小"};
    QTest::newRow("level") << Series{5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5} << QStringList{};
}

void TestRecordChange::markLabelsStandApart()
{
    QFETCH(Series, y);
    QFETCH(QStringList, optima);
    MapOptions options = Started;
    options.marks = {true, true, true};
    RecordMap m;
    RecordingSurface surface;
    FixedColorPicker picker(0);
    drawRecord(options, series(1.0, y, QStringLiteral("t")), surface, picker, m);
    QVERIFY(m.analysis);
    const std::vector<plot::Mark> marks = mapMarks(options.marks, y, *m.analysis);
    QStringList boxed;
    for (const plot::Mark &mark : marks) {
        if (mark.shape == plot::Mark::Shape::Box)
            boxed << mark.label.section(QLatin1Char(' '), 0, 0).section(QChar(0xff09), 0, 0) +
                         (mark.label.contains(QChar(0xff09)) ? QStringLiteral("）") : QString());
    }
    QCOMPARE(boxed, optima);
    // Every mark's label inside the square clear of its border, over no other text.
    QStringList labels;
    for (const plot::Mark &mark : marks)
        labels << mark.label;
    const plot::PlotGeometry &g = plot::DesignedGeometry;
    const double left = g.left, top = g.top, size = g.size;
    const auto boxOf = [](const RecordedText &t) {
        return plot::TextBox{t.x, t.y, t.x + t.text.size() * t.fontSize * 10,
                             t.y + t.fontSize * 20};
    };
    // The labels are the last texts written, one a mark.
    const qsizetype first = surface.texts.size() - labels.size();
    QVERIFY(first >= 0);
    for (qsizetype i = first; i < surface.texts.size(); ++i) {
        QVERIFY(labels.contains(surface.texts[i].text));
        const plot::TextBox b = boxOf(surface.texts[i]);
        QVERIFY2(b.left >= left + 30 && b.right <= left + size - 30 && b.top >= top + 30 &&
                     b.bottom <= top + size - 30,
                 qPrintable(surface.texts[i].text));
        for (qsizetype j = 0; j < surface.texts.size(); ++j)
            QVERIFY2(j == i || !b.overlaps(boxOf(surface.texts[j])),
                     qPrintable(surface.texts[i].text + QStringLiteral(" over ") +
                                surface.texts[j].text));
    }
}
