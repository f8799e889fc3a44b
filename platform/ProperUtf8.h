// UTF-8 <-> UTF-16 for names and console text, shared by both platform
// implementations (only one of which is linked, so these are inline and
// used by ToUtf8/FromUtf8).
//
// Decoding takes well-formed UTF-8 (no encoded surrogates, no overlong
// forms, nothing beyond U+10FFFF); every byte that is not part of such a
// sequence becomes the lone surrogate U+DC00 + byte (bytes 80..FF, since
// ASCII is always well-formed). Encoding writes such a lone U+DC80..U+DCFF
// back as its byte, a surrogate pair as one four-byte sequence, and any
// other lone surrogate in its three-byte form. So decoding and then
// encoding gives back every byte string exactly: a POSIX file name keeps
// its bytes whatever its encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vm::platform::detail {

inline std::string EncodeUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c >= 0xDC80 && c <= 0xDCFF) {  // a byte that was not UTF-8
            out.push_back(static_cast<char>(c - 0xDC00));
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

inline std::u16string DecodeUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = static_cast<std::uint8_t>(text[i]);
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int length = 0;
        std::uint32_t c = 0;
        // The allowed range of the second byte rules out overlong forms,
        // encoded surrogates and values beyond U+10FFFF up front.
        std::uint8_t low = 0x80, high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            c = b & 0x0F;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            c = b & 0x07;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        }
        bool complete = length != 0 && i + static_cast<std::size_t>(length) <= n;
        for (int k = 1; complete && k < length; ++k) {
            const std::uint8_t t = static_cast<std::uint8_t>(text[i + static_cast<std::size_t>(k)]);
            const std::uint8_t lo = k == 1 ? low : 0x80;
            const std::uint8_t hi = k == 1 ? high : 0xBF;
            if (t < lo || t > hi) complete = false;
            c = (c << 6) | (t & 0x3F);
        }
        if (!complete) {
            // This byte alone, kept as itself; the next one starts afresh.
            out.push_back(static_cast<char16_t>(0xDC00 + b));
            ++i;
            continue;
        }
        const std::size_t j = i + static_cast<std::size_t>(length);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i = j;
    }
    return out;
}

// True when units[i] starts a surrogate pair.
inline bool PairAt(const char16_t* units, std::size_t count, std::size_t i) {
    return units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
           units[i + 1] <= 0xDFFF;
}

inline bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

}  // namespace vm::platform::detail
