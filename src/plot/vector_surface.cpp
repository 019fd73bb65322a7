#include "plot/vector_surface.h"

#include "plot/raster_surface.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainterPath>

#include <cmath>

namespace {
// A point is 20 logical units: the logical square is 4095 twips on the window.
constexpr double UnitsPerPoint = 20.0;
} // namespace

VectorSurface::VectorSurface(QPaintDevice *device, double screenPixels)
    : m_dot(double(SurfaceUnits) / std::max(1.0, screenPixels))
    , m_metrics(std::make_unique<RasterSurface>(1))
{
    m_painter.begin(device);
    // The logical square onto the whole page, whatever the device's own units.
    m_painter.setWindow(0, 0, SurfaceUnits, SurfaceUnits);
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setRenderHint(QPainter::TextAntialiasing, true);
    Clear();
}

VectorSurface::~VectorSurface()
{
    if (m_painter.isActive())
        m_painter.end();
}

bool VectorSurface::finish()
{
    flushDots();
    return m_painter.end();
}

QFont VectorSurface::font() const
{
    QFont f;
    f.setFamilies(RasterSurface::mapFontFamilies());
    f.setPixelSize(std::max(1, int(std::lround(double(FontSize) * UnitsPerPoint))));
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

void VectorSurface::PSet(float x, float y, std::int32_t colour)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    const double side = m_dot * std::max(1, DrawWidth);
    // The dot covers the pixel that holds the point, as on the bitmap.
    const double px = std::floor(double(x) / m_dot) * m_dot - (side - m_dot) / 2;
    const double py = std::floor(double(y) / m_dot) * m_dot - (side - m_dot) / 2;
    // Dots in a row of one colour become one shape: a grid is a thousand of them.
    if (!m_dots.isEmpty() && colour != m_dotColour)
        flushDots();
    m_dots.addRect(QRectF(px, py, side, side));
    m_dotColour = colour;
}

void VectorSurface::flushDots()
{
    if (m_dots.isEmpty())
        return;
    m_painter.fillPath(m_dots, QColor(toRgb(m_dotColour)));
    m_dots = QPainterPath();
    m_dots.setFillRule(Qt::WindingFill); // dots that meet stay filled
}

void VectorSurface::FillCells(float left, float top, float width, float height,
                              const std::function<bool(double x, double y)> &inside,
                              std::int32_t colour)
{
    flushDots();
    // Cells a quarter of a screen pixel wide: the region's edge steps by less than the width
    // of the lines drawn along it, so enlarged it still shows no staircase.
    const double cell = m_dot / 4;
    const int x0 = int(std::floor(double(left) / cell)), y0 = int(std::floor(double(top) / cell));
    const int x1 = int(std::ceil(double(left + width) / cell));
    const int y1 = int(std::ceil(double(top + height) / cell));
    if (x1 <= x0 || y1 <= y0)
        return;
    QImage cells(x1 - x0, y1 - y0, QImage::Format_ARGB32);
    cells.fill(Qt::transparent);
    const QRgb fill = QColor(toRgb(colour)).rgba();
    for (int j = 0; j < cells.height(); ++j) {
        const double y = (y0 + j + 0.5) * cell;
        auto *row = reinterpret_cast<QRgb *>(cells.scanLine(j));
        for (int i = 0; i < cells.width(); ++i) {
            const double x = (x0 + i + 0.5) * cell;
            if (x >= left && x < double(left) + width && y >= top && y < double(top) + height &&
                inside(x, y))
                row[i] = fill;
        }
    }
    m_painter.drawImage(QRectF(x0 * cell, y0 * cell, cells.width() * cell, cells.height() * cell),
                        cells);
}

void VectorSurface::Path(const std::vector<QPointF> &points, bool closed, std::int32_t colour)
{
    flushDots();
    if (points.size() < 2)
        return;
    QPainterPath path(points.front());
    for (std::size_t i = 1; i < points.size(); ++i)
        path.lineTo(points[i]);
    if (closed)
        path.closeSubpath();
    m_painter.setPen(QPen(QColor(toRgb(colour)), m_dot * std::max(1, DrawWidth), Qt::SolidLine,
                          Qt::RoundCap, Qt::RoundJoin));
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawPath(path);
}

void VectorSurface::LineBox(float x1, float y1, float x2, float y2)
{
    flushDots();
    m_painter.setPen(QPen(Qt::black, m_dot, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRect(QRectF(QPointF(std::min(x1, x2) + m_dot / 2, std::min(y1, y2) + m_dot / 2),
                              QPointF(std::max(x1, x2) + m_dot / 2, std::max(y1, y2) + m_dot / 2)));
}

namespace {

// Only characters an XML file may hold reach a vector file (an SVG is XML): the others, and
// halves of a pair cut apart, are shown as U+FFFD.
QString xmlSafe(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            safe += text[i];
            safe += text[++i];
        } else if ((c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) || c == 0x9 ||
                   c == 0xA || c == 0xD) {
            safe += text[i];
        } else {
            safe += QChar(QChar::ReplacementCharacter);
        }
    }
    return safe;
}

} // namespace

void VectorSurface::Print(const QString &text)
{
    if (text.isEmpty() || !std::isfinite(CurrentX) || !std::isfinite(CurrentY))
        return;
    flushDots();
    const QFont f = font();
    m_painter.setFont(f);
    m_painter.setPen(QColor(toRgb(ForeColor)));
    // A title of megabytes is cut to what the page can show.
    const QString shown = xmlSafe(text.size() > 4096 ? text.left(4096) : text);
    m_painter.drawText(QPointF(CurrentX, CurrentY + QFontMetricsF(f).ascent()), shown);
}

void VectorSurface::PrintTurned(const QString &text, double x, double y, double degrees)
{
    if (text.isEmpty() || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(degrees))
        return;
    flushDots();
    const double w = TextWidth(text), h = TextHeight(text);
    const QFont f = font();
    m_painter.save();
    m_painter.translate(x, y);
    m_painter.rotate(degrees);
    m_painter.fillRect(QRectF(-w / 2, -h / 2, w, h), Qt::white);
    m_painter.setFont(f);
    m_painter.setPen(QColor(toRgb(ForeColor)));
    m_painter.drawText(QPointF(-w / 2, -h / 2 + QFontMetricsF(f).ascent()), xmlSafe(text));
    m_painter.restore();
}

float VectorSurface::TextWidth(const QString &text)
{
    // The same extents as the raster surface, so every text stands where it stands there.
    m_metrics->FontSize = FontSize;
    return m_metrics->TextWidth(text);
}

float VectorSurface::TextHeight(const QString &text)
{
    m_metrics->FontSize = FontSize;
    return m_metrics->TextHeight(text);
}

void VectorSurface::Clear()
{
    m_dots = QPainterPath(); // under the white page anyway
    m_dots.setFillRule(Qt::WindingFill);
    TurnedLabels.clear();
    m_painter.fillRect(QRectF(0, 0, SurfaceUnits, SurfaceUnits), Qt::white);
}
