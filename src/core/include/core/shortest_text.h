#pragma once

// The shortest text that reads back as the same number, laid out exactly as std::to_chars
// lays it out ("0.1", "1e-05", "123456", "1.5e+300"), at about a third of its cost: the
// reports write tens of numbers a record.

namespace numbers {

// Writes at most ShortestTextMax characters at `out` and returns the end.
constexpr int ShortestTextMax = 32;
char *writeShortest(char *out, double v);
char *writeShortest(char *out, float v);

} // namespace numbers
