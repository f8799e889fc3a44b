// What changed between two versions of a mod's or the game's strings:
// entries added, removed, changed (per language) and moved, file by file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "documents/ModStrings.h"

namespace vm {

enum class ChangeKind : std::uint8_t { Added, Removed, Changed, Moved };
const char* ChangeKindName(ChangeKind kind);  // "added", "removed", "changed", "moved"

struct StringChange {
    ChangeKind kind = ChangeKind::Changed;
    std::u16string file;  // the file's name within its folder (or as given)
    std::u16string key;
    int language = -1;  // Changed: the language whose text changed
    // Changed: the text before and after (stored form). Added and Removed:
    // the entry's source text.
    std::u16string before, after;
    bool hadText = false, hasText = false;  // Changed: whether the field was there
    std::uint32_t oldLine = 0, newLine = 0;
};

// Pairs the files of old and now by name (two single files are paired
// whatever their names), then their entries by key, repeated keys in order
// (the n-th entry of a key with the n-th), and lists what differs. A file
// only one side has counts its entries as added or removed. Changes come
// file by file in the order of now's files, then the files now lacks.
std::vector<StringChange> DiffModStrings(const ModStrings& old, const ModStrings& now, int sourceLanguage = 0);

}  // namespace vm
