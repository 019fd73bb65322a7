#include "shell/experiment_grid.h"
#include "store/experiment_table.h"
#include "store/sample_db.h"
#include "test_support.h"

#include <QAbstractItemModelTester>
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
    void rowKeyIsTheTrueOne_data();
    void rowKeyIsTheTrueOne();
    void anotherProgramsChangeIsNotOverwritten_data();
    void anotherProgramsChangeIsNotOverwritten();
    void hostileSchemas_data();
    void hostileSchemas();
    void runawayTriggerIsInterrupted();
    void fileDeletedUnderTheWindowIsSaidSo();

private:
    QTemporaryDir m_dir;
};

void TestTable::fieldsByName()
{
    const QString path = m_dir.filePath(QStringLiteral("fields.mdb"));
    QVERIFY(makeTable(
        path, {HardnessRow, QStringLiteral("2, 1, 2, 3, 4, NULL, 6, 7, 8, 9, 10, 11, NULL")}));
    ExperimentTable table;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadOnly));
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
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite));
    ExperimentModel model(table);
    const QAbstractItemModelTester tester(&model); // every change announced as a view needs
    model.reload();
    QVERIFY(model.setData(model.index(1, 5), QStringLiteral("7.3"), Qt::EditRole));
    QCOMPARE(readCell(path, QStringLiteral("SELECT Y5 FROM 等高线表 WHERE rowid = 1")).toDouble(),
             13.9);
    QCOMPARE(readCell(path, QStringLiteral("SELECT Y5 FROM 等高线表 WHERE rowid = 2")).toDouble(),
             7.3);
    QCOMPARE(model.data(model.index(1, 5), Qt::DisplayRole).toString(), QStringLiteral("7.3"));
    // Text in a numeric cell is refused and nothing is stored; so is anything but an edit.
    QVERIFY(!model.setData(model.index(0, 5), QStringLiteral("abc"), Qt::EditRole));
    QVERIFY(!model.setData(model.index(0, 5), QStringLiteral("8"), Qt::DisplayRole));
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
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite));
    ExperimentModel model(table);
    const QAbstractItemModelTester tester(&model); // every change announced as a view needs
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

    QSignalSpy reset(&model, &QAbstractItemModel::modelReset); // a view sees the new rows
    QVERIFY(model.removeRecords({0, 2}));
    QCOMPARE(reset.size(), 1);
    QCOMPARE(model.rowCount(), 2);
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
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite));
    const Result<void> removed = table.removeRecords({0, 1});
    QVERIFY(!removed);
    QCOMPARE(removed.failure().kind, Failure::Kind::Constraint);
    QVERIFY(removed.failure().detail.contains(QStringLiteral("kept")));
    QCOMPARE(table.count(), 2);
    QCOMPARE(readCell(path, QStringLiteral("SELECT count(*) FROM 等高线表")).toInt(), 2);
}

void TestTable::largeTableOpensAndReachesTheLast()
{
    const QString path = m_dir.filePath(QStringLiteral("large.mdb"));
    QVERIFY(sample_db::writeGenerated(path, 100000, 7));
    ExperimentTable table;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite));
    // Opening locates only the first records; the rest come when asked for.
    QCOMPARE(table.count(), ExperimentTable::FirstFetch);
    QVERIFY(!table.complete());
    QCOMPARE(table.field(ExperimentTable::FirstFetch - 1, QStringLiteral("ID")).value.toDouble(),
             double(ExperimentTable::FirstFetch));
    QVERIFY(table.fetchMore(-1));
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
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite));
    ExperimentModel model(table);
    const QAbstractItemModelTester tester(&model); // every change announced as a view needs
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
    QVERIFY(!sample_db::writeSample(path));
    QVERIFY(!sample_db::writeGenerated(path, 10, 1));
    QCOMPARE(fileDigest(path),
             QCryptographicHash::hash("precious lab data", QCryptographicHash::Sha256));
}

void TestTable::sampleIsStrict()
{
    const QString path = m_dir.filePath(QStringLiteral("sample.mdb"));
    const mode_t mask = ::umask(0022);
    const bool written = bool(sample_db::writeSample(path));
    ::umask(mask);
    QVERIFY(written);
    // An ordinary file of the user's, not a private scratch one.
    QVERIFY(QFileInfo(path).permissions().testFlag(QFileDevice::ReadOther));
    ExperimentTable table;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite));
    QVERIFY(table.count() >= 2);
    QCOMPARE(table.field(0, QStringLiteral("Y12")).value.toString(), QStringLiteral("硬度"));
    // Text cannot hide in a numeric column of a new database.
    QVERIFY(!table.setValue(0, table.columnIndex(QStringLiteral("Y5")), QStringLiteral("abc"),
                            *table.readRecord(0)));
    QCOMPARE(table.field(0, QStringLiteral("Y5")).value.toDouble(), 13.9);
    // Past the last record or column: no record to write, and none is written.
    for (const auto &[row, column] : {std::pair{int(table.count()), 1}, std::pair{0, 99}}) {
        const Result<int> past = table.setValue(row, column, 1.0, *table.readRecord(0));
        QVERIFY(!past && past.failure().kind == Failure::Kind::NoRecord);
    }
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

void TestTable::rowKeyIsTheTrueOne_data()
{
    // Columns that take the names of the row key, and a record at the smallest key there is.
    QTest::addColumn<QString>("columns");
    QTest::addColumn<QStringList>("rows");
    const QString y = asSqlList(HardnessY) + ", '硬度'";
    const QString cols = QStringLiteral("ID, Y1, Y2, Y3, Y4, Y5, Y6, Y7, Y8, Y9, Y10, Y11, Y12");
    QTest::newRow("rowid-column") << "rowid, " + cols
                                  << QStringList{"1, 1, " + y, "1, 2, " + y, "1, 3, " + y};
    QTest::newRow("rowid-and-oid-columns")
        << "rowid, OID, " + cols << QStringList{"1, 1, 1, " + y, "1, 1, 2, " + y, "1, 1, 3, " + y};
    QTest::newRow("smallest-key") << cols + ", k INTEGER PRIMARY KEY"
                                  << QStringList{"1, " + y + ", -9223372036854775808",
                                                 "2, " + y + ", 0", "3, " + y + ", 5"};
    // "*" would bring the generated column and shift every value after it by one.
    QTest::newRow("generated-column-before-y1")
        << QString(cols).replace(QStringLiteral("ID, "), QStringLiteral("ID, g AS (ID * 2), "))
        << QStringList{"1, " + y, "2, " + y, "3, " + y};
    QTest::newRow("id-is-the-row-key")
        << QString(cols).replace(QStringLiteral("ID, "), QStringLiteral("ID INTEGER PRIMARY KEY, "))
        << QStringList{"1, " + y, "2, " + y, "3, " + y};
}

void TestTable::rowKeyIsTheTrueOne()
{
    QFETCH(QString, columns);
    QFETCH(QStringList, rows);
    const QString path = m_dir.filePath(QStringLiteral("key-%1.mdb").arg(QTest::currentDataTag()));
    QVERIFY(makeTable(path, rows, columns));
    ExperimentTable table;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite));
    QCOMPARE(table.count(), 3);
    QCOMPARE(table.field(0, QStringLiteral("ID")).value.toInt(), 1);
    QCOMPARE(table.field(0, QStringLiteral("Y1")).value.toDouble(), HardnessY[0]);
    QCOMPARE(table.field(0, QStringLiteral("Y12")).value.toString(), QStringLiteral("硬度"));
    ExperimentModel model(table);
    const QAbstractItemModelTester tester(&model); // every change announced as a view needs
    model.reload();
    const int y5 = table.columnIndex(QStringLiteral("Y5"));
    QVERIFY(model.setData(model.index(1, y5), QStringLiteral("7.5"), Qt::EditRole));
    QCOMPARE(readCell(path, QStringLiteral("SELECT group_concat(Y5) FROM 等高线表")).toString(),
             QStringLiteral("13.9,7.5,13.9"));
    // A new ID moves a record whose ID is the row key: the record is followed to its place.
    QSignalSpy moved(&model, &ExperimentModel::recordMoved);
    QSignalSpy failed(&model, &ExperimentModel::writeFailed);
    QVERIFY(model.setData(model.index(0, table.columnIndex(QStringLiteral("ID"))),
                          QStringLiteral("10"), Qt::EditRole));
    QVERIFY(failed.isEmpty());
    const bool idIsKey = QTest::currentDataTag() == QByteArray("id-is-the-row-key");
    QCOMPARE(moved.size(), idIsKey ? 1 : 0);
    const int now = idIsKey ? 2 : 0;
    QCOMPARE(table.field(now, QStringLiteral("ID")).value.toInt(), 10);
    QCOMPARE(table.field(now, QStringLiteral("Y1")).value.toDouble(), HardnessY[0]);
    QVERIFY(model.setData(model.index(now, y5), QStringLiteral("8.5"), Qt::EditRole));
    QVERIFY(failed.isEmpty());
    QCOMPARE(readCell(path, QStringLiteral("SELECT Y5 FROM 等高线表 WHERE ID = 10")).toDouble(),
             8.5);
    QVERIFY(model.removeRecords({idIsKey ? 1 : 2}));
    QCOMPARE(readCell(path, QStringLiteral("SELECT count(*) FROM 等高线表")).toInt(), 2);
}

void TestTable::anotherProgramsChangeIsNotOverwritten_data()
{
    QTest::addColumn<QStringList>("other");
    QTest::addColumn<QString>("reason");
    // The last record deleted and a new one inserted: SQLite gives it the freed key.
    QTest::newRow("key-reused") << QStringList{"DELETE FROM 等高线表 WHERE ID = 2",
                                               "INSERT INTO 等高线表 VALUES (" + HardnessRow + ")"}
                                << "修改";
    QTest::newRow("changed") << QStringList{"UPDATE 等高线表 SET Y1 = 99 WHERE ID = 2"} << "修改";
    QTest::newRow("deleted") << QStringList{"DELETE FROM 等高线表 WHERE ID = 2"} << "删除";
}

void TestTable::anotherProgramsChangeIsNotOverwritten()
{
    QFETCH(QStringList, other);
    QFETCH(QString, reason);
    const QString path =
        m_dir.filePath(QStringLiteral("other-%1.mdb").arg(QTest::currentDataTag()));
    QVERIFY(makeTable(path, {HardnessRow, ViscosityRow}));
    ExperimentTable table;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite));
    ExperimentModel model(table);
    const QAbstractItemModelTester tester(&model); // every change announced as a view needs
    model.reload();
    QCOMPARE(model.data(model.index(1, 12), Qt::DisplayRole).toString(), QStringLiteral("粘度"));
    ExperimentTable deleting;
    QVERIFY(deleting.open(path, ExperimentTable::Mode::ReadWrite));
    QCOMPARE(deleting.readRecord(1)->size(), 13);
    QVERIFY(runSql(path, other));
    const QByteArray before = fileDigest(path);
    // Deleting records as they were read is refused as a whole.
    const Result<void> removed = deleting.removeRecords({0, 1});
    QVERIFY(!removed);
    QCOMPARE(removed.failure().kind, reason == QStringLiteral("删除")
                                         ? Failure::Kind::DeletedElsewhere
                                         : Failure::Kind::ChangedElsewhere);
    QCOMPARE(fileDigest(path), before);
    // What it had read is stale: it now reads the file as it is.
    const Result<QVariantList> second = deleting.readRecord(1);
    const QVariant inFile =
        readCell(path, QStringLiteral("SELECT Y1 FROM 等高线表 ORDER BY ID LIMIT 1 OFFSET 1"));
    QCOMPARE(bool(second), inFile.isValid());
    QCOMPARE(second ? second->value(1).toDouble() : 0, inFile.toDouble());
    QSignalSpy failed(&model, &ExperimentModel::writeFailed);
    QVERIFY(model.setData(model.index(1, 5), QStringLiteral("7.3"), Qt::EditRole));
    QCOMPARE(failed.size(), 1);
    QVERIFY2(failed.first().first().toString().contains(reason),
             qPrintable(failed.first().first().toString()));
    QCOMPARE(fileDigest(path), before);
    // The typing waits, and stays unwritten on the next try: the record is no longer the one
    // it was typed against.
    QCOMPARE(model.pendingCount(), 1);
    QVERIFY(!model.retryPending());
    QCOMPARE(fileDigest(path), before);
}

void TestTable::hostileSchemas_data()
{
    QTest::addColumn<QStringList>("schema");
    QTest::addColumn<int>("refusal"); // a Failure::Kind, or -1: opens and reads
    const QString cols = QStringLiteral("ID, Y1, Y2, Y3, Y4, Y5, Y6, Y7, Y8, Y9, Y10, Y11, Y12");
    QTest::newRow("view") << QStringList{"CREATE TABLE t (" + cols + ")",
                                         "INSERT INTO t VALUES (" + HardnessRow + ")",
                                         "CREATE VIEW 等高线表 AS SELECT * FROM t"}
                          << int(Failure::Kind::View);
    QTest::newRow("endless-view")
        << QStringList{"CREATE VIEW 等高线表 AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL "
                       "SELECT x + 1 FROM c) SELECT x AS ID, x AS Y1, 'a' AS Y12 FROM c"}
        << int(Failure::Kind::View);
    QTest::newRow("without-rowid")
        << QStringList{"CREATE TABLE 等高线表 (" + cols + ", PRIMARY KEY (ID)) WITHOUT ROWID"}
        << int(Failure::Kind::NoRowKey);
    QTest::newRow("every-key-name-taken")
        << QStringList{"CREATE TABLE 等高线表 (_rowid_, rowid, oid, " + cols + ")"}
        << int(Failure::Kind::NoRowKey);
    QTest::newRow("lower-case-names")
        << QStringList{"CREATE TABLE 等高线表 (id, y1, y2, y3, y4, y5, y6, y7, y8, y9, y10, y11, "
                       "y12)",
                       "INSERT INTO 等高线表 VALUES (" + HardnessRow + ")"}
        << -1;
    QTest::newRow("quote-in-a-column-name")
        << QStringList{"CREATE TABLE 等高线表 (" + cols + ", \"note\"\"s\")",
                       "INSERT INTO 等高线表 VALUES (" + HardnessRow + ", 'x')"}
        << -1;
}

void TestTable::hostileSchemas()
{
    QFETCH(QStringList, schema);
    QFETCH(int, refusal);
    const QString path =
        m_dir.filePath(QStringLiteral("schema-%1.mdb").arg(QTest::currentDataTag()));
    QVERIFY(runSql(path, schema));
    const QByteArray before = fileDigest(path);
    ExperimentTable table;
    const Result<void> opened = table.open(path, ExperimentTable::Mode::ReadWrite);
    QCOMPARE(bool(opened), refusal < 0);
    if (!opened)
        QCOMPARE(int(opened.failure().kind), refusal);
    if (opened) {
        QCOMPARE(table.field(0, QStringLiteral("Y12")).value.toString(), QStringLiteral("硬度"));
        QCOMPARE(table.field(0, QStringLiteral("Y11")).value.toDouble(), 15.3);
    }
    table.close();
    QCOMPARE(fileDigest(path), before);
}

void TestTable::runawayTriggerIsInterrupted()
{
    // A trigger that never ends must not hang the window: the write is stopped, and the typing
    // waits in the cell with the reason.
    const QString path = m_dir.filePath(QStringLiteral("trigger.mdb"));
    QVERIFY(makeTable(path, {HardnessRow}));
    QVERIFY(runSql(path, {"CREATE TABLE log (x)",
                          "CREATE TRIGGER endless AFTER UPDATE ON 等高线表 BEGIN INSERT INTO log "
                          "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                          "SELECT x FROM c; END"}));
    ExperimentTable table;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite));
    ExperimentModel model(table);
    const QAbstractItemModelTester tester(&model); // every change announced as a view needs
    model.reload();
    QSignalSpy failed(&model, &ExperimentModel::writeFailed);
    QVERIFY(model.setData(model.index(0, 5), QStringLiteral("7.3"), Qt::EditRole));
    QCOMPARE(failed.size(), 1);
    QVERIFY2(failed.first().first().toString().contains(QStringLiteral("中止")),
             qPrintable(failed.first().first().toString()));
    QCOMPARE(model.pendingCount(), 1);
    QCOMPARE(readCell(path, QStringLiteral("SELECT Y5 FROM 等高线表")).toDouble(), 13.9);
}

void TestTable::fileDeletedUnderTheWindowIsSaidSo()
{
    const QString path = m_dir.filePath(QStringLiteral("deleted.mdb"));
    QVERIFY(makeTable(path, {HardnessRow}));
    ExperimentTable table;
    QVERIFY(table.open(path, ExperimentTable::Mode::ReadWrite));
    const QVariantList shown = *table.readRecord(0);
    QVERIFY(QFile::remove(path));
    const Result<int> written = table.setValue(0, 5, 7.3, shown);
    QVERIFY(!written);
    QCOMPARE(written.failure().kind, Failure::Kind::Moved);
    QVERIFY(!QFile::exists(path));
}

QTEST_GUILESS_MAIN(TestTable)
#include "test_table.moc"
