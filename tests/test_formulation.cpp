// Formulation work below the window: factors in real units (the run sheet, the model and its
// places read back in real settings) and the goal map.

#include "pipeline/goal_map.h"
#include "pipeline/record_change.h"
#include "pipeline/run_sheet.h"
#include "plot/layers.h"
#include "plot/raster_surface.h"
#include "recording_surface.h"
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

class TestFormulation : public QObject
{
    Q_OBJECT
private slots:
    void runSheetInRealSettings();
    void runOrderIsADrawnPermutation();
    void realCoefficientsAgreeWithSubstitution_data();
    void realCoefficientsAgreeWithSubstitution();
    void placesReadBackInRealSettings();
    void goalRegionAgreesWithTheSurfaces();
};

void TestFormulation::runSheetInRealSettings()
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
    // The printed sheet: a setting's column as wide as its heading (ten at least) and two more,
    // a Chinese character two columns wide.
    const QStringList standard =
        runSheetText(TempPh, runSheet(TempPh, std::nullopt)).split(QLatin1Char('\n'));
    QCOMPARE(standard[0], QStringLiteral("Order   Run      X1      X2   温度 (°C)          pH      "
                                         "Response"));
    QCOMPARE(standard[1], QStringLiteral("1         1      -1      -1          60           9  "
                                         "____________"));
    // It lists the runs by their order.
    const RunSheet drawn = runSheet(TempPh, 7u);
    const QStringList lines = runSheetText(TempPh, drawn).split(QLatin1Char('\n'));
    for (int order = 1; order <= 11; ++order) {
        const auto row = std::find_if(drawn.begin(), drawn.end(),
                                      [&](const RunSheetRow &r) { return r.order == order; });
        QCOMPARE(lines[order].simplified().section(QLatin1Char(' '), 0, 1),
                 QStringLiteral("%1 %2").arg(order).arg(row->run));
    }
}

void TestFormulation::runOrderIsADrawnPermutation()
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
void TestFormulation::realCoefficientsAgreeWithSubstitution_data()
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

void TestFormulation::realCoefficientsAgreeWithSubstitution()
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

void TestFormulation::placesReadBackInRealSettings()
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
    // The map's marks say where in real settings.
    const std::vector<plot::Mark> marks =
        mapMarks({true, true, false},
                 {12.1, 13.4, 11.8, 14.2, 13.9, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3}, a, &TempPh);
    QCOMPARE(marks.front().label, QStringLiteral("最大（驻点）15.262（74.098, 7.86551）"));
}

void TestFormulation::goalRegionAgreesWithTheSurfaces()
{
    // y = 2 + X1 - X1² - X2² at least 1 (up to 3), and X2 + X1·X2 / 2 within [-1, 1.5].
    using namespace optimise;
    const Response a{{GoalKind::Max, 1, 3, 0, 1, 1, 3}, {2, 1, 0, -1, -1, 0}};
    const Response b{{GoalKind::Range, -1, 1.5, 0, 1, 1, 3}, {0, 0, 1, 0, 0, 0.5}};
    const GoalMap map{{{a, QStringLiteral("a"), 0x800000}, {b, QStringLiteral("b"), 0x008000}},
                      std::nullopt,
                      0,
                      DefaultGoalFill,
                      std::nullopt};
    constexpr int Pixels = 300;
    RasterSurface surface(Pixels);
    drawGoalMap(map, surface);
    const QImage image = surface.Image();
    const plot::PlotGeometry &g = plot::DesignedGeometry;
    const auto codedX1 = [&](double x) {
        return (x - g.left) * 2 * PlotLimit / g.size - PlotLimit;
    };
    const auto codedX2 = [&](double y) {
        return PlotLimit - (y - g.top) * 2 * PlotLimit / g.size;
    };
    int shaded = 0, clear = 0;
    for (int py = 0; py < Pixels; ++py) {
        for (int px = 0; px < Pixels; ++px) {
            const double x = (px + 0.5) * SurfaceUnits / Pixels,
                         y = (py + 0.5) * SurfaceUnits / Pixels;
            // Inside the square, and clear of the legend in its top-left corner.
            if (x <= g.left || x >= g.left + g.size || y <= g.top || y >= g.top + g.size ||
                (x < g.left + g.size / 2 && y < g.top + g.size / 2))
                continue;
            const bool met = overall({a, b}, codedX1(x), codedX2(y)) > 0;
            const QRgb pixel = image.pixel(px, py);
            if (pixel == toRgb(DefaultGoalFill)) {
                QVERIFY2(met, qPrintable(QStringLiteral("%1,%2").arg(px).arg(py)));
                ++shaded;
            } else if (pixel == toRgb(0xFFFFFF)) {
                QVERIFY2(!met, qPrintable(QStringLiteral("%1,%2").arg(px).arg(py)));
                ++clear;
            } // else a line, dot or text drawn over it
        }
    }
    QVERIFY(shaded > 1000 && clear > 1000);
    // Drawn again over it, another map leaves nothing of the first.
    const GoalMap onlyB{
        {{b, QStringLiteral("b"), 0x008000}}, std::nullopt, 0, DefaultGoalFill, std::nullopt};
    drawGoalMap(onlyB, surface);
    RasterSurface fresh(Pixels);
    drawGoalMap(onlyB, fresh);
    QVERIFY(surface.Image() == fresh.Image());
    // The legend hides the shading under it: white between its border and its line.
    RecordingSurface recorded;
    drawGoalMap(onlyB, recorded);
    const auto legendLine =
        std::find_if(recorded.texts.begin(), recorded.texts.end(),
                     [](const RecordedText &t) { return t.text == QLatin1String("b"); });
    const auto legendBox =
        std::find_if(recorded.boxes.begin(), recorded.boxes.end(),
                     [&](const auto &box) { return box[2] - box[0] < g.size - 1; });
    QVERIFY(legendLine != recorded.texts.end() && legendBox != recorded.boxes.end());
    const double lx = ((*legendBox)[0] + legendLine->x) / 2,
                 ly = ((*legendBox)[1] + legendLine->y) / 2;
    QVERIFY(overall({b}, codedX1(lx), codedX2(ly)) > 0);
    QCOMPARE(fresh.Image().pixel(int(lx * Pixels / SurfaceUnits), int(ly * Pixels / SurfaceUnits)),
             toRgb(0xFFFFFF));
    // As a figure, the limits' labels keep off the legend (the outline smaller than the square).
    RecordingSurface figure;
    figure.paths = true;
    drawGoalMap(map, figure);
    QVERIFY(!figure.turned.isEmpty());
    for (const auto &box : figure.boxes) {
        if (std::fabs(box[2] - box[0]) >= g.size - 1)
            continue;
        for (const auto &t : figure.turned)
            QVERIFY(!(t.x > std::min(box[0], box[2]) && t.x < std::max(box[0], box[2]) &&
                      t.y > std::min(box[1], box[3]) && t.y < std::max(box[1], box[3])));
        // ... and the legend's own lines stand wholly inside it.
        for (const RecordedText &t : figure.texts) {
            if (t.text != QLatin1String("a") && t.text != QLatin1String("b"))
                continue;
            figure.FontSize = t.fontSize; // the text's measures as it was drawn
            QVERIFY(t.x > box[0] && t.x + figure.TextWidth(t.text) < box[2]);
            QVERIFY(t.y > box[1] && t.y + figure.TextHeight(t.text) < box[3]);
        }
    }
    // With the optimum up and left, the legend stands in the square's far corner, inside it.
    RecordingSurface far;
    drawGoalMap({map.layers, optimise::Point{-1, 1}, 0.5, DefaultGoalFill, std::nullopt}, far);
    const auto legend = std::find_if(far.boxes.begin(), far.boxes.end(), [&](const auto &box) {
        return std::fabs(box[2] - box[0]) < g.size - 1;
    });
    QVERIFY(legend != far.boxes.end());
    const QList<float> &box = *legend; // left, top, right, bottom
    QVERIFY(box[0] > g.left + g.size / 2 && box[2] < g.left + g.size);
    QVERIFY(box[1] > g.top + g.size / 2 && box[3] < g.top + g.size);
    // The legend says each goal with its limits, a target's in the middle.
    QCOMPARE(goalWords(b.goal), QStringLiteral("range -1 … 1.5"));
    QCOMPARE(goalWords({GoalKind::Target, 3, 3.8, 3.4, 1, 1, 3}),
             QStringLiteral("target 3 … 3.4 … 3.8"));
}

QTEST_MAIN(TestFormulation)
#include "test_formulation.moc"
