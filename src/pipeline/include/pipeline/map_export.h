#pragma once

// Maps in the formats reports need: the Windows bitmap the save button writes, PNG through Qt's
// image writer, and SVG and PDF as vector drawings of the same map, drawn again by the same
// layers on a vector surface. Every file is written complete or not at all.

#include "core/result.h"
#include "plot/surface.h"

#include <QImage>
#include <QString>

#include <algorithm>
#include <functional>
#include <optional>

enum class MapFormat { Bmp, Png, Svg, Pdf };

// The resolution of a screen, and the limits of a map's side in pixels.
inline constexpr int ScreenDpi = 96;
inline constexpr int MapPixelsMin = 16, MapPixelsMax = 16384;
inline constexpr int MapDpiMin = 36, MapDpiMax = 4800;

// The size of an exported map: its side in pixels, and the resolution that makes it a side on
// paper. A vector drawing is that side on paper (to the nearest point) in every format; a
// bitmap is the pixels, and a PNG says the resolution.
struct MapSize
{
    int pixels = 0;
    int dpi = ScreenDpi;
    double millimetres() const { return pixels * 25.4 / dpi; }
    // A vector drawing's side: whole points, as a PDF page is, so an SVG and a PDF of one map
    // are the same size on paper.
    int pagePoints() const { return std::max(1, int(millimetres() / 25.4 * 72 + 0.5)); }
    // The pixels of a side on paper at a resolution, nearest whole pixel.
    static MapSize ofWidth(double millimetres, int dpi)
    {
        return {int(millimetres / 25.4 * dpi + 0.5), dpi};
    }
    bool operator==(const MapSize &) const = default;
};

// "bmp", "png", "svg", "pdf" (any case), or nothing.
std::optional<MapFormat> mapFormatNamed(const QString &name);
// The file name's extension: "BMP" as the save button has always written it, else lower case.
QString mapExtension(MapFormat format);
bool isVectorFormat(MapFormat format);

// Draws the map onto a surface; for vector formats it is called with a vector surface.
using MapDrawing = std::function<void(Surface &)>;

// Encodes a map: a bitmap format from `raster` (a PNG carrying the size's resolution), a vector
// format by running `draw` on a vector surface of the size's side on paper.
Result<QByteArray> encodeMap(MapFormat format, const QImage &raster, const MapDrawing &draw,
                             const MapSize &size);
