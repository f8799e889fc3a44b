#include "formats/ColorMacros.h"

#include <cstring>

#include "formats/TextHelpers.h"

namespace vm {

const ColorMacro ColorMacroTable[ColorMacroCount] = {
    {u"\\white;", u'/'},  {u"\\grey;", u'0'},   {u"\\red;", u'1'},    {u"\\green;", u'2'}, {u"\\blue;", u'3'},
    {u"\\gold;", u'4'},   {u"\\dgrey;", u'5'},  {u"\\black;", u'6'},  {u"\\tan;", u'7'},   {u"\\orange;", u'8'},
    {u"\\yellow;", u'9'}, {u"\\dgreen;", u':'}, {u"\\purple;", u';'}, {u"\\color;", 0},
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

std::size_t FirstCode(const char16_t* src, std::size_t count) {
    std::size_t i = 0;
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

std::size_t MacrosToColorCodesCounted(const char16_t* src, std::size_t count, char16_t* dest, bool NewlineAsLineFeed) {
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
