#pragma once

#include "pipeline/safe_file.h"

#include <QImage>
#include <QList>
#include <QString>

#include <memory>

// Saves bitmaps on a thread of its own, in the order given, so that drawing the next map and
// writing the last one overlap. At most a few pictures wait; submit() blocks beyond that.
class BitmapWriter
{
public:
    struct Unwritten
    {
        QString path;
        Failure failure;
    };

    explicit BitmapWriter(Durability durability);
    ~BitmapWriter();
    BitmapWriter(const BitmapWriter &) = delete;
    BitmapWriter &operator=(const BitmapWriter &) = delete;

    void submit(const QImage &image, const QString &path);
    // Waits until everything submitted is written; returns what could not be.
    QList<Unwritten> finish();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
