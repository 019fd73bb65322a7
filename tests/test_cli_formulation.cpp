// The command line's formulation work: factors in real units (plan, the answers and maps in
// real units, the stored definitions) and multi-response optimisation.

#include "cli/analysis_output.h"
#include "cli_support.h"
#include "store/experiment_table.h"
#include "store/factor_table.h"
#include "store/sample_db.h"
#include "store/stream_reader.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <limits>

#include <sys/stat.h>

namespace {

const QStringList Hardness = asTexts(HardnessY);

} // namespace

class TestCliFormulation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void usageErrors_data();
    void usageErrors();
    void realUnits();
    void optimise();
    void renderOverlay();
    void analysisColumnsStandBesideTheirEstimate();
    void analysisJsonIsWhatQtWouldWrite_data();
    void analysisJsonIsWhatQtWouldWrite();

private:
    QTemporaryDir m_dir;
    QString m_db;
};

void TestCliFormulation::initTestCase()
{
    m_db = m_dir.filePath(QStringLiteral("配方数据.mdb"));
    QVERIFY(makeTable(m_db, {HardnessRow, ViscosityRow}));
}

void TestCliFormulation::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    const QString temp = QStringLiteral("T,C,60,80");
    QTest::newRow("plan-one-factor") << QStringList{"plan", "--x1", temp};
    QTest::newRow("plan-equal-levels") << QStringList{"plan", "--x1", "T,C,1,1", "--x2", temp};
    QTest::newRow("plan-level-text") << QStringList{"plan", "--x1", "T,C,x,1", "--x2", temp};
    QTest::newRow("plan-three-parts") << QStringList{"plan", "--x1", "T,C,1", "--x2", temp};
    QTest::newRow("plan-nan") << QStringList{"plan", "--x1", "T,C,nan,1", "--x2", temp};
    QTest::newRow("plan-infinity") << QStringList{"plan", "--x1", "T,C,1,inf", "--x2", temp};
    QTest::newRow("plan-no-name") << QStringList{"plan", "--x1", " ,C,1,2", "--x2", temp};
    QTest::newRow("plan-open-quote") << QStringList{"plan", "--x1", "\"T,C,1,2", "--x2", temp};
    QTest::newRow("plan-seed-alone")
        << QStringList{"plan", "--x1", temp, "--x2", temp, "--seed", "3"};
    for (const char *other : {"--all", "--overlay"})
        QTest::newRow(other) << QStringList{"render", "--goal", "1=max:1:2",
                                            "--out",  "g.bmp",  other};
    QTest::newRow("fit-stored-units") << (QStringList{"fit", "--units"} << Hardness);
    QTest::newRow("report-units-without-analysis") << QStringList{"report", "--units"};
    QTest::newRow("analyse-units-without-record")
        << (QStringList{"analyse", "--units"} << Hardness);
    for (const QString &goal : {QStringLiteral("1=max:15:13"), QStringLiteral("1=target:1:5:3"),
                                QStringLiteral("1=max:1:2:0"), QStringLiteral("1=most:1:2"),
                                QStringLiteral("x=max:1:2"), QStringLiteral("1=range:1:2:1")})
        QTest::newRow(qPrintable(QStringLiteral("optimise-") + goal))
            << QStringList{"optimise", "--goal", goal};
    QTest::newRow("optimise-importance")
        << QStringList{"optimise", "--goal", "1=max:1:2", "--importance", "1=6"};
    // A map's size: pixels or a width, a resolution within limits, never more pixels than a
    // map may have.
    for (const QStringList &size :
         {QStringList{"--size", "300", "--width", "80"}, QStringList{"--width", "0"},
          QStringList{"--width", "abc"}, QStringList{"--width", "80", "--dpi", "20"},
          QStringList{"--width", "1000", "--dpi", "600"}, QStringList{"--dpi", "9999"}})
        QTest::newRow(qPrintable(QStringLiteral("render ") + size.join(QLatin1Char(' '))))
            << (QStringList{"render", "--id", "1"} + size);
    QTest::newRow("optimise-two-kinds")
        << QStringList{"optimise", "--goal", "1=max:1:2", "--goal", "1=min:1:2"};
}

void TestCliFormulation::usageErrors()
{
    QFETCH(QStringList, args);
    const CliResult r = run(args);
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.contains(QStringLiteral("usage:")));
}

void TestCliFormulation::realUnits()
{
    // The run sheet as JSON, unrounded; a drawn order printed again from its seed.
    const QStringList plan{"plan", "--x1", "温度,°C,60,80", "--x2", "\"pH, raw\",,9,7"};
    const QJsonObject sheet =
        QJsonDocument::fromJson(run(plan + QStringList{"--format", "json"}).out.toUtf8()).object();
    QCOMPARE(sheet.keys(), (QStringList{"factors", "runs"}));
    const QJsonObject axial = sheet[QStringLiteral("runs")].toArray()[4].toObject();
    QCOMPARE(axial[QStringLiteral("x1")].toDouble(), 70 + 1.4142 * 10);
    QCOMPARE(sheet[QStringLiteral("factors")].toArray()[1].toObject()[QStringLiteral("name")],
             QJsonValue(QStringLiteral("pH, raw")));
    const QStringList drawn = plan + QStringList{"--randomise", "--seed", "42", "--format", "csv"};
    QCOMPARE(run(drawn).out, run(drawn).out);
    QVERIFY(run(drawn).out != run(plan + QStringList{"--format", "csv"}).out);

    const QString db = m_dir.filePath(QStringLiteral("units.mdb"));
    QVERIFY(QFile::copy(m_db, db));
    const auto tables = [&] {
        const Result<QStringList> names = sample_db::tableNames(db);
        return names ? *names : QStringList();
    };
    // Asked for and stored nowhere yet: coded answers, and the file is not changed.
    const CliResult none = run({"report", "--db", db, "--analysis", "--units", "--format", "csv"});
    QCOMPARE(none.code, 0);
    QVERIFY(!tables().contains(FactorTableName));
    const QString map = m_dir.filePath(QStringLiteral("coded.svg"));
    const QString stored = m_dir.filePath(QStringLiteral("stored.svg"));
    QCOMPARE(run({"render", "--db", db, "--id", "1", "--format", "svg", "--out", map}).code, 0);
    QCOMPARE(run({"render", "--db", db, "--id", "1", "--format", "svg", "--units", "--out", stored})
                 .code,
             0);
    QCOMPARE(fileDigest(stored), fileDigest(map));

    // Saved for record 1 (time run downwards): its answers in real settings.
    {
        ExperimentTable table;
        QVERIFY(table.open(db, ExperimentTable::Mode::ReadWrite));
        QVERIFY(
            table.saveFactors({1.0}, {{QStringLiteral("温度"), QStringLiteral("°C"), 60, 80},
                                      {QStringLiteral("时间"), QStringLiteral("min"), 30, 10}}));
    }
    const QJsonObject a =
        QJsonDocument::fromJson(
            run({"analyse", "--db", db, "--id", "1", "--json", "--units"}).out.toUtf8())
            .object();
    const QJsonObject s = a[QStringLiteral("stationary_point")].toObject();
    QCOMPARE(s[QStringLiteral("x1_real")].toDouble(), 70 + 10 * s[QStringLiteral("x1")].toDouble());
    QCOMPARE(s[QStringLiteral("x2_real")].toDouble(), 20 - 10 * s[QStringLiteral("x2")].toDouble());
    QCOMPARE(
        a[QStringLiteral("factors")].toArray()[1].toObject()[QStringLiteral("step")].toDouble(),
        -10.0);
    QCOMPARE(a[QStringLiteral("real_coefficients")].toObject().keys(),
             (QStringList{"c0", "c1", "c11", "c12", "c2", "c22"}));
    // Given definitions stand over the stored one; records without one have empty cells.
    const QStringList rows =
        run({"report", "--db", db, "--analysis", "--units", "--x2", "t,s,0,1", "--format", "csv"})
            .out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const int name = int(rows[0].split(QLatin1Char(',')).indexOf(QStringLiteral("x2_name")));
    QCOMPARE(rows[1].split(QLatin1Char(','))[name], QStringLiteral("t"));
    QCOMPARE(rows[2].split(QLatin1Char(','))[name], QString());
    // The map's axes in real settings, titled NAME (UNIT).
    QCOMPARE(run({"render", "--db", db, "--id", "1", "--format", "svg", "--units", "--out", stored})
                 .code,
             0);
    QFile svgFile(stored);
    QVERIFY(svgFile.open(QIODevice::ReadOnly));
    const QString svg = QString::fromUtf8(svgFile.readAll());
    for (const QString &tick : {QStringLiteral(">55.86<"), QStringLiteral(">84.14<"),
                                QStringLiteral(">34.14<"), QStringLiteral(">5.86<")})
        QVERIFY2(svg.contains(tick), qPrintable(tick));
    QVERIFY(!svg.contains(QStringLiteral(">1.414<")));
    // A title may be split into runs of one font each.
    QString words;
    for (const auto &m : QRegularExpression(QStringLiteral(">([^<]*)</text>")).globalMatch(svg))
        words += m.captured(1);
    QVERIFY(words.contains(QStringLiteral("温度 (°C)")) &&
            words.contains(QStringLiteral("时间 (min)")));
}

void TestCliFormulation::optimise()
{
    // A goal on a record that is not there, or has no fit: a usage error naming it.
    const CliResult missing = run({"optimise", "--db", m_db, "--goal", "99=max:1:2"});
    QCOMPARE(missing.code, 2);
    QVERIFY(missing.err.contains(QStringLiteral("99=max:1:2")));
    // Every goal met on a region; then none met, which is an answer, not a failure.
    const auto json = [&](const QStringList &goals) {
        QStringList args{"optimise", "--db", m_db, "--json"};
        for (const QString &g : goals)
            args << "--goal" << g;
        const CliResult r = run(args);
        return std::pair{r.code, QJsonDocument::fromJson(r.out.toUtf8()).object()};
    };
    const auto [metCode, met] = json({"1=range:14:20", "2=range:2:4"});
    QCOMPARE(metCode, 0);
    QCOMPARE(met.keys(), (QStringList{"goals", "optimum", "plateau"}));
    QCOMPARE(met[QStringLiteral("optimum")][QStringLiteral("D")].toDouble(), 1.0);
    QVERIFY(met[QStringLiteral("plateau")][QStringLiteral("share")].toDouble() > 0);
    // A goal's record is the first with its ID: one without an ID, or a later one with the
    // same, is passed over and the search goes on.
    const QString odd = m_dir.filePath(QStringLiteral("odd-ids.mdb"));
    QVERIFY(makeTable(odd, {HardnessRow, "NULL, " + asSqlList(ViscosityY) + ", 'x'",
                            "1, " + asSqlList(ViscosityY) + ", 'y'", ViscosityRow}));
    const CliResult oddMet = run(
        {"optimise", "--db", odd, "--json", "--goal", "1=range:14:20", "--goal", "2=range:2:4"});
    QCOMPARE(oddMet.code, 0);
    QCOMPARE(QJsonDocument::fromJson(oddMet.out.toUtf8()).object(), met);
    // With factors given, the place in their units too: coded -1 ... 1 is 60 ... 80 °C.
    const QJsonObject real =
        QJsonDocument::fromJson(
            run({"optimise", "--db", m_db, "--json", "--goal", "1=range:14:20", "--goal",
                 "2=range:2:4", "--x1", "T,C,60,80", "--x2", "p,,7,9"})
                .out.toUtf8())[QStringLiteral("optimum")]
            .toObject();
    QCOMPARE(real[QStringLiteral("x1_real")].toDouble(),
             70 + 10 * real[QStringLiteral("x1")].toDouble());
    QVERIFY(!met[QStringLiteral("optimum")].toObject().contains(QStringLiteral("x1_real")));
    // An importance given by a goal's ID reaches that goal alone.
    const QJsonArray weighted =
        QJsonDocument::fromJson(run({"optimise", "--db", m_db, "--json", "--goal", "1=range:14:20",
                                     "--goal", "2=range:2:4", "--importance", "2=5"})
                                    .out.toUtf8())[QStringLiteral("goals")]
            .toArray();
    QCOMPARE(weighted[0][QStringLiteral("r")].toInt(), 3);
    QCOMPARE(weighted[1][QStringLiteral("r")].toInt(), 5);
    const auto [noneCode, none] = json({"1=min:0:5", "2=max:2:4"});
    QCOMPARE(noneCode, 0);
    QVERIFY(none[QStringLiteral("optimum")].isNull());
    QCOMPARE(none[QStringLiteral("conflicts")].toArray(), (QJsonArray{QJsonArray{1, 1}}));
    QVERIFY(run({"optimise", "--db", m_db, "--goal", "1=min:0:5"})
                .out.startsWith(QStringLiteral("No formulation in the region meets every goal.")));
    // Their map fills the region where every goal is met, and nothing when none is.
    const auto filled = [&](const QStringList &goals) {
        const QString map = m_dir.filePath(QStringLiteral("goals.png"));
        QStringList args{"render", "--db",   m_db,  "--out",  map,      "--format",
                         "png",    "--size", "120", "--fill", "#ff00ff"};
        for (const QString &g : goals)
            args << "--goal" << g;
        const QImage image = run(args).code == 0 ? QImage(map) : QImage();
        QFile::remove(map);
        return image.isNull() ? -1 : pixelsOf(image, qRgb(255, 0, 255));
    };
    QVERIFY(filled({"1=range:14:20", "2=range:2:4"}) > 0);
    QCOMPARE(filled({"1=min:0:5", "2=max:2:4"}), 0);
}

void TestCliFormulation::renderOverlay()
{
    const QString out = m_dir.filePath(QStringLiteral("overlay.bmp"));
    const CliResult r = run({"render", "--db", m_db, "--all", "--overlay", "--out", out, "--size",
                             "200", "--colour", "#00ff00", "--no-labels"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QStringLiteral("wrote %1 (2 records overlaid)\n").arg(out));
    const QImage image = QImageReader(out).read();
    QCOMPARE(image.size(), QSize(200, 200));
    QVERIFY(pixelsOf(image, qRgb(0, 255, 0)) > 0); // the records' curves, in the colour asked
}

void TestCliFormulation::analysisColumnsStandBesideTheirEstimate()
{
    const QJsonObject o = QJsonDocument::fromJson(
                              run(QStringList{"analyse", "--json", "--"} << Hardness).out.toUtf8())
                              .object();
    const QStringList lines = run({"report", "--db", m_db, "--analysis", "--format", "csv"})
                                  .out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(lines.size() > 1 && lines[1].startsWith(QStringLiteral("1,")));
    // Beside se, t and p of a term stands the exact fit's estimate they describe, not the
    // window's single-precision coefficient.
    const QStringList names = lines[0].split(QLatin1Char(',')),
                      first = lines[1].split(QLatin1Char(','));
    const QJsonArray exact = o[QStringLiteral("coefficients")].toArray();
    for (int i = 0; i < 6; ++i) {
        const QString term = exact[i][QStringLiteral("term")].toString();
        const double estimate = first[names.indexOf("estimate_" + term)].toDouble();
        QCOMPARE(estimate, exact[i][QStringLiteral("estimate")].toDouble());
        QCOMPARE(first[names.indexOf("t_" + term)].toDouble(),
                 exact[i][QStringLiteral("t")].toDouble());
        QVERIFY(names.indexOf("se_" + term) == names.indexOf("estimate_" + term) + 1);
    }
}

void TestCliFormulation::analysisJsonIsWhatQtWouldWrite_data()
{
    QTest::addColumn<QList<double>>("y");
    QTest::addColumn<bool>("units");
    const QList<double> hardness(HardnessY.begin(), HardnessY.end());
    QTest::newRow("hardness") << hardness << false;
    QTest::newRow("hardness in real units") << hardness << true;
    QTest::newRow("level") << QList<double>(11, 5.0) << true;
    QTest::newRow("no pure error") << QList<double>{1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9} << false;
    QTest::newRow("beyond a double's squares")
        << QList<double>{1e300, -1e300, 3, 4, 5, 6, 7, 8, 9, 10, 11} << true;
}

void TestCliFormulation::analysisJsonIsWhatQtWouldWrite()
{
    // Written straight, the analysis must read as Qt's own compact JSON of the same object: its
    // keys sorted, its numbers and nulls as Qt writes them.
    QFETCH(QList<double>, y);
    QFETCH(bool, units);
    analysis::Responses responses{};
    std::copy(y.begin(), y.end(), responses.begin());
    const analysis::ModelAnalysis a = analysis::analyse(responses);
    const std::optional<Factors> factors =
        Factors{{QStringLiteral("温度 \"T\""), QStringLiteral("°C"), 60, 80},
                {QStringLiteral("pH"), QString(), 9, 7}};
    QByteArray text;
    writeAnalysisJson(text, a, units ? &factors : nullptr);
    QJsonParseError error{};
    const QJsonDocument parsed = QJsonDocument::fromJson(text, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(parsed.toJson(QJsonDocument::Compact), text);
    QCOMPARE(parsed.object().contains(QStringLiteral("factors")), units);
    const QJsonObject anova = parsed[QStringLiteral("anova")].toObject();
    // Only the tested lines have F and p, and the total no mean square.
    const QStringList tested{"F", "df", "ms", "p", "ss"}, plain{"df", "ms", "ss"};
    const std::pair<const char *, QStringList> lines[] = {{"model", tested},
                                                          {"lack_of_fit", tested},
                                                          {"residual", plain},
                                                          {"pure_error", plain},
                                                          {"total", {"df", "ss"}}};
    QCOMPARE(anova.size(), 5);
    for (const auto &[line, keys] : lines)
        QCOMPARE(anova[QLatin1String(line)].toObject().keys(), keys);
}

QTEST_MAIN(TestCliFormulation)
#include "test_cli_formulation.moc"
