#include "cli_support.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

using Result = CliResult;

Result run(const QStringList &args, const QString &folder = QStringLiteral("/nonexistent"))
{
    return runCommand(args, folder);
}

const QStringList Hardness{"12.1", "13.4", "11.8", "14.2", "13.9", "11.5",
                           "13.0", "12.2", "15.1", "14.8", "15.3"};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void usageErrors_data();
    void usageErrors();
    void fitText();
    void fitNegativeAfterDoubleDash();
    void fitJson();
    void reportFormats_data();
    void reportFormats();
    void reportNeverCreatesTheDatabase();
    void largeReportCarriesValuesAcrossItsSplit();
    void renderOne();
    void renderAllSkipsUnnameableRecords();
    void renderOverlay();

private:
    QTemporaryDir m_dir;
    QString m_db;
};

void TestCli::initTestCase()
{
    m_db = m_dir.filePath(QStringLiteral("配方数据.mdb"));
    QVERIFY(makeTable(m_db, {HardnessRow, ViscosityRow,
                             QStringLiteral("'a/b', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'bad id'"),
                             QStringLiteral("2, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'twin'")}));
}

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("nothing") << QStringList{};
    QTest::newRow("unknown-command") << QStringList{"draw"};
    QTest::newRow("fit-too-few") << QStringList{"fit", "1", "2"};
    QTest::newRow("fit-too-many") << (QStringList{"fit"} << Hardness << "1");
    QTest::newRow("fit-not-a-number") << (QStringList{"fit"} << Hardness.mid(0, 10) << "x");
    QTest::newRow("fit-beyond-single") << (QStringList{"fit"} << Hardness.mid(0, 10) << "1e39");
    QTest::newRow("fit-lines-zero") << (QStringList{"fit", "--lines", "0"} << Hardness);
    QTest::newRow("fit-lines-missing") << QStringList{"fit", "--lines"};
    QTest::newRow("fit-unknown-option") << (QStringList{"fit", "--colour", "#ff0000"} << Hardness);
    QTest::newRow("report-format") << QStringList{"report", "--format", "xml"};
    QTest::newRow("report-value") << QStringList{"report", "extra"};
    QTest::newRow("render-neither") << QStringList{"render"};
    QTest::newRow("render-both") << QStringList{"render", "--id", "1", "--all"};
    QTest::newRow("render-size") << QStringList{"render", "--all", "--size", "abc"};
    QTest::newRow("render-colour") << QStringList{"render", "--all", "--colour", "red"};
    QTest::newRow("render-flag-value") << QStringList{"render", "--all=yes"};
    QTest::newRow("option-twice") << QStringList{"report", "--lines", "3", "--lines", "4"};
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, args);
    const Result r = run(args);
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.contains(QStringLiteral("usage:")));
}

void TestCli::fitText()
{
    const Result r = run(QStringList{"fit"} << Hardness);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("Y= 15.066+ .887X1+ .204X2-1.127X1^2-1.177X2^2+ .275X1X2\n"
                                   "R=0.992\nS=0.241\n"));
    const Result equal = run({"fit", "5", "5", "5", "5", "5", "5", "5", "5", "5", "5", "5"});
    QCOMPARE(equal.code, 0);
    QVERIFY(equal.out.endsWith(QStringLiteral("\nR=\nS=\n")));
}

void TestCli::fitNegativeAfterDoubleDash()
{
    const Result r = run({"fit", "--lines", "5", "--", "-1", "-2", "-3", "-4", "-5", "-6", "-7",
                          "-8", "-9", "-10", "-11"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("Y=-10-.073X1-.323X2+ 3.25X1^2+ 2.25X2^2+ 0X1X2\n"
                                   "R=0.803\nS=2.797\n"));
}

void TestCli::fitJson()
{
    const Result r = run(QStringList{"fit", "--json"} << Hardness);
    QCOMPARE(r.code, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QVERIFY(std::fabs(o[QStringLiteral("coefficients")][QStringLiteral("b12")].toDouble() - 0.275) <
            1e-6);
    QCOMPARE(o[QStringLiteral("levels")][QStringLiteral("step")].toDouble(), 0.75);
    QCOMPARE(o[QStringLiteral("levels")][QStringLiteral("values")].toArray().size(), 6);
    QVERIFY(std::fabs(o[QStringLiteral("R")].toDouble() - 0.992) < 0.0005);
    QCOMPARE(o[QStringLiteral("texts")][QStringLiteral("R")].toString(), QStringLiteral("0.992"));
}

void TestCli::reportFormats_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("text") << "text";
    QTest::newRow("csv") << "csv";
    QTest::newRow("json") << "json";
}

void TestCli::reportFormats()
{
    QFETCH(QString, format);
    const QByteArray before = fileDigest(m_db);
    const Result r = run({"report", "--db", m_db, "--format", format});
    QCOMPARE(r.code, 0);
    QCOMPARE(fileDigest(m_db), before);
    if (format == QLatin1String("json")) {
        const QJsonArray rows = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0][QStringLiteral("equation")].toString(),
                 QStringLiteral(" 15.066+ .887X1+ .204X2-1.127X1^2-1.177X2^2+ .275X1X2"));
        QCOMPARE(rows[1][QStringLiteral("name")].toString(), QStringLiteral("粘度"));
        // An ID that cannot be read is no ID, never the previous record's.
        QVERIFY(rows[2][QStringLiteral("ID")].isNull());
        return;
    }
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    const QChar sep = format == QLatin1String("csv") ? QLatin1Char(',') : QLatin1Char('\t');
    QCOMPARE(lines[0].split(sep).size(), 11);
    const QStringList first = lines[1].split(sep);
    QCOMPARE(first[0], QStringLiteral("1"));
    QCOMPARE(first[1], QStringLiteral("硬度"));
    QCOMPARE(first[8], QStringLiteral("0.992"));
    QCOMPARE(first[10], QStringLiteral(" 15.066+ .887X1+ .204X2-1.127X1^2-1.177X2^2+ .275X1X2"));
}

void TestCli::reportNeverCreatesTheDatabase()
{
    const QString folder = m_dir.filePath(QStringLiteral("empty-folder"));
    QDir().mkpath(folder);
    const Result r = run({"report"}, folder);
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains(QStringLiteral("配方数据.mdb")));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/配方数据.mdb")));
}

void TestCli::largeReportCarriesValuesAcrossItsSplit()
{
    // A large table is reported in two parts on two threads: every record once, in order, each
    // from its own fields alone, whichever part it falls in.
    const QString db = m_dir.filePath(QStringLiteral("large-split.mdb"));
    QStringList rows;
    const int count = 12000;
    for (int i = 1; i <= count; ++i) {
        const bool odd = i >= count / 2 - 1 && i <= count / 2 + 3;
        rows << QStringLiteral(
                    "%1, 12.1, 13.4, 11.8, 14.2, %2, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3, %3")
                    .arg(odd && i % 2 ? QStringLiteral("'x'") : QString::number(i))
                    .arg(odd && i % 2 == 0 ? QStringLiteral("NULL") : QString::number(i % 7))
                    .arg(odd ? QStringLiteral("NULL") : QStringLiteral("'硬度'"));
    }
    QVERIFY(makeTable(db, rows));
    const Result r = run({"report", "--db", db, "--format", "json"});
    QCOMPARE(r.code, 0);
    const QJsonArray report = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QCOMPARE(report.size(), count);
    for (int i = 1; i <= count; ++i) {
        const QJsonObject row = report[i - 1].toObject();
        const bool odd = i >= count / 2 - 1 && i <= count / 2 + 3;
        if (odd && i % 2) {
            QVERIFY(row[QStringLiteral("ID")].isNull());
        } else {
            QCOMPARE(row[QStringLiteral("ID")].toString(), QString::number(i));
        }
        QCOMPARE(row[QStringLiteral("name")].toString(), odd ? QString() : QStringLiteral("硬度"));
        QCOMPARE(row[QStringLiteral("b0")].isNull(), odd && i % 2 == 0);
        if (i >= count / 2 - 2 && i <= count / 2 + 5 && !(odd && i % 2 == 0)) {
            QStringList own = Hardness;
            own[4] = QString::number(i % 7);
            QCOMPARE(row[QStringLiteral("equation")].toString(),
                     run(QStringList{"fit"} << own).out.section(QLatin1Char('\n'), 0, 0).mid(2));
        }
    }
}

void TestCli::renderOne()
{
    const QString out = m_dir.filePath(QStringLiteral("one.bmp"));
    const Result r = run({"render", "--db", m_db, "--id", "2", "--out", out, "--size", "300"});
    QCOMPARE(r.code, 0);
    QImageReader reader(out);
    QCOMPARE(reader.format(), QByteArray("bmp"));
    const QImage image = reader.read();
    QCOMPARE(image.size(), QSize(300, 300));
    // Record 2's automatic colour, palette 2 (0, 128, 0), is on the map.
    bool found = false;
    for (int y = 0; y < 300 && !found; ++y)
        for (int x = 0; x < 300 && !found; ++x)
            found = image.pixel(x, y) == qRgb(0, 128, 0);
    QVERIFY(found);
    QCOMPARE(run({"render", "--db", m_db, "--id", "99", "--out", out}).code, 1);
}

void TestCli::renderAllSkipsUnnameableRecords()
{
    const QString out = m_dir.filePath(QStringLiteral("maps"));
    QDir().mkpath(out);
    const Result r = run({"render", "--db", m_db, "--all", "--out", out, "--size", "128"});
    QCOMPARE(r.code, 1); // two records were skipped
    QVERIFY(r.err.contains(QStringLiteral("row 3")));
    QVERIFY(r.err.contains(QStringLiteral("row 4")));
    QStringList files = QDir(out).entryList(QDir::Files);
    files.sort();
    QCOMPARE(files,
             (QStringList{QStringLiteral("等高线图1.BMP"), QStringLiteral("等高线图2.BMP")}));
    QCOMPARE(run({"render", "--db", m_db, "--all", "--out", m_db}).code, 1); // not a folder
}

void TestCli::renderOverlay()
{
    const QString out = m_dir.filePath(QStringLiteral("overlay.bmp"));
    const Result r = run({"render", "--db", m_db, "--all", "--overlay", "--out", out, "--size",
                          "200", "--colour", "#00ff00", "--no-labels"});
    QCOMPARE(r.code, 0);
    QCOMPARE(QImageReader(out).read().size(), QSize(200, 200));
}

QTEST_MAIN(TestCli)
#include "test_cli.moc"
