// Real processes ending or starving. An edit survives the ways a running window can end:
// SIGTERM with the cell still being typed, and kill -9 right after the edit was committed; the
// file stays a sound database. A batch of maps ended by SIGTERM leaves no scratch file.
#include "test_support.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestSafety : public QObject
{
    Q_OBJECT
private slots:
    void editSurvivesTheEnd_data();
    void editSurvivesTheEnd();
    void interruptedBatchLeavesNoScratch();

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

void TestSafety::interruptedBatchLeavesNoScratch()
{
    const QString folder = m_dir.filePath(QStringLiteral("batch"));
    const QString out = folder + QStringLiteral("/maps");
    QDir().mkpath(out);
    const QString db = folder + QStringLiteral("/配方数据.mdb");
    QProcess cli;
    cli.start(QStringLiteral(TESMORA_CLI), {"sample", "--out", db, "--records", "200"});
    QVERIFY(cli.waitForFinished(20000) && cli.exitCode() == 0);
    // A leftover of an earlier run under a name a scratch file could take.
    QFile leftover(out + QStringLiteral("/等高线图1.BMP.tmp-AAAAAA"));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.close();

    cli.start(QStringLiteral(TESMORA_CLI),
              {"render", "--db", db, "--all", "--out", out, "--size", "6000"});
    QVERIFY(cli.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QDir(out).entryList({QStringLiteral("*.BMP")}).size() >= 2, 20000);
    cli.terminate();
    QVERIFY(cli.waitForFinished(20000));
    QCOMPARE(cli.exitStatus(), QProcess::CrashExit);
    QCOMPARE(QDir(out).entryList({QStringLiteral("*.tmp-*")}),
             QStringList{QStringLiteral("等高线图1.BMP.tmp-AAAAAA")});
    // The leftover is in nobody's way.
    cli.start(QStringLiteral(TESMORA_CLI),
              {"render", "--db", db, "--id", "1", "--out", out + QStringLiteral("/等高线图1.BMP")});
    QVERIFY(cli.waitForFinished(20000));
    QCOMPARE(cli.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestSafety)
#include "test_safety.moc"
