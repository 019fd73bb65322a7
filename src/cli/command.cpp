#include "command.h"

#include "access/access_import.h"
#include "cli/failure_text.h"
#include "core/design.h"
#include "core/failure_json.h"
#include "core/program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QLocale>

#include <algorithm>
#include <cmath>

void write(std::FILE *f, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, std::size_t(utf8.size()), f);
}

int usageError(const CliStreams &io, const QString &message, const QString &usage)
{
    write(io.err, QStringLiteral("tesmora-cli: %1\n%2").arg(message, usage));
    return UsageErrorExit;
}

int failure(const CliStreams &io, const QString &message)
{
    write(io.err, QStringLiteral("tesmora-cli: %1\n").arg(message));
    return FailureExit;
}

int failure(const CliStreams &io, const Failure &why)
{
    // A program that runs this one as a child reads what happened, to say it in its words.
    if (qEnvironmentVariableIsSet(FailureJsonVariable))
        write(io.err, QString::fromLatin1(FailureJsonPrefix) +
                          QString::fromUtf8(
                              QJsonDocument(failureToJson(why)).toJson(QJsonDocument::Compact)) +
                          QLatin1Char('\n'));
    return failure(io, cli::describeFailure(why));
}

Command::Command(const QString &synopsis, const QString &about,
                 const QList<QCommandLineOption> &options)
    : m_synopsis(synopsis)
    , m_about(about)
    , m_options(options)
    , m_help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."))
{
    // Values may be negative numbers: everything after the first value is a value.
    m_parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.addOptions(m_options);
    m_parser.addOption(m_help);
}

std::optional<int> Command::start(const QStringList &arguments, const CliStreams &io,
                                  bool takesValues)
{
    if (!m_parser.parse(QStringList{QStringLiteral("tesmora-cli")} + arguments))
        return usageError(io, m_parser.errorText(), usage());
    for (const QCommandLineOption &option : m_options) {
        const QString name = option.names().constLast();
        if (m_repeatable.contains(name))
            continue;
        if (m_parser.values(name).size() > 1 ||
            (option.valueName().isEmpty() && arguments.count(QStringLiteral("--") + name) > 1))
            return usageError(io, QStringLiteral("option --%1 given twice").arg(name), usage());
    }
    if (helpAsked()) {
        write(io.out, help());
        return 0;
    }
    if (!takesValues && !values().isEmpty())
        return usageError(io, QStringLiteral("no values are taken here: %1").arg(values().first()),
                          usage());
    return std::nullopt;
}

QString Command::usage() const
{
    return QStringLiteral("usage:\n") + synopsisLines(m_synopsis);
}

QString synopsisLines(const QString &synopsis)
{
    // Each line of a synopsis after "tesmora-cli", continuation lines indented under it.
    QString text;
    for (const QString &line : synopsis.split(QLatin1Char('\n'))) {
        const bool continued = line.startsWith(QLatin1Char(' '));
        text += (continued ? QString(21, QLatin1Char(' ')) : QStringLiteral("  tesmora-cli ")) +
                line.trimmed() + QLatin1Char('\n');
    }
    return text;
}

QString Command::help() const
{
    QString text = usage() + QLatin1Char('\n') + m_about + QStringLiteral("\n\noptions:\n");
    QList<QCommandLineOption> all = m_options;
    all << m_help;
    for (const QCommandLineOption &option : all) {
        QStringList names;
        for (const QString &name : option.names())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString left = names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            left += QLatin1Char(' ') + option.valueName();
        text += QStringLiteral("  %1  %2\n").arg(left, -24).arg(option.description());
    }
    return text;
}

bool Command::offers(const QString &name) const
{
    return std::any_of(m_options.cbegin(), m_options.cend(),
                       [&](const QCommandLineOption &o) { return o.names().contains(name); });
}

Checked<int> Command::number(const QString &name, int fallback, int low, int high) const
{
    if (!m_parser.isSet(name))
        return fallback;
    bool ok = false;
    const int value = m_parser.value(name).toInt(&ok);
    if (!ok || value < low || value > high)
        return Checked<int>::refused(
            QStringLiteral("--%1 must be a whole number from %2 to %3, not \"%4\"")
                .arg(name)
                .arg(low)
                .arg(high)
                .arg(m_parser.value(name)));
    return value;
}

Checked<QString> Command::textFormat() const
{
    const QString format =
        isSet(QStringLiteral("format")) ? value(QStringLiteral("format")) : QStringLiteral("text");
    if (format != QLatin1String("text") && format != QLatin1String("csv") &&
        format != QLatin1String("json"))
        return Checked<QString>::refused(
            QStringLiteral("--format must be text, csv or json, not \"%1\"").arg(format));
    return format;
}

Checked<int> Command::lineCount() const
{
    return number(QStringLiteral("lines"), LineCountDefault, LineCountMin, LineCountMax);
}

Checked<MapSize> Command::mapSize() const
{
    using Refused = Checked<MapSize>;
    const bool width = isSet(QStringLiteral("width"));
    if (width && isSet(QStringLiteral("size")))
        return Refused::refused(QStringLiteral("--size and --width both give the map's size"));
    const auto dpi =
        number(QStringLiteral("dpi"), width ? PrintDpiDefault : ScreenDpi, MapDpiMin, MapDpiMax);
    if (!dpi)
        return Refused::refused(dpi.error());
    if (!width) {
        const auto pixels =
            number(QStringLiteral("size"), MapSizeDefault, MapPixelsMin, MapPixelsMax);
        if (!pixels)
            return Refused::refused(pixels.error());
        return MapSize{*pixels, *dpi};
    }
    bool ok = false;
    const QString text = value(QStringLiteral("width"));
    const double millimetres = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(millimetres) || millimetres <= 0)
        return Refused::refused(
            QStringLiteral("--width must be a positive number of millimetres, not \"%1\"")
                .arg(text));
    const MapSize size = MapSize::ofWidth(std::min(millimetres, 1e6), *dpi);
    if (size.pixels < MapPixelsMin || size.pixels > MapPixelsMax)
        return Refused::refused(
            QStringLiteral("--width %1 at %2 dpi is %3 pixels; a map has %4 to %5")
                .arg(text)
                .arg(*dpi)
                .arg(std::min(millimetres / 25.4 * *dpi, 1e9), 0, 'f', 0)
                .arg(MapPixelsMin)
                .arg(MapPixelsMax));
    return size;
}

Checked<double> Command::recordId() const
{
    bool ok = false;
    const double id = QLocale::c().toDouble(value(QStringLiteral("id")), &ok);
    if (ok && std::isfinite(id))
        return id;
    return Checked<double>::refused(
        QStringLiteral("--id must be a number, not \"%1\"").arg(value(QStringLiteral("id"))));
}

QCommandLineOption databaseOption()
{
    return {QStringLiteral("db"),
            QStringLiteral("The database (default: %1 beside the program).").arg(DatabaseFileName),
            QStringLiteral("FILE")};
}

QList<QCommandLineOption> mapSizeOptions()
{
    return {{QStringLiteral("size"),
             QStringLiteral("Side of the map in pixels, %1 to %2 (default %3); a vector drawing "
                            "is this side at --dpi.")
                 .arg(MapPixelsMin)
                 .arg(MapPixelsMax)
                 .arg(MapSizeDefault),
             QStringLiteral("PIXELS")},
            {QStringLiteral("width"),
             QStringLiteral("Side of the map on paper in millimetres, instead of --size: a "
                            "bitmap gets the pixels of it at --dpi (default %1 with --width).")
                 .arg(PrintDpiDefault),
             QStringLiteral("MM")},
            {QStringLiteral("dpi"),
             QStringLiteral("Resolution, %1 to %2 (default %3): a PNG carries it, and a vector "
                            "drawing is its pixels at it on paper.")
                 .arg(MapDpiMin)
                 .arg(MapDpiMax)
                 .arg(ScreenDpi),
             QStringLiteral("N")}};
}

QCommandLineOption lineCountOption()
{
    return {QStringLiteral("lines"),
            QStringLiteral("Number of contour intervals, %1 to %2 (default %3).")
                .arg(LineCountMin)
                .arg(LineCountMax)
                .arg(LineCountDefault),
            QStringLiteral("N")};
}

QString databasePath(const Command &command, const QString &programFolder)
{
    if (command.isSet(QStringLiteral("db")))
        return command.value(QStringLiteral("db"));
    return appFolderFrom(programFolder) + DatabaseFileName;
}

QString readerProgram(const CliStreams &io)
{
    return io.program.isEmpty() ? QCoreApplication::applicationFilePath() : io.program;
}

Result<void> openDatabase(StreamReader &reader, const QString &path, const CliStreams &io,
                          std::optional<ScratchFile> &conversion)
{
    if (!accessdb::isAccessFile(path))
        return reader.open(path);
    Result<ScratchFile> scratch = ScratchFile::temporaryIn(QDir::tempPath());
    if (!scratch)
        return scratch.failure();
    conversion.emplace(std::move(*scratch));
    accessdb::ImportOptions options;
    options.readerProgram = readerProgram(io);
    if (const auto imported = accessdb::importAccess(path, *conversion, options); !imported)
        return imported.failure();
    const Result<void> opened = reader.open(conversion->path());
    if (opened)
        return {};
    Failure why = opened.failure(); // said of the user's file, not of the scratch copy
    why.path = path;
    return why;
}

Result<void> openSnapshot(StreamReader &reader, const QString &path, const CliStreams &io,
                          std::optional<ScratchFile> &conversion)
{
    if (const Result<void> opened = openDatabase(reader, path, io, conversion); !opened)
        return opened;
    return reader.beginSnapshot();
}

std::optional<Long> parseColour(const QString &text)
{
    if (text.size() != 7 || !text.startsWith(QLatin1Char('#')))
        return std::nullopt;
    bool ok = false;
    const uint rgb = text.mid(1).toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return packedFromRgb(rgb);
}
