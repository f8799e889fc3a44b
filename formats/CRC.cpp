#include "CRC.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "BlockScan.h"

namespace vm {

namespace {

inline bool IsContinuation(unsigned b) { return (b & 0xC0u) == 0x80u; }

}  // namespace

std::size_t WideLengthWithin(const char16_t* text, std::size_t max) {
    if (!text) return 0;
    std::size_t i = 0;
#ifdef VM_BLOCK_SCAN
    const __m128i zero = _mm_setzero_si128();
    while (i < max) {
        if (!detail::BlockInPage(text + i)) {
            if (text[i] == 0) return i;
            ++i;
            continue;
        }
        const __m128i units = detail::LoadBlock(text + i);
        const auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(units, zero)));
        if (ends) return std::min(max, i + static_cast<std::size_t>(std::countr_zero(ends)) / 2);
        i += 8;
    }
    return max;
#else
    while (i < max && text[i] != 0) ++i;
    return i;
#endif
}

std::size_t WideLength(const char16_t* text) { return WideLengthWithin(text, SIZE_MAX); }

std::size_t WideCopyWithin(char16_t* dest, std::size_t room, const char16_t* src) {
    std::size_t i = 0;
    while (i < room) {
#ifdef VM_BLOCK_SCAN
        if (i + 8 <= room && detail::BlockInPage(src + i)) {
            const __m128i units = detail::LoadBlock(src + i);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i), units);
            const auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(units, _mm_setzero_si128())));
            if (ends) return i + static_cast<std::size_t>(std::countr_zero(ends)) / 2;
            i += 8;
            continue;
        }
#endif
        dest[i] = src[i];
        if (src[i] == 0) return i;
        ++i;
    }
    return SIZE_MAX;
}

std::size_t Utf8ToUtf16(char16_t* dest, std::size_t destBytes, const char* src, std::size_t maxChars,
                        std::size_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (!dest || destBytes < 2) return 0;
    const std::size_t maxUnits = destBytes / 2 - 1;
    std::size_t out = 0;
    if (src) {
        const auto* s = reinterpret_cast<const unsigned char*>(src);
        std::size_t chars = 0;
        while (out < maxUnits && chars < maxChars) {
#ifdef VM_BLOCK_SCAN
            // Runs of ASCII (most of a game table) are widened 16 bytes at
            // a time, up to the first byte that is zero or not ASCII, or
            // to the character bound. All 16 units are written (there is
            // room for them); those after the run are written again below.
            const __m128i zero = _mm_setzero_si128();
            while (out + 16 <= maxUnits && detail::BlockInPage(s)) {
                const __m128i bytes = detail::LoadBlock(s);
                const auto other = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(bytes, _mm_cmpeq_epi8(bytes, zero))));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + out), _mm_unpacklo_epi8(bytes, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + out + 8), _mm_unpackhi_epi8(bytes, zero));
                const std::size_t ascii = other ? static_cast<std::size_t>(std::countr_zero(other)) : 16;
                const std::size_t run = std::min(ascii, maxChars - chars);
                out += run;
                chars += run;
                s += run;
                if (run < 16) break;
            }
            if (out >= maxUnits || chars >= maxChars) break;
#endif
            // One character by the exact rules, then more while they are
            // not ASCII (a word of Cyrillic or Chinese text).
            bool stop = false;
            do {
                const unsigned b1 = *s;
                char16_t unit;
                if (b1 < 0x80) {
                    if (b1 == 0) {
                        stop = true;
                        break;
                    }
                    unit = static_cast<char16_t>(b1);
                    ++s;
                } else if (b1 < 0xC0) {
                    stop = true;  // a continuation byte where a character should start
                    break;
                } else if (b1 < 0xE0) {
                    // The second byte must be a continuation byte: a stray
                    // single-byte letter must not swallow the quote, tab or
                    // line break after it. A zero byte ends the text in any
                    // case.
                    const unsigned b2 = s[1];
                    if (!IsContinuation(b2)) {
                        stop = true;
                        break;
                    }
                    unit = static_cast<char16_t>(((b1 & 0x1Fu) << 6) | (b2 & 0x3Fu));
                    s += 2;
                } else if (b1 < 0xF0) {
                    const unsigned b2 = s[1];
                    const unsigned b3 = IsContinuation(b2) ? s[2] : 0;
                    if (!IsContinuation(b2) || b3 == 0 || b3 >= 0xC0) {
                        stop = true;
                        break;
                    }
                    unit = static_cast<char16_t>(((b1 & 0x0Fu) << 12) | ((b2 & 0x3Fu) << 6) | (b3 & 0x3Fu));
                    s += 3;
                } else {
                    // A character beyond U+FFFF becomes a surrogate pair, so
                    // one emoji does not cut off the rest of the text.
                    if (b1 > 0xF4 || !IsContinuation(s[1]) || !IsContinuation(s[2]) || !IsContinuation(s[3])) {
                        stop = true;
                        break;
                    }
                    const unsigned cp = ((b1 & 0x07u) << 18) | ((s[1] & 0x3Fu) << 12) | ((s[2] & 0x3Fu) << 6) |
                                        (s[3] & 0x3Fu);
                    if (cp < 0x10000u || cp > 0x10FFFFu || out + 2 > maxUnits) {  // never split the pair
                        stop = true;
                        break;
                    }
                    const unsigned v = cp - 0x10000u;
                    dest[out++] = static_cast<char16_t>(0xD800u | (v >> 10));
                    dest[out++] = static_cast<char16_t>(0xDC00u | (v & 0x3FFu));
                    s += 4;
                    ++chars;
                    continue;
                }
                dest[out++] = unit;
                ++chars;
            } while (out < maxUnits && chars < maxChars && *s >= 0x80);
            if (stop) break;
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
        const std::size_t n = count;
        std::size_t i = 0;
        while (i < n) {
#ifdef VM_BLOCK_SCAN
            // Runs of ASCII, 8 units at a time; all of them lie before n.
            while (i + 8 <= n && out + 8 <= room) {
                const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
                const __m128i high = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80)));
                const auto ascii = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())));
                // The 8 bytes are written in any case: those after the ASCII
                // units are written again below, and all lie within room.
                _mm_storel_epi64(reinterpret_cast<__m128i*>(d + out), _mm_packus_epi16(units, units));
                if (ascii == 0xFFFFu) {
                    i += 8;
                    out += 8;
                    continue;
                }
                const auto run = static_cast<std::size_t>(std::countr_one(ascii)) / 2;
                i += run;
                out += run;
                break;
            }
            if (i >= n) break;
#endif
            // One unit by the exact rules, then more while they are not
            // ASCII.
            do {
                const unsigned u = src[i];
                if (u < 0x80) {
                    if (out + 1 > room) goto done;
                    d[out++] = static_cast<unsigned char>(u);
                } else if (u < 0x800) {
                    if (out + 2 > room) goto done;
                    d[out++] = static_cast<unsigned char>(0xC0u | (u >> 6));
                    d[out++] = static_cast<unsigned char>(0x80u | (u & 0x3Fu));
                } else {
                    // The two halves of a surrogate pair are one character: a
                    // cut between them would leave a lone surrogate behind.
                    const bool pair = u >= 0xD800 && u <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 &&
                                      src[i + 1] <= 0xDFFF;
                    if (out + (pair ? 6 : 3) > room) goto done;
                    d[out++] = static_cast<unsigned char>(0xE0u | (u >> 12));
                    d[out++] = static_cast<unsigned char>(0x80u | ((u >> 6) & 0x3Fu));
                    d[out++] = static_cast<unsigned char>(0x80u | (u & 0x3Fu));
                }
                ++i;
            } while (i < n && src[i] >= 0x80);
        }
    }
done:
    dest[out] = 0;
    return out;
}

std::size_t Utf16ToUtf8(char* dest, std::size_t destBytes, const char16_t* src,
                        std::size_t maxUnits) {
    // Where the text or maxUnits ends, the pair test of the last unit
    // fails either way (a terminator is no low surrogate).
    return Utf16ToUtf8Counted(dest, destBytes, src, WideLengthWithin(src, maxUnits));
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

std::size_t FindLineBreak(std::u16string_view text, std::size_t from) {
    const char16_t* p = text.data();
    const std::size_t n = text.size();
#ifdef VM_BLOCK_SCAN
    // Eight units a step: most texts have no break at all.
    const __m128i cr = _mm_set1_epi16(u'\r');
    const __m128i lf = _mm_set1_epi16(u'\n');
    for (; from + 8 <= n; from += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
        const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, cr), _mm_cmpeq_epi16(v, lf)));
        if (hits != 0) return from + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(hits))) / 2;
    }
#endif
    for (; from < n; ++from)
        if (p[from] == u'\r' || p[from] == u'\n') return from;
    return n;
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

}  // namespace vm
