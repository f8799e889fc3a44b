// The fixes the mod-wide check offers for string files: missing language
// fields and empty texts filled from another language, spaces trimmed from
// keys, new ids for ids given twice. Every other byte of a file stays.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "documents/ModCheck.h"

namespace vm {

struct FixOptions {
    bool fillMissing = false;  // missing-language: add the field
    bool fillEmpty = false;    // empty-text: fill the text
    bool trimKeys = false;     // whitespace: trim the key
    bool newIds = false;       // duplicate-id: a new id
    int from = 0;              // the language the fills copy
    // Hands out ids no string file holds (none left: nullopt).
    std::function<std::optional<std::int64_t>()> nextId;
};

struct FixReport {
    std::size_t filled = 0, trimmed = 0, renumbered = 0;
    std::vector<std::u16string> written;  // the files changed
    std::vector<std::string> errors;      // files that could not be fixed, and why
};

// The fixes options asks for, for the findings of a check of mod; each
// string file that changes is written in place (replaced only when every
// byte was written).
FixReport FixModStrings(const ModStrings& mod, const std::vector<Finding>& findings, const FixOptions& options,
                        const ReadLimits& limits);

}  // namespace vm
