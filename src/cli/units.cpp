#include "units.h"

#include "store/factor_table.h"

#include <QJsonObject>

QList<QCommandLineOption> unitsOptions(bool withStored)
{
    QList<QCommandLineOption> options{
        {QStringLiteral("x1"),
         QStringLiteral("Factor X1 in real units: its name, unit (may be empty) and the real "
                        "values at coded -1 and +1, quoted as in CSV."),
         QStringLiteral("NAME,UNIT,LOW,HIGH")},
        {QStringLiteral("x2"), QStringLiteral("Factor X2 in real units, as --x1."),
         QStringLiteral("NAME,UNIT,LOW,HIGH")}};
    if (withStored)
        options << QCommandLineOption(
            QStringLiteral("units"),
            QStringLiteral("Use the factors stored in the database for each record (--x1 and "
                           "--x2 stand over them). A record without them stays in coded "
                           "units."));
    return options;
}

Checked<UnitsRequest> unitsRequest(const Command &command)
{
    UnitsRequest r;
    r.stored = command.isSet(QStringLiteral("units"));
    for (const QString &name : {QStringLiteral("x1"), QStringLiteral("x2")}) {
        if (!command.isSet(name))
            continue;
        const Checked<Factor> factor = parseFactor(command.value(name));
        if (!factor)
            return Checked<UnitsRequest>::refused(
                QStringLiteral("--%1 \"%2\": %3").arg(name, command.value(name), factor.error()));
        (name == QLatin1String("x1") ? r.x1 : r.x2) = *factor;
    }
    if (bool(r.x1) != bool(r.x2) && !r.stored)
        return Checked<UnitsRequest>::refused(
            QStringLiteral("--x1 and --x2 go together (or with --units, over the stored "
                           "definitions)"));
    return r;
}

Result<FactorDefinitions> storedDefinitions(const UnitsRequest &request, const QString &path)
{
    if (!request.stored)
        return FactorDefinitions();
    return readFactorDefinitions(path);
}

QJsonArray factorsJson(const Factors &f)
{
    QJsonArray factors;
    for (const Factor *x : {&f.x1, &f.x2})
        factors << QJsonObject{
            {QStringLiteral("name"), x->name},       {QStringLiteral("unit"), x->unit},
            {QStringLiteral("low"), x->low},         {QStringLiteral("high"), x->high},
            {QStringLiteral("centre"), x->centre()}, {QStringLiteral("step"), x->step()}};
    return factors;
}
