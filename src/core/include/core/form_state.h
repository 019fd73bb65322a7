#pragma once

// The window-level state: every variable the handlers and procedures share. One plain struct
// with no widgets, read and written by the window alone: the layers below hand it values, and
// the window copies them in. A new FormState is what the window holds when it is created (every
// number 0, every text empty); Form_Load then gives the variables their start values.

#include "core/design.h"

#include "core/colour.h"
#include "core/map_options.h"

#include <QString>
#include <QVariant>

#include <array>
#include <cstdint>

using Integer = std::int16_t;

struct FormState
{
    // Options (check boxes and spinner).
    bool AutoColor = false;  // "颜色"
    bool ShowLabels = false; // "标注"
    bool Overlay = false;    // "重叠"
    float LineCount = 0;     // number of contour intervals

    // Marks beside the designed map, drawn at the record change.
    using MapMarks = ::MapMarks;
    MapMarks Marks;
    // Axes and the analysis in real units ("以实际单位显示"), for the records whose factors
    // are defined; the definitions as the database holds them.
    bool RealUnits = false;
    FactorDefinitions Definitions;

    // Colour of the current record's contour dots and the raw ID it was taken from.
    Long CurveColor = 0;
    QVariant ColorIndex;

    // Plot geometry in surface units.
    Integer PlotLeft = 0;
    Integer PlotTop = 0;
    Integer PlotSize = 0;
    Integer TickSpacing = 0;
    Integer TickOffsetX = 0;
    Long TickOffsetY = 0;

    // The design and its constants, fixed at start-up.
    std::array<std::array<float, DesignTerms>, DesignRuns> DesignMatrix{};
    float TwoAlphaFourth = 0;
    float SumSquares = 0;
    float SumFourth = 0;
    float BlockDeterminant = 0;
    float WeightMean = 0;
    float WeightSame = 0;
    float WeightCross = 0;
    float WeightOther = 0;

    // The current record's responses; elements 11 ... 15 are never written.
    std::array<float, 16> Response{};

    // Regression results.
    std::array<double, DesignRuns> Fitted{};
    std::array<float, DesignTerms> ColumnSums{};
    float B0 = 0, B1 = 0, B2 = 0, B11 = 0, B22 = 0, B12 = 0;
    float LevelMax = 0, LevelMin = 0, LevelStep = 0;
    QString TermB0, TermB1, TermB2, TermB11, TermB22, TermB12;
    QString EquationText;

    // Whether the coefficients and levels above belong to the current record. A fit that
    // stops early clears them, so no map is traced from another record's surface.
    bool CoefficientsCurrent = false;
    bool LevelsCurrent = false;

    // What the result boxes show ("回归方程式 Y=", "相关系数   R= ", "剩余标准差 S=").
    QString Text2 = QStringLiteral("Text2");
    QString Text3 = QStringLiteral("Text3");
    QString Text4 = QStringLiteral("Text4");

    // Messages, paths and record identity.
    QString MessageText;
    QString MessageTitle;
    QString AppFolder;
    QString RecordId; // a null QString is the no-value marker of an empty ID
    QString ResponseTitle;
};
