// Interface texts the documents show. They start as the built-in English;
// a language file replaces them.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

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
extern std::u16string sLabelJsonOptions;
extern std::u16string sLabelLanguage;

// Built-in English of the texts above.
extern const char16_t* const BuiltInErrorReadFile;
extern const char16_t* const BuiltInErrorWriteFile;
extern const char16_t* const BuiltInAskSaveTable1;
extern const char16_t* const BuiltInAskSaveTable2;
// The questions before an edited key, value, or both of one entry are
// applied, Table 1's ("Left") and Table 2's ("Right"), which the sides'
// records hold.
extern const char16_t* const BuiltInAskSaveKeyLeft;
extern const char16_t* const BuiltInAskSaveKeyRight;
extern const char16_t* const BuiltInAskSaveValueLeft;
extern const char16_t* const BuiltInAskSaveValueRight;
extern const char16_t* const BuiltInAskSaveEntryLeft;
extern const char16_t* const BuiltInAskSaveEntryRight;
extern const char16_t* const BuiltInLabelTblOptions;
extern const char16_t* const BuiltInLabelAddHash;
extern const char16_t* const BuiltInLabelOffset8;
extern const char16_t* const BuiltInLabelTxtOptions;
extern const char16_t* const BuiltInLabelEncoding;
extern const char16_t* const BuiltInCheckBoxCaptionTTF;
extern const char16_t* const BuiltInCheckBoxQuoteTTF;
extern const char16_t* const BuiltInComboBoxColorApi;
extern const char16_t* const BuiltInLabelJsonOptions;
extern const char16_t* const BuiltInLabelLanguage;

// Saving text that cannot hold every entry exactly, and what a read did
// not take exactly. "%1", "%2"... stand for the numbers and names filled in.
extern std::u16string sAskLossyText;  // count, row, key, reason
// Saving a string file's side in another format drops the texts kept for
// the languages no side shows.
extern std::u16string sAskOtherLanguagesLost;  // count
extern std::u16string sWarnRead;               // heads the list of what happened
extern std::u16string sWarnMissingInclude;     // count, first name
extern std::u16string sWarnDeepInclude;        // count, first name
extern std::u16string sWarnCutStrings;         // count, first row
extern std::u16string sWarnShortLengths;       // count, first row
extern std::u16string sWarnUtf8AsAnsi;
extern std::u16string sErrorIncludeOutside;  // followed by the include's name
extern std::u16string sErrorIncludeBudget;
extern std::u16string sErrorFileTooLarge;  // the limit in bytes

// What a saved string file's new ids could not take into account or do.
extern std::u16string sWarnIds;              // heads the list
extern std::u16string sWarnIdSibling;        // file, why it cannot be read
extern std::u16string sWarnIdCounterRead;    // counter file
extern std::u16string sWarnIdCounterNumber;  // counter file
extern std::u16string sWarnIdCounterWrite;   // counter file, highest new id

// Why a file cannot hold an entry, one text per TextLoss.
inline constexpr int TextLossCount = 15;
extern std::u16string sTextLoss[TextLossCount];
extern const char16_t* const TextLossKeys[TextLossCount];  // language keys

// Why a write failed, one text per platform::WriteError (None and Other
// have none).
inline constexpr int WriteErrorCount = 10;
extern std::u16string sWriteError[WriteErrorCount];
extern const char16_t* const WriteErrorKeys[WriteErrorCount];

// Why a save failed before a file was written, one text per SaveFailure
// (None, Lossy, Json and File have none: what they report says more).
// FirstIdTaken: "%1" the id, "%2" the file that holds it.
inline constexpr int SaveFailureCount = 9;
extern std::u16string sSaveFailure[SaveFailureCount];
extern const char16_t* const SaveFailureKeys[SaveFailureCount];

// Built-in English of the texts above.
extern const char16_t* const BuiltInSaveFailure[SaveFailureCount];
extern const char16_t* const BuiltInAskLossyText;
extern const char16_t* const BuiltInAskOtherLanguagesLost;
extern const char16_t* const BuiltInWarnRead;
extern const char16_t* const BuiltInWarnMissingInclude;
extern const char16_t* const BuiltInWarnDeepInclude;
extern const char16_t* const BuiltInWarnCutStrings;
extern const char16_t* const BuiltInWarnShortLengths;
extern const char16_t* const BuiltInWarnUtf8AsAnsi;
extern const char16_t* const BuiltInErrorIncludeOutside;
extern const char16_t* const BuiltInErrorIncludeBudget;
extern const char16_t* const BuiltInErrorFileTooLarge;
extern const char16_t* const BuiltInWarnIds;
extern const char16_t* const BuiltInWarnIdSibling;
extern const char16_t* const BuiltInWarnIdCounterRead;
extern const char16_t* const BuiltInWarnIdCounterNumber;
extern const char16_t* const BuiltInWarnIdCounterWrite;
extern const char16_t* const BuiltInTextLoss[TextLossCount];
extern const char16_t* const BuiltInWriteError[WriteErrorCount];

// text with "%1", "%2"... replaced by the arguments, in order.
std::u16string FillIn(std::u16string_view text, std::initializer_list<std::u16string_view> args);
// The names of the undo steps ("Undo Delete 5392 entries"); "%1" stands
// for the count. The ...One texts name a step of one entry.
extern std::u16string sStepEdit;
extern std::u16string sStepInsert, sStepInsertOne;
extern std::u16string sStepClear, sStepClearOne;
extern std::u16string sStepDelete, sStepDeleteOne;
extern std::u16string sStepMove;
extern std::u16string sStepPasteValue;
extern std::u16string sStepMark;
extern std::u16string sStepCopyValues;
extern std::u16string sStepCopyTimeDialogs;
extern std::u16string sStepUpdate;
extern std::u16string sStepTranslate;
extern std::u16string sStepFix;
extern std::u16string sStepFixOne;

// A text with its language key and its built-in English.
struct KeyedText {
    const char16_t* key;
    std::u16string* text;
    const char16_t* builtIn;
};
// The step names above.
const std::vector<KeyedText>& StepTexts();

// Puts the texts above back to their built-in English.
void ResetDocumentTexts();

}  // namespace vm
