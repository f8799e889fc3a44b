#include "DocumentTexts.h"

namespace vm {

const std::u16string AppCaption = u"Vellumark";

const char16_t* const BuiltInErrorReadFile = u"Error read data from file. Input file is corrupt or unknown format";
const char16_t* const BuiltInErrorWriteFile = u"Error write data to file. The file was not changed";
const char16_t* const BuiltInAskSaveTable1 = u"Table 1 has unsaved changes. Save them first?";
const char16_t* const BuiltInAskSaveTable2 = u"Table 2 has unsaved changes. Save them first?";
const char16_t* const BuiltInLabelTblOptions = u"TBL Options";
const char16_t* const BuiltInLabelAddHash = u"HashSize - NumElements (Default 0):";
const char16_t* const BuiltInLabelOffset8 = u"Value of byte in offset8 (Default 1):";
const char16_t* const BuiltInLabelTxtOptions = u"TXT Options";
const char16_t* const BuiltInLabelEncoding = u"Encoding:";
const char16_t* const BuiltInCheckBoxCaptionTTF = u"Add header to Tabbed text files";
const char16_t* const BuiltInCheckBoxQuoteTTF = u"Add quotes to Value string for Tabbed text files";
const char16_t* const BuiltInComboBoxColorApi = u"Use ColorApi (always On for Ansi text)";

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

void ResetDocumentTexts() {
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
}

}  // namespace vm
