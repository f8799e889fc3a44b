#include "CRC.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vm {

namespace {

inline bool IsContinuation(unsigned b) { return (b & 0xC0u) == 0x80u; }

}  // namespace

std::size_t WideLength(const char16_t* text) {
    if (!text) return 0;
    const char16_t* p = text;
    while (*p) ++p;
    return static_cast<std::size_t>(p - text);
}

std::size_t Utf8ToUtf16(char16_t* dest, std::size_t destBytes, const char* src,
                        std::size_t maxChars, std::size_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (!dest || destBytes < 2) return 0;
    const std::size_t maxUnits = destBytes / 2 - 1;
    std::size_t out = 0;
    if (src) {
        const auto* s = reinterpret_cast<const unsigned char*>(src);
        // Runs of ASCII (most of a game table) are widened many bytes at a
        // time, which needs to know that no zero byte ends the text within
        // them. The text is scanned for its end only a little ahead of the
        // decoding, in chunks that grow with what has been decoded: a
        // reader that decodes many short strings out of one long one must
        // not scan to its end every time.
        const auto* start = s;
        const auto* scanned = s;  // no zero byte in [start, scanned)
        bool terminated = false;  // the zero byte is at scanned
        auto clear = [&](std::size_t want) {  // bytes from s known not to hold the end
            if (scanned < s) scanned = s;  // decoded one by one, so no zero byte there
            while (!terminated && static_cast<std::size_t>(scanned - s) < want) {
                const std::size_t chunk = std::max<std::size_t>(64, static_cast<std::size_t>(scanned - start));
                if (const void* zero = std::memchr(scanned, 0, chunk)) {
                    scanned = static_cast<const unsigned char*>(zero);
                    terminated = true;
                } else {
                    scanned += chunk;
                }
            }
            return static_cast<std::size_t>(scanned - s);
        };
        std::size_t chars = 0;
        while (out < maxUnits && chars < maxChars) {
#if defined(__SSE2__)
            while (out + 16 <= maxUnits && chars + 16 <= maxChars && clear(16) >= 16) {
                const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
                if (_mm_movemask_epi8(bytes)) break;
                const __m128i zero = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + out), _mm_unpacklo_epi8(bytes, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + out + 8), _mm_unpackhi_epi8(bytes, zero));
                out += 16;
                chars += 16;
                s += 16;
            }
#endif
            while (out + 8 <= maxUnits && chars + 8 <= maxChars && clear(8) >= 8) {
                std::uint64_t w;
                std::memcpy(&w, s, 8);
                if (w & 0x8080808080808080ull) break;
                for (int k = 0; k < 8; ++k) dest[out + k] = static_cast<char16_t>(s[k]);
                out += 8;
                chars += 8;
                s += 8;
            }
            if (out >= maxUnits || chars >= maxChars) break;
            const unsigned b1 = *s;
            if (b1 < 0x80) {
                if (b1 == 0) break;
                // Runs of ASCII are the common case in game tables.
                dest[out++] = static_cast<char16_t>(b1);
                ++s;
                ++chars;
                continue;
            }
            char16_t unit;
            if (b1 < 0xC0) {
                break;  // a continuation byte where a character should start
            } else if (b1 < 0xE0) {
                // The second byte must be a continuation byte: a stray
                // single-byte letter must not swallow the quote, tab or line
                // break after it. A zero byte ends the text in any case.
                const unsigned b2 = s[1];
                if (!IsContinuation(b2)) break;
                unit = static_cast<char16_t>(((b1 & 0x1Fu) << 6) | (b2 & 0x3Fu));
                s += 2;
            } else if (b1 < 0xF0) {
                const unsigned b2 = s[1];
                if (!IsContinuation(b2)) break;
                const unsigned b3 = s[2];
                if (b3 == 0 || b3 >= 0xC0) break;
                unit = static_cast<char16_t>(((b1 & 0x0Fu) << 12) | ((b2 & 0x3Fu) << 6) |
                                             (b3 & 0x3Fu));
                s += 3;
            } else {
                // A character beyond U+FFFF becomes a surrogate pair, so one
                // emoji does not cut off the rest of the text.
                if (b1 > 0xF4) break;
                const unsigned b2 = s[1];
                if (!IsContinuation(b2)) break;
                const unsigned b3 = s[2];
                if (!IsContinuation(b3)) break;
                const unsigned b4 = s[3];
                if (!IsContinuation(b4)) break;
                const unsigned cp = ((b1 & 0x07u) << 18) | ((b2 & 0x3Fu) << 12) |
                                    ((b3 & 0x3Fu) << 6) | (b4 & 0x3Fu);
                if (cp < 0x10000u || cp > 0x10FFFFu) break;
                if (out + 2 > maxUnits) break;  // never split the pair
                const unsigned v = cp - 0x10000u;
                dest[out++] = static_cast<char16_t>(0xD800u | (v >> 10));
                dest[out++] = static_cast<char16_t>(0xDC00u | (v & 0x3FFu));
                s += 4;
                ++chars;
                continue;
            }
            dest[out++] = unit;
            ++chars;
        }
        if (bytesRead) *bytesRead = static_cast<std::size_t>(reinterpret_cast<const char*>(s) - src);
    }
    dest[out] = 0;
    return out;
}

std::size_t Utf16ToUtf8(char* dest, std::size_t destBytes, const char16_t* src,
                        std::size_t maxUnits) {
    if (!dest || destBytes < 1) return 0;
    const std::size_t room = destBytes - 1;
    std::size_t out = 0;
    if (src) {
        auto* d = reinterpret_cast<unsigned char*>(dest);
        for (std::size_t i = 0; i < maxUnits; ++i) {
            const unsigned u = src[i];
            if (u == 0) break;
            if (u < 0x80) {
                if (out + 1 > room) break;
                d[out++] = static_cast<unsigned char>(u);
            } else if (u < 0x800) {
                if (out + 2 > room) break;
                d[out++] = static_cast<unsigned char>(0xC0u | (u >> 6));
                d[out++] = static_cast<unsigned char>(0x80u | (u & 0x3Fu));
            } else {
                // The two halves of a surrogate pair are one character: a cut
                // between them would leave a lone surrogate behind.
                const bool pair = u >= 0xD800 && u <= 0xDBFF && i + 1 < maxUnits &&
                                  src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF;
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

std::u16string IntToDecimal(std::int32_t value) {
    // Work on the magnitude as unsigned so the smallest integer has one.
    std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value)
                                        : static_cast<std::uint32_t>(value);
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
        diff = static_cast<int>(static_cast<std::uint16_t>(s1[j])) -
               static_cast<int>(static_cast<std::uint16_t>(s2[j]));
        if (diff != 0 || s1[j] == 0) break;
    }
    return diff;
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

}  // namespace vm
