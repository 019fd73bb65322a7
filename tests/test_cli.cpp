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

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void usageErrors_data();
    void usageErrors();
    void fit();
    void reportFormats_data();
    void reportFormats();
    void reportNeverCreatesTheDatabase();
    void renderOne();
    void renderAllSkipsUnnameableRecords();
    void outputsThatAreNotFilesAreRefused_data();
    void outputsThatAreNotFilesAreRefused();
    void unwritableOutputIsAFailure();
    void textCellsCannotBreakRowsOrRunAsFormulas();
    void reportReadsOneSnapshot();
    void hotJournalIsSaidSo();
    void analysis();

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
    QTest::newRow("import-unknown-encoding")
        << QStringList{"import", "in.mdb", "--out", "out.mdb", "--jet3-encoding", "NOPE"};
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, args);
    const CliResult r = run(args);
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.contains(QStringLiteral("usage:")));
    // A response that is no number is named by its place.
    if (args.size() == 12 && args[0] == QLatin1String("fit"))
        QVERIFY2(r.err.contains(QStringLiteral("response 11 (")), qPrintable(r.err));
    // Asked for, the same usage goes to standard output and is no error.
    if (args.isEmpty()) {
        const CliResult help = run({"--help"});
        QVERIFY(help.code == 0 && help.out.startsWith(QStringLiteral("usage:")));
        for (const char *version : {"--version", "-v"}) {
            const CliResult shown = run({version});
            QVERIFY2(shown.code == 0 &&
                         QRegularExpression(QStringLiteral("^tesmora-cli \\d+\\.\\d+\n$"))
                             .match(shown.out)
                             .hasMatch(),
                     qPrintable(shown.out));
        }
        const QString options = run({"report", "--help"}).out;
        QVERIFY(options.contains(QStringLiteral("\n  --db FILE ")) &&
                options.contains(QStringLiteral("\n  -h, --help ")));
    }
}

void TestCli::fit()
{
    const CliResult r = run(QStringList{"fit"} << Hardness);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("Y= 15.066+ .887X1+ .204X2-1.127X1^2-1.177X2^2+ .275X1X2\n"
                                   "R=0.992\nS=0.241\n"));
    QCOMPARE(run({"fit", "5", "5", "5", "5", "5", "5", "5", "5", "5", "5", "5"}).out,
             QStringLiteral("Y= 5+ 0X1+ 0X2+ 0X1^2+ 0X2^2+ 0X1X2\nR=\nS=\n"));
    // -- ends the options: negative responses follow.
    QCOMPARE(run({"fit", "--lines", "5", "--", "-1", "-2", "-3", "-4", "-5", "-6", "-7", "-8", "-9",
                  "-10", "-11"})
                 .out,
             QStringLiteral("Y=-10-.073X1-.323X2+ 3.25X1^2+ 2.25X2^2+ 0X1X2\nR=0.803\nS=2.797\n"));
    const QJsonObject o =
        QJsonDocument::fromJson(run(QStringList{"fit", "--json"} << Hardness).out.toUtf8())
            .object();
    QCOMPARE(o[QStringLiteral("coefficients")][QStringLiteral("b12")].toDouble(), 0.2750001);
    QCOMPARE(o[QStringLiteral("levels")][QStringLiteral("step")].toDouble(), 0.75);
    QCOMPARE(o[QStringLiteral("levels")][QStringLiteral("values")].toArray().size(), 6);
    QCOMPARE(o[QStringLiteral("R")].toDouble(), 0.99227494);
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
    const CliResult r = run({"report", "--db", m_db, "--format", format});
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
    const CliResult r = run({"report"}, folder);
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains(QStringLiteral("配方数据.mdb")));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/配方数据.mdb")));
}

void TestCli::renderOne()
{
    const QString out = m_dir.filePath(QStringLiteral("one.bmp"));
    const CliResult r = run({"render", "--db", m_db, "--id", "2", "--out", out, "--size", "300"});
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
    const CliResult r = run({"render", "--db", m_db, "--all", "--out", out, "--size", "128"});
    QCOMPARE(r.code, 1); // two records were skipped
    QVERIFY(r.err.contains(QStringLiteral("row 3")));
    QVERIFY(r.err.contains(QStringLiteral("row 4")));
    QStringList files = QDir(out).entryList(QDir::Files);
    files.sort();
    QCOMPARE(files,
             (QStringList{QStringLiteral("等高线图1.BMP"), QStringLiteral("等高线图2.BMP")}));
    QCOMPARE(run({"render", "--db", m_db, "--all", "--out", m_db}).code, 1); // not a folder
}

void TestCli::outputsThatAreNotFilesAreRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("fifo") << "fifo";
    QTest::newRow("symlink") << "symlink";
    QTest::newRow("folder") << "folder";
}

void TestCli::outputsThatAreNotFilesAreRefused()
{
    QFETCH(QString, kind);
    const QString folder = m_dir.filePath(QStringLiteral("out-") + kind);
    QDir().mkpath(folder);
    const QString target = folder + QStringLiteral("/target.bmp");
    const QString out = folder + QStringLiteral("/等高线图2.BMP");
    QFile t(target);
    QVERIFY(t.open(QIODevice::WriteOnly) && t.write("keep") == 4);
    t.close();
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(out).constData(), 0644), 0);
    else if (kind == QLatin1String("symlink"))
        QVERIFY(QFile::link(target, out));
    else
        QVERIFY(QDir().mkpath(out));
    const QFileInfo before(out);
    // --id names the file; --all writes the same name into the folder.
    const CliResult one = run({"render", "--db", m_db, "--id", "2", "--out", out, "--size", "32"});
    QCOMPARE(one.code, 1);
    QVERIFY2(one.err.contains(QStringLiteral("not a regular file")), qPrintable(one.err));
    QCOMPARE(run({"render", "--db", m_db, "--all", "--out", folder, "--size", "32"}).code, 1);
    const QFileInfo after(out);
    QCOMPARE(after.isSymLink(), before.isSymLink());
    QCOMPARE(after.isDir(), before.isDir());
    QCOMPARE(after.isFile(), before.isFile());
    QVERIFY(t.open(QIODevice::ReadOnly));
    QCOMPARE(t.readAll(), QByteArray("keep"));
    // No scratch file was left beside them.
    QVERIFY(QDir(folder).entryList({QStringLiteral("*tmp*")}, QDir::AllEntries).isEmpty());
}

void TestCli::unwritableOutputIsAFailure()
{
    std::FILE *full = std::fopen("/dev/full", "w");
    QVERIFY(full);
    std::FILE *err = std::tmpfile();
    const QStringList fit = QStringList{"fit"} << Hardness;
    for (const QStringList &args :
         {fit, QStringList{"--help"}, QStringList{"report", "--db", m_db},
          QStringList{"plan", "--x1", "T,°C,60,80", "--x2", "t,min,10,30"}})
        QCOMPARE(runCli(args, QStringLiteral("/nonexistent"), {full, err}), 1);
    std::fclose(full);
    std::fclose(err);
}

void TestCli::textCellsCannotBreakRowsOrRunAsFormulas()
{
    const QString db = m_dir.filePath(QStringLiteral("texts.mdb"));
    const QString y = asSqlList(HardnessY) + ", ";
    QVERIFY(
        makeTable(db, {"1, " + y + "'a' || char(13) || 'b' || char(9) || 'c\\d' || char(1)",
                       "2, " + y + "'=HYPERLINK(\"x\")'", "-3, " + y + "'+A1'",
                       "4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -2, '@x'", "5, " + y + "'+3'",
                       "6, " + y + "'-5'",
                       "7, " + y + "'a' || char(133) || 'b' || char(8232) || 'c' || char(8233)"}));
    const CliResult text = run({"report", "--db", db});
    QCOMPARE(text.code, 0);
    // One line a record for every reader: C0 and C1 controls and the Unicode line breaks too.
    const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 8);
    QCOMPARE(lines[1].section(QLatin1Char('\t'), 1, 1), QStringLiteral("a\\rb\\tc\\\\d\\x01"));
    QCOMPARE(lines[7].section(QLatin1Char('\t'), 1, 1), QStringLiteral("a\\x85b\\u2028c\\u2029"));
    const CliResult csv = run({"report", "--db", db, "--format", "csv"});
    QCOMPARE(csv.code, 0);
    const QStringList rows = csv.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // A carriage return alone ends a row for some readers: quoted.
    QVERIFY2(rows[1].startsWith(QStringLiteral("1,\"a\rb\tc\\d\x01\",")), qPrintable(rows[1]));
    QVERIFY2(rows[2].startsWith(QStringLiteral("2,\"'=HYPERLINK(\"\"x\"\")\",")),
             qPrintable(rows[2]));
    // A number stays a number; a text that only starts like one is kept as text.
    QVERIFY2(rows[3].startsWith(QStringLiteral("-3,'+A1,")), qPrintable(rows[3]));
    QVERIFY2(rows[4].startsWith(QStringLiteral("4,'@x,")), qPrintable(rows[4]));
    // In the name's column a number-like text stays text.
    QVERIFY2(rows[5].startsWith(QStringLiteral("5,'+3,")), qPrintable(rows[5]));
    QVERIFY2(rows[6].startsWith(QStringLiteral("6,'-5,")), qPrintable(rows[6]));
    // An equation starting with a minus sign is text to a spreadsheet too.
    const QString equation = rows[4].section(QLatin1Char(','), -1);
    QVERIFY2(equation.startsWith(QStringLiteral("'-")), qPrintable(rows[4]));
}

void TestCli::reportReadsOneSnapshot()
{
    // Another program deletes every record after a report began, before it read anything: the
    // report still sees the table as it was when it began.
    const QString db = m_dir.filePath(QStringLiteral("snapshot.mdb"));
    QVERIFY(makeTable(db, {HardnessRow, ViscosityRow}));
    QVERIFY(runSql(db, {QStringLiteral("PRAGMA journal_mode = WAL")}));
    StreamReader reader;
    QVERIFY(reader.open(db));
    QVERIFY(reader.beginSnapshot());
    QVERIFY(runSql(db, {QStringLiteral("DELETE FROM 等高线表")}));
    int rows = 0;
    QVERIFY(reader.forEach(
        recordFieldNames(),
        [&](const std::vector<StreamCell> &) {
            ++rows;
            return true;
        },
        std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()));
    QCOMPARE(rows, 2);
    reader.endSnapshot();
}

void TestCli::hotJournalIsSaidSo()
{
    // A writer that crashed mid-transaction leaves a hot journal; read-only, the report cannot
    // roll it back and says so instead of "read-only".
    const QString db = m_dir.filePath(QStringLiteral("hot.mdb"));
    QVERIFY(sample_db::writeGenerated(db, 1000, 1));
    const QString copy = m_dir.filePath(QStringLiteral("hot-copy.mdb"));
    {
        // The files as they stand in the middle of another program's transaction: what a crash
        // at that moment leaves.
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "writer");
        other.setDatabaseName(db);
        QVERIFY(other.open());
        QSqlQuery q(other);
        QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode = DELETE")));
        // A cache too small for the change: pages reach the file, the journal its header.
        QVERIFY(q.exec(QStringLiteral("PRAGMA cache_size = 1")));
        QVERIFY(q.exec(QStringLiteral("BEGIN")));
        QVERIFY(q.exec(QStringLiteral("UPDATE 等高线表 SET Y1 = Y1 + 1")));
        QVERIFY(QFile::copy(db, copy));
        QVERIFY(QFile::copy(db + QStringLiteral("-journal"), copy + QStringLiteral("-journal")));
        QVERIFY(q.exec(QStringLiteral("ROLLBACK")));
        q.finish();
        other.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));
    const CliResult r = run({"report", "--db", copy});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("not closed properly")), qPrintable(r.err));
}

void TestCli::analysis()
{
    // The same figures from the responses, from the record, and in the report's columns.
    const CliResult given = run(QStringList{"analyse", "--json", "--"} << Hardness);
    QCOMPARE(given.code, 0);
    const CliResult stored = run({"analyse", "--db", m_db, "--id", "1", "--json"});
    QCOMPARE(stored.out, given.out);
    const QJsonObject o = QJsonDocument::fromJson(given.out.toUtf8()).object();
    QCOMPARE(o.keys(), (QStringList{"adj_r_squared", "anova", "coefficients", "optimum",
                                    "pred_r_squared", "press", "r_squared", "stationary_point"}));
    QCOMPARE(
        o[QStringLiteral("anova")][QStringLiteral("lack_of_fit")][QStringLiteral("df")].toInt(), 3);
    QCOMPARE(o[QStringLiteral("stationary_point")][QStringLiteral("nature")].toString(),
             QStringLiteral("maximum"));
    // The summary's analysis of variance: F and p for the model and lack of fit only, the
    // residual's two parts indented under it.
    const QStringList summary =
        run(QStringList{"analyse"} << Hardness).out.split(QLatin1Char('\n'));
    const auto shape = [&](const QString &source) {
        for (const QString &line : summary)
            if (line.trimmed().startsWith(source))
                return (line.startsWith(QLatin1Char(' ')) ? QStringLiteral("  ") : QString()) +
                       QString::number(line.simplified().split(QLatin1Char(' ')).size());
        return QString();
    };
    QCOMPARE(shape(QStringLiteral("Model")), QStringLiteral("6"));
    QCOMPARE(shape(QStringLiteral("Residual")), QStringLiteral("4"));
    QCOMPARE(shape(QStringLiteral("Lack of fit")), QStringLiteral("  8"));
    QCOMPARE(shape(QStringLiteral("Pure error")), QStringLiteral("  5"));
    QCOMPARE(shape(QStringLiteral("Total")), QStringLiteral("3"));
    QCOMPARE(run({"analyse", "--db", m_db, "--id", "99"}).code, 1);
    // The report's extra columns: as many cells as names, and the default report unchanged.
    const QStringList lines =
        run({"report", "--db", m_db, "--analysis", "--responses", "--format", "csv"})
            .out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines[1].count(QLatin1Char(',')), lines[0].count(QLatin1Char(',')));
    QCOMPARE(lines[0].split(QLatin1Char(',')).size(), 11 + 11 + 46);
    QVERIFY(lines[1].contains(QStringLiteral(",maximum,")));
    // In JSON a row carries its responses and the analysis `analyse` gives.
    const QJsonObject row = QJsonDocument::fromJson(run({"report", "--db", m_db, "--analysis",
                                                         "--responses", "--format", "json"})
                                                        .out.toUtf8())
                                .array()
                                .first()
                                .toObject();
    QCOMPARE(row[QStringLiteral("analysis")].toObject(), o);
    const QJsonArray responses = row[QStringLiteral("responses")].toArray();
    QCOMPARE(responses.size(), DesignRuns);
    for (int i = 0; i < DesignRuns; ++i)
        QCOMPARE(responses[i].toDouble(), HardnessY[std::size_t(i)]);
    QCOMPARE(
        run({"report", "--db", m_db}).out.split(QLatin1Char('\n')).first().count(QLatin1Char('\t')),
        10);
    // Marks: only the known ones.
    QCOMPARE(run({"render", "--db", m_db, "--id", "1", "--mark", "peaks"}).code, 2);
    const QString marked = m_dir.filePath(QStringLiteral("marked.bmp"));
    QCOMPARE(run({"render", "--db", m_db, "--id", "1", "--mark", "stationary,optimum,runs", "--out",
                  marked, "--size", "256"})
                 .code,
             0);
}

QTEST_MAIN(TestCli)
#include "test_cli.moc"
