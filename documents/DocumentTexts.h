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

// The labels of the open and save dialogs' option panels.
extern std::u16string sLabelTblOptions;
extern std::u16string sLabelAddHash;
extern std::u16string sLabelOffset8;
extern std::u16string sLabelTxtOptions;
extern std::u16string sLabelEncoding;  // language key "sLabelEncoding " (trailing blank)
extern std::u16string sCheckBoxCaptionTTF;
extern std::u16string sCheckBoxQuoteTTF;
extern std::u16string sComboBoxColorApi;

// Built-in English of the texts above.
extern const char16_t* const BuiltInErrorReadFile;
extern const char16_t* const BuiltInErrorWriteFile;
extern const char16_t* const BuiltInAskSaveTable1;
extern const char16_t* const BuiltInAskSaveTable2;
extern const char16_t* const BuiltInLabelTblOptions;
extern const char16_t* const BuiltInLabelAddHash;
extern const char16_t* const BuiltInLabelOffset8;
extern const char16_t* const BuiltInLabelTxtOptions;
extern const char16_t* const BuiltInLabelEncoding;
extern const char16_t* const BuiltInCheckBoxCaptionTTF;
extern const char16_t* const BuiltInCheckBoxQuoteTTF;
extern const char16_t* const BuiltInComboBoxColorApi;

// Puts the texts above back to their built-in English.
void ResetDocumentTexts();

}  // namespace vm
