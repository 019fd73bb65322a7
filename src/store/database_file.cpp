#include "store/database_file.h"

#include "core/file_signatures.h"

#include <QFile>
#include <QFileInfo>

std::optional<Failure> refuseDatabaseFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return Failure{Failure::Kind::Missing, path, {}, 0};
    if (!info.isFile())
        return Failure{Failure::Kind::NotAFile, path, {}, 0};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{Failure::Kind::CannotRead, path, file.errorString(), 0};
    const QByteArray header = file.read(32);
    if (header.isEmpty())
        return Failure{Failure::Kind::Empty, path, {}, 0};
    if (hasSqliteHeader(header))
        return std::nullopt;
    if (hasAccessHeader(header))
        return Failure{Failure::Kind::AccessFile, path, {}, 0};
    return Failure{Failure::Kind::NotSqlite, path, {}, 0};
}

QString quoteIdentifier(const QString &name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}
