#pragma once

// The tail probabilities of the model analysis's tests, whose degrees of freedom the design
// fixes: Student's t with 5 (the coefficients), F with 5 and 5 (the model) and F with 3 and 2
// (lack of fit). Each is the regularized incomplete beta function of a half-integer pair: the
// F tails summed as a series of positive terms on the side of their argument where it
// converges fast, the t tail in closed form (an arc tangent) where it is not thin and as a
// polynomial of positive terms where it is. Within 1e-13 relative of the exact value down to
// the smallest normal double.

namespace analysis {

// P(|T| >= |t|) for T with 5 degrees of freedom.
double tTwoSided5(double t);
// P(F >= f) for F with 5 and 5 degrees of freedom; 1 for f <= 0.
double fUpper5And5(double f);
// P(F >= f) for F with 3 and 2 degrees of freedom; 1 for f <= 0.
double fUpper3And2(double f);

} // namespace analysis
