#pragma once

// Every new file the program writes for the user (a map, a converted or sample database, a
// scratch copy for one run) comes into being here: under a short hidden scratch name of its
// own, created exclusively, locked while its process lives, removed when the work fails or a
// SIGTERM or SIGINT ends the process, and put in place whole by one rename or link. A name
// that stands for something other than a regular file (a symbolic link, a folder, a device, a
// FIFO) is refused and left as it is.

#include "core/result.h"

#include <QByteArray>
#include <QString>

#include <optional>

// How a finished file reaches the disk. Synced: on the disk (file and folder entry) before
// commit returns. Deferred: still complete-or-absent for every reader, with the disk flush
// left to one syncFolder call at the end of a batch.
enum class Durability { Synced, Deferred };

// Whether the finished file may take the place of an existing regular file at its name.
enum class Placement { Replace, NoReplace };

class ScratchFile
{
public:
    // A scratch file in the folder of `target`, to become `target`. Refuses a target that
    // is not missing or a regular file, and (NoReplace) one that exists.
    static Result<ScratchFile> beside(const QString &target, Placement placement);
    // A private scratch file in `folder` that is never put in place: gone at destruction.
    static Result<ScratchFile> temporaryIn(const QString &folder);
    // A name of the scratch files' kind in `folder` that no file has, for a file another
    // process makes exclusively (a leftover of a crash is swept like any other).
    static QString freshName(const QString &folder);

    ScratchFile(ScratchFile &&other) noexcept;
    ScratchFile &operator=(ScratchFile &&) = delete;
    ScratchFile(const ScratchFile &) = delete;
    ~ScratchFile();

    QString path() const;
    int fd() const { return m_fd; }

    Result<void> write(const QByteArray &bytes);
    // Gives the file the mode a new file gets (or the one of the file it replaces), flushes
    // it as `durability` says and puts it at the target's name. On failure the scratch file
    // stays this object's, to be removed at destruction.
    Result<void> commit(Durability durability);

private:
    ScratchFile() = default;
    static Result<ScratchFile> create(const QByteArray &folder);

    QByteArray m_name;   // the scratch file's path
    QByteArray m_target; // where it goes; empty for a temporary
    Placement m_placement = Placement::NoReplace;
    int m_fd = -1;
    int m_slot = -1;
    bool m_committed = false;
};

// Why `path` may not be written, or nothing when it is missing or a regular file.
std::optional<Failure> refuseOutputPath(const QString &path);
// Why `path` may not be read as a file (missing, or a FIFO, device or folder, which would
// block or mislead a reader), or nothing when it is a regular file (or a link to one).
std::optional<Failure> refuseInputPath(const QString &path);
// Whether two paths name one file (the same inode), for a source that must not be its own
// output.
bool sameFile(const QString &a, const QString &b);

// An operating-system error as a Failure about `path`.
Failure systemFailure(const QString &path, int error);

// Flushes everything written to the file system that holds `folder`.
Result<void> syncFolder(const QString &folder);

// Makes SIGTERM and SIGINT remove the scratch files under way before the process ends as the
// signal would end it. For processes that work outside an event loop.
void installScratchCleanup();
