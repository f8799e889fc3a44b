#include "shell/Language.h"

#include <array>

#include "documents/DocumentTexts.h"
#include "documents/Workspace.h"
#include "editing/Commands.h"
#include "editing/Compare.h"
#include "editing/FindingTexts.h"
#include "formats/TextHelpers.h"
#include "platform/Platform.h"
#include "shell/InterfaceTexts.h"

namespace vm {

namespace {

// What a key's text is applied to. Lines: a text of several lines, written
// in the file as one line with backslash and "n" where a line ends.
enum class Target { Text, Lines, Menu, Button, Column };

struct KeyInfo {
    std::u16string_view key;
    Target target;
    int number;                      // menu command, button or column
    std::u16string* text = nullptr;  // Target::Text: the variable
    const char16_t* builtIn = nullptr;
};

// Texts that live in the two sides' records.
std::u16string AskKey1, AskKey2, AskValue1, AskValue2, AskEntry1, AskEntry2;

std::vector<KeyInfo> MakeKeys() {
    std::vector<KeyInfo> keys = {
        {u"sNoData", Target::Text, 0, &sNoData, BuiltInNoData},
        {u"sErrorReadFile", Target::Text, 0, &sErrorReadFile, BuiltInErrorReadFile},
        {u"sAskSaveKeyLeft", Target::Text, 0, &AskKey1, BuiltInAskSaveKeyLeft},
        {u"sAskSaveKeyRight", Target::Text, 0, &AskKey2, BuiltInAskSaveKeyRight},
        {u"sAskSaveValueLeft", Target::Text, 0, &AskValue1, BuiltInAskSaveValueLeft},
        {u"sAskSaveValueRight", Target::Text, 0, &AskValue2, BuiltInAskSaveValueRight},
        {u"sGoTo", Target::Text, 0, &sGoTo, BuiltInGoTo},
        {u"sFindKey", Target::Text, 0, &sFindKey, BuiltInFindKey},
        {u"sFindValue", Target::Text, 0, &sFindValue, BuiltInFindValue},
    };
    // The menu bar's captions, in the order of its rows.
    for (const MenuRow& row : MainMenuRows)
        if (row.key) keys.push_back({row.key, Target::Menu, row.command});
    keys.insert(keys.end(),
                {
                    {u"sToolBarOpen", Target::Button, 0},
                    {u"sToolBarSave", Target::Button, 1},
                    {u"sToolBarColor", Target::Button, 2},
                    {u"sToolBarGender", Target::Button, 3},
                    {u"sListViewKey", Target::Column, 1},
                    {u"sListViewValue", Target::Column, 2},
                    // The dialogs' option labels.
                    {u"sLabelTblOptions", Target::Text, 0, &sLabelTblOptions, BuiltInLabelTblOptions},
                    {u"sLabelAddHash", Target::Text, 0, &sLabelAddHash, BuiltInLabelAddHash},
                    {u"sLabelOffset8", Target::Text, 0, &sLabelOffset8, BuiltInLabelOffset8},
                    {u"sLabelTxtOptions", Target::Text, 0, &sLabelTxtOptions, BuiltInLabelTxtOptions},
                    {u"sLabelEncoding ", Target::Text, 0, &sLabelEncoding, BuiltInLabelEncoding},
                    {u"sCheckBoxCaptionTTF", Target::Text, 0, &sCheckBoxCaptionTTF, BuiltInCheckBoxCaptionTTF},
                    {u"sCheckBoxQuoteTTF", Target::Text, 0, &sCheckBoxQuoteTTF, BuiltInCheckBoxQuoteTTF},
                    {u"sComboBoxColorApi", Target::Text, 0, &sComboBoxColorApi, BuiltInComboBoxColorApi},
                    // Texts added since: a failed save and the unsaved-changes questions.
                    {u"sErrorWriteFile", Target::Text, 0, &sErrorWriteFile, BuiltInErrorWriteFile},
                    {u"sAskSaveTable1", Target::Text, 0, &sAskSaveTable1, BuiltInAskSaveTable1},
                    {u"sAskSaveTable2", Target::Text, 0, &sAskSaveTable2, BuiltInAskSaveTable2},
                    // Text files that cannot hold a table exactly, reading warnings and
                    // the causes of failed writes.
                    {u"sAskLossyText", Target::Text, 0, &sAskLossyText, BuiltInAskLossyText},
                    {u"sWarnRead", Target::Text, 0, &sWarnRead, BuiltInWarnRead},
                    {u"sWarnMissingInclude", Target::Text, 0, &sWarnMissingInclude, BuiltInWarnMissingInclude},
                    {u"sWarnDeepInclude", Target::Text, 0, &sWarnDeepInclude, BuiltInWarnDeepInclude},
                    {u"sWarnCutStrings", Target::Text, 0, &sWarnCutStrings, BuiltInWarnCutStrings},
                    {u"sWarnUtf8AsAnsi", Target::Text, 0, &sWarnUtf8AsAnsi, BuiltInWarnUtf8AsAnsi},
                    {u"sErrorIncludeOutside", Target::Text, 0, &sErrorIncludeOutside, BuiltInErrorIncludeOutside},
                    {u"sErrorIncludeBudget", Target::Text, 0, &sErrorIncludeBudget, BuiltInErrorIncludeBudget},
                    // The string files' options in the dialogs.
                    {u"sLabelJsonOptions", Target::Text, 0, &sLabelJsonOptions, BuiltInLabelJsonOptions},
                    {u"sLabelLanguage", Target::Text, 0, &sLabelLanguage, BuiltInLabelLanguage},
                });
    for (int i = 0; i < TextLossCount; ++i)
        keys.push_back({TextLossKeys[i], Target::Text, 0, &sTextLoss[i], BuiltInTextLoss[i]});
    for (int i = 0; i < WriteErrorCount; ++i)
        if (*WriteErrorKeys[i])
            keys.push_back({WriteErrorKeys[i], Target::Text, 0, &sWriteError[i], BuiltInWriteError[i]});
    // The Edit menu's commands and the names of the undo steps.
    keys.insert(keys.end(), {
                                {u"sMenuUndo", Target::Text, 0, &sMenuUndo, u"Undo"},
                                {u"sMenuRedo", Target::Text, 0, &sMenuRedo, u"Redo"},
                                {u"sMenuUndoStep", Target::Text, 0, &sMenuUndoStep, u"Undo %1"},
                                {u"sMenuRedoStep", Target::Text, 0, &sMenuRedoStep, u"Redo %1"},
                            });
    for (const KeyedText& t : StepTexts()) keys.push_back({t.key, Target::Text, 0, t.text, t.builtIn});
    // A file past the size limit.
    keys.push_back({u"sErrorFileTooLarge", Target::Text, 0, &sErrorFileTooLarge, BuiltInErrorFileTooLarge});
    // A .tbl value longer than its stored length.
    keys.push_back({u"sWarnShortLengths", Target::Text, 0, &sWarnShortLengths, BuiltInWarnShortLengths});
    // Why a save failed before anything was written.
    for (int i = 0; i < SaveFailureCount; ++i)
        if (*SaveFailureKeys[i])
            keys.push_back({SaveFailureKeys[i], Target::Text, 0, &sSaveFailure[i], BuiltInSaveFailure[i]});
    // What a saved string file's new ids could not take into account.
    keys.insert(keys.end(),
                {
                    {u"sWarnIds", Target::Text, 0, &sWarnIds, BuiltInWarnIds},
                    {u"sWarnIdSibling", Target::Text, 0, &sWarnIdSibling, BuiltInWarnIdSibling},
                    {u"sWarnIdCounterRead", Target::Text, 0, &sWarnIdCounterRead, BuiltInWarnIdCounterRead},
                    {u"sWarnIdCounterNumber", Target::Text, 0, &sWarnIdCounterNumber, BuiltInWarnIdCounterNumber},
                    {u"sWarnIdCounterWrite", Target::Text, 0, &sWarnIdCounterWrite, BuiltInWarnIdCounterWrite},
                });
    // The findings panel of the check.
    for (const KeyedText& t : FindingTexts()) keys.push_back({t.key, Target::Text, 0, t.text, t.builtIn});
    // Tools > Compare with file.
    for (const KeyedText& t : CompareTexts()) keys.push_back({t.key, Target::Text, 0, t.text, t.builtIn});
    // The search bar's match choice and its "not found"; the one question
    // for an entry's edited key and value.
    keys.insert(keys.end(), {
                                {u"sSearchAnywhere", Target::Text, 0, &sSearchAnywhere, BuiltInSearchAnywhere},
                                {u"sSearchAtStart", Target::Text, 0, &sSearchAtStart, BuiltInSearchAtStart},
                                {u"sSearchNotFound", Target::Text, 0, &sSearchNotFound, BuiltInSearchNotFound},
                                {u"sAskSaveEntryLeft", Target::Text, 0, &AskEntry1, BuiltInAskSaveEntryLeft},
                                {u"sAskSaveEntryRight", Target::Text, 0, &AskEntry2, BuiltInAskSaveEntryRight},
                            });
    // Saving under a new name, the recent files, every language of an object.
    keys.insert(keys.end(), {
                                {u"sMenuSaveAs1", Target::Menu, MenuSaveAs1},
                                {u"sMenuSaveAs2", Target::Menu, MenuSaveAs2},
                                {u"sMenuRecentFiles", Target::Menu, MenuRecentFiles},
                                {u"sRecentFileMissing", Target::Text, 0, &sRecentFileMissing, BuiltInRecentFileMissing},
                                {u"sMenuAllLanguages", Target::Menu, MenuLanguagesOfObject},
                                {u"sAllLanguagesNone", Target::Text, 0, &sAllLanguagesNone, BuiltInAllLanguagesNone},
                            });
    // The status bar.
    keys.insert(keys.end(), {
                                {u"sStatusRow", Target::Text, 0, &sStatusRow, BuiltInStatusRow},
                                {u"sStatusRows", Target::Text, 0, &sStatusRows, BuiltInStatusRows},
                            });
    // Saving the texts kept for a string file's other languages elsewhere.
    keys.push_back({u"sAskOtherLanguagesLost", Target::Text, 0, &sAskOtherLanguagesLost, BuiltInAskOtherLanguagesLost});
    // The help window's text.
    keys.push_back({u"sHotKeyText", Target::Lines, 0, &sHotKeyText, BuiltInHotKeyText});
    return keys;
}

const std::vector<KeyInfo>& Keys() {
    static const std::vector<KeyInfo> keys = MakeKeys();
    return keys;
}

// The captions of menus, buttons and columns as the window was built.
std::vector<std::u16string> Captured;

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

bool SameWideName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string_view Trim(std::string_view s) {
    constexpr std::string_view blanks = " \t\v\f";
    const std::size_t first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

std::string Narrow(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) out.push_back(static_cast<char>(c));  // keys are ASCII
    return out;
}

}  // namespace

std::vector<std::u16string> LanguageFilesIn(const std::u16string& directory) {
    std::vector<std::u16string> names;
    for (const std::u16string& file : platform::FilesInFolder(directory)) {
        constexpr std::size_t extension = 4;  // ".lng", in any case as Windows names go
        if (file.size() <= extension || !SameWideName(file.substr(file.size() - extension), u".lng")) continue;
        std::u16string name = file.substr(0, file.size() - extension);
        if (!SameWideName(name, u"English")) names.push_back(std::move(name));
    }
    return names;
}

const std::vector<std::u16string_view>& LanguageKeys() {
    static const std::vector<std::u16string_view> names = [] {
        std::vector<std::u16string_view> n;
        for (const KeyInfo& k : Keys()) n.push_back(k.key);
        return n;
    }();
    return names;
}

bool FindIniValue(std::string_view file, std::string_view section, std::string_view key, std::string& value) {
    section = Trim(section);
    key = Trim(key);
    bool inSection = false;
    std::size_t pos = 0;
    while (pos < file.size()) {
        std::size_t end = file.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = file.size();
        const std::string_view line = Trim(file.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name =
                Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
            if (inSection) return false;  // the first section of that name ended
            inSection = SameName(name, section);
            continue;
        }
        if (!inSection) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || !SameName(Trim(line.substr(0, eq)), key)) continue;
        std::string_view v = Trim(line.substr(eq + 1));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        value.assign(v);
        return true;
    }
    return false;
}

std::u16string ReadLangText(std::string_view file, std::string_view section, std::string_view key,
                            const std::u16string& builtIn) {
    std::string bytes;
    if (!FindIniValue(file, section, key, bytes) || bytes.empty()) return builtIn;
    // The profile functions read at most 4095 characters of a value.
    if (bytes.size() > 4095) bytes.resize(4095);
    // No UTF-8 sequence gives more UTF-16 units than it has bytes.
    std::vector<char16_t> text(bytes.size() + 1);
    const std::size_t n = Utf8ToUtf16(text.data(), text.size() * sizeof(char16_t), bytes.c_str(), bytes.size());
    if (n == 0) return builtIn;
    std::u16string result(text.data(), n);
#ifdef VM_ANSI_BUILD
    // The single-byte program holds its interface texts in the ANSI code
    // page: what the code page cannot show becomes its default character.
    std::string ansi;
    bool replaced = false;
    platform::WideToAnsi(result.data(), result.size(), static_cast<std::size_t>(-1), ansi, replaced);
    platform::AnsiToWide(ansi.data(), ansi.size(), result);
#endif
    return result;
}

void CaptureBuiltInTexts(LanguageHost& host) {
    Captured.clear();
    for (const KeyInfo& k : Keys()) {
        switch (k.target) {
        case Target::Menu: Captured.push_back(host.MenuCaption(k.number)); break;
        case Target::Button: Captured.push_back(host.ToolButtonText(k.number)); break;
        case Target::Column: Captured.push_back(host.ColumnText(k.number)); break;
        case Target::Text:
        case Target::Lines: Captured.emplace_back(); break;
        }
    }
}

void LoadLanguage(const std::u16string& directory, const std::u16string& name, LanguageHost& host) {
    platform::FileImage image;
    std::string_view file;
    if (!name.empty() && platform::ReadWholeFile(platform::JoinPath(directory, name + u".lng"), 16u << 20, 1, image) ==
                             platform::ReadStatus::Ok)
        file = std::string_view(reinterpret_cast<const char*>(image.data.get()), image.size);
    // The section is the language's name, as the file spells it in UTF-8
    // (or, for a file written in the ANSI code page, in that).
    std::string section = platform::ToUtf8(name);
    std::string probe;
    {
        std::string ansi;
        bool replaced = false;
        platform::WideToAnsi(name.data(), name.size(), static_cast<std::size_t>(-1), ansi, replaced);
        bool anyKey = false;
        for (const KeyInfo& k : Keys())
            if (FindIniValue(file, section, Narrow(k.key), probe)) {
                anyKey = true;
                break;
            }
        if (!anyKey && ansi != section) section = ansi;
    }

    const auto& keys = Keys();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const KeyInfo& k = keys[i];
        const bool ownText = k.target == Target::Text || k.target == Target::Lines;
        const std::u16string builtIn = ownText ? std::u16string(k.builtIn) : (i < Captured.size() ? Captured[i] : u"");
        const std::u16string text = ReadLangText(file, section, Narrow(k.key), builtIn);
        switch (k.target) {
        case Target::Text: *k.text = text; break;
        case Target::Lines:
            *k.text = text;
            if (text != builtIn) SwapNewlineEscape(k.text->data(), false);  // the file's backslash-n
            break;
        case Target::Menu: host.SetMenuCaption(k.number, text); break;
        case Target::Button: host.SetToolButtonText(k.number, text); break;
        case Target::Column: host.SetColumnText(k.number, text); break;
        }
    }
    host.SetSearchLabels();
    host.SetSearchButtons();
}

void ApplyQuestions(Workspace& space) {
    space.sides[0].AskSaveKey = AskKey1;
    space.sides[1].AskSaveKey = AskKey2;
    space.sides[0].AskSaveValue = AskValue1;
    space.sides[1].AskSaveValue = AskValue2;
    space.sides[0].AskSaveEntry = AskEntry1;
    space.sides[1].AskSaveEntry = AskEntry2;
    space.sides[0].AskSaveTable = sAskSaveTable1;
    space.sides[1].AskSaveTable = sAskSaveTable2;
}

}  // namespace vm
