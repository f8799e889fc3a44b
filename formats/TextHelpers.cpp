#include "formats/TextHelpers.h"

#include <algorithm>
#include <cstdint>

namespace vm {

namespace {

inline bool IsContinuation(unsigned b) { return (b & 0xC0u) == 0x80u; }

}  // namespace

std::size_t WideLengthWithin(const char16_t* text, std::size_t max) {
    if (!text) return 0;
    std::size_t i = 0;
    while (i < max && text[i] != 0) ++i;
    return i;
}

std::size_t WideLength(const char16_t* text) { return WideLengthWithin(text, SIZE_MAX); }

std::size_t Utf8ToUtf16(char16_t* dest, std::size_t destBytes, const char* src, std::size_t maxChars,
                        std::size_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (!dest || destBytes < 2) return 0;
    const std::size_t maxUnits = destBytes / 2 - 1;
    std::size_t out = 0;
    if (src) {
        const auto* s = reinterpret_cast<const unsigned char*>(src);
        for (std::size_t chars = 0; out < maxUnits && chars < maxChars; ++chars) {
            // A run of ASCII, most of a table, in a loop of its own.
            const std::size_t room = std::min(maxUnits - out, maxChars - chars);
            std::size_t run = 0;
            while (run < room && s[run] != 0 && s[run] < 0x80) {
                dest[out + run] = static_cast<char16_t>(s[run]);
                ++run;
            }
            out += run;
            chars += run;
            s += run;
            if (out >= maxUnits || chars >= maxChars) break;
            const unsigned b1 = s[0];
            if (b1 < 0x80) {
                break;  // the zero byte
            } else if (b1 < 0xC0) {
                break;  // a continuation byte where a character should start
            } else if (b1 < 0xE0) {
                // The second byte must be a continuation byte: a stray
                // single-byte letter must not swallow the quote, tab or
                // line break after it. A zero byte ends the text in any
                // case.
                const unsigned b2 = s[1];
                if (!IsContinuation(b2)) break;
                dest[out++] = static_cast<char16_t>(((b1 & 0x1Fu) << 6) | (b2 & 0x3Fu));
                s += 2;
            } else if (b1 < 0xF0) {
                const unsigned b2 = s[1];
                if (!IsContinuation(b2)) break;
                const unsigned b3 = s[2];
                if (b3 == 0 || b3 >= 0xC0) break;
                dest[out++] = static_cast<char16_t>(((b1 & 0x0Fu) << 12) | ((b2 & 0x3Fu) << 6) | (b3 & 0x3Fu));
                s += 3;
            } else {
                // A character beyond U+FFFF becomes a surrogate pair, so one
                // emoji does not cut off the rest of the text.
                if (b1 > 0xF4 || !IsContinuation(s[1]) || !IsContinuation(s[2]) || !IsContinuation(s[3])) break;
                const unsigned cp =
                    ((b1 & 0x07u) << 18) | ((s[1] & 0x3Fu) << 12) | ((s[2] & 0x3Fu) << 6) | (s[3] & 0x3Fu);
                if (cp < 0x10000u || cp > 0x10FFFFu || out + 2 > maxUnits) break;  // never split the pair
                const unsigned v = cp - 0x10000u;
                dest[out++] = static_cast<char16_t>(0xD800u | (v >> 10));
                dest[out++] = static_cast<char16_t>(0xDC00u | (v & 0x3FFu));
                s += 4;
            }
        }
        if (bytesRead) *bytesRead = static_cast<std::size_t>(reinterpret_cast<const char*>(s) - src);
    }
    dest[out] = 0;
    return out;
}

std::size_t Utf16ToUtf8Counted(char* dest, std::size_t destBytes, const char16_t* src, std::size_t count) {
    if (!dest || destBytes < 1) return 0;
    const std::size_t room = destBytes - 1;
    std::size_t out = 0;
    if (src) {
        auto* d = reinterpret_cast<unsigned char*>(dest);
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned u = src[i];
            if (u < 0x80) {
                if (out + 1 > room) break;
                d[out++] = static_cast<unsigned char>(u);
            } else if (u < 0x800) {
                if (out + 2 > room) break;
                d[out++] = static_cast<unsigned char>(0xC0u | (u >> 6));
                d[out++] = static_cast<unsigned char>(0x80u | (u & 0x3Fu));
            } else {
                // The two halves of a surrogate pair are one character: a
                // cut between them would leave a lone surrogate behind.
                const bool pair =
                    u >= 0xD800 && u <= 0xDBFF && i + 1 < count && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF;
                if (out + (pair ? 6 : 3) > room) break;
                d[out++] = static_cast<unsigned char>(0xE0u | (u >> 12));
                d[out++] = static_cast<unsigned char>(0x80u | ((u >> 6) & 0x3Fu));
                d[out++] = static_cast<unsigned char>(0x80u | (u & 0x3Fu));
            }
        }
    }
    dest[out] = 0;
    return out;
}

std::size_t Utf8Length(const char16_t* src, std::size_t count) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < count; ++i) bytes += src[i] < 0x80 ? 1 : src[i] < 0x800 ? 2 : 3;
    return bytes;
}

std::size_t Utf16ToUtf8(char* dest, std::size_t destBytes, const char16_t* src, std::size_t maxUnits) {
    // Where the text or maxUnits ends, the pair test of the last unit
    // fails either way (a terminator is no low surrogate).
    return Utf16ToUtf8Counted(dest, destBytes, src, WideLengthWithin(src, maxUnits));
}

std::u16string IntToDecimal(std::int32_t value) {
    // Work on the magnitude as unsigned so the smallest integer has one.
    std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    char16_t digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::u16string text;
    text.reserve(static_cast<std::size_t>(n) + 1);
    if (value < 0) text.push_back(u'-');
    while (n > 0) text.push_back(digits[--n]);
    return text;
}

std::int32_t DecimalToInt(const char16_t* text) {
    if (!text) return 0;
    bool negative = false;
    if (*text == u'-' || *text == u'+') {
        negative = *text == u'-';
        ++text;
    }
    // Unsigned accumulation: too many digits wrap around instead of
    // overflowing a signed integer.
    std::uint32_t value = 0;
    while (*text >= u'0' && *text <= u'9') {
        value = value * 10u + static_cast<std::uint32_t>(*text - u'0');
        ++text;
    }
    if (negative) value = 0u - value;
    return static_cast<std::int32_t>(value);
}

int BoundedCompare(const char16_t* s1, const char16_t* s2, std::size_t n) {
    if (n == 0) return 1;
    std::size_t k = 0;
    while (k < n && s2[k] != 0) ++k;
    if (k < n) ++k;  // the terminator takes part in the comparison
    int diff = 0;
    for (std::size_t j = 0; j < k; ++j) {
        diff =
            static_cast<int>(static_cast<std::uint16_t>(s1[j])) - static_cast<int>(static_cast<std::uint16_t>(s2[j]));
        if (diff != 0 || s1[j] == 0) break;
    }
    return diff;
}

std::size_t FindLineBreak(std::u16string_view text, std::size_t from) {
    for (; from < text.size(); ++from)
        if (text[from] == u'\r' || text[from] == u'\n') return from;
    return text.size();
}

void AppendNewlineEscaped(std::u16string& out, std::u16string_view text) {
    out.reserve(out.size() + text.size());
    std::size_t from = 0;
    for (std::size_t at = FindLineBreak(text, 0); at < text.size(); at = FindLineBreak(text, from)) {
        out.append(text.substr(from, at - from));
        if (text[at] == u'\n') out += u"\\n";
        from = at + 1;
    }
    out.append(text.substr(from));
}

char16_t* SwapNewlineEscape(char16_t* text, bool toEscape) {
    if (!text) return text;
    const char16_t first = toEscape ? u'\r' : u'\\';
    const char16_t second = toEscape ? u'\n' : u'n';
    const char16_t newFirst = toEscape ? u'\\' : u'\r';
    const char16_t newSecond = toEscape ? u'n' : u'\n';
    char16_t previous = 0;  // the unit before, as it read before any overwrite
    for (std::size_t i = 0; i < 65535 && text[i] != 0; ++i) {
        const char16_t current = text[i];
        if (previous == first && current == second) {
            text[i - 1] = newFirst;
            text[i] = newSecond;
        }
        previous = current;
    }
    return text;
}

char16_t FoldCase(char16_t c) {
    const auto pairOf = [c](char16_t first, char16_t last, bool capitalEven) {
        return c >= first && c <= last && ((c % 2 == 0) == capitalEven);
    };
    if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    // Latin-1: À to Þ but the multiplication sign.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    // Latin Extended-A: capital and small letter side by side, the capital
    // on the even unit up to U+0137 and from U+014A, on the odd one between;
    // the dotted capital I (U+0130) and small dotless i stay as they are.
    if (c == 0x178) return 0xFF;  // Ÿ
    if (c != 0x130 && (pairOf(0x100, 0x137, true) || pairOf(0x139, 0x148, false) || pairOf(0x14A, 0x177, true) ||
                       pairOf(0x179, 0x17E, false)))
        return static_cast<char16_t>(c + 1);
    // Greek capitals (U+03A2 is no letter), Cyrillic capitals.
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
    if (pairOf(0x460, 0x481, true) || pairOf(0x48A, 0x4BF, true) || pairOf(0x4D0, 0x52F, true))
        return static_cast<char16_t>(c + 1);
    if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<char16_t>(c + 32);  // full-width A to Z
    return c;
}

std::size_t FindIgnoringCase(std::u16string_view text, std::u16string_view part, std::size_t from) {
    if (from > text.size() || part.size() > text.size() - from) return std::u16string_view::npos;
    const std::size_t last = text.size() - part.size();
    for (std::size_t at = from; at <= last; ++at) {
        std::size_t k = 0;
        while (k < part.size() && FoldCase(text[at + k]) == FoldCase(part[k])) ++k;
        if (k == part.size()) return at;
    }
    return std::u16string_view::npos;
}

}  // namespace vm
