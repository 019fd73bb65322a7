#include "core/form_defaults.h"

void initializeDesign(FormState &s)
{
    const DesignConstants &d = designConstants();
    s.DesignMatrix = d.matrix;
    s.TwoAlphaFourth = d.twoAlphaFourth;
    s.SumSquares = d.sumSquares;
    s.SumFourth = d.sumFourth;
    s.BlockDeterminant = d.blockDeterminant;
    s.WeightMean = d.weightMean;
    s.WeightSame = d.weightSame;
    s.WeightCross = d.weightCross;
    s.WeightOther = d.weightOther;
}

QString appFolderFrom(const QString &appPath)
{
    return appPath.endsWith(QLatin1Char('/')) ? appPath : appPath + QLatin1Char('/');
}

void initializeFormState(FormState &s, const QString &appPath)
{
    s.AppFolder = appFolderFrom(appPath);
    s.PlotLeft = 400;
    s.PlotTop = 300;
    s.TickSpacing = 600;
    s.TickOffsetX = 497;
    s.TickOffsetY = 497;
    s.LineCount = float(LineCountDefault);
    s.CurveColor = 255;
    s.PlotSize = 3395;
    s.ColorIndex = QVariant::fromValue(std::int16_t(1));
    s.RecordId = QStringLiteral("1");
    initializeDesign(s);
}

FormState startedFormState(const QString &appPath, int lineCount)
{
    FormState s;
    initializeFormState(s, appPath);
    s.AutoColor = true;
    s.ShowLabels = true;
    s.LineCount = float(lineCount);
    return s;
}

Long paletteColor(int index)
{
    // The sixteen standard colours, as red, green, blue.
    static const unsigned char palette[16][3] = {
        {0, 0, 0},     {0, 0, 128},     {0, 128, 0},     {0, 128, 128},  {128, 0, 0}, {128, 0, 128},
        {128, 128, 0}, {192, 192, 192}, {128, 128, 128}, {0, 0, 255},    {0, 255, 0}, {0, 255, 255},
        {255, 0, 0},   {255, 0, 255},   {255, 255, 0},   {255, 255, 255}};
    const auto &c = palette[index];
    return packedColour(c[0], c[1], c[2]);
}

Long curvePaletteColor(int index)
{
    // White curves on the white map would show labels and no lines.
    constexpr Long White = 0xFFFFFF;
    return paletteColor(index) == White ? paletteColor(0) : paletteColor(index);
}
