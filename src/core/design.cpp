#include "core/design.h"

const QString &responseField(int run)
{
    static const QString names[] = {
        QStringLiteral("Y0"), QStringLiteral("Y1"), QStringLiteral("Y2"),  QStringLiteral("Y3"),
        QStringLiteral("Y4"), QStringLiteral("Y5"), QStringLiteral("Y6"),  QStringLiteral("Y7"),
        QStringLiteral("Y8"), QStringLiteral("Y9"), QStringLiteral("Y10"), QStringLiteral("Y11")};
    return names[run];
}
