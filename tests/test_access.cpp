// Access files read with libmdb and converted: each table's values against what an
// independent reader found in the same files, the refusals, and the experiment table's mapping.
#include "access/access_import.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

namespace {

const QString Data = QStringLiteral(TESMORA_TEST_DATA "/access/");

QList<QVariantList> rowsOf(const QString &db, const QString &table, QStringList *columns);

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Imports into a new file `out` as the command does: whole, or nothing at `out`.
Result<accessdb::ImportSummary> importInto(const QString &source, const QString &out,
                                           std::optional<QString> encoding = std::nullopt,
                                           const QString &reader = QStringLiteral(TESMORA_CLI))
{
    Result<ScratchFile> scratch = ScratchFile::beside(out, Placement::NoReplace);
    if (!scratch)
        return scratch.failure();
    accessdb::ImportOptions options;
    options.readerProgram = reader;
    options.jet3Encoding = encoding;
    options.stallSeconds = 3;
    auto imported = accessdb::importAccess(source, *scratch, options);
    if (imported) {
        if (const Result<void> placed = scratch->commit(Durability::Deferred); !placed)
            return placed.failure();
    }
    return imported;
}

// Each table's name and row count, as the independent reader saw them.
QMap<QString, int> expectedCounts(const QString &file)
{
    QMap<QString, int> counts;
    const QJsonObject tables =
        QJsonDocument::fromJson(contentOf(Data + file + QStringLiteral(".expected.json")))
            .object()[QStringLiteral("tables")]
            .toObject();
    for (auto t = tables.begin(); t != tables.end(); ++t)
        counts[t.key()] = int(t->toObject()[QStringLiteral("rows")].toArray().size());
    return counts;
}

QMap<QString, int> importedCounts(const QString &db)
{
    QMap<QString, int> counts;
    sqlite3 *h = nullptr;
    sqlite3_open_v2(QFile::encodeName(db).constData(), &h, SQLITE_OPEN_READONLY, nullptr);
    QStringList tables;
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(h, "SELECT name FROM sqlite_schema WHERE type='table'", -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW)
        tables << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
    sqlite3_close_v2(h);
    for (const QString &t : tables) {
        QStringList columns;
        counts[t] = int(rowsOf(db, t, &columns).size());
    }
    return counts;
}

// One table of the converted file: rows of values as SQLite holds them.
QList<QVariantList> rowsOf(const QString &db, const QString &table, QStringList *columns)
{
    QList<QVariantList> rows;
    sqlite3 *h = nullptr;
    sqlite3_stmt *s = nullptr;
    sqlite3_open_v2(QFile::encodeName(db).constData(), &h, SQLITE_OPEN_READONLY, nullptr);
    const QByteArray sql = ("SELECT * FROM \"" + table + "\" ORDER BY rowid").toUtf8();
    if (sqlite3_prepare_v2(h, sql.constData(), -1, &s, nullptr) == SQLITE_OK) {
        for (int c = 0; c < sqlite3_column_count(s); ++c)
            *columns << QString::fromUtf8(sqlite3_column_name(s, c));
        while (sqlite3_step(s) == SQLITE_ROW) {
            QVariantList row;
            for (int c = 0; c < sqlite3_column_count(s); ++c) {
                switch (sqlite3_column_type(s, c)) {
                case SQLITE_INTEGER:
                    row << QVariant(qlonglong(sqlite3_column_int64(s, c)));
                    break;
                case SQLITE_FLOAT:
                    row << QVariant(sqlite3_column_double(s, c));
                    break;
                case SQLITE_TEXT:
                    row << QVariant(QString::fromUtf8(
                        reinterpret_cast<const char *>(sqlite3_column_text(s, c))));
                    break;
                case SQLITE_BLOB:
                    row << QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(s, c)),
                                               sqlite3_column_bytes(s, c)));
                    break;
                default:
                    row << QVariant();
                }
            }
            rows << row;
        }
    }
    sqlite3_finalize(s);
    sqlite3_close_v2(h);
    return rows;
}

bool same(const QVariant &ours, const QJsonValue &expected, const QString &type)
{
    if (expected.isNull())
        return ours.isNull();
    if (type == QLatin1String("boolean"))
        return ours.toLongLong() == (expected.toBool() ? 1 : 0);
    if (expected.isDouble())
        return ours.toDouble() == expected.toDouble();
    const QString text = expected.toString();
    if (type == QLatin1String("datetime")) // with milliseconds and a zone there
        return text == ours.toString() + QStringLiteral(".000Z");
    if (type == QLatin1String("binary") || type == QLatin1String("ole"))
        return ours.toByteArray() == QByteArray::fromBase64(text.toLatin1());
    if (type == QLatin1String("repid"))
        return ours.toString()
                   .remove(QLatin1Char('{'))
                   .remove(QLatin1Char('}'))
                   .compare(text, Qt::CaseInsensitive) == 0;
    return ours.toString() == text;
}

} // namespace

class TestAccess : public QObject
{
    Q_OBJECT
private slots:
    void importAgreesWithAnotherReader_data();
    void importAgreesWithAnotherReader();
    void refusals_data();
    void refusals();
    void damagedCopiesAreWholeOrRefused();
    void experimentTableMapping_data();
    void experimentTableMapping();

private:
    QTemporaryDir m_dir;
};

void TestAccess::importAgreesWithAnotherReader_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("encoding");
    QTest::newRow("jet3") << "V1997_test.mdb"
                          << "Jet 3"
                          << "CP1252";
    QTest::newRow("jet3-encoding-given") << "V1997_test.mdb"
                                         << "Jet 3"
                                         << "GBK";
    QTest::newRow("jet4-decimal") << "V2003_numeric.mdb"
                                  << "Jet 4"
                                  << "";
    QTest::newRow("jet4-password") << "password_V2000_with-password.mdb"
                                   << "Jet 4"
                                   << "";
    QTest::newRow("ace") << "V2010_test.accdb"
                         << "ACE"
                         << "";
    QTest::newRow("ace-currency") << "V2016_currency.accdb"
                                  << "ACE"
                                  << "";
    QTest::newRow("ace-long-text") << "V2016_longtext.accdb"
                                   << "ACE"
                                   << "";
}

void TestAccess::importAgreesWithAnotherReader()
{
    QFETCH(QString, file);
    QFETCH(QString, version);
    QFETCH(QString, encoding);
    const QString source = Data + file;
    const QByteArray before = contentOf(source);
    const QString out = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".sqlite");
    // The header's code page is the default; the user's word wins (ASCII reads the same).
    const bool given = QTest::currentDataTag() == QByteArray("jet3-encoding-given");
    const auto imported =
        importInto(source, out, given ? std::optional<QString>(encoding) : std::nullopt);
    QVERIFY2(imported, qPrintable(imported ? QString() : imported.failure().detail));
    QCOMPARE(imported->jetVersion, version);
    QCOMPARE(imported->textEncoding, encoding);
    QVERIFY(!imported->experimentTableFound);
    const QJsonObject tables =
        QJsonDocument::fromJson(
            contentOf(Data + QFileInfo(file).completeBaseName() + QStringLiteral(".expected.json")))
            .object()[QStringLiteral("tables")]
            .toObject();
    QCOMPARE(imported->tables, int(tables.size()));
    for (auto t = tables.begin(); t != tables.end(); ++t) {
        const QJsonArray columns = t->toObject()[QStringLiteral("columns")].toArray();
        const QJsonArray rows = t->toObject()[QStringLiteral("rows")].toArray();
        QStringList names;
        const QList<QVariantList> ours = rowsOf(out, t.key(), &names);
        QCOMPARE(names.size(), columns.size());
        QCOMPARE(ours.size(), rows.size());
        for (qsizetype r = 0; r < rows.size(); ++r)
            for (qsizetype c = 0; c < columns.size(); ++c) {
                const QString name = columns[c][QStringLiteral("name")].toString();
                const QString type = columns[c][QStringLiteral("type")].toString();
                QCOMPARE(names[c], name);
                const QJsonValue expected = rows[r].toObject().value(name);
                QVERIFY2(
                    same(ours[r][c], expected, type),
                    qPrintable(QStringLiteral("%1.%2 row %3: %4, expected %5")
                                   .arg(t.key(), name)
                                   .arg(r)
                                   .arg(ours[r][c].toString(),
                                        QString::fromUtf8(QJsonDocument(QJsonArray{expected})
                                                              .toJson(QJsonDocument::Compact)))));
            }
    }
    // The Access file was only read, and the new file is never written over.
    QCOMPARE(contentOf(source), before);
    QCOMPARE(importInto(source, out).failure().kind, Failure::Kind::Exists);
}

// Damaged copies of real files: each is refused as a whole, and nothing is left behind.
void TestAccess::refusals_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content"); // empty: the file as it is
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QByteArray>("readerSays"); // empty: the real reader
    const QByteArray ace = contentOf(Data + QStringLiteral("V2010_test.accdb"));
    const QByteArray jet4 = contentOf(Data + QStringLiteral("V2003_numeric.mdb"));
    const QByteArray memo = contentOf(Data + QStringLiteral("V2016_longtext.accdb"));
    const auto with = [](QByteArray bytes, qsizetype at, const QByteArray &patch) {
        return bytes.replace(at, patch.size(), patch);
    };
    QTest::newRow("encrypted") << "encryption_office-agile-4.2.accdb" << QByteArray()
                               << int(Failure::Kind::Encrypted) << "" << QByteArray();
    // Cut right after the encryption record (0x299, six bytes): still known for what it is.
    QTest::newRow("encrypted-cut-after-its-record")
        << "i.accdb"
        << contentOf(Data + QStringLiteral("encryption_office-agile-4.2.accdb")).left(0x299 + 6)
        << int(Failure::Kind::Encrypted) << "" << QByteArray();
    QTest::newRow("not-access") << "x.mdb" << QByteArray(4096, 'x') << int(Failure::Kind::NotAccess)
                                << "" << QByteArray();
    QTest::newRow("jet4-cut-after-header")
        << "a.mdb" << jet4.left(4096) << int(Failure::Kind::Damaged) << "" << QByteArray();
    // Cut where the data pages begin: the catalogue or a table lose rows they declare.
    QTest::newRow("ace-cut-at-page") << "b.accdb" << ace.left(ace.size() / 2 / 4096 * 4096)
                                     << int(Failure::Kind::Damaged) << "" << QByteArray();
    // Not encrypted, only damaged: the catalogue's page type changed in an .accdb.
    QTest::newRow("ace-catalogue-byte")
        << "c.accdb" << with(ace, 2 * 4096, "\x05") << int(Failure::Kind::Damaged)
        << "table definition" << QByteArray();
    // Table1's second row offset made impossible: libmdb passes over the row without a word.
    QTest::newRow("row-passed-over")
        << "d.accdb" << with(ace, 76 * 4096 + 16, "\xf0\x0f") << int(Failure::Kind::Damaged)
        << "1 of its 2 rows" << QByteArray();
    // The 10,000-byte memo on a chain of pages from page 91: cut, looped, or said longer.
    QTest::newRow("memo-chain-cut")
        << "e.accdb" << with(memo, 91 * 4096 + 0x14, QByteArray(4, 0))
        << int(Failure::Kind::Damaged) << "of its 10000 bytes" << QByteArray();
    QTest::newRow("memo-chain-loop")
        << "f.accdb" << with(memo, 91 * 4096 + 0x14, QByteArray("\0\x5b\0\0", 4))
        << int(Failure::Kind::Damaged) << "loop" << QByteArray();
    QTest::newRow("memo-said-longer")
        << "g.accdb" << with(memo, 0x64fc0, QByteArray("\x20\x4e\0\0", 4))
        << int(Failure::Kind::Damaged) << "of its 20000 bytes" << QByteArray();
    // Cut inside the header: read no further than its end.
    QTest::newRow("ace-cut-in-header")
        << "h.accdb" << ace.left(0x200) << int(Failure::Kind::Damaged) << "beyond" << QByteArray();
    // A reader that breaks its protocol is not believed, even when it ends saying it is done.
    const QByteArray done = R"({"done": {"tables": 1, "rows": 1}})"
                            "\n";
    QTest::newRow("reader-nonsense")
        << "V2010_test.accdb" << QByteArray() << int(Failure::Kind::Damaged) << "should not"
        << QByteArray("nonsense\n" + done);
    QTest::newRow("reader-endless-line")
        << "V2010_test.accdb" << QByteArray() << int(Failure::Kind::Damaged) << "should not"
        << QByteArray((1 << 20) + 2, 'x');
}

void TestAccess::refusals()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(int, kind);
    QFETCH(QString, detail);
    QFETCH(QByteArray, readerSays);
    QString source = Data + file;
    QString reader = QStringLiteral(TESMORA_CLI);
    if (!readerSays.isEmpty()) {
        reader = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".sh");
        QFile says(reader + ".out"), script(reader);
        QVERIFY(says.open(QIODevice::WriteOnly) && says.write(readerSays) == readerSays.size());
        QVERIFY(script.open(QIODevice::WriteOnly) &&
                script.write("#!/bin/sh\ncat '" + says.fileName().toUtf8() + "'\nexec sleep 60\n") >
                    0); // then says nothing more, and stays
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
    }
    if (!content.isEmpty()) {
        source = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + file);
        QFile f(source);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    }
    const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(folder));
    QElapsedTimer clock;
    clock.start();
    const auto imported =
        importInto(source, folder + QStringLiteral("/out.sqlite"), std::nullopt, reader);
    QVERIFY(clock.elapsed() < 30000); // a reader not believed is stopped, not waited for
    QVERIFY(!imported);
    QCOMPARE(int(imported.failure().kind), kind);
    QVERIFY2(imported.failure().detail.contains(detail), qPrintable(imported.failure().detail));
    QVERIFY(
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

// Truncations at page boundaries and bytes changed across whole files: every run ends either
// with every table and row the file holds, or with a refusal and no file.
void TestAccess::damagedCopiesAreWholeOrRefused()
{
    const QStringList files{QStringLiteral("V1997_test.mdb"), QStringLiteral("V2010_test.accdb"),
                            QStringLiteral("V2016_longtext.accdb")};
    quint32 seed = 12345;
    const auto next = [&seed] {
        return seed = seed * 1103515245u + 12345u;
    };
    int whole = 0, refused = 0;
    for (const QString &file : files) {
        const QByteArray original = contentOf(Data + file);
        const QMap<QString, int> expected = expectedCounts(QFileInfo(file).completeBaseName());
        QList<QByteArray> copies;
        for (qsizetype cut = 4096; cut < original.size(); cut += 4096 * 3)
            copies << original.left(cut);
        for (int i = 0; i < 40; ++i) {
            QByteArray copy = original;
            const qsizetype at = 4096 + qsizetype(next() % quint32(original.size() - 4096));
            for (int b = 0; b < 2; ++b)
                copy[at + b < copy.size() ? at + b : at] = char(next() >> 8);
            copies << copy;
        }
        for (const QByteArray &copy : copies) {
            const QString folder = m_dir.filePath(QStringLiteral("sweep-%1").arg(whole + refused));
            QVERIFY(QDir().mkpath(folder));
            const QString source = folder + QStringLiteral("/in.") + QFileInfo(file).suffix();
            QFile f(source);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(copy) == copy.size());
            f.close();
            const QString out = folder + QStringLiteral("/out.sqlite");
            if (importInto(source, out)) {
                QCOMPARE(importedCounts(out), expected);
                ++whole;
            } else {
                QVERIFY(!QFile::exists(out));
                ++refused;
            }
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(),
                     QFile::exists(out) ? 2 : 1);
        }
    }
    QVERIFY(refused > 0); // the sweep did reach damage the reader must notice
    qInfo("damaged copies: %d read whole, %d refused", whole, refused);
}

void TestAccess::experimentTableMapping_data()
{
    using K = accessdb::ColumnKind;
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<K>>("kinds");
    QTest::addColumn<bool>("fits");
    QStringList names{"ID"};
    for (int i = 1; i <= 11; ++i)
        names << QStringLiteral("Y%1").arg(i);
    names << "Y12";
    QList<K> kinds(12, K::Number);
    kinds << K::Text;
    QTest::newRow("as-designed") << names << kinds << true;
    QStringList lower;
    for (const QString &n : names)
        lower << n.toLower();
    QTest::newRow("lower-case") << lower << kinds << true;
    QStringList shuffled = names;
    std::swap(shuffled[0], shuffled[5]);
    QTest::newRow("other-order") << shuffled << kinds << true;
    QList<K> textY5 = kinds;
    textY5[5] = K::Text;
    QTest::newRow("text-response") << names << textY5 << false;
    QTest::newRow("missing-y12") << names.mid(0, 12) << kinds.mid(0, 12) << false;
    QStringList twice = names;
    twice[2] = "y1";
    QTest::newRow("y1-twice") << twice << kinds << false;
    QStringList unknown = names;
    unknown[5] = "Z";
    QTest::newRow("unknown-column") << unknown << kinds << false;
}

void TestAccess::experimentTableMapping()
{
    QFETCH(QStringList, names);
    QFETCH(QList<accessdb::ColumnKind>, kinds);
    QFETCH(bool, fits);
    QCOMPARE(!accessdb::experimentTableMisfit(names, kinds).has_value(), fits);
}

QTEST_GUILESS_MAIN(TestAccess)
#include "test_access.moc"
