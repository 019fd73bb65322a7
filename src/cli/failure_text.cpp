#include "cli/failure_text.h"

#include "core/design.h"

#include <optional>

namespace {

QString quoted(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

using Kind = Failure::Kind;

// The kinds said whole, with the file or what it is; nothing for the engine's kinds.
std::optional<QString> wholeMessage(const Failure &f)
{
    const QString file = quoted(f.path);
    const QString table = quoted(ExperimentTableName);
    switch (f.kind) {
    case Kind::Missing:
        return QStringLiteral("cannot find the database %1").arg(file);
    case Kind::NotAFile:
        return QStringLiteral("%1 is not a file").arg(file);
    case Kind::CannotRead:
        return QStringLiteral("cannot read %1: %2").arg(file, f.detail);
    case Kind::Empty:
        return QStringLiteral("%1 is an empty file, not a database (left untouched)").arg(file);
    case Kind::NotSqlite:
        return QStringLiteral("%1 is not a SQLite database (left untouched)").arg(file);
    case Kind::AccessFile:
        return QStringLiteral("%1 is an old Access database, which this program cannot read "
                              "(left untouched)")
            .arg(file);
    case Kind::Encrypted:
        return QStringLiteral("%1 is encrypted; remove the encryption in Access first").arg(file);
    case Kind::NotAccess:
        return QStringLiteral("%1 is not an Access database (left untouched)").arg(file);
    case Kind::NoTable:
        return QStringLiteral("%1 has no table %2").arg(file, table);
    case Kind::View:
        return QStringLiteral("in %1, %2 is a view, not a table; only ordinary tables are read")
            .arg(file, table);
    case Kind::NotOrdinaryTable:
        return QStringLiteral("in %1, %2 is not an ordinary table (%3) and is not read")
            .arg(file, table, f.detail);
    case Kind::NoRowKey:
        return QStringLiteral("in %1, table %2 has no usable row key (WITHOUT ROWID, or columns "
                              "named _rowid_, rowid and oid): its records cannot be told apart")
            .arg(file, table);
    case Kind::NoRecord:
        return QStringLiteral("no such record in %1").arg(file);
    case Kind::ChangedElsewhere:
        return QStringLiteral("another program changed the record in %1").arg(file);
    case Kind::DeletedElsewhere:
        return QStringLiteral("another program deleted the record in %1").arg(file);
    case Kind::Exists:
        return QStringLiteral("%1 exists already and was not replaced").arg(file);
    case Kind::SameFile:
        return QStringLiteral("%1 cannot be both the source and the new file").arg(file);
    case Kind::Cancelled:
        return QStringLiteral("cancelled; nothing was written");
    case Kind::NotRegularOutput:
        return QStringLiteral("%1 is a %2, not a regular file: it is neither written nor replaced")
            .arg(file, f.detail);
    case Kind::System:
        return QStringLiteral("%1: %2").arg(file, f.detail);
    default:
        return std::nullopt;
    }
}

// What the engine's kinds mean.
QString engineWords(const Failure &f)
{
    switch (f.kind) {
    case Kind::Busy:
        return QStringLiteral("the database is held by another program; try again later");
    case Kind::ReadOnly:
        return QStringLiteral("the database file is read-only");
    case Kind::HotJournal:
        return QStringLiteral("the database was not closed properly and has a journal to roll "
                              "back, which a read-only reader cannot do; open it once in the "
                              "window");
    case Kind::Moved:
        return QStringLiteral("the database file was deleted or moved");
    case Kind::Damaged:
        return QStringLiteral("the database file is damaged");
    case Kind::DiskFull:
        return QStringLiteral("the disk is full");
    case Kind::Io:
        return QStringLiteral("a disk read or write failed");
    case Kind::CannotOpen:
        return QStringLiteral("the database file cannot be opened");
    case Kind::Interrupted:
        return QStringLiteral("a query of the database gave no result for too long and was "
                              "stopped (a trigger or table definition may loop without end)");
    case Kind::OutOfMemory:
        return QStringLiteral("not enough memory, or a value too large");
    case Kind::Constraint:
        return QStringLiteral("a constraint of the database refused the value");
    case Kind::Engine:
        return QStringLiteral("the database reported an error");
    default:
        return {};
    }
}

} // namespace

QString cli::describeFailure(const Failure &f)
{
    const QString file = quoted(f.path);
    if (const std::optional<QString> whole = wholeMessage(f))
        return *whole;
    const QString what = engineWords(f);
    const QString where = f.path.isEmpty() ? QString() : file + QStringLiteral(": ");
    return where + (f.detail.isEmpty() ? what : QStringLiteral("%1 (%2)").arg(what, f.detail));
}
