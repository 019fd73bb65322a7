#pragma once

// --x1, --x2 and --units: the factors a command answers in (real units). Given definitions
// stand over the ones stored in the database.

#include "command.h"
#include "core/factors.h"

#include <QCommandLineOption>
#include <QJsonArray>
#include <QList>

// The options; --units only where a record is read from a database.
QList<QCommandLineOption> unitsOptions(bool withStored);

struct UnitsRequest
{
    std::optional<Factor> x1, x2;
    bool stored = false; // --units
    bool on() const { return x1 || x2 || stored; }
    // The choice, with the database's definitions when they are asked for.
    UnitsChoice choice(const FactorDefinitions *definitions) const
    {
        return {x1, x2, stored ? definitions : nullptr};
    }
};
// A definition that is not one, or one factor given alone without --units, is a usage error
// naming the option and the part.
Checked<UnitsRequest> unitsRequest(const Command &command);

// The stored definitions of the database just opened, when --units asks for them.
Result<FactorDefinitions> storedDefinitions(const UnitsRequest &request, const QString &path);

// [{"name", "unit", "low", "high", "centre", "step"}, ...] for X1 and X2.
QJsonArray factorsJson(const Factors &factors);
