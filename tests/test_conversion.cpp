// The window's conversion of Access files: a child that floods, fails, crashes or succeeds,
// with the event loop running throughout (the cancel below is a timer firing meanwhile).
#include "shell/access_conversion.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestConversion : public QObject
{
    Q_OBJECT
private slots:
    void outcomes_data();
    void outcomes();

private:
    QTemporaryDir m_dir;
};

void TestConversion::outcomes_data()
{
    QTest::addColumn<QByteArray>("script"); // empty: the real command line
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("kind"); // -1: converted
    QTest::addColumn<QString>("detail");
    QTest::newRow("converted") << QByteArray() << false << -1 << "";
    // Asked to end first, so that it can remove its scratch file; killed only if it does not.
    QTest::newRow("endless-words-cancelled")
        << QByteArray("trap 'touch \"${0%/*}/asked-to-end\"; kill $!; exit 143' TERM\n"
                      "yes 'table: 1 rows' >&2 &\nwait\n")
        << true << int(Failure::Kind::Cancelled) << "";
    QTest::newRow("failure-said")
        << QByteArray("echo 'Table1: 0 rows' >&2\n"
                      "echo 'failure-json {\"failure\":\"damaged\",\"detail\":\"table x: 1 of "
                      "its 2 rows can be read\"}' >&2\nexit 1\n")
        << false << int(Failure::Kind::Damaged) << "1 of its 2 rows";
    QTest::newRow("crashed") << QByteArray("kill -SEGV $$\n") << false
                             << int(Failure::Kind::Damaged) << "异常结束";
}

void TestConversion::outcomes()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, cancel);
    QFETCH(int, kind);
    QFETCH(QString, detail);
    const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(folder));
    QString tool = QStringLiteral(TESMORA_CLI);
    if (!script.isEmpty()) {
        tool = folder + QStringLiteral("/tool.sh");
        QFile f(tool);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("#!/bin/sh\n" + script) > 0);
        f.close();
        QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::ExeOwner));
    }
    if (cancel) {
        QTimer::singleShot(1000, this, [] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *progress = qobject_cast<QProgressDialog *>(w);
                    progress && progress->isVisible())
                    QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
            }
        });
    }
    const QString target = folder + QStringLiteral("/out.mdb");
    QElapsedTimer clock;
    clock.start();
    const Result<void> done = convertAccessFile(
        nullptr, tool, QStringLiteral(TESMORA_TEST_DATA "/access/V1997_test.mdb"), target);
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(done ? -1 : int(done.failure().kind), kind);
    if (!done)
        QVERIFY2(done.failure().detail.contains(detail), qPrintable(done.failure().detail));
    QCOMPARE(QFile::exists(target), kind == -1);
    QCOMPARE(QFile::exists(folder + QStringLiteral("/asked-to-end")), cancel);
}

QTEST_MAIN(TestConversion)
#include "test_conversion.moc"
