#include "pipeline/run_sheet.h"

#include "core/csv.h"
#include "core/numbers.h"
#include "core/text_columns.h"
#include "pipeline/record_change.h"

#include <QStringList>

#include <algorithm>

RunSheet runSheet(const Factors &f, std::optional<unsigned> seed)
{
    const std::array<int, DesignRuns> order = runOrder(seed);
    const std::array<double, DesignRuns> x1 = runSettings(f.x1, 0), x2 = runSettings(f.x2, 1);
    RunSheet sheet;
    for (std::size_t i = 0; i < sheet.size(); ++i)
        sheet[i] = {int(i) + 1, order[i], DesignPoints[i][0], DesignPoints[i][1], x1[i], x2[i]};
    return sheet;
}

namespace {

QString coded(double v)
{
    return numbers::plainText(v);
}

} // namespace

QString runSheetCsv(const Factors &f, const RunSheet &sheet)
{
    const QStringList header{QStringLiteral("run"),
                             QStringLiteral("order"),
                             QStringLiteral("X1"),
                             QStringLiteral("X2"),
                             csvField(f.x1.title(), CsvColumn::Text),
                             csvField(f.x2.title(), CsvColumn::Text),
                             QStringLiteral("response")};
    QString text = header.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const RunSheetRow &r : sheet)
        text += QStringLiteral("%1,%2,%3,%4,%5,%6,\n")
                    .arg(r.run)
                    .arg(r.order)
                    .arg(coded(r.x1Coded), coded(r.x2Coded), QString::number(r.x1, 'g', 12),
                         QString::number(r.x2, 'g', 12));
    return text;
}

QString runSheetText(const Factors &f, const RunSheet &sheet, const RunSheetHeadings &h)
{
    const QStringList header{
        h.order,      h.run,     QStringLiteral("X1"), QStringLiteral("X2"), f.x1.title(),
        f.x2.title(), h.response};
    QList<int> widths{
        std::max(5, displayWidth(h.order)), std::max(5, displayWidth(h.run)) + 1, 8, 8, 0, 0, 14};
    widths[4] = std::max(10, displayWidth(header[4])) + 2;
    widths[5] = std::max(10, displayWidth(header[5])) + 2;
    const auto line = [&](const QStringList &cells) {
        return textRow(cells, widths);
    };
    QString text = line(header);
    RunSheet byOrder = sheet;
    std::sort(byOrder.begin(), byOrder.end(),
              [](const RunSheetRow &a, const RunSheetRow &b) { return a.order < b.order; });
    for (const RunSheetRow &r : byOrder)
        text += line({QString::number(r.order), QString::number(r.run), coded(r.x1Coded),
                      coded(r.x2Coded), settingText(r.x1), settingText(r.x2),
                      QStringLiteral("____________")});
    return text;
}
