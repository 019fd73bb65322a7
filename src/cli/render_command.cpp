#include "command.h"
#include "goals.h"
#include "units.h"

#include "cli/failure_text.h"
#include "core/design.h"
#include "pipeline/batch_writer.h"
#include "pipeline/bitmap.h"
#include "pipeline/map_export.h"
#include "pipeline/record_change.h"
#include "plot/raster_surface.h"
#include "store/seen_names.h"
#include "store/stream_reader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {

// What a render command asked for, its options checked.
struct RenderRequest
{
    bool byId = false;
    double id = 0;
    bool overlay = false;
    int lines = LineCountDefault;
    MapSize size{MapSizeDefault, ScreenDpi};
    std::optional<Long> colour;
    MapFormat format = MapFormat::Bmp;
    MapMarks marks;
    bool labels = true;
    QString out;
    UnitsRequest units;
};

Command renderOptions()
{
    QList<QCommandLineOption> options{
        databaseOption(),
        {QStringLiteral("id"), QStringLiteral("The record with this ID."), QStringLiteral("ID")},
        {QStringLiteral("all"), QStringLiteral("Every record.")},
        {QStringLiteral("out"),
         QStringLiteral("The bitmap (with --id or --overlay) or the folder (with --all)."),
         QStringLiteral("PATH")},
        lineCountOption(),
        {QStringLiteral("no-labels"), QStringLiteral("No contour values and no title.")},
        {QStringLiteral("colour"),
         QStringLiteral("One curve colour instead of the automatic colours."),
         QStringLiteral("#RRGGBB")},
        {QStringLiteral("format"),
         QStringLiteral("bmp (default, as the save button writes), png, or svg and pdf as vector "
                        "drawings of the same map; the file name's extension follows."),
         QStringLiteral("FORMAT")},
        {QStringLiteral("mark"),
         QStringLiteral("Mark on each map: any of stationary (the stationary point), optimum "
                        "(the largest and smallest predicted response) and runs (the design "
                        "points with their measured responses), separated by commas."),
         QStringLiteral("LIST")},
        {QStringLiteral("overlay"),
         QStringLiteral("Overlay the maps of all records in one bitmap (%1).")
             .arg(OverlayFileName)},
        {QStringLiteral("goal"),
         QStringLiteral("Instead of records' maps, one map of goals (as optimise takes them): "
                        "the region meeting every goal shaded, each goal's limit lines, the "
                        "optimum and a legend. Repeat for each goal; --out names the file."),
         QStringLiteral("GOAL")},
        {QStringLiteral("importance"), QStringLiteral("A goal's importance (with --goal)."),
         QStringLiteral("ID=R")},
        {QStringLiteral("fill"),
         QStringLiteral("The colour of the region meeting every goal (default #FFF2A8)."),
         QStringLiteral("#RRGGBB")},
        {QStringLiteral("coded"),
         QStringLiteral("With --goal and --units: coded units when the records' factors differ.")}};
    options << mapSizeOptions() << unitsOptions(true);
    return Command(
        Synopsis::render,
        QStringLiteral("Draws exactly what a record change draws and writes Windows bitmaps "
                       "named as the save button names them (%1<ID>.BMP), each complete or "
                       "absent. With --all, --out is a folder and a record whose ID cannot name a "
                       "file of its own is skipped with a warning (exit 1). An output name that "
                       "is not a regular file (folder, device, FIFO, symbolic link) is refused.")
                .arg(MapFilePrefix) +
            QStringLiteral(" With factors in real units, the axes are labelled in real "
                           "settings at the same ticks, titled NAME (UNIT)."),
        options);
}

// --mark's list.
Checked<MapMarks> parseMarks(const QString &list)
{
    MapMarks marks;
    for (const QString &mark : list.split(QLatin1Char(','))) {
        if (mark == QLatin1String("stationary"))
            marks.stationary = true;
        else if (mark == QLatin1String("optimum"))
            marks.optimum = true;
        else if (mark == QLatin1String("runs"))
            marks.runs = true;
        else
            return Checked<MapMarks>::refused(
                QStringLiteral("--mark takes stationary, optimum and runs, not \"%1\"").arg(mark));
    }
    return marks;
}

// The request, or the usage error that ends the command.
Checked<RenderRequest> parseRequest(const Command &command)
{
    RenderRequest r;
    const bool all = command.isSet(QStringLiteral("all"));
    r.byId = command.isSet(QStringLiteral("id"));
    using Refused = Checked<RenderRequest>;
    if (all == r.byId)
        return Refused::refused(QStringLiteral("render needs either --id ID or --all"));
    const auto lines = command.lineCount();
    if (!lines)
        return Refused::refused(lines.error());
    const auto size = command.mapSize();
    if (!size)
        return Refused::refused(size.error());
    r.lines = *lines;
    r.size = *size;
    if (command.isSet(QStringLiteral("colour"))) {
        r.colour = parseColour(command.value(QStringLiteral("colour")));
        if (!r.colour)
            return Refused::refused(QStringLiteral("--colour must look like #RRGGBB, not \"%1\"")
                                        .arg(command.value(QStringLiteral("colour"))));
    }
    if (r.byId) {
        const auto id = command.recordId();
        if (!id)
            return Refused::refused(id.error());
        r.id = *id;
    }
    r.overlay = command.isSet(QStringLiteral("overlay"));
    const auto format = mapFormatNamed(command.isSet(QStringLiteral("format"))
                                           ? command.value(QStringLiteral("format"))
                                           : QStringLiteral("bmp"));
    if (!format)
        return Refused::refused(QStringLiteral("--format must be bmp, png, svg or pdf, not \"%1\"")
                                    .arg(command.value(QStringLiteral("format"))));
    r.format = *format;
    if (command.isSet(QStringLiteral("mark"))) {
        const auto marks = parseMarks(command.value(QStringLiteral("mark")));
        if (!marks)
            return Refused::refused(marks.error());
        r.marks = *marks;
    }
    const auto units = unitsRequest(command);
    if (!units)
        return Refused::refused(units.error());
    r.units = *units;
    r.labels = !command.isSet(QStringLiteral("no-labels"));
    r.out = command.value(QStringLiteral("out"));
    return r;
}

constexpr qint64 First = std::numeric_limits<qint64>::min();
constexpr qint64 Last = std::numeric_limits<qint64>::max();

// One run of the command: the request, the table's snapshot, the record change's values and
// the surface it draws on.
class Render
{
public:
    Render(const RenderRequest &request, StreamReader &reader, qint64 records,
           const FactorDefinitions &definitions, const CliStreams &io)
        : m_r(request)
        , m_reader(reader)
        , m_records(records)
        , m_io(io)
        , m_options{!request.colour,      request.labels, request.overlay,
                    float(request.lines), request.marks,  request.units.choice(&definitions)}
        , m_picker(request.colour.value_or(0))
        , m_raster(request.size.pixels)
        , m_outFolder(request.out.isEmpty() ? QStringLiteral(".") : request.out)
        , m_extension(mapExtension(request.format))
    {
    }

    int one(const QString &shownId);
    int all();

private:
    Result<QByteArray> encodeRecord(const std::vector<StreamCell> &cells);
    std::optional<QString> pathFor(const QString &shownId);
    void skip(const QString &id, const QString &why);
    void renderRecord(const std::vector<StreamCell> &cells, Surface &surface);
    Result<void> drawAll(Surface &surface);
    int writeOverlay(const std::optional<Result<QByteArray>> &overlaid);
    int finishBatch();

    const RenderRequest &m_r;
    StreamReader &m_reader;
    qint64 m_records;
    const CliStreams &m_io;
    MapOptions m_options;
    RecordMap m_record;
    FixedColorPicker m_picker;
    RasterSurface m_raster;
    QDir m_outFolder;
    QString m_extension;
    BitmapWriter m_writer{Durability::Deferred};
    SeenNames m_seen; // the names written so far, on disk: a batch of any size stays small
    QElapsedTimer m_clock;
    qint64 m_lastReport = 0;
    qint64 m_position = 0;
    int m_written = 0, m_skipped = 0;
};

// A record's map in the chosen format: a bitmap format from the raster surface, a vector
// format drawn anew by the same layers on a vector surface.
Result<QByteArray> Render::encodeRecord(const std::vector<StreamCell> &cells)
{
    const auto draw = [&](Surface &surface) {
        drawRecord(m_options, StreamRecord(cells), surface, m_picker, m_record);
    };
    if (!isVectorFormat(m_r.format))
        draw(m_raster);
    return encodeMap(m_r.format, m_raster.Image(), draw, m_r.size);
}

int Render::one(const QString &shownId)
{
    std::optional<Result<QByteArray>> map;
    const Result<void> read = m_reader.forEach(
        recordFieldNames(),
        [&](const std::vector<StreamCell> &cells) {
            const auto id = cells.front().field().asNumber();
            if (!id || *id != m_r.id)
                return true;
            map = encodeRecord(cells);
            return false;
        },
        First, Last);
    if (!read)
        return failure(m_io, read.failure());
    if (!map)
        return failure(
            m_io, QStringLiteral("no record with ID %1 in \"%2\"").arg(shownId, m_reader.path()));
    const QString path =
        m_r.out.isEmpty()
            ? m_outFolder.filePath(mapFileName(m_record.fields.id, m_extension).value_or(QString()))
            : m_r.out;
    if (!*map)
        return failure(m_io, map->failure().withPath(path));
    if (const Result<void> saved = saveFileSafely(**map, path, Durability::Synced); !saved)
        return failure(m_io, saved.failure());
    write(m_io.err, QStringLiteral("wrote %1\n").arg(path));
    return 0;
}

void Render::skip(const QString &id, const QString &why)
{
    write(m_io.err,
          QStringLiteral("tesmora-cli: skipped row %1 (ID %2): %3\n").arg(m_position).arg(id, why));
    ++m_skipped;
}

// The file of the record just drawn, or nothing (said why) when it cannot have one.
std::optional<QString> Render::pathFor(const QString &shownId)
{
    const auto name = mapFileName(m_record.fields.id, m_extension);
    const QString path = name ? m_outFolder.filePath(*name) : QString();
    if (!name)
        skip(shownId, QStringLiteral("the ID cannot name a file"));
    else if (const Result<bool> first = m_seen.first(path); !first)
        skip(shownId, QStringLiteral("the batch's file names could not be kept: %1")
                          .arg(cli::describeFailure(first.failure())));
    else if (!*first)
        skip(shownId, QStringLiteral("another record of this run has the same ID"));
    else
        return path;
    return std::nullopt;
}

// One record of a batch: its own map, or one more layer of the overlay.
void Render::renderRecord(const std::vector<StreamCell> &cells, Surface &surface)
{
    ++m_position;
    const FieldValue rawId = cells.front().field();
    const QString shownId = rawId.kind == FieldValue::Kind::Value
                                ? rawId.asText().value_or(QStringLiteral("?"))
                                : QStringLiteral("empty");
    try {
        if (m_r.overlay) {
            drawRecord(m_options, StreamRecord(cells), surface, m_picker, m_record);
        } else if (m_r.format == MapFormat::Bmp) {
            drawRecord(m_options, StreamRecord(cells), surface, m_picker, m_record);
            if (const auto path = pathFor(shownId)) {
                m_writer.submit(m_raster.Image(), *path);
                ++m_written;
            }
        } else {
            const Result<QByteArray> map = encodeRecord(cells);
            if (const auto path = pathFor(shownId)) {
                const Result<void> saved = map ? saveFileSafely(*map, *path, Durability::Deferred)
                                               : Result<void>(map.failure().withPath(*path));
                if (saved)
                    ++m_written;
                else
                    skip(shownId, cli::describeFailure(saved.failure()));
            }
        }
    } catch (const std::bad_alloc &) {
        skip(shownId, QStringLiteral("not enough memory to draw its map"));
    }
    if (m_clock.elapsed() - m_lastReport >= 1000) {
        m_lastReport = m_clock.elapsed();
        write(m_io.err,
              QStringLiteral("rendered %1 of %2 records\n").arg(m_position).arg(m_records));
    }
}

Result<void> Render::drawAll(Surface &surface)
{
    return m_reader.forEach(
        recordFieldNames(),
        [&](const std::vector<StreamCell> &cells) {
            renderRecord(cells, surface);
            return true;
        },
        First, Last);
}

int Render::all()
{
    if (!m_r.overlay && !m_r.out.isEmpty() && !QFileInfo(m_r.out).isDir())
        return failure(
            m_io,
            QStringLiteral("--out must be an existing folder with --all: \"%1\"").arg(m_r.out));
    m_clock.start();
    Result<void> read;
    std::optional<Result<QByteArray>> overlaid;
    if (m_r.overlay && isVectorFormat(m_r.format))
        overlaid = encodeMap(
            m_r.format, {}, [&](Surface &surface) { read = drawAll(surface); }, m_r.size);
    else
        read = drawAll(m_raster);
    m_reader.endSnapshot();
    if (!read) {
        m_writer.finish();
        return failure(m_io, read.failure());
    }
    return m_r.overlay ? writeOverlay(overlaid) : finishBatch();
}

int Render::writeOverlay(const std::optional<Result<QByteArray>> &overlaid)
{
    const QString overlayName =
        QFileInfo(OverlayFileName).completeBaseName() + QLatin1Char('.') + m_extension;
    QString path = m_r.out.isEmpty() ? overlayName : m_r.out;
    if (QFileInfo(path).isDir())
        path = QDir(path).filePath(overlayName);
    const Result<QByteArray> map =
        overlaid ? *overlaid : encodeMap(m_r.format, m_raster.Image(), {}, m_r.size);
    if (!map)
        return failure(m_io, map.failure().withPath(path));
    if (const Result<void> saved = saveFileSafely(*map, path, Durability::Synced); !saved)
        return failure(m_io, saved.failure());
    write(m_io.err, QStringLiteral("wrote %1 (%2 records overlaid)\n").arg(path).arg(m_position));
    return m_skipped ? FailureExit : 0;
}

int Render::finishBatch()
{
    for (const BitmapWriter::Unwritten &f : m_writer.finish()) {
        write(m_io.err, QStringLiteral("tesmora-cli: could not write %1\n")
                            .arg(cli::describeFailure(f.failure)));
        --m_written;
        ++m_skipped;
    }
    // One flush for the whole batch instead of one a file.
    if (m_written > 0) {
        if (const Result<void> synced = syncFolder(m_outFolder.path()); !synced)
            return failure(m_io, QStringLiteral("could not flush the maps to disk: %1")
                                     .arg(cli::describeFailure(synced.failure())));
    }
    write(m_io.err, QStringLiteral("wrote %1 maps").arg(m_written) +
                        (m_skipped ? QStringLiteral(", skipped %1 records\n").arg(m_skipped)
                                   : QStringLiteral("\n")));
    return m_skipped ? FailureExit : 0;
}

} // namespace

int renderCommand(const QStringList &args, const QString &folder, const CliStreams &io)
{
    Command command = renderOptions();
    command.allowRepeated({QStringLiteral("goal"), QStringLiteral("importance")});
    if (const auto done = command.start(args, io))
        return *done;
    if (command.isSet(QStringLiteral("goal")))
        return renderGoalMap(command, folder, io);
    const auto parsed = parseRequest(command);
    if (!parsed)
        return usageError(io, parsed.error(), command.usage());
    const RenderRequest &request = *parsed;
    std::optional<ScratchFile> conversion; // an Access file's, gone with the command
    StreamReader reader;
    // One snapshot: the maps of a batch all come from the table as it was at its start.
    const Result<void> opened = openSnapshot(reader, databasePath(command, folder), io, conversion);
    if (!opened)
        return failure(io, opened.failure());
    const Result<qint64> records = reader.count(); // for the progress lines
    if (!records)
        return failure(io, records.failure());
    const Result<FactorDefinitions> definitions = storedDefinitions(request.units, reader.path());
    if (!definitions)
        return failure(io, definitions.failure());
    Render render(request, reader, *records, *definitions, io);
    return request.byId ? render.one(command.value(QStringLiteral("id"))) : render.all();
}
