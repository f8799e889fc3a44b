#include "ColorMacros.h"

#include <bit>
#include <cstring>

#include "CRC.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vm {

const ColorMacro ColorMacroTable[ColorMacroCount] = {
    {u"\\white;", u'/'},  {u"\\grey;", u'0'},   {u"\\red;", u'1'},    {u"\\green;", u'2'},
    {u"\\blue;", u'3'},   {u"\\gold;", u'4'},   {u"\\dgrey;", u'5'},  {u"\\black;", u'6'},
    {u"\\tan;", u'7'},    {u"\\orange;", u'8'}, {u"\\yellow;", u'9'}, {u"\\dgreen;", u':'},
    {u"\\purple;", u';'}, {u"\\color;", 0},
};

namespace {

constexpr char16_t ColorLead = 0x00FF;
constexpr int ColorWordRow = 13;

// Units that ColorCodesToMacros copies unchanged.
inline bool IsOrdinary(char16_t u) { return u != 0 && u != u'\n' && u != u'\r' && u != ColorLead; }

inline char16_t* PutWord(char16_t* d, const char16_t* word) {
    while (*word) *d++ = *word++;
    return d;
}

// Length of the macro word at src (which starts with a backslash) and its
// row, or 0 when none matches. Every word ends in a semicolon, so at most
// one can match.
inline std::size_t MatchMacro(const char16_t* src, int& row) {
    for (int r = ColorWordRow; r >= 0; --r) {
        const char16_t* w = ColorMacroTable[r].word;
        std::size_t n = 0;
        while (w[n] && src[n] == w[n]) ++n;
        if (w[n] == 0) {
            row = r;
            return n;
        }
    }
    return 0;
}

}  // namespace

bool Utf8MayHoldCodes(const std::uint8_t* bytes, std::size_t count) {
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= count; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i found =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(b, _mm_set1_epi8('\r'))),
                         _mm_cmpeq_epi8(b, _mm_set1_epi8(static_cast<char>(0xBF))));
        if (_mm_movemask_epi8(found)) return true;
    }
#endif
    for (; i < count; ++i)
        if (bytes[i] == '\n' || bytes[i] == '\r' || bytes[i] == 0xBF) return true;
    return false;
}

std::size_t FirstCode(const char16_t* src, std::size_t count) {
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= count; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i special =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, _mm_setzero_si128()), _mm_cmpeq_epi16(units, _mm_set1_epi16(u'\n'))),
                         _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u'\r')),
                                      _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(ColorLead)))));
        if (const auto found = static_cast<unsigned>(_mm_movemask_epi8(special)))
            return i + static_cast<std::size_t>(std::countr_zero(found)) / 2;
    }
#endif
    while (i < count && IsOrdinary(src[i])) ++i;
    return i;
}

std::size_t ColorCodesToMacros(const char16_t* src, char16_t* dest, std::size_t limit) {
    return ColorCodesToMacrosCounted(src, WideLengthWithin(src, limit), dest);
}

std::size_t ColorCodesToMacrosCounted(const char16_t* src, std::size_t limit, char16_t* dest) {
    char16_t* d = dest;
    if (src) {
        std::size_t i = 0;
        while (i < limit && src[i] != 0) {
            // Copy the run of units that need no conversion in one go.
            const std::size_t run = i + FirstCode(src + i, limit - i);
            if (run > i) {
                std::memcpy(d, src + i, (run - i) * sizeof(char16_t));
                d += run - i;
                i = run;
                continue;
            }
            const char16_t u = src[i];
            if (u == u'\n') {
                *d++ = u'\\';
                *d++ = u'n';
                ++i;
            } else if (u == u'\r') {
                ++i;
            } else if (u == ColorLead && i + 1 < limit && src[i + 1] == u'c') {
                if (i + 2 >= limit) {  // the code ends the consumed range
                    d = PutWord(d, ColorMacroTable[ColorWordRow].word);
                    i += 2;
                    break;
                }
                const char16_t x = src[i + 2];
                if (x >= u'/' && x <= u';') {
                    d = PutWord(d, ColorMacroTable[x - u'/'].word);
                } else if (x == 0) {
                    d = PutWord(d, ColorMacroTable[ColorWordRow].word);
                    break;
                } else {
                    d = PutWord(d, ColorMacroTable[ColorWordRow].word);
                    *d++ = x;
                }
                i += 3;
            } else {
                *d++ = u;
                ++i;
            }
        }
    }
    *d = 0;
    return static_cast<std::size_t>(d - dest);
}

std::size_t FirstEscape(const char16_t* src, std::size_t count) {
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= count; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const auto slashes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(units, _mm_set1_epi16(u'\\'))));
        if (slashes) return i + static_cast<std::size_t>(std::countr_zero(slashes)) / 2;
    }
#endif
    while (i < count && src[i] != u'\\') ++i;
    return i;
}

std::size_t MacrosToColorCodes(const char16_t* src, char16_t* dest, std::size_t limit, bool NewlineAsLineFeed) {
    if (!src) {
        *dest = 0;
        return 0;
    }
    return MacrosToColorCodesCounted(src, WideLengthWithin(src, limit), dest, NewlineAsLineFeed);
}

std::size_t MacrosToColorCodesCounted(const char16_t* src, std::size_t count, char16_t* dest,
                                      bool NewlineAsLineFeed) {
    char16_t* d = dest;
    std::size_t i = 0;
    // The loop ends where the counted units do; a macro word may still
    // reach past them, as the text goes on there.
    while (i < count) {
        // Runs without a backslash are copied in one piece.
        const std::size_t plain = FirstEscape(src + i, count - i);
        std::memcpy(d, src + i, plain * sizeof(char16_t));
        d += plain;
        i += plain;
        if (i >= count) break;
        // src[i] is a backslash.
        if (src[i + 1] == u'n') {
            if (NewlineAsLineFeed) {
                *d++ = u'\n';
            } else {
                *d++ = u'\\';
                *d++ = u'n';
            }
            i += 2;
            continue;
        }
        int row = 0;
        if (const std::size_t n = MatchMacro(src + i, row)) {
            *d++ = ColorLead;
            *d++ = u'c';
            if (ColorMacroTable[row].code) *d++ = ColorMacroTable[row].code;
            i += n;
            continue;
        }
        *d++ = src[i++];
    }
    *d = 0;
    return static_cast<std::size_t>(d - dest);
}

}  // namespace vm
