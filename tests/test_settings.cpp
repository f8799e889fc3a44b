// The settings pass: what it reads from and writes to the settings file,
// the range rules, and what it does to the window through SettingsHost.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "documents/History.h"
#include "documents/ItemOperations.h"
#include "documents/TblObjects.h"
#include "shell/Settings.h"
#include "tests/TestFiles.h"

using vmtest::TempDir;

namespace {

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

struct RecordingHost final : vm::SettingsHost {
    std::vector<std::string> calls;
    std::vector<std::u16string> languages;
    std::vector<int> commands;  // of the language items

    void AddLanguageItem(int command, const std::u16string& caption) override {
        commands.push_back(command);
        languages.push_back(caption);
        calls.push_back("add " + Narrow(caption));
    }
    void SetMenuChecked(int number, bool checked) override {
        calls.push_back((checked ? "check " : "uncheck ") + std::to_string(number));
    }
    std::u16string MenuCaption(int number) override {
        const auto i = static_cast<std::size_t>(number - vm::MenuFirstLanguage);
        return i < languages.size() ? languages[i] : u"?";
    }
    void LoadLanguage(const std::u16string& name) override { calls.push_back("load " + Narrow(name)); }
    std::vector<std::u16string> LanguageFiles() override { return files; }
    std::vector<std::u16string> files;  // the language files found
    void ApplyViewLayout() override { calls.push_back("layout"); }
    void OpenCommandLineFiles() override { calls.push_back("open files"); }
    bool CurrentLayout(vm::WindowLayout& layout) override {
        layout = window;
        return true;
    }
    vm::WindowLayout window;  // the window's layout as the host reports it
};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        vm::ResetSettings();
        vm::TheSettingsHost = &host;
        vm::SettingsFileName = dir.Path(u"Vellumark.ini");
    }
    void TearDown() override {
        vm::TheSettingsHost = nullptr;
        vm::SettingsFileName.clear();
        vm::ResetSettings();
    }
    void WriteIni(const std::string& lines) { dir.Write("Vellumark.ini", "[GENERAL]\r\n" + lines); }
    // The names of the keys in the file, in their order.
    std::vector<std::string> KeysInFile() const {
        std::vector<std::string> keys;
        std::istringstream in(dir.Read("Vellumark.ini"));
        for (std::string line; std::getline(in, line);) {
            const std::size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string key = line.substr(0, eq);
            key.erase(key.find_last_not_of(' ') + 1);
            keys.push_back(key);
        }
        return keys;
    }

    TempDir dir;
    RecordingHost host;
    vm::Workspace space;
};

TEST_F(SettingsTest, FirstStartWithoutAFile) {
    space.options.formats.limits.maxFileSize = 1;
    vm::ExchangeSettings(space, false);
    const std::vector<std::string> expected = {
        "add English",  "check 14", "check 13",
        "uncheck 11",   "check 11", "check " + std::to_string(vm::MenuFirstLanguage),
        "load English", "layout",   "open files"};
    EXPECT_EQ(host.calls, expected);
    EXPECT_FALSE(vm::StartupPass);
    EXPECT_EQ(vm::LanguageCount, 0);
    EXPECT_EQ(vm::ViewMode, vm::MenuTwoTables);
    EXPECT_EQ(space.options.formats.limits.maxFileSize, 4194304u);
    EXPECT_EQ(space.options.formats.text.headerLine, "Key\tValue");
    EXPECT_EQ(dir.Read("Vellumark.ini"), "<missing>");  // a reading pass writes nothing

    // Later passes neither build the menu again nor open the files.
    host.calls.clear();
    vm::ExchangeSettings(space, false);
    EXPECT_EQ(host.calls.front(), "check 14");
    EXPECT_EQ(host.calls.back(), "layout");
}

TEST_F(SettingsTest, RangeRulesOnReading) {
    struct Case {
        std::string lines;
        int offset8, addToHash, encoding, viewMode;
    };
    const Case cases[] = {
        {"Offset8=300\r\n", 255, 0, 0, 11},
        {"Offset8=256\r\n", 255, 0, 0, 11},
        {"Offset8=-1\r\n", 255, 0, 0, 11},
        {"Offset8=254\r\n", 254, 0, 0, 11},
        {"MaxAddToHashSize=10\r\nAddToHashSize=20\r\n", 1, 10, 0, 11},
        {"AddToHashSize=200\r\n", 1, 200, 0, 11},
        {"AddToHashSize=-1\r\n", 1, 255, 0, 11},  // compared unsigned
        {"Encoding =5\r\n", 1, 0, 0, 11},
        {"Encoding=2\r\n", 1, 0, 2, 11},
        {"Encoding =-1\r\n", 1, 0, 0, 11},
        {"ViewTbl=7\r\n", 1, 0, 0, 11},
        {"ViewTbl=0\r\n", 1, 0, 0, 9},
        {"ViewTbl=1\r\n", 1, 0, 0, 10},
        {"ViewTbl=-1\r\n", 1, 0, 0, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        space.options = vm::EditorOptions{};
        vm::ResetSettings();
        WriteIni(c.lines);
        vm::ExchangeSettings(space, false);
        EXPECT_EQ(space.options.formats.tbl.offset8, c.offset8);
        EXPECT_EQ(space.options.formats.tbl.addToHashSize, c.addToHash);
        EXPECT_EQ(static_cast<int>(space.options.formats.text.writeEncoding), c.encoding);
        EXPECT_EQ(vm::ViewMode, c.viewMode);
    }
}

TEST_F(SettingsTest, LanguagesAreSplitAtCommasAsTheyStand) {
    struct Case {
        std::string value;
        std::vector<std::u16string> menu;
    };
    const Case cases[] = {
        {"Deutsch,Polski", {u"English", u"Deutsch", u"Polski"}},
        {"a ,, b", {u"English", u"a ", u"", u" b"}},
        {"a,", {u"English", u"a"}},
        {",x", {u"English", u"", u"x"}},
        {"", {u"English"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        vm::ResetSettings();
        host.languages.clear();
        host.commands.clear();
        WriteIni("Languages=" + c.value + "\r\n");
        vm::ExchangeSettings(space, false);
        EXPECT_EQ(host.languages, c.menu);
        // Numbered on from the first language's command.
        for (std::size_t i = 0; i < host.commands.size(); ++i)
            EXPECT_EQ(host.commands[i], vm::MenuFirstLanguage + static_cast<int>(i));
        EXPECT_EQ(vm::LanguageCount, static_cast<int>(c.menu.size()) - 1);
    }
}

TEST_F(SettingsTest, WithoutLanguagesTheMenuListsTheLanguageFilesFound) {
    struct Case {
        const char* ini;
        std::vector<std::u16string> menu;
    };
    const Case cases[] = {
        {"", {u"English", u"Deutsch", u"Polski"}},
        {"Language=2\r\n", {u"English", u"Deutsch", u"Polski"}},
        {"Languages=Russian\r\n", {u"English", u"Russian"}},  // the key decides when it is there,
        {"Languages=\r\n", {u"English"}},                     // empty too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        vm::ResetSettings();
        host = RecordingHost{};
        host.files = {u"Deutsch", u"Polski"};
        WriteIni(c.ini);
        vm::ExchangeSettings(space, false);
        EXPECT_EQ(host.languages, c.menu);
        EXPECT_EQ(vm::LanguageCount, static_cast<int>(c.menu.size()) - 1);
    }
    EXPECT_EQ(vm::Language, 0);
    WriteIni("Language=2\r\n");
    vm::ResetSettings();
    host = RecordingHost{};
    host.files = {u"Deutsch", u"Polski"};
    vm::ExchangeSettings(space, false);
    EXPECT_EQ(host.calls[host.calls.size() - 3], "load Polski");

    // A file added before the chosen one: its name still finds it.
    vm::ExchangeSettings(space, true);
    vm::ResetSettings();
    host = RecordingHost{};
    host.files = {u"Deutsch", u"Italiano", u"Polski"};
    vm::ExchangeSettings(space, false);
    EXPECT_EQ(vm::Language, 3);
    EXPECT_EQ(host.calls[host.calls.size() - 3], "load Polski");
}

TEST_F(SettingsTest, LanguageIndexPicksTheMenuItemAndItsFile) {
    struct Case {
        int stored, language;
        std::string loaded;
    };
    const Case cases[] = {
        {2, 2, "load Polski"}, {3, 0, "load English"}, {-1, 0, "load English"}, {1, 1, "load Deutsch"}};
    for (const Case& c : cases) {
        vm::ResetSettings();
        host = RecordingHost{};
        WriteIni("Languages=Deutsch,Polski\r\nLanguage=" + std::to_string(c.stored) + "\r\n");
        vm::ExchangeSettings(space, false);
        EXPECT_EQ(vm::Language, c.language) << c.stored;
        EXPECT_EQ(host.calls[host.calls.size() - 4], "check " + std::to_string(vm::MenuFirstLanguage + c.language));
        EXPECT_EQ(host.calls[host.calls.size() - 3], c.loaded);
    }
}

TEST_F(SettingsTest, WritingPassWritesEveryKeyButLanguagesInOrder) {
    WriteIni("Languages=Deutsch\r\nMaxFileSize=100000000\r\nNotAskChange=1\r\nColorApiTXT=0\r\n");
    vm::ExchangeSettings(space, false);
    EXPECT_EQ(space.options.formats.limits.maxFileSize, 100000000u);  // a hand-set limit holds until the next write
    EXPECT_TRUE(space.options.notAskChange);
    EXPECT_FALSE(space.options.formats.text.colorMacros);
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "uncheck 14"), host.calls.end());
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "uncheck 13"), host.calls.end());

    // The view mode the user picks, then the writing pass.
    vm::ViewMode = vm::MenuOnlyTable2;
    space.options.formats.tbl.offset8 = 7;
    space.options.formats.text.writeEncoding = vm::TextEncoding::UTF8;
    space.options.formats.text.headerLine = "Id\tText";
    space.options.formats.limits.includesAnywhere = true;
    space.options.formats.json.language = 11;
    space.options.formats.json.firstId = 90000;
    space.RecentFiles = {u"C:\\mod\\strings.json:deDE", u"D:\\t.tbl"};
    host.calls.clear();
    vm::ExchangeSettings(space, true);
    EXPECT_EQ(space.options.formats.limits.maxFileSize, 4194304u);
    EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "add English"), 0);

    const std::vector<std::string> keys = {
        "Languages",    "MaxFileSize", "NotAskChange", "ColorApiTXT",   "MaxAddToHashSize", "AddToHashSize",
        "Offset8",      "MaxUndoSize", "Encoding",     "QuoteValueTTF", "HeaderTTF",        "HeadersTTF",
        "LanguageJSON", "NewIdJSON",   "ViewTbl",      "Language",      "LanguageName",     "IncludesAnywhere",
        "WindowLeft",   "WindowTop",   "WindowWidth",  "WindowHeight",  "WindowMaximized",  "KeyColumnWidth",
        "EditorHeight", "RecentFile1", "RecentFile2",  "RecentFile3",   "RecentFile4",      "RecentFile5",
        "RecentFile6",  "RecentFile7", "RecentFile8"};
    EXPECT_EQ(KeysInFile(), keys);

    // Everything written reads back.
    space.options = vm::EditorOptions{};
    space.RecentFiles.clear();
    vm::ViewMode = vm::MenuTwoTables;
    space.options.formats.limits.maxFileSize = 5;
    vm::ExchangeSettings(space, false);
    EXPECT_EQ(space.options.formats.limits.maxFileSize, 4194304u);
    EXPECT_EQ(vm::ViewMode, vm::MenuOnlyTable2);
    EXPECT_EQ(space.options.formats.tbl.offset8, 7);
    EXPECT_EQ(space.options.formats.text.writeEncoding, vm::TextEncoding::UTF8);
    EXPECT_TRUE(space.options.notAskChange);
    EXPECT_FALSE(space.options.formats.text.colorMacros);
    EXPECT_EQ(space.options.formats.text.headerLine, "Id\tText");
    EXPECT_EQ(space.options.formats.text.skippedHeaders, "Key\tValue");
    EXPECT_TRUE(space.options.formats.limits.includesAnywhere);
    EXPECT_EQ(space.options.formats.json.language, 11);
    EXPECT_EQ(space.options.formats.json.firstId, 90000);
    EXPECT_NE(dir.Read("Vellumark.ini").find("LanguageJSON=ruRU"), std::string::npos);
    EXPECT_EQ(space.RecentFiles, (std::vector<std::u16string>{u"C:\\mod\\strings.json:deDE", u"D:\\t.tbl"}));
}

TEST_F(SettingsTest, NewFileListsTheKeysInPassOrder) {
    vm::ExchangeSettings(space, false);
    vm::ExchangeSettings(space, true);
    const std::vector<std::string> keys = {
        "MaxAddToHashSize", "AddToHashSize", "Offset8",      "MaxFileSize",     "MaxUndoSize",      "Encoding",
        "NotAskChange",     "QuoteValueTTF", "HeaderTTF",    "HeadersTTF",      "ColorApiTXT",      "LanguageJSON",
        "NewIdJSON",        "ViewTbl",       "Language",     "LanguageName",    "IncludesAnywhere", "WindowLeft",
        "WindowTop",        "WindowWidth",   "WindowHeight", "WindowMaximized", "KeyColumnWidth",   "EditorHeight",
        "RecentFile1",      "RecentFile2",   "RecentFile3",  "RecentFile4",     "RecentFile5",      "RecentFile6",
        "RecentFile7",      "RecentFile8"};
    EXPECT_EQ(KeysInFile(), keys);
    EXPECT_NE(dir.Read("Vellumark.ini").find("IncludesAnywhere=0"), std::string::npos);  // off unless set
}

TEST_F(SettingsTest, TheWindowLayoutIsRememberedWhenWrittenAndAbsentGivesTheBuiltInOne) {
    vm::ExchangeSettings(space, false);
    EXPECT_EQ(vm::Layout.width, 0);  // no file: the window as built
    EXPECT_EQ(vm::Layout.keyColumnWidth, 0);

    // A writing pass takes the window's layout as it is, and so does the
    // store when the window closes.
    host.window = {120, -8, 800, 600, true, 140, 160};
    vm::ExchangeSettings(space, true);
    host.window = {30, 40, 700, 500, false, 90, 130};
    vm::StoreWindowLayout();
    vm::ResetSettings();
    vm::ExchangeSettings(space, false);
    EXPECT_EQ(vm::Layout.left, 30);
    EXPECT_EQ(vm::Layout.top, 40);
    EXPECT_EQ(vm::Layout.width, 700);
    EXPECT_EQ(vm::Layout.height, 500);
    EXPECT_FALSE(vm::Layout.maximized);
    EXPECT_EQ(vm::Layout.keyColumnWidth, 90);
    EXPECT_EQ(vm::Layout.editorHeight, 130);

    // Sizes below zero, set by hand, mean none.
    WriteIni("WindowWidth=-5\r\nWindowHeight=300\r\nKeyColumnWidth=-1\r\nWindowTop=-20\r\nEditorHeight=-2\r\n");
    vm::ResetSettings();
    vm::ExchangeSettings(space, false);
    EXPECT_EQ(vm::Layout.width, 0);
    EXPECT_EQ(vm::Layout.height, 300);
    EXPECT_EQ(vm::Layout.top, -20);
    EXPECT_EQ(vm::Layout.keyColumnWidth, 0);
    EXPECT_EQ(vm::Layout.editorHeight, 0);
}

}  // namespace

TEST_F(SettingsTest, UndoLimitComesFromTheFileAndTrimsTheHistory) {
    vm::TTblObjects& t = space.sides[0];
    vm::InsertEntries(t, 0, 2);
    ASSERT_TRUE(vm::CanUndo(t));
    EXPECT_EQ(space.options.maxUndoSize, 256u << 20);
    WriteIni("MaxUndoSize=0\r\n");
    vm::ExchangeSettings(space, false);
    EXPECT_EQ(space.options.maxUndoSize, 0u);
    EXPECT_FALSE(vm::CanUndo(t));
    EXPECT_TRUE(t.Modified);
}
