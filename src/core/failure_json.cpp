#include "core/failure_json.h"

#include <array>
#include <utility>

namespace {

using Kind = Failure::Kind;

constexpr std::array<std::pair<Kind, const char *>, 32> KindNames{{
    {Kind::Missing, "missing"},
    {Kind::NotAFile, "not-a-file"},
    {Kind::CannotRead, "cannot-read"},
    {Kind::Empty, "empty"},
    {Kind::NotSqlite, "not-sqlite"},
    {Kind::AccessFile, "access-file"},
    {Kind::NotAccess, "not-access"},
    {Kind::Encrypted, "encrypted"},
    {Kind::NoTable, "no-table"},
    {Kind::View, "view"},
    {Kind::NotOrdinaryTable, "not-ordinary-table"},
    {Kind::NoRowKey, "no-row-key"},
    {Kind::Busy, "busy"},
    {Kind::ReadOnly, "read-only"},
    {Kind::HotJournal, "hot-journal"},
    {Kind::Moved, "moved"},
    {Kind::Damaged, "damaged"},
    {Kind::DiskFull, "disk-full"},
    {Kind::Io, "io"},
    {Kind::CannotOpen, "cannot-open"},
    {Kind::Interrupted, "interrupted"},
    {Kind::OutOfMemory, "out-of-memory"},
    {Kind::Constraint, "constraint"},
    {Kind::Engine, "engine"},
    {Kind::NoRecord, "no-record"},
    {Kind::ChangedElsewhere, "changed-elsewhere"},
    {Kind::DeletedElsewhere, "deleted-elsewhere"},
    {Kind::Exists, "exists"},
    {Kind::NotRegularOutput, "not-regular-output"},
    {Kind::SameFile, "same-file"},
    {Kind::Cancelled, "cancelled"},
    {Kind::System, "system"},
}};

} // namespace

QJsonObject failureToJson(const Failure &f)
{
    QString kind;
    for (const auto &[k, name] : KindNames) {
        if (k == f.kind)
            kind = QString::fromLatin1(name);
    }
    return {{QStringLiteral("failure"), kind},
            {QStringLiteral("path"), f.path},
            {QStringLiteral("detail"), f.detail},
            {QStringLiteral("code"), f.code}};
}

std::optional<Failure> failureFromJson(const QJsonObject &o)
{
    const QString kind = o[QStringLiteral("failure")].toString();
    for (const auto &[k, name] : KindNames) {
        if (kind == QLatin1String(name))
            return Failure{k, o[QStringLiteral("path")].toString(),
                           o[QStringLiteral("detail")].toString(),
                           o[QStringLiteral("code")].toInt()};
    }
    return std::nullopt;
}
