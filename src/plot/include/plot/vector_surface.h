#pragma once

// The surface as a vector drawing on any paint device (an SVG generator, a PDF writer): the
// same calls the raster surface takes, kept as dots, lines, boxes and texts, not pixels. The
// 4095-unit square fills the device's page; a dot (and a line's width) is as large as a pixel
// of the page shown on a screen, `screenPixels` on a side, so the two look alike.

#include "plot/surface.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <memory>

class RasterSurface;

class QPaintDevice;

class VectorSurface : public Surface
{
public:
    VectorSurface(QPaintDevice *device, double screenPixels);
    ~VectorSurface() override;

    void PSet(float x, float y, std::int32_t colour) override;
    void LineBox(float x1, float y1, float x2, float y2) override;
    void Print(const QString &text) override;
    bool KeepsPaths() const override { return true; }
    // A tenth of a screen pixel at four times the size.
    double PathTolerance() const override { return m_dot / 40; }
    void Path(const std::vector<QPointF> &points, bool closed, std::int32_t colour) override;
    void PrintTurned(const QString &text, double x, double y, double degrees) override;
    float TextWidth(const QString &text) override;
    float TextHeight(const QString &text) override;
    void Clear() override;
    // As an image of cells a quarter of a screen pixel wide over the rectangle.
    void FillCells(float left, float top, float width, float height,
                   const std::function<bool(double x, double y)> &inside,
                   std::int32_t colour) override;

    // Ends the drawing; false when the device could not be written to.
    bool finish();

private:
    QFont font() const;
    void flushDots();
    QPainterPath m_dots; // dots set and not yet drawn, all of one colour
    std::int32_t m_dotColour = 0;
    QPainter m_painter;
    double m_dot;                             // logical units a dot covers
    std::unique_ptr<RasterSurface> m_metrics; // the raster surface's text extents
};
