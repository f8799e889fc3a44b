// Every language of one object of a string file, for the panel that shows
// them side by side: the texts of the object as the file holds them now,
// and the language columns the two sides show, whose texts come from their
// tables and are edited there. The texts of the other languages are kept
// with the side until it is saved (TTblObjects::OtherLanguages). Changes
// are one undo step.
#pragma once

#include <cstdint>
#include <string>

#include "documents/TblObjects.h"
#include "formats/JsonStrings.h"

namespace vm {

struct ObjectLanguages {
    std::u16string key;
    std::int64_t id = 0;
    // Display form, as a table holds values; empty when the object has no
    // such field.
    std::u16string texts[JsonLanguageCount];
    // The side showing that column of the object's file, and its entry of
    // the object; for a language no side shows, the side that keeps its
    // text until saved, and -1.
    TTblObjects* side[JsonLanguageCount] = {};
    std::int32_t entry[JsonLanguageCount];
};

// The object that entry row of p (a side showing a string file's column)
// is tied to, in every language: the file's texts as they are on disk now
// (as p read them when the file cannot be read), the columns of p and of
// the other side, when it shows the same file, as their tables hold them,
// and the texts the sides keep for the other languages.
// False when p shows no string file or the entry is tied to no object of
// it (a new entry).
bool ReadObjectLanguages(TTblObjects& p, std::int32_t row, ObjectLanguages& out, const ReadLimits& limits);

// Puts the texts that changed against shown into the tables of the sides
// showing their columns, and the others into the texts the sides keep, as
// one undo step of p. True when something changed.
bool ApplyObjectLanguages(TTblObjects& p, std::int32_t row, const ObjectLanguages& shown,
                          const std::u16string (&texts)[JsonLanguageCount]);

// Sets the kept texts (object id and language to display form) in doc, a
// whole string file; objects that are not there any more are left out.
// False, with error saying why, when a text cannot be written.
bool SetOtherLanguages(JsonDocument& doc, const std::map<std::pair<std::int64_t, int>, std::u16string>& texts,
                       JsonError& error);

}  // namespace vm
