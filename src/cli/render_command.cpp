#include "command.h"

#include "cli/failure_text.h"
#include "core/design.h"
#include "pipeline/batch_writer.h"
#include "pipeline/bitmap.h"
#include "pipeline/map_export.h"
#include "pipeline/record_change.h"
#include "plot/raster_surface.h"
#include "store/stream_reader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <cmath>
#include <limits>

namespace {

constexpr int DefaultSize = 1024;
constexpr int MinSize = 16;
constexpr int MaxSize = 16384;

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

} // namespace

int renderCommand(const QStringList &args, const QString &folder, const CliStreams &io)
{
    Command command(
        Synopsis::render,
        QStringLiteral("Draws exactly what a record change draws and writes Windows bitmaps "
                       "named as the save button names them (%1<ID>.BMP), each complete or "
                       "absent. With --all, --out is a folder and a record whose ID cannot name a "
                       "file of its own is skipped with a warning (exit 1). An output name that "
                       "is not a regular file (folder, device, FIFO, symbolic link) is refused.")
            .arg(MapFilePrefix),
        {databaseOption(),
         {QStringLiteral("id"), QStringLiteral("The record with this ID."), QStringLiteral("ID")},
         {QStringLiteral("all"), QStringLiteral("Every record.")},
         {QStringLiteral("out"),
          QStringLiteral("The bitmap (with --id or --overlay) or the folder (with --all)."),
          QStringLiteral("PATH")},
         {QStringLiteral("size"),
          QStringLiteral("Side of the map in pixels, %1 to %2 (default %3).")
              .arg(MinSize)
              .arg(MaxSize)
              .arg(DefaultSize),
          QStringLiteral("PIXELS")},
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
              .arg(OverlayFileName)}});
    if (const auto done = command.start(args, io))
        return *done;
    const bool all = command.isSet(QStringLiteral("all"));
    const bool byId = command.isSet(QStringLiteral("id"));
    if (all == byId)
        return usageError(io, QStringLiteral("render needs either --id ID or --all"),
                          command.usage());
    QString error;
    const auto lines = command.lineCount(&error);
    if (!lines)
        return usageError(io, error, command.usage());
    const auto size = command.number(QStringLiteral("size"), DefaultSize, MinSize, MaxSize, &error);
    if (!size)
        return usageError(io, error, command.usage());
    std::optional<Long> colour;
    if (command.isSet(QStringLiteral("colour"))) {
        colour = parseColour(command.value(QStringLiteral("colour")));
        if (!colour)
            return usageError(io,
                              QStringLiteral("--colour must look like #RRGGBB, not \"%1\"")
                                  .arg(command.value(QStringLiteral("colour"))),
                              command.usage());
    }
    std::optional<double> wantedId;
    if (byId) {
        wantedId = command.recordId(&error);
        if (!wantedId)
            return usageError(io, error, command.usage());
    }
    const bool overlay = command.isSet(QStringLiteral("overlay"));
    const auto formatNamed = mapFormatNamed(command.isSet(QStringLiteral("format"))
                                                ? command.value(QStringLiteral("format"))
                                                : QStringLiteral("bmp"));
    if (!formatNamed)
        return usageError(io,
                          QStringLiteral("--format must be bmp, png, svg or pdf, not \"%1\"")
                              .arg(command.value(QStringLiteral("format"))),
                          command.usage());
    const MapFormat format = *formatNamed;
    FormState::MapMarks marks;
    if (command.isSet(QStringLiteral("mark"))) {
        for (const QString &mark : command.value(QStringLiteral("mark")).split(QLatin1Char(','))) {
            if (mark == QLatin1String("stationary"))
                marks.stationary = true;
            else if (mark == QLatin1String("optimum"))
                marks.optimum = true;
            else if (mark == QLatin1String("runs"))
                marks.runs = true;
            else
                return usageError(io,
                                  QStringLiteral("--mark takes stationary, optimum and runs, not "
                                                 "\"%1\"")
                                      .arg(mark),
                                  command.usage());
        }
    }

    std::optional<ScratchFile> conversion; // an Access file's, gone with the command
    StreamReader reader;
    // One snapshot: the maps of a batch all come from the table as it was at its start.
    const Result<qint64> records =
        openSnapshot(reader, databasePath(command, folder), io, conversion);
    if (!records)
        return failure(io, records.failure());

    FormState state = startedFormState(folder, *lines);
    state.ShowLabels = !command.isSet(QStringLiteral("no-labels"));
    state.AutoColor = !colour;
    state.Overlay = overlay;
    state.Marks = marks;
    FixedColorPicker picker(colour.value_or(0));
    RasterSurface raster(*size);
    const bool vector = isVectorFormat(format);
    // A record's map in the chosen format: a bitmap format from the raster surface, a vector
    // format drawn anew by the same layers on a vector surface.
    const auto encodeRecord = [&](const std::vector<StreamCell> &cells) {
        const auto draw = [&](Surface &surface) {
            LoadCurrentRecord(state, StreamRecord(cells), surface, picker);
        };
        if (!vector)
            draw(raster);
        return encodeMap(format, raster.Image(), draw, *size);
    };

    const QString out = command.value(QStringLiteral("out"));
    const QDir outFolder(out.isEmpty() ? QStringLiteral(".") : out);
    constexpr qint64 First = std::numeric_limits<qint64>::min();
    constexpr qint64 Last = std::numeric_limits<qint64>::max();
    const QString extension = mapExtension(format);

    if (byId) {
        std::optional<Result<QByteArray>> map;
        const Result<void> read = reader.forEach(
            recordFieldNames(),
            [&](const std::vector<StreamCell> &cells) {
                const auto id = cells.front().field().asNumber();
                if (!id || *id != *wantedId)
                    return true;
                map = encodeRecord(cells);
                return false;
            },
            First, Last);
        if (!read)
            return failure(io, read.failure());
        if (!map)
            return failure(io, QStringLiteral("no record with ID %1 in \"%2\"")
                                   .arg(command.value(QStringLiteral("id")), reader.path()));
        const QString path =
            out.isEmpty()
                ? outFolder.filePath(mapFileName(state.RecordId, extension).value_or(QString()))
                : out;
        if (!*map)
            return failure(io, map->failure().withPath(path));
        if (const Result<void> saved = saveFileSafely(**map, path, Durability::Synced); !saved)
            return failure(io, saved.failure());
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
    // The file of the record just drawn, or nothing (said why) when it cannot have one.
    const auto pathFor = [&](const QString &shownId) -> std::optional<QString> {
        const auto name = mapFileName(state.RecordId, extension);
        const QString path = name ? outFolder.filePath(*name) : QString();
        if (!name)
            skip(shownId, QStringLiteral("the ID cannot name a file"));
        else if (usedNames.contains(path))
            skip(shownId, QStringLiteral("another record of this run has the same ID"));
        else {
            usedNames.insert(path);
            return path;
        }
        return std::nullopt;
    };
    // Every record, each drawn on `surface`: its own map, or one more layer of the overlay.
    const auto drawAll = [&](Surface &surface) {
        return reader.forEach(
            recordFieldNames(),
            [&](const std::vector<StreamCell> &cells) {
                ++position;
                const FieldValue rawId = cells.front().field();
                const QString shownId = rawId.kind == FieldValue::Kind::Value
                                            ? rawId.asText().value_or(QStringLiteral("?"))
                                            : QStringLiteral("empty");
                try {
                    if (overlay) {
                        LoadCurrentRecord(state, StreamRecord(cells), surface, picker);
                    } else if (format == MapFormat::Bmp) {
                        LoadCurrentRecord(state, StreamRecord(cells), surface, picker);
                        if (const auto path = pathFor(shownId)) {
                            writer.submit(raster.Image(), *path);
                            ++written;
                        }
                    } else {
                        const Result<QByteArray> map = encodeRecord(cells);
                        if (const auto path = pathFor(shownId)) {
                            const Result<void> saved =
                                map ? saveFileSafely(*map, *path, Durability::Deferred)
                                    : Result<void>(map.failure().withPath(*path));
                            if (saved)
                                ++written;
                            else
                                skip(shownId, cli::describeFailure(saved.failure()));
                        }
                    }
                } catch (const std::bad_alloc &) {
                    skip(shownId, QStringLiteral("not enough memory to draw its map"));
                }
                if (clock.elapsed() - lastReport >= 1000) {
                    lastReport = clock.elapsed();
                    write(
                        io.err,
                        QStringLiteral("rendered %1 of %2 records\n").arg(position).arg(*records));
                }
                return true;
            },
            First, Last);
    };
    Result<void> read;
    std::optional<Result<QByteArray>> overlaid;
    if (overlay && vector)
        overlaid = encodeMap(
            format, {}, [&](Surface &surface) { read = drawAll(surface); }, *size);
    else
        read = drawAll(raster);
    reader.endSnapshot();
    if (!read) {
        writer.finish();
        return failure(io, read.failure());
    }
    if (overlay) {
        const QString overlayName =
            QFileInfo(OverlayFileName).completeBaseName() + QLatin1Char('.') + extension;
        QString path = out.isEmpty() ? overlayName : out;
        if (QFileInfo(path).isDir())
            path = QDir(path).filePath(overlayName);
        const Result<QByteArray> map =
            overlaid ? *overlaid : encodeMap(format, raster.Image(), {}, *size);
        if (!map)
            return failure(io, map.failure().withPath(path));
        if (const Result<void> saved = saveFileSafely(*map, path, Durability::Synced); !saved)
            return failure(io, saved.failure());
        write(io.err, QStringLiteral("wrote %1 (%2 records overlaid)\n").arg(path).arg(position));
        return skipped ? FailureExit : 0;
    }
    for (const BitmapWriter::Unwritten &f : writer.finish()) {
        write(io.err, QStringLiteral("tesmora-cli: could not write %1\n")
                          .arg(cli::describeFailure(f.failure)));
        --written;
        ++skipped;
    }
    // One flush for the whole batch instead of one a file.
    if (written > 0) {
        if (const Result<void> synced = syncFolder(outFolder.path()); !synced)
            return failure(io, QStringLiteral("could not flush the maps to disk: %1")
                                   .arg(cli::describeFailure(synced.failure())));
    }
    write(io.err, QStringLiteral("wrote %1 maps").arg(written) +
                      (skipped ? QStringLiteral(", skipped %1 records\n").arg(skipped)
                               : QStringLiteral("\n")));
    return skipped ? FailureExit : 0;
}
