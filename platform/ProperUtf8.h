// Proper UTF-8 <-> UTF-16, shared by both platform implementations (only
// one of which is linked, so these are inline and used by ToUtf8/FromUtf8).
//
// Encoding: a surrogate pair becomes one four-byte sequence; a lone
// surrogate is written in its three-byte form, so that every UTF-16 file
// name has a UTF-8 name of its own. Decoding accepts exactly that:
// well-formed UTF-8 plus the three-byte forms of surrogates (decoded as the
// unit they stand for). Anything else - a stray continuation byte, a cut
// sequence, an overlong form, a value beyond U+10FFFF - becomes U+FFFD, one
// per maximal ill-formed part.
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
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
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
        int length;
        std::uint32_t c;
        // The allowed range of the second byte rules out overlong forms
        // and values beyond U+10FFFF up front.
        std::uint8_t low = 0x80, high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            c = b & 0x0F;
            if (b == 0xE0) low = 0xA0;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            c = b & 0x07;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool complete = true;
        for (int k = 1; k < length; ++k, ++j) {
            if (j >= n) {
                complete = false;
                break;
            }
            const std::uint8_t t = static_cast<std::uint8_t>(text[j]);
            const std::uint8_t lo = k == 1 ? low : 0x80;
            const std::uint8_t hi = k == 1 ? high : 0xBF;
            if (t < lo || t > hi) {
                complete = false;
                break;
            }
            c = (c << 6) | (t & 0x3F);
        }
        if (!complete) {
            out.push_back(0xFFFD);
            i = j;  // the lead byte and the continuation bytes that fitted
            continue;
        }
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
