#pragma once

// Plain-text tables for a fixed-width font, where a Chinese character takes two places.

#include <QString>

// The places a text takes.
int displayWidth(const QString &text);
// The text filled to `width` places, on the right (`left`) or on the left; a right-aligned
// text always keeps one place before it, so a number as wide as its column still stands
// apart from the one before it.
QString padded(const QString &text, int width, bool left);
