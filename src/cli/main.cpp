#include "access/access_import.h"
#include "access/access_reader.h"
#include "cli/cli.h"
#include "core/program_folder.h"
#include "core/scratch_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The platform layer's notes (a missing XDG_RUNTIME_DIR under the offscreen platform, font
// fallbacks) are not the command line's to print: only real failures reach standard error.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "tesmora-cli: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    // The Access reader: a child of this program's own, with nothing of Qt's set up.
    if (argc >= 4 && std::strcmp(argv[1], accessdb::ReaderCommand) == 0)
        return accessdb::runReader(QFile::decodeName(argv[2]), QFile::decodeName(argv[3]),
                                   argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString(), stdout);
    qInstallMessageHandler(quietMessages);
    // A batch interrupted by SIGTERM or SIGINT leaves no half-written scratch file behind.
    installScratchCleanup();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Maps need fonts, and so a GUI application object; it never needs a display.
    std::unique_ptr<QCoreApplication> app;
    if (cliNeedsGui(arguments)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("Tesmora"));
    return runCli(arguments, programFolder(QCoreApplication::applicationDirPath(),
                                           QStringLiteral(TESMORA_INSTALL_BINDIR)));
}
