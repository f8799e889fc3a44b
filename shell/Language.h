// Language files: "<name>.lng" beside the program, section [<name>], one
// "key=text" line per interface text, the texts in UTF-8. Keys that are
// missing or empty keep the built-in English.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vm {

// The window texts a language changes, by menu command, toolbar button
// (both toolbars) and list column (both lists).
class LanguageHost {
public:
    virtual ~LanguageHost() = default;
    virtual std::u16string MenuCaption(int number) = 0;
    virtual void SetMenuCaption(int number, const std::u16string& text) = 0;
    virtual std::u16string ToolButtonText(int button) = 0;
    virtual void SetToolButtonText(int button, const std::u16string& text) = 0;
    virtual std::u16string ColumnText(int column) = 0;
    virtual void SetColumnText(int column, const std::u16string& text) = 0;
    // The search bars' labels, once every text is set: each bar's of the
    // mode it is in.
    virtual void SetSearchLabels() = 0;
    // The search buttons' caption after every pass.
    virtual void SetSearchButtons() = 0;
};

// The languages of the "<name>.lng" files in directory, sorted, English
// left out (the Language menu always has it first).
std::vector<std::u16string> LanguageFilesIn(const std::u16string& directory);

// Every language key, in the order a load applies them.
const std::vector<std::u16string_view>& LanguageKeys();

// Remembers the window's captions as built, the English of their keys.
void CaptureBuiltInTexts(LanguageHost& host);

// Loads <name>.lng from directory and applies every text (the built-in one
// where the file has none).
void LoadLanguage(const std::u16string& directory, const std::u16string& name, LanguageHost& host);

struct Workspace;
// Gives the sides of space the questions of the language last loaded.
void ApplyQuestions(Workspace& space);

// The raw bytes of [section] key in an INI file's bytes, with the profile
// functions' rules (names without regard to ASCII case and surrounding
// blanks, the value trimmed and without enclosing quotes, the first
// occurrence counts); false when there is none.
bool FindIniValue(std::string_view file, std::string_view section, std::string_view key, std::string& value);

// The text of key from a language file's bytes: UTF-8 decoded, at most
// 4095 bytes of it; builtIn when the key is missing or empty.
std::u16string ReadLangText(std::string_view file, std::string_view section, std::string_view key,
                            const std::u16string& builtIn);

}  // namespace vm
