// Factors in real units: the run sheet, the model and its places read back in real settings,
// the axes' texts.

#include "pipeline/record_change.h"
#include "pipeline/run_sheet.h"
#include "stats/real_units.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <numeric>

using Six = std::array<double, 6>;
Q_DECLARE_METATYPE(Six)

namespace {

const Factors TempPh{{QStringLiteral("温度"), QStringLiteral("°C"), 60, 80},
                     {QStringLiteral("pH"), QString(), 9, 7}}; // run downwards, no unit

} // namespace

class TestUnits : public QObject
{
    Q_OBJECT
private slots:
    void runSheetInRealSettings();
    void runOrderIsADrawnPermutation();
    void realCoefficientsAgreeWithSubstitution_data();
    void realCoefficientsAgreeWithSubstitution();
    void placesReadBackInRealSettings();
};

void TestUnits::runSheetInRealSettings()
{
    // By hand: centre 70, step 10 (axial 70 ± 14.142); centre 8, step -1 (axial 8 ∓ 1.4142).
    QCOMPARE(runSheetCsv(TempPh, runSheet(TempPh, std::nullopt)),
             QStringLiteral("run,order,X1,X2,温度 (°C),pH,response\n"
                            "1,1,-1,-1,60,9,\n"
                            "2,2,1,-1,80,9,\n"
                            "3,3,-1,1,60,7,\n"
                            "4,4,1,1,80,7,\n"
                            "5,5,1.4142,0,84.142,8,\n"
                            "6,6,-1.4142,0,55.858,8,\n"
                            "7,7,0,1.4142,70,6.5858,\n"
                            "8,8,0,-1.4142,70,9.4142,\n"
                            "9,9,0,0,70,8,\n"
                            "10,10,0,0,70,8,\n"
                            "11,11,0,0,70,8,\n"));
    // A name a spreadsheet would run, or one with a comma, stays one harmless cell.
    const Factors odd{{QStringLiteral("=A1,B"), QStringLiteral("u"), 0, 1}, TempPh.x2};
    QVERIFY(runSheetCsv(odd, runSheet(odd, std::nullopt))
                .startsWith(QStringLiteral("run,order,X1,X2,\"'=A1,B (u)\",pH,response\n")));
    // The printed sheet lists the runs by their order.
    const RunSheet drawn = runSheet(TempPh, 7u);
    const QStringList lines = runSheetText(TempPh, drawn).split(QLatin1Char('\n'));
    for (int order = 1; order <= 11; ++order) {
        const auto row = std::find_if(drawn.begin(), drawn.end(),
                                      [&](const RunSheetRow &r) { return r.order == order; });
        QCOMPARE(lines[order].simplified().section(QLatin1Char(' '), 0, 1),
                 QStringLiteral("%1 %2").arg(order).arg(row->run));
    }
}

void TestUnits::runOrderIsADrawnPermutation()
{
    std::array<int, 11> standard{};
    std::iota(standard.begin(), standard.end(), 1);
    QCOMPARE(runOrder(std::nullopt), standard);
    int shuffled = 0;
    for (unsigned seed = 0; seed < 20; ++seed) {
        std::array<int, 11> order = runOrder(seed);
        QCOMPARE(runOrder(seed), order); // the same sheet again from its seed
        shuffled += order != standard;
        std::sort(order.begin(), order.end());
        QCOMPARE(order, standard);
    }
    QVERIFY(shuffled >= 19);
    QVERIFY(runOrder(1u) != runOrder(2u));
}

// Expected: data/reference/real_units.py, by exact polynomial substitution.
void TestUnits::realCoefficientsAgreeWithSubstitution_data()
{
    QTest::addColumn<Six>("b");
    QTest::addColumn<Six>("levels"); // X1 low, high, X2 low, high
    QTest::addColumn<Six>("c");
    QTest::newRow("hardness, time run downwards")
        << Six{15.066666666666668,  0.88676856823760357, 0.20392201063962406,
               -1.1270919240453093, -1.1770928830637034, 0.27499999999999947}
        << Six{60, 80, 30, 10, 0, 0}
        << Six{-54.518745100192262,   1.7216055504871932,    0.64294495216151859,
               -0.011270919240453092, -0.011770928830637033, -0.0027499999999999946};
    QTest::newRow("unit square") << Six{10, 2, -1, -3, -2, 0.5} << Six{0, 1, -5, 5, 0, 0}
                                 << Six{5, 16, -0.3, -12, -0.08, 0.2};
    QTest::newRow("far scales") << Six{1000, -250, 40, 12.5, -7, 3}
                                << Six{0.001, 0.003, 10000, 20000, 0, 0}
                                << Six{1385, -309000, 0.0152, 12500000, -2.8e-07, 0.6};
}

void TestUnits::realCoefficientsAgreeWithSubstitution()
{
    QFETCH(Six, b);
    QFETCH(Six, levels);
    QFETCH(Six, c);
    const Factors f{{QStringLiteral("a"), {}, levels[0], levels[1]},
                    {QStringLiteral("b"), {}, levels[2], levels[3]}};
    std::array<analysis::Figure, 6> coded;
    std::copy(b.begin(), b.end(), coded.begin());
    const analysis::RealCoefficients real = analysis::realCoefficients(coded, f);
    for (std::size_t i = 0; i < 6; ++i) {
        QVERIFY(real[i]);
        if (std::fabs(*real[i] - c[i]) > 1e-9 * std::max(1.0, std::fabs(c[i])))
            QFAIL(
                qPrintable(QStringLiteral("c%1: %2, expected %3").arg(i).arg(*real[i]).arg(c[i])));
    }
    coded[3].reset();
    QVERIFY(!analysis::realCoefficients(coded, f)[0]);
}

void TestUnits::placesReadBackInRealSettings()
{
    // The stationary point in real settings is where the real model's gradient vanishes, and
    // the optimum lies on the real square's edge where the coded one does.
    const analysis::ModelAnalysis a =
        analysis::analyse({12.1, 13.4, 11.8, 14.2, 13.9, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3});
    const analysis::RealCoefficients c = analysis::realCoefficients(a, TempPh);
    const analysis::RealPoint s = analysis::realPoint(*a.stationary, TempPh);
    QVERIFY(std::fabs(*c[1] + 2 * *c[3] * *s.x1 + *c[5] * *s.x2) < 1e-9);
    QVERIFY(std::fabs(*c[2] + 2 * *c[4] * *s.x2 + *c[5] * *s.x1) < 1e-9);
    const analysis::RealPoint low = analysis::realPoint(a.minimum, TempPh);
    QCOMPARE(*low.x1, 70 + *a.minimum.x1 * 10);
    QCOMPARE(*low.x2, 8 - *a.minimum.x2);
    QVERIFY(!analysis::realPoint({}, TempPh).x1);
}

QTEST_APPLESS_MAIN(TestUnits)
#include "test_units.moc"
