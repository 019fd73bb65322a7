#include "stats/regression.h"

#include "fixtures.h"

#include <QTest>

#include <array>
#include <cmath>

using Responses = std::array<float, 11>;
Q_DECLARE_METATYPE(Responses)

namespace {

regression::FitResult fitted(const Responses &y, float lines = 4)
{
    regression::FitResult f;
    regression::fit(y, lines, f);
    return f;
}

// An independent least-squares fit: normal equations of the full quadratic model, solved by
// Gaussian elimination with partial pivoting, all in double. Order b0, b1, b2, b11, b22, b12.
std::array<double, 6> leastSquares(const Responses &y)
{
    double m[6][7] = {};
    for (int r = 0; r < 11; ++r) {
        const double x1 = CodedRuns[std::size_t(r)][0], x2 = CodedRuns[std::size_t(r)][1];
        const double row[6] = {1, x1, x2, x1 * x1, x2 * x2, x1 * x2};
        for (int i = 0; i < 6; ++i) {
            for (int j = 0; j < 6; ++j)
                m[i][j] += row[i] * row[j];
            m[i][6] += row[i] * double(y[std::size_t(r)]);
        }
    }
    for (int c = 0; c < 6; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 6; ++r)
            if (std::fabs(m[r][c]) > std::fabs(m[pivot][c]))
                pivot = r;
        std::swap(m[c], m[pivot]);
        for (int r = 0; r < 6; ++r) {
            if (r == c)
                continue;
            const double f = m[r][c] / m[c][c];
            for (int k = c; k < 7; ++k)
                m[r][k] -= f * m[c][k];
        }
    }
    std::array<double, 6> b{};
    for (int i = 0; i < 6; ++i)
        b[std::size_t(i)] = m[i][6] / m[i][i];
    return b;
}

Responses singles(const Series &y)
{
    Responses r{};
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = float(y[i]);
    return r;
}

const Responses Hardness = singles(HardnessY);
const Responses Viscosity = singles(ViscosityY);

} // namespace

class TestRegression : public QObject
{
    Q_OBJECT
private slots:
    void texts_data();
    void texts();
    void levels_data();
    void levels();
    void agreesWithIndependentFit_data();
    void agreesWithIndependentFit();
    void noStaleResults_data();
    void noStaleResults();
};

void TestRegression::texts_data()
{
    QTest::addColumn<Responses>("y");
    QTest::addColumn<QString>("equation");
    QTest::addColumn<QString>("r");
    QTest::addColumn<QString>("s");
    QTest::newRow("reference-hardness")
        << Hardness << " 15.066+ .887X1+ .204X2-1.127X1^2-1.177X2^2+ .275X1X2"
        << "0.992"
        << "0.241";
    QTest::newRow("reference-viscosity")
        << Viscosity << " 3.6+ .417X1-.042X2-.462X1^2-.587X2^2+ .075X1X2"
        << "0.963"
        << "0.248";
    // y1 - y2 - y3 + y4 = 0: the interaction is exactly 0 and written "+ 0".
    QTest::newRow("zero-interaction") << Responses{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}
                                      << " 10+ .073X1+ .323X2-3.25X1^2-2.25X2^2+ 0X1X2"
                                      << "0.803"
                                      << "2.797";
    // b12 = -0.0001 rounds to 0 but is negative: " 0" without "+".
    QTest::newRow("negative-rounds-to-zero")
        << Responses{0, 0.0004f, 0, 0, 0, 0, 0, 0, 0, 0, 0} << " 0+ 0X1 0X2+ 0X1^2+ 0X2^2 0X1X2"
        << "0.766"
        << "0";
}

void TestRegression::texts()
{
    QFETCH(Responses, y);
    QFETCH(QString, equation);
    QFETCH(QString, r);
    QFETCH(QString, s);
    const regression::FitResult f = fitted(y);
    QCOMPARE(f.equationShown(), equation);
    QCOMPARE(f.rShown(), r);
    QCOMPARE(f.sShown(), s);
    QVERIFY(f.hasCoefficients());
}

void TestRegression::levels_data()
{
    QTest::addColumn<Responses>("y");
    QTest::addColumn<float>("lines");
    QTest::addColumn<float>("min");
    QTest::addColumn<float>("max");
    QTest::addColumn<float>("step");
    QTest::newRow("above-ten-cut-to-whole") << Hardness << 4.0f << 11.5f << 15.3f << 0.75f;
    QTest::newRow("below-ten") << Viscosity << 4.0f << 1.9f << 3.7f << 0.45000002f;
    QTest::newRow("above-ten-narrow")
        << Responses{10.2f, 10.3f, 10.4f, 10.5f, 10.6f, 10.7f, 10.8f, 10.9f, 10.5f, 10.5f, 10.5f}
        << 4.0f << 10.2f << 10.9f << 0.0f;
    QTest::newRow("six-lines") << Viscosity << 6.0f << 1.9f << 3.7f << 0.3f;
    // Ten itself is not above ten: the range keeps its fraction.
    QTest::newRow("lowest-exactly-ten")
        << Responses{10.0f, 12.5f, 11.0f, 11.0f, 11.0f, 11.0f, 11.0f, 11.0f, 11.0f, 11.0f, 11.0f}
        << 4.0f << 10.0f << 12.5f << 0.625f;
}

void TestRegression::levels()
{
    QFETCH(Responses, y);
    QFETCH(float, lines);
    QFETCH(float, min);
    QFETCH(float, max);
    QFETCH(float, step);
    const regression::FitResult f = fitted(y, lines);
    QCOMPARE(f.levelMin, min);
    QCOMPARE(f.levelMax, max);
    QCOMPARE(f.levelStep, step);
}

void TestRegression::agreesWithIndependentFit_data()
{
    QTest::addColumn<Responses>("y");
    QTest::newRow("hardness") << Hardness;
    QTest::newRow("viscosity") << Viscosity;
    QTest::newRow("yield") << Responses{78.2f, 84.5f, 80.1f, 88.9f, 87.4f, 76.3f,
                                        85.2f, 79.8f, 90.6f, 91.2f, 89.8f};
    QTest::newRow("saddle") << Responses{-3, 5, 4, -2, 1.5f, 0.5f, -1, 2, 0.1f, -0.1f, 0};
    QTest::newRow("negative-small")
        << Responses{-0.012f, -0.015f, -0.011f, -0.019f, -0.014f, -0.010f,
                     -0.016f, -0.013f, -0.020f, -0.021f, -0.019f};
    QTest::newRow("large") << Responses{1520, 1710, 1480, 1905, 1800, 1450,
                                        1600, 1550, 2010, 1990, 2050};
}

void TestRegression::agreesWithIndependentFit()
{
    QFETCH(Responses, y);
    const regression::Coefficients c = fitted(y).b;
    const std::array<double, 6> b = leastSquares(y);
    const std::array<double, 6> ours{c.b0, c.b1, c.b2, c.b11, c.b22, c.b12};
    for (std::size_t i = 0; i < 6; ++i) {
        const double tolerance = 5e-4 * std::max(1.0, std::fabs(b[i]));
        if (std::fabs(ours[i] - b[i]) > tolerance)
            QFAIL(qPrintable(
                QStringLiteral("coefficient %1: %2, expected %3").arg(i).arg(ours[i]).arg(b[i])));
    }
}

void TestRegression::noStaleResults_data()
{
    QTest::addColumn<Responses>("y");
    QTest::addColumn<float>("lines");
    QTest::addColumn<bool>("equationShown");
    QTest::addColumn<bool>("correlationShown");
    QTest::addColumn<bool>("coefficientsCurrent");
    const Responses equal{5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5};
    const Responses exact = [] {
        // y = 10 + 2 X1 - X2 - 3 X1² - 2 X2² + 0.5 X1 X2 at the design points.
        Responses r{};
        for (int i = 0; i < 11; ++i) {
            const double x1 = CodedRuns[std::size_t(i)][0], x2 = CodedRuns[std::size_t(i)][1];
            r[std::size_t(i)] = float(10 + 2 * x1 - x2 - 3 * x1 * x1 - 2 * x2 * x2 + 0.5 * x1 * x2);
        }
        return r;
    }();
    QTest::newRow("all-equal") << equal << 4.0f << true << false << true;
    QTest::newRow("exact-fit") << exact << 4.0f << true << true << true;
    QTest::newRow("no-line-count") << Hardness << 0.0f << false << false << false;
    QTest::newRow("overflow-in-sums")
        << Responses{1e30f, 2e30f, 1e30f, 3e30f, 1e30f, 2e30f, 1e30f, 1e30f, 2e30f, 1e30f, 1e30f}
        << 4.0f << true << false << true;
    QTest::newRow("overflow-in-coefficients")
        << Responses{3e38f, 3e38f, 3e38f, 3e38f, 3e38f, 3e38f, 3e38f, 3e38f, 3e38f, 3e38f, 1e38f}
        << 4.0f << false << false << false;
}

void TestRegression::noStaleResults()
{
    QFETCH(Responses, y);
    QFETCH(float, lines);
    QFETCH(bool, equationShown);
    QFETCH(bool, correlationShown);
    QFETCH(bool, coefficientsCurrent);
    // The result still holds a previous record's fit; none of it may show after this one.
    regression::FitResult f = fitted(Hardness);
    regression::fit(y, lines, f);
    QCOMPARE(!f.equationShown().isEmpty(), equationShown);
    QCOMPARE(!f.rShown().isEmpty(), correlationShown);
    QCOMPARE(!f.sShown().isEmpty(), correlationShown);
    QCOMPARE(f.hasCoefficients(), coefficientsCurrent);
    QVERIFY(f.equationShown() !=
            QStringLiteral(" 15.066+ .887X1+ .204X2-1.127X1^2-1.177X2^2+ .275X1X2"));
    if (QTest::currentDataTag() == QByteArray("exact-fit")) {
        QCOMPARE(f.rShown(), QStringLiteral("1"));
        QCOMPARE(f.sShown(), QStringLiteral("0"));
    }
}

QTEST_APPLESS_MAIN(TestRegression)
#include "test_regression.moc"
