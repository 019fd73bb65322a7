#pragma once

// tesmora-cli: the record pipeline without a window. Data goes to `out`; usage errors and
// failures go to `err` with a non-zero result (2 for usage, 1 for failures).

#include <QStringList>

#include <cstdio>

struct CliStreams
{
    std::FILE *out = stdout;
    std::FILE *err = stderr;
    // The program that runs the Access reader as a child (tesmora-cli itself); empty: the
    // running program.
    QString program = {};
};

// Whether the command draws maps (and so needs fonts, through a GUI application object).
bool cliNeedsGui(const QStringList &arguments);

// Runs a command line (without the program name). `programFolder` is where the default
// database lives.
int runCli(const QStringList &arguments, const QString &programFolder, CliStreams streams = {});
