#include "core/numbers.h"
#include "core/shortest_text.h"
#include "core/vector_state.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QTest>

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <type_traits>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

class TestNumbers : public QObject
{
    Q_OBJECT
private slots:
    void numberText_data();
    void numberText();
    void plainText_data();
    void plainText();
    void roundings_data();
    void roundings();
    void integerHalvesToEven_data();
    void integerHalvesToEven();
    void singleOverflow();
    void cellConversions();
    void thousandthsTextMatchesTheGeneralConversion();
    void shortestTextMatchesTheLibrary();
    void seededHashLeavesNoUpperVectorState();
};

void TestNumbers::numberText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("positive") << 12.346 << " 12.346";
    QTest::newRow("negative-below-one") << -0.5 << "-.5";
    QTest::newRow("positive-below-one") << 0.275 << " .275";
    QTest::newRow("zero") << 0.0 << " 0";
    QTest::newRow("negative-zero") << -0.0 << " 0";
    QTest::newRow("whole") << 3.0 << " 3";
    QTest::newRow("rounded-thousandth") << 15.066 << " 15.066";
    QTest::newRow("fifteen-digits") << 123456789012345.0 << " 123456789012345";
    QTest::newRow("large-exponent") << 1e15 << " 1E+15";
    QTest::newRow("small-fixed") << 0.0001 << " .0001";
    QTest::newRow("small-exponent") << -0.000012 << "-1.2E-05";
    QTest::newRow("huge") << 1e300 << " 1E+300";
    QTest::newRow("third") << 1.0 / 3 << " .333333333333333";
}

void TestNumbers::numberText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(numbers::NumberText(value), text);
}

void TestNumbers::plainText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("r") << 0.992 << "0.992";
    QTest::newRow("one-and-half") << 1.5 << "1.5";
    QTest::newRow("whole") << 12.0 << "12";
    QTest::newRow("negative-half") << -0.5 << "-0.5";
    QTest::newRow("zero") << 0.0 << "0";
}

void TestNumbers::plainText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(numbers::plainText(value), text);
}

void TestNumbers::roundings_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("thousandths");
    QTest::addColumn<double>("hundredths");
    QTest::newRow("up") << 12.3456 << 12.346 << 12.35;
    QTest::newRow("down") << 12.344 << 12.344 << 12.34;
    QTest::newRow("negative") << -1.234 << -1.234 << -1.23;
    QTest::newRow("negative-half-away") << -1.2351 << -1.235 << -1.24;
    QTest::newRow("tiny-negative") << -0.0004 << 0.0 << 0.0;
    QTest::newRow("almost-three") << 2.996 << 2.996 << 3.0;
}

void TestNumbers::roundings()
{
    QFETCH(double, value);
    QFETCH(double, thousandths);
    QFETCH(double, hundredths);
    QCOMPARE(numbers::roundThousandths(value), thousandths);
    QCOMPARE(numbers::roundHundredthsAwayFromZero(value), hundredths);
}

void TestNumbers::integerHalvesToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected"); // -1000 for a failure
    QTest::newRow("two-and-half") << 2.5 << 2;
    QTest::newRow("three-and-half") << 3.5 << 4;
    QTest::newRow("minus-half") << -0.5 << 0;
    QTest::newRow("plain") << 11.4 << 11;
    QTest::newRow("too-large") << 40000.0 << -1000;
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << -1000;
}

void TestNumbers::integerHalvesToEven()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    const auto result = numbers::toInteger(value);
    if (expected == -1000)
        QVERIFY(!result);
    else
        QCOMPARE(int(*result), expected);
}

void TestNumbers::singleOverflow()
{
    QVERIFY(!numbers::toSingle(1e39));
    QVERIFY(!numbers::toSingle(std::numeric_limits<double>::infinity()));
    QCOMPARE(*numbers::toSingle(7.3), 7.3f);
    QCOMPARE(*numbers::toSingle(-3e38), -3e38f);
}

void TestNumbers::cellConversions()
{
    QCOMPARE(*numbers::toNumber(QVariant(QStringLiteral(" 12.5 "))), 12.5);
    QCOMPARE(*numbers::toNumber(QVariant(qlonglong(7))), 7.0);
    QVERIFY(!numbers::toNumber(QVariant(QStringLiteral("abc"))));
    QVERIFY(!numbers::toNumber(QVariant(QMetaType(QMetaType::Double))));
    QVERIFY(!numbers::toNumber(QVariant(std::numeric_limits<double>::infinity())));
    QCOMPARE(*numbers::toText(QVariant(12.5)), QStringLiteral("12.5"));
    QCOMPARE(*numbers::toText(QVariant(QStringLiteral("硬度"))), QStringLiteral("硬度"));
    QVERIFY(!numbers::toText(QVariant(QMetaType(QMetaType::QString))));
}

void TestNumbers::thousandthsTextMatchesTheGeneralConversion()
{
    // The fast path must agree with the general conversion everywhere, edges included.
    QList<double> values{0, -0.0, 0.0005, -0.0005, 0.0004999, 0.001, -0.001, 0.5, -0.5, 1, -1,
                         15.0663, -1.12687, 999999.9995, 1e11, -1e11, 1e12 + 0.5, 9.99e14, 1e15,
                         -2e15, 1e30, 3e38, -3e38,
                         // The floor of 1000·x + 0.5 about ±1e15, where the fast path ends.
                         -1e12 + 0.0004, -1e12 + 0.0006, 1e12 - 0.0006, 1e12 - 0.0004,
                         std::numeric_limits<double>::quiet_NaN()};
    quint64 state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const double unit = double(state >> 11) / double(1ULL << 53);
        const double magnitude = std::pow(10.0, -4 + 20 * unit);
        values << (i % 2 ? magnitude : -magnitude) << float(magnitude);
    }
    QString text = QStringLiteral("left over from an earlier, longer text");
    for (double v : values) {
        numbers::assignThousandthsText(text, v, false);
        QCOMPARE(text, numbers::NumberText(numbers::roundThousandths(v)));
        numbers::assignThousandthsText(text, v, true);
        QCOMPARE(text, numbers::plainText(numbers::roundThousandths(v)));
    }
}

// Against libstdc++'s own conversion (Ryu), and Qt's for its flavour: every layout boundary,
// the exact integers' edge, subnormals, and random bit patterns of both widths.
template <typename Number> static void sameAsToChars(Number v)
{
    char expected[64];
    char ours[numbers::ShortestTextMax];
    const char *end = std::to_chars(expected, expected + sizeof expected, v).ptr;
    const char *oursEnd = numbers::writeShortest(ours, v);
    QCOMPARE(QByteArray(ours, oursEnd - ours), QByteArray(expected, end - expected));
    if constexpr (std::is_same_v<Number, double>) {
        oursEnd = numbers::writeShortestTyped(ours, v);
        QCOMPARE(QByteArray(ours, oursEnd - ours), QByteArray(expected, end - expected));
        oursEnd = numbers::writeShortestAsQt(ours, v);
        QCOMPARE(QByteArray(ours, oursEnd - ours),
                 QByteArray::number(v, 'g', QLocale::FloatingPointShortest));
        oursEnd = numbers::writeJsonDocumentNumber(ours, v);
        const QByteArray array = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
        QCOMPARE(QByteArray(ours, oursEnd - ours), array.mid(1, array.size() - 2));
    }
}

void TestNumbers::shortestTextMatchesTheLibrary()
{
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {0.0, -0.0, inf, -inf, std::numeric_limits<double>::quiet_NaN(),
                     -std::numeric_limits<double>::quiet_NaN(), 5e-324, 2.2250738585072014e-308,
                     1.7976931348623157e308, 9007199254740992.0, 9007199254740994.0, 5e15, -9e15,
                     123456789012345680000.0, 1e21, 1e22, 1e23, 0.3, -0.1})
        sameAsToChars(v);
    char none[numbers::ShortestTextMax];
    QCOMPARE(QByteArray(none, numbers::writeJsonDocumentNumber(none, std::nullopt) - none),
             QByteArrayLiteral("null"));
    for (int power = -325; power <= 309; ++power) {
        for (double mantissa : {1.0, 1.2, 1.25, 9.999, 123.0, 1234.5, 99999.0, 4.35}) {
            const double v = mantissa * std::pow(10.0, power);
            sameAsToChars(v);
            sameAsToChars(-std::nextafter(v, inf));
            sameAsToChars(float(v));
        }
    }
    std::uint64_t state = 99;
    for (int i = 0; i < 300000; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        sameAsToChars(std::bit_cast<double>(state));
        sameAsToChars(std::bit_cast<float>(std::uint32_t(state >> 32)));
        sameAsToChars(double(std::int64_t(state) >> (state % 50)) / 1024);
        // Typed numbers: up to four decimals about the 2^40 edge, and their neighbours.
        const double typed =
            double(std::int64_t(state >> (state % 64))) / std::pow(10.0, double(state % 5));
        sameAsToChars(typed);
        sameAsToChars(std::nextafter(typed, 0.0));
        sameAsToChars(std::nextafter(typed, inf));
    }
}

// Which register states are in use (XGETBV with ECX = 1); the AVX upper halves' bit is 4.
// Nothing where the processor cannot tell.
static std::optional<unsigned> statesInUse()
{
#if defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE) || !(c & bit_AVX) ||
        !__get_cpuid_count(0xD, 1, &a, &b, &c, &d) || !(a & (1u << 2)))
        return std::nullopt;
    unsigned low = 0, high = 0;
    asm volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(1));
    return low;
#else
    return std::nullopt;
#endif
}

void TestNumbers::seededHashLeavesNoUpperVectorState()
{
    QHash<QString, int> names;
    names.insert(QStringLiteral("a name long enough for the wide hash"), 1);
    const std::optional<unsigned> before = statesInUse();
    if (!before || !(*before & 4))
        QSKIP("this processor's hash leaves no upper vector state to clear");
    clearUpperVectorState();
    QCOMPARE(*statesInUse() & 4, 0u);
}

QTEST_APPLESS_MAIN(TestNumbers)
#include "test_numbers.moc"
