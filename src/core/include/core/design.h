#pragma once

// The experiment design and the table that holds it: the two-factor central composite
// rotatable design (four factorial runs, four axial runs at 1.4142, three centre runs), the
// names of the table and its fields, and the limits of the number of contour lines.

#include <QString>
#include <QStringList>

#include <array>

inline constexpr int DesignRuns = 11;
inline constexpr int DesignTerms = 6;
inline constexpr double AxialDistance = 1.4142;
// The coded half-width of the plotted square: X1 and X2 run from -1.414 to 1.414.
inline constexpr double PlotLimit = 1.414;

// The coded points (X1, X2) of the runs in the order their responses are stored, Y1 ... Y11:
// the factorial runs, the axial runs, the centre runs.
inline constexpr std::array<std::array<double, 2>, DesignRuns> DesignPoints{{{-1, -1},
                                                                             {1, -1},
                                                                             {-1, 1},
                                                                             {1, 1},
                                                                             {AxialDistance, 0},
                                                                             {-AxialDistance, 0},
                                                                             {0, AxialDistance},
                                                                             {0, -AxialDistance},
                                                                             {0, 0},
                                                                             {0, 0},
                                                                             {0, 0}}};
// The runs at the centre: the last three.
inline constexpr int CentreRuns = 3;

// The design matrix in single precision: columns 1, X1², X2², X1, X2, X1·X2, one row a run.
// The axial distance is stored as the nearest Single, 1.41419995; the squares of the axial runs
// are exactly 2.
using SingleMatrix = std::array<std::array<float, DesignTerms>, DesignRuns>;
inline constexpr float SingleAxial = float(AxialDistance);
inline constexpr SingleMatrix SingleDesignMatrix{{{1, 1, 1, -1, -1, 1},
                                                  {1, 1, 1, 1, -1, -1},
                                                  {1, 1, 1, -1, 1, -1},
                                                  {1, 1, 1, 1, 1, 1},
                                                  {1, 2, 0, SingleAxial, 0, 0},
                                                  {1, 2, 0, -SingleAxial, 0, 0},
                                                  {1, 0, 2, 0, SingleAxial, 0},
                                                  {1, 0, 2, 0, -SingleAxial, 0},
                                                  {1, 0, 0, 0, 0, 0},
                                                  {1, 0, 0, 0, 0, 0},
                                                  {1, 0, 0, 0, 0, 0}}};

// The design matrix and the constants of its closed-form least-squares solution, each stored in
// single precision in the order start-up computes them.
struct DesignConstants
{
    SingleMatrix matrix = SingleDesignMatrix;
    float twoAlphaFourth = 0;
    float sumSquares = 0;
    float sumFourth = 0;
    float blockDeterminant = 0;
    float weightMean = 0;
    float weightSame = 0;
    float weightCross = 0;
    float weightOther = 0;
};
const DesignConstants &designConstants();

// The number of contour intervals: the spinner's start value and its designed range, and the
// wider range the command line accepts. Beyond 100 intervals the levels lie closer than a
// pixel of a 4095-pixel map apart for any response range drawn, and the map is one blot.
inline constexpr int LineCountDefault = 4;
inline constexpr int LineCountMin = 1;
inline constexpr int WindowLineCountMax = 10;
inline constexpr int LineCountMax = 100;

// The database file beside the program, its table and fields.
inline const QString DatabaseFileName = QStringLiteral("配方数据.mdb");
inline const QString ExperimentTableName = QStringLiteral("等高线表");
inline const QString IdField = QStringLiteral("ID");
inline const QString TitleField = QStringLiteral("Y12");
// "Y1" ... "Y11" for runs 1 ... 11.
const QString &responseField(int run);
// The experiment table's columns in their order: ID, Y1 ... Y11, Y12.
const QStringList &experimentColumns();
