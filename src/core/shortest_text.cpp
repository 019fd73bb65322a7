#include "core/shortest_text.h"

// Only the library's digit search (Dragonbox) is used.
#include <fmt/format.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace numbers {
namespace {

constexpr char DigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233"
                              "34353637383940414243444546474849505152535455565758596061626364656667"
                              "6869707172737475767778798081828384858687888990919293949596979899";

constexpr std::uint64_t PowersOfTen[] = {1,
                                         10,
                                         100,
                                         1000,
                                         10000,
                                         100000,
                                         1000000,
                                         10000000,
                                         100000000,
                                         1000000000,
                                         10000000000,
                                         100000000000,
                                         1000000000000,
                                         10000000000000,
                                         100000000000000,
                                         1000000000000000,
                                         10000000000000000,
                                         100000000000000000,
                                         1000000000000000000,
                                         10000000000000000000u};

// Without a loop: the digit count follows from the bit count but for one comparison.
int digitCount(std::uint64_t s)
{
    const int guess = (std::bit_width(s) * 1233) >> 12; // 1233 / 4096 ~ log10(2)
    return guess + (s >= PowersOfTen[guess] ? 1 : 0);
}

// The digits of s below 10^9, ending at `end`, two at a time in 32-bit arithmetic.
char *writeSmall(char *end, std::uint32_t s)
{
    while (s >= 100) {
        const std::uint32_t pair = (s % 100) * 2;
        s /= 100;
        *--end = DigitPairs[pair + 1];
        *--end = DigitPairs[pair];
    }
    if (s >= 10) {
        *--end = DigitPairs[s * 2 + 1];
        *--end = DigitPairs[s * 2];
    } else {
        *--end = char('0' + s);
    }
    return end;
}

// The digits of s, ending at `end`: the low eight in one piece of 32-bit work.
void writeDigits(char *end, std::uint64_t s)
{
    if (s < 100000000) {
        writeSmall(end, std::uint32_t(s));
        return;
    }
    auto low = std::uint32_t(s % 100000000);
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t pair = (low % 100) * 2;
        low /= 100;
        *--end = DigitPairs[pair + 1];
        *--end = DigitPairs[pair];
    }
    writeSmall(end, std::uint32_t(s / 100000000));
}

template <typename Number> char *writeShortestOf(char *out, Number v)
{
    // Zero, infinities and NaN keep the library's own texts.
    if (!std::isfinite(v) || v == 0)
        return std::to_chars(out, out + ShortestTextMax, v).ptr;
    const bool negative = std::signbit(v);
    const Number size = negative ? -v : v;
    const auto decimal = fmt::detail::dragonbox::to_decimal(size);
    std::uint64_t s = decimal.significand;
    int e = decimal.exponent;
    while (s % 10 == 0) {
        s /= 10;
        ++e;
    }
    const int n = digitCount(s);
    const int power = e + n - 1; // of the first digit
    const int scientific = n + (n > 1 ? 1 : 0) + 2 + (power <= -100 || power >= 100 ? 3 : 2);
    const int fixed = e >= 0 ? n + e : power >= 0 ? n + 1 : 2 - e;
    // Fixed form wins ties. A whole number beyond the exact integers is written with the
    // digits of its exact binary value, not these: the library does that.
    if (fixed <= scientific && e >= 0 &&
        !(size < Number(std::uint64_t(1) << std::numeric_limits<Number>::digits)))
        return std::to_chars(out, out + ShortestTextMax, v).ptr;
    if (negative)
        *out++ = '-';
    // The digits go straight to their place; where a point splits them, the digits before
    // it step one place to the left.
    if (fixed <= scientific) {
        if (e >= 0) {
            writeDigits(out + n, s);
            for (int i = 0; i < e; ++i)
                out[n + i] = '0';
            return out + n + e;
        }
        if (power >= 0) {
            writeDigits(out + n + 1, s);
            for (int i = 0; i <= power; ++i)
                out[i] = out[i + 1];
            out[power + 1] = '.';
            return out + n + 1;
        }
        out[0] = '0';
        out[1] = '.';
        for (int i = 2; i < 1 - power; ++i)
            out[i] = '0';
        writeDigits(out + 1 - power + n, s);
        return out + 1 - power + n;
    }
    writeDigits(out + n + 1, s);
    out[0] = out[1];
    if (n > 1)
        out[1] = '.';
    out += n > 1 ? n + 1 : 1;
    *out++ = 'e';
    *out++ = power < 0 ? '-' : '+';
    const int magnitude = power < 0 ? -power : power;
    if (magnitude >= 100)
        *out++ = char('0' + magnitude / 100);
    out[0] = DigitPairs[(magnitude % 100) * 2];
    out[1] = DigitPairs[(magnitude % 100) * 2 + 1];
    return out + 2;
}

} // namespace

char *writeShortest(char *out, double v)
{
    return writeShortestOf(out, v);
}

char *writeShortest(char *out, float v)
{
    return writeShortestOf(out, v);
}

} // namespace numbers
