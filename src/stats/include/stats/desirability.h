#pragma once

// Goals on fitted responses and their desirability, as Derringer and Suich define it: each
// goal maps a predicted response to d in [0, 1], and the overall desirability of a point is
// D = (Π d_i^r_i)^(1 / Σ r_i).

#include "core/design.h"
#include "core/goal.h"

#include <array>
#include <optional>
#include <vector>

namespace optimise {

// The desirability of a predicted response.
double desirability(const Goal &goal, double y);

// The fitted model of a response in coded units: b0, b1, b2, b11, b22, b12.
using Model = std::array<double, DesignTerms>;
double predict(const Model &b, double x1, double x2);

// A goal on the response a model predicts.
struct Response
{
    Goal goal;
    Model model;
};

// The overall desirability at a coded point.
double overall(const std::vector<Response> &responses, double x1, double x2);

} // namespace optimise
