#include "core/scratch_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Short, so that a scratch name fits wherever its target's name does.
constexpr char Prefix[] = ".tesmora-";
constexpr char Pattern[] = ".tesmora-XXXXXX";
// A leftover younger than this may be a file another process has just created and not yet
// locked; it is left for a later sweep.
constexpr int LeftoverAgeSeconds = 60;

// The scratch names under way, for the signal handler: fixed storage, since a handler may
// not allocate.
struct ScratchSlot
{
    std::atomic<bool> taken{false};
    std::atomic<bool> named{false};
    char path[4096] = {};
};
std::array<ScratchSlot, 32> scratchSlots;

int takeSlot(const QByteArray &name)
{
    if (std::size_t(name.size()) >= sizeof scratchSlots[0].path)
        return -1;
    for (std::size_t i = 0; i < scratchSlots.size(); ++i) {
        bool expected = false;
        if (scratchSlots[i].taken.compare_exchange_strong(expected, true)) {
            std::memcpy(scratchSlots[i].path, name.constData(), std::size_t(name.size()) + 1);
            scratchSlots[i].named = true;
            return int(i);
        }
    }
    return -1; // still removed on failure and at destruction; only a signal would miss it
}

void releaseSlot(int slot)
{
    if (slot < 0)
        return;
    scratchSlots[std::size_t(slot)].named = false;
    scratchSlots[std::size_t(slot)].taken = false;
}

// A database written in a scratch file has a journal beside it while a transaction is open.
constexpr char Companions[][9] = {"-journal", "-wal", "-shm"};

void unlinkWithCompanions(const char *path)
{
    ::unlink(path);
    char companion[sizeof ScratchSlot::path + sizeof Companions[0]];
    const std::size_t n = std::strlen(path);
    if (n >= sizeof ScratchSlot::path)
        return;
    for (const char *suffix : Companions) {
        std::memcpy(companion, path, n);
        std::memcpy(companion + n, suffix, std::strlen(suffix) + 1);
        ::unlink(companion);
    }
}

void onSignal(int signal)
{
    for (ScratchSlot &slot : scratchSlots) {
        if (slot.named)
            unlinkWithCompanions(slot.path);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

mode_t newFileMode()
{
    // Read once: umask can only be read by setting it, which no other thread may see.
    static const mode_t mask = [] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return 0666 & ~mask;
}

// Removes, once per folder and process, the scratch files of processes that ended without
// removing theirs: a live process holds a lock on each of its own.
void sweepLeftovers(const QByteArray &folder)
{
    static std::mutex mutex;
    static std::set<QByteArray> swept;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!swept.insert(folder).second)
            return;
    }
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const time_t now = ::time(nullptr);
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strlen(entry->d_name) != sizeof Pattern - 1 ||
            std::strncmp(entry->d_name, Prefix, sizeof Prefix - 1) != 0)
            continue;
        const QByteArray path = folder + '/' + entry->d_name;
        struct stat st = {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::getuid() || now - st.st_mtime < LeftoverAgeSeconds)
            continue;
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
    ::closedir(dir);
}

const char *whatItIs(mode_t mode)
{
    return S_ISLNK(mode)                    ? "symlink"
           : S_ISDIR(mode)                  ? "folder"
           : S_ISCHR(mode) || S_ISBLK(mode) ? "device"
           : S_ISFIFO(mode)                 ? "fifo"
                                            : "special";
}

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
    return Failure{Failure::Kind::NotRegularOutput, path, QString::fromLatin1(whatItIs(st.st_mode)),
                   0};
}

std::optional<Failure> refuseInputPath(const QString &path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return Failure{Failure::Kind::Missing, path, {}, 0};
        return Failure{Failure::Kind::CannotRead, path,
                       QString::fromLocal8Bit(std::strerror(error)), error};
    }
    if (S_ISREG(st.st_mode))
        return std::nullopt;
    return Failure{Failure::Kind::NotAFile, path, QString::fromLatin1(whatItIs(st.st_mode)), 0};
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa = {}, sb = {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

Result<ScratchFile> ScratchFile::create(const QByteArray &folder)
{
    sweepLeftovers(folder);
    ScratchFile file;
    QByteArray name = folder + '/' + Pattern;
    file.m_fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (file.m_fd < 0)
        return systemFailure(QFile::decodeName(folder), errno);
    file.m_name = name;
    file.m_slot = takeSlot(name);
    // Held for the file's life: a sweep by another process leaves it alone.
    ::flock(file.m_fd, LOCK_EX | LOCK_NB);
    return Result<ScratchFile>(std::move(file));
}

Result<ScratchFile> ScratchFile::beside(const QString &target, Placement placement)
{
    if (const auto refusal = refuseOutputPath(target))
        return *refusal;
    if (placement == Placement::NoReplace && QFileInfo(target).isFile())
        return Failure{Failure::Kind::Exists, target, {}, 0};
    const QFileInfo info(target);
    Result<ScratchFile> made = create(QFile::encodeName(info.absolutePath()));
    if (!made)
        return made.failure().withPath(target);
    made->m_target = QFile::encodeName(info.absoluteFilePath());
    made->m_placement = placement;
    return made;
}

QString ScratchFile::freshName(const QString &folder)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (;;) {
        QByteArray name = QFile::encodeName(folder) + '/' + Prefix;
        for (std::size_t i = 0; i < sizeof Pattern - sizeof Prefix; ++i)
            name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
        struct stat st = {};
        if (::lstat(name.constData(), &st) != 0)
            return QFile::decodeName(name);
    }
}

Result<ScratchFile> ScratchFile::temporaryIn(const QString &folder)
{
    return create(QFile::encodeName(QFileInfo(folder).absoluteFilePath()));
}

ScratchFile::ScratchFile(ScratchFile &&other) noexcept
    : m_name(std::move(other.m_name))
    , m_target(std::move(other.m_target))
    , m_placement(other.m_placement)
    , m_fd(other.m_fd)
    , m_slot(other.m_slot)
    , m_committed(other.m_committed)
{
    other.m_name.clear();
    other.m_fd = -1;
    other.m_slot = -1;
}

ScratchFile::~ScratchFile()
{
    if (!m_committed && !m_name.isEmpty())
        unlinkWithCompanions(m_name.constData());
    if (m_fd >= 0)
        ::close(m_fd);
    releaseSlot(m_slot);
}

QString ScratchFile::path() const
{
    return QFile::decodeName(m_name);
}

Result<void> ScratchFile::write(const QByteArray &bytes)
{
    const QString target = QFile::decodeName(m_target.isEmpty() ? m_name : m_target);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return systemFailure(target, n < 0 ? errno : ENOSPC);
        done += n;
    }
    return {};
}

Result<void> ScratchFile::commit(Durability durability)
{
    const QString target = QFile::decodeName(m_target);
    if (m_target.isEmpty() || m_committed)
        return Failure{Failure::Kind::System, path(), QStringLiteral("not a file to put in place"),
                       0};
    struct stat existing = {};
    const mode_t mode =
        m_placement == Placement::Replace && ::stat(m_target.constData(), &existing) == 0
            ? existing.st_mode & 07777
            : newFileMode();
    if (::fchmod(m_fd, mode) != 0 || (durability == Durability::Synced && ::fsync(m_fd) != 0))
        return systemFailure(target, errno);
    // Checked again just before the rename: the name may have become something else.
    if (const auto refusal = refuseOutputPath(target))
        return *refusal;
    if (m_placement == Placement::Replace) {
        if (::rename(m_name.constData(), m_target.constData()) != 0)
            return systemFailure(target, errno);
    } else if (::renameat2(AT_FDCWD, m_name.constData(), AT_FDCWD, m_target.constData(),
                           RENAME_NOREPLACE) != 0) {
        const int error = errno;
        if (error == EEXIST)
            return Failure{Failure::Kind::Exists, target, {}, 0};
        if (error != EINVAL && error != ENOSYS)
            return systemFailure(target, error);
        // A file system without that rename: a hard link, which never replaces either.
        if (::link(m_name.constData(), m_target.constData()) != 0)
            return errno == EEXIST ? Failure{Failure::Kind::Exists, target, {}, 0}
                                   : systemFailure(target, errno);
        ::unlink(m_name.constData());
    }
    m_committed = true;
    releaseSlot(m_slot);
    m_slot = -1;
    if (durability == Durability::Synced) {
        // The rename itself reaches the disk with the folder.
        const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
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
