#include "core/program_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

QString programFolder(const QString &executableFolder, const QString &installedFolder)
{
    const QString here = QDir::cleanPath(executableFolder);
    const bool installed = !installedFolder.isEmpty() && here == QDir::cleanPath(installedFolder);
    if (!installed && ::access(QFile::encodeName(here).constData(), W_OK) == 0)
        return here;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString appFolderFrom(const QString &appPath)
{
    return appPath.endsWith(QLatin1Char('/')) ? appPath : appPath + QLatin1Char('/');
}
