#include "cli/cli.h"

#include "analysis/sample_db.h"
#include "analysis/stream_reader.h"
#include "core/numbers.h"
#include "core/regression.h"
#include "pipeline/batch_writer.h"
#include "pipeline/bitmap.h"
#include "pipeline/record_change.h"
#include "plot/layers.h"
#include "plot/raster_surface.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <future>
#include <limits>
#include <optional>
#include <thread>

namespace {

constexpr int UsageError = 2;
constexpr int Failure = 1;
constexpr int DefaultSize = 1024;
constexpr int MaxSize = 16384;
constexpr int MaxLines = 100;

const char *const Usage =
    "usage:\n"
    "  tesmora-cli fit [--lines N] [--json] [--] Y1 ... Y11\n"
    "  tesmora-cli report [--db FILE] [--lines N] [--format text|csv|json]\n"
    "  tesmora-cli render [--db FILE] (--id ID | --all) [--out PATH] [--size PIXELS]\n"
    "                     [--lines N] [--no-labels] [--colour #RRGGBB] [--overlay]\n"
    "  tesmora-cli sample --out FILE [--records N] [--seed N]\n"
    "Options come before the values; -- ends the options, so negative responses may follow.\n";

// ---- output ------------------------------------------------------------------------------

void write(std::FILE *f, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, std::size_t(utf8.size()), f);
}

// Writes text as UTF-8 at `out` (room for three bytes a UTF-16 unit); returns the end.
char *writeUtf8(char *out, const QString &text)
{
    auto *p = reinterpret_cast<uchar *>(out);
    const auto *u = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = u[i];
        if (c < 0x80) {
            *p++ = uchar(c);
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(u[i + 1]))
            c = QChar::surrogateToUcs4(char16_t(c), u[++i]);
        else if (QChar::isSurrogate(c))
            c = QChar::ReplacementCharacter;
        if (c < 0x800) {
            *p++ = uchar(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *p++ = uchar(0xE0 | (c >> 12));
            *p++ = uchar(0x80 | ((c >> 6) & 0x3F));
        } else {
            *p++ = uchar(0xF0 | (c >> 18));
            *p++ = uchar(0x80 | ((c >> 12) & 0x3F));
            *p++ = uchar(0x80 | ((c >> 6) & 0x3F));
        }
        *p++ = uchar(0x80 | (c & 0x3F));
    }
    return reinterpret_cast<char *>(p);
}

// The shortest text that reads back as the same float or double.
template <typename Number> void appendShortest(QByteArray &out, Number v)
{
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, qsizetype(result.ptr - buffer));
}

template <typename Number> QString shortest(Number v)
{
    QByteArray text;
    appendShortest(text, v);
    return QString::fromLatin1(text);
}

QString jsonString(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

// Whether a text cell reads as a plain number (which a spreadsheet takes as a number).
bool isPlainNumber(const QString &text)
{
    bool ok = false;
    QLocale::c().toDouble(text, &ok);
    return ok;
}

QString csvField(const QString &text)
{
    // A text that a spreadsheet would run as a formula is kept as text by a leading apostrophe.
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    QString value = text;
    if (!value.isEmpty() && formulaStarts.contains(value.front()) && !isPlainNumber(value))
        value.prepend(QLatin1Char('\''));
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    value.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

// Writes text as UTF-8 with control characters and the backslash escaped (\t, \n, \r, \\,
// \xHH), so a text cell never breaks a row of the text report apart. Needs room for four
// bytes a UTF-16 unit.
char *writeEscapedUtf8(char *out, const QString &text)
{
    const auto *u = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    qsizetype plainFrom = 0;
    bool escaped = false;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = u[i];
        if (c >= 0x20 && c != 0x7F && c != u'\\')
            continue;
        if (i > plainFrom)
            out = writeUtf8(out, text.mid(plainFrom, i - plainFrom));
        plainFrom = i + 1;
        escaped = true;
        *out++ = '\\';
        switch (c) {
        case u'\t':
            *out++ = 't';
            break;
        case u'\n':
            *out++ = 'n';
            break;
        case u'\r':
            *out++ = 'r';
            break;
        case u'\\':
            *out++ = '\\';
            break;
        default: {
            static const char hex[] = "0123456789abcdef";
            *out++ = 'x';
            *out++ = hex[(c >> 4) & 0xF];
            *out++ = hex[c & 0xF];
        }
        }
    }
    if (!escaped)
        return writeUtf8(out, text);
    if (n > plainFrom)
        out = writeUtf8(out, text.mid(plainFrom));
    return out;
}

// ---- arguments ---------------------------------------------------------------------------

struct Parsed
{
    QHash<QString, QString> options; // name (without --) -> value; flags map to ""
    QStringList positional;
};

// Options before positional values, "--name value" or "--name=value"; "--" ends the options.
// `valued` lists the options that take a value, `flags` those that do not.
std::optional<Parsed> parseArguments(const QStringList &args, const QStringList &valued,
                                     const QStringList &flags, QString *error)
{
    Parsed parsed;
    int i = 0;
    for (; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--")) {
            ++i;
            break;
        }
        if (!arg.startsWith(QLatin1String("--")))
            break;
        QString name = arg.mid(2);
        std::optional<QString> value;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        }
        if (parsed.options.contains(name)) {
            *error = QStringLiteral("option --%1 given twice").arg(name);
            return std::nullopt;
        }
        if (valued.contains(name)) {
            if (!value) {
                if (i + 1 >= args.size()) {
                    *error = QStringLiteral("option --%1 needs a value").arg(name);
                    return std::nullopt;
                }
                value = args[++i];
            }
            parsed.options.insert(name, *value);
        } else if (flags.contains(name)) {
            if (value) {
                *error = QStringLiteral("option --%1 takes no value").arg(name);
                return std::nullopt;
            }
            parsed.options.insert(name, QString());
        } else {
            *error = QStringLiteral("unknown option %1").arg(arg);
            return std::nullopt;
        }
    }
    for (; i < args.size(); ++i)
        parsed.positional << args[i];
    return parsed;
}

std::optional<int> intOption(const Parsed &p, const QString &name, int fallback, int low, int high,
                             QString *error)
{
    if (!p.options.contains(name))
        return fallback;
    bool ok = false;
    const int value = p.options.value(name).toInt(&ok);
    if (!ok || value < low || value > high) {
        *error = QStringLiteral("--%1 must be a whole number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(low)
                     .arg(high)
                     .arg(p.options.value(name));
        return std::nullopt;
    }
    return value;
}

int usageError(const CliStreams &io, const QString &message)
{
    write(io.err, QStringLiteral("tesmora-cli: %1\n").arg(message));
    std::fputs(Usage, io.err);
    return UsageError;
}

int failure(const CliStreams &io, const QString &message)
{
    write(io.err, QStringLiteral("tesmora-cli: %1\n").arg(message));
    return Failure;
}

// ---- fit ---------------------------------------------------------------------------------

int fitCommand(const QStringList &args, const QString &folder, const CliStreams &io)
{
    QString error;
    const auto p =
        parseArguments(args, {QStringLiteral("lines")}, {QStringLiteral("json")}, &error);
    if (!p)
        return usageError(io, error);
    const auto lines = intOption(*p, QStringLiteral("lines"), 4, 1, MaxLines, &error);
    if (!lines)
        return usageError(io, error);
    if (p->positional.size() != DesignRuns)
        return usageError(
            io, QStringLiteral("fit needs exactly 11 responses, got %1").arg(p->positional.size()));
    FormState state = startedFormState(folder, *lines);
    for (int i = 0; i < DesignRuns; ++i) {
        bool ok = false;
        const double value = QLocale::c().toDouble(p->positional[i].trimmed(), &ok);
        const auto single = ok ? numbers::toSingle(value) : std::nullopt;
        if (!single)
            return usageError(io, QStringLiteral("response %1 (\"%2\") is not a number within "
                                                 "single precision")
                                      .arg(i + 1)
                                      .arg(p->positional[i]));
        state.Response[std::size_t(i)] = *single;
    }
    const regression::FitReport report = regression::FitRegression(state);
    if (!p->options.contains(QStringLiteral("json"))) {
        write(io.out,
              QStringLiteral("Y=%1\nR=%2\nS=%3\n").arg(state.Text2, state.Text3, state.Text4));
        return 0;
    }
    const bool complete = report.outcome == regression::FitOutcome::Complete;
    QString json = QStringLiteral("{\n");
    if (state.CoefficientsCurrent) {
        json += QStringLiteral("  \"coefficients\": {\"b0\": %1, \"b1\": %2, \"b2\": %3, "
                               "\"b11\": %4, \"b22\": %5, \"b12\": %6},\n")
                    .arg(shortest(state.B0), shortest(state.B1), shortest(state.B2),
                         shortest(state.B11), shortest(state.B22), shortest(state.B12));
    } else {
        json += QStringLiteral("  \"coefficients\": null,\n");
    }
    QStringList levels;
    const auto map = contourMap(state);
    for (float level : map ? plot::contourLevels(map->levels) : std::vector<float>())
        levels << shortest(level);
    json += QStringLiteral(
                "  \"levels\": {\"min\": %1, \"max\": %2, \"step\": %3, \"values\": [%4]},\n")
                .arg(shortest(state.LevelMin), shortest(state.LevelMax),
                     state.LevelsCurrent ? shortest(state.LevelStep) : QStringLiteral("null"),
                     levels.join(QStringLiteral(", ")));
    json += QStringLiteral("  \"R\": %1,\n  \"S\": %2,\n")
                .arg(complete ? shortest(report.r) : QStringLiteral("null"),
                     complete ? shortest(report.s) : QStringLiteral("null"));
    json += QStringLiteral("  \"texts\": {\"Y\": %1, \"R\": %2, \"S\": %3}\n}\n")
                .arg(jsonString(state.Text2), jsonString(state.Text3), jsonString(state.Text4));
    write(io.out, json);
    return 0;
}

// ---- report ------------------------------------------------------------------------------

QString databasePath(const Parsed &p, const QString &folder)
{
    return p.options.value(QStringLiteral("db"), appFolderFrom(folder) + DatabaseFileName);
}

// Below this many records a table is reported on one thread.
constexpr int MinSplitRecords = 5000;

// The report's rows: each record through the record loading and the fit, then as text.
class ReportRows
{
public:
    ReportRows(const QString &format, const QString &folder, int lines, std::FILE *out)
        : m_state(startedFormState(folder, lines))
        , m_picker(m_state.CurveColor)
        , m_json(format == QLatin1String("json"))
        , m_csv(format == QLatin1String("csv"))
        , m_out(out)
    {
        m_line.reserve(2 * ChunkBytes);
    }

    // Writes what the rows made so far; false once any write failed.
    bool flush()
    {
        if (std::fwrite(m_line.constData(), 1, std::size_t(m_line.size()), m_out) !=
            std::size_t(m_line.size()))
            m_failed = true;
        m_line.resize(0);
        return !m_failed;
    }

    void add(const std::vector<StreamCell> &cells, bool first)
    {
        FormState &state = m_state;
        const bool responsesRead = loadRecordFields(state, StreamRecord(cells), m_picker);
        const regression::FitReport fit = fitLoadedRecord(state, responsesRead);
        const bool fitted = state.CoefficientsCurrent;
        const bool complete = fit.outcome == regression::FitOutcome::Complete;
        const std::array<float, 6> b{state.B0, state.B1, state.B2, state.B11, state.B22, state.B12};
        QByteArray &line = m_line;
        const QByteArray null = QByteArrayLiteral("null");
        if (m_json) {
            line += first ? "\n{\"ID\": " : ",\n{\"ID\": ";
            line += state.RecordId.isNull() ? null : jsonString(state.RecordId).toUtf8();
            line += ", \"name\": ";
            line += jsonString(state.ResponseTitle).toUtf8();
            static const char *const keys[] = {", \"b0\": ",  ", \"b1\": ",  ", \"b2\": ",
                                               ", \"b11\": ", ", \"b22\": ", ", \"b12\": "};
            for (std::size_t i = 0; i < 6; ++i) {
                line += keys[i];
                if (fitted)
                    appendShortest(line, b[i]);
                else
                    line += null;
            }
            line += ", \"R\": ";
            if (complete)
                appendShortest(line, fit.r);
            else
                line += null;
            line += ", \"S\": ";
            if (complete)
                appendShortest(line, fit.s);
            else
                line += null;
            line += ", \"equation\": ";
            line += jsonString(state.Text2).toUtf8();
            line += '}';
        } else {
            // The row written through a pointer into room made for its longest possible form.
            const QString csvId = m_csv ? csvField(state.RecordId) : QString();
            const QString csvTitle = m_csv ? csvField(state.ResponseTitle) : QString();
            const QString csvEquation = m_csv ? csvField(state.Text2) : QString();
            const QString &id = m_csv ? csvId : state.RecordId;
            const QString &title = m_csv ? csvTitle : state.ResponseTitle;
            const QString &equation = m_csv ? csvEquation : state.Text2;
            const qsizetype at = line.size();
            line.resize(at +
                        4 * (id.size() + title.size() + equation.size() + state.Text3.size() +
                             state.Text4.size()) +
                        6 * 32 + 16);
            char *p = line.data() + at;
            const char sep = m_csv ? ',' : '\t';
            const auto cell = [&](const QString &text) {
                p = m_csv ? writeUtf8(p, text) : writeEscapedUtf8(p, text);
            };
            cell(id);
            *p++ = sep;
            cell(title);
            for (float coefficient : b) {
                *p++ = sep;
                if (fitted)
                    p = std::to_chars(p, p + 32, coefficient).ptr;
            }
            *p++ = sep;
            p = writeUtf8(p, state.Text3);
            *p++ = sep;
            p = writeUtf8(p, state.Text4);
            *p++ = sep;
            cell(equation);
            *p++ = '\n';
            line.resize(p - line.data());
        }
        if (line.size() >= ChunkBytes)
            flush();
    }

    bool failed() const { return m_failed; }

private:
    static constexpr qsizetype ChunkBytes = 1 << 16;
    FormState m_state;
    FixedColorPicker m_picker;
    bool m_json;
    bool m_csv;
    std::FILE *m_out;
    QByteArray m_line; // rows not yet written
    bool m_failed = false;
};

int reportCommand(const QStringList &args, const QString &folder, const CliStreams &io)
{
    QString error;
    const auto p = parseArguments(
        args, {QStringLiteral("db"), QStringLiteral("lines"), QStringLiteral("format")}, {},
        &error);
    if (!p)
        return usageError(io, error);
    if (!p->positional.isEmpty())
        return usageError(io,
                          QStringLiteral("report takes no values: %1").arg(p->positional.first()));
    const auto lines = intOption(*p, QStringLiteral("lines"), 4, 1, MaxLines, &error);
    if (!lines)
        return usageError(io, error);
    const QString format = p->options.value(QStringLiteral("format"), QStringLiteral("text"));
    if (format != QLatin1String("text") && format != QLatin1String("csv") &&
        format != QLatin1String("json"))
        return usageError(
            io, QStringLiteral("--format must be text, csv or json, not \"%1\"").arg(format));

    // Streamed: the records are not held, whatever the table's size.
    StreamReader reader;
    if (!reader.open(databasePath(*p, folder), &error))
        return failure(io, error);
    const auto readFailure = [&](const QString &reason) {
        return failure(io, QStringLiteral("reading \"%1\" failed: %2").arg(reader.path(), reason));
    };
    // One read transaction: both parts below see the table as it was at the count.
    if (!reader.beginSnapshot(&error))
        return readFailure(error);
    const std::optional<qint64> records = reader.count(&error);
    if (!records)
        return readFailure(error);

    const QChar separator = format == QLatin1String("csv") ? QLatin1Char(',') : QLatin1Char('\t');
    const bool json = format == QLatin1String("json");
    if (json)
        write(io.out, QStringLiteral("["));
    else
        write(io.out,
              QStringList{QStringLiteral("ID"), QStringLiteral("name"), QStringLiteral("b0"),
                          QStringLiteral("b1"), QStringLiteral("b2"), QStringLiteral("b11"),
                          QStringLiteral("b22"), QStringLiteral("b12"), QStringLiteral("R"),
                          QStringLiteral("S"), QStringLiteral("equation")}
                      .join(separator) +
                  QLatin1Char('\n'));

    // Every record's row depends on that record alone, so a large table is split in the
    // middle and its second part runs on a thread of its own inside the same snapshot,
    // written to a scratch file and copied after the first: two cores, memory that does not
    // grow.
    constexpr qint64 First = std::numeric_limits<qint64>::min();
    constexpr qint64 Last = std::numeric_limits<qint64>::max();
    const qint64 count = *records;
    std::optional<qint64> splitKey;
    if (count >= 2 * MinSplitRecords) {
        splitKey = reader.keyAtOffset(count / 2, &error);
        if (!splitKey)
            return readFailure(error);
    }
    std::FILE *tail = splitKey ? std::tmpfile() : nullptr;
    if (!tail)
        splitKey.reset();
    QString tailError;
    bool tailWriteFailed = false;
    std::thread second;
    if (splitKey) {
        second = std::thread([&] {
            ReportRows rows(format, folder, *lines, tail);
            reader.forEach(
                recordFieldNames(),
                [&](const std::vector<StreamCell> &cells) {
                    rows.add(cells, false);
                    return !rows.failed();
                },
                &tailError, *splitKey, Last);
            tailWriteFailed = !rows.flush() || std::fflush(tail) != 0 || std::ferror(tail);
        });
    }

    ReportRows rows(format, folder, *lines, io.out);
    bool firstRow = true;
    const bool ok = reader.forEach(
        recordFieldNames(),
        [&](const std::vector<StreamCell> &cells) {
            rows.add(cells, std::exchange(firstRow, false));
            return !rows.failed();
        },
        &error, First, splitKey ? *splitKey - 1 : Last);
    rows.flush();
    if (second.joinable())
        second.join();
    reader.endSnapshot();
    bool copyFailed = false;
    if (tail) {
        std::rewind(tail);
        char buffer[1 << 16];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, tail)) {
            if (std::fwrite(buffer, 1, n, io.out) != n) {
                copyFailed = true;
                break;
            }
        }
        copyFailed = copyFailed || std::ferror(tail);
        std::fclose(tail);
    }
    if (json)
        write(io.out, QStringLiteral("\n]\n"));
    if (!ok || !tailError.isEmpty())
        return readFailure(ok ? tailError : error);
    if (tailWriteFailed || copyFailed)
        return failure(io, QStringLiteral("could not write the second half of the report through "
                                          "a scratch file (is the temporary folder full?)"));
    if (rows.failed() || std::fflush(io.out) != 0 || std::ferror(io.out))
        return failure(io, QStringLiteral("could not write the report"));
    return 0;
}

// ---- render ------------------------------------------------------------------------------

std::optional<Long> parseColour(const QString &text)
{
    if (text.size() != 7 || !text.startsWith(QLatin1Char('#')))
        return std::nullopt;
    bool ok = false;
    const uint rgb = text.mid(1).toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    // #RRGGBB to 0x00BBGGRR
    return Long(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}

int renderCommand(const QStringList &args, const QString &folder, const CliStreams &io)
{
    QString error;
    const auto p = parseArguments(
        args,
        {QStringLiteral("db"), QStringLiteral("id"), QStringLiteral("out"), QStringLiteral("size"),
         QStringLiteral("lines"), QStringLiteral("colour")},
        {QStringLiteral("all"), QStringLiteral("no-labels"), QStringLiteral("overlay")}, &error);
    if (!p)
        return usageError(io, error);
    if (!p->positional.isEmpty())
        return usageError(io,
                          QStringLiteral("render takes no values: %1").arg(p->positional.first()));
    const bool all = p->options.contains(QStringLiteral("all"));
    const bool byId = p->options.contains(QStringLiteral("id"));
    if (all == byId)
        return usageError(io, QStringLiteral("render needs either --id ID or --all"));
    const auto lines = intOption(*p, QStringLiteral("lines"), 4, 1, MaxLines, &error);
    if (!lines)
        return usageError(io, error);
    const auto size = intOption(*p, QStringLiteral("size"), DefaultSize, 16, MaxSize, &error);
    if (!size)
        return usageError(io, error);
    std::optional<Long> colour;
    if (p->options.contains(QStringLiteral("colour"))) {
        colour = parseColour(p->options.value(QStringLiteral("colour")));
        if (!colour)
            return usageError(io, QStringLiteral("--colour must look like #RRGGBB, not \"%1\"")
                                      .arg(p->options.value(QStringLiteral("colour"))));
    }
    std::optional<double> wantedId;
    if (byId) {
        bool ok = false;
        const double id = QLocale::c().toDouble(p->options.value(QStringLiteral("id")), &ok);
        if (!ok || !std::isfinite(id))
            return usageError(io, QStringLiteral("--id must be a number, not \"%1\"")
                                      .arg(p->options.value(QStringLiteral("id"))));
        wantedId = id;
    }
    const bool overlay = p->options.contains(QStringLiteral("overlay"));

    StreamReader reader;
    if (!reader.open(databasePath(*p, folder), &error))
        return failure(io, error);
    const auto readFailure = [&](const QString &reason) {
        return failure(io, QStringLiteral("reading \"%1\" failed: %2").arg(reader.path(), reason));
    };
    // One snapshot: the maps of a batch all come from the table as it was at its start.
    const std::optional<qint64> records =
        reader.beginSnapshot(&error) ? reader.count(&error) : std::nullopt;
    if (!records)
        return readFailure(error);

    FormState state = startedFormState(folder, *lines);
    state.ShowLabels = !p->options.contains(QStringLiteral("no-labels"));
    state.AutoColor = !colour;
    state.Overlay = overlay;
    FixedColorPicker picker(colour.value_or(0));
    RasterSurface surface(*size);

    const QString out = p->options.value(QStringLiteral("out"));
    const QDir outFolder(out.isEmpty() ? QStringLiteral(".") : out);
    constexpr qint64 First = std::numeric_limits<qint64>::min();
    constexpr qint64 Last = std::numeric_limits<qint64>::max();

    if (byId) {
        bool found = false;
        const bool ok = reader.forEach(
            recordFieldNames(),
            [&](const std::vector<StreamCell> &cells) {
                const auto id = cells.front().field().asNumber();
                if (!id || *id != *wantedId)
                    return true;
                LoadCurrentRecord(state, StreamRecord(cells), surface, picker);
                found = true;
                return false;
            },
            &error, First, Last);
        if (!ok)
            return readFailure(error);
        if (!found)
            return failure(io, QStringLiteral("no record with ID %1 in \"%2\"")
                                   .arg(p->options.value(QStringLiteral("id")), reader.path()));
        const QString path =
            out.isEmpty() ? outFolder.filePath(mapFileName(state.RecordId).value_or(QString()))
                          : out;
        if (!saveBitmap(surface.Image(), path, &error))
            return failure(io, QStringLiteral("could not write \"%1\": %2").arg(path, error));
        write(io.err, QStringLiteral("wrote %1\n").arg(path));
        return 0;
    }

    if (!overlay && !out.isEmpty() && !QFileInfo(out).isDir())
        return failure(
            io, QStringLiteral("--out must be an existing folder with --all: \"%1\"").arg(out));

    QElapsedTimer clock;
    clock.start();
    qint64 lastReport = 0;
    qint64 position = 0;
    int written = 0, skipped = 0;
    QSet<QString> usedNames;
    BitmapWriter writer(Durability::Deferred);
    const auto skip = [&](const QString &id, const QString &why) {
        write(
            io.err,
            QStringLiteral("tesmora-cli: skipped row %1 (ID %2): %3\n").arg(position).arg(id, why));
        ++skipped;
    };
    const bool ok = reader.forEach(
        recordFieldNames(),
        [&](const std::vector<StreamCell> &cells) {
            ++position;
            const FieldValue rawId = cells.front().field();
            const QString shownId = rawId.kind == FieldValue::Kind::Value
                                        ? rawId.asText().value_or(QStringLiteral("?"))
                                        : QStringLiteral("empty");
            try {
                LoadCurrentRecord(state, StreamRecord(cells), surface, picker);
                if (!overlay) {
                    const auto name = mapFileName(state.RecordId);
                    const QString path = name ? outFolder.filePath(*name) : QString();
                    if (!name)
                        skip(shownId, QStringLiteral("the ID cannot name a file"));
                    else if (usedNames.contains(path))
                        skip(shownId, QStringLiteral("another record of this run has the same ID"));
                    else {
                        writer.submit(surface.Image(), path);
                        usedNames.insert(path);
                        ++written;
                    }
                }
            } catch (const std::bad_alloc &) {
                skip(shownId, QStringLiteral("not enough memory to draw its map"));
            }
            if (clock.elapsed() - lastReport >= 1000) {
                lastReport = clock.elapsed();
                write(io.err,
                      QStringLiteral("rendered %1 of %2 records\n").arg(position).arg(*records));
            }
            return true;
        },
        &error, First, Last);
    reader.endSnapshot();
    if (!ok) {
        writer.finish();
        return readFailure(error);
    }
    if (overlay) {
        QString path = out.isEmpty() ? OverlayFileName : out;
        if (QFileInfo(path).isDir())
            path = QDir(path).filePath(OverlayFileName);
        if (!saveBitmap(surface.Image(), path, &error))
            return failure(io, QStringLiteral("could not write \"%1\": %2").arg(path, error));
        write(io.err, QStringLiteral("wrote %1 (%2 records overlaid)\n").arg(path).arg(position));
        return skipped ? Failure : 0;
    }
    for (const BitmapWriter::Failure &f : writer.finish()) {
        write(io.err,
              QStringLiteral("tesmora-cli: could not write \"%1\": %2\n").arg(f.path, f.reason));
        --written;
        ++skipped;
    }
    // One flush for the whole batch instead of one a file.
    if (written > 0 && !syncFolder(outFolder.path(), &error))
        return failure(io, QStringLiteral("could not flush the maps to disk: %1").arg(error));
    write(io.err, QStringLiteral("wrote %1 maps").arg(written) +
                      (skipped ? QStringLiteral(", skipped %1 records\n").arg(skipped)
                               : QStringLiteral("\n")));
    return skipped ? Failure : 0;
}

// ---- sample ------------------------------------------------------------------------------

int sampleCommand(const QStringList &args, const CliStreams &io)
{
    QString error;
    const auto p = parseArguments(
        args, {QStringLiteral("out"), QStringLiteral("records"), QStringLiteral("seed")}, {},
        &error);
    if (!p)
        return usageError(io, error);
    if (!p->positional.isEmpty() || !p->options.contains(QStringLiteral("out")))
        return usageError(io, QStringLiteral("sample needs --out FILE and no values"));
    const auto records = intOption(*p, QStringLiteral("records"), 0, 1, 10'000'000, &error);
    const auto seed = intOption(*p, QStringLiteral("seed"), 1, 0, 2'000'000'000, &error);
    if (!records || !seed)
        return usageError(io, error);
    const QString path = p->options.value(QStringLiteral("out"));
    const bool ok = p->options.contains(QStringLiteral("records"))
                        ? sample_db::writeGenerated(path, *records, unsigned(*seed), &error)
                        : sample_db::writeSample(path, &error);
    if (!ok)
        return failure(io, error);
    return 0;
}

} // namespace

bool cliNeedsGui(const QStringList &arguments)
{
    return !arguments.isEmpty() && arguments.first() == QLatin1String("render");
}

int runCli(const QStringList &arguments, const QString &programFolder, CliStreams streams)
{
    if (arguments.isEmpty())
        return usageError(streams, QStringLiteral("no command given"));
    const QString command = arguments.first();
    const QStringList rest = arguments.mid(1);
    int code = 0;
    try {
        if (command == QLatin1String("--help") || command == QLatin1String("help"))
            std::fputs(Usage, streams.out);
        else if (command == QLatin1String("fit"))
            code = fitCommand(rest, programFolder, streams);
        else if (command == QLatin1String("report"))
            code = reportCommand(rest, programFolder, streams);
        else if (command == QLatin1String("render"))
            code = renderCommand(rest, programFolder, streams);
        else if (command == QLatin1String("sample"))
            code = sampleCommand(rest, streams);
        else
            return usageError(streams, QStringLiteral("unknown command \"%1\"").arg(command));
    } catch (const std::bad_alloc &) {
        return failure(streams, QStringLiteral("not enough memory"));
    }
    // What was printed must have reached its reader: a full disk or a closed pipe is a failure.
    if (code == 0 && (std::fflush(streams.out) != 0 || std::ferror(streams.out)))
        return failure(streams, QStringLiteral("could not write the output"));
    return code;
}
