// Access files read with libmdb and converted: each table's values against what an
// independent reader found in the same files, the refusals, and the experiment table's mapping.
#include "access/access_import.h"

#include <QDir>
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
    if (type == QLatin1String("datetime")) // UTC with milliseconds there, local text here
        return text.startsWith(ours.toString());
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
    void jet3EncodingCanBeOverridden();
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
}

void TestAccess::importAgreesWithAnotherReader()
{
    QFETCH(QString, file);
    QFETCH(QString, version);
    QFETCH(QString, encoding);
    const QString source = Data + file;
    const QByteArray before = [&] {
        QFile f(source);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const QString out = m_dir.filePath(file + QStringLiteral(".sqlite"));
    const auto imported = accessdb::importAccess(source, out);
    QVERIFY2(imported, qPrintable(imported ? QString() : imported.failure().detail));
    QCOMPARE(imported->jetVersion, version);
    QCOMPARE(imported->textEncoding, encoding);
    QFile expectedFile(Data + QFileInfo(file).completeBaseName() +
                       QStringLiteral(".expected.json"));
    QVERIFY(expectedFile.open(QIODevice::ReadOnly));
    const QJsonObject tables = QJsonDocument::fromJson(expectedFile.readAll())
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
    QFile again(source);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), before);
    QCOMPARE(accessdb::importAccess(source, out).failure().kind, Failure::Kind::Exists);
}

void TestAccess::refusals_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: the encrypted test file
    QTest::addColumn<int>("kind");
    QTest::newRow("encrypted") << QByteArray() << int(Failure::Kind::Encrypted);
    QFile jet4(Data + QStringLiteral("V2003_numeric.mdb"));
    jet4.open(QIODevice::ReadOnly);
    const QByteArray whole = jet4.readAll();
    QTest::newRow("truncated") << whole.left(4096) << int(Failure::Kind::Damaged);
    QByteArray garbled = whole;
    for (qsizetype i = 4096; i < garbled.size(); i += 7)
        garbled[i] = char(garbled[i] ^ 0x5A);
    QTest::newRow("garbled") << garbled << int(Failure::Kind::Damaged);
}

void TestAccess::refusals()
{
    QFETCH(QByteArray, content);
    QFETCH(int, kind);
    QString source = Data + QStringLiteral("encryption_office-agile-4.2.accdb");
    if (!content.isEmpty()) {
        source = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".mdb");
        QFile f(source);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    }
    const QString out = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".sqlite");
    const auto imported = accessdb::importAccess(source, out);
    QVERIFY(!imported);
    QCOMPARE(int(imported.failure().kind), kind);
    QVERIFY(!QFile::exists(out)); // complete or absent
    QVERIFY(QDir(m_dir.path()).entryList({QStringLiteral("*.import-part")}).isEmpty());
}

void TestAccess::jet3EncodingCanBeOverridden()
{
    // The header's code page is the default; the user's word wins. ASCII reads the same in both.
    const QString out = m_dir.filePath(QStringLiteral("override.sqlite"));
    const auto imported =
        accessdb::importAccess(Data + QStringLiteral("V1997_test.mdb"), out, QStringLiteral("GBK"));
    QVERIFY(imported);
    QCOMPARE(imported->textEncoding, QStringLiteral("GBK"));
    QStringList columns;
    QCOMPARE(rowsOf(out, QStringLiteral("Table1"), &columns).value(1).value(0).toString(),
             QStringLiteral("abcdefg"));
    QCOMPARE(accessdb::encodingOfCodePage(936), QStringLiteral("GBK"));
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
