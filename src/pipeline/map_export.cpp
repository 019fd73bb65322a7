#include "pipeline/map_export.h"

#include "plot/bitmap_encoder.h"
#include "plot/vector_surface.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <QXmlStreamReader>

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
                             int pixels)
{
    if (format == MapFormat::Bmp)
        return encodeBitmap(raster);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (format == MapFormat::Png) {
        QImageWriter writer(&buffer, "png");
        if (!writer.write(raster))
            return Failure{Failure::Kind::System, {}, writer.errorString(), 0};
        return buffer.data();
    }
    bool drawn = false;
    if (format == MapFormat::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(pixels, pixels));
        svg.setViewBox(QRect(0, 0, pixels, pixels));
        svg.setTitle(QStringLiteral("Tesmora"));
        VectorSurface surface(&svg, pixels);
        draw(surface);
        drawn = surface.finish();
    } else {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(QStringLiteral("Tesmora"));
        pdf.setResolution(96);
        // A square page the size of the bitmap at 96 dpi, without margins.
        pdf.setPageSize(
            QPageSize(QSizeF(pixels * 72.0 / 96, pixels * 72.0 / 96), QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        VectorSurface surface(&pdf, pixels);
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
