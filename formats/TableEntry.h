// How readers hand out entries and writers pull them: one entry per call,
// in entry order. Strings are zero-terminated UTF-16 and valid only during
// (sink) or until the next call (source).
#pragma once

#include <cstdint>
#include <functional>

namespace vm {

using TableEntrySink = std::function<void(const char16_t* key, const char16_t* value)>;

// Sets key and value of entry i and returns true; false fails the write.
using TableEntrySource =
    std::function<bool(std::int32_t i, const char16_t*& key, const char16_t*& value)>;

enum class TextEncoding : int { Unicode = 0, UTF8 = 1, ANSI = 2, Autodetect = 3 };
enum class TextLayout : int { Tabbed = 0, DiabloII = 1 };

}  // namespace vm
