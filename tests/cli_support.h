#pragma once

// Runs tesmora-cli in process and keeps what it printed.

#include "cli/cli.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdio>

struct CliResult
{
    int code;
    QString out;
    QString err;
};

inline QString readAndClose(std::FILE *f)
{
    std::rewind(f);
    QByteArray bytes;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, f))
        bytes.append(buffer, qsizetype(n));
    std::fclose(f);
    return QString::fromUtf8(bytes);
}

inline CliResult run(const QStringList &args,
                     const QString &folder = QStringLiteral("/nonexistent"))
{
    CliStreams io{std::tmpfile(), std::tmpfile(), QStringLiteral(TESMORA_CLI)};
    const int code = runCli(args, folder, io);
    return {code, readAndClose(io.out), readAndClose(io.err)};
}

// How many pixels of a map have exactly this colour (a curve's, a fill's).
inline int pixelsOf(const QImage &image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour ? 1 : 0;
    return n;
}
