#include "pipeline/record_change.h"

#include "core/numbers.h"
#include "plot/layers.h"

#include <algorithm>

void readRecordFields(const RecordSource &record, RecordFields &f)
{
    RecordValues read;
    record.values(read);

    // The identifier's text. One that cannot be read (empty, text) leaves none: never the
    // previous record's, which would name this record's map after another.
    f.idNumber = read.idNumber;
    if (f.idNumber)
        numbers::assignNumberText(f.id, *f.idNumber, false);
    else
        f.id = QString();

    // All eleven responses or none: a half-typed record is never completed with the previous
    // record's values.
    analysis::Responses y{};
    regression::Responses single{};
    bool numbers = true, singles = true;
    for (std::size_t run = 0; run < read.responses.size(); ++run) {
        const std::optional<double> v = read.responses[run];
        const auto s = v ? numbers::toSingle(*v) : std::nullopt;
        numbers = numbers && v.has_value();
        singles = singles && s.has_value();
        if (v)
            y[run] = *v;
        if (s)
            single[run] = *s;
    }
    f.responses = numbers ? std::optional(y) : std::nullopt;
    f.designed = numbers && singles ? std::optional(single) : std::nullopt;

    // The response name, from this record alone.
    f.title = read.title ? std::move(*read.title) : QString();
}

RecordFields readRecordFields(const RecordSource &record)
{
    RecordFields f;
    readRecordFields(record, f);
    return f;
}

QString recordIdText(double id)
{
    QString text;
    numbers::assignNumberText(text, id, false);
    return text;
}

void settleColour(CurveColour &c, bool autoColor, const RecordSource &record, ColorPicker &picker)
{
    if (!autoColor) {
        c.colour = picker.ShowColor();
        return;
    }
    const FieldValue id = record.field(IdField);
    if (id.kind != FieldValue::Kind::Error)
        c.index = id.raw();
    const auto number = numbers::toNumber(c.index);
    const auto index = number ? numbers::toInteger(*number) : std::nullopt;
    if (index && *index >= 0 && *index <= 15)
        c.colour = curvePaletteColor(*index);
}

void fitRecord(const MapOptions &options, const RecordSource &record, RecordMap &map)
{
    readRecordFields(record, map.fields); // over the record before's, reusing its buffers
    map.analysis.reset();
    map.factors = options.units.on() ? options.units.of(map.fields.idNumber) : std::nullopt;
    if (map.fields.designed)
        regression::fit(*map.fields.designed, options.lineCount, map.fit);
    else
        map.fit.outcome = regression::FitOutcome::NoResponses;
}

void loadRecord(const MapOptions &options, const RecordSource &record, ColorPicker &picker,
                RecordMap &map)
{
    fitRecord(options, record, map);
    settleColour(map.colour, options.autoColor, record, picker);
}

void drawRecord(const MapOptions &options, const RecordSource &record, Surface &surface,
                ColorPicker &picker, RecordMap &map)
{
    // A fresh map unless overlaid; cleared before the picker asks, as the window always did.
    if (!options.overlay)
        surface.Clear();
    loadRecord(options, record, picker, map);
    redrawLabels(options, map.fields.title, surface, map.factors);
    redrawGrid(surface);
    // The marks are known first, so that a drawing that moves its contour labels keeps them
    // off the marks; they are drawn last, their labels clear of the contour labels.
    const bool marked = options.marks.any() && map.fields.designed;
    std::vector<plot::Mark> marks;
    if (marked) {
        map.analysis = analysis::analyse(*map.fields.responses);
        marks = mapMarks(options.marks, *map.fields.responses, *map.analysis,
                         map.factors ? &*map.factors : nullptr);
    }
    std::vector<plot::TextBox> labels;
    if (const auto contours = contourMap(map.fit, map.colour.colour, options.showLabels))
        plot::DrawContours(*contours, surface, options.marks.any() ? &labels : nullptr,
                           plot::markSymbols(marks, plot::DesignedGeometry));
    if (marked)
        plot::drawMarks(marks, plot::DesignedGeometry, surface, labels);
}

std::vector<plot::Mark> mapMarks(const MapMarks &wanted, const analysis::Responses &y,
                                 const analysis::ModelAnalysis &a, const Factors *units)
{
    std::vector<plot::Mark> marks;
    const auto value = [](analysis::Figure v) {
        return v ? numbers::NumberText(numbers::roundThousandths(*v)).trimmed()
                 : QStringLiteral("—");
    };
    if (wanted.runs) {
        // The nine distinct design points, the centre with the mean of its three runs.
        constexpr int Distinct = DesignRuns - CentreRuns + 1;
        for (int i = 0; i < Distinct; ++i) {
            const double v = i + 1 < Distinct ? y[std::size_t(i)] : (y[8] + y[9] + y[10]) / 3;
            marks.push_back({DesignPoints[std::size_t(i)][0], DesignPoints[std::size_t(i)][1],
                             value(v), plot::Mark::Shape::Dot});
        }
    }
    const QString stationaryName = QStringLiteral("驻点");
    if (wanted.stationary && a.stationary)
        marks.push_back({*a.stationary->x1, *a.stationary->x2,
                         stationaryName + QLatin1Char(' ') + value(a.stationary->y),
                         plot::Mark::Shape::Box});
    if (wanted.optimum) {
        for (const auto &optimum : {std::pair{a.maximum, QStringLiteral("最大")},
                                    std::pair{a.minimum, QStringLiteral("最小")}}) {
            const analysis::Point &p = optimum.first;
            const QString &name = optimum.second;
            if (!p.x1 || !p.x2)
                continue; // a level surface has no optimum of its own
            // An optimum at the stationary point shares its mark.
            const auto shared = std::find_if(marks.begin(), marks.end(), [&](const plot::Mark &m) {
                return m.shape == plot::Mark::Shape::Box && m.x1 == *p.x1 && m.x2 == *p.x2 &&
                       m.label.startsWith(stationaryName);
            });
            if (shared != marks.end())
                shared->label = name + QStringLiteral("（驻点）") + value(p.y);
            else
                marks.push_back(
                    {*p.x1, *p.x2, name + QLatin1Char(' ') + value(p.y), plot::Mark::Shape::Box});
        }
    }
    for (plot::Mark &m : marks) {
        if (units && m.shape == plot::Mark::Shape::Box)
            m.label +=
                QStringLiteral("（%1, %2）")
                    .arg(settingText(units->x1.real(m.x1)), settingText(units->x2.real(m.x2)));
    }
    return marks;
}

std::optional<plot::ContourMap> contourMap(const regression::FitResult &fit, Long colour,
                                           bool showLabels)
{
    if (!fit.hasCoefficients())
        return std::nullopt;
    return plot::ContourMap{fit.b,
                            {fit.levelMin, fit.levelMax, fit.levelStep},
                            colour,
                            showLabels,
                            plot::DesignedGeometry};
}

void redrawLabels(const MapOptions &options, const QString &title, Surface &surface,
                  const std::optional<Factors> &factors)
{
    const bool withTitle = options.showLabels && !options.overlay;
    const plot::AxisTexts real = factors ? axisTexts(*factors) : plot::AxisTexts();
    plot::drawAxisLabels(plot::DesignedGeometry, withTitle ? &title : nullptr, surface,
                         factors ? &real : nullptr);
}

QString settingText(double value)
{
    return QString::number(value, 'g', 6);
}

plot::AxisTexts axisTexts(const Factors &f)
{
    // The ticks' coded places: the edges of the square, then -1 ... 1 by halves.
    constexpr double ticks[7] = {-PlotLimit, -1, -0.5, 0, 0.5, 1, PlotLimit};
    plot::AxisTexts t;
    for (std::size_t i = 0; i < 7; ++i) {
        t.x1Ticks[i] = settingText(f.x1.real(ticks[i]));
        t.x2Ticks[i] = settingText(f.x2.real(ticks[i]));
    }
    t.x1Title = f.x1.title();
    t.x2Title = f.x2.title();
    return t;
}

void redrawGrid(Surface &surface)
{
    plot::drawGrid(plot::DesignedGeometry, surface);
}

std::optional<QString> mapFileName(const QString &recordId, const QString &extension)
{
    // A number's text only: no separator, no dot-dot, nothing a file system reads otherwise.
    if (recordId.isEmpty())
        return std::nullopt;
    for (const QChar c : recordId) {
        if (!(c.isDigit() || c == QLatin1Char('.') || c == QLatin1Char('-') ||
              c == QLatin1Char('+') || c == QLatin1Char('E')))
            return std::nullopt;
    }
    return MapFilePrefix + recordId + QLatin1Char('.') + extension;
}
