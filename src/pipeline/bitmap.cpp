#include "pipeline/bitmap.h"

#include "plot/bitmap_encoder.h"

bool saveBitmap(const QImage &image, const QString &path, QString *error, Durability durability)
{
    return saveFileSafely(encodeBitmap(image), path, durability, error);
}
