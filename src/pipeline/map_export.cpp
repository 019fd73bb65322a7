#include "pipeline/map_export.h"

#include "plot/bitmap_encoder.h"
#include "plot/vector_surface.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <QXmlStreamReader>

#include <cmath>

std::optional<MapFormat> mapFormatNamed(const QString &name)
{
    const QString n = name.toLower();
    if (n == QLatin1String("bmp"))
        return MapFormat::Bmp;
    if (n == QLatin1String("png"))
        return MapFormat::Png;
    if (n == QLatin1String("svg"))
        return MapFormat::Svg;
    if (n == QLatin1String("pdf"))
        return MapFormat::Pdf;
    return std::nullopt;
}

QString mapExtension(MapFormat format)
{
    switch (format) {
    case MapFormat::Bmp:
        return QStringLiteral("BMP");
    case MapFormat::Png:
        return QStringLiteral("png");
    case MapFormat::Svg:
        return QStringLiteral("svg");
    case MapFormat::Pdf:
        return QStringLiteral("pdf");
    }
    return {};
}

bool isVectorFormat(MapFormat format)
{
    return format == MapFormat::Svg || format == MapFormat::Pdf;
}

Result<QByteArray> encodeMap(MapFormat format, const QImage &raster, const MapDrawing &draw,
                             const MapSize &size)
{
    const int points = size.pagePoints();
    // The page as a screen shows it: the vector drawing's dots and lines.
    const double screenPixels = points * double(ScreenDpi) / 72;
    if (format == MapFormat::Bmp)
        return encodeBitmap(raster);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (format == MapFormat::Png) {
        QImageWriter writer(&buffer, "png");
        QImage image = raster;
        const int perMetre = int(std::lround(size.dpi / 0.0254));
        image.setDotsPerMeterX(perMetre);
        image.setDotsPerMeterY(perMetre);
        if (!writer.write(image))
            return Failure{Failure::Kind::System, {}, writer.errorString(), 0};
        return buffer.data();
    }
    bool drawn = false;
    if (format == MapFormat::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(points, points));
        svg.setResolution(72); // the width and height in millimetres from the points
        svg.setViewBox(QRect(0, 0, points, points));
        svg.setTitle(QStringLiteral("Tesmora"));
        VectorSurface surface(&svg, screenPixels);
        draw(surface);
        drawn = surface.finish();
    } else {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(QStringLiteral("Tesmora"));
        pdf.setResolution(size.dpi);
        pdf.setPageSize(QPageSize(QSizeF(points, points), QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        VectorSurface surface(&pdf, screenPixels);
        draw(surface);
        drawn = surface.finish();
    }
    if (!drawn)
        return Failure{
            Failure::Kind::System, {}, QStringLiteral("the drawing could not be finished"), 0};
    if (format == MapFormat::Svg) {
        // What a reader of the file will parse, parsed once here: never a broken file.
        QXmlStreamReader xml(buffer.data());
        while (!xml.atEnd())
            xml.readNext();
        if (xml.hasError())
            return Failure{
                Failure::Kind::System,
                {},
                QStringLiteral("the SVG drawing is not well-formed: %1").arg(xml.errorString()),
                0};
    }
    return buffer.data();
}
