#pragma once

// The drawing surface the map is drawn on: a 4095 x 4095 logical square, origin at the top-left
// corner, y downward, whatever its pixel size. Colours are 0x00BBGGRR.

#include <QPointF>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

inline constexpr int SurfaceUnits = 4095;

class Surface
{
public:
    virtual ~Surface();

    // One point of DrawWidth pixels.
    virtual void PSet(float x, float y, std::int32_t colour) = 0;
    // The outline of an axis-parallel rectangle, black, one pixel wide.
    virtual void LineBox(float x1, float y1, float x2, float y2) = 0;
    // Text with its top-left corner at (CurrentX, CurrentY) in the current size and colour.
    virtual void Print(const QString &text) = 0;
    // Extent of a text in logical units at the current font size.
    virtual float TextWidth(const QString &text) = 0;
    virtual float TextHeight(const QString &text) = 0;
    // Clears everything to the background (the empty picture).
    virtual void Clear() = 0;
    // Paints in `colour` each pixel of the rectangle whose centre (in logical units) `inside`
    // takes, under whatever is drawn after it.
    virtual void FillCells(float left, float top, float width, float height,
                           const std::function<bool(double x, double y)> &inside,
                           std::int32_t colour) = 0;

    // Whether the surface keeps curves and turned texts as such (a vector drawing): the contour
    // layer then hands it paths instead of dots. A bitmap keeps the designed dots.
    virtual bool KeepsPaths() const { return false; }
    // How far, in logical units, a line it keeps may stray from the true curve.
    virtual double PathTolerance() const { return 1; }
    // A line through `points` in `colour`, DrawWidth dots wide; `closed` joins the last point
    // to the first.
    virtual void Path(const std::vector<QPointF> &points, bool closed, std::int32_t colour)
    {
        (void)points;
        (void)closed;
        (void)colour;
    }
    // Text in the current size and colour centred on (x, y), its baseline turned `degrees`
    // clockwise, on an opaque white ground of its own extent.
    virtual void PrintTurned(const QString &text, double x, double y, double degrees)
    {
        (void)text;
        (void)x;
        (void)y;
        (void)degrees;
    }

    // On a surface that keeps paths: the corners of the level labels turned along their curves
    // since it was last cleared, so the maps overlaid after them keep their labels clear.
    std::vector<std::vector<QPointF>> TurnedLabels;

    float CurrentX = 0;
    float CurrentY = 0;
    float FontSize = 6.75f; // points
    std::int32_t ForeColor = 0xFF0000;
    int DrawWidth = 1;
};
