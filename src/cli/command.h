#pragma once

// What every command of tesmora-cli shares: its options on QCommandLineParser, its help text,
// and the way it reports usage errors (exit 2) and failures (exit 1) on standard error.

#include "cli/cli.h"
#include "core/checked.h"
#include "core/colour.h"
#include "core/result.h"
#include "core/scratch_file.h"
#include "pipeline/map_export.h"
#include "store/stream_reader.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

// Each command's usage line after "tesmora-cli": the one text its --help, the program's
// --help and the man page all show.
namespace Synopsis {
inline const QString fit =
    QStringLiteral("fit [--lines N] [--json [--x1 DEF --x2 DEF]] [--] Y1 ... Y11");
inline const QString report =
    QStringLiteral("report [--db FILE] [--lines N] [--format text|csv|json] [--responses]\n"
                   "           [--analysis [--units] [--x1 DEF] [--x2 DEF]]");
inline const QString render =
    QStringLiteral("render [--db FILE] (--id ID | --all) [--out PATH]\n"
                   "           [--size PIXELS | --width MM] [--dpi N]\n"
                   "           [--lines N] [--no-labels] [--colour #RRGGBB] [--overlay]\n"
                   "           [--mark stationary,optimum,runs] [--format bmp|png|svg|pdf]\n"
                   "           [--units] [--x1 DEF] [--x2 DEF]\n"
                   "render [--db FILE] --goal ID=KIND:LIMITS [--goal ...] [--importance ID=R]\n"
                   "           --out FILE [--size PIXELS | --width MM] [--dpi N]\n"
                   "           [--format bmp|png|svg|pdf]\n"
                   "           [--fill #RRGGBB] [--units [--coded] | --x1 DEF --x2 DEF]");
inline const QString plan =
    QStringLiteral("plan --x1 NAME,UNIT,LOW,HIGH --x2 NAME,UNIT,LOW,HIGH\n"
                   "           [--randomise [--seed N]] [--format text|csv|json]");
inline const QString optimise =
    QStringLiteral("optimise [--db FILE] --goal ID=KIND:LIMITS [--goal ...] [--importance ID=R]\n"
                   "           [--units [--coded] | --x1 DEF --x2 DEF] [--json]");
inline const QString sample = QStringLiteral("sample --out FILE [--records N] [--seed N]");
inline const QString analyse =
    QStringLiteral("analyse [--json] [--x1 DEF --x2 DEF] [--] Y1 ... Y11\n"
                   "analyse --db FILE --id ID [--json] [--units] [--x1 DEF] [--x2 DEF]");
inline const QString import =
    QStringLiteral("import ACCESS_FILE --out NEW.mdb [--jet3-encoding NAME]");
} // namespace Synopsis

// The side of a rendered map in pixels, and the resolution a width on paper is drawn at.
inline constexpr int MapSizeDefault = 1024, PrintDpiDefault = 300;

inline constexpr int UsageErrorExit = 2;
inline constexpr int FailureExit = 1;

// A synopsis as usage lines: "  tesmora-cli " before each, continuation lines indented.
QString synopsisLines(const QString &synopsis);

// "#RRGGBB" as a packed colour.
std::optional<Long> parseColour(const QString &text);

// Writes text as UTF-8.
void write(std::FILE *f, const QString &text);
// "tesmora-cli: message" on standard error, then the command's usage: exit 2.
int usageError(const CliStreams &io, const QString &message, const QString &usage);
// "tesmora-cli: message" on standard error: exit 1.
int failure(const CliStreams &io, const QString &message);
int failure(const CliStreams &io, const Failure &why);

class Command
{
public:
    // `synopsis` is the usage line after "tesmora-cli"; `about` says what the command does.
    Command(const QString &synopsis, const QString &about,
            const QList<QCommandLineOption> &options);

    // Parses the command's arguments (without the command's name) and answers --help: the
    // exit code when the command ends here (help shown, or a usage error), else nothing.
    std::optional<int> start(const QStringList &arguments, const CliStreams &io,
                             bool takesValues = false);
    bool helpAsked() const { return m_parser.isSet(m_help); }
    // For a command whose values are never negative numbers: options may follow them.
    void allowOptionsAfterValues()
    {
        m_parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    }
    QString usage() const;
    QString help() const;

    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    // Whether the command has this option at all.
    bool offers(const QString &name) const;
    QString value(const QString &name) const { return m_parser.value(name); }
    QStringList values() const { return m_parser.positionalArguments(); }
    // Options that may be given more than once (the others are refused when repeated).
    void allowRepeated(const QStringList &names) { m_repeatable = names; }
    // Every value of such an option.
    QStringList values(const QString &name) const { return m_parser.values(name); }
    // A whole number in low ... high, or the fallback when the option is not given.
    Checked<int> number(const QString &name, int fallback, int low, int high) const;
    // --lines within the command line's limits.
    Checked<int> lineCount() const;
    // --format of a text output: text (the default), csv or json.
    Checked<QString> textFormat() const;
    // --id as a finite number.
    Checked<double> recordId() const;
    // The map's size from --size, or --width and --dpi.
    Checked<MapSize> mapSize() const;

private:
    QString m_synopsis;
    QString m_about;
    QList<QCommandLineOption> m_options;
    QStringList m_repeatable;
    QCommandLineOption m_help;
    QCommandLineParser m_parser;
};

// The options several commands take.
QCommandLineOption databaseOption();
QCommandLineOption lineCountOption();
// --size, --width and --dpi.
QList<QCommandLineOption> mapSizeOptions();

// The program folder's database, or --db.
QString databasePath(const Command &command, const QString &programFolder);

// Opens the command's database for reading: a SQLite file as it is, an Access file through a
// conversion into a scratch file in the temporary folder that `conversion` holds for the
// command's life (the Access file is only read).
Result<void> openDatabase(StreamReader &reader, const QString &path, const CliStreams &io,
                          std::optional<ScratchFile> &conversion);
// The same, then one snapshot of the table begun: everything read after it sees the table as
// it is now.
Result<void> openSnapshot(StreamReader &reader, const QString &path, const CliStreams &io,
                          std::optional<ScratchFile> &conversion);

// The program that runs the Access reader.
QString readerProgram(const CliStreams &io);

int fitCommand(const QStringList &args, const CliStreams &io);
int planCommand(const QStringList &args, const CliStreams &io);
int optimiseCommand(const QStringList &args, const QString &folder, const CliStreams &io);
int reportCommand(const QStringList &args, const QString &folder, const CliStreams &io);
int renderCommand(const QStringList &args, const QString &folder, const CliStreams &io);
int sampleCommand(const QStringList &args, const CliStreams &io);
int importCommand(const QStringList &args, const CliStreams &io);
int analyseCommand(const QStringList &args, const QString &folder, const CliStreams &io);
