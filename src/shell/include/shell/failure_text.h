#pragma once

// The window's words for a Failure: the one place where what went wrong becomes Chinese text.

#include "core/result.h"

#include <QString>

namespace shell {
QString describeFailure(const Failure &failure);
}
