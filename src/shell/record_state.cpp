#include "shell/record_state.h"

#include <algorithm>

namespace {

// Copies a text into a buffer of its own, so neither side reallocates on the next record.
void copyText(QString &to, QLatin1StringView from)
{
    to.resize(0);
    to.append(from);
}

} // namespace

MapOptions mapOptions(const FormState &s)
{
    return {s.AutoColor, s.ShowLabels,
            s.Overlay,   s.LineCount,
            s.Marks,     {std::nullopt, std::nullopt, s.RealUnits ? &s.Definitions : nullptr}};
}

void LoadCurrentRecord(FormState &s, RecordMap &map, const RecordSource &record, Surface &surface,
                       ColorPicker &picker)
{
    map.colour = {s.ColorIndex, s.CurveColor};
    drawRecord(mapOptions(s), record, surface, picker, map);
    s.RecordId = map.fields.id;
    s.ColorIndex = map.colour.index;
    s.CurveColor = map.colour.colour;
    if (map.fields.designed)
        std::copy(map.fields.designed->begin(), map.fields.designed->end(), s.Response.begin());
    s.ResponseTitle = map.fields.title;
    if (map.fields.designed)
        showFit(s, map.fit);
    else
        clearFit(s);
}

void FitRegression(FormState &s)
{
    thread_local regression::FitResult fit;
    regression::Responses y;
    std::copy_n(s.Response.begin(), DesignRuns, y.begin());
    regression::fit(y, s.LineCount, fit);
    showFit(s, fit);
}

void clearFit(FormState &s)
{
    s.LevelsCurrent = false;
    s.CoefficientsCurrent = false;
    // Emptied, keeping their buffers for the texts of the next fit.
    s.Text2.resize(0);
    s.Text3.resize(0);
    s.Text4.resize(0);
}

void showFit(FormState &s, const regression::FitResult &f)
{
    clearFit(s);
    s.LevelMax = f.levelMax;
    s.LevelMin = f.levelMin;
    if (!f.hasLevelStep())
        return;
    s.LevelStep = f.levelStep;
    s.LevelsCurrent = true;
    if (!f.hasCoefficients())
        return;
    s.ColumnSums = f.columnSums;
    s.B0 = f.b.b0;
    s.B1 = f.b.b1;
    s.B2 = f.b.b2;
    s.B11 = f.b.b11;
    s.B22 = f.b.b22;
    s.B12 = f.b.b12;
    s.CoefficientsCurrent = true;
    QString *const terms[] = {&s.TermB0, &s.TermB1, &s.TermB2, &s.TermB11, &s.TermB22, &s.TermB12};
    for (std::size_t i = 0; i < f.terms.size(); ++i)
        copyText(*terms[i], f.terms[i].view());
    copyText(s.EquationText, f.equation.view());
    s.Text2.append(f.equation.view());
    s.Fitted = f.fitted;
    if (!f.complete())
        return;
    s.Text3.append(f.rText.view());
    s.Text4.append(f.sText.view());
}

std::optional<QString> saveFileName(const FormState &s)
{
    const auto name = mapFileName(s.RecordId);
    return name ? std::optional<QString>(s.AppFolder + *name) : std::nullopt;
}
