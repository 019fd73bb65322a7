#pragma once

// The shortest text that reads back as the same number, laid out exactly as std::to_chars
// lays it out ("0.1", "1e-05", "123456", "1.5e+300"), for less: the reports write tens of
// numbers a record, and these texts are the largest part of their time.

#include <QByteArray>

#include <optional>

namespace numbers {

// Writes the text at `out` and returns its end; may use up to ShortestTextMax bytes from
// `out` on (the text itself is at most 25).
constexpr int ShortestTextMax = 48;
char *writeShortest(char *out, double v);
char *writeShortest(char *out, float v);

// The same text, quicker for what a person typed (up to three decimals, below 2^40): those are
// tried first, at the cost of a few products and quotients for any other number.
char *writeShortestTyped(char *out, double v);

// The text QByteArray::number(v, 'g', QLocale::FloatingPointShortest) gives, which the JSON
// reports keep: writeShortest's, but "0" for either zero, "nan", "inf" and "-inf", and a whole
// number beyond the exact integers as its shortest digits with zeros after them.
char *writeShortestAsQt(char *out, double v);

// A number as QJsonDocument writes it: "null" for none or no finite number, a whole number up
// to 2^53 as an integer, any other as writeShortestAsQt.
char *writeJsonDocumentNumber(char *out, std::optional<double> v);

// Appends to `out` the text that `write` lays out at the pointer it is given (as the writers
// above do, within ShortestTextMax bytes) and returns the end of.
template <typename Write> void appendWritten(QByteArray &out, Write write)
{
    char text[ShortestTextMax];
    out.append(text, qsizetype(write(text) - text));
}

} // namespace numbers
