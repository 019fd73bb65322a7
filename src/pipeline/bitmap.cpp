#include "pipeline/bitmap.h"

#include <QFile>
#include <QSaveFile>

#include <QAtomicInteger>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

void put16(char *p, quint16 v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}

void put32(char *p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

} // namespace

namespace {

QByteArray header(int width, int height, int bits, int paletteSize, int stride)
{
    const quint32 offset = 14 + 40 + quint32(paletteSize) * 4;
    const quint32 total = offset + quint32(stride) * quint32(height);
    QByteArray out(qsizetype(total), '\0');
    char *p = out.data();
    p[0] = 'B';
    p[1] = 'M';
    put32(p + 2, total);
    put32(p + 10, offset);
    put32(p + 14, 40);
    put32(p + 18, quint32(width));
    put32(p + 22, quint32(height)); // bottom-up rows
    put16(p + 26, 1);
    put16(p + 28, quint16(bits));
    put32(p + 30, 0); // BI_RGB, uncompressed
    put32(p + 34, quint32(stride) * quint32(height));
    put32(p + 38, 3780); // 96 dpi
    put32(p + 42, 3780);
    put32(p + 46, quint32(paletteSize));
    return out;
}

void putPalette(char *p, const QList<QRgb> &colours)
{
    for (int i = 0; i < colours.size(); ++i) {
        char *entry = p + 54 + 4 * i;
        entry[0] = char(qBlue(colours[i]));
        entry[1] = char(qGreen(colours[i]));
        entry[2] = char(qRed(colours[i]));
    }
}

// Rows of palette indices, bottom-up, at 4 or 8 bits a pixel.
void putIndices(char *pixels, int stride, int width, int height, int bits,
                const std::function<const uchar *(int)> &row)
{
    for (int y = 0; y < height; ++y) {
        uchar *__restrict out =
            reinterpret_cast<uchar *>(pixels) + qsizetype(height - 1 - y) * stride;
        const uchar *__restrict in = row(y);
        if (bits == 8) {
            std::memcpy(out, in, std::size_t(width));
            continue;
        }
        const int pairs = width / 2;
        for (int i = 0; i < pairs; ++i)
            out[i] = uchar(in[2 * i] << 4 | in[2 * i + 1]);
        if (width % 2)
            out[width / 2] = uchar(in[width - 1] << 4);
    }
}

} // namespace

QByteArray EncodeBitmap(const QImage &source)
{
    if (source.format() == QImage::Format_Indexed8 && source.colorCount() > 0) {
        // The surface's own form: its palette and indices are written as they are.
        const QList<QRgb> colours = source.colorTable();
        const int bits = colours.size() <= 16 ? 4 : 8;
        const int paletteSize = bits == 4 ? 16 : 256;
        const int stride = ((source.width() * bits + 31) / 32) * 4;
        QByteArray out = header(source.width(), source.height(), bits, paletteSize, stride);
        putPalette(out.data(), colours);
        putIndices(out.data() + 54 + paletteSize * 4, stride, source.width(), source.height(), bits,
                   [&](int y) { return source.constScanLine(y); });
        return out;
    }

    const QImage image =
        source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
            ? source
            : source.convertToFormat(QImage::Format_RGB32);
    const int width = image.width(), height = image.height();

    // Maps hold a handful of colours: one pass gives every pixel its palette index, and 4 or 8
    // bits a pixel follow; an image of more than 256 colours is written with 24.
    // White, the background, is colour 0 whether or not a pixel shows it.
    constexpr QRgb White = 0xFFFFFFFFu;
    QList<QRgb> colours{White};
    std::vector<uchar> indices(std::size_t(width) * std::size_t(height));
    bool indexed = true;
    for (int y = 0; y < height && indexed; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        uchar *out = indices.data() + std::size_t(y) * std::size_t(width);
        QRgb last = 0;
        int lastIndex = -1;
        for (int x = 0; x < width; ++x) {
            // Runs of background, four pixels at a time.
            if (x + 4 <= width) {
                quint64 a, b;
                std::memcpy(&a, line + x, 8);
                std::memcpy(&b, line + x + 2, 8);
                if ((a & b) == ~quint64(0)) {
                    std::memset(out + x, 0, 4);
                    x += 3;
                    continue;
                }
            }
            const QRgb c = line[x] | 0xFF000000u;
            if (c != last || lastIndex < 0) {
                last = c;
                lastIndex = int(colours.indexOf(c));
                if (lastIndex < 0) {
                    if (colours.size() == 256) {
                        indexed = false;
                        break;
                    }
                    lastIndex = int(colours.size());
                    colours << c;
                }
            }
            out[x] = uchar(lastIndex);
        }
    }
    const int bits = !indexed ? 24 : colours.size() <= 16 ? 4 : 8;
    const int paletteSize = bits == 24 ? 0 : (bits == 4 ? 16 : 256);
    const int stride = ((width * bits + 31) / 32) * 4;
    QByteArray out = header(width, height, bits, paletteSize, stride);
    char *pixels = out.data() + 54 + paletteSize * 4;
    if (bits != 24) {
        putPalette(out.data(), colours);
        putIndices(pixels, stride, width, height, bits,
                   [&](int y) { return indices.data() + std::size_t(y) * std::size_t(width); });
        return out;
    }
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<uchar *>(pixels) + qsizetype(height - 1 - y) * stride;
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            row[3 * x] = uchar(qBlue(line[x]));
            row[3 * x + 1] = uchar(qGreen(line[x]));
            row[3 * x + 2] = uchar(qRed(line[x]));
        }
    }
    return out;
}

bool SaveBitmap(const QImage &image, const QString &path, QString *error, Durability durability)
{
    const QByteArray bytes = EncodeBitmap(image);
    if (durability == Durability::Synced) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            *error = file.errorString();
            return false;
        }
        if (file.write(bytes) != bytes.size()) {
            *error = file.errorString();
            file.cancelWriting();
            return false;
        }
        if (!file.commit()) {
            *error = file.errorString();
            return false;
        }
        return true;
    }
    // Written beside the target under a name of our own, then renamed over it in one step.
    static QAtomicInteger<quint32> serial;
    const QByteArray target = QFile::encodeName(path);
    const QByteArray aside = target + ".tmp" + QByteArray::number(::getpid()) + '-' +
                             QByteArray::number(serial.fetchAndAddRelaxed(1));
    const int fd = ::open(aside.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC));
            ::close(fd);
            ::unlink(aside.constData());
            return false;
        }
        done += n;
    }
    if (::close(fd) != 0 || ::rename(aside.constData(), target.constData()) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::unlink(aside.constData());
        return false;
    }
    return true;
}

struct BitmapWriter::Private
{
    Durability durability;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<QImage, QString>> queue;
    QList<Failure> failures;
    bool closing = false;
    bool busy = false;
    std::thread thread;

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return closing || !queue.empty(); });
            if (queue.empty())
                return;
            auto [image, path] = std::move(queue.front());
            queue.pop_front();
            busy = true;
            lock.unlock();
            changed.notify_all();
            QString error;
            const bool ok = SaveBitmap(image, path, &error, durability);
            lock.lock();
            busy = false;
            if (!ok)
                failures.append({path, error});
            changed.notify_all();
        }
    }
};

BitmapWriter::BitmapWriter(Durability durability)
    : d(std::make_unique<Private>())
{
    d->durability = durability;
    d->thread = std::thread([this] { d->run(); });
}

BitmapWriter::~BitmapWriter()
{
    finish();
}

void BitmapWriter::submit(const QImage &image, const QString &path)
{
    constexpr std::size_t MaxWaiting = 4;
    QImage copy = image;
    copy.detach(); // the caller draws on in the meantime
    std::unique_lock lock(d->mutex);
    d->changed.wait(lock, [this] { return d->queue.size() < MaxWaiting; });
    d->queue.emplace_back(std::move(copy), path);
    lock.unlock();
    d->changed.notify_all();
}

QList<BitmapWriter::Failure> BitmapWriter::finish()
{
    {
        std::lock_guard lock(d->mutex);
        d->closing = true;
    }
    d->changed.notify_all();
    if (d->thread.joinable())
        d->thread.join();
    return std::exchange(d->failures, {});
}

bool SyncFolder(const QString &folder, QString *error)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}
