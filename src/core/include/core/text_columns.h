#pragma once

// Plain-text tables for a fixed-width font, where a Chinese character takes two places.

#include <QList>
#include <QString>
#include <QStringList>

// The places a text takes.
int displayWidth(const QString &text);
// The text filled to `width` places, on the right (`left`) or on the left; a right-aligned
// text always keeps one place before it, so a number as wide as its column still stands
// apart from the one before it.
QString padded(const QString &text, int width, bool left);
// One line of a table: the first cell left-aligned, the others right-aligned, in columns of
// these widths; no blanks at its end.
QString textRow(const QStringList &cells, const QList<int> &widths);
