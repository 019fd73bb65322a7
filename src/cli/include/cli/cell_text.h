#pragma once

// A text cell of a report row as bytes: UTF-8, escaped for the text report, a JSON literal.
// Written through a pointer into room the caller made, ASCII eight units at a time.

#include <QLatin1StringView>
#include <QString>

// Writes text as UTF-8 at `out` (room for three bytes a UTF-16 unit); returns the end.
char *writeUtf8(char *out, const QString &text);
char *writeUtf8(char *out, QLatin1StringView text);
// The same with control characters (C0, DEL, C1), the line and paragraph separators and the
// backslash escaped (\t, \n, \r, \\, \xHH, \u2028, \u2029), so a text cell never breaks a row
// of the text report apart for any reader. Needs room for six bytes a unit.
char *writeEscapedUtf8(char *out, const QString &text);
char *writeEscapedUtf8(char *out, QLatin1StringView text);
// A JSON string literal.
QString jsonString(const QString &text);
