#include "DocumentTexts.h"

namespace vm {

const std::u16string AppCaption = u"Vellumark";

const char16_t* const BuiltInErrorReadFile = u"Error read data from file. Input file is corrupt or unknown format";
const char16_t* const BuiltInErrorWriteFile = u"Error write data to file. The file was not changed";
const char16_t* const BuiltInAskSaveTable1 = u"Table 1 has unsaved changes. Save them first?";
const char16_t* const BuiltInAskSaveTable2 = u"Table 2 has unsaved changes. Save them first?";

std::u16string sErrorReadFile = BuiltInErrorReadFile;
std::u16string sErrorWriteFile = BuiltInErrorWriteFile;
std::u16string sAskSaveTable1 = BuiltInAskSaveTable1;
std::u16string sAskSaveTable2 = BuiltInAskSaveTable2;

void ResetDocumentTexts() {
    sErrorReadFile = BuiltInErrorReadFile;
    sErrorWriteFile = BuiltInErrorWriteFile;
    sAskSaveTable1 = BuiltInAskSaveTable1;
    sAskSaveTable2 = BuiltInAskSaveTable2;
}

}  // namespace vm
