// Maps as figures: contours traced as lines on their levels, labels in gaps of their curves,
// one size on paper in every format, the designed bitmaps untouched, and the window's export
// of any map (an overlay too) at a size it remembers.

#include "cli_support.h"
#include "plot/contour_paths.h"
#include "plot/raster_surface.h"
#include "plot/vector_surface.h"
#include "recording_surface.h"
#include "shell/map_size_dialog.h"
#include "window_support.h"

#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

constexpr double L = PlotLimit;
const plot::PlotGeometry G = plot::DesignedGeometry;

double valueAt(const QuadraticCoefficients &b, double x, double y)
{
    return double(b.b0) + b.b1 * x + b.b2 * y + b.b11 * x * x + b.b22 * y * y + b.b12 * x * y;
}

// Coded units of a point on the surface, and its distance from the level curve to first order.
QPointF codedOf(QPointF p)
{
    return {(p.x() - G.left) * 2 * L / G.size - L, L - (p.y() - G.top) * 2 * L / G.size};
}
double offLevel(const QuadraticCoefficients &b, double level, QPointF c)
{
    const double gx = b.b1 + 2.0 * b.b11 * c.x() + b.b12 * c.y();
    const double gy = b.b2 + 2.0 * b.b22 * c.y() + b.b12 * c.x();
    return std::fabs(valueAt(b, c.x(), c.y()) - level) / std::max(std::hypot(gx, gy), 1e-12);
}
bool onBorder(QPointF c)
{
    return std::fabs(c.x()) >= L - 1e-9 || std::fabs(c.y()) >= L - 1e-9;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
quint32 bigEndian(const QByteArray &bytes, qsizetype at)
{
    return quint32(uchar(bytes[at])) << 24 | quint32(uchar(bytes[at + 1])) << 16 |
           quint32(uchar(bytes[at + 2])) << 8 | quint32(uchar(bytes[at + 3]));
}

} // namespace

class TestFigure : public QObject
{
    Q_OBJECT
private slots:
    void pathsLieOnTheirLevels_data();
    void pathsLieOnTheirLevels();
    void labelsSitInGapsClearOfEachOtherAndTheMarks();
    void oneSizeOnPaper_data();
    void oneSizeOnPaper();
    void designedBitmapsUnchanged();
    void windowExportsOverlaysAsLinesAtTheSizeLastChosen();
    void journalSizeIsOneClick();
    void vectorAndRasterFillTheSameCells();

private:
    QTemporaryDir m_dir;
};

void TestFigure::pathsLieOnTheirLevels_data()
{
    QTest::addColumn<QuadraticCoefficients>("b");
    QTest::addColumn<bool>("saddleLevel");
    QTest::addColumn<bool>("peak"); // an extremum inside the square
    QTest::newRow("peak inside") << QuadraticCoefficients{100, 3, -2, -8, -5, 1.5f} << false
                                 << true;
    QTest::newRow("turned narrow bowl")
        << QuadraticCoefficients{10, -1, 2, 6, 3, 5} << false << true;
    QTest::newRow("saddle") << QuadraticCoefficients{50, 1, 1, 4, -3, 2} << true << false;
    QTest::newRow("ridge") << QuadraticCoefficients{5, 2, 1, 0, -3, 0} << false << false;
    QTest::newRow("plane") << QuadraticCoefficients{1, 2, -0.5f, 0, 0, 0} << false << false;
    QTest::newRow("circle about the corner")
        << QuadraticCoefficients{0, -2.8f, -2.8f, 1, 1, 0} << false << false;
}

void TestFigure::pathsLieOnTheirLevels()
{
    QFETCH(QuadraticCoefficients, b);
    QFETCH(bool, saddleLevel);
    QFETCH(bool, peak);
    // The range the square takes, sampled finely; levels across it, for a peak one a hair below
    // its top (a loop far smaller than any tracing grid) and for the saddle one through it.
    double low = 1e300, high = -1e300;
    for (int j = 0; j <= 400; ++j)
        for (int i = 0; i <= 400; ++i) {
            const double v = valueAt(b, -L + 2 * L * i / 400, -L + 2 * L * j / 400);
            low = std::min(low, v);
            high = std::max(high, v);
        }
    std::vector<double> levels;
    for (int k = 1; k < 12; ++k)
        levels.push_back(low + (high - low) * k / 12);
    if (peak) {
        levels.push_back(high - (high - low) * 1e-7);
        levels.push_back(low + (high - low) * 1e-7);
    }
    if (saddleLevel) {
        const double det = 4.0 * b.b11 * b.b22 - double(b.b12) * b.b12;
        const double sx = (-2.0 * b.b1 * b.b22 + double(b.b2) * b.b12) / det;
        const double sy = (-2.0 * b.b2 * b.b11 + double(b.b1) * b.b12) / det;
        levels.push_back(valueAt(b, sx, sy));
    }
    constexpr double Tolerance = 0.25; // surface units
    const double chordLimit = 1.5 * Tolerance * 2 * L / G.size;
    for (const double level : levels) {
        const auto pieces = plot::traceLevel(b, level, G, Tolerance);
        QVERIFY2(!pieces.empty(), qPrintable(QString::number(level)));
        for (const plot::ContourPiece &piece : pieces) {
            QVERIFY(piece.points.size() >= 2);
            for (std::size_t i = 0; i < piece.points.size(); ++i) {
                const QPointF c = codedOf(piece.points[i]);
                QVERIFY2(
                    offLevel(b, level, c) <= 1e-3,
                    qPrintable(QStringLiteral("%1 at %2, %3").arg(level).arg(c.x()).arg(c.y())));
                QVERIFY(std::fabs(c.x()) <= L + 1e-9 && std::fabs(c.y()) <= L + 1e-9);
                // Between two points, the line keeps to the curve (away from a saddle, where
                // the first-order distance says nothing).
                if (i + 1 < piece.points.size() || piece.closed) {
                    const QPointF m = codedOf(
                        (piece.points[i] + piece.points[(i + 1) % piece.points.size()]) / 2);
                    if (!saddleLevel)
                        QVERIFY2(offLevel(b, level, m) <= chordLimit,
                                 qPrintable(QString::number(offLevel(b, level, m))));
                }
            }
            // A loop never touches the border; a line that is not one runs from border to border.
            const QPointF first = codedOf(piece.points.front()),
                          last = codedOf(piece.points.back());
            if (piece.closed)
                QVERIFY(piece.points.front() != piece.points.back() &&
                        std::none_of(piece.points.begin(), piece.points.end(),
                                     [](QPointF p) { return onBorder(codedOf(p)); }));
            else
                QVERIFY2(onBorder(first) && onBorder(last),
                         qPrintable(QStringLiteral("%1: %2,%3 .. %4,%5")
                                        .arg(level)
                                        .arg(first.x())
                                        .arg(first.y())
                                        .arg(last.x())
                                        .arg(last.y())));
        }
    }
}

void TestFigure::labelsSitInGapsClearOfEachOtherAndTheMarks()
{
    MemoryRecord record;
    record.set(QStringLiteral("ID"), 1);
    record.set(QStringLiteral("响应名称"), QStringLiteral("硬度"));
    for (int i = 0; i < DesignRuns; ++i)
        record.set(QStringLiteral("Y%1").arg(i + 1), HardnessY[std::size_t(i)]);
    RecordingSurface surface;
    surface.paths = true;
    FixedColorPicker picker(255);
    RecordMap map;
    const MapOptions options{true, true, false, 40, MapMarks{true, true, true}, {}};
    drawRecord(options, record, surface, picker, map);
    QVERIFY(surface.turned.size() >= 4);
    QVERIFY(surface.dots.size() > 0 && !surface.lines.isEmpty());

    // A label's box on the recording surface's metrics (font size 7), shrunk by a unit.
    struct Box
    {
        QPointF centre, u, v;
        double halfW, halfH;
        bool holds(QPointF p) const
        {
            const QPointF d = p - centre;
            return std::fabs(QPointF::dotProduct(d, u)) < halfW - 1 &&
                   std::fabs(QPointF::dotProduct(d, v)) < halfH - 1;
        }
    };
    std::vector<Box> boxes;
    for (const auto &t : surface.turned) {
        QVERIFY(t.degrees > -90 && t.degrees <= 90);
        const double a = t.degrees * M_PI / 180;
        boxes.push_back({QPointF(t.x, t.y), QPointF(std::cos(a), std::sin(a)),
                         QPointF(-std::sin(a), std::cos(a)), t.text.size() * 70.0 / 2, 70});
    }
    // The level labels come first (the marks' labels after them, on a ground of their own):
    // as many as the contour layer alone draws.
    const auto contours = contourMap(map.fit, 255, true);
    QVERIFY(contours);
    RecordingSurface levelsOnly;
    levelsOnly.paths = true;
    levelsOnly.FontSize = 7;
    plot::DrawContours(
        *contours, levelsOnly, nullptr,
        plot::markSymbols(mapMarks(options.marks, *map.fields.responses, *map.analysis), G));
    const auto levelLabels = std::size_t(levelsOnly.turned.size());
    QVERIFY(levelLabels >= 4 && levelLabels < boxes.size());
    boxes.resize(levelLabels);
    for (const auto &line : surface.lines)
        for (std::size_t i = 0; i + 1 < line.points.size(); ++i)
            for (int k = 0; k <= 16; ++k) {
                const QPointF p =
                    line.points[i] + (line.points[i + 1] - line.points[i]) * (k / 16.0);
                for (std::size_t b = 0; b < levelLabels; ++b)
                    QVERIFY2(!boxes[b].holds(p),
                             qPrintable(QStringLiteral("%1, %2").arg(p.x()).arg(p.y())));
            }
    // No level label over another, nor over a mark's symbol (the black dots and small boxes).
    // (A mark's label takes the first free place and, with none left, stands over one.)
    for (std::size_t a = 0; a < boxes.size(); ++a)
        for (std::size_t b = 0; b < boxes.size(); ++b)
            for (int i = -4; i <= 4 && a != b; ++i)
                for (int j = -1; j <= 1; ++j)
                    QVERIFY(!boxes[b].holds(boxes[a].centre +
                                            boxes[a].u * (boxes[a].halfW * i / 4) +
                                            boxes[a].v * (boxes[a].halfH * j)));
    for (const RecordedDot &dot : surface.dots)
        for (const Box &box : boxes)
            QVERIFY(dot.colour != 0 || !box.holds(QPointF(dot.x, dot.y)));
    for (const auto &m : surface.boxes)
        for (const Box &box : boxes)
            QVERIFY(m[2] - m[0] > 100 || !box.holds(QPointF((m[0] + m[2]) / 2, (m[1] + m[3]) / 2)));

    // Something in the way of a label's place moves it along its curve, or leaves it out.
    RecordingSurface free, blocked;
    free.paths = blocked.paths = true;
    free.FontSize = blocked.FontSize = 7;
    plot::DrawContours(*contours, free);
    QVERIFY(!free.turned.isEmpty());
    const QPointF at(free.turned[0].x, free.turned[0].y);
    plot::DrawContours(*contours, blocked, nullptr,
                       {{at.x() - 5, at.y() - 5, at.x() + 5, at.y() + 5}});
    for (const auto &t : blocked.turned)
        QVERIFY(std::hypot(t.x - at.x(), t.y - at.y()) > 70);
    // The same map drawn over it (an overlay) finds every designed place taken.
    const auto first = free.turned.size();
    plot::DrawContours(*contours, free);
    for (auto i = first; i < free.turned.size(); ++i)
        for (qsizetype j = 0; j < first; ++j)
            QVERIFY(std::hypot(free.turned[i].x - free.turned[j].x,
                               free.turned[i].y - free.turned[j].y) > 100);
}

void TestFigure::oneSizeOnPaper_data()
{
    QTest::addColumn<QStringList>("size");
    QTest::addColumn<double>("millimetres");
    QTest::addColumn<int>("dpi");
    QTest::newRow("screen pixels") << QStringList{"--size", "273"} << 273 * 25.4 / 96 << 96;
    QTest::newRow("journal column") << QStringList{"--width", "85", "--dpi", "600"} << 85.0 << 600;
    QTest::newRow("width at the default resolution") << QStringList{"--width", "40"} << 40.0 << 300;
}

void TestFigure::oneSizeOnPaper()
{
    QFETCH(QStringList, size);
    QFETCH(double, millimetres);
    QFETCH(int, dpi);
    const QString db = m_dir.filePath(QStringLiteral("sizes.mdb"));
    QVERIFY(QFile::exists(db) || makeTable(db, {HardnessRow}));
    const auto render = [&](const QString &format) {
        const QString out = m_dir.filePath(QStringLiteral("size.") + format);
        const CliResult r =
            run(QStringList{"render", "--db", db, "--id", "1", "--format", format, "--out", out} +
                size);
        return r.code == 0 ? readAll(out) : QByteArray();
    };
    const QByteArray svg = render(QStringLiteral("svg")), pdf = render(QStringLiteral("pdf")),
                     png = render(QStringLiteral("png"));
    const auto svgWidth =
        QRegularExpression(QStringLiteral("<svg width=\"([0-9.]+)mm\" height=\"([0-9.]+)mm\""))
            .match(QString::fromUtf8(svg));
    const auto box = QRegularExpression(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"))
                         .match(QString::fromLatin1(pdf));
    QVERIFY(svgWidth.hasMatch() && box.hasMatch());
    const double svgMm = svgWidth.captured(1).toDouble(),
                 pdfMm = box.captured(1).toDouble() * 25.4 / 72;
    QCOMPARE(svgWidth.captured(2), svgWidth.captured(1));
    QCOMPARE(box.captured(2), box.captured(1));
    // The same page in both, within the half point a PDF page is rounded to of the size asked.
    QVERIFY2(std::fabs(svgMm - pdfMm) < 1e-3,
             qPrintable(QStringLiteral("%1 %2").arg(svgMm).arg(pdfMm)));
    QVERIFY(std::fabs(svgMm - millimetres) <= 25.4 / 72 / 2);
    // The PNG: the pixels of the width at the resolution, which its pHYs chunk carries.
    QVERIFY(png.startsWith("\x89PNG"));
    const int pixels = int(std::lround(millimetres / 25.4 * dpi));
    QCOMPARE(int(bigEndian(png, 16)), pixels);
    const qsizetype phys = png.indexOf("pHYs");
    QVERIFY(phys > 0);
    const auto perMetre = quint32(std::lround(dpi / 0.0254));
    QCOMPARE(bigEndian(png, phys + 4), perMetre);
    QCOMPARE(bigEndian(png, phys + 8), perMetre);
    QCOMPARE(int(png[phys + 12]), 1); // metres
}

void TestFigure::designedBitmapsUnchanged()
{
    // The bitmaps of the screen map as they were before maps became figures: byte for byte.
    const QString db = m_dir.filePath(QStringLiteral("designed.mdb"));
    QCOMPARE(run({"sample", "--out", db, "--records", "3", "--seed", "5"}).code, 0);
    const struct
    {
        QStringList args;
        QByteArray sha256;
    } maps[] = {
        {{"--id", "1", "--out", "a.BMP"},
         "41969d13e8ef54865eff85d96d48aa7b029c7af18c7148ca4672931469bbff4e"},
        {{"--id", "2", "--size", "273", "--mark", "stationary,optimum,runs", "--out", "b.BMP"},
         "88deb359e29f5f722b3808c3475aa609d65ae4e1c4bb5fe33d2c7ca8a26915bc"},
        {{"--id", "3", "--size", "400", "--format", "png", "--out", "c.png"},
         "9521f44e3353c0e75be985aaa77640f1d4f666a837424d6305d21adaf82f0eaa"},
    };
    for (const auto &m : maps) {
        QStringList args = QStringList{"render", "--db", db} + m.args;
        args.last() = m_dir.filePath(args.last());
        QCOMPARE(run(args).code, 0);
        QCOMPARE(QCryptographicHash::hash(readAll(args.last()), QCryptographicHash::Sha256).toHex(),
                 m.sha256);
    }
}

void TestFigure::windowExportsOverlaysAsLinesAtTheSizeLastChosen()
{
    const QString folder = windowFolder(m_dir.filePath(QStringLiteral("window")), true);
    Window w(folder);
    Form1 &f = *w.form;
    QVERIFY(w.loaded);
    f.Check3->setChecked(true); // overlay
    f.moveTo(1);
    w.dialogs.saveAs = folder + QStringLiteral("/overlay.svg");
    f.exportMap();
    QVERIFY(w.dialogs.warnings.isEmpty());
    // Both records' curves, as lines in their own colours.
    const QString svg = QString::fromUtf8(readAll(w.dialogs.saveAs));
    for (int id : {1, 2}) {
        const QString stroke = QColor(toRgb(curvePaletteColor(id))).name();
        QVERIFY2(QRegularExpression(QStringLiteral("stroke=\"%1\"[^>]*>\\s*<path").arg(stroke))
                     .match(svg)
                     .hasMatch(),
                 qPrintable(stroke));
    }
    // The first export offers the map area's own size; the size chosen is offered next time,
    // and a bitmap gets its pixels.
    QCOMPARE(w.dialogs.offeredSizes.value(0), (MapSize{f.surface().Image().width(), 96}));
    w.dialogs.mapSize = MapSize::ofWidth(85, 600);
    w.dialogs.saveAs = folder + QStringLiteral("/overlay.png");
    f.exportMap();
    QCOMPARE(QImage(w.dialogs.saveAs).width(), 2008);
    w.dialogs.mapSize.reset();
    f.exportMap();
    QCOMPARE(w.dialogs.offeredSizes.value(2), (MapSize{2008, 600}));

    // More maps overlaid than are kept to draw again: only the screen's own pixels are
    // exported, and a figure is refused with a word.
    for (int i = 0; i < 1000; ++i)
        f.moveTo(i % 2);
    w.dialogs.mapSize = MapSize{f.surface().Image().width()};
    w.dialogs.saveAs = folder + QStringLiteral("/many.svg");
    f.exportMap();
    QVERIFY(!QFile::exists(w.dialogs.saveAs) && w.dialogs.warnings.size() == 1);
    w.dialogs.saveAs = folder + QStringLiteral("/many.png");
    f.exportMap();
    QCOMPARE(QImage(w.dialogs.saveAs).convertToFormat(QImage::Format_RGB32),
             f.surface().Image().convertToFormat(QImage::Format_RGB32));
}

void TestFigure::journalSizeIsOneClick()
{
    MapSizeDialog untouched(MapSize{273}, true);
    QCOMPARE(untouched.chosen(), (MapSize{273, 96}));
    // The resolution alone changed: the same width on paper, more pixels.
    untouched.dpi->setValue(300);
    QCOMPARE(untouched.chosen(), (MapSize{853, 300}));
    // The most pixels a map may have (693.59 mm at 600 dpi: 16,384), and one more: no OK.
    untouched.dpi->setValue(600);
    untouched.width->setValue(693.59);
    QCOMPARE(untouched.chosen().pixels, MapPixelsMax);
    QVERIFY(untouched.buttons->button(QDialogButtonBox::Ok)->isEnabled());
    untouched.width->setValue(693.63);
    QVERIFY(!untouched.buttons->button(QDialogButtonBox::Ok)->isEnabled());

    MapSizeDialog dialog(MapSize{273}, true);
    QTest::mouseClick(dialog.journal, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.chosen(), (MapSize{2008, 600}));
}

void TestFigure::vectorAndRasterFillTheSameCells()
{
    // A figure's region (a goal's, say) is filled in cells a quarter of a screen pixel wide: on
    // a page four times the screen's size a cell is a pixel, the raster surface's pixel at that
    // size. Both test each cell at its centre, so they fill the same pixels, edges included.
    constexpr int Side = 400;
    QImage page(Side, Side, QImage::Format_ARGB32);
    page.fill(Qt::white);
    VectorSurface vector(&page, Side / 4);
    RasterSurface raster(Side);
    const auto inside = [](double x, double y) {
        return x + 2 * y < 5000;
    };
    for (Surface *s : {static_cast<Surface *>(&vector), static_cast<Surface *>(&raster)})
        s->FillCells(1000, 900, 2100, 1600, inside, 12);
    QVERIFY(vector.finish());
    const QImage drawn = raster.Image().convertToFormat(QImage::Format_ARGB32);
    int filled = 0;
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x) {
            const bool inVector = page.pixel(x, y) != qRgb(255, 255, 255);
            QVERIFY2(inVector == (drawn.pixel(x, y) != qRgb(255, 255, 255)),
                     qPrintable(QStringLiteral("pixel %1, %2").arg(x).arg(y)));
            filled += inVector;
        }
    QVERIFY(filled > 10000);
}

QTEST_MAIN(TestFigure)
#include "test_figure.moc"
