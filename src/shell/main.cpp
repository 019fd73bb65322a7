#include "core/program_folder.h"
#include "plot/raster_surface.h"
#include "shell/form1.h"
#include "shell/help.h"
#include "shell/termination.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    // Without a display Qt would abort with a message about platform plugins; say it plainly.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr,
                     "tesmora: no display found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                     "Run it in a desktop session, or under xvfb-run for a virtual one.\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tesmora"));
    QApplication::setWindowIcon(applicationIcon());
    QFont::insertSubstitution(QStringLiteral("宋体"), RasterSurface::fontFamily());

    // Standard buttons and dialogs in Chinese.
    QTranslator translator;
    if (translator.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&translator);

    Form1Options options;
    options.appPath = programFolder(QCoreApplication::applicationDirPath(),
                                    QStringLiteral(TESMORA_INSTALL_BINDIR));
    // The user's data folder of an installed program is the window's to make: maps are saved
    // there, and a new database is created there on request.
    QDir().mkpath(options.appPath);
    options.lockPath = QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation))
                           .filePath(QStringLiteral("tesmora-%1.lock").arg(getuid()));
    Form1 form(options);
    if (!form.Form_Load())
        return 0;
    installTerminationHandler(&form);
    form.show();
    return QApplication::exec();
}
