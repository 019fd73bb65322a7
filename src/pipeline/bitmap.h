#pragma once

#include <QImage>
#include <QString>

// Writes a Windows bitmap: the complete file or none, an existing file replaced only once the
// new one is whole. On failure `error` says why.
bool SaveBitmap(const QImage &image, const QString &path, QString *error);
