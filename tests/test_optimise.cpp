// Multi-response optimisation: the desirability functions, and the optimum of D against an
// independent brute force (data/reference/desirability.py).

#include "stats/model_analysis.h"
#include "stats/multi_optimum.h"

#include <QTest>

#include <cmath>
#include <map>
#include <numbers>

using namespace optimise;

namespace {

const std::map<int, analysis::Responses> Series{
    {1, {12.1, 13.4, 11.8, 14.2, 13.9, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3}},
    {2, {2.5, 3.1, 1.9, 2.8, 3.3, 2.0, 2.6, 2.2, 3.6, 3.5, 3.7}},
    {3, {78.2, 84.5, 80.1, 88.9, 87.4, 76.3, 85.2, 79.8, 90.6, 91.2, 89.8}},
    {6, {132, 118, 141, 125, 120, 138, 136, 122, 112, 115, 110}}};

Response on(int series, Goal goal)
{
    const analysis::ModelAnalysis a = analysis::analyse(Series.at(series));
    Model b{};
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = *a.coefficients[i].estimate;
    return {goal, b};
}

Goal max(double low, double high, double s = 1, int r = 3)
{
    return {GoalKind::Max, low, high, 0, s, s, r};
}
Goal min(double low, double high, double s = 1, int r = 3)
{
    return {GoalKind::Min, low, high, 0, s, s, r};
}
Goal target(double low, double t, double high, double s1 = 1, double s2 = 1, int r = 3)
{
    return {GoalKind::Target, low, high, t, s1, s2, r};
}
Goal range(double low, double high)
{
    return {GoalKind::Range, low, high, 0, 1, 1, 3};
}

} // namespace

class TestOptimise : public QObject
{
    Q_OBJECT
private slots:
    void desirabilityAtAndBetweenLimits_data();
    void desirabilityAtAndBetweenLimits();
    void optimumAgreesWithBruteForce();
    void regionsAndConflicts();
    void goalFaultsAtTheirEdges();
};

void TestOptimise::desirabilityAtAndBetweenLimits_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("s1");
    QTest::addColumn<double>("s2");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("d");
    // LOW 10, TARGET 14, HIGH 20.
    const int mx = int(GoalKind::Max), mn = int(GoalKind::Min), tg = int(GoalKind::Target),
              rg = int(GoalKind::Range);
    QTest::newRow("max below") << mx << 1.0 << 1.0 << 9.0 << 0.0;
    QTest::newRow("max at low") << mx << 1.0 << 1.0 << 10.0 << 0.0;
    QTest::newRow("max between, s=2") << mx << 2.0 << 2.0 << 15.0 << 0.25;
    QTest::newRow("max at high") << mx << 1.0 << 1.0 << 20.0 << 1.0;
    QTest::newRow("max above") << mx << 1.0 << 1.0 << 25.0 << 1.0;
    QTest::newRow("min below") << mn << 1.0 << 1.0 << 5.0 << 1.0;
    QTest::newRow("min between, s=0.5") << mn << 0.5 << 0.5 << 17.5 << 0.5;
    QTest::newRow("min at high") << mn << 1.0 << 1.0 << 20.0 << 0.0;
    QTest::newRow("target left, s1=2") << tg << 2.0 << 1.0 << 12.0 << 0.25;
    QTest::newRow("target at target") << tg << 2.0 << 3.0 << 14.0 << 1.0;
    QTest::newRow("target right, s2=1") << tg << 2.0 << 1.0 << 17.0 << 0.5;
    QTest::newRow("target at low") << tg << 1.0 << 1.0 << 10.0 << 0.0;
    QTest::newRow("target beyond high") << tg << 1.0 << 1.0 << 20.5 << 0.0;
    QTest::newRow("range at low") << rg << 1.0 << 1.0 << 10.0 << 1.0;
    QTest::newRow("range at high") << rg << 1.0 << 1.0 << 20.0 << 1.0;
    QTest::newRow("range outside") << rg << 1.0 << 1.0 << 20.01 << 0.0;
}

void TestOptimise::desirabilityAtAndBetweenLimits()
{
    QFETCH(int, kind);
    QFETCH(double, s1);
    QFETCH(double, s2);
    QFETCH(double, y);
    QFETCH(double, d);
    const Goal g{GoalKind(kind), 10, 20, 14, s1, s2, 3};
    QCOMPARE(desirability(g, y), d);
}

void TestOptimise::optimumAgreesWithBruteForce()
{
    struct Case
    {
        const char *name;
        std::vector<Response> responses;
        double D;
    };
    const std::vector<Case> cases{
        {"curve kink", {on(1, max(13, 15)), on(2, target(3, 3.4, 3.8))}, 0.971941106316},
        {"interior", {on(1, max(14, 16))}, 0.631036621871},
        {"plateau", {on(1, range(14, 20)), on(2, range(2, 4))}, 1},
        {"corner", {on(1, min(8, 16))}, 0.881961627137},
        {"edge", {on(1, min(8, 14)), on(3, max(70, 92))}, 0.430628587145},
        {"weights", {on(1, max(13, 15, 1, 5)), on(2, min(2, 4, 1, 1))}, 0.801284478175},
        {"shapes", {on(1, max(12, 16, 0.5)), on(3, min(75, 95, 2))}, 0.469778232275},
        {"three",
         {on(1, max(13, 16)), on(2, target(2.5, 3.2, 3.8, 2, 0.5, 2)), on(3, max(85, 95, 1, 4))},
         0.667105646932},
        {"on a curve", {on(1, target(14, 15, 16))}, 1},
        {"target out of reach",
         {on(1, target(14, 16.5, 17)), on(2, target(2, 4, 4.5, 2, 1))},
         0.599190203377},
        {"range boundary", {on(1, range(12, 14)), on(2, max(2, 4))}, 0.801160060157},
    };
    for (const Case &c : cases) {
        const Answer a = optimiseGoals(c.responses);
        QVERIFY2(a.optimum, c.name);
        // Never below the brute force by more than the tolerance; D is evaluated at the point
        // given, and the bound covers the true maximum.
        QVERIFY2(
            a.D >= c.D - 1e-6 && a.D <= c.D + 1e-6,
            qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(c.name)).arg(a.D, 0, 'g', 12)));
        QCOMPARE(overall(c.responses, a.optimum->x1, a.optimum->x2), a.D);
        QVERIFY2(a.bound >= a.D && a.bound <= a.D + 2 * Tolerance, c.name);
        QVERIFY(std::fabs(a.optimum->x1) <= PlotLimit && std::fabs(a.optimum->x2) <= PlotLimit);
    }
}

void TestOptimise::regionsAndConflicts()
{
    // Every goal met on a region: its share, and a robust point inside it, away from its edge.
    const Answer region = optimiseGoals({on(1, range(14, 20)), on(2, range(2, 4))});
    QVERIFY(region.plateau);
    QVERIFY(region.plateau->share > 0.05 && region.plateau->share < 0.95);
    const Point p = region.plateau->robust;
    QVERIFY(region.plateau->depth > 0.1);
    for (double angle = 0; angle < 6.3; angle += 0.5)
        QCOMPARE(overall({on(1, range(14, 20)), on(2, range(2, 4))},
                         p.x1 + 0.99 * region.plateau->depth * std::cos(angle),
                         p.x2 + 0.99 * region.plateau->depth * std::sin(angle)),
                 1.0);
    // D = 1 on a curve only: no region. A flat response: the whole square, its centre the most
    // robust point.
    QVERIFY(!optimiseGoals({on(1, target(14, 15, 16))}).plateau);
    const Answer flat = optimiseGoals({{max(1, 10), {5, 0, 0, 0, 0, 0}}});
    QCOMPARE(flat.D, 4.0 / 9);
    QVERIFY(flat.plateau && flat.plateau->share == 1);
    QVERIFY(std::fabs(flat.plateau->robust.x1) < 0.01 &&
            std::fabs(flat.plateau->depth - 1.414) < 0.01);
    // A disc of radius 1/2 about (0.7, 0), (X1 - 0.7)² + X2² <= 1/4: its share of the square
    // (π/4 over 2.828²) to within the grid's cells along its edge, a point by its centre, and
    // a depth never beyond the disc's edge from there, short of it by less than two cells.
    const Answer disc = optimiseGoals({{range(-0.25, 1), {-0.49, 1.4, 0, -1, -1, 0}}});
    QVERIFY(disc.plateau);
    const double cell = 2 * 1.414 / 512;
    QVERIFY2(std::fabs(disc.plateau->share - std::numbers::pi / 4 / (2.828 * 2.828)) < 0.002,
             qPrintable(QString::number(disc.plateau->share)));
    const double toEdge = 0.5 - std::hypot(disc.plateau->robust.x1 - 0.7, disc.plateau->robust.x2);
    QVERIFY2(toEdge > 0.5 - 2 * cell && disc.plateau->depth <= toEdge &&
                 disc.plateau->depth > toEdge - 2 * cell,
             qPrintable(QStringLiteral("%1 of %2").arg(disc.plateau->depth).arg(toEdge)));
    // Hardness never falls to 5: that goal alone; the hard and slow can't be had together.
    const Answer alone = optimiseGoals({on(1, min(0, 5)), on(2, max(2, 4))});
    QVERIFY(!alone.optimum);
    QCOMPARE(alone.conflicts, (std::vector<std::pair<int, int>>{{0, 0}}));
    QVERIFY(std::fabs(alone.alone[0].y - 8.94431) < 1e-4); // the square's smallest hardness
    const Answer pair = optimiseGoals({on(1, max(15, 16)), on(6, max(140, 150))});
    QVERIFY(!pair.optimum);
    QCOMPARE(pair.conflicts, (std::vector<std::pair<int, int>>{{0, 1}}));
}

void TestOptimise::goalFaultsAtTheirEdges()
{
    using F = std::optional<GoalFault>;
    const auto shaped = [](double s1, double s2, int r) {
        return target(1, 2, 3, s1, s2, r);
    };
    const std::vector<std::pair<Goal, F>> rows{{shaped(1e-9, 1e-9, 1), std::nullopt},
                                               {shaped(0, 1, 3), GoalFault::ShapeNotPositive},
                                               {shaped(1, 0, 3), GoalFault::ShapeNotPositive},
                                               {shaped(1, 1, 5), std::nullopt},
                                               {shaped(1, 1, 0), GoalFault::ImportanceOutside},
                                               {shaped(1, 1, 6), GoalFault::ImportanceOutside},
                                               {max(2, 2), GoalFault::LowNotBelowHigh},
                                               {target(1, 3.5, 3), GoalFault::TargetOutside},
                                               {target(1, 3, 3), std::nullopt},
                                               {target(1, 1, 3), std::nullopt},
                                               {target(1, 0.5, 3), GoalFault::TargetOutside},
                                               {max(1, std::nan("")), GoalFault::NotFinite}};
    for (const auto &[goal, fault] : rows)
        QCOMPARE(goalFault(goal), fault);
}

QTEST_APPLESS_MAIN(TestOptimise)
#include "test_optimise.moc"
