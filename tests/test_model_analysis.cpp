// The model analysis against reference figures computed independently with R 4.2 (lm, pf,
// hatvalues and eigen on the same eleven coded runs), and on degenerate data.
#include "fixtures.h"
#include "stats/model_analysis.h"
#include "stats/tail_probabilities.h"

#include <QFile>
#include <QTest>

#include <cmath>

using analysis::ModelAnalysis;

namespace {

bool close(double ours, double reference, double relative = 1e-9)
{
    return std::fabs(ours - reference) <= relative * std::max(1.0, std::fabs(reference));
}

// The best and worst of the fitted surface on a fine grid over the square: an independent
// check of the exact search.
std::pair<double, double> gridExtremes(const ModelAnalysis &a)
{
    double high = -1e300, low = 1e300;
    for (int i = 0; i <= 2000; ++i)
        for (int j = 0; j <= 2000; ++j) {
            const double y =
                *analysis::predict(a, -1.414 + 2.828 * i / 2000, -1.414 + 2.828 * j / 2000);
            high = std::max(high, y);
            low = std::min(low, y);
        }
    return {high, low};
}

} // namespace

class TestModelAnalysis : public QObject
{
    Q_OBJECT
private slots:
    void agreesWithR_data();
    void agreesWithR();
    void degenerateData_data();
    void degenerateData();
    void extremeResponses_data();
    void extremeResponses();
    void highestPointInsideAnEdge();
    void tinyResponsesAsTheirScaledSelves();
    void tailProbabilitiesAgreeWithR();
};

using Figures = QList<double>;
Q_DECLARE_METATYPE(Series)

void TestModelAnalysis::agreesWithR_data()
{
    // Per set: p of b0 ... b12; model F and p; lack-of-fit F and p; R², adjusted, predicted
    // R², PRESS; stationary X1, X2, Y; eigenvalues.
    QTest::addColumn<Series>("y");
    QTest::addColumn<Figures>("figures");
    QTest::addColumn<QString>("nature");
    QTest::newRow("hardness-maximum")
        << HardnessY
        << Figures{1.2636874939819786e-09, 0.00014004250448523817, 0.06184350979660317,
                   0.00010203742033823805, 8.2701353630284255e-05, 0.071020949598738795,
                   63.975528430272064,     0.00015700917097140918, 0.85691025071447824,
                   0.57820014066172476,    0.9846095903464156,     0.96921918069283119,
                   0.92329342401264336,    1.4427809610712814,     0.40979505260412308,
                   0.13449048908256503,    15.262073243741119,     -1.2918467379262522,
                   -1.0123380691827628}
        << "maximum";
    QTest::newRow("saddle") << Series{-3, 5, 4, -2, 1.5, 0.5, -1, 2, 0.1, -0.1, 0}
                            << Figures{0.99999398030772069,   0.14443038738531033,
                                       0.084441254071558572,  0.11375566280601054,
                                       0.33619611757574086,   0.00016892923382736441,
                                       22.407669364551971,    0.0019562724756183544,
                                       80.596520563004205,    0.012280422069613606,
                                       0.95727895911267546,   0.91455791822535093,
                                       0.69790962797478562,   17.238924393424323,
                                       -0.13764916542683595,  0.077691817602811714,
                                       -0.049977243606461857, -1.3169523835037986,
                                       2.1919651700401683}
                            << "saddle";
    QTest::newRow("bowl-minimum")
        << Series{20.5, 18.2, 19.9, 21.4, 17.6, 22.8, 19.1, 21.0, 10.2, 10.9, 10.4}
        << Figures{4.0814743848431715e-05, 0.086348803799103674,   0.98274722534915515,
                   0.00037834996190438806, 0.00040739829788197143, 0.21923543850086696,
                   23.097764224397761,     0.0018216670311044011,  22.80686674465996,
                   0.042297246685853718,   0.95850237429962271,    0.91700474859924541,
                   0.71063490786909123,    63.836043797475789,     0.1066968455702552,
                   -0.0095376610363297927, 10.445678615890992,     4.3048167317175876,
                   5.2577727725616583}
        << "minimum";
}

void TestModelAnalysis::agreesWithR()
{
    QFETCH(Series, y);
    QFETCH(Figures, figures);
    QFETCH(QString, nature);
    const ModelAnalysis a = analysis::analyse(y);
    QList<double> ours;
    for (const analysis::Coefficient &c : a.coefficients)
        ours << *c.p;
    ours << *a.model.f << *a.model.p << *a.lackOfFit.f << *a.lackOfFit.p << *a.rSquared
         << *a.adjRSquared << *a.predRSquared << *a.press << *a.stationary->x1 << *a.stationary->x2
         << *a.stationary->y << *a.eigenvalues[0] << *a.eigenvalues[1];
    QCOMPARE(ours.size(), figures.size());
    for (qsizetype i = 0; i < ours.size(); ++i)
        QVERIFY2(close(ours[i], figures[i]), qPrintable(QStringLiteral("figure %1: %2, R says %3")
                                                            .arg(i)
                                                            .arg(ours[i], 0, 'g', 17)
                                                            .arg(figures[i], 0, 'g', 17)));
    QCOMPARE(QString::fromLatin1(analysis::natureName(*a.nature)), nature);
    QVERIFY(a.stationaryInside);
    const auto [high, low] = gridExtremes(a);
    QVERIFY(*a.maximum.y >= high - 1e-9 && *a.maximum.y - high < 1e-4);
    QVERIFY(*a.minimum.y <= low + 1e-9 && low - *a.minimum.y < 1e-4);
}

void TestModelAnalysis::degenerateData_data()
{
    QTest::addColumn<Series>("y");
    QTest::addColumn<bool>("pureError"); // lack-of-fit F defined
    QTest::addColumn<bool>("residual");  // model F, t and p defined
    QTest::addColumn<bool>("variation"); // R² defined
    QTest::addColumn<QString>("nature"); // empty: none
    QTest::addColumn<bool>("inside");
    Series exact{}, ridge{}, edge{};
    for (std::size_t i = 0; i < 11; ++i) {
        const double x1 = CodedRuns[i][0], x2 = CodedRuns[i][1];
        exact[i] = 10 + 2 * x1 - x2 - 3 * x1 * x1 - 2 * x2 * x2 + 0.5 * x1 * x2;
        ridge[i] = 5 + x1 - x1 * x1 + 0.001 * x2 * x2;
        edge[i] = 5 + 4 * x1 + x2 - 0.5 * x1 * x1 - x2 * x2;
    }
    edge[8] += 0.1;
    edge[9] -= 0.1;
    QTest::newRow("flat") << Series{5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5} << false << false << false
                          << "" << false;
    QTest::newRow("perfect-fit") << exact << false << false << true << "maximum" << true;
    QTest::newRow("no-pure-error")
        << Series{1, 3, 2, 5, 4, 2, 3, 1, 4, 4, 4} << false << true << true << "maximum" << true;
    QTest::newRow("ridge") << ridge << false << false << true << "ridge" << true;
    QTest::newRow("optimum-outside") << edge << true << true << true << "maximum" << false;
}

void TestModelAnalysis::degenerateData()
{
    QFETCH(Series, y);
    QFETCH(bool, pureError);
    QFETCH(bool, residual);
    QFETCH(bool, variation);
    QFETCH(QString, nature);
    QFETCH(bool, inside);
    const ModelAnalysis a = analysis::analyse(y);
    QCOMPARE(a.lackOfFit.f.has_value(), pureError);
    QCOMPARE(a.lackOfFit.p.has_value(), pureError);
    QCOMPARE(a.model.f.has_value(), residual && variation);
    // A perfect fit's errors are 0, not unknown: only t and p divide by them.
    for (const analysis::Coefficient &c : a.coefficients) {
        QVERIFY(c.se.has_value());
        QCOMPARE(*c.se == 0, !residual);
        QCOMPARE(c.t.has_value() && c.p.has_value(), residual);
    }
    QCOMPARE(a.rSquared.has_value(), variation);
    QCOMPARE(a.nature ? QString::fromLatin1(analysis::natureName(*a.nature)) : QString(), nature);
    QCOMPARE(a.stationary.has_value() && a.stationaryInside, inside);
    // Whatever is undefined, the optimum over the square is the surface's own; a level
    // surface has its value everywhere, no place of its own and exactly no slope or curvature.
    const auto [high, low] = gridExtremes(a);
    QVERIFY(std::fabs(*a.maximum.y - high) < 1e-4 && std::fabs(*a.minimum.y - low) < 1e-4);
    const bool level = QTest::currentDataTag() == QByteArray("flat");
    QCOMPARE(!a.maximum.x1 && !a.minimum.x2, level);
    if (level) {
        for (std::size_t i = 1; i < a.coefficients.size(); ++i)
            QCOMPARE(*a.coefficients[i].estimate, 0.0);
        QCOMPARE(*a.coefficients[0].estimate, 5.0);
        QCOMPARE(*a.press, 0.0);
    }
}

// Responses far from 1 against exact rational arithmetic on the same doubles
// (data/reference/exact_analysis.py): sums of squares about the mean lose nothing to the
// level, and what no double can hold is absent, never infinite or NaN.
void TestModelAnalysis::extremeResponses_data()
{
    QTest::addColumn<Series>("y");
    QTest::addColumn<Figures>("exact"); // SSE, pure error, R², lack-of-fit F; NaN: beyond a double
    const double beyond = std::nan("");
    Series lifted = HardnessY, wrong = HardnessY;
    for (double &v : lifted)
        v += 1e12;
    QTest::newRow("all-plus-1e12") << lifted
                                   << Figures{0.28948475750075290, 0.12666178743044535,
                                              0.98460948944244103, 0.85699601210149053};
    wrong[0] = 1e12;
    QTest::newRow("one-1e12") << wrong
                              << Figures{3.7499520491459120e23, 0.12666666666666660,
                                         0.58750527458279582, 1.9736589732346916e24};
    wrong[0] = 1e300;
    QTest::newRow("one-1e300") << wrong
                               << Figures{beyond, 0.12666666666666660, 0.58750527458430437, beyond};
    wrong[0] = 1e308;
    QTest::newRow("one-1e308") << wrong
                               << Figures{beyond, 0.12666666666666660, 0.58750527458430437, beyond};
}

void TestModelAnalysis::extremeResponses()
{
    QFETCH(Series, y);
    QFETCH(Figures, exact);
    const ModelAnalysis a = analysis::analyse(y);
    const QList<analysis::Figure> ours{a.residual.ss, a.pureError.ss, a.rSquared, a.lackOfFit.f};
    for (qsizetype i = 0; i < ours.size(); ++i) {
        QCOMPARE(ours[i].has_value(), !std::isnan(exact[i]));
        if (ours[i])
            QVERIFY2(std::fabs(*ours[i] - exact[i]) <= 1e-9 * std::fabs(exact[i]),
                     qPrintable(QStringLiteral("figure %1: %2, exactly %3")
                                    .arg(i)
                                    .arg(*ours[i], 0, 'g', 17)
                                    .arg(exact[i], 0, 'g', 17)));
    }
    // Every figure is a finite number or absent.
    QList<analysis::Figure> all{a.rSquared,       a.adjRSquared,    a.predRSquared, a.press,
                                a.eigenvalues[0], a.eigenvalues[1], a.maximum.x1,   a.maximum.y,
                                a.minimum.x2,     a.minimum.y};
    for (const analysis::Coefficient &c : a.coefficients)
        all << c.estimate << c.se << c.t << c.p;
    for (const analysis::VarianceRow &r : {a.model, a.residual, a.lackOfFit, a.pureError, a.total})
        all << r.ss << r.ms << r.f << r.p;
    if (a.stationary)
        all << a.stationary->x1 << a.stationary->x2 << a.stationary->y;
    for (const analysis::Figure &f : all)
        QVERIFY(!f || std::isfinite(*f));
    QVERIFY(a.nature.has_value()); // the curvature is the data's, whatever their level
}

// y = 2·X2 - X1² + X1·X2 / 2 rises with X2 all over the square, so its highest point is on the
// edge X2 = e, where y = 2e - X1² + e·X1 / 2 peaks at X1 = e / 4 with 2e + e² / 16. The same with
// the factors' roles swapped.
void TestModelAnalysis::highestPointInsideAnEdge()
{
    const double e = analysis::SquareLimit;
    for (const std::size_t along : {0u, 1u}) {
        Series y{};
        for (std::size_t r = 0; r < y.size(); ++r) {
            const double a = DesignPoints[r][along], b = DesignPoints[r][1 - along];
            y[r] = 2 * b - a * a + a * b / 2;
        }
        const ModelAnalysis m = analysis::analyse(y);
        const std::optional<double> place[] = {m.maximum.x1, m.maximum.x2};
        QVERIFY(close(*place[along], e / 4) && close(*place[1 - along], e));
        QVERIFY(close(*m.maximum.y, 2 * e + e * e / 16));
    }
}

// Responses scaled by a power of two give the same ratios, down to subnormal responses (small
// whole numbers, which a subnormal holds exactly): the scale found and divided out exactly.
void TestModelAnalysis::tinyResponsesAsTheirScaledSelves()
{
    const Series whole{11, 13, 10, 10, 12, 10, 10, 12, 11, 12, 10};
    const ModelAnalysis a = analysis::analyse(whole);
    for (const int power : {-1000, -1022, -1040, -1060}) {
        Series tiny = whole;
        for (double &v : tiny)
            v = std::ldexp(v, power);
        const ModelAnalysis t = analysis::analyse(tiny);
        QVERIFY(t.rSquared && t.lackOfFit.f);
        QVERIFY(close(*t.rSquared, *a.rSquared, 1e-12) &&
                close(*t.lackOfFit.f, *a.lackOfFit.f, 1e-12));
        for (std::size_t i = 0; i < a.coefficients.size(); ++i)
            QVERIFY2(close(*t.coefficients[i].t, *a.coefficients[i].t, 1e-12),
                     qPrintable(QStringLiteral("2^%1, coefficient %2").arg(power).arg(i)));
    }
}

void TestModelAnalysis::tailProbabilitiesAgreeWithR()
{
    // R's pt and pf (tests/data/reference/pvalues.R) from statistics near 0 to tails below the
    // smallest normal double.
    QFile file(QStringLiteral(TESMORA_TEST_DATA "/reference/pvalues.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    file.readLine();
    int rows = 0;
    double worst = 0;
    while (!file.atEnd()) {
        const QList<QByteArray> cells = file.readLine().trimmed().split(',');
        QCOMPARE(cells.size(), 3);
        const double statistic = cells[1].toDouble(), reference = cells[2].toDouble();
        const double ours = cells[0] == "t5"     ? analysis::tTwoSided5(statistic)
                            : cells[0] == "F5_5" ? analysis::fUpper5And5(statistic)
                                                 : analysis::fUpper3And2(statistic);
        const double relative = std::fabs(ours - reference) / reference;
        worst = std::max(worst, relative);
        QVERIFY2(relative <= 1e-12,
                 cells.join(' ') + " gives " + QByteArray::number(ours, 'g', 17));
        ++rows;
    }
    QVERIFY(rows > 2000);
    qInfo("largest relative difference from R: %g", worst);
}

QTEST_APPLESS_MAIN(TestModelAnalysis)
#include "test_model_analysis.moc"
