// Texts of the lists, editors and search bars that a language file can
// replace (shell/Language.cpp applies them), with their built-in English.
// Standard C++: the language code is.
#pragma once

#include <string>

namespace vm {

// A row beyond a table's end, in its list and its editors.
inline const char16_t* const BuiltInNoData = u"<empty>";
inline std::u16string sNoData = BuiltInNoData;
// The search bar's label in each mode.
inline const char16_t* const BuiltInGoTo = u"Go to:";
inline const char16_t* const BuiltInFindKey = u"Find Key:";
inline const char16_t* const BuiltInFindValue = u"Find Value:";
inline std::u16string sGoTo = BuiltInGoTo;
inline std::u16string sFindKey = BuiltInFindKey;
inline std::u16string sFindValue = BuiltInFindValue;
// How a find matches (the search bar's choice), and a find that found nothing.
inline const char16_t* const BuiltInSearchAnywhere = u"Anywhere";
inline const char16_t* const BuiltInSearchAtStart = u"At start";
inline const char16_t* const BuiltInSearchNotFound = u"Not found";
inline std::u16string sSearchAnywhere = BuiltInSearchAnywhere;
inline std::u16string sSearchAtStart = BuiltInSearchAtStart;
inline std::u16string sSearchNotFound = BuiltInSearchNotFound;

// "All Languages" on a row that is no object of a string file.
inline const char16_t* const BuiltInAllLanguagesNone =
    u"All languages are shown for an entry of a string file (.json) read from its file.";
inline std::u16string sAllLanguagesNone = BuiltInAllLanguagesNone;
// A recent file that is not there any more, followed by its name.
inline const char16_t* const BuiltInRecentFileMissing =
    u"This file is not there any more; it is taken off the recent files:";
inline std::u16string sRecentFileMissing = BuiltInRecentFileMissing;
// The status bar's part of a table: its number, the current row and the
// table's row count; without a current row of the table, its row count.
inline const char16_t* const BuiltInStatusRow = u"Table %1: row %2 of %3";
inline const char16_t* const BuiltInStatusRows = u"Table %1: %2 rows";
inline std::u16string sStatusRow = BuiltInStatusRow;
inline std::u16string sStatusRows = BuiltInStatusRows;

}  // namespace vm
