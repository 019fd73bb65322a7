// A large table's report, made in chunks on two threads and written in key order.

#include "cli/report_chunks.h"
#include "cli/report_rows.h"
#include "cli_support.h"
#include "store/sample_db.h"
#include "test_support.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <thread>

namespace {

const QStringList Hardness = asTexts(HardnessY);

} // namespace

class TestReport : public QObject
{
    Q_OBJECT
private slots:
    void largeReportInChunks();
    void heldRowsWaitTheirTurn_data();
    void heldRowsWaitTheirTurn();
    void readerAskedAgainFromItsVisit();
    void cellTextsInUtf8();
    void csvQuotesWhereverTheBreakIs();

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

void TestReport::heldRowsWaitTheirTurn_data()
{
    // The row keys given anew: `r` stands for 1 ... 12000 in their order.
    QTest::addColumn<QString>("keys");
    QTest::newRow("dense keys") << QString();
    QTest::newRow("keys far apart in the middle")
        << QStringLiteral("CASE WHEN r <= 4000 THEN r WHEN r <= 8000 THEN 4000 + (r - 4000) * 5000 "
                          "WHEN r <= 11990 THEN 30000000 + r "
                          "ELSE 9223372036854775807 - (12000 - r) * 3 END");
    QTest::newRow("keys at the top of their range")
        << QStringLiteral("9223372036854775807 - 12000 + r");
}

void TestReport::heldRowsWaitTheirTurn()
{
    // Rows beyond what a thread may hold wait for their chunk's turn and then stream: the same
    // report as one thread makes, however little may be held and however the keys lie.
    QFETCH(QString, keys);
    const QString db = m_dir.filePath(QStringLiteral("held-%1.mdb").arg(QTest::currentDataTag()));
    QVERIFY(sample_db::writeGenerated(db, 12000, 3));
    if (!keys.isEmpty()) {
        // Negated first, so that no new key meets an old one.
        const QString table = QStringLiteral("\"等高线表\"");
        keys.replace(QLatin1Char('r'), QStringLiteral("(-rowid)"));
        QVERIFY(runSql(db, {QStringLiteral("UPDATE %1 SET rowid = -rowid").arg(table),
                            QStringLiteral("UPDATE %1 SET rowid = %2").arg(table, keys)}));
    }
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

void TestReport::readerAskedAgainFromItsVisit()
{
    // A visit may read through its own reader again: the statements it keeps are not handed out
    // while in use, so the outer reading goes on where it was.
    const QString db = m_dir.filePath(QStringLiteral("nested.mdb"));
    QVERIFY(makeTable(db, {HardnessRow, ViscosityRow, "3, " + asSqlList(HardnessY) + ", 'c'"}));
    StreamReader reader;
    QVERIFY(reader.open(db));
    constexpr qint64 First = std::numeric_limits<qint64>::min();
    constexpr qint64 Last = std::numeric_limits<qint64>::max();
    QList<double> outer;
    QList<int> inner;
    const auto ids = [&](const std::vector<StreamCell> &cells) {
        outer << cells.front().number;
        int seen = 0;
        const bool read = bool(reader.forEach(
            recordFieldNames(),
            [&](const std::vector<StreamCell> &) {
                ++seen;
                return true;
            },
            First, Last));
        const auto second = reader.keyAtOffset(First, 1);
        inner << (read && second && *second ? seen : -1);
        return outer.size() < 10;
    };
    QVERIFY(reader.forEach(recordFieldNames(), ids, First, Last));
    QCOMPARE(outer, QList<double>({1, 2, 3}));
    QCOMPARE(inner, QList<int>({3, 3, 3}));
}

// Cell texts are written eight units at a time while they are plain ASCII: every kind of unit
// at every place about those blocks, against Qt's own UTF-8 and escapes made one unit at a time;
// texts in Latin-1 bytes the same way.
void TestReport::cellTextsInUtf8()
{
    const QString units[] = {
        QStringLiteral("a"),      QStringLiteral("Z"),      QStringLiteral("\\"),
        QStringLiteral("\t"),     QStringLiteral("\x01"),   QStringLiteral("\x1f"),
        QStringLiteral("\x7f"),   QStringLiteral("\u0085"), QStringLiteral("\u00e9"),
        QStringLiteral("\u786c"), QStringLiteral("\u2028"), QString(QChar(0xD83D)) + QChar(0xDE00),
        QString(QChar(0xD83D)),   QString(QChar(0xDE00))};
    // A surrogate without its partner is written as the replacement character (Qt writes '?').
    const auto paired = [](const QString &text) {
        QString out = text;
        for (qsizetype k = 0; k < out.size(); ++k) {
            if (out[k].isHighSurrogate() && k + 1 < out.size() && out[k + 1].isLowSurrogate())
                ++k;
            else if (out[k].isSurrogate())
                out[k] = QChar::ReplacementCharacter;
        }
        return out;
    };
    const auto escaped = [&](const QString &text) {
        QString out;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u == '\\')
                out += QStringLiteral("\\\\");
            else if (u == '\t')
                out += QStringLiteral("\\t");
            else if (u == 0x2028)
                out += QStringLiteral("\\u2028");
            else if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
                out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
        return paired(out).toUtf8();
    };
    std::uint64_t state = 7;
    for (int i = 0; i < 3000; ++i) {
        // Mostly ASCII, so that blocks of eight occur, with one odd unit somewhere.
        QString text;
        const int length = int(state % 40);
        for (int k = 0; k < length; ++k) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            text += units[(state >> 33) % 8 ? (state >> 40) % 2 : (state >> 45) % std::size(units)];
        }
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        QByteArray out(6 * text.size(), Qt::Uninitialized);
        out.truncate(writeUtf8(out.data(), text) - out.data());
        QCOMPARE(out, paired(text).toUtf8());
        out.resize(6 * text.size());
        out.truncate(writeEscapedUtf8(out.data(), text) - out.data());
        QCOMPARE(out, escaped(text));
        // The fit's texts come as Latin-1 bytes: the same UTF-8 and escapes from them.
        if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; })) {
            const QByteArray latin1 = text.toLatin1();
            out.resize(6 * text.size());
            out.truncate(writeUtf8(out.data(), QLatin1StringView(latin1)) - out.data());
            QCOMPARE(out, paired(text).toUtf8());
            out.resize(6 * text.size());
            out.truncate(writeEscapedUtf8(out.data(), QLatin1StringView(latin1)) - out.data());
            QCOMPARE(out, escaped(text));
        }
    }
}

// A separator, quote or line break anywhere in a text quotes its cell, in Latin-1 bytes (read
// eight at a time) as in a Qt string.
void TestReport::csvQuotesWhereverTheBreakIs()
{
    for (const char breaker : {',', '"', '\n', '\r'}) {
        for (int at = 0; at < 20; ++at) {
            QByteArray text(20, 'a');
            text[at] = breaker;
            QVERIFY(csvNeeds(QLatin1StringView(text), CsvColumn::Text).quotes);
            QVERIFY(csvNeeds(QString::fromLatin1(text), CsvColumn::Text).quotes);
        }
    }
    QVERIFY(
        !csvNeeds(QLatin1StringView(" 1.5+ .25X1-.5X2+ 1X1^2-2.5X2^2+ .125X1X2"), CsvColumn::Text)
             .quotes);
}

QTEST_GUILESS_MAIN(TestReport)
#include "test_report.moc"
