#include "analysis/database_file.h"

#include <QFile>
#include <QFileInfo>

std::optional<QString> refuseDatabaseFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("找不到数据库文件“%1”").arg(path);
    if (!info.isFile())
        return QStringLiteral("“%1”不是文件").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("无法读取“%1”：%2").arg(path, file.errorString());
    const QByteArray header = file.read(32);
    if (header.isEmpty())
        return QStringLiteral("“%1”是空文件，不是数据库（文件未被改动）").arg(path);
    if (header.startsWith(QByteArray("SQLite format 3\0", 16)))
        return std::nullopt;
    if (header.mid(4, 15) == "Standard Jet DB" || header.mid(4, 15) == "Standard ACE DB")
        return QStringLiteral("“%1”是旧的 Access 数据库文件，本程序无法读取（文件未被改动）")
            .arg(path);
    return QStringLiteral("“%1”不是 SQLite 数据库文件（文件未被改动）").arg(path);
}

QString quoteIdentifier(const QString &name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}
