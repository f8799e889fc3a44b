#include "Options.h"

namespace vm {

std::uint64_t MaxFileSize = 4194304;
int AddToHashSize = 0;
int MaxAddToHashSize = 255;
int Offset8 = 1;
int Encoding = 0;
bool NotAskChange = false;
bool QuoteValueTTF = true;
std::string HeaderTTF = "Key\tValue";
std::string HeadersTTF = "Key\tValue";
bool ColorApiTXT = true;
bool AddHeader = true;
int OpenEncoding = 3;
bool IncludesAnywhere = false;
int LanguageJSON = 0;
std::int32_t NewIdJSON = 0;

void ResetOptions() {
    MaxFileSize = 4194304;
    AddToHashSize = 0;
    MaxAddToHashSize = 255;
    Offset8 = 1;
    Encoding = 0;
    NotAskChange = false;
    QuoteValueTTF = true;
    HeaderTTF = "Key\tValue";
    HeadersTTF = "Key\tValue";
    ColorApiTXT = true;
    AddHeader = true;
    OpenEncoding = 3;
    IncludesAnywhere = false;
    LanguageJSON = 0;
    NewIdJSON = 0;
}

}  // namespace vm
