#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

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
