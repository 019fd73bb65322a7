#pragma once

// The drawing surface the map is drawn on: a 4095 x 4095 logical square, origin at the top-left
// corner, y downward, whatever its pixel size. Colours are 0x00BBGGRR.

#include <QString>

#include <cstdint>
#include <functional>

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

    float CurrentX = 0;
    float CurrentY = 0;
    float FontSize = 6.75f; // points
    std::int32_t ForeColor = 0xFF0000;
    int DrawWidth = 1;
};
