#pragma once

// The surface over an 8-bit indexed QImage: white background, everything retained until cleared.
// The logical square maps onto the image's pixels; points, boxes and texts write palette indices
// straight into the scanlines (a map has a handful of colours), and saving needs no conversion.

#include "plot/surface.h"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>

#include <cmath>
#include <vector>

class RasterSurface : public Surface
{
public:
    explicit RasterSurface(int pixels);

    void PSet(float x, float y, std::int32_t colour) override;
    void LineBox(float x1, float y1, float x2, float y2) override;
    void Print(const QString &text) override;
    float TextWidth(const QString &text) override;
    float TextHeight(const QString &text) override;
    void Clear() override;
    void FillCells(float left, float top, float width, float height,
                   const std::function<bool(double x, double y)> &inside,
                   std::int32_t colour) override;

    // The retained picture, for showing and saving. A copy taken of it keeps what it shows:
    // the next drawing detaches the surface's pixels first.
    const QImage &Image() const
    {
        m_handedOut = true;
        return m_image;
    }

    // The pixel that holds a logical coordinate.
    int toPixel(float logical) const { return int(std::floor(double(logical) * m_scale)); }

    // The face that stands for 宋体 on this machine.
    static QString fontFamily();
    // The faces of the map's texts: a hinted sans-serif face for digits and Latin letters,
    // legible at a few pixels, then the Song-style face for Chinese.
    static QStringList mapFontFamilies();

private:
    struct FontEntry
    {
        QFont font; // in logical units: what texts measure
        QFontMetricsF metrics;
        double ascent;
        double height;
        QFont deviceFont; // the same at this surface's pixels, hinted: what texts look like
        QHash<QString, float> widths; // shaping a text costs more than tracing a level
    };
    // A text far wider than the surface (a title of megabytes): measured glyph by glyph and
    // drawn only where it can be seen, since shaping or rasterising it whole costs gigabytes.
    static constexpr qsizetype LongText = 512;
    float longTextWidth(const QString &text, const FontEntry &entry) const;
    void printVisiblePart(const QString &text);
    // A text as drawn at this surface's scale: the pixels it sets, from its top-left pixel.
    struct Sprite
    {
        std::vector<QPoint> pixels;
    };
    const Sprite &sprite(const QString &text, int units, const FontEntry &font);
    FontEntry &currentFont();
    // Where the pixels are; a copy handed out by Image() is never drawn on.
    uchar *pixelData()
    {
        if (!m_bits || m_handedOut) {
            m_bits = m_image.bits();
            m_handedOut = false;
        }
        return m_bits;
    }
    void setPixel(uchar *bits, int px, int py, uchar index)
    {
        if (px >= 0 && py >= 0 && px < m_side && py < m_side)
            bits[qsizetype(py) * m_stride + px] = index;
    }
    // The palette index of a colour, added when new; a full palette gives the nearest colour.
    uchar colourIndex(std::int32_t colour)
    {
        return colour == m_lastColour ? m_lastIndex : newColourIndex(colour);
    }
    uchar newColourIndex(std::int32_t colour);

    QImage m_image;
    int m_side;
    qsizetype m_stride; // bytes a line
    uchar *m_bits = nullptr;
    mutable bool m_handedOut = false;
    std::vector<QRgb> m_palette;
    std::int32_t m_lastColour = -1;
    uchar m_lastIndex = 0;
    double m_scale;
    QHash<int, FontEntry> m_fonts;    // by size in logical units
    QHash<QString, Sprite> m_sprites; // by size and text
};

// 0x00BBGGRR as a QRgb.
QRgb toRgb(std::int32_t colour);
