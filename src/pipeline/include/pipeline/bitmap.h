#pragma once

#include <QImage>
#include <QString>

#include "pipeline/safe_file.h"

// Writes a Windows bitmap through saveFileSafely: the complete file or none. On failure `error`
// says why.
bool saveBitmap(const QImage &image, const QString &path, QString *error,
                Durability durability = Durability::Synced);
