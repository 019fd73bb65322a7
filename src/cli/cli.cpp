#include "cli/cli.h"

#include "analysis/experiment_table.h"
#include "analysis/numbers.h"
#include "analysis/regression.h"
#include "analysis/sample_db.h"
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

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
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

// A record of the streamed report: ID, Y1 ... Y11, Y12 in that order, as the query asks.
class RowRecord : public RecordSource
{
public:
    explicit RowRecord(const std::vector<StreamCell> &cells)
        : m_cells(cells)
    {
    }
    FieldValue field(const QString &name) const override
    {
        const int i = slotOf(name);
        return i < 0 ? FieldValue::error() : m_cells[std::size_t(i)].field();
    }

private:
    static int slotOf(const QString &name)
    {
        // Record loading asks with the very strings of the field names: match those first.
        static const std::array<const QChar *, 13> known = [] {
            std::array<const QChar *, 13> k{IdField.constData()};
            for (int run = 1; run <= 11; ++run)
                k[std::size_t(run)] = responseField(run).constData();
            k[12] = TitleField.constData();
            return k;
        }();
        for (std::size_t i = 0; i < known.size(); ++i) {
            if (name.constData() == known[i])
                return int(i);
        }
        if (name == IdField)
            return 0;
        if (name.size() < 2 || name.size() > 3 || name.front() != QLatin1Char('Y'))
            return -1;
        bool ok = false;
        const int run = QStringView(name).mid(1).toInt(&ok);
        return ok && run >= 1 && run <= 12 && name.at(1) != QLatin1Char('0') ? run : -1;
    }
    const std::vector<StreamCell> &m_cells;
};

QStringList recordFieldNames()
{
    QStringList names{IdField};
    for (int run = 1; run <= DesignRuns; ++run)
        names << responseField(run);
    names << TitleField;
    return names;
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
    FormState state = StartedFormState(folder, *lines);
    for (int i = 0; i < DesignRuns; ++i) {
        bool ok = false;
        const double value = QLocale::c().toDouble(p->positional[i].trimmed(), &ok);
        const auto single = ok ? numbers::ToSingle(value) : std::nullopt;
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
    for (float level : plot::ContourLevels(state))
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
    return p.options.value(QStringLiteral("db"), AppFolderFrom(folder) + DatabaseFileName);
}

// Below this many records a table is reported on one thread.
constexpr int MinSplitRecords = 5000;

// Whether every field of a report row that the table has can be read: then the record's row
// depends on no record before it.
bool readsWhole(const std::vector<StreamCell> &cells)
{
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].type == StreamCell::Type::Missing)
            continue; // a column the table lacks never changes anything
        const FieldValue f = cells[i].field();
        if (i == 12) {
            if (!f.asText())
                return false;
            continue;
        }
        // The ID needs a number; a response one within single precision.
        const std::optional<double> number = f.asNumber();
        if (!number || (i > 0 && !numbers::ToSingle(*number)))
            return false;
    }
    return true;
}

// The report's rows: each record through the record loading and the fit, then as text.
class ReportRows
{
public:
    ReportRows(const QString &format, const QString &folder, int lines, std::FILE *out)
        : m_state(StartedFormState(folder, lines))
        , m_picker(m_state.CurveColor)
        , m_json(format == QLatin1String("json"))
        , m_csv(format == QLatin1String("csv"))
        , m_out(out)
    {
        m_line.reserve(2 * ChunkBytes);
    }

    // Writes what the rows made so far.
    void flush()
    {
        std::fwrite(m_line.constData(), 1, std::size_t(m_line.size()), m_out);
        m_line.resize(0);
    }

    void add(const std::vector<StreamCell> &cells, bool first)
    {
        FormState &state = m_state;
        LoadRecordFields(state, RowRecord(cells), m_picker);
        const regression::FitReport fit = regression::FitRegression(state);
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
                        3 * (id.size() + title.size() + equation.size() + state.Text3.size() +
                             state.Text4.size()) +
                        6 * 32 + 16);
            char *p = line.data() + at;
            const char sep = m_csv ? ',' : '\t';
            // Tabs and line breaks inside a text cell would break the row apart.
            const auto cell = [&](const QString &text) {
                char *start = p;
                p = writeUtf8(p, text);
                if (!m_csv)
                    std::replace_if(
                        start, p, [](char c) { return c == '\t' || c == '\n'; }, ' ');
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

private:
    static constexpr qsizetype ChunkBytes = 1 << 16;
    FormState m_state;
    FixedColorPicker m_picker;
    bool m_json;
    bool m_csv;
    std::FILE *m_out;
    QByteArray m_line; // rows not yet written
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

    // Streamed: neither the records nor their rowids are held, whatever the table's size.
    ExperimentTable table;
    if (!table.openForStreaming(databasePath(*p, folder), &error))
        return failure(io, error);
    const std::optional<qint64> records = table.countRecords(&error);
    if (!records)
        return failure(io, QStringLiteral("reading \"%1\" failed: %2").arg(table.path(), error));

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

    // Records follow one another as in the window: a field that cannot be read keeps the value
    // of the record before it. A record whose every field reads depends on none before it, so
    // a large table is split there and its second part runs on a thread of its own, written
    // to a scratch file and copied after the first: two cores, memory that does not grow.
    const qint64 count = *records;
    qint64 middle = count >= 2 * MinSplitRecords ? count / 2 : count;
    qint64 from = -1; // the rowid the second part starts from
    if (middle < count) {
        if (const std::optional<qint64> found = table.rowIdAtOffset(middle, &error))
            from = *found;
    }
    if (from < 0)
        middle = count;
    std::promise<qint64> splitFound; // where the second part starts; `count` when it does not
    std::future<qint64> split = splitFound.get_future();
    std::FILE *tail = middle < count ? std::tmpfile() : nullptr;
    if (!tail)
        middle = count;
    QString tailError;
    std::thread second;
    if (tail) {
        second = std::thread([&, path = table.path()] {
            ExperimentTable own;
            QString err;
            bool announced = false;
            const auto announce = [&](qint64 at) {
                if (!announced)
                    splitFound.set_value(at);
                announced = true;
            };
            // Should the table have changed since, the first part does it all.
            if (own.openForStreaming(path, &err)) {
                ReportRows rows(format, folder, *lines, tail);
                qint64 position = middle;
                const bool ok = own.forEachInRowIds(
                    recordFieldNames(),
                    [&](const std::vector<StreamCell> &cells) {
                        if (!announced && !readsWhole(cells)) {
                            ++position;
                            return true;
                        }
                        announce(position);
                        rows.add(cells, false);
                        return true;
                    },
                    &err, from, std::numeric_limits<qint64>::max());
                rows.flush();
                if (!ok && announced)
                    tailError = err;
            }
            announce(count);
        });
    } else {
        splitFound.set_value(count);
    }

    ReportRows rows(format, folder, *lines, io.out);
    qint64 position = 0;
    qint64 stop = count;
    const bool ok = table.forEachInRowIds(
        recordFieldNames(),
        [&](const std::vector<StreamCell> &cells) {
            if (position == middle)
                stop = split.get();
            if (position++ >= stop)
                return false;
            rows.add(cells, position == 1);
            return true;
        },
        &error, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    rows.flush();
    if (second.joinable())
        second.join();
    if (tail) {
        std::rewind(tail);
        char buffer[1 << 16];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, tail))
            std::fwrite(buffer, 1, n, io.out);
        std::fclose(tail);
    }
    if (json)
        write(io.out, QStringLiteral("\n]\n"));
    if (!ok || !tailError.isEmpty())
        return failure(
            io,
            QStringLiteral("reading \"%1\" failed: %2").arg(table.path(), ok ? tailError : error));
    if (std::fflush(io.out) != 0 || std::ferror(io.out))
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

// Whether a record identifier can name a bitmap file of its own.
bool namesAFile(const QString &recordId)
{
    if (recordId.isEmpty())
        return false;
    for (const QChar c : recordId) {
        if (!(c.isDigit() || c == QLatin1Char('.') || c == QLatin1Char('-') ||
              c == QLatin1Char('+') || c == QLatin1Char('E')))
            return false;
    }
    return true;
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

    ExperimentTable table;
    if (!table.open(databasePath(*p, folder), ExperimentTable::Mode::ReadOnly, &error))
        return failure(io, error);
    table.fetchMore(-1); // every record has its position

    FormState state = StartedFormState(folder, *lines);
    state.ShowLabels = !p->options.contains(QStringLiteral("no-labels"));
    state.AutoColor = !colour;
    state.Overlay = overlay;
    FixedColorPicker picker(colour.value_or(0));
    RasterSurface surface(*size);

    const QString out = p->options.value(QStringLiteral("out"));
    const auto nameIn = [&](const QString &dir) {
        return QDir(dir.isEmpty() ? QStringLiteral(".") : dir)
            .filePath(QStringLiteral("等高线图") + state.RecordId + QStringLiteral(".BMP"));
    };

    if (byId) {
        for (int position = 0; position < table.count(); ++position) {
            const auto id = numbers::ToNumber(table.field(position, IdField).value);
            if (!id || *id != *wantedId)
                continue;
            LoadCurrentRecord(state, TableRecord(table, position), surface, picker);
            const QString path = out.isEmpty() ? nameIn(QString()) : out;
            if (!SaveBitmap(surface.Image(), path, &error))
                return failure(io, QStringLiteral("could not write \"%1\": %2").arg(path, error));
            write(io.err, QStringLiteral("wrote %1\n").arg(path));
            return 0;
        }
        return failure(io, QStringLiteral("no record with ID %1 in \"%2\"")
                               .arg(p->options.value(QStringLiteral("id")), table.path()));
    }

    if (!overlay && !out.isEmpty() && !QFileInfo(out).isDir())
        return failure(
            io, QStringLiteral("--out must be an existing folder with --all: \"%1\"").arg(out));

    QElapsedTimer clock;
    clock.start();
    qint64 lastReport = 0;
    int written = 0, skipped = 0;
    QSet<QString> usedNames;
    BitmapWriter writer(Durability::Deferred);
    for (int position = 0; position < table.count(); ++position) {
        const QString before = state.RecordId;
        LoadCurrentRecord(state, TableRecord(table, position), surface, picker);
        if (!overlay) {
            // An ID that failed to read leaves the previous record's name: never reuse it.
            const QVariant rawId = table.field(position, IdField).value;
            const bool idRead = numbers::ToNumber(rawId).has_value();
            const QString path = nameIn(out);
            if (!idRead || !namesAFile(state.RecordId) || usedNames.contains(path)) {
                write(io.err,
                      QStringLiteral("tesmora-cli: skipped row %1 (ID %2): %3\n")
                          .arg(position + 1)
                          .arg(rawId.isNull() ? QStringLiteral("empty") : rawId.toString(),
                               idRead && namesAFile(state.RecordId)
                                   ? QStringLiteral("another record of this run has the same ID")
                                   : QStringLiteral("the ID cannot name a file")));
                ++skipped;
                continue;
            }
            writer.submit(surface.Image(), path);
            usedNames.insert(path);
            ++written;
        }
        if (clock.elapsed() - lastReport >= 1000) {
            lastReport = clock.elapsed();
            write(
                io.err,
                QStringLiteral("rendered %1 of %2 records\n").arg(position + 1).arg(table.count()));
        }
    }
    if (overlay) {
        QString path = out.isEmpty() ? QStringLiteral("等高线图重叠.BMP") : out;
        if (QFileInfo(path).isDir())
            path = QDir(path).filePath(QStringLiteral("等高线图重叠.BMP"));
        if (!SaveBitmap(surface.Image(), path, &error))
            return failure(io, QStringLiteral("could not write \"%1\": %2").arg(path, error));
        write(io.err,
              QStringLiteral("wrote %1 (%2 records overlaid)\n").arg(path).arg(table.count()));
        return 0;
    }
    for (const BitmapWriter::Failure &f : writer.finish()) {
        write(io.err,
              QStringLiteral("tesmora-cli: could not write \"%1\": %2\n").arg(f.path, f.reason));
        --written;
        ++skipped;
    }
    // One flush for the whole batch instead of one a file.
    if (written > 0 && !SyncFolder(out.isEmpty() ? QStringLiteral(".") : out, &error))
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
    if (command == QLatin1String("--help") || command == QLatin1String("help")) {
        std::fputs(Usage, streams.out);
        return 0;
    }
    if (command == QLatin1String("fit"))
        return fitCommand(rest, programFolder, streams);
    if (command == QLatin1String("report"))
        return reportCommand(rest, programFolder, streams);
    if (command == QLatin1String("render"))
        return renderCommand(rest, programFolder, streams);
    if (command == QLatin1String("sample"))
        return sampleCommand(rest, streams);
    return usageError(streams, QStringLiteral("unknown command \"%1\"").arg(command));
}
