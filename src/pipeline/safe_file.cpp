#include "pipeline/safe_file.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The scratch names of saves under way, for the signal handler: fixed storage, since a
// handler may not allocate.
struct ScratchSlot
{
    std::atomic<bool> taken{false};
    std::atomic<bool> named{false};
    char path[4096] = {};
};
std::array<ScratchSlot, 16> scratchSlots;

ScratchSlot *takeSlot()
{
    for (ScratchSlot &slot : scratchSlots) {
        bool expected = false;
        if (slot.taken.compare_exchange_strong(expected, true))
            return &slot;
    }
    return nullptr;
}

void releaseSlot(ScratchSlot *slot)
{
    if (!slot)
        return;
    slot->named = false;
    slot->taken = false;
}

void onSignal(int signal)
{
    for (ScratchSlot &slot : scratchSlots) {
        if (slot.named)
            ::unlink(slot.path);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Unlinks the scratch file and frees its slot when the save does not complete.
struct Scratch
{
    ScratchSlot *slot = nullptr;
    QByteArray name;
    int fd = -1;
    bool keep = false;
    ~Scratch()
    {
        if (fd >= 0)
            ::close(fd);
        if (!keep && !name.isEmpty())
            ::unlink(name.constData());
        releaseSlot(slot);
    }
};

} // namespace

Failure systemFailure(const QString &path, int error)
{
    return Failure{Failure::Kind::System, path, QString::fromLocal8Bit(std::strerror(error)),
                   error};
}

std::optional<Failure> refuseOutputPath(const QString &path)
{
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt; // missing: it will be created
    if (S_ISREG(st.st_mode))
        return std::nullopt;
    // What it is instead, in words the edges know.
    const char *what = S_ISLNK(st.st_mode)                          ? "symlink"
                       : S_ISDIR(st.st_mode)                        ? "folder"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "device"
                       : S_ISFIFO(st.st_mode)                       ? "fifo"
                                                                    : "special";
    return Failure{Failure::Kind::NotRegularOutput, path, QString::fromLatin1(what), 0};
}

Result<void> saveFileSafely(const QByteArray &bytes, const QString &path, Durability durability)
{
    if (const auto refusal = refuseOutputPath(path))
        return *refusal;
    const QByteArray target = QFile::encodeName(path);
    // A unique scratch name beside the target: no earlier leftover can stand in the way.
    Scratch scratch;
    scratch.slot = takeSlot();
    QByteArray name = target + ".tmp-XXXXXX";
    if (scratch.slot && std::size_t(name.size()) < sizeof scratch.slot->path) {
        std::memcpy(scratch.slot->path, name.constData(), std::size_t(name.size()) + 1);
        scratch.slot->named = true;
        scratch.fd = ::mkostemp(scratch.slot->path, O_CLOEXEC);
        name = QByteArray(scratch.slot->path);
    } else {
        scratch.fd = ::mkostemp(name.data(), O_CLOEXEC);
    }
    if (scratch.fd < 0) {
        const int error = errno;
        if (scratch.slot)
            scratch.slot->named = false;
        return systemFailure(path, error);
    }
    scratch.name = name;

    // The mode a new file gets from the user's umask, or the one of the file it replaces.
    struct stat existing = {};
    mode_t mode = 0;
    if (::stat(target.constData(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        // Read once: umask can only be read by setting it, which no other thread may see.
        static const mode_t mask = [] {
            const mode_t m = ::umask(0);
            ::umask(m);
            return m;
        }();
        mode = 0666 & ~mask;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(scratch.fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return systemFailure(path, n < 0 ? errno : ENOSPC);
        done += n;
    }
    if (::fchmod(scratch.fd, mode) != 0 ||
        (durability == Durability::Synced && ::fsync(scratch.fd) != 0))
        return systemFailure(path, errno);
    const int fd = scratch.fd;
    scratch.fd = -1;
    if (::close(fd) != 0)
        return systemFailure(path, errno);
    // Checked again just before the rename: the name may have become something else.
    if (const auto refusal = refuseOutputPath(path))
        return *refusal;
    if (::rename(name.constData(), target.constData()) != 0)
        return systemFailure(path, errno);
    scratch.keep = true;
    if (durability == Durability::Synced) {
        // The rename itself reaches the disk with the folder.
        const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
        const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return {};
}

Result<void> syncFolder(const QString &folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        return systemFailure(folder, error);
    }
    ::close(fd);
    return {};
}

void installScratchCleanup()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
