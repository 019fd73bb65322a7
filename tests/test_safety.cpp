// Real processes ending or starving. An edit survives the ways a running window can end:
// SIGTERM with the cell still being typed, and kill -9 right after the edit was committed; the
// file stays a sound database. Work ended by SIGTERM leaves no scratch file, and the
// leftovers of processes long gone are swept. A statement that stalls is stopped.
#include "store/sqlite_support.h"
#include "test_support.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

class TestSafety : public QObject
{
    Q_OBJECT
private slots:
    void editSurvivesTheEnd_data();
    void editSurvivesTheEnd();
    void interruptedWorkLeavesNoScratch_data();
    void interruptedWorkLeavesNoScratch();
    void stalledStatementsAreInterrupted();

private:
    QTemporaryDir m_dir;
};

void TestSafety::editSurvivesTheEnd_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<bool>("kill");
    QTest::newRow("sigterm-while-typing") << "typing" << false;
    QTest::newRow("sigkill-after-commit") << "committed" << true;
    QTest::newRow("sigterm-after-commit") << "committed" << false;
}

void TestSafety::editSurvivesTheEnd()
{
    QFETCH(QString, edit);
    QFETCH(bool, kill);
    const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QDir().mkpath(folder);
    const QString db = folder + QStringLiteral("/配方数据.mdb");
    QVERIFY(makeTable(db, {HardnessRow, ViscosityRow}));

    QProcess helper;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    helper.setProcessEnvironment(env);
    helper.start(QStringLiteral(EDIT_HELPER), {folder, edit});
    QVERIFY(helper.waitForStarted());
    QVERIFY(helper.waitForReadyRead(20000));
    QCOMPARE(helper.readLine().trimmed(), QByteArray("ready"));
    if (kill)
        helper.kill();
    else
        helper.terminate();
    QVERIFY(helper.waitForFinished(20000));

    QCOMPARE(readCell(db, QStringLiteral("PRAGMA integrity_check")).toString(),
             QStringLiteral("ok"));
    QCOMPARE(readCell(db, QStringLiteral("SELECT Y5 FROM 等高线表 WHERE ID = 1")).toDouble(), 7.3);
    QCOMPARE(readCell(db, QStringLiteral("SELECT Y5 FROM 等高线表 WHERE ID = 2")).toDouble(), 3.3);
}

void TestSafety::interruptedWorkLeavesNoScratch_data()
{
    QTest::addColumn<QString>("work");
    QTest::newRow("batch-of-maps") << "render";
    QTest::newRow("large-sample") << "sample";
}

void TestSafety::interruptedWorkLeavesNoScratch()
{
    QFETCH(QString, work);
    const QString folder = m_dir.filePath(QStringLiteral("interrupted-") + work);
    const QString out = folder + QStringLiteral("/out");
    QDir().mkpath(out);
    const QString db = folder + QStringLiteral("/配方数据.mdb");
    QProcess cli;
    cli.start(QStringLiteral(TESMORA_CLI), {"sample", "--out", db, "--records", "200"});
    QVERIFY(cli.waitForFinished(20000) && cli.exitCode() == 0);
    // Earlier scratch files: one of a process that ended long ago, one still held by its
    // process (this one), one just made. Only the first is anybody's to remove.
    const auto scratch = [&](const char *name, bool old) {
        const QString path = out + QLatin1Char('/') + QLatin1String(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.close();
        if (old) {
            const QDateTime then = QDateTime::currentDateTime().addSecs(-3600);
            f.open(QIODevice::ReadWrite);
            f.setFileTime(then, QFileDevice::FileModificationTime);
        }
        return path;
    };
    const QString abandoned = scratch(".tesmora-aaaaaa", true);
    const QString held = scratch(".tesmora-bbbbbb", true);
    scratch(".tesmora-cccccc", false);
    const int lock = ::open(QFile::encodeName(held).constData(), O_RDONLY);
    QVERIFY(lock >= 0 && ::flock(lock, LOCK_EX) == 0);

    const QStringList args =
        work == QLatin1String("render")
            ? QStringList{"render", "--db", db, "--all", "--out", out, "--size", "6000"}
            : QStringList{"sample", "--out", out + QStringLiteral("/big.mdb"), "--records",
                          "5000000"};
    cli.start(QStringLiteral(TESMORA_CLI), args);
    QVERIFY(cli.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(abandoned), 20000);
    // Its own scratch file is under way: looked for every millisecond, since a map's file is
    // open only while it is written, between much longer drawings.
    QElapsedTimer waited;
    waited.start();
    while (QDir(out).entryList({QStringLiteral(".tesmora-*")}, QDir::Hidden | QDir::Files).size() <=
               2 &&
           waited.elapsed() < 20000)
        ::usleep(1000);
    QVERIFY(waited.elapsed() < 20000);
    cli.terminate();
    QVERIFY(cli.waitForFinished(20000));
    QCOMPARE(cli.exitStatus(), QProcess::CrashExit);
    ::close(lock);
    QCOMPARE(QDir(out).entryList({QStringLiteral(".tesmora-*")}, QDir::Hidden | QDir::Files),
             (QStringList{QStringLiteral(".tesmora-bbbbbb"), QStringLiteral(".tesmora-cccccc")}));
    QVERIFY(!QFile::exists(out + QStringLiteral("/big.mdb")));
}

// A statement that gives no row for longer than the limit is interrupted; one that keeps
// giving rows, each re-arming the limit, runs as long as it needs.
void TestSafety::stalledStatementsAreInterrupted()
{
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
    sqlite_support::WorkLimit limit(200);
    limit.attach(db);
    const auto prepared = [&](const char *sql) {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
        return statement;
    };
    // Counting to 2·10^8 takes seconds: without the limit the step ends, with a row.
    const char *const counter = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
                                "WHERE x < 200000000) ";
    sqlite3_stmt *silent = prepared(QByteArray(counter).append("SELECT count(*) FROM c"));
    limit.arm();
    QCOMPARE(sqlite3_step(silent), SQLITE_INTERRUPT);
    sqlite3_finalize(silent);
    sqlite3_stmt *rows = prepared(QByteArray(counter).append("SELECT x FROM c"));
    QElapsedTimer clock;
    clock.start();
    limit.arm();
    while (clock.elapsed() < 600) {
        QCOMPARE(sqlite3_step(rows), SQLITE_ROW);
        limit.arm();
    }
    sqlite3_finalize(rows);
    sqlite3_close(db);
}

QTEST_GUILESS_MAIN(TestSafety)
#include "test_safety.moc"
