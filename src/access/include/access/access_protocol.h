#pragma once

// What the Access reader (a child process) tells the program that started it: one JSON object
// a line on its standard output.

#include "core/result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace accessdb {

struct ImportSummary
{
    int tables = 0;
    qint64 rows = 0;
    QString jetVersion;   // "Jet 3", "Jet 4", "ACE"
    QString textEncoding; // of a Jet 3 file's text
    bool experimentTableStrict = false;
    bool experimentTableFound = false;
    QStringList notes; // what the user should know: renamed tables, a table that did not fit
};

struct ReaderMessage
{
    enum class Type { Progress, Done, Failed, Invalid };
    Type type = Type::Invalid;
    QString table; // Progress
    qint64 rows = 0;
    ImportSummary summary; // Done
    Failure failure;       // Failed
};

QByteArray progressLine(const QString &table, qint64 rows);
QByteArray doneLine(const ImportSummary &summary);
QByteArray failureLine(const Failure &failure);
ReaderMessage parseReaderLine(const QByteArray &line);

} // namespace accessdb
