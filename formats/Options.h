// Process-wide options that the formats read directly. They hold these
// defaults until the settings file sets them; the settings code owns their
// values and writes them back.
#pragma once

#include <cstdint>
#include <string>

namespace vm {

extern std::uint64_t MaxFileSize;  // largest file a reader accepts, bytes
extern int AddToHashSize;          // extra slots in a written .tbl
extern int MaxAddToHashSize;       // upper bound of AddToHashSize
extern int Offset8;                // byte 8 of a written .tbl header
extern int Encoding;               // TextEncoding used when saving text
extern bool NotAskChange;          // apply editor changes without asking
extern bool QuoteValueTTF;         // quote values in tabbed text files
extern std::string HeaderTTF;      // header line, ANSI code page
extern std::string HeadersTTF;     // comma-separated header lines to skip
extern bool ColorApiTXT;           // keep colour macros in text files
extern bool AddHeader;             // header in UTF-16 tabbed files (run only)
extern int OpenEncoding;           // TextEncoding chosen for opening text
extern bool IncludesAnywhere;      // include lines may name any file, not only
                                   // files in the first file's folder
extern int LanguageJSON;           // language column of string files (0 enUS .. 12 zhCN)
extern std::int32_t NewIdJSON;     // first id of new objects in string files; 0: above the highest

// Puts every option back to its default.
void ResetOptions();

}  // namespace vm
