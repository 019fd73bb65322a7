#include "goals.h"

#include "pipeline/goal_map.h"
#include "pipeline/map_export.h"
#include "pipeline/record_change.h"
#include "pipeline/safe_file.h"
#include "plot/raster_surface.h"

int renderGoalMap(const Command &command, const QString &folder, const CliStreams &io)
{
    if (command.isSet(QStringLiteral("id")) || command.isSet(QStringLiteral("all")) ||
        command.isSet(QStringLiteral("overlay")))
        return usageError(io,
                          QStringLiteral("--goal draws one map of the goals: no --id, --all "
                                         "or --overlay"),
                          command.usage());
    if (!command.isSet(QStringLiteral("out")))
        return usageError(io, QStringLiteral("--goal needs --out FILE"), command.usage());
    const auto goals = goalRequests(command);
    if (!goals)
        return usageError(io, goals.error(), command.usage());
    const auto units = unitsRequest(command);
    if (!units)
        return usageError(io, units.error(), command.usage());
    const auto size = command.mapSize();
    if (!size)
        return usageError(io, size.error(), command.usage());
    const auto format = mapFormatNamed(command.isSet(QStringLiteral("format"))
                                           ? command.value(QStringLiteral("format"))
                                           : QStringLiteral("bmp"));
    const auto fill = command.isSet(QStringLiteral("fill"))
                          ? parseColour(command.value(QStringLiteral("fill")))
                          : std::optional<Long>(DefaultGoalFill);
    if (!format || !fill)
        return usageError(io,
                          !format ? QStringLiteral("--format must be bmp, png, svg or pdf")
                                  : QStringLiteral("--fill must look like #RRGGBB"),
                          command.usage());
    const auto read = readGoalInputs(command, *goals, *units, folder, io);
    if (const int *exit = std::get_if<int>(&read))
        return *exit;
    const GoalInputs &in = std::get<GoalInputs>(read);

    const optimise::Answer answer = optimise::optimiseGoals(in.responses);
    GoalMap map{{}, answer.optimum, answer.D, *fill, in.factors};
    for (std::size_t i = 0; i < in.goals.size(); ++i) {
        const GoalRequest &g = in.goals[i];
        map.layers.push_back({in.responses[i],
                              goalLegend(recordIdText(g.id), in.records[g.id]->name, g.goal),
                              goalColour(g.id, i)});
    }
    RasterSurface raster(size->pixels);
    const auto draw = [&](Surface &surface) {
        drawGoalMap(map, surface);
    };
    if (!isVectorFormat(*format))
        draw(raster);
    const QString path = command.value(QStringLiteral("out"));
    const Result<QByteArray> bytes = encodeMap(*format, raster.Image(), draw, *size);
    if (!bytes)
        return failure(io, bytes.failure().withPath(path));
    if (const Result<void> saved = saveFileSafely(*bytes, path, Durability::Synced); !saved)
        return failure(io, saved.failure());
    write(io.err, QStringLiteral("wrote %1\n").arg(path));
    return 0;
}
