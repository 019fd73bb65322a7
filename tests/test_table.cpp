#include "analysis/experiment_table.h"
#include "analysis/sample_db.h"
#include "shell/experiment_grid.h"
#include "test_support.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <QFileInfo>

#include <sys/stat.h>

class TestTable : public QObject
{
    Q_OBJECT
private slots:
    void fieldsByName();
    void editingOneOfTwoIdenticalRows();
    void addAndDelete();
    void deleteIsAllOrNothing();
    void largeTableOpensAndReachesTheLast();
    void readOnlyFileKeepsTheTyping();
    void sampleIsNeverOverwritten();
    void sampleIsStrict();
    void numericCells_data();
    void numericCells();

private:
    QTemporaryDir m_dir;
};

void TestTable::fieldsByName()
{
    const QString path = m_dir.filePath(QStringLiteral("fields.mdb"));
    QVERIFY(makeTable(
        path, {HardnessRow, QStringLiteral("2, 1, 2, 3, 4, NULL, 6, 7, 8, 9, 10, 11, NULL")}));
    ExperimentTable table;
    QString error;
    QVERIFY2(table.open(path, ExperimentTable::Mode::ReadOnly, &error), qPrintable(error));
    QCOMPARE(table.count(), 2);
    QCOMPARE(table.field(0, QStringLiteral("Y12")).value.toString(), QStringLiteral("硬度"));
    QCOMPARE(table.field(1, QStringLiteral("Y5")).kind, FieldValue::Kind::Empty);
    QCOMPARE(table.field(1, QStringLiteral("Y13")).kind, FieldValue::Kind::Error);
    QCOMPARE(table.field(2, QStringLiteral("Y1")).kind, FieldValue::Kind::Error);
    QCOMPARE(table.field(0, QStringLiteral("Y11")).value.toDouble(), 15.3);
}

void TestTable::editingOneOfTwoIdenticalRows()
{
    const QString path = m_dir.filePath(QStringLiteral("twins.mdb"));
    QVERIFY(makeTable(path, {HardnessRow, HardnessRow}));
    ExperimentTable table;
    QString error;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite, &error));
    ExperimentModel model(table);
    model.reload();
    QVERIFY(model.setData(model.index(1, 5), QStringLiteral("7.3"), Qt::EditRole));
    QCOMPARE(readCell(path, QStringLiteral("SELECT Y5 FROM 等高线表 WHERE rowid = 1")).toDouble(),
             13.9);
    QCOMPARE(readCell(path, QStringLiteral("SELECT Y5 FROM 等高线表 WHERE rowid = 2")).toDouble(),
             7.3);
    QCOMPARE(model.data(model.index(1, 5), Qt::DisplayRole).toString(), QStringLiteral("7.3"));
    // Text in a numeric cell is refused and nothing is stored.
    QVERIFY(!model.setData(model.index(0, 5), QStringLiteral("abc"), Qt::EditRole));
    QCOMPARE(readCell(path, QStringLiteral("SELECT Y5 FROM 等高线表 WHERE rowid = 1")).toDouble(),
             13.9);
    // Clearing a cell stores no value.
    QVERIFY(model.setData(model.index(0, 12), QString(), Qt::EditRole));
    QVERIFY(readCell(path, QStringLiteral("SELECT Y12 IS NULL FROM 等高线表 WHERE rowid = 1"))
                .toBool());
}

void TestTable::addAndDelete()
{
    const QString path = m_dir.filePath(QStringLiteral("add.mdb"));
    QVERIFY(makeTable(path, {HardnessRow, ViscosityRow}));
    ExperimentTable table;
    QString error;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite, &error));
    ExperimentModel model(table);
    model.reload();
    QCOMPARE(model.rowCount(), 3); // two records and the row for adding one
    QVERIFY(model.isNewRecordRow(2));
    QSignalSpy added(&model, &ExperimentModel::recordAdded);
    QVERIFY(model.setData(model.index(2, 0), QStringLiteral("3"), Qt::EditRole));
    QCOMPARE(added.size(), 1);
    QCOMPARE(model.rowCount(), 4);
    QVERIFY(model.setData(model.index(2, 1), QStringLiteral("-1.5e1"), Qt::EditRole));
    QCOMPARE(readCell(path, QStringLiteral("SELECT Y1 FROM 等高线表 WHERE ID = 3")).toDouble(),
             -15.0);

    QVERIFY(model.removeRecords({0, 2}, &error));
    QCOMPARE(table.count(), 1);
    QCOMPARE(readCell(path, QStringLiteral("SELECT count(*) FROM 等高线表")).toInt(), 1);
    QCOMPARE(table.field(0, QStringLiteral("ID")).value.toDouble(), 2.0);
}

void TestTable::deleteIsAllOrNothing()
{
    const QString path = m_dir.filePath(QStringLiteral("delete.mdb"));
    QVERIFY(makeTable(path, {HardnessRow, ViscosityRow}));
    // A trigger refuses deleting the second record: the first must stay too.
    QVERIFY(runSql(path, {QStringLiteral("CREATE TRIGGER keep BEFORE DELETE ON 等高线表 WHEN "
                                         "old.ID = 2 BEGIN SELECT RAISE(ABORT, 'kept'); END")}));
    ExperimentTable table;
    QString error;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite, &error));
    QVERIFY(!table.removeRecords({0, 1}, &error));
    QVERIFY(error.contains(QStringLiteral("kept")));
    QCOMPARE(table.count(), 2);
    QCOMPARE(readCell(path, QStringLiteral("SELECT count(*) FROM 等高线表")).toInt(), 2);
}

void TestTable::largeTableOpensAndReachesTheLast()
{
    const QString path = m_dir.filePath(QStringLiteral("large.mdb"));
    QString error;
    QVERIFY2(sample_db::writeGenerated(path, 100000, 7, &error), qPrintable(error));
    ExperimentTable table;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite, &error));
    // Opening locates only the first records; the rest come when asked for.
    QCOMPARE(table.count(), ExperimentTable::FirstFetch);
    QVERIFY(!table.complete());
    QCOMPARE(table.field(ExperimentTable::FirstFetch - 1, QStringLiteral("ID")).value.toDouble(),
             double(ExperimentTable::FirstFetch));
    QVERIFY(table.fetchMore(-1, &error));
    QVERIFY(table.complete());
    QCOMPARE(table.count(), 100000);
    QCOMPARE(table.field(99999, QStringLiteral("ID")).value.toDouble(), 100000.0);
    QCOMPARE(table.field(0, QStringLiteral("ID")).value.toDouble(), 1.0);
}

void TestTable::readOnlyFileKeepsTheTyping()
{
    // Another program holds the database: the write fails after a short wait, the typing stays
    // in the cell, and the next attempt writes it once the other program lets go.
    const QString path = m_dir.filePath(QStringLiteral("locked.mdb"));
    QVERIFY(makeTable(path, {HardnessRow}));
    ExperimentTable table;
    QString error;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite, &error));
    ExperimentModel model(table);
    model.reload();
    {
        const OtherWriter other(path);
        QVERIFY(other.holding());
        QSignalSpy failed(&model, &ExperimentModel::writeFailed);
        QVERIFY(model.setData(model.index(0, 5), QStringLiteral("7.3"), Qt::EditRole));
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed.first().first().toString().contains(QStringLiteral("占用")),
                 qPrintable(failed.first().first().toString()));
        QCOMPARE(model.pendingCount(), 1);
        QCOMPARE(model.data(model.index(0, 5), Qt::DisplayRole).toString(), QStringLiteral("7.3"));
        QVERIFY(model.data(model.index(0, 5), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("未写入")));
    }
    QVERIFY(model.retryPending());
    QCOMPARE(model.pendingCount(), 0);
    QCOMPARE(readCell(path, QStringLiteral("SELECT Y5 FROM 等高线表")).toDouble(), 7.3);
}

void TestTable::sampleIsNeverOverwritten()
{
    const QString path = m_dir.filePath(QStringLiteral("existing.mdb"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("precious lab data");
    f.close();
    QString error;
    QVERIFY(!sample_db::writeSample(path, &error));
    QVERIFY(!sample_db::writeGenerated(path, 10, 1, &error));
    QCOMPARE(fileDigest(path),
             QCryptographicHash::hash("precious lab data", QCryptographicHash::Sha256));
}

void TestTable::sampleIsStrict()
{
    const QString path = m_dir.filePath(QStringLiteral("sample.mdb"));
    QString error;
    const mode_t mask = ::umask(0022);
    const bool written = sample_db::writeSample(path, &error);
    ::umask(mask);
    QVERIFY2(written, qPrintable(error));
    // An ordinary file of the user's, not a private scratch one.
    QVERIFY(QFileInfo(path).permissions().testFlag(QFileDevice::ReadOther));
    ExperimentTable table;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite, &error));
    QVERIFY(table.count() >= 2);
    QCOMPARE(table.field(0, QStringLiteral("Y12")).value.toString(), QStringLiteral("硬度"));
    // Text cannot hide in a numeric column of a new database.
    QVERIFY(
        !table.setValue(0, table.columnIndex(QStringLiteral("Y5")), QStringLiteral("abc"),
                        table.record(0), &error));
    QCOMPARE(table.field(0, QStringLiteral("Y5")).value.toDouble(), 13.9);
}

void TestTable::numericCells_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("empty");
    QTest::newRow("number") << "12.5" << true << false;
    QTest::newRow("negative-exponent") << "-1.2e-3" << true << false;
    QTest::newRow("blank") << "  " << true << true;
    QTest::newRow("text") << "abc" << false << false;
    QTest::newRow("comma") << "1,5" << false << false;
    QTest::newRow("infinite") << "1e999" << false << false;
}

void TestTable::numericCells()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(bool, empty);
    const auto value = parseNumericCell(typed);
    QCOMPARE(value.has_value(), accepted);
    if (value)
        QCOMPARE(value->isNull(), empty);
}

QTEST_GUILESS_MAIN(TestTable)
#include "test_table.moc"
