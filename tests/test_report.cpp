// A large table's report, made in chunks on two threads and written in key order.

#include "cli/report_chunks.h"
#include "cli_support.h"
#include "store/sample_db.h"
#include "test_support.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

namespace {

CliResult run(const QStringList &args)
{
    return runCommand(args);
}

const QStringList Hardness = asTexts(HardnessY);

} // namespace

class TestReport : public QObject
{
    Q_OBJECT
private slots:
    void largeReportInChunks();
    void heldRowsWaitTheirTurn();

private:
    QTemporaryDir m_dir;
};

void TestReport::largeReportInChunks()
{
    // A large table is reported in chunks on two threads: every record once, in order, each
    // from its own fields alone, whichever chunk it falls in.
    const QString db = m_dir.filePath(QStringLiteral("large-split.mdb"));
    QStringList rows;
    // Odd records about the first key of a chunk; further into that chunk, a name that spills
    // into pages of its own.
    const int count = 12000, edge = 6 * ReportChunks::ChunkRecords + 1, bad = edge + 600;
    const auto odd = [&](int i) {
        return i >= edge - 2 && i <= edge + 2;
    };
    for (int i = 1; i <= count; ++i) {
        rows << QStringLiteral(
                    "%1, 12.1, 13.4, 11.8, 14.2, %2, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3, %3")
                    .arg(odd(i) && i % 2 ? QStringLiteral("'x'") : QString::number(i))
                    .arg(odd(i) && i % 2 == 0 ? QStringLiteral("NULL") : QString::number(i % 7))
                    .arg(odd(i)     ? QStringLiteral("NULL")
                         : i == bad ? QStringLiteral("'%1'").arg(QString(20000, 'Q'))
                                    : QStringLiteral("'硬度'"));
    }
    QVERIFY(makeTable(db, rows));
    const CliResult r = run({"report", "--db", db, "--format", "json"});
    QCOMPARE(r.code, 0);
    const QJsonArray report = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QCOMPARE(report.size(), count);
    for (int i = 1; i <= count; ++i) {
        const QJsonObject row = report[i - 1].toObject();
        if (odd(i) && i % 2) {
            QVERIFY(row[QStringLiteral("ID")].isNull());
        } else {
            QCOMPARE(row[QStringLiteral("ID")].toString(), QString::number(i));
        }
        if (i != bad)
            QCOMPARE(row[QStringLiteral("name")].toString(), odd(i) ? "" : QStringLiteral("硬度"));
        QCOMPARE(row[QStringLiteral("b0")].isNull(), odd(i) && i % 2 == 0);
        if (i >= edge - 3 && i <= edge + 4 && !(odd(i) && i % 2 == 0)) {
            QStringList own = Hardness;
            own[4] = QString::number(i % 7);
            QCOMPARE(row[QStringLiteral("equation")].toString(),
                     run(QStringList{"fit"} << own).out.section(QLatin1Char('\n'), 0, 0).mid(2));
        }
    }
    // A damaged page that only the rows reach (one of the long name's own): the rows before it,
    // in order, and the failure said so.
    const CliResult whole = run({"report", "--db", db});
    QFile file(db);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QByteArray bytes = file.readAll();
    qint64 page = bytes.indexOf(QByteArray(4092, 'Q')) / 4096 * 4096;
    QVERIFY(page > 0 && file.seek(page) && file.write(QByteArray(4096, '\xff')) == 4096);
    file.close();
    const CliResult damaged = run({"report", "--db", db});
    QCOMPARE(damaged.code, 1);
    QVERIFY2(damaged.err.contains(QStringLiteral("damaged")), qPrintable(damaged.err));
    QCOMPARE(damaged.out, whole.out.section(QLatin1Char('\n'), 0, bad - 1) + '\n');
}

void TestReport::heldRowsWaitTheirTurn()
{
    // Rows beyond what a thread may hold wait for their chunk's turn and then stream: the same
    // report as one thread makes, however little may be held.
    const QString db = m_dir.filePath(QStringLiteral("held.mdb"));
    QVERIFY(sample_db::writeGenerated(db, 12000, 3));
    const auto report = [&](bool two, qsizetype hold) {
        StreamReader first, second;
        if (!first.open(db) || !first.beginSnapshot() || !second.open(db) ||
            !second.beginSnapshot())
            return QString();
        std::FILE *out = std::tmpfile();
        ReportChunks chunks(!two, hold);
        ReportRows rows(QStringLiteral("csv"), 4, out), secondRows(QStringLiteral("csv"), 4, out);
        std::thread other;
        if (two)
            other = std::thread([&] { chunks.work(second, secondRows); });
        chunks.work(first, rows);
        if (other.joinable())
            other.join();
        return chunks.readResult() && !chunks.writeFailed() ? readAndClose(out) : QString();
    };
    const QString whole = report(false, ReportChunks::HoldBytes);
    QCOMPARE(whole.count(QLatin1Char('\n')), 12000);
    QCOMPARE(report(true, 1), whole);
    QCOMPARE(report(true, ReportChunks::HoldBytes), whole);
}

QTEST_GUILESS_MAIN(TestReport)
#include "test_report.moc"
