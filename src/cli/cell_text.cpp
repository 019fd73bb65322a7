#include "cli/cell_text.h"

#include <QChar>

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Texts are mostly ASCII (equations, numbers, many names), taken eight UTF-16 units at once:
// true when every one is ASCII and, if `printable`, none is a control character, DEL or a
// backslash; then they are written as eight bytes to `out`, if given. False, with nothing
// written, otherwise (and always without SSE2).
bool asciiEight([[maybe_unused]] char *out, [[maybe_unused]] const char16_t *u,
                [[maybe_unused]] bool printable)
{
#if defined(__SSE2__)
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(u));
    const __m128i ascii =
        _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(short(0xFF80))), _mm_setzero_si128());
    __m128i fine = ascii;
    if (printable) { // below 0x80 the signed comparisons are the unsigned ones
        const __m128i special =
            _mm_or_si128(_mm_cmplt_epi16(units, _mm_set1_epi16(0x20)),
                         _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(0x7F)),
                                      _mm_cmpeq_epi16(units, _mm_set1_epi16('\\'))));
        fine = _mm_andnot_si128(special, ascii);
    }
    if (_mm_movemask_epi8(fine) != 0xFFFF)
        return false;
    if (out)
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(units, units));
    return true;
#else
    return false;
#endif
}

} // namespace

namespace {

// The unit at `i` (with the low surrogate after it, which moves `i` on) as UTF-8; a lone
// surrogate as the replacement character.
char *writeUnit(char *out, const char16_t *u, qsizetype &i, qsizetype n)
{
    auto *p = reinterpret_cast<uchar *>(out);
    char32_t c = u[i];
    if (c < 0x80) {
        *p++ = uchar(c);
        return reinterpret_cast<char *>(p);
    }
    if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(u[i + 1]))
        c = QChar::surrogateToUcs4(char16_t(c), u[++i]);
    else if (QChar::isSurrogate(c))
        c = QChar::ReplacementCharacter;
    if (c < 0x800) {
        *p++ = uchar(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        *p++ = uchar(0xE0 | (c >> 12));
        *p++ = uchar(0x80 | ((c >> 6) & 0x3F));
    } else {
        *p++ = uchar(0xF0 | (c >> 18));
        *p++ = uchar(0x80 | ((c >> 12) & 0x3F));
        *p++ = uchar(0x80 | ((c >> 6) & 0x3F));
    }
    *p++ = uchar(0x80 | (c & 0x3F));
    return reinterpret_cast<char *>(p);
}

} // namespace

char *writeUtf8(char *out, const QString &text)
{
    const auto *u = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        if (n - i >= 8 && asciiEight(out, u + i, false)) {
            out += 8;
            i += 8;
            continue;
        }
        // The next eight units one by one (a pair of surrogates may end one past them).
        for (const qsizetype end = std::min(n, i + 8); i < end; ++i)
            out = writeUnit(out, u, i, n);
    }
    return out;
}

QString jsonString(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

namespace {

// A backslash and what stands for `c`: the usual letters, \u for the line and paragraph
// separators, \x and two hex digits for any other control character.
char *writeEscape(char *out, char16_t c)
{
    *out++ = '\\';
    switch (c) {
    case u'\t':
        *out++ = 't';
        break;
    case u'\n':
        *out++ = 'n';
        break;
    case u'\r':
        *out++ = 'r';
        break;
    case u'\\':
        *out++ = '\\';
        break;
    case 0x2028:
    case 0x2029:
        out = std::copy_n(c == 0x2028 ? "u2028" : "u2029", 5, out);
        break;
    default: {
        static const char hex[] = "0123456789abcdef";
        *out++ = 'x';
        *out++ = hex[(c >> 4) & 0xF];
        *out++ = hex[c & 0xF];
    }
    }
    return out;
}

} // namespace

char *writeEscapedUtf8(char *out, const QString &text)
{
    // One pass, each unit written as it is met.
    const auto *u = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        if (n - i >= 8 && asciiEight(out, u + i, true)) {
            out += 8;
            i += 8;
            continue;
        }
        for (const qsizetype end = std::min(n, i + 8); i < end; ++i) {
            const char16_t c = u[i];
            if (c >= 0x20 && c < 0x7F && c != u'\\')
                *out++ = char(c);
            else if (c <= 0x9F || c == 0x2028 || c == 0x2029) // C0, DEL, C1, the backslash
                out = writeEscape(out, c);
            else
                out = writeUnit(out, u, i, n);
        }
    }
    return out;
}

char *writeUtf8(char *out, QLatin1StringView text)
{
    // ASCII eight bytes at a time, as it is.
    const char *in = text.data();
    const char *const end = in + text.size();
    for (std::uint64_t eight = 0; end - in >= 8; in += 8, out += 8) {
        std::memcpy(&eight, in, 8);
        if (eight & 0x8080808080808080u)
            break;
        std::memcpy(out, &eight, 8);
    }
    for (const char c : QLatin1StringView(in, end)) {
        const auto u = uchar(c);
        if (u < 0x80) {
            *out++ = c;
        } else {
            *out++ = char(0xC0 | (u >> 6));
            *out++ = char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

char *writeEscapedUtf8(char *out, QLatin1StringView text)
{
    // The fit's texts are printable ASCII: copied as they are, sixteen bytes at once where
    // SSE2 is; anything else as a QString is, over what was copied.
    const char *in = text.data();
    qsizetype done = 0;
#if defined(__SSE2__)
    for (; text.size() - done >= 16; done += 16) {
        // Signed bytes: those from 0x80 on are negative, below the space like the controls.
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + done));
        const __m128i special =
            _mm_or_si128(_mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20)),
                         _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7F)),
                                      _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))));
        if (_mm_movemask_epi8(special) != 0)
            return writeEscapedUtf8(out, QString(text));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + done), bytes);
    }
#endif
    for (const char c : text.sliced(done))
        if (uchar(c) < 0x20 || uchar(c) >= 0x7F || c == '\\')
            return writeEscapedUtf8(out, QString(text));
    return std::copy(in + done, in + text.size(), out + done);
}
