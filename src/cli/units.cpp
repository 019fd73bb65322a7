#include "units.h"

#include "core/csv.h"
#include "store/factor_table.h"

#include <QLocale>

#include <QJsonObject>

namespace {

// "NAME,UNIT,LOW,HIGH", quoted as in CSV where a part holds a comma or a quote.
Checked<Factor> parseFactor(const QString &text)
{
    const auto fields = csvFields(text);
    if (!fields)
        return Checked<Factor>::refused(QStringLiteral("a quote is not closed"));
    if (fields->size() != 4)
        return Checked<Factor>::refused(
            QStringLiteral("needs NAME,UNIT,LOW,HIGH (4 parts), got %1").arg(fields->size()));
    Factor f{fields->at(0).trimmed(), fields->at(1).trimmed(), 0, 0};
    const char *const names[] = {"LOW", "HIGH"};
    double *const levels[] = {&f.low, &f.high};
    for (int i = 0; i < 2; ++i) {
        bool ok = false;
        *levels[i] = QLocale::c().toDouble(fields->at(2 + i).trimmed(), &ok);
        if (!ok)
            return Checked<Factor>::refused(QStringLiteral("%1 (\"%2\") is not a number")
                                                .arg(QLatin1String(names[i]), fields->at(2 + i)));
    }
    if (const auto fault = factorFault(f))
        return Checked<Factor>::refused(factorFaultText(*fault));
    return f;
}

} // namespace

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
    r.stored = command.offers(QStringLiteral("units")) && command.isSet(QStringLiteral("units"));
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
