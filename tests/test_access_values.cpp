// The values of an Access file turned into text, from stored bytes and numbers: dates over
// the whole range Access allows, UTF-16 with its pairs and Jet 4's compressed form, Jet 3 code
// pages as Windows reads them, and the names SQLite keeps for itself.
#include "access/access_values.h"

#include <QSet>
#include <QTest>

#include <cmath>

class TestAccessValues : public QObject
{
    Q_OBJECT
private slots:
    void dates_data();
    void dates();
    void unicodeText_data();
    void unicodeText();
    void codePageText_data();
    void codePageText();
    void tableNamesSqliteKeeps_data();
    void tableNamesSqliteKeeps();
};

void TestAccessValues::dates_data()
{
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("text");
    QTest::newRow("epoch") << 0.0 << "1899-12-30T00:00:00";
    QTest::newRow("noon") << 0.5 << "1899-12-30T12:00:00";
    QTest::newRow("day-before") << -1.0 << "1899-12-29T00:00:00";
    QTest::newRow("negative-with-time") << -1.25 << "1899-12-29T06:00:00";
    QTest::newRow("negative-fraction-only") << -0.75 << "1899-12-30T18:00:00";
    QTest::newRow("1898") << -728.0 << "1898-01-01T00:00:00";
    QTest::newRow("year-999") << -328717.0 << "0999-12-31T00:00:00";
    QTest::newRow("first") << -657434.0 << "0100-01-01T00:00:00";
    QTest::newRow("last") << 2958465.0 << "9999-12-31T00:00:00";
    QTest::newRow("last-second") << 2958465.0 + 86399.0 / 86400 << "9999-12-31T23:59:59";
    QTest::newRow("2038") << 50424.0 + 0.25 << "2038-01-19T06:00:00";
    QTest::newRow("rounds-to-next-day") << 1.0 - 1e-7 << "1899-12-31T00:00:00";
    QTest::newRow("negative-rounds-up") << -1.9999999 << "1899-12-30T00:00:00";
    QTest::newRow("before-first") << -657435.0 << "";
    QTest::newRow("after-last") << 2958466.0 << "";
    QTest::newRow("nan") << std::nan("") << "";
}

void TestAccessValues::dates()
{
    QFETCH(double, stored);
    QFETCH(QString, text);
    QCOMPARE(accessdb::dateText(stored).value_or(QString()), text);
}

void TestAccessValues::unicodeText_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("text"); // null: refused
    QTest::newRow("plain") << QByteArray("a\0b\0", 4) << "ab";
    QTest::newRow("cjk") << QByteArray("\x49\x7b\xd8\x9a", 4) << QString::fromUtf8("等高");
    QTest::newRow("extension-b-pair")
        << QByteArray("\x40\xd8\x00\xdc", 4) << QString::fromUtf8("𠀀");
    QTest::newRow("emoji-pair") << QByteArray("\x3d\xd8\x00\xde", 4) << QString::fromUtf8("😀");
    QTest::newRow("compressed") << QByteArray("\xff\xfe"
                                              "abc",
                                              5)
                                << "abc";
    QTest::newRow("compressed-then-unicode") << QByteArray("\xff\xfe"
                                                           "ab\0\x42\xd8\xb7\xdf\0c",
                                                           11)
                                             << QString::fromUtf8("ab𠮷c");
    QTest::newRow("compressed-empty") << QByteArray("\xff\xfe", 2) << QStringLiteral("");
    QTest::newRow("odd-length") << QByteArray("a\0b", 3) << QString();
    QTest::newRow("compressed-then-half-unit") << QByteArray("\xff\xfe"
                                                             "a\0\x42",
                                                             5)
                                               << QString();
    QTest::newRow("lone-high-surrogate") << QByteArray("\x40\xd8"
                                                       "a\0",
                                                       4)
                                         << QString();
    QTest::newRow("lone-low-surrogate") << QByteArray("\x00\xdc", 2) << QString();
}

void TestAccessValues::unicodeText()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, text);
    const std::optional<QString> decoded = accessdb::decodeUnicodeText(stored);
    QCOMPARE(decoded.has_value(), !text.isNull());
    if (decoded)
        QCOMPARE(*decoded, text);
}

void TestAccessValues::codePageText_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QString>("text"); // empty: refused
    QTest::newRow("cp1252") << QByteArray("caf\xe9 \x80", 6) << QByteArray("CP1252")
                            << QString::fromUtf8("café €");
    QTest::newRow("cp1252-undefined-as-windows")
        << QByteArray("\x81\x8d\x8f\x90\x9d", 5) << QByteArray("CP1252")
        << QString::fromUtf8("\u0081\u008d\u008f\u0090\u009d");
    QTest::newRow("nul-kept") << QByteArray("a\0b", 3) << QByteArray("CP1252")
                              << QStringView(u"a\0b", 3).toString();
    QTest::newRow("gbk") << QByteArray("\xb5\xc8\xb8\xdf\xcf\xdf", 6) << QByteArray("GBK")
                         << QString::fromUtf8("等高线");
    QTest::newRow("gbk-half-character") << QByteArray("\xb5\xc8\xb8", 3) << QByteArray("GBK") << "";
    QTest::newRow("gbk-invalid") << QByteArray("\xff\xff", 2) << QByteArray("GBK") << "";
}

void TestAccessValues::codePageText()
{
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, encoding);
    QFETCH(QString, text);
    QCOMPARE(accessdb::decodeCodePageText(stored, encoding).value_or(QString()), text);
    QCOMPARE(accessdb::encodingOfCodePage(936), QStringLiteral("GBK"));
}

void TestAccessValues::tableNamesSqliteKeeps_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("given");
    QTest::newRow("ordinary") << "Table1" << QStringList() << "Table1";
    QTest::newRow("sqlite-prefix") << "sqlite_stat1" << QStringList() << "access_sqlite_stat1";
    QTest::newRow("any-case") << "SQLite_x" << QStringList() << "access_SQLite_x";
    QTest::newRow("renamed-name-taken")
        << "sqlite_x" << QStringList{"access_sqlite_x"} << "access_sqlite_x2";
    QTest::newRow("prefix-inside") << "my_sqlite_x" << QStringList() << "my_sqlite_x";
}

void TestAccessValues::tableNamesSqliteKeeps()
{
    QFETCH(QString, name);
    QFETCH(QStringList, taken);
    QFETCH(QString, given);
    QCOMPARE(accessdb::sqliteTableName(name, QSet<QString>(taken.begin(), taken.end())), given);
}

QTEST_APPLESS_MAIN(TestAccessValues)
#include "test_access_values.moc"
