#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include "pipeline/safe_file.h"


// A Windows bitmap (BITMAPINFOHEADER, uncompressed): 4 or 8 bits a pixel with a palette when
// the image has at most 16 or 256 colours, else 24 bits.
QByteArray EncodeBitmap(const QImage &image);

// Writes a Windows bitmap through saveFileSafely: the complete file or none. On failure `error`
// says why.
bool SaveBitmap(const QImage &image, const QString &path, QString *error,
                Durability durability = Durability::Synced);
