// Language files: the profile rules over raw bytes, UTF-8 texts, and a load
// applying every key with the built-in English as fall-back.

#include <gtest/gtest.h>

#include <algorithm>

#include <fstream>
#include <iterator>
#include <map>

#include "documents/DocumentTexts.h"
#include "documents/Workspace.h"
#include "shell/InterfaceTexts.h"
#include "shell/Language.h"
#include "tests/TestFiles.h"

using namespace vm;

namespace {

struct FakeWindow final : LanguageHost {
    std::map<int, std::u16string> menu{{0, u"File"}, {14, u"Ask before apply changes"}, {29, u"Hot Keys"}};
    std::map<int, std::u16string> buttons{{0, u"Open"}, {3, u"Gender"}};
    std::map<int, std::u16string> columns{{1, u"Key"}, {2, u"Value"}};
    std::u16string searchLabels;
    int searchButtonPasses = 0;

    std::u16string MenuCaption(int n) override { return menu[n]; }
    void SetMenuCaption(int n, const std::u16string& t) override { menu[n] = t; }
    std::u16string ToolButtonText(int b) override { return buttons[b]; }
    void SetToolButtonText(int b, const std::u16string& t) override { buttons[b] = t; }
    std::u16string ColumnText(int c) override { return columns[c]; }
    void SetColumnText(int c, const std::u16string& t) override { columns[c] = t; }
    void SetSearchLabels() override { searchLabels = sGoTo; }
    void SetSearchButtons() override { ++searchButtonPasses; }
};

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetDocumentTexts();
        ResetInterfaceTexts();
        CaptureBuiltInTexts(window);
    }
    void TearDown() override {
        LoadLanguage(dir.Path(), u"English", window);  // no file: English again
    }
    FakeWindow window;
    Workspace space;
    vmtest::TempDir dir;
};

}  // namespace

TEST(FindIniValue, FollowsTheProfileRules) {
    const std::string file =
        "; comment\r\n"
        "[Other]\r\nsGoTo=wrong\r\n"
        "[ deutsch ]\r\n"
        "  sGoTo =  Gehe zu:  \r\n"
        "sQuoted=\"  padded  \"\r\n"
        "sSingle='x'\r\n"
        "sHalf=\"open\r\n"
        "sTwice=first\nsTwice=second\n"
        "sEmpty=\r\n"
        "sLabelEncoding =Kodierung:\r\n"
        "[Deutsch]\r\nsLater=ignored\r\n";
    const struct {
        const char* section;
        const char* key;
        bool found;
        const char* value;
    } cases[] = {
        {"Deutsch", "sGoTo", true, "Gehe zu:"},
        {"DEUTSCH", "SGOTO", true, "Gehe zu:"},
        {"Deutsch", "sQuoted", true, "  padded  "},
        {"Deutsch", "sSingle", true, "x"},
        {"Deutsch", "sHalf", true, "\"open"},
        {"Deutsch", "sTwice", true, "first"},
        {"Deutsch", "sEmpty", true, ""},
        {"Deutsch", "sLabelEncoding ", true, "Kodierung:"},
        {"Deutsch", "sLater", false, ""},
        {"Other", "sGoTo", true, "wrong"},
        {"Missing", "sGoTo", false, ""},
        {"Deutsch", "; comment", false, ""},
    };
    for (const auto& c : cases) {
        std::string value;
        EXPECT_EQ(FindIniValue(file, c.section, c.key, value), c.found) << c.section << "/" << c.key;
        if (c.found) {
            EXPECT_EQ(value, c.value) << c.key;
        }
    }
}

TEST(ReadLangText, DecodesUtf8AndFallsBackOnEmptyOrMissing) {
    const std::string file = "[Russian]\nsMenuFile=\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB\nsEmpty=\n";
    EXPECT_EQ(ReadLangText(file, "Russian", "sMenuFile", u"File"), u"\u0424\u0430\u0439\u043B");
    EXPECT_EQ(ReadLangText(file, "Russian", "sEmpty", u"Keep"), u"Keep");
    EXPECT_EQ(ReadLangText(file, "Russian", "sNone", u"Keep"), u"Keep");
    // At most 4095 bytes of a value are read; a character cut there is dropped.
    const std::string longFile = "[L]\nk=" + std::string(4094, 'a') + "\xD0\xA4" + "tail\n";
    EXPECT_EQ(ReadLangText(longFile, "L", "k", u""), std::u16string(4094, u'a'));
}

TEST_F(LanguageTest, AFileWithOneKeyChangesOnlyThatText) {
    ASSERT_TRUE(dir.Write("Mini.lng", "[Mini]\nsMenuFile=Datei\nsToolBarOpen=\n"));
    LoadLanguage(dir.Path(), u"Mini", window);
    ApplyQuestions(space);
    EXPECT_EQ(window.menu[0], u"Datei");
    EXPECT_EQ(window.menu[29], u"Hot Keys");
    EXPECT_EQ(window.buttons[0], u"Open");  // empty text keeps the English
    EXPECT_EQ(sNoData, u"<empty>");
    EXPECT_EQ(window.searchLabels, u"Go to:");
    EXPECT_EQ(window.searchButtonPasses, 1);
}

TEST_F(LanguageTest, EveryKindOfTextIsAppliedAndEnglishComesBack) {
    ASSERT_TRUE(dir.Write("Full.lng",
                          "[Full]\n"
                          "sNoData=<leer>\nsGoTo=Gehe zu:\nsAskSaveKeyRight=R?\nsHotKeys=Tasten\n"
                          "sToolBarGender=Geschlecht\nsListViewValue=Wert\nsLabelEncoding =Kodierung:\n"
                          "sErrorWriteFile=Schreibfehler\nsAskSaveTable1=Tabelle 1?\n"
                          "sHotKeyText=Tasten:\\n  Strg+Auf - nach oben\\n\n"));
    LoadLanguage(dir.Path(), u"Full", window);
    ApplyQuestions(space);
    EXPECT_EQ(sNoData, u"<leer>");
    EXPECT_EQ(window.searchLabels, u"Gehe zu:");
    EXPECT_EQ(space.sides[1].AskSaveKey, u"R?");
    EXPECT_EQ(space.sides[0].AskSaveKey, u"Left Key was changed. Do you want to apply this change?");
    EXPECT_EQ(window.menu[29], u"Tasten");
    EXPECT_EQ(window.buttons[3], u"Geschlecht");
    EXPECT_EQ(window.columns[2], u"Wert");
    EXPECT_EQ(sLabelEncoding, u"Kodierung:");
    EXPECT_EQ(sErrorWriteFile, u"Schreibfehler");
    EXPECT_EQ(space.sides[0].AskSaveTable, u"Tabelle 1?");
    EXPECT_EQ(sHotKeyText, u"Tasten:\r\n  Strg+Auf - nach oben\r\n");  // one line in the file

    LoadLanguage(dir.Path(), u"English", window);
    ApplyQuestions(space);
    EXPECT_EQ(sNoData, u"<empty>");
    EXPECT_EQ(window.menu[29], u"Hot Keys");
    EXPECT_EQ(window.columns[2], u"Value");
    EXPECT_EQ(sErrorWriteFile, BuiltInErrorWriteFile);
    EXPECT_EQ(sHotKeyText, BuiltInHotKeyText);
    EXPECT_EQ(space.sides[1].AskSaveKey, u"Right Key was changed. Do you want to apply this change?");
}

TEST(LanguageFiles, AreTheLngFilesOfTheFolderButEnglish) {
    vmtest::TempDir dir;
    for (const char* name : {"Polski.lng", "Deutsch.LNG", "English.lng", "notes.txt", ".lng", "Russian.lng.bak"})
        ASSERT_TRUE(dir.Write(name, "[x]\n"));
    ASSERT_TRUE(dir.Write("Folder.lng/inside.txt", ""));
    EXPECT_EQ(LanguageFilesIn(dir.Path()), (std::vector<std::u16string>{u"Deutsch", u"Polski"}));
    EXPECT_TRUE(LanguageFilesIn(dir.Path(u"missing")).empty());
}

TEST(LanguageKeys, NewTextsComeAfterTheOthers) {
    const auto& keys = LanguageKeys();
    ASSERT_GE(keys.size(), 3u);
    EXPECT_EQ(keys.front(), u"sNoData");
    const auto at = [&keys](std::u16string_view key) {
        return std::find(keys.begin(), keys.end(), key) - keys.begin();
    };
    EXPECT_EQ(at(u"sAskSaveTable2"), at(u"sErrorWriteFile") + 2);
    EXPECT_EQ(at(u"sAskLossyText"), at(u"sAskSaveTable2") + 1);
    EXPECT_EQ(at(u"sLabelJsonOptions"), at(u"sErrorIncludeBudget") + 1);
    // The menu bar's captions in the order of its rows (Edit after File).
    EXPECT_EQ(at(u"sMenuFile"), at(u"sFindValue") + 1);
    EXPECT_EQ(at(u"sMenuEdit"), at(u"sMenuExit") + 1);
    // Then the Edit menu's commands and the names of the undo steps.
    EXPECT_EQ(at(u"sMenuUndo"), at(u"sWriteBadName") + 1);
    EXPECT_EQ(at(u"sErrorFileTooLarge"), at(u"sStepFixOne") + 1);
    EXPECT_EQ(at(u"sWarnShortLengths"), at(u"sErrorFileTooLarge") + 1);
    EXPECT_EQ(at(u"sSaveFirstIdTaken"), at(u"sSaveDoesNotFit") + 1);
    EXPECT_EQ(at(u"sWarnIds"), at(u"sSaveFirstIdTaken") + 1);
    EXPECT_EQ(at(u"sFindingsNone"), at(u"sWarnIdCounterWrite") + 1);
    EXPECT_EQ(at(u"sCompareSummary"), at(u"sFindingColumnPlace") + 1);
    // The search bar's choice and "not found", the one question for a key
    // and a value; saving under a new name, the recent files, every
    // language of an object.
    EXPECT_EQ(at(u"sSearchAnywhere"), at(u"sCompareSummary") + 1);
    EXPECT_EQ(at(u"sMenuSaveAs1"), at(u"sAskSaveEntryRight") + 1);
    EXPECT_EQ(at(u"sAllLanguagesNone"), at(u"sRecentFileMissing") + 2);
    EXPECT_EQ(at(u"sStatusRow"), at(u"sAllLanguagesNone") + 1);
    EXPECT_EQ(at(u"sAskOtherLanguagesLost"), at(u"sStatusRows") + 1);
    EXPECT_EQ(keys[keys.size() - 2], u"sAskOtherLanguagesLost");
    // Then the help text.
    EXPECT_EQ(keys.back(), u"sHotKeyText");
}

TEST(ShippedLanguages, EveryFileHasEveryKey) {
#ifndef VM_SOURCE_DIR
    GTEST_SKIP() << "source folder unknown";
#else
    for (const char* name : {"Deutsch", "Russian"}) {
        const std::string path = std::string(VM_SOURCE_DIR) + "/languages/" + name + ".lng";
        std::ifstream in(path, std::ios::binary);
        if (!in) GTEST_SKIP() << path << " is not reachable from here";
        const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (std::u16string_view key : LanguageKeys()) {
            const std::string k(key.begin(), key.end());
            std::string value;
            EXPECT_TRUE(FindIniValue(file, name, k, value) && !value.empty()) << name << ": " << k;
        }
    }
#endif
}
