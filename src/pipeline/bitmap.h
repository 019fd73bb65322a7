#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <memory>

// A Windows bitmap (BITMAPINFOHEADER, uncompressed): 4 or 8 bits a pixel with a palette when
// the image has at most 16 or 256 colours, else 24 bits.
QByteArray EncodeBitmap(const QImage &image);

// How a saved file reaches the disk. Synced: on the disk before SaveBitmap returns. Deferred:
// still complete-or-absent for every reader (written aside, then renamed over), with the disk
// flush left to one SyncFolder call at the end of a batch.
enum class Durability { Synced, Deferred };

// Writes a Windows bitmap: the complete file or none, an existing file replaced only once the
// new one is whole. On failure `error` says why.
bool SaveBitmap(const QImage &image, const QString &path, QString *error,
                Durability durability = Durability::Synced);

// Flushes everything written to the file system that holds `folder`.
bool SyncFolder(const QString &folder, QString *error);

// Saves bitmaps on a thread of its own, in the order given, so that drawing the next map and
// writing the last one overlap. At most a few pictures wait; submit() blocks beyond that.
class BitmapWriter
{
public:
    struct Failure
    {
        QString path;
        QString reason;
    };

    explicit BitmapWriter(Durability durability);
    ~BitmapWriter();
    BitmapWriter(const BitmapWriter &) = delete;
    BitmapWriter &operator=(const BitmapWriter &) = delete;

    void submit(const QImage &image, const QString &path);
    // Waits until everything submitted is written; returns what could not be.
    QList<Failure> finish();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
