#include "plot/raster_surface.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// A point is 20 logical units: the logical square is 4095 twips on the window.
constexpr double UnitsPerPoint = 20.0;
} // namespace

QRgb toRgb(std::int32_t colour)
{
    const auto c = std::uint32_t(colour);
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
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

RasterSurface::RasterSurface(int pixels)
    : m_image(pixels, pixels, QImage::Format_RGB32)
    , m_scale(double(pixels) / SurfaceUnits)
{
    m_image.fill(Qt::white);
}

int RasterSurface::toPixel(float logical) const
{
    return int(std::floor(double(logical) * m_scale));
}

void RasterSurface::setPixel(int px, int py, QRgb rgb)
{
    if (px < 0 || py < 0 || px >= m_image.width() || py >= m_image.height())
        return;
    reinterpret_cast<QRgb *>(m_image.scanLine(py))[px] = rgb;
}

void RasterSurface::PSet(float x, float y, std::int32_t colour)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    const QRgb rgb = toRgb(colour);
    const int width = std::max(1, DrawWidth);
    // Clamp before converting, so far-away points cannot overflow the pixel arithmetic.
    const float limit = 4 * SurfaceUnits;
    const int px = toPixel(std::clamp(x, -limit, limit)) - (width - 1) / 2;
    const int py = toPixel(std::clamp(y, -limit, limit)) - (width - 1) / 2;
    for (int dy = 0; dy < width; ++dy)
        for (int dx = 0; dx < width; ++dx)
            setPixel(px + dx, py + dy, rgb);
}

void RasterSurface::LineBox(float x1, float y1, float x2, float y2)
{
    const QRgb black = qRgb(0, 0, 0);
    const int left = toPixel(std::min(x1, x2)), right = toPixel(std::max(x1, x2));
    const int top = toPixel(std::min(y1, y2)), bottom = toPixel(std::max(y1, y2));
    for (int px = left; px <= right; ++px) {
        setPixel(px, top, black);
        setPixel(px, bottom, black);
    }
    for (int py = top; py <= bottom; ++py) {
        setPixel(left, py, black);
        setPixel(right, py, black);
    }
}

const RasterSurface::FontEntry &RasterSurface::currentFont()
{
    const int units = std::max(1, int(std::lround(double(FontSize) * UnitsPerPoint)));
    auto it = m_fonts.find(units);
    if (it == m_fonts.end()) {
        QFont font(fontFamily());
        font.setPixelSize(units);
        font.setHintingPreference(QFont::PreferNoHinting);
        const QFontMetricsF metrics(font);
        it = m_fonts.insert(units, FontEntry{font, metrics.ascent(), metrics.height()});
    }
    return *it;
}

void RasterSurface::Print(const QString &text)
{
    if (text.isEmpty())
        return;
    const FontEntry &entry = currentFont();
    QPainter painter(&m_image);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.scale(m_scale, m_scale);
    painter.setFont(entry.font);
    painter.setPen(QColor(toRgb(ForeColor)));
    painter.drawText(QPointF(CurrentX, CurrentY + entry.ascent), text);
}

float RasterSurface::TextWidth(const QString &text)
{
    return float(QFontMetricsF(currentFont().font).horizontalAdvance(text));
}

float RasterSurface::TextHeight(const QString &)
{
    return float(currentFont().height);
}

void RasterSurface::Clear()
{
    m_image.fill(Qt::white);
}
