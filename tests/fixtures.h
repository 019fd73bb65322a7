#pragma once

// What the tests share, written once: the reference series whose fits are known, and the coded
// design points of the eleven runs.

#include <QString>
#include <QStringList>

#include <array>

using Series = std::array<double, 11>;

inline constexpr Series HardnessY{12.1, 13.4, 11.8, 14.2, 13.9, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3};
inline constexpr Series ViscosityY{2.5, 3.1, 1.9, 2.8, 3.3, 2.0, 2.6, 2.2, 3.6, 3.5, 3.7};

// (X1, X2) of runs 1 ... 11: factorial, axial at 1.4142, three centre runs.
inline constexpr std::array<std::array<double, 2>, 11> CodedRuns{{{-1, -1},
                                                                  {1, -1},
                                                                  {-1, 1},
                                                                  {1, 1},
                                                                  {1.4142, 0},
                                                                  {-1.4142, 0},
                                                                  {0, 1.4142},
                                                                  {0, -1.4142},
                                                                  {0, 0},
                                                                  {0, 0},
                                                                  {0, 0}}};

// The responses as texts ("12.1", "13", ...), as the command line takes them.
inline QStringList asTexts(const Series &y)
{
    QStringList texts;
    for (double v : y)
        texts << QString::number(v);
    return texts;
}

// The responses as SQL literals separated by commas.
inline QString asSqlList(const Series &y)
{
    return asTexts(y).join(QStringLiteral(", "));
}
