#include "core/text_columns.h"

#include <algorithm>

int displayWidth(const QString &text)
{
    int used = 0;
    for (const QChar c : text)
        used += c.unicode() >= 0x1100 ? 2 : 1;
    return used;
}

QString padded(const QString &text, int width, bool left)
{
    const QString fill(std::max(left ? 0 : 1, width - displayWidth(text)), QLatin1Char(' '));
    return left ? text + fill : fill + text;
}

QString textRow(const QStringList &cells, const QList<int> &widths)
{
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i)
        line += padded(cells[i], widths[i], i == 0);
    while (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    return line + QLatin1Char('\n');
}
