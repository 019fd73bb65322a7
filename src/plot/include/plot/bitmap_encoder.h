#pragma once

#include <QByteArray>
#include <QImage>

// A Windows bitmap (BITMAPINFOHEADER, uncompressed): 4 or 8 bits a pixel with a palette when
// the image has at most 16 or 256 colours, else 24 bits.
QByteArray encodeBitmap(const QImage &image);
