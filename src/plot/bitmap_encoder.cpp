#include "plot/bitmap_encoder.h"

#include <cstring>
#include <functional>
#include <vector>

namespace {

void put16(char *p, quint16 v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}

void put32(char *p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

} // namespace

namespace {

QByteArray header(int width, int height, int bits, int paletteSize, int stride)
{
    const quint32 offset = 14 + 40 + quint32(paletteSize) * 4;
    const quint32 total = offset + quint32(stride) * quint32(height);
    QByteArray out(qsizetype(total), '\0');
    char *p = out.data();
    p[0] = 'B';
    p[1] = 'M';
    put32(p + 2, total);
    put32(p + 10, offset);
    put32(p + 14, 40);
    put32(p + 18, quint32(width));
    put32(p + 22, quint32(height)); // bottom-up rows
    put16(p + 26, 1);
    put16(p + 28, quint16(bits));
    put32(p + 30, 0); // BI_RGB, uncompressed
    put32(p + 34, quint32(stride) * quint32(height));
    put32(p + 38, 3780); // 96 dpi
    put32(p + 42, 3780);
    put32(p + 46, quint32(paletteSize));
    return out;
}

void putPalette(char *p, const QList<QRgb> &colours)
{
    for (int i = 0; i < colours.size(); ++i) {
        char *entry = p + 54 + 4 * i;
        entry[0] = char(qBlue(colours[i]));
        entry[1] = char(qGreen(colours[i]));
        entry[2] = char(qRed(colours[i]));
    }
}

// Rows of palette indices, bottom-up, at 4 or 8 bits a pixel.
void putIndices(char *pixels, int stride, int width, int height, int bits,
                const std::function<const uchar *(int)> &row)
{
    for (int y = 0; y < height; ++y) {
        uchar *__restrict out =
            reinterpret_cast<uchar *>(pixels) + qsizetype(height - 1 - y) * stride;
        const uchar *__restrict in = row(y);
        if (bits == 8) {
            std::memcpy(out, in, std::size_t(width));
            continue;
        }
        const int pairs = width / 2;
        for (int i = 0; i < pairs; ++i)
            out[i] = uchar(in[2 * i] << 4 | in[2 * i + 1]);
        if (width % 2)
            out[width / 2] = uchar(in[width - 1] << 4);
    }
}

// Every pixel's index in `colours` (white, the background, first, whether or not a pixel shows
// it); false when the image holds more than 256 colours.
bool indexColours(const QImage &image, QList<QRgb> &colours, std::vector<uchar> &indices)
{
    const int width = image.width(), height = image.height();
    constexpr QRgb White = 0xFFFFFFFFu;
    colours = {White};
    indices.assign(std::size_t(width) * std::size_t(height), 0);
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        uchar *out = indices.data() + std::size_t(y) * std::size_t(width);
        QRgb last = 0;
        int lastIndex = -1;
        for (int x = 0; x < width; ++x) {
            // Runs of background, four pixels at a time.
            if (x + 4 <= width) {
                quint64 a, b;
                std::memcpy(&a, line + x, 8);
                std::memcpy(&b, line + x + 2, 8);
                if ((a & b) == ~quint64(0)) {
                    std::memset(out + x, 0, 4);
                    x += 3;
                    continue;
                }
            }
            const QRgb c = line[x] | 0xFF000000u;
            if (c != last || lastIndex < 0) {
                last = c;
                lastIndex = int(colours.indexOf(c));
                if (lastIndex < 0) {
                    if (colours.size() == 256)
                        return false;
                    lastIndex = int(colours.size());
                    colours << c;
                }
            }
            out[x] = uchar(lastIndex);
        }
    }
    return true;
}

// Rows of blue, green, red, bottom-up, at 24 bits a pixel.
void putTrueColour(char *pixels, int stride, const QImage &image)
{
    const int width = image.width(), height = image.height();
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<uchar *>(pixels) + qsizetype(height - 1 - y) * stride;
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            row[3 * x] = uchar(qBlue(line[x]));
            row[3 * x + 1] = uchar(qGreen(line[x]));
            row[3 * x + 2] = uchar(qRed(line[x]));
        }
    }
}

} // namespace

QByteArray encodeBitmap(const QImage &source)
{
    if (source.format() == QImage::Format_Indexed8 && source.colorCount() > 0) {
        // The surface's own form: its palette and indices are written as they are.
        const QList<QRgb> colours = source.colorTable();
        const int bits = colours.size() <= 16 ? 4 : 8;
        const int paletteSize = bits == 4 ? 16 : 256;
        const int stride = ((source.width() * bits + 31) / 32) * 4;
        QByteArray out = header(source.width(), source.height(), bits, paletteSize, stride);
        putPalette(out.data(), colours);
        putIndices(out.data() + 54 + paletteSize * 4, stride, source.width(), source.height(), bits,
                   [&](int y) { return source.constScanLine(y); });
        return out;
    }

    const QImage image =
        source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
            ? source
            : source.convertToFormat(QImage::Format_RGB32);
    const int width = image.width(), height = image.height();

    // Maps hold a handful of colours: one pass gives every pixel its palette index, and 4 or 8
    // bits a pixel follow; an image of more than 256 colours is written with 24.
    QList<QRgb> colours;
    std::vector<uchar> indices;
    const bool indexed = indexColours(image, colours, indices);
    const int bits = !indexed ? 24 : colours.size() <= 16 ? 4 : 8;
    const int paletteSize = bits == 24 ? 0 : (bits == 4 ? 16 : 256);
    const int stride = ((width * bits + 31) / 32) * 4;
    QByteArray out = header(width, height, bits, paletteSize, stride);
    char *pixels = out.data() + 54 + paletteSize * 4;
    if (bits != 24) {
        putPalette(out.data(), colours);
        putIndices(pixels, stride, width, height, bits,
                   [&](int y) { return indices.data() + std::size_t(y) * std::size_t(width); });
        return out;
    }
    putTrueColour(pixels, stride, image);
    return out;
}
