#include "core/shortest_text.h"

// Only the library's digit search (Dragonbox) is used, through an internal entry point
// (fmt::detail::dragonbox, as Debian's fmt 9 has it): the test against std::to_chars would
// see a change in it. With the full table of powers of ten (10 KiB) instead of the compressed
// one, nothing is recomputed per number: about a third less time a search. This is the only
// file that includes the library.
#define FMT_USE_FULL_CACHE_DRAGONBOX 1
#include <fmt/format.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    const int guess = int((std::bit_width(s) * 1233) >> 12); // 1233 / 4096 ~ log10(2)
    return guess + (s >= PowersOfTen[guess] ? 1 : 0);
}

void writePair(char *at, std::uint32_t pair)
{
    std::memcpy(at, DigitPairs + 2 * pair, 2);
}

#if defined(__SSE2__)
// Eight digits of v < 10^8, zeros in front, as the eight 16-bit lanes of the result: the two
// halves of four digits are split side by side, each digit by a multiplication by the inverse
// of its power of ten (exact below 10^4).
__m128i eightDigitLanes(std::uint32_t v)
{
    const __m128i whole = _mm_cvtsi32_si128(int(v));
    const __m128i high = _mm_srli_epi64(_mm_mul_epu32(whole, _mm_set1_epi32(int(0xD1B71759))), 45);
    const __m128i low = _mm_sub_epi32(whole, _mm_mul_epu32(high, _mm_set1_epi32(10000)));
    const __m128i both = _mm_slli_epi64(_mm_unpacklo_epi16(high, low), 2);
    const __m128i spread =
        _mm_unpacklo_epi32(_mm_unpacklo_epi16(both, both), _mm_unpacklo_epi16(both, both));
    // Each lane: the four digits over 10^3, 10^2, 10 and 1 (a, ab, abc, abcd).
    const __m128i inverses =
        _mm_setr_epi16(8389, 5243, 13108, short(0x8000), 8389, 5243, 13108, short(0x8000));
    const __m128i shifts = _mm_setr_epi16(1 << 7, 1 << 11, 1 << 13, short(1 << 15), 1 << 7, 1 << 11,
                                          1 << 13, short(1 << 15));
    const __m128i leading = _mm_mulhi_epu16(_mm_mulhi_epu16(spread, inverses), shifts);
    // ab - 10·a = b, and so on.
    return _mm_sub_epi16(leading, _mm_slli_epi64(_mm_mullo_epi16(leading, _mm_set1_epi16(10)), 16));
}
#else
// Eight digits of v < 10^8, zeros in front.
void writeEight(char *at, std::uint32_t v)
{
    const std::uint32_t high = v / 10000, low = v % 10000;
    writePair(at, high / 100);
    writePair(at + 2, high % 100);
    writePair(at + 4, low / 100);
    writePair(at + 6, low % 100);
}
#endif

// The digits are written with a fixed amount of work (seventeen, zeros in front) and moved
// into place by copies of fixed length: no loop runs as long as the digits say. The copies
// spill past the text's end, which the room of ShortestTextMax allows.
constexpr int DigitsMax = 17;

// A number as its shortest digits: s (no trailing zeros) times ten to the power e.
struct Decimal
{
    std::uint64_t s;
    int e;
};

Decimal withoutTrailingZeros(std::uint64_t s, int e)
{
    while (s % 10 == 0) {
        s /= 10;
        ++e;
    }
    return {s, e};
}

// Lays out the digits of a finite number other than zero. A whole number beyond the exact
// integers gets the digits of its exact binary value where `binaryDigits`, as the library
// writes it, or else its shortest digits and zeros after them, as Qt writes it.
template <typename Number, bool binaryDigits = true>
char *layOut(char *out, Number v, Decimal decimal)
{
    const bool negative = std::signbit(v);
    const auto [s, e] = decimal;
    const int n = digitCount(s);
    const int power = e + n - 1; // of the first digit
    // The shorter form, fixed on a tie. Scientific takes n digits, a point after the first if
    // there are more, and "e+dd" (a fixed form is never as long as "e+ddd" needs): fixed is
    // as short with at most 4 + point zeros after the digits (n + e against n + point + 4),
    // always with the point inside the digits, and with at most 3 + point zeros after "0."
    // (1 - power + n against n + point + 4).
    const int point = n > 1 ? 1 : 0;
    const bool fixed = e >= 0 ? e <= 4 + point : power >= -3 - point;
    if (binaryDigits && fixed && e >= 0 &&
        !(std::fabs(v) < Number(std::uint64_t(1) << std::numeric_limits<Number>::digits)))
        return std::to_chars(out, out + ShortestTextMax, v).ptr;
    *out = '-';
    out += negative ? 1 : 0;
    char all[48] = {};
    const auto high = std::uint32_t(s / 100000000);
    all[0] = char('0' + high / 100000000);
#if defined(__SSE2__)
    // A float has at most nine digits: the first eight of sixteen are zeros but the last.
    const __m128i upper = std::is_same_v<Number, float>
                              ? _mm_slli_si128(_mm_cvtsi32_si128(int(high)), 14)
                              : eightDigitLanes(high % 100000000);
    const __m128i sixteen = _mm_packus_epi16(
        upper, eightDigitLanes(std::uint32_t(s - std::uint64_t(high) * 100000000)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(all + 1),
                     _mm_add_epi8(sixteen, _mm_set1_epi8('0')));
#else
    writeEight(all + 1, high % 100000000);
    writeEight(all + 9, std::uint32_t(s % 100000000));
#endif
    const char *digits = all + DigitsMax - n;
    if (fixed) {
        if (e >= 0) { // a whole number: at most five zeros follow its digits
            std::memcpy(out, digits, 24);
            std::memset(out + n, '0', 8);
            return out + n + e;
        }
        if (power >= 0) { // the point inside the digits
            std::memcpy(out, digits, 24);
            std::memcpy(out + power + 2, digits + power + 1, 16);
            out[power + 1] = '.';
            return out + n + 1;
        }
        // Below 1: "0.", at most three zeros, the digits.
        std::memcpy(out, "0.0000", 6);
        std::memcpy(out - power + 1, digits, 24);
        return out - power + 1 + n;
    }
    out[0] = digits[0];
    out[1] = '.';
    std::memcpy(out + 2, digits + 1, 16);
    out += n > 1 ? n + 1 : 1;
    out[0] = 'e';
    out[1] = power < 0 ? '-' : '+';
    const int magnitude = power < 0 ? -power : power;
    if (magnitude >= 100) {
        out[2] = char('0' + magnitude / 100);
        ++out;
    }
    writePair(out + 2, std::uint32_t(magnitude % 100));
    return out + 4;
}

template <typename Number> char *writeShortestOf(char *out, Number v)
{
    // Zero, infinities and NaN keep the library's own texts.
    if (!std::isfinite(v) || v == 0)
        return std::to_chars(out, out + ShortestTextMax, v).ptr;
    const auto decimal = fmt::detail::dragonbox::to_decimal(std::fabs(v));
    return layOut(out, v, withoutTrailingZeros(decimal.significand, decimal.exponent));
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

char *writeShortestAsQt(char *out, double v)
{
    if (v == 0) {
        *out = '0';
        return out + 1;
    }
    if (!std::isfinite(v)) {
        const char *text = std::isnan(v) ? "nan" : v < 0 ? "-inf" : "inf";
        const std::size_t size = std::strlen(text);
        std::memcpy(out, text, size);
        return out + size;
    }
    const auto decimal = fmt::detail::dragonbox::to_decimal(std::fabs(v));
    return layOut<double, false>(out, v,
                                 withoutTrailingZeros(decimal.significand, decimal.exponent));
}

char *writeJsonDocumentNumber(char *out, std::optional<double> v)
{
    if (!v || !std::isfinite(*v)) {
        std::memcpy(out, "null", 4);
        return out + 4;
    }
    if (std::fabs(*v) <= 0x1p53 && std::trunc(*v) == *v)
        return std::to_chars(out, out + ShortestTextMax, std::int64_t(*v)).ptr;
    return writeShortestAsQt(out, *v);
}

char *writeShortestTyped(char *out, double v)
{
    // Below 2^40 two doubles are at most 2^-13 apart, so the numbers that read back as v span
    // less than 10^-3: at most one of them has three decimals or fewer, and that one is the
    // shortest. Such a number is m / 1000 with m = rint(v·1000) (the product is off by far less
    // than a half); m / 1000 is rounded as reading it back is, so the test is exact.
    const double size = std::fabs(v);
    if (size < 0x1p40 && size != 0) {
        const double m = std::rint(size * 1000);
        if (m / 1000 == size)
            return layOut(out, v, withoutTrailingZeros(std::uint64_t(m), -3));
    }
    return writeShortest(out, v);
}

} // namespace numbers
