#include "plot/raster_surface.h"

#include "core/colour.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {
// A point is 20 logical units: the logical square is 4095 twips on the window.
constexpr double UnitsPerPoint = 20.0;
} // namespace

QRgb toRgb(std::int32_t colour)
{
    return qRgb(redOf(colour), greenOf(colour), blueOf(colour));
}

QString RasterSurface::fontFamily()
{
    static const QString family = [] {
        // A Song-style face stands for 宋体 where the Windows font is not installed.
        const QStringList installed = QFontDatabase::families();
        for (const QString &candidate :
             {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
              QStringLiteral("AR PL UMing TW"), QStringLiteral("Noto Serif CJK SC")}) {
            if (installed.contains(candidate))
                return candidate;
        }
        return QStringLiteral("serif");
    }();
    return family;
}

QStringList RasterSurface::mapFontFamilies()
{
    static const QStringList families = [] {
        const QStringList installed = QFontDatabase::families();
        QStringList list;
        for (const QString &latin : {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                     QStringLiteral("DejaVu Sans")}) {
            if (installed.contains(latin)) {
                list << latin;
                break;
            }
        }
        return list << fontFamily();
    }();
    return families;
}

RasterSurface::RasterSurface(int pixels)
    : m_image(pixels, pixels, QImage::Format_Indexed8)
    , m_side(pixels)
    , m_stride(m_image.bytesPerLine())
    , m_scale(double(pixels) / SurfaceUnits)
{
    Clear();
}

uchar RasterSurface::newColourIndex(std::int32_t colour)
{
    const QRgb rgb = toRgb(colour);
    std::size_t best = 0;
    int bestDistance = INT_MAX;
    for (std::size_t i = 0; i < m_palette.size(); ++i) {
        const int d = std::abs(qRed(rgb) - qRed(m_palette[i])) +
                      std::abs(qGreen(rgb) - qGreen(m_palette[i])) +
                      std::abs(qBlue(rgb) - qBlue(m_palette[i]));
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    if (bestDistance != 0 && m_palette.size() < 256) {
        best = m_palette.size();
        m_palette.push_back(rgb);
        m_image.setColor(int(best), rgb); // grows the colour table by one
        m_bits = nullptr;                 // the colour table may have detached the image
    }
    m_lastColour = colour;
    m_lastIndex = uchar(best);
    return m_lastIndex;
}

void RasterSurface::PSet(float x, float y, std::int32_t colour)
{
    // The common case: one pixel inside the picture (NaN fails the tests and goes on below).
    const double fx = double(x) * m_scale, fy = double(y) * m_scale;
    if (DrawWidth <= 1 && fx >= 0 && fy >= 0 && fx < m_side && fy < m_side) {
        const uchar index = colourIndex(colour);
        pixelData()[qsizetype(fy) * m_stride + qsizetype(fx)] = index;
        return;
    }
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    const uchar index = colourIndex(colour);
    uchar *bits = pixelData();
    const int width = std::max(1, DrawWidth);
    // Clamp before converting, so far-away points cannot overflow the pixel arithmetic.
    const float limit = 4 * SurfaceUnits;
    const int px = toPixel(std::clamp(x, -limit, limit)) - (width - 1) / 2;
    const int py = toPixel(std::clamp(y, -limit, limit)) - (width - 1) / 2;
    for (int dy = 0; dy < width; ++dy)
        for (int dx = 0; dx < width; ++dx)
            setPixel(bits, px + dx, py + dy, index);
}

void RasterSurface::FillCells(float left, float top, float width, float height,
                              const std::function<bool(double x, double y)> &inside,
                              std::int32_t colour)
{
    const uchar index = colourIndex(colour);
    uchar *bits = pixelData();
    const int x0 = std::max(0, int(std::floor(double(left) * m_scale)));
    const int y0 = std::max(0, int(std::floor(double(top) * m_scale)));
    const int x1 = std::min(m_side, int(std::ceil(double(left + width) * m_scale)));
    const int y1 = std::min(m_side, int(std::ceil(double(top + height) * m_scale)));
    for (int py = y0; py < y1; ++py) {
        const double y = (py + 0.5) / m_scale;
        if (y < top || y >= double(top) + height)
            continue;
        for (int px = x0; px < x1; ++px) {
            const double x = (px + 0.5) / m_scale;
            if (x >= left && x < double(left) + width && inside(x, y))
                bits[qsizetype(py) * m_stride + px] = index;
        }
    }
}

void RasterSurface::LineBox(float x1, float y1, float x2, float y2)
{
    const uchar black = colourIndex(0);
    uchar *bits = pixelData();
    const int left = toPixel(std::min(x1, x2)), right = toPixel(std::max(x1, x2));
    const int top = toPixel(std::min(y1, y2)), bottom = toPixel(std::max(y1, y2));
    for (int px = left; px <= right; ++px) {
        setPixel(bits, px, top, black);
        setPixel(bits, px, bottom, black);
    }
    for (int py = top; py <= bottom; ++py) {
        setPixel(bits, left, py, black);
        setPixel(bits, right, py, black);
    }
}

RasterSurface::FontEntry &RasterSurface::currentFont()
{
    const int units = std::max(1, int(std::lround(double(FontSize) * UnitsPerPoint)));
    auto it = m_fonts.find(units);
    if (it == m_fonts.end()) {
        QFont font;
        font.setFamilies(mapFontFamilies());
        font.setPixelSize(units);
        font.setHintingPreference(QFont::PreferNoHinting);
        font.setStyleStrategy(QFont::NoAntialias);
        const QFontMetricsF metrics(font);
        // Hinting fits each glyph to whole pixels, which only works at the pixels drawn: a
        // scaled-down unhinted outline turns "4" into "d" and "5" into "S" at nine pixels.
        QFont deviceFont = font;
        deviceFont.setPixelSize(std::max(1, int(std::lround(units * m_scale))));
        deviceFont.setHintingPreference(QFont::PreferFullHinting);
        it = m_fonts.insert(
            units, FontEntry{font, metrics, metrics.ascent(), metrics.height(), deviceFont, {}});
    }
    return *it;
}

const RasterSurface::Sprite &RasterSurface::sprite(const QString &text, int units,
                                                   const FontEntry &entry)
{
    const QString key = QString::number(units) + QLatin1Char('\x1f') + text;
    auto it = m_sprites.find(key);
    if (it != m_sprites.end())
        return *it;
    // Labels repeat from map to map: each text is rasterised once, then copied pixel by pixel.
    if (m_sprites.size() > 1024)
        m_sprites.clear();
    const QFontMetricsF device(entry.deviceFont);
    const double width = device.horizontalAdvance(text) + device.maxWidth();
    const QSize size(int(std::ceil(width)) + 2,
                     int(std::ceil(std::max(device.height(), entry.height * m_scale))) + 2);
    QImage mask(size, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter painter(&mask);
        painter.setFont(entry.deviceFont);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(0, std::round(device.ascent())), text);
    }
    Sprite result;
    for (int y = 0; y < mask.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(mask.constScanLine(y));
        for (int x = 0; x < mask.width(); ++x) {
            if (qAlpha(line[x]) >= 128)
                result.pixels.emplace_back(x, y);
        }
    }
    return *m_sprites.insert(key, std::move(result));
}

float RasterSurface::longTextWidth(const QString &text, const FontEntry &entry) const
{
    double width = 0;
    for (const QChar c : text)
        width += entry.metrics.horizontalAdvance(c);
    return float(width);
}

void RasterSurface::printVisiblePart(const QString &text)
{
    const FontEntry &entry = currentFont();
    const double limit = SurfaceUnits;
    double x = CurrentX;
    qsizetype from = 0;
    // Skip what lies left of the surface, keep what lies on it.
    while (from < text.size()) {
        const double advance = entry.metrics.horizontalAdvance(text[from]);
        if (x + advance >= 0)
            break;
        x += advance;
        ++from;
    }
    qsizetype to = from;
    double end = x;
    while (to < text.size() && end < limit && to - from < LongText) {
        end += entry.metrics.horizontalAdvance(text[to]);
        ++to;
    }
    const float savedX = CurrentX;
    CurrentX = float(x);
    if (to > from)
        Print(text.mid(from, to - from));
    CurrentX = savedX;
}

void RasterSurface::Print(const QString &text)
{
    if (text.isEmpty() || !std::isfinite(CurrentX) || !std::isfinite(CurrentY))
        return;
    if (text.size() > LongText) {
        printVisiblePart(text);
        return;
    }
    const FontEntry &entry = currentFont();
    const int units = entry.font.pixelSize();
    const Sprite &s = sprite(text, units, entry);
    const uchar index = colourIndex(ForeColor);
    uchar *bits = pixelData();
    const float limit = 4 * SurfaceUnits;
    const int px = toPixel(std::clamp(CurrentX, -limit, limit));
    const int py = toPixel(std::clamp(CurrentY, -limit, limit));
    for (const QPoint &p : s.pixels)
        setPixel(bits, px + p.x(), py + p.y(), index);
}

float RasterSurface::TextWidth(const QString &text)
{
    FontEntry &entry = currentFont();
    auto it = entry.widths.constFind(text);
    if (it != entry.widths.cend())
        return *it;
    if (entry.widths.size() > 4096)
        entry.widths.clear();
    if (text.size() > LongText)
        return longTextWidth(text, entry);
    const float width = float(entry.metrics.horizontalAdvance(text));
    entry.widths.insert(text, width);
    return width;
}

float RasterSurface::TextHeight(const QString &)
{
    return float(currentFont().height);
}

void RasterSurface::Clear()
{
    // A fresh palette each time, so a long overlay-free session never fills it.
    m_palette.assign(1, qRgb(255, 255, 255));
    m_image.setColorTable(QList<QRgb>(m_palette.cbegin(), m_palette.cend()));
    m_lastColour = 0xFFFFFF;
    m_lastIndex = 0;
    m_bits = nullptr;
    std::memset(pixelData(), 0, std::size_t(m_stride) * std::size_t(m_side));
}
