#include "pipeline/record_change.h"

#include "core/numbers.h"
#include "plot/layers.h"
#include "stats/model_analysis.h"
#include "stats/regression.h"

#include <algorithm>

namespace {

bool loadFields(FormState &s, const RecordSource &record, Surface *surface, ColorPicker &picker)
{
    // 1. Identifier text. One that cannot be read (empty, text) leaves no identifier: never
    // the previous record's, which would name this record's map after another.
    {
        const FieldValue id = record.field(IdField);
        const auto number = id.kind == FieldValue::Kind::Value ? id.asNumber() : std::nullopt;
        if (number) {
            // The sign-or-blank text without its blank.
            s.RecordId = numbers::NumberText(*number);
            if (s.RecordId.startsWith(QLatin1Char(' ')))
                s.RecordId.remove(0, 1);
        } else {
            s.RecordId = QString();
        }
    }

    // 2. A fresh map unless overlaid.
    if (surface && !s.Overlay)
        surface->Clear();

    // 3. Curve colour: the palette colour of the ID, or the user's choice.
    if (s.AutoColor) {
        const FieldValue id = record.field(IdField);
        if (id.kind != FieldValue::Kind::Error)
            s.ColorIndex = id.raw();
        const auto number = numbers::toNumber(s.ColorIndex);
        const auto index = number ? numbers::toInteger(*number) : std::nullopt;
        if (index && *index >= 0 && *index <= 15)
            s.CurveColor = curvePaletteColor(*index);
    } else {
        s.CurveColor = picker.ShowColor();
    }

    // 4. Responses. All eleven or no fit: a half-typed record is never completed with the
    // previous record's values.
    bool complete = true;
    for (int run = 1; run <= DesignRuns; ++run) {
        const FieldValue y = record.field(responseField(run));
        const auto number = y.kind == FieldValue::Kind::Value ? y.asNumber() : std::nullopt;
        const auto single = number ? numbers::toSingle(*number) : std::nullopt;
        if (single)
            s.Response[std::size_t(run - 1)] = *single;
        else
            complete = false;
    }

    // 5. Response name, from this record alone.
    {
        const FieldValue title = record.field(TitleField);
        const auto text = title.kind == FieldValue::Kind::Value ? title.asText() : std::nullopt;
        s.ResponseTitle = text.value_or(QString());
    }
    return complete;
}

} // namespace

bool loadRecordFields(FormState &s, const RecordSource &record, ColorPicker &picker)
{
    return loadFields(s, record, nullptr, picker);
}

regression::FitReport fitLoadedRecord(FormState &s, bool responsesRead)
{
    if (responsesRead)
        return regression::FitRegression(s);
    regression::clearFit(s);
    return {regression::FitOutcome::NoResponses};
}

void LoadCurrentRecord(FormState &s, const RecordSource &record, Surface &surface,
                       ColorPicker &picker)
{
    const bool responsesRead = loadFields(s, record, &surface, picker);
    // 6.-9. The layers and the fit, in this order.
    redrawLabels(s, surface);
    redrawGrid(s, surface);
    fitLoadedRecord(s, responsesRead);
    std::vector<plot::TextBox> labels;
    if (const auto map = contourMap(s))
        plot::DrawContours(*map, surface, s.Marks.any() ? &labels : nullptr);
    if (s.Marks.any() && responsesRead) {
        if (const auto y = readResponses(record))
            plot::drawMarks(mapMarks(s, *y), plotGeometry(s), surface, labels);
    }
}

std::optional<analysis::Responses> readResponses(const RecordSource &record)
{
    analysis::Responses y{};
    for (int run = 1; run <= DesignRuns; ++run) {
        const FieldValue field = record.field(responseField(run));
        const auto v = field.kind == FieldValue::Kind::Value ? field.asNumber() : std::nullopt;
        if (!v)
            return std::nullopt;
        y[std::size_t(run - 1)] = *v;
    }
    return y;
}

std::vector<plot::Mark> mapMarks(const FormState &s, const analysis::Responses &y)
{
    std::vector<plot::Mark> marks;
    const analysis::ModelAnalysis a = analysis::analyse(y);
    const auto value = [](analysis::Figure v) {
        return v ? numbers::NumberText(numbers::roundThousandths(*v)).trimmed()
                 : QStringLiteral("—");
    };
    if (s.Marks.runs) {
        // The nine distinct design points, the centre with the mean of its three runs.
        constexpr int Distinct = DesignRuns - CentreRuns + 1;
        for (int i = 0; i < Distinct; ++i) {
            const double v = i + 1 < Distinct ? y[std::size_t(i)] : (y[8] + y[9] + y[10]) / 3;
            marks.push_back({DesignPoints[std::size_t(i)][0], DesignPoints[std::size_t(i)][1],
                             value(v), plot::Mark::Shape::Dot});
        }
    }
    const QString stationaryName = QStringLiteral("驻点");
    if (s.Marks.stationary && a.stationary)
        marks.push_back({*a.stationary->x1, *a.stationary->x2,
                         stationaryName + QLatin1Char(' ') + value(a.stationary->y),
                         plot::Mark::Shape::Box});
    if (s.Marks.optimum) {
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
    return marks;
}

plot::PlotGeometry plotGeometry(const FormState &s)
{
    return {double(s.PlotLeft),    double(s.PlotTop),     double(s.PlotSize),
            double(s.TickSpacing), double(s.TickOffsetX), double(s.TickOffsetY)};
}

std::optional<plot::ContourMap> contourMap(const FormState &s)
{
    if (!s.CoefficientsCurrent || !s.LevelsCurrent)
        return std::nullopt;
    return plot::ContourMap{{s.B0, s.B1, s.B2, s.B11, s.B22, s.B12},
                            {s.LevelMin, s.LevelMax, s.LevelStep},
                            s.CurveColor,
                            s.ShowLabels,
                            plotGeometry(s)};
}

void redrawLabels(FormState &s, Surface &surface)
{
    // The title only with labels on and overlay off: overlaid maps share one frame.
    const bool title = s.ShowLabels && !s.Overlay;
    plot::drawAxisLabels(plotGeometry(s), title ? &s.ResponseTitle : nullptr, surface);
}

void redrawGrid(FormState &s, Surface &surface)
{
    plot::drawGrid(plotGeometry(s), surface);
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

std::optional<QString> saveFileName(const FormState &s)
{
    const auto name = mapFileName(s.RecordId);
    return name ? std::optional<QString>(s.AppFolder + *name) : std::nullopt;
}
