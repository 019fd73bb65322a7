#pragma once

// What went wrong, as a value: the libraries return a Failure, and only the edges (the window,
// the command line) put it into words for a person, each in one place.

#include <QString>

#include <optional>
#include <utility>
#include <variant>

struct Failure
{
    enum class Kind {
        // The database file itself.
        Missing,    // no file at the path
        NotAFile,   // a folder or something else that is not a file
        CannotRead, // the file could not be opened for reading (detail: the system's words)
        Empty,      // zero bytes
        NotSqlite,  // not a SQLite database
        AccessFile, // an old Access database
        NotAccess,  // a file given as an Access database that is none
        Encrypted,  // an encrypted Access database
        // The experiment table in it.
        NoTable,          // no table of that name
        View,             // the name is a view
        NotOrdinaryTable, // a virtual or other table (detail: its type)
        NoRowKey,         // WITHOUT ROWID, or every name of the row key taken by a column
        // The database engine (code: SQLite's extended result code, detail: its words).
        Busy,
        ReadOnly,
        HotJournal, // a crashed writer's journal that a read-only connection cannot roll back
        Moved,      // deleted or moved while open
        Damaged,
        DiskFull,
        Io,
        CannotOpen,
        Interrupted, // a statement stalled past the work limit and was stopped
        OutOfMemory,
        Constraint,
        Engine, // anything else SQLite reports
        // Records.
        NoRecord,
        ChangedElsewhere, // another program changed the record since it was read
        DeletedElsewhere, // another program deleted it
        // Files written.
        Exists,           // a new file would replace an existing one
        NotRegularOutput, // the output name is not a regular file (detail: what it is)
        SameFile,         // the source would be its own output
        Cancelled,        // the user ended the work
        System,           // an operating-system error (code: errno)
    };

    Kind kind = Kind::Engine;
    QString path;   // the file concerned, when there is one
    QString detail; // the engine's or system's own words, or what a file is
    int code = 0;

    Failure withPath(const QString &file) const
    {
        Failure f = *this;
        if (f.path.isEmpty())
            f.path = file;
        return f;
    }
};

// A value or the Failure that kept it from being made.
template <typename T> class Result
{
public:
    Result(T value)
        : m_value(std::move(value))
    {
    }
    Result(Failure failure)
        : m_value(std::move(failure))
    {
    }
    explicit operator bool() const { return std::holds_alternative<T>(m_value); }
    T &operator*() { return std::get<T>(m_value); }
    const T &operator*() const { return std::get<T>(m_value); }
    T *operator->() { return &std::get<T>(m_value); }
    const T *operator->() const { return &std::get<T>(m_value); }
    const Failure &failure() const { return std::get<Failure>(m_value); }

private:
    std::variant<T, Failure> m_value;
};

// Done, or the Failure that kept it from being done.
template <> class Result<void>
{
public:
    Result() = default;
    Result(Failure failure)
        : m_failure(std::move(failure))
    {
    }
    explicit operator bool() const { return !m_failure; }
    const Failure &failure() const { return *m_failure; }

private:
    std::optional<Failure> m_failure;
};
