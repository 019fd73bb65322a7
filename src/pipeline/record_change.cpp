#include "pipeline/record_change.h"

#include "analysis/numbers.h"
#include "analysis/regression.h"
#include "plot/layers.h"

ColorPicker::~ColorPicker() = default;

QString AppFolderFrom(const QString &appPath)
{
    return appPath.endsWith(QLatin1Char('/')) ? appPath : appPath + QLatin1Char('/');
}

void InitializeFormState(FormState &s, const QString &appPath)
{
    s.AppFolder = AppFolderFrom(appPath);
    s.PlotLeft = 400;
    s.PlotTop = 300;
    s.TickSpacing = 600;
    s.TickOffsetX = 497;
    s.TickOffsetY = 497;
    s.LineCount = 4.0f;
    s.CurveColor = 255;
    s.PlotSize = 3395;
    s.ColorIndex = QVariant::fromValue(std::int16_t(1));
    s.RecordId = QStringLiteral("1");
    regression::InitializeDesign(s);
}

FormState StartedFormState(const QString &appPath, int lineCount)
{
    FormState s;
    InitializeFormState(s, appPath);
    s.AutoColor = true;
    s.ShowLabels = true;
    s.LineCount = float(lineCount);
    return s;
}

Long PaletteColor(int index)
{
    // The sixteen standard colours, as red, green, blue.
    static const unsigned char palette[16][3] = {
        {0, 0, 0},     {0, 0, 128},     {0, 128, 0},     {0, 128, 128},  {128, 0, 0}, {128, 0, 128},
        {128, 128, 0}, {192, 192, 192}, {128, 128, 128}, {0, 0, 255},    {0, 255, 0}, {0, 255, 255},
        {255, 0, 0},   {255, 0, 255},   {255, 255, 0},   {255, 255, 255}};
    const auto &c = palette[index];
    return Long(c[0]) | Long(c[1]) << 8 | Long(c[2]) << 16;
}

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
        const auto number = numbers::ToNumber(s.ColorIndex);
        const auto index = number ? numbers::ToInteger(*number) : std::nullopt;
        if (index && *index >= 0 && *index <= 15)
            s.CurveColor = PaletteColor(*index);
    } else {
        s.CurveColor = picker.ShowColor();
    }

    // 4. Responses. All eleven or no fit: a half-typed record is never completed with the
    // previous record's values.
    bool complete = true;
    for (int run = 1; run <= DesignRuns; ++run) {
        const FieldValue y = record.field(responseField(run));
        const auto number = y.kind == FieldValue::Kind::Value ? y.asNumber() : std::nullopt;
        const auto single = number ? numbers::ToSingle(*number) : std::nullopt;
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

bool LoadRecordFields(FormState &s, const RecordSource &record, ColorPicker &picker)
{
    return loadFields(s, record, nullptr, picker);
}

regression::FitReport FitLoadedRecord(FormState &s, bool responsesRead)
{
    if (responsesRead)
        return regression::FitRegression(s);
    regression::ClearFit(s);
    return {regression::FitOutcome::NoResponses};
}

void LoadCurrentRecord(FormState &s, const RecordSource &record, Surface &surface,
                       ColorPicker &picker)
{
    const bool responsesRead = loadFields(s, record, &surface, picker);
    // 6.-9. The layers and the fit, in this order.
    plot::DrawAxisLabels(s, surface);
    plot::DrawGrid(s, surface);
    FitLoadedRecord(s, responsesRead);
    plot::DrawContours(s, surface);
}

std::optional<QString> MapFileName(const QString &recordId)
{
    // A number's text only: no separator, no dot-dot, nothing a file system reads otherwise.
    if (recordId.isEmpty())
        return std::nullopt;
    for (const QChar c : recordId) {
        if (!(c.isDigit() || c == QLatin1Char('.') || c == QLatin1Char('-') ||
              c == QLatin1Char('+') || c == QLatin1Char('E')))
            return std::nullopt;
    }
    return QStringLiteral("等高线图") + recordId + QStringLiteral(".BMP");
}

std::optional<QString> SaveFileName(const FormState &s)
{
    const auto name = MapFileName(s.RecordId);
    return name ? std::optional<QString>(s.AppFolder + *name) : std::nullopt;
}
