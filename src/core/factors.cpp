#include "core/factors.h"

#include <cmath>
#include <random>

QString Factor::title() const
{
    return unit.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, unit);
}

std::optional<Factors> UnitsChoice::of(std::optional<double> recordId) const
{
    const Factors *saved = nullptr;
    if (stored && recordId) {
        if (const auto it = stored->constFind(*recordId); it != stored->cend())
            saved = &*it;
    }
    const Factor *a = x1 ? &*x1 : saved ? &saved->x1 : nullptr;
    const Factor *b = x2 ? &*x2 : saved ? &saved->x2 : nullptr;
    if (!a || !b)
        return std::nullopt;
    return Factors{*a, *b};
}

std::optional<FactorFault> factorFault(const Factor &f)
{
    if (f.name.trimmed().isEmpty())
        return FactorFault::NoName;
    if (!std::isfinite(f.low))
        return FactorFault::LowNotFinite;
    if (!std::isfinite(f.high))
        return FactorFault::HighNotFinite;
    if (f.low == f.high)
        return FactorFault::EqualLevels;
    // Levels so far apart that the centre or the axial settings overflow.
    if (!std::isfinite(f.centre()) || !std::isfinite(f.real(AxialDistance)) ||
        !std::isfinite(f.real(-AxialDistance)))
        return FactorFault::TooFarApart;
    return std::nullopt;
}

QString factorFaultText(FactorFault fault)
{
    switch (fault) {
    case FactorFault::NoName:
        return QStringLiteral("NAME is empty");
    case FactorFault::LowNotFinite:
        return QStringLiteral("LOW is not a finite number");
    case FactorFault::HighNotFinite:
        return QStringLiteral("HIGH is not a finite number");
    case FactorFault::EqualLevels:
        return QStringLiteral("LOW and HIGH are equal");
    case FactorFault::TooFarApart:
        return QStringLiteral("LOW and HIGH are too far apart");
    }
    return {};
}

std::array<double, DesignRuns> runSettings(const Factor &factor, int axis)
{
    std::array<double, DesignRuns> settings{};
    for (std::size_t run = 0; run < settings.size(); ++run)
        settings[run] = factor.real(DesignPoints[run][std::size_t(axis)]);
    return settings;
}

std::array<int, DesignRuns> runOrder(std::optional<unsigned> seed)
{
    std::array<int, DesignRuns> order{};
    for (int i = 0; i < DesignRuns; ++i)
        order[std::size_t(i)] = i + 1;
    if (!seed)
        return order;
    // Fisher-Yates with our own bounded draw: the library's distributions may differ between
    // standard libraries, and a seed must give the same sheet everywhere.
    std::mt19937 random(*seed);
    for (std::uint32_t i = DesignRuns - 1; i > 0; --i) {
        const std::uint32_t bound = i + 1;
        const std::uint32_t limit = 0xFFFFFFFFu - 0xFFFFFFFFu % bound;
        std::uint32_t draw;
        do
            draw = std::uint32_t(random());
        while (draw >= limit);
        std::swap(order[i], order[draw % bound]);
    }
    return order;
}
