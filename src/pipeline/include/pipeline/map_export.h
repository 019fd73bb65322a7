#pragma once

// Maps in the formats reports need: the Windows bitmap the save button writes, PNG through Qt's
// image writer, and SVG and PDF as vector drawings of the same map, drawn again by the same
// layers on a vector surface. Every file is written complete or not at all.

#include "core/result.h"
#include "plot/surface.h"

#include <QImage>
#include <QString>

#include <functional>
#include <optional>

enum class MapFormat { Bmp, Png, Svg, Pdf };

// "bmp", "png", "svg", "pdf" (any case), or nothing.
std::optional<MapFormat> mapFormatNamed(const QString &name);
// The file name's extension: "BMP" as the save button has always written it, else lower case.
QString mapExtension(MapFormat format);
bool isVectorFormat(MapFormat format);

// Draws the map onto a surface; for vector formats it is called with a vector surface.
using MapDrawing = std::function<void(Surface &)>;

// Encodes a map: a bitmap format from `raster`, a vector format by running `draw` on a vector
// surface whose dots match a bitmap of `pixels` on a side.
Result<QByteArray> encodeMap(MapFormat format, const QImage &raster, const MapDrawing &draw,
                             int pixels);
