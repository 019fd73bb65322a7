#include "command.h"

#include "store/sample_db.h"

int sampleCommand(const QStringList &args, const CliStreams &io)
{
    Command command(
        Synopsis::sample,
        QStringLiteral("Writes a new database, never over an existing file: the "
                       "sample series, or N generated series."),
        {{QStringLiteral("out"), QStringLiteral("The new database file."), QStringLiteral("FILE")},
         {QStringLiteral("records"), QStringLiteral("Generate this many series (1 to 10000000)."),
          QStringLiteral("N")},
         {QStringLiteral("seed"), QStringLiteral("Seed of the generated series (default 1)."),
          QStringLiteral("N")}});
    if (const auto done = command.start(args, io))
        return *done;
    if (!command.isSet(QStringLiteral("out")))
        return usageError(io, QStringLiteral("sample needs --out FILE"), command.usage());
    const auto records = command.number(QStringLiteral("records"), 0, 1, 10'000'000);
    const auto seed = command.number(QStringLiteral("seed"), 1, 0, 2'000'000'000);
    if (!records || !seed)
        return usageError(io, !records ? records.error() : seed.error(), command.usage());
    const QString path = command.value(QStringLiteral("out"));
    const Result<void> written = command.isSet(QStringLiteral("records"))
                                     ? sample_db::writeGenerated(path, *records, unsigned(*seed))
                                     : sample_db::writeSample(path);
    return written ? 0 : failure(io, written.failure());
}
