#include "core/design.h"

#include <cmath>

const QString &responseField(int run)
{
    static const QString names[] = {
        QStringLiteral("Y0"), QStringLiteral("Y1"), QStringLiteral("Y2"),  QStringLiteral("Y3"),
        QStringLiteral("Y4"), QStringLiteral("Y5"), QStringLiteral("Y6"),  QStringLiteral("Y7"),
        QStringLiteral("Y8"), QStringLiteral("Y9"), QStringLiteral("Y10"), QStringLiteral("Y11")};
    return names[run];
}

const QStringList &experimentColumns()
{
    static const QStringList columns = [] {
        QStringList c{IdField};
        for (int run = 1; run <= DesignRuns; ++run)
            c << responseField(run);
        return c << TitleField;
    }();
    return columns;
}

const DesignConstants &designConstants()
{
    static const DesignConstants constants = [] {
        DesignConstants s;
        const double a2 = std::pow(AxialDistance, 2);
        const double a4 = std::pow(AxialDistance, 4);
        s.twoAlphaFourth = float(a4 + a4);
        s.sumSquares = float(a2 + a2 + 4);
        s.sumFourth = float(double(s.twoAlphaFourth) + 4);
        const double taf = s.twoAlphaFourth;
        const double ss = s.sumSquares;
        const double sf = s.sumFourth;
        s.blockDeterminant = float((11 * sf + 44 - 2 * ss * ss) * taf);
        const double bd = s.blockDeterminant;
        s.weightMean = float((sf + 4) * taf / bd);
        s.weightSame = float((11 * sf - ss * ss) / bd);
        s.weightCross = float(-taf * ss / bd);
        s.weightOther = float((ss * ss - 44) / bd);
        return s;
    }();
    return constants;
}
