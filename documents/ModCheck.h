// Checking a mod's strings as a whole: the faults that break the game or
// its translations (an id in two objects, a language field missing, a
// placeholder lost in translation, a key the game's data tables name that
// no file defines), each found as a finding that names its file, line, key
// and language and says what to do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "documents/ModStrings.h"

namespace vm {

enum class Severity : std::uint8_t { Info, Warning, Error };
const char* SeverityName(Severity s);  // "info", "warning", "error"

// The rules, each with a stable name and the severity of its findings
// (some rules give a lighter one to a lesser case: see the messages).
struct CheckRule {
    const char* name;
    Severity severity;
    const char* summary;  // one line for help texts
};
extern const std::vector<CheckRule> CheckRules;
const CheckRule* FindCheckRule(std::string_view name);

// Gender markers each language may use; a language not listed uses none.
struct GenderMarkerSet {
    int language;
    std::vector<std::u16string_view> markers;
};
extern const std::vector<GenderMarkerSet> GenderMarkerSets;

struct Finding {
    std::string_view rule;  // a name of CheckRules
    Severity severity = Severity::Error;
    // Where: a file of the strings checked and its line (0 when none).
    std::uint32_t file = 0;
    std::uint32_t line = 0;
    std::u16string key;
    bool hasId = false;
    std::int64_t id = 0;
    int language = -1;  // -1: the finding is about no one language
    std::string message;
    // A duplicate-id whose other object is the game's (its id is the game's).
    bool withGame = false;
    // The entry it is about (an index into ModStrings::entries), or
    // NoEntry for a file or a data table's cell.
    std::size_t entry = NoEntry;
    static constexpr std::size_t NoEntry = static_cast<std::size_t>(-1);
};

struct CheckOptions {
    // The rules that run (names of CheckRules); empty: all of them.
    std::vector<std::string> rules;
    int sourceLanguage = 0;                   // what translations are compared with
    std::uint16_t languages = 0x1FFF;         // the languages checked, a bit each
    std::vector<std::u16string> sameAllowed;  // keys whose texts may equal the source's
};

// The rule names a --rules list stands for: "a,b" only those, "-c" all but
// c, and both together. False (with bad naming the unknown name) for a
// name no rule has.
bool SelectRules(std::string_view list, std::vector<std::string>& rules, std::string& bad);

// Checks mod. against, when given, holds the game's own strings: files of
// the game that the mod does not ship take part in the checks across files
// (as the game loads them beside the mod's), and a fault the game's own
// files have too is not reported. Findings come in file and line order.
std::vector<Finding> CheckModStrings(const ModStrings& mod, const ModStrings* against, const CheckOptions& options);

// The name a finding's language goes by ("deDE"), or "" for none.
std::string LanguageName(int language);

}  // namespace vm
