// The fault matrix: hostile files and hostile values through the command line and the window.
// Nothing crashes, the user's file stays byte-identical, nothing is written outside the output
// folder, and every failure says what went wrong.

#include "cli_support.h"
#include "pipeline/bitmap.h"
#include "shell/form1.h"
#include "store/sample_db.h"
#include "test_support.h"

#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>

namespace {

QSet<QString> filesUnder(const QString &folder)
{
    QSet<QString> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.insert(it.next());
    return files;
}

class SilentDialogs : public Dialogs
{
public:
    bool askYesNo(const QString &, const QString &) override { return false; }
    void warn(const QString &, const QString &text) override { warnings << text; }
    void inform(const QString &, const QString &) override {}
    QString askSaveFile(const QString &, const QString &, const QString &) override { return {}; }
    QString askOpenFile(const QString &, const QString &) override { return {}; }
    QStringList warnings;
};

// Opens the window on the folder and steps through every record.
int browseAll(const QString &folder)
{
    SilentDialogs dialogs;
    FixedColorPicker picker(0xFF);
    Form1Options options;
    options.appPath = folder;
    options.dialogs = &dialogs;
    options.picker = &picker;
    Form1 form(options);
    form.Form_Load();
    int seen = form.table().count() > 0 ? 1 : 0;
    for (int i = 1; i < form.table().count(); ++i) {
        form.moveTo(i);
        seen += form.currentRecord() == i ? 1 : 0;
    }
    form.Image1_Click();
    form.Picture1_Click();
    return seen;
}

const QString Good = HardnessRow;

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void renderAllFindsRecordsOfOneName();
    void hostileFiles_data();
    void hostileFiles();
    void hostileValues_data();
    void hostileValues();
    void databaseHeldByAnotherWriter();
    void refusedSaveKeepsThePreviousBitmap_data();
    void refusedSaveKeepsThePreviousBitmap();
    void importAndSampleTouchOnlyTheirOutput_data();
    void importAndSampleTouchOnlyTheirOutput();
    void svgOfAnyTitleIsWellFormed();

private:
    QTemporaryDir m_dir;
    int m_case = 0;
};

namespace {

// The file of one kind of hostile database, at `db`.
void makeHostileFile(const QString &kind, const QString &db)
{
    const QStringList &ys = experimentColumns();
    if (kind == QLatin1String("zero") || kind == QLatin1String("garbage") ||
        kind == QLatin1String("access")) {
        QFile f(db);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray content =
            kind == QLatin1String("garbage") ? QByteArray(700, '\x17') : QByteArray();
        if (kind == QLatin1String("access")) {
            content = QByteArray(4096, '\0');
            content.replace(4, 15, "Standard Jet DB");
        }
        f.write(content);
    } else if (kind == QLatin1String("no-table")) {
        QVERIFY(runSql(db, {QStringLiteral("CREATE TABLE 其他 (a)")}));
    } else if (kind == QLatin1String("missing-y5") || kind == QLatin1String("missing-y12")) {
        QStringList columns = ys;
        columns.removeAll(kind == QLatin1String("missing-y5") ? QStringLiteral("Y5")
                                                              : QStringLiteral("Y12"));
        QString row =
            kind == QLatin1String("missing-y5")
                ? QStringLiteral(
                      "1, 12.1, 13.4, 11.8, 14.2, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3, 'x'")
                : QStringLiteral(
                      "1, 12.1, 13.4, 11.8, 14.2, 13.9, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3");
        QVERIFY(makeTable(db, {row}, columns.join(QStringLiteral(", "))));
    } else if (kind == QLatin1String("extra")) {
        QVERIFY(makeTable(db, {QStringLiteral("'note', ") + Good + QStringLiteral(", 7")},
                          QStringLiteral("Remark, ") + ys.join(QStringLiteral(", ")) +
                              QStringLiteral(", Batch")));
    } else if (kind == QLatin1String("damaged")) {
        QVERIFY(sample_db::writeGenerated(db, 1000, 1));
        QFile f(db);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 pages = f.size() / 4096;
        QVERIFY(f.seek(pages / 2 * 4096));
        f.write(QByteArray(4096, '\xff'));
    } else if (kind == QLatin1String("view") || kind == QLatin1String("endless-view")) {
        QVERIFY(runSql(db, {kind == QLatin1String("view")
                                ? QStringLiteral("CREATE VIEW 等高线表 AS SELECT 1 AS ID")
                                : QStringLiteral("CREATE VIEW 等高线表 AS WITH RECURSIVE c(x) AS "
                                                 "(SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                                                 "SELECT x AS ID FROM c")}));
    } else if (kind == QLatin1String("lower-case")) {
        QVERIFY(makeTable(db, {Good}, ys.join(QStringLiteral(", ")).toLower()));
    } else if (kind == QLatin1String("rowid-column")) {
        QVERIFY(makeTable(db, {QStringLiteral("1, ") + Good},
                          QStringLiteral("rowid, ") + ys.join(QStringLiteral(", "))));
    } else if (kind == QLatin1String("read-only")) {
        QVERIFY(makeTable(db, {Good}));
        QVERIFY(QFile::setPermissions(db, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    }
}

} // namespace

void TestFaults::hostileFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("reportCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "missing" << 1 << "cannot find";
    QTest::newRow("zero-bytes") << "zero" << 1 << "empty file";
    QTest::newRow("garbage") << "garbage" << 1 << "not a SQLite";
    QTest::newRow("fake-access") << "access" << 1 << "damaged"; // an Access header over nothing
    QTest::newRow("no-table") << "no-table" << 1 << "no table";
    QTest::newRow("damaged-page") << "damaged" << 1 << "damaged";
    QTest::newRow("view") << "view" << 1 << "a view";
    QTest::newRow("endless-view") << "endless-view" << 1 << "a view";
    // Readable: the message is what the report's row must hold (no fit without Y5).
    QTest::newRow("missing-y5") << "missing-y5" << 0 << "\tx\t\t";
    QTest::newRow("missing-y12") << "missing-y12" << 0 << " 15.066+";
    QTest::newRow("extra-columns") << "extra" << 0 << " 15.066+";
    QTest::newRow("read-only-file") << "read-only" << 0 << " 15.066+";
    QTest::newRow("lower-case-names") << "lower-case" << 0 << " 15.066+";
    QTest::newRow("rowid-column") << "rowid-column" << 0 << " 15.066+";
}

void TestFaults::hostileFiles()
{
    QFETCH(QString, kind);
    QFETCH(int, reportCode);
    QFETCH(QString, message);
    const QString folder = m_dir.filePath(QStringLiteral("files-%1").arg(++m_case));
    QDir().mkpath(folder + QStringLiteral("/out"));
    const QString db = folder + QStringLiteral("/配方数据.mdb");
    makeHostileFile(kind, db);
    if (QTest::currentTestFailed())
        return;
    const QSet<QString> before = filesUnder(m_dir.path());
    const QByteArray digest = fileDigest(db);

    const CliResult report = run({QStringLiteral("report"), QStringLiteral("--db"), db});
    QCOMPARE(report.code, reportCode);
    if (reportCode != 0) {
        QVERIFY2(report.err.contains(message), qPrintable(report.err));
        QVERIFY(report.err.contains(db));
    } else {
        QCOMPARE(report.out.count(QLatin1Char('\n')), 2);
        QVERIFY2(report.out.contains(message), qPrintable(report.out));
    }
    const CliResult render =
        run({QStringLiteral("render"), QStringLiteral("--db"), db, QStringLiteral("--all"),
             QStringLiteral("--out"), folder + QStringLiteral("/out"), QStringLiteral("--size"),
             QStringLiteral("64")});
    QCOMPARE(render.code, reportCode);
    browseAll(folder);

    QCOMPARE(fileDigest(db), digest);
    QCOMPARE(QFile::exists(db), kind != QLatin1String("missing"));
    // Nothing but maps in the output folder was added anywhere.
    for (const QString &file : filesUnder(m_dir.path()) - before)
        QVERIFY2(file.startsWith(folder + QStringLiteral("/out/")), qPrintable(file));
}

void TestFaults::hostileValues_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<bool>("mapWritten"); // for the hostile record itself
    QTest::newRow("text-in-y5") << "3, 1, 2, 3, 4, 'abc', 6, 7, 8, 9, 10, 11, 'a'" << true;
    QTest::newRow("null-y5") << "3, 1, 2, 3, 4, NULL, 6, 7, 8, 9, 10, 11, 'a'" << true;
    QTest::newRow("beyond-single") << "3, 1e39, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'a'" << true;
    QTest::newRow("infinity") << "3, 9e999, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'a'" << true;
    QTest::newRow("negative-zero") << "3, -0.0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'a'" << true;
    QTest::newRow("overflow-in-fit")
        << "3, 1e30, 2e30, 1e30, 3e30, 1e30, 2e30, 1e30, 1e30, 2e30, 1e30, 1e30, 'a'" << true;
    QTest::newRow("huge-sums")
        << "3, 3e38, 3e38, 3e38, 3e38, 3e38, 3e38, 3e38, 3e38, 3e38, 3e38, 1e38, 'a'" << true;
    QTest::newRow("all-equal") << "3, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 'a'" << true;
    QTest::newRow("id-16") << "16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'a'" << true;
    QTest::newRow("id-minus-1") << "-1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'a'" << true;
    QTest::newRow("id-2.5") << "2.5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'a'" << true;
    QTest::newRow("id-1e300") << "1e300, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'a'" << true;
    QTest::newRow("id-path") << "'../../x', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'a'" << false;
    QTest::newRow("id-slash") << "'a/b', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'a'" << false;
    QTest::newRow("id-null") << "NULL, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'a'" << false;
    QTest::newRow("id-same-as-first") << "1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'a'" << false;
    QTest::newRow("long-title") << QStringLiteral("3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, '%1'")
                                       .arg(QString(10000, QChar(0x5EA6)))
                                << true;
    QTest::newRow("blob-everywhere") << "x'00', x'01', x'02', x'03', x'04', x'05', x'06', x'07', "
                                        "x'08', x'09', x'0a', x'0b', x'0c'"
                                     << false;
}

void TestFaults::hostileValues()
{
    QFETCH(QString, row);
    QFETCH(bool, mapWritten);
    const QString folder = m_dir.filePath(QStringLiteral("values-%1").arg(++m_case));
    const QString out = folder + QStringLiteral("/out");
    QDir().mkpath(out);
    const QString db = folder + QStringLiteral("/配方数据.mdb");
    QVERIFY(makeTable(db, {Good, row, ViscosityRow}));
    const QSet<QString> before = filesUnder(m_dir.path());
    const QByteArray digest = fileDigest(db);

    QCOMPARE(run({QStringLiteral("report"), QStringLiteral("--db"), db, QStringLiteral("--format"),
                  QStringLiteral("json")})
                 .code,
             0);
    const CliResult render =
        run({QStringLiteral("render"), QStringLiteral("--db"), db, QStringLiteral("--all"),
             QStringLiteral("--out"), out, QStringLiteral("--size"), QStringLiteral("64")});
    QCOMPARE(render.code, mapWritten ? 0 : 1);
    if (!mapWritten)
        QVERIFY2(render.err.contains(QStringLiteral("row 2")), qPrintable(render.err));
    // The good records' maps are there, and no map was written twice under one name.
    QVERIFY(QFile::exists(out + QStringLiteral("/等高线图1.BMP")));
    QVERIFY(QFile::exists(out + QStringLiteral("/等高线图2.BMP")));
    QCOMPARE(QDir(out).entryList(QDir::Files).size(), mapWritten ? 3 : 2);
    QCOMPARE(browseAll(folder), 3);

    QCOMPARE(fileDigest(db), digest);
    for (const QString &file : filesUnder(m_dir.path()) - before)
        QVERIFY2(file.startsWith(out + QLatin1Char('/')), qPrintable(file));
}

void TestFaults::databaseHeldByAnotherWriter()
{
    const QString db = m_dir.filePath(QStringLiteral("held.mdb"));
    QVERIFY(makeTable(db, {Good}));
    {
        const OtherWriter other(db);
        QVERIFY(other.holding());
        QElapsedTimer clock;
        clock.start();
        const CliResult report = run({QStringLiteral("report"), QStringLiteral("--db"), db});
        QCOMPARE(report.code, 1);
        QVERIFY2(report.err.contains(QStringLiteral("held by another program")),
                 qPrintable(report.err));
        QVERIFY(clock.elapsed() < 15000); // waits briefly, never hangs
    }
    QCOMPARE(run({QStringLiteral("report"), QStringLiteral("--db"), db}).code, 0);
}

void TestFaults::refusedSaveKeepsThePreviousBitmap_data()
{
    QTest::addColumn<bool>("synced");
    QTest::newRow("save-button") << true;
    QTest::newRow("batch") << false;
}

void TestFaults::refusedSaveKeepsThePreviousBitmap()
{
    QFETCH(bool, synced);
    // A disk that refuses the write half-way (here a file size limit, which binds root too):
    // the previous bitmap of that name stays as it was and nothing is left beside it.
    const QString folder = m_dir.filePath(QStringLiteral("save-%1").arg(++m_case));
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/等高线图1.BMP");
    {
        QFile previous(path);
        QVERIFY(previous.open(QIODevice::WriteOnly));
        previous.write("the previous map");
    }
    QImage image(512, 512, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(10, 10, qRgb(255, 0, 0));
    struct rlimit old;
    QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    const Result<void> saved =
        saveBitmap(image, path, synced ? Durability::Synced : Durability::Deferred);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!saved);
    QCOMPARE(saved.failure().code, EFBIG);
    QFile previous(path);
    QVERIFY(previous.open(QIODevice::ReadOnly));
    QCOMPARE(previous.readAll(), QByteArray("the previous map"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("等高线图1.BMP")});
}

void TestFaults::importAndSampleTouchOnlyTheirOutput_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("import-to-dangling-link") << "import-link" << 1 << "not a regular file";
    QTest::newRow("sample-to-dangling-link") << "sample-link" << 1 << "not a regular file";
    QTest::newRow("import-onto-its-source") << "same" << 1 << "both the source";
    QTest::newRow("import-from-fifo") << "fifo-source" << 1 << "is not a file";
    QTest::newRow("report-from-fifo") << "fifo-db" << 1 << "is not a file";
    // Converted whole into a scratch copy, which lacks the experiment table: said of the file.
    QTest::newRow("report-from-access") << "access-db" << 1 << "lab.mdb\" has no table";
    QTest::newRow("import-to-a-long-name") << "long-name" << 0 << "imported 4 tables";
}

void TestFaults::importAndSampleTouchOnlyTheirOutput()
{
    QFETCH(QString, kind);
    QFETCH(int, code);
    QFETCH(QString, message);
    const QString folder = m_dir.filePath(QStringLiteral("touch-") + kind);
    QVERIFY(QDir().mkpath(folder));
    const QString access = folder + QStringLiteral("/lab.mdb");
    QVERIFY(QFile::copy(QStringLiteral(TESMORA_TEST_DATA "/access/V1997_test.mdb"), access));
    // Files of the user's that look like an importer's leftovers are none of its business.
    QFile unrelated(folder + QStringLiteral("/notes.import-part"));
    QVERIFY(unrelated.open(QIODevice::WriteOnly) && unrelated.write("mine") == 4);
    unrelated.close();
    QString out = folder + QStringLiteral("/new.mdb");
    const QString fifo = folder + QStringLiteral("/pipe");
    QStringList args{"import", access, "--out", out};
    if (kind.endsWith(QLatin1String("-link"))) {
        QVERIFY(QFile::link(folder + QStringLiteral("/nowhere.mdb"), out));
        if (kind.startsWith(QLatin1String("sample")))
            args = QStringList{"sample", "--out", out};
    } else if (kind == QLatin1String("same")) {
        args = QStringList{"import", access, "--out", access};
    } else if (kind.startsWith(QLatin1String("fifo"))) {
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        args = kind == QLatin1String("fifo-db") ? QStringList{"report", "--db", fifo}
                                                : QStringList{"import", fifo, "--out", out};
    } else if (kind == QLatin1String("access-db")) {
        args = QStringList{"report", "--db", access};
    } else if (kind == QLatin1String("long-name")) {
        out = folder + QLatin1Char('/') + QString(246, QLatin1Char('n')) + QStringLiteral(".mdb");
        args = QStringList{"import", access, "--out", out};
    }
    const QByteArray before = fileDigest(access);
    const CliResult r = run(args);
    QCOMPARE(r.code, code);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QCOMPARE(fileDigest(access), before);
    QVERIFY(unrelated.open(QIODevice::ReadOnly));
    QCOMPARE(unrelated.readAll(), QByteArray("mine"));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/nowhere.mdb")));
    QCOMPARE(QFileInfo(out).isFile(), code == 0);
    QVERIFY(QDir(folder)
                .entryList({QStringLiteral(".tesmora-*")}, QDir::Hidden | QDir::Files)
                .isEmpty());
}

void TestFaults::svgOfAnyTitleIsWellFormed()
{
    const QString db = m_dir.filePath(QStringLiteral("svg-titles.mdb"));
    QVERIFY(makeTable(db, {"1, " + asSqlList(HardnessY) +
                           ", 'a' || char(1) || char(65534) || char(0) || char(55296) || "
                           "'b（😀'"}));
    const QString out = m_dir.filePath(QStringLiteral("titles.svg"));
    const CliResult r = run({"render", "--db", db, "--id", "1", "--format", "svg", "--out", out});
    QCOMPARE(r.code, 0);
    QFile svg(out);
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    QString text;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::Characters)
            text += xml.text();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(text.contains(QChar(QChar::ReplacementCharacter)));
    // What XML holds is kept, a surrogate pair whole (the text may come in runs per font).
    QVERIFY(text.contains(QStringLiteral("（")) && text.contains(QStringLiteral("😀")));
}

void TestFaults::renderAllFindsRecordsOfOneName()
{
    // Two records of ID 1: the first one's map is written, the second is skipped; maps left by
    // an earlier run are no such collision, and are replaced.
    const QString db = m_dir.filePath(QStringLiteral("twice.mdb"));
    QVERIFY(makeTable(db, {HardnessRow, ViscosityRow, "1, " + asSqlList(ViscosityY) + ", '另一'"}));
    const QString out = m_dir.filePath(QStringLiteral("twice"));
    QDir().mkpath(out);
    for (int pass = 0; pass < 2; ++pass) {
        const CliResult r = run({"render", "--db", db, "--all", "--out", out, "--size", "64"});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err.count(QStringLiteral("same ID")), 1);
        QVERIFY(r.err.contains(QStringLiteral("skipped row 3 (ID 1)")));
        QVERIFY(r.err.contains(QStringLiteral("wrote 2 maps")));
    }
    const CliResult one = run(
        {"render", "--db", db, "--id", "1", "--out", m_dir.filePath("first.BMP"), "--size", "64"});
    QCOMPARE(one.code, 0);
    QFile a(QDir(out).filePath(QStringLiteral("等高线图1.BMP"))), b(m_dir.filePath("first.BMP"));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(a.readAll(), b.readAll());
}

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
