// An edit survives the ways a running window can end: SIGTERM with the cell still being typed,
// and kill -9 right after the edit was committed. The file stays a sound database.
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

QTEST_GUILESS_MAIN(TestSafety)
#include "test_safety.moc"
