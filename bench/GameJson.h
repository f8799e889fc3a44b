// Made-up string files of the remastered game in its own layout, for the
// benchmarks: every object with its 13 languages in their scripts.
#pragma once

#include <random>
#include <string>

#include "formats/JsonStrings.h"

namespace vmbench {

// A value in one of the game's scripts, with its colour codes, line breaks
// and private-use glyphs now and then, as UTF-8 JSON string text. With a
// tail, the value ends in it instead of a tail of its own choosing (an
// object whose translations keep the source's placeholders and lines).
inline std::string Text(std::mt19937& rng, int language, const std::string* tail = nullptr) {
    static const char* const latin[] = {"a", "e",        "r",        "t",        "s", "n",
                                        " ", "\xC3\xA9", "\xC3\xBC", "\xC3\xB1", "o", "l"};
    static const char* const cyrillic[] = {"\xD0\xB0", "\xD0\xB1", "\xD0\xB2", "\xD0\xB3", " ", "\xD1\x8F", "\xD0\xBE"};
    static const char* const cjk[] = {"\xE4\xB8\xAD", "\xE6\x96\x87", "\xE5\xAD\x97",
                                      "\xE7\xAC\xA6", "\xEA\xB0\x80", "\xE3\x81\x82"};
    std::string s;
    if (tail ? tail->starts_with("\xC3\xBF") : rng() % 5 == 0)
        s += "\xC3\xBF"
             "c4";
    const bool wide = language == 1 || language == 6 || language == 9 || language == 12;
    const bool russian = language == 11;
    const unsigned length = wide ? 6 + rng() % 10 : russian ? 8 + rng() % 16 : 14 + rng() % 28;
    for (unsigned i = 0; i < length; ++i)
        s += wide ? cjk[rng() % 6] : russian ? cyrillic[rng() % 7] : latin[rng() % 12];
    if (tail) return s + (tail->starts_with("\xC3\xBF") ? tail->substr(4) : *tail);
    if (rng() % 9 == 0) s += "\\n%d";
    if (rng() % 13 == 0) s += "\\uE01D";
    return s;
}

// A file in the game's own layout. Consistent: every language of an object
// has the same placeholders and line breaks, as a finished translation.
inline std::string GameFile(int objects, int firstId = 1000, unsigned seed = 16, bool consistent = false) {
    std::mt19937 rng(seed);
    std::string s = "\xEF\xBB\xBF[";
    for (int i = 0; i < objects; ++i) {
        s += i ? ",\r\n  {" : "\r\n  {";
        s += "\r\n    \"id\": " + std::to_string(firstId + i) + ",\r\n    \"Key\": \"ItemName" +
             std::to_string(consistent ? firstId + i : i) + "\"";
        std::string tail;
        if (consistent) {
            tail = rng() % 5 == 0 ? "\xC3\xBF"
                                    "c4"
                                  : "";
            tail += rng() % 9 == 0 ? "\\n%d" : rng() % 13 == 0 ? "\\uE01D" : "";
        }
        for (int l = 0; l < vm::JsonLanguageCount; ++l)
            s += std::string(",\r\n    \"") + vm::JsonLanguageCodes[l] + "\": \"" +
                 Text(rng, l, consistent ? &tail : nullptr) + "\"";
        s += "\r\n  }";
    }
    return s + "\r\n]\r\n";
}

}  // namespace vmbench
