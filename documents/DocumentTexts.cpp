#include "documents/DocumentTexts.h"

#include "documents/TableIO.h"
#include "formats/FileReports.h"

namespace vm {

const std::u16string AppCaption = u"Vellumark";

const char16_t* const BuiltInErrorReadFile = u"Error read data from file. Input file is corrupt or unknown format";
const char16_t* const BuiltInErrorWriteFile = u"Error write data to file. The file was not changed";
const char16_t* const BuiltInAskSaveTable1 = u"Table 1 has unsaved changes. Save them first?";
const char16_t* const BuiltInAskSaveTable2 = u"Table 2 has unsaved changes. Save them first?";
const char16_t* const BuiltInAskSaveKeyLeft = u"Left Key was changed. Do you want to apply this change?";
const char16_t* const BuiltInAskSaveKeyRight = u"Right Key was changed. Do you want to apply this change?";
const char16_t* const BuiltInAskSaveValueLeft = u"Left VALUE was changed. Do you want to apply this change?";
const char16_t* const BuiltInAskSaveValueRight = u"Right VALUE was changed. Do you want to apply this change?";
const char16_t* const BuiltInAskSaveEntryLeft = u"Left Key and VALUE were changed. Do you want to apply these changes?";
const char16_t* const BuiltInAskSaveEntryRight =
    u"Right Key and VALUE were changed. Do you want to apply these changes?";
const char16_t* const BuiltInLabelTblOptions = u"TBL Options";
const char16_t* const BuiltInLabelAddHash = u"HashSize - NumElements (Default 0):";
const char16_t* const BuiltInLabelOffset8 = u"Value of byte in offset8 (Default 1):";
const char16_t* const BuiltInLabelTxtOptions = u"TXT Options";
const char16_t* const BuiltInLabelEncoding = u"Encoding:";
const char16_t* const BuiltInCheckBoxCaptionTTF = u"Add header to Tabbed text files";
const char16_t* const BuiltInCheckBoxQuoteTTF = u"Add quotes to Value string for Tabbed text files";
const char16_t* const BuiltInComboBoxColorApi = u"Use ColorApi (always On for Ansi text)";
const char16_t* const BuiltInLabelJsonOptions = u"JSON Options";
const char16_t* const BuiltInLabelLanguage = u"Language:";

static_assert(static_cast<int>(TextLoss::TblTooLong) + 1 == TextLossCount, "one text per TextLoss");
static_assert(static_cast<int>(platform::WriteError::Other) + 1 == WriteErrorCount, "one text per WriteError");
static_assert(static_cast<int>(SaveFailure::FirstIdTaken) + 1 == SaveFailureCount, "one text per SaveFailure");

const char16_t* const BuiltInAskLossyText =
    u"%1 entries cannot be stored exactly in this file (first: row %2, key %3: %4). Save anyway?";
const char16_t* const BuiltInAskOtherLanguagesLost =
    u"%1 texts set in Edit > All Languages for languages no side shows are not kept in this file. Save anyway?";
const char16_t* const BuiltInWarnRead = u"The table was read, but not everything in the file came through exactly:";
const char16_t* const BuiltInWarnMissingInclude = u"%1 include lines name no file that can be read (first: %2)";
const char16_t* const BuiltInWarnDeepInclude = u"%1 include lines are nested too deep and were skipped (first: %2)";
const char16_t* const BuiltInWarnCutStrings =
    u"%1 keys or values were too long or not UTF-8 and were cut (first: row %2)";
const char16_t* const BuiltInWarnShortLengths =
    u"%1 values go on past their stored length; they were read, and are written back, up to it (first: row %2)";
const char16_t* const BuiltInWarnUtf8AsAnsi =
    u"The file looks like UTF-8 without a byte-order mark but is not UTF-8 throughout, so it was read as ANSI";
const char16_t* const BuiltInErrorIncludeOutside =
    u"An include line names a file outside the folder of the table, which is not allowed:";
const char16_t* const BuiltInErrorIncludeBudget =
    u"The include lines of this file pull in too many files or entries; the table was not read to its end";
const char16_t* const BuiltInErrorFileTooLarge =
    u"The file is larger than the limit of %1 bytes and was not read (settings key MaxFileSize)";

const char16_t* const BuiltInTextLoss[TextLossCount] = {
    u"the key is empty or blank",
    u"the key holds a tab",
    u"the key holds a comma",
    u"the key holds two slashes, which start a comment",
    u"the key starts with #, which makes an include line",
    u"the key holds a line break",
    u"the value holds a carriage return",
    u"the value holds a double quote",
    u"the line reads back as the header line",
    u"the file would begin like a byte-order mark",
    u"a character is missing from the ANSI code page",
    u"it is longer than a text file takes back",
    u"it holds text its display form does not give back (such as a literal \\n)",
    u"the file grows beyond the size a read takes back",
    u"it is longer than the 65535 bytes a .tbl file holds",
};
const char16_t* const TextLossKeys[TextLossCount] = {
    u"sLossEmptyKey", u"sLossKeyTab",  u"sLossKeyComma",   u"sLossKeyComment", u"sLossKeyInclude",
    u"sLossKeyBreak", u"sLossReturn",  u"sLossQuote",      u"sLossHeader",     u"sLossMark",
    u"sLossCodePage", u"sLossTooLong", u"sLossStoredForm", u"sLossFileSize",   u"sLossTblTooLong",
};

const char16_t* const BuiltInWriteError[WriteErrorCount] = {
    u"",
    u"The disk is full.",
    u"Permission denied.",
    u"The file system is read-only.",
    u"The file is read-only.",
    u"The folder does not exist.",
    u"The name is a folder.",
    u"The file system does not take a file this large.",
    u"The name cannot be a file name.",
    u"",
};
const char16_t* const WriteErrorKeys[WriteErrorCount] = {
    u"",
    u"sWriteDiskFull",
    u"sWritePermission",
    u"sWriteReadOnlyFs",
    u"sWriteReadOnlyFile",
    u"sWriteNoFolder",
    u"sWriteIsFolder",
    u"sWriteTooLarge",
    u"sWriteBadName",
    u"",
};

const char16_t* const BuiltInSaveFailure[SaveFailureCount] = {
    u"",
    u"The table has no entries.",
    u"A .tbl file holds at most 65535 entries.",
    u"The entries and the extra hash slots pass the 65536 slots of a .tbl file.",
    u"The table does not fit a .tbl file (its strings are too long, or memory ran out).",
    u"",
    u"",
    u"",
    u"The first new id, %1, is already held by %2; new ids must be unique across the string files of the folder "
    u"(settings key NewIdJSON).",
};
const char16_t* const SaveFailureKeys[SaveFailureCount] = {
    u"", u"sSaveNoEntries",    u"sSaveTooManyEntries", u"sSaveTooManySlots", u"sSaveDoesNotFit", u"", u"",
    u"", u"sSaveFirstIdTaken",
};

const char16_t* const BuiltInWarnIds = u"The table was saved, but its new ids could not take everything into account:";
const char16_t* const BuiltInWarnIdSibling = u"%1 cannot be read, so a new id may repeat one of its ids: %2";
const char16_t* const BuiltInWarnIdCounterRead = u"The id counter %1 cannot be read; it was neither used nor advanced";
const char16_t* const BuiltInWarnIdCounterNumber =
    u"The id counter %1 holds no number that can be used; it was neither used nor advanced";
const char16_t* const BuiltInWarnIdCounterWrite = u"The id counter %1 could not be advanced past the new id %2.";

std::u16string sErrorReadFile = BuiltInErrorReadFile;
std::u16string sErrorWriteFile = BuiltInErrorWriteFile;
std::u16string sAskSaveTable1 = BuiltInAskSaveTable1;
std::u16string sAskSaveTable2 = BuiltInAskSaveTable2;
std::u16string sLabelTblOptions = BuiltInLabelTblOptions;
std::u16string sLabelAddHash = BuiltInLabelAddHash;
std::u16string sLabelOffset8 = BuiltInLabelOffset8;
std::u16string sLabelTxtOptions = BuiltInLabelTxtOptions;
std::u16string sLabelEncoding = BuiltInLabelEncoding;
std::u16string sCheckBoxCaptionTTF = BuiltInCheckBoxCaptionTTF;
std::u16string sCheckBoxQuoteTTF = BuiltInCheckBoxQuoteTTF;
std::u16string sComboBoxColorApi = BuiltInComboBoxColorApi;
std::u16string sAskLossyText = BuiltInAskLossyText;
std::u16string sAskOtherLanguagesLost = BuiltInAskOtherLanguagesLost;
std::u16string sWarnRead = BuiltInWarnRead;
std::u16string sWarnMissingInclude = BuiltInWarnMissingInclude;
std::u16string sWarnDeepInclude = BuiltInWarnDeepInclude;
std::u16string sWarnCutStrings = BuiltInWarnCutStrings;
std::u16string sWarnShortLengths = BuiltInWarnShortLengths;
std::u16string sWarnUtf8AsAnsi = BuiltInWarnUtf8AsAnsi;
std::u16string sErrorIncludeOutside = BuiltInErrorIncludeOutside;
std::u16string sErrorIncludeBudget = BuiltInErrorIncludeBudget;
std::u16string sErrorFileTooLarge = BuiltInErrorFileTooLarge;
std::u16string sWarnIds = BuiltInWarnIds;
std::u16string sWarnIdSibling = BuiltInWarnIdSibling;
std::u16string sWarnIdCounterRead = BuiltInWarnIdCounterRead;
std::u16string sWarnIdCounterNumber = BuiltInWarnIdCounterNumber;
std::u16string sWarnIdCounterWrite = BuiltInWarnIdCounterWrite;
std::u16string sLabelJsonOptions = BuiltInLabelJsonOptions;
std::u16string sLabelLanguage = BuiltInLabelLanguage;
std::u16string sTextLoss[TextLossCount];
std::u16string sWriteError[WriteErrorCount];
std::u16string sSaveFailure[SaveFailureCount];

std::u16string sStepEdit, sStepInsert, sStepInsertOne, sStepClear, sStepClearOne, sStepDelete, sStepDeleteOne,
    sStepMove, sStepPasteValue, sStepMark, sStepCopyValues, sStepCopyTimeDialogs, sStepUpdate, sStepTranslate, sStepFix,
    sStepFixOne;

const std::vector<KeyedText>& StepTexts() {
    static const std::vector<KeyedText> texts = {
        {u"sStepEdit", &sStepEdit, u"Edit"},
        {u"sStepInsert", &sStepInsert, u"Insert %1 entries"},
        {u"sStepInsertOne", &sStepInsertOne, u"Insert 1 entry"},
        {u"sStepClear", &sStepClear, u"Clear %1 entries"},
        {u"sStepClearOne", &sStepClearOne, u"Clear 1 entry"},
        {u"sStepDelete", &sStepDelete, u"Delete %1 entries"},
        {u"sStepDeleteOne", &sStepDeleteOne, u"Delete 1 entry"},
        {u"sStepMove", &sStepMove, u"Move Entry"},
        {u"sStepPasteValue", &sStepPasteValue, u"Paste Value"},
        {u"sStepMark", &sStepMark, u"Mark"},
        {u"sStepCopyValues", &sStepCopyValues, u"Copy Values"},
        {u"sStepCopyTimeDialogs", &sStepCopyTimeDialogs, u"Copy Time Dialogs"},
        {u"sStepUpdate", &sStepUpdate, u"Update from File"},
        {u"sStepTranslate", &sStepTranslate, u"Translate from File"},
        {u"sStepFix", &sStepFix, u"Fix %1 findings"},
        {u"sStepFixOne", &sStepFixOne, u"Fix 1 finding"},
    };
    return texts;
}

namespace {
// The arrays get their English before anything can look at them.
[[maybe_unused]] const bool Filled = (ResetDocumentTexts(), true);
}  // namespace

std::u16string FillIn(std::u16string_view text, std::initializer_list<std::u16string_view> args) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 1 < text.size() && text[i + 1] >= u'1' && text[i + 1] <= u'9') {
            const std::size_t n = static_cast<std::size_t>(text[i + 1] - u'1');
            if (n < args.size()) {
                out.append(*(args.begin() + n));
                ++i;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

void ResetDocumentTexts() {
    for (const KeyedText& t : StepTexts()) *t.text = t.builtIn;
    sErrorReadFile = BuiltInErrorReadFile;
    sErrorWriteFile = BuiltInErrorWriteFile;
    sAskSaveTable1 = BuiltInAskSaveTable1;
    sAskSaveTable2 = BuiltInAskSaveTable2;
    sLabelTblOptions = BuiltInLabelTblOptions;
    sLabelAddHash = BuiltInLabelAddHash;
    sLabelOffset8 = BuiltInLabelOffset8;
    sLabelTxtOptions = BuiltInLabelTxtOptions;
    sLabelEncoding = BuiltInLabelEncoding;
    sCheckBoxCaptionTTF = BuiltInCheckBoxCaptionTTF;
    sCheckBoxQuoteTTF = BuiltInCheckBoxQuoteTTF;
    sComboBoxColorApi = BuiltInComboBoxColorApi;
    sAskLossyText = BuiltInAskLossyText;
    sAskOtherLanguagesLost = BuiltInAskOtherLanguagesLost;
    sWarnRead = BuiltInWarnRead;
    sWarnMissingInclude = BuiltInWarnMissingInclude;
    sWarnDeepInclude = BuiltInWarnDeepInclude;
    sWarnCutStrings = BuiltInWarnCutStrings;
    sWarnShortLengths = BuiltInWarnShortLengths;
    sWarnUtf8AsAnsi = BuiltInWarnUtf8AsAnsi;
    sErrorIncludeOutside = BuiltInErrorIncludeOutside;
    sErrorIncludeBudget = BuiltInErrorIncludeBudget;
    sErrorFileTooLarge = BuiltInErrorFileTooLarge;
    sWarnIds = BuiltInWarnIds;
    sWarnIdSibling = BuiltInWarnIdSibling;
    sWarnIdCounterRead = BuiltInWarnIdCounterRead;
    sWarnIdCounterNumber = BuiltInWarnIdCounterNumber;
    sWarnIdCounterWrite = BuiltInWarnIdCounterWrite;
    for (int i = 0; i < TextLossCount; ++i) sTextLoss[i] = BuiltInTextLoss[i];
    for (int i = 0; i < WriteErrorCount; ++i) sWriteError[i] = BuiltInWriteError[i];
    for (int i = 0; i < SaveFailureCount; ++i) sSaveFailure[i] = BuiltInSaveFailure[i];
    sLabelJsonOptions = BuiltInLabelJsonOptions;
    sLabelLanguage = BuiltInLabelLanguage;
}

}  // namespace vm
