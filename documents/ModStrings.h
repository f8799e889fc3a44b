// A mod's strings as a whole: every entry of every string file, table and
// text table given, with all the languages an entry carries, read once so
// that checks across files (an id or key in two files, a language a file
// lacks) can look at all of them together.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "documents/TableList.h"
#include "formats/FormatOptions.h"
#include "formats/JsonStrings.h"

namespace vm {

// A slot for the text of a table whose language nobody named: it is
// compared with its source like any language, but no language's own rules
// (gender markers, Chinese variants) apply to it.
inline constexpr int UnknownLanguage = JsonLanguageCount;
inline constexpr int StringSlots = JsonLanguageCount + 1;

// The classic game's language folder names (data/local/lng/ENG) and the
// language each stands for.
int LanguageOfClassicFolder(std::u16string_view folderName);

enum class StringFileKind : std::uint8_t { Json, Tbl, Text, Excel };

struct StringFile {
    std::u16string name;  // as given or found in a folder given
    StringFileKind kind = StringFileKind::Json;
    // A classic language folder's tables are looked up patch, then
    // expansion, then string: the lower the rank, the earlier a key is
    // found (-1 outside such a folder).
    int lookupRank = -1;
    // The file's bytes where lines are counted from them (string files).
    std::vector<std::uint32_t> lineStarts;
    // Line (from 1) of a byte offset of the file.
    std::uint32_t LineOf(std::uint32_t offset) const;
};

struct StringEntry {
    std::uint32_t file = 0;  // into ModStrings::files
    std::uint32_t line = 0;  // from 1; for .tbl and text tables the row
    bool hasId = false;
    std::int64_t id = 0;
    std::u16string key;
    // Each language's text in stored form (the game's colour codes, line
    // breaks as LF); present tells which fields the entry has at all.
    std::array<std::u16string, StringSlots> text;
    std::uint16_t present = 0;
    // Lines of each language's field in a string file (0: the entry's).
    std::array<std::uint32_t, JsonLanguageCount> fieldLine{};

    bool Has(int language) const { return (present >> language) & 1; }
    std::uint32_t LineOfField(int language) const {
        return language < JsonLanguageCount && fieldLine[language] ? fieldLine[language] : line;
    }
};

// A file that could not be read as what its name says.
struct StringFileProblem {
    std::uint32_t file = 0;  // into ModStrings::files
    std::uint32_t line = 0;
    bool encoding = false;  // the file is not in the encoding it must be in
    std::string message;
};

struct ModStrings {
    std::vector<StringFile> files;
    std::vector<StringEntry> entries;
    std::vector<StringFileProblem> problems;
    // Keys the game's data tables name, with where: (excel file, line, key).
    struct NamedKey {
        std::uint32_t file = 0;
        std::uint32_t line = 0;
        std::u16string key;
        std::string column;
    };
    std::vector<NamedKey> namedKeys;
};

// What to read a set of inputs with.
struct ModReadOptions {
    FormatOptions formats;
    // The language of .tbl and text tables outside a classic language
    // folder (-1: UnknownLanguage, or enUS for the source table).
    int tableLanguage = -1;
    // A source table for .tbl and text tables: its texts become each
    // entry's enUS text, matched row by row where the keys line up and by
    // key otherwise.
    std::u16string sourceTable;
};

// Reads every input: a .json string file, a .tbl or text table, or a
// folder (its .json files; a classic language folder's string tables).
// What cannot be read is listed in problems and the rest is read.
ModStrings ReadModStrings(const std::vector<std::u16string>& inputs, const ModReadOptions& options);

// Adds a string file's objects (as parsed, language -1 or any) as name.
void AddJsonEntries(const std::u16string& name, const JsonDocument& doc, ModStrings& out);

// Adds a table's entries (values in display form) as name: kind Tbl or
// Text, in a classic language folder at rank (else -1), its texts in
// language (UnknownLanguage for none named).
void AddTableEntries(const std::u16string& name, StringFileKind kind, int rank, int language, const TStringList& keys,
                     const TStringList& values, ModStrings& out);

// A value's stored form (colour codes and line breaks as the game's files
// hold them) from its display form.
std::u16string StoredForm(std::u16string_view display);
// And back: a stored text as a side's list holds it (colour words, "\n").
std::u16string DisplayForm(const std::u16string& stored);

// A key without the spaces and tabs around it.
std::u16string TrimmedKey(std::u16string_view key);

// A file's name without its folder, and a name in ASCII lower case (file
// names of a folder compared as the game's file system does).
std::u16string NameInFolder(const std::u16string& fileName);
std::u16string AsciiLowerName(std::u16string name);

// The file kind and lookup rank a table's name gives it.
StringFileKind TableKindOf(const std::u16string& name);
int ClassicRankOf(const std::u16string& name);

// A file's folder and the language its classic folder name stands for
// (-1 for none).
int LanguageOfFile(const std::u16string& name);

// Reads the key columns of the game's data tables (data/global/excel/*.txt)
// in folder into strings.namedKeys.
void ReadNamedKeys(const std::u16string& folder, ModStrings& strings);

// The data tables and columns whose cells name string keys.
struct NamedKeyColumn {
    const char* file;
    const char* column;
};
extern const std::vector<NamedKeyColumn> NamedKeyColumns;

}  // namespace vm
