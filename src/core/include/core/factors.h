#pragma once

// The factors in the chemist's own units: a name, a unit and the real values at coded -1 and
// +1. Coded X = (x - centre) / step, so the axial runs sit at centre ± 1.4142 · step. The low
// level may lie above the high one (a factor run downwards); equal levels define nothing.

#include "core/design.h"

#include <QHash>
#include <QString>

#include <array>
#include <optional>

struct Factor
{
    QString name;
    QString unit; // may be empty
    double low = -1, high = 1;

    double centre() const { return (low + high) / 2; }
    double step() const { return (high - low) / 2; }
    double real(double coded) const { return centre() + coded * step(); }
    double coded(double real) const { return (real - centre()) / step(); }
    // "NAME (UNIT)", or the name alone without a unit.
    QString title() const;
    bool operator==(const Factor &) const = default;
};

struct Factors
{
    Factor x1, x2;
    bool operator==(const Factors &) const = default;
};

// Record ID -> its stored factors.
using FactorDefinitions = QHash<double, Factors>;

// Which factors the answers are given in: the ones given for this run (over the stored ones),
// the stored ones of each record, or none (coded units).
struct UnitsChoice
{
    std::optional<Factor> x1, x2;
    const FactorDefinitions *stored = nullptr; // when the stored definitions are used
    bool on() const { return x1 || x2 || stored; }
    // A record's factors; none unless both are known.
    std::optional<Factors> of(std::optional<double> recordId) const;
};

// What can be wrong with a definition; each edge words it in its own language.
enum class FactorFault { NoName, LowNotFinite, HighNotFinite, EqualLevels, TooFarApart };
// Nothing when the definition is sound.
std::optional<FactorFault> factorFault(const Factor &factor);
// The fault in plain English, naming the part ("LOW and HIGH are equal").
QString factorFaultText(FactorFault fault);

// A factor's setting for each run of the design, in run order.
std::array<double, DesignRuns> runSettings(const Factor &factor, int axis);

// A run order for the lab: a permutation of 1 ... 11 (element k the order of run k + 1), the
// standard order or one drawn from `seed`, the same on every machine.
std::array<int, DesignRuns> runOrder(std::optional<unsigned> seed);
