#pragma once

#include <QImage>
#include <QString>

#include "pipeline/safe_file.h"

// Writes a Windows bitmap through saveFileSafely: the complete file or none.
Result<void> saveBitmap(const QImage &image, const QString &path,
                        Durability durability = Durability::Synced);
