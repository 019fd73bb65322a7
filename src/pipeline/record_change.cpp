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

void loadFields(FormState &s, const RecordSource &record, Surface *surface, ColorPicker &picker)
{
    // 1. Identifier text; an empty ID gives the no-value marker.
    {
        const FieldValue id = record.field(IdField);
        if (id.kind == FieldValue::Kind::Empty) {
            s.RecordId = QString();
        } else if (id.kind == FieldValue::Kind::Value) {
            if (const auto number = id.asNumber()) {
                // The sign-or-blank text without its blank.
                s.RecordId = numbers::NumberText(*number);
                if (s.RecordId.startsWith(QLatin1Char(' ')))
                    s.RecordId.remove(0, 1);
            }
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

    // 4. Responses, each field a step of its own.
    for (int run = 1; run <= DesignRuns; ++run) {
        const FieldValue y = record.field(responseField(run));
        if (y.kind != FieldValue::Kind::Value)
            continue;
        const auto number = y.asNumber();
        const auto single = number ? numbers::ToSingle(*number) : std::nullopt;
        if (single)
            s.Response[std::size_t(run - 1)] = *single;
    }
    s.LoopI = DesignRuns + 1;

    // 5. Response name.
    {
        const FieldValue title = record.field(TitleField);
        if (title.kind == FieldValue::Kind::Value) {
            if (const auto text = title.asText())
                s.ResponseTitle = *text;
        }
    }
}

} // namespace

void LoadRecordFields(FormState &s, const RecordSource &record, ColorPicker &picker)
{
    loadFields(s, record, nullptr, picker);
}

void LoadCurrentRecord(FormState &s, const RecordSource &record, Surface &surface,
                       ColorPicker &picker)
{
    loadFields(s, record, &surface, picker);
    // 6.-9. The layers and the fit, in this order.
    plot::DrawAxisLabels(s, surface);
    plot::DrawGrid(s, surface);
    regression::FitRegression(s);
    plot::DrawContours(s, surface);
}

QString SaveFileName(const FormState &s)
{
    return s.AppFolder + QStringLiteral("等高线图") + s.RecordId + QStringLiteral(".BMP");
}
