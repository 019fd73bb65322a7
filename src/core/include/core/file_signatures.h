#pragma once

// What a file's first bytes say it is: the one place that knows the signatures of the
// database files the program meets.

#include <QByteArray>

// A SQLite database file.
inline bool hasSqliteHeader(const QByteArray &head)
{
    return head.startsWith(QByteArray("SQLite format 3\0", 16));
}

// An Access database (Jet 3, Jet 4 or ACE).
inline bool hasAccessHeader(const QByteArray &head)
{
    return head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB";
}
