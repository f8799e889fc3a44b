// Every language of one object of a string file, for the panel that shows
// them side by side: the texts of the object as the file holds them now,
// and the language columns the two sides show, whose texts come from their
// tables and can be edited there. Changes go into the tables as one undo
// step.
#pragma once

#include <cstdint>
#include <string>

#include "documents/TblObjects.h"
#include "formats/JsonStrings.h"

namespace vm {

struct ObjectLanguages {
    std::u16string key;
    // Display form, as a table holds values; empty when the object has no
    // such field.
    std::u16string texts[JsonLanguageCount];
    // The side showing that column of the object's file, and its entry of
    // the object (-1: no side does; the text can only be read).
    TTblObjects* side[JsonLanguageCount] = {};
    std::int32_t entry[JsonLanguageCount];
};

// The object that entry row of p (a side showing a string file's column)
// is tied to, in every language: the file's texts as they are on disk now
// (as p read them when the file cannot be read), the columns of p and of
// the other side, when it shows the same file, as their tables hold them.
// False when p shows no string file or the entry is tied to no object of
// it (a new entry).
bool ReadObjectLanguages(TTblObjects& p, std::int32_t row, ObjectLanguages& out, const ReadLimits& limits);

// Puts the texts that changed against shown into the tables of the sides
// showing their columns, as one undo step of p; the others are left alone.
// True when a table changed.
bool ApplyObjectLanguages(TTblObjects& p, std::int32_t row, const ObjectLanguages& shown,
                          const std::u16string (&texts)[JsonLanguageCount]);

}  // namespace vm
