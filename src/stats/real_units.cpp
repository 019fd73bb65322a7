#include "stats/real_units.h"

#include <cmath>

namespace analysis {

RealCoefficients realCoefficients(const std::array<Figure, DesignTerms> &coded, const Factors &f)
{
    for (const Figure &b : coded) {
        if (!b)
            return {};
    }
    const double b0 = *coded[0], b1 = *coded[1], b2 = *coded[2], b11 = *coded[3], b22 = *coded[4],
                 b12 = *coded[5];
    const double m1 = f.x1.centre(), s1 = f.x1.step(), m2 = f.x2.centre(), s2 = f.x2.step();
    // Each coded term in the real x: X1 = (x1 - m1) / s1, X2 = (x2 - m2) / s2.
    const double a11 = b11 / (s1 * s1), a22 = b22 / (s2 * s2), a12 = b12 / (s1 * s2);
    const double a1 = b1 / s1, a2 = b2 / s2;
    const RealCoefficients c{b0 - a1 * m1 - a2 * m2 + a11 * m1 * m1 + a22 * m2 * m2 + a12 * m1 * m2,
                             a1 - 2 * a11 * m1 - a12 * m2,
                             a2 - 2 * a22 * m2 - a12 * m1,
                             a11,
                             a22,
                             a12};
    for (const Figure &v : c) {
        if (!std::isfinite(*v))
            return {};
    }
    return c;
}

RealCoefficients realCoefficients(const ModelAnalysis &a, const Factors &f)
{
    std::array<Figure, DesignTerms> coded;
    for (std::size_t i = 0; i < coded.size(); ++i)
        coded[i] = a.coefficients[i].estimate;
    return realCoefficients(coded, f);
}

QString realEquation(const RealCoefficients &c, const Factors &f)
{
    const QString x1 = f.x1.name, x2 = f.x2.name;
    const QString terms[] = {QString(),
                             x1,
                             x2,
                             x1 + QStringLiteral("²"),
                             x2 + QStringLiteral("²"),
                             x1 + QStringLiteral("·") + x2};
    QString text = QStringLiteral("y =");
    for (std::size_t i = 0; i < c.size(); ++i) {
        if (!c[i])
            return QStringLiteral("y = NA");
        const double v = *c[i];
        text += i == 0 ? QLatin1Char(' ') + QString::number(v, 'g', 6)
                       : (v < 0 ? QStringLiteral(" - ") : QStringLiteral(" + ")) +
                             QString::number(std::fabs(v), 'g', 6) + QStringLiteral("·") + terms[i];
    }
    return text;
}

RealPoint realPoint(const Point &p, const Factors &f)
{
    return {p.x1 ? Figure(f.x1.real(*p.x1)) : std::nullopt,
            p.x2 ? Figure(f.x2.real(*p.x2)) : std::nullopt};
}

} // namespace analysis
