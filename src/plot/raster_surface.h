#pragma once

// The surface over a QImage: white background, everything retained until cleared. The logical
// square maps onto the image's pixels; point and box drawing write the scanlines directly.

#include "plot/surface.h"

#include <QFont>
#include <QHash>
#include <QImage>

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

    // The retained picture, for showing and saving.
    const QImage &Image() const { return m_image; }
    int pixels() const { return m_image.width(); }

    // The pixel that holds a logical coordinate.
    int toPixel(float logical) const;

    // The face that stands for 宋体 on this machine.
    static QString fontFamily();

private:
    struct FontEntry
    {
        QFont font;
        double ascent;
        double height;
    };
    const FontEntry &currentFont();
    void setPixel(int px, int py, QRgb rgb);

    QImage m_image;
    double m_scale;
    QHash<int, FontEntry> m_fonts; // by size in logical units
};

// 0x00BBGGRR as a QRgb.
QRgb toRgb(std::int32_t colour);
