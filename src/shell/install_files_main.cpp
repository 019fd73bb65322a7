// Writes the files an installation carries beside the programs (icons, help page) into the
// folder given: run at build time, so they come from the code the window draws them with.
#include "shell/help.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tesmora-install-files FOLDER\n");
        return 2;
    }
    return writeInstallFiles(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
