#include "cli/cli.h"

#include "command.h"

#include <new>

namespace {

const char *const Version = TESMORA_VERSION;

QString usage()
{
    return QStringLiteral("usage:\n") + synopsisLines(Synopsis::fit) +
           synopsisLines(Synopsis::report) + synopsisLines(Synopsis::render) +
           synopsisLines(Synopsis::sample) + synopsisLines(Synopsis::analyse) +
           synopsisLines(Synopsis::import) + synopsisLines(Synopsis::plan) +
           synopsisLines(Synopsis::optimise) +
           QStringLiteral("  tesmora-cli --version\n"
                          "Options come before the values; -- ends the options, so negative "
                          "responses may follow.\n"
                          "tesmora-cli COMMAND --help explains a command. DEF is a factor "
                          "in real units: NAME,UNIT,LOW,HIGH (see plan --help).\n");
}

int run(const QString &command, const QStringList &rest, const QString &programFolder,
        const CliStreams &io)
{
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        write(io.out, usage());
        return 0;
    }
    if (command == QLatin1String("--version") || command == QLatin1String("-v")) {
        std::fprintf(io.out, "tesmora-cli %s\n", Version);
        return 0;
    }
    if (command == QLatin1String("fit"))
        return fitCommand(rest, io);
    if (command == QLatin1String("report"))
        return reportCommand(rest, programFolder, io);
    if (command == QLatin1String("render"))
        return renderCommand(rest, programFolder, io);
    if (command == QLatin1String("sample"))
        return sampleCommand(rest, io);
    if (command == QLatin1String("import"))
        return importCommand(rest, io);
    if (command == QLatin1String("optimise"))
        return optimiseCommand(rest, programFolder, io);
    if (command == QLatin1String("plan"))
        return planCommand(rest, io);
    if (command == QLatin1String("analyse"))
        return analyseCommand(rest, programFolder, io);
    return usageError(io, QStringLiteral("unknown command \"%1\"").arg(command), usage());
}

} // namespace

bool cliNeedsGui(const QStringList &arguments)
{
    return !arguments.isEmpty() && arguments.first() == QLatin1String("render");
}

int runCli(const QStringList &arguments, const QString &programFolder, CliStreams streams)
{
    if (arguments.isEmpty())
        return usageError(streams, QStringLiteral("no command given"), usage());
    int code = 0;
    try {
        code = run(arguments.first(), arguments.mid(1), programFolder, streams);
    } catch (const std::bad_alloc &) {
        return failure(streams, QStringLiteral("not enough memory"));
    }
    // What was printed must have reached its reader: a full disk or a closed pipe is a failure.
    if (code == 0 && (std::fflush(streams.out) != 0 || std::ferror(streams.out)))
        return failure(streams, QStringLiteral("could not write the output"));
    return code;
}
