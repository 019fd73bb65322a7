#pragma once

// The window's words for a Failure: the one place where what went wrong becomes Chinese text.

#include "core/result.h"

#include <QString>

namespace shell {
// In Chinese, from the kind and code alone.
QString describeFailure(const Failure &failure);
// The engine's or the system's own words, for a message's details area.
QString failureDetails(const Failure &failure);
} // namespace shell
