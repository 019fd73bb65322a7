#include "core/form_defaults.h"

#include <cmath>

void initializeDesign(FormState &s)
{
    const float a = float(AxialDistance); // stored as the nearest Single, 1.41419995
    // Columns: 1, X1², X2², X1, X2, X1·X2; the squares of the axial runs are exactly 2.
    s.DesignMatrix = {{{1, 1, 1, -1, -1, 1},
                       {1, 1, 1, 1, -1, -1},
                       {1, 1, 1, -1, 1, -1},
                       {1, 1, 1, 1, 1, 1},
                       {1, 2, 0, a, 0, 0},
                       {1, 2, 0, -a, 0, 0},
                       {1, 0, 2, 0, a, 0},
                       {1, 0, 2, 0, -a, 0},
                       {1, 0, 0, 0, 0, 0},
                       {1, 0, 0, 0, 0, 0},
                       {1, 0, 0, 0, 0, 0}}};

    const double a2 = std::pow(AxialDistance, 2);
    const double a4 = std::pow(AxialDistance, 4);
    s.TwoAlphaFourth = float(a4 + a4);
    s.SumSquares = float(a2 + a2 + 4);
    s.SumFourth = float(double(s.TwoAlphaFourth) + 4);
    const double taf = s.TwoAlphaFourth;
    const double ss = s.SumSquares;
    const double sf = s.SumFourth;
    s.BlockDeterminant = float((11 * sf + 44 - 2 * ss * ss) * taf);
    const double bd = s.BlockDeterminant;
    s.WeightMean = float((sf + 4) * taf / bd);
    s.WeightSame = float((11 * sf - ss * ss) / bd);
    s.WeightCross = float(-taf * ss / bd);
    s.WeightOther = float((ss * ss - 44) / bd);
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
    return Long(c[0]) | Long(c[1]) << 8 | Long(c[2]) << 16;
}
