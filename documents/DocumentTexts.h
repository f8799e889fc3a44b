// Interface texts the documents show. They start as the built-in English;
// a language file replaces them.
#pragma once

#include <string>

namespace vm {

// Title of every message box and question.
extern const std::u16string AppCaption;

extern std::u16string sErrorReadFile;
extern std::u16string sErrorWriteFile;
extern std::u16string sAskSaveTable1;
extern std::u16string sAskSaveTable2;

// Built-in English of the texts above.
extern const char16_t* const BuiltInErrorReadFile;
extern const char16_t* const BuiltInErrorWriteFile;
extern const char16_t* const BuiltInAskSaveTable1;
extern const char16_t* const BuiltInAskSaveTable2;

// Puts the texts above back to their built-in English.
void ResetDocumentTexts();

}  // namespace vm
