#include "pipeline/batch_writer.h"

#include "pipeline/bitmap.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

struct BitmapWriter::Private
{
    Durability durability;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<QImage, QString>> queue;
    QList<Unwritten> failures;
    bool closing = false;
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
            lock.unlock();
            changed.notify_all();
            const Result<void> saved = saveBitmap(image, path, durability);
            lock.lock();
            if (!saved)
                failures.append({path, saved.failure()});
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

QList<BitmapWriter::Unwritten> BitmapWriter::finish()
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
