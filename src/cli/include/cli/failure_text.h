#pragma once

// The command line's words for a Failure: the one place where what went wrong becomes English
// text, in the language of its usage and help.

#include "core/result.h"

#include <QString>

namespace cli {
QString describeFailure(const Failure &failure);
}
