#include "pipeline/bitmap.h"

#include "plot/bitmap_encoder.h"

Result<void> saveBitmap(const QImage &image, const QString &path, Durability durability)
{
    return saveFileSafely(encodeBitmap(image), path, durability);
}
