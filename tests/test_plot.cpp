#include "pipeline/record_change.h"
#include "plot/layers.h"
#include "plot/raster_surface.h"
#include "recording_surface.h"

#include <QTest>

#include <cmath>

using Coefficients = std::array<float, 6>;
Q_DECLARE_METATYPE(Coefficients)

namespace {

// The options the window starts with: colour and labels on.
const MapOptions Started{true, true, false, float(LineCountDefault), {}, {}};

// A surface with the given coefficients and levels, as a completed fit hands it to the contour
// layer. A single level (min = max) gets a range just above it, as a range truncated to a zero
// step leaves it: an equal largest and smallest response is a flat response, which draws
// nothing.
plot::ContourMap surfaceState(Coefficients b, float min, float max, float step)
{
    if (max == min)
        max = std::nextafter(min, INFINITY);
    return {{b[0], b[1], b[2], b[3], b[4], b[5]},
            {min, max, step},
            CurveColour().colour,
            Started.showLabels,
            plot::DesignedGeometry};
}

double codedX1(const plot::ContourMap &s, double x)
{
    return (x - s.geometry.left) * 2 * 1.414 / s.geometry.size - 1.414;
}
double codedX2(const plot::ContourMap &s, double y)
{
    return 1.414 - (y - s.geometry.top) * 2 * 1.414 / s.geometry.size;
}

const RecordedText *findText(const RecordingSurface &surface, const QString &text, int nth = 0)
{
    for (const RecordedText &t : surface.texts) {
        if (t.text == text && nth-- == 0)
            return &t;
    }
    return nullptr;
}

} // namespace

class TestPlot : public QObject
{
    Q_OBJECT
private slots:
    void tickLabels_data();
    void tickLabels();
    void verticalLabelsEndOnTheEdge();
    void titleOnlyWithLabelsAndWithoutOverlay_data();
    void titleOnlyWithLabelsAndWithoutOverlay();
    void grid();
    void dotsLieOnTheirLevels_data();
    void dotsLieOnTheirLevels();
    void linearInX1IsDrawnByTheRowSweep();
    void symmetricSurfacesAreDrawnByBothSweeps_data();
    void symmetricSurfacesAreDrawnByBothSweeps();
    void rootsAtTheEdgeAreDrawn();
    void labelAlternation();
    void labelMarginIsStrict();
    void zeroStepDrawsOneLevel();
    void noContoursFromAnotherRecord();
    void rasterKeepsLogicalPositions_data();
    void rasterKeepsLogicalPositions();
    void textFarWiderThanTheMapIsDrawnWhereSeen();
};

void TestPlot::tickLabels_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("nth");
    QTest::addColumn<double>("centreX"); // NaN: right-aligned vertical label
    QTest::addColumn<double>("centreY");
    // Horizontal labels: centred on the tick, top half a line below the bottom edge (7 pt:
    // 140 units high, so the top is at 3695 + 70).
    QTest::newRow("left-end") << "-1.414" << 0 << 400.0 << 3765.0 + 70;
    QTest::newRow("zero") << "0" << 0 << 2097.0 << 3765.0 + 70;
    QTest::newRow("one") << "1" << 0 << 3297.0 << 3765.0 + 70;
    QTest::newRow("right-end") << "1.414" << 0 << 3795.0 << 3765.0 + 70;
    // Vertical labels: centred on the tick.
    QTest::newRow("top-end") << "1.414" << 1 << qQNaN() << 300.0;
    QTest::newRow("v-zero") << "0" << 1 << qQNaN() << 1997.0;
    QTest::newRow("bottom-end") << "-1.414" << 1 << qQNaN() << 3695.0;
}

void TestPlot::tickLabels()
{
    QFETCH(QString, text);
    QFETCH(int, nth);
    QFETCH(double, centreX);
    QFETCH(double, centreY);
    RecordingSurface surface;
    redrawLabels(Started, QString(), surface);
    const RecordedText *t = findText(surface, text, nth);
    QVERIFY(t);
    QCOMPARE(t->fontSize, 7.0f);
    QCOMPARE(t->colour, 255);
    const double w = text.size() * 70.0, h = 140.0;
    if (!std::isnan(centreX))
        QCOMPARE(double(t->x) + w / 2, centreX);
    QCOMPARE(double(t->y) + h / 2, centreY);
}

void TestPlot::verticalLabelsEndOnTheEdge()
{
    RecordingSurface surface;
    surface.FontSize = 12;
    surface.ForeColor = 0x123456;
    redrawLabels(Started, QString(), surface);
    // The second group of seven texts is the vertical axis, top to bottom.
    QStringList order;
    for (int i = 7; i < 14; ++i) {
        const RecordedText &t = surface.texts[i];
        QCOMPARE(double(t.x) + t.text.size() * 70.0, 400.0);
        order << t.text;
    }
    QCOMPARE(order, (QStringList{"1.414", "1", "0.5", "0", "-0.5", "-1", "-1.414"}));
    const RecordedText *x1 = findText(surface, QStringLiteral("X1"));
    QVERIFY(x1);
    QCOMPARE(x1->fontSize, 9.0f);
    QCOMPARE(x1->colour, 0xFF0000);
    QCOMPARE(x1->y, 3695.0f + 50 + 180);
    const RecordedText *x2 = findText(surface, QStringLiteral("X2"));
    QCOMPARE(x2->x, 180.0f / 4);
    // Left for the contour labels: 7 pt, black.
    QCOMPARE(surface.FontSize, 7.0f);
    QCOMPARE(surface.ForeColor, 0);
}

void TestPlot::titleOnlyWithLabelsAndWithoutOverlay_data()
{
    QTest::addColumn<bool>("labels");
    QTest::addColumn<bool>("overlay");
    QTest::addColumn<bool>("title");
    QTest::newRow("labels") << true << false << true;
    QTest::newRow("no-labels") << false << false << false;
    QTest::newRow("overlay") << true << true << false;
}

void TestPlot::titleOnlyWithLabelsAndWithoutOverlay()
{
    QFETCH(bool, labels);
    QFETCH(bool, overlay);
    QFETCH(bool, title);
    MapOptions options = Started;
    options.showLabels = labels;
    options.overlay = overlay;
    RecordingSurface surface;
    redrawLabels(options, QStringLiteral("硬度"), surface);
    const RecordedText *t = findText(surface, QStringLiteral("硬度"));
    QCOMPARE(t != nullptr, title);
    QCOMPARE(surface.texts.size(), title ? 17 : 16);
    if (t) {
        QCOMPARE(t->y, 50.0f);
        QCOMPARE(t->x, float(400 + 3395 / 2.0 - 2 * 90 / 2.0));
    }
}

void TestPlot::grid()
{
    RecordingSurface surface;
    redrawGrid(surface);
    QCOMPARE(surface.dots.size(), 1140);
    for (const RecordedDot &d : surface.dots) {
        QCOMPARE(d.colour, 0xFF00);
        const bool vertical = std::fmod(d.x - 897, 600) == 0 && d.x >= 897 && d.x <= 3297;
        const bool horizontal = std::fmod(d.y - 797, 600) == 0 && d.y >= 797 && d.y <= 3197;
        QVERIFY(vertical || horizontal);
    }
    // First and last dots of the first vertical line: 1 unit inside the top, 4 short of the
    // bottom.
    QCOMPARE(surface.dots.first().y, 301.0f);
    QCOMPARE(surface.dots[surface.dots.size() - 2].y, 3691.0f);
    QCOMPARE(surface.boxes.size(), 1);
    QCOMPARE(surface.boxes.first(), (QList<float>{400, 300, 3795, 3695}));
}

void TestPlot::dotsLieOnTheirLevels_data()
{
    QTest::addColumn<Coefficients>("b");
    QTest::addColumn<float>("min");
    QTest::addColumn<float>("max");
    QTest::addColumn<float>("step");
    QTest::newRow("hill") << Coefficients{15.0663f,  0.886768f, 0.203922f,
                                          -1.12687f, -1.17687f, 0.275f}
                          << 11.5f << 15.3f << 0.75f;
    QTest::newRow("saddle") << Coefficients{0, 0.3f, -0.2f, 1, -1, 0.4f} << -2.0f << 2.0f << 0.5f;
    QTest::newRow("ridge") << Coefficients{1, 0, 0, 0, -2, 0} << -3.0f << 1.0f << 1.0f;
    QTest::newRow("plane") << Coefficients{0, 1, 1, 0, 0, 0} << -2.5f << 2.5f << 0.5f;
}

void TestPlot::dotsLieOnTheirLevels()
{
    QFETCH(Coefficients, b);
    QFETCH(float, min);
    QFETCH(float, max);
    QFETCH(float, step);
    const plot::ContourMap s = surfaceState(b, min, max, step);
    RecordingSurface surface;
    const int dots = plot::DrawContours(s, surface);
    QVERIFY(dots > 0);
    QCOMPARE(surface.dots.size(), dots);
    const std::vector<float> levels = plot::contourLevels(s.levels);
    const auto y = [&](double x1, double x2) {
        return b[0] + b[1] * x1 + b[2] * x2 + b[3] * x1 * x1 + b[4] * x2 * x2 + b[5] * x1 * x2;
    };
    for (const RecordedDot &d : surface.dots) {
        QVERIFY(d.x >= 400 && d.x <= 3795 && d.y >= 300 && d.y <= 3695);
        // Within one unit of a point of some level.
        bool onLevel = false;
        for (float level : levels) {
            double low = 1e300, high = -1e300;
            for (int dx = -1; dx <= 1; ++dx) {
                for (int dy = -1; dy <= 1; ++dy) {
                    const double v = y(codedX1(s, d.x + dx), codedX2(s, d.y + dy));
                    low = std::min(low, v);
                    high = std::max(high, v);
                }
            }
            onLevel = onLevel || (low <= level + 1e-4 && high >= level - 1e-4);
        }
        QVERIFY2(onLevel, qPrintable(QStringLiteral("dot at %1, %2").arg(d.x).arg(d.y)));
    }
}

void TestPlot::linearInX1IsDrawnByTheRowSweep()
{
    const plot::ContourMap s = surfaceState({0, 1, 0, 0, 0, 0}, 0.5f, 0.5f, 0);
    RecordingSurface surface;
    QCOMPARE(plot::DrawContours(s, surface), 283);
    for (const RecordedDot &d : surface.dots)
        QCOMPARE(d.x, 2697.75f);
    QCOMPARE(surface.dots.first().y, 3695.0f);
    QVERIFY(std::fabs(surface.dots.last().y - 310) < 2);
    QVERIFY(surface.texts.isEmpty()); // the column sweep recorded nothing to label
}

void TestPlot::symmetricSurfacesAreDrawnByBothSweeps_data()
{
    QTest::addColumn<Coefficients>("b");
    QTest::newRow("x2-squared") << Coefficients{0, 0, 0, 0, 1, 0};
    QTest::newRow("symmetric-saddle") << Coefficients{0, 0, 0, 1, -1, 0};
    QTest::newRow("bowl") << Coefficients{0, 0, 0, 1, 1, 0};
}

void TestPlot::symmetricSurfacesAreDrawnByBothSweeps()
{
    QFETCH(Coefficients, b);
    // With b2 = b12 = 0 the column sweep must still find the roots of b22·X2² + c.
    const plot::ContourMap s = surfaceState(b, 0.5f, 0.5f, 0);
    RecordingSurface surface;
    QVERIFY(plot::DrawContours(s, surface) > 0);
    int columnDots = 0;
    for (const RecordedDot &d : surface.dots) {
        // Column-sweep dots stand on the sweep's x positions.
        const double v = codedX1(s, d.x);
        const double k = (v + 1.414) / 0.01;
        columnDots += std::fabs(k - std::round(k)) < 1e-3 ? 1 : 0;
    }
    QVERIFY(columnDots > 0);
    QVERIFY(!surface.texts.isEmpty()); // the plus or minus branch carries a label
}

void TestPlot::rootsAtTheEdgeAreDrawn()
{
    // Y = 500 X1 at level -707: the root is exactly -1.414, on the left edge.
    const plot::ContourMap s = surfaceState({0, 500, 0, 0, 0, 0}, -707, -707, 0);
    RecordingSurface surface;
    plot::DrawContours(s, surface);
    QVERIFY(!surface.dots.isEmpty());
    for (const RecordedDot &d : surface.dots)
        QVERIFY(std::fabs(d.x - 400) < 0.1);
}

void TestPlot::labelAlternation()
{
    // Y = X2 (linear in X2): the column sweep fills the linear list with 283 points, one per
    // column, so the label of level k sits at position 283 / 2.5 = 113 or 283 / 2 = 142.
    const plot::ContourMap s = surfaceState({0, 0, 1, 0, 0, 0}, -0.5f, 0.5f, 0.5f);
    RecordingSurface surface;
    surface.FontSize = 7; // as the axis labels leave it
    plot::DrawContours(s, surface);
    QCOMPARE(surface.texts.size(), 3);
    const double shift = 7 * 10; // width of one character at 7 pt
    const double expected[3] = {-1.414 + 113 * 0.01, -1.414 + 142 * 0.01, -1.414 + 113 * 0.01};
    for (int k = 0; k < 3; ++k) {
        const RecordedText &t = surface.texts[k];
        const double centre = t.x + t.text.size() * shift / 2;
        QVERIFY2(std::fabs(codedX1(s, centre) - expected[k]) < 0.002,
                 qPrintable(QStringLiteral("label %1 at %2").arg(k).arg(codedX1(s, centre))));
    }
    QCOMPARE(surface.texts[0].text, QStringLiteral("-.5"));
    QCOMPARE(surface.texts[1].text, QStringLiteral(" 0"));
    QCOMPARE(surface.texts[2].text, QStringLiteral(" .5"));
}

void TestPlot::labelMarginIsStrict()
{
    // Y = X2: each level is a horizontal line. A label needs its point more than 200 units
    // inside every edge: 500 < y < 3495 with the start-up geometry.
    plot::ContourMap s = surfaceState({0, 0, 1, 0, 0, 0}, 0, 0, 0);
    const auto labelsAtY = [&](double y) {
        s.levels.min = float(codedX2(s, y));
        s.levels.max = std::nextafter(s.levels.min, INFINITY);
        RecordingSurface surface;
        plot::DrawContours(s, surface);
        return surface.texts.size();
    };
    QCOMPARE(labelsAtY(490), 0);
    QCOMPARE(labelsAtY(510), 1);
    QCOMPARE(labelsAtY(3485), 1);
    QCOMPARE(labelsAtY(3505), 0);
}

void TestPlot::zeroStepDrawsOneLevel()
{
    const plot::ContourMap s = surfaceState({5, 1, 1, 0, 0, 0}, 5, 5, 0);
    QCOMPARE(plot::contourLevels(s.levels), (std::vector<float>{5}));
    RecordingSurface surface;
    QVERIFY(plot::DrawContours(s, surface) > 0);
    const plot::ContourMap reversed = surfaceState({5, 1, 1, 0, 0, 0}, 6, 5, 0.5f);
    QVERIFY(plot::contourLevels(reversed.levels).empty());
    // A flat response (largest = smallest) has no contour, whatever traces of rounding the
    // single-precision fit leaves in the quadratic terms.
    plot::ContourMap flat = surfaceState({5, 0, 0, 9e-5f, 9e-5f, 0}, 5, 5, 0);
    flat.levels.max = flat.levels.min;
    QCOMPARE(plot::DrawContours(flat, surface = RecordingSurface()), 0);
}

void TestPlot::noContoursFromAnotherRecord()
{
    // Coefficients and levels that the current record's fit did not reach (left over in the
    // result from the record before) are never traced.
    using O = regression::FitOutcome;
    regression::FitResult fit;
    fit.b.b0 = 15;
    fit.levelMin = 11;
    fit.levelMax = 15;
    fit.levelStep = 1;
    for (const auto &[outcome, traced] : {std::pair{O::NoResponses, false},
                                          {O::NoLevelStep, false},
                                          {O::NoCoefficients, false},
                                          {O::NoCorrelation, true},
                                          {O::NoDeviation, true},
                                          {O::Complete, true}}) {
        fit.outcome = outcome;
        const auto map = contourMap(fit, 7, true);
        QCOMPARE(map.has_value(), traced);
        if (map)
            QCOMPARE(map->b.b0, 15.0f);
    }
}

void TestPlot::rasterKeepsLogicalPositions_data()
{
    QTest::addColumn<int>("pixels");
    QTest::newRow("one-unit-per-pixel") << 4095;
    QTest::newRow("screen") << 273;
    QTest::newRow("export") << 1024;
}

void TestPlot::rasterKeepsLogicalPositions()
{
    QFETCH(int, pixels);
    RasterSurface surface(pixels);
    surface.PSet(2697.75f, 1997.5f, 0xFF0000); // blue
    const int px = int(std::floor(2697.75 * pixels / 4095.0));
    const int py = int(std::floor(1997.5 * pixels / 4095.0));
    QCOMPARE(surface.Image().pixel(px, py), qRgb(0, 0, 255));
    surface.LineBox(400, 300, 3795, 3695);
    QCOMPARE(surface.Image().pixel(surface.toPixel(400), surface.toPixel(2000)), qRgb(0, 0, 0));
    // Text extents are logical: the same at every pixel size.
    surface.FontSize = 7;
    const float w = surface.TextWidth(QStringLiteral("-1.414"));
    RasterSurface other(100);
    other.FontSize = 7;
    QCOMPARE(other.TextWidth(QStringLiteral("-1.414")), w);
    surface.Clear();
    QCOMPARE(surface.Image().pixel(px, py), qRgb(255, 255, 255));
    // Points off the picture, on any side, leave it untouched.
    const QImage blank = surface.Image().copy();
    for (const QPointF p : {QPointF(-1, 10), QPointF(10, -1), QPointF(4096, 10), QPointF(10, 4096),
                            QPointF(-5000, -5000)})
        surface.PSet(float(p.x()), float(p.y()), 0xFF0000);
    QCOMPARE(surface.Image(), blank);
}

void TestPlot::textFarWiderThanTheMapIsDrawnWhereSeen()
{
    // A response name of megabytes, centred as the title is: measured in full, and its
    // middle drawn across the whole width (rasterised whole it would take gigabytes).
    RasterSurface surface(512);
    surface.FontSize = 9;
    const QString title(5'000'000, QLatin1Char('a'));
    const float w = surface.TextWidth(title);
    QVERIFY(qAbs(w / (5e6f * surface.TextWidth(QStringLiteral("a"))) - 1) < 1e-3f);
    surface.CurrentX = 2047.5f - w / 2;
    surface.CurrentY = 50;
    surface.Print(title);
    const auto inked = [&](int from, int to) {
        for (int y = 0; y < 40; ++y)
            for (int x = from; x < to; ++x)
                if (surface.Image().pixel(x, y) != qRgb(255, 255, 255))
                    return true;
        return false;
    };
    QVERIFY(inked(0, 8));
    QVERIFY(inked(250, 262));
    QVERIFY(inked(504, 512));
}

QTEST_MAIN(TestPlot)
#include "test_plot.moc"
