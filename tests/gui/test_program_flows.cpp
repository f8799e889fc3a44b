// Whole sessions through the program's own commands: open, edit, save and
// reopen through the dialogs (answered by a scripted stand-in for the
// platform dialog), the settings written after a save, and a language
// chosen from the menu.

#include "tests/FormatTestUtil.h"
#include "tests/gui/AppTestUtil.h"

#include <fstream>
#include <map>

#include "documents/DocumentTexts.h"
#include "documents/FileDialogs.h"
#include "documents/TableFiles.h"
#include "editing/Dispatch.h"
#include "editing/Editors.h"
#include "editing/Insertion.h"
#include "editing/Search.h"

using namespace vm;
using namespace vmtest;

namespace {

// Plays the file dialog: runs the panel's hook as the platform would and
// returns the next scripted answer.
struct ScriptedDialogs final : FileDialogShower {
    struct Answer {
        std::u16string path;  // empty: cancelled
        int filterIndex;
    };
    std::vector<Answer> answers;
    std::vector<FileDialogRequest> requests;

    bool Show(FileDialogRequest& request, DialogHook& hook) override {
        requests.push_back(request);
        NoControls controls;
        hook.OnCreate(controls);
        const Answer a = answers.empty() ? Answer{{}, request.filterIndex} : answers.front();
        if (!answers.empty()) answers.erase(answers.begin());
        hook.OnNotify(controls, a.filterIndex);
        hook.OnDestroy(controls);
        if (a.path.empty()) return false;
        request.fileName = a.path;
        request.filterIndex = a.filterIndex;
        return true;
    }

    // Controls that keep what the hook puts in them.
    struct NoControls final : DialogControls {
        std::map<int, std::u16string> texts;
        std::map<int, int> selected;
        std::map<int, bool> checked;
        void SetText(int id, const std::u16string& t) override { texts[id] = t; }
        std::u16string GetText(int id, int) override { return texts[id]; }
        void AddItem(int, const std::u16string&) override {}
        void SelectItem(int id, int i) override { selected[id] = i; }
        int SelectedItem(int id) override { return selected.count(id) ? selected[id] : -1; }
        void SetChecked(int id, bool c) override { checked[id] = c; }
        bool IsChecked(int id) override { return checked[id]; }
        void Show(int, bool) override {}
        void Enable(int, bool) override {}
    };
};

}  // namespace

TEST_F(AppTest, OpenEditSaveAndReopenThroughTheDialogs) {
    Start();
    ScriptedDialogs dialogs;
    Space().FileDialogs = &dialogs;
    const auto source = TextTable("source.txt", {{"greeting", "Hello"}, {"farewell", "Bye\\nnow"}});

    dialogs.answers = {{source, OpenTextFilter}};
    MainMenuCommand(MenuOpen1);  // through the toolbar's Open button
    ASSERT_EQ(T(0).Count(), 2u);
    EXPECT_EQ(CommandTarget, &T(0));
    EXPECT_EQ(dialogs.requests.back().fileName, u"");  // no name yet
    EXPECT_TRUE(W().menu.IsEnabled(MenuSave1));

    // Edit the second value and leave the row (no question).
    Space().options.notAskChange = true;
    Click(0, 1);
    S(0).valueEditor.SetText(u"See you\r\nsoon");
    S(0).valueEditor.SetModified(true);
    Click(0, 0);
    EXPECT_EQ(T(0).Values->Get(1), u"See you\\nsoon");
    EXPECT_TRUE(T(0).Modified);

    const auto saved = dir.Path(u"saved.tbl");
    dialogs.answers = {{saved, 1}};
    MainMenuCommand(MenuSaveAs1);
    EXPECT_EQ(dialogs.requests.back().fileName, u"source");  // name only, no folder or extension
    EXPECT_EQ(dialogs.requests.back().initialDir, Space().DialogDir);
    EXPECT_FALSE(T(0).Modified);
    EXPECT_EQ(T(0).Values->Flag(1), 0);
    EXPECT_TRUE(Boxes.empty());
    // The settings were written after the save.
    EXPECT_NE(dir.Read("Vellumark.ini").find("ViewTbl"), std::string::npos);

    // Reopen in Table 2 and compare.
    dialogs.answers = {{saved, OpenTblFilter}};
    MainMenuCommand(MenuOpen2);
    ASSERT_EQ(T(1).Count(), 2u);
    EXPECT_EQ(T(1).Keys->Get(0), u"greeting");
    EXPECT_EQ(T(1).Values->Get(1), u"See you\\nsoon");
    Space().FileDialogs = nullptr;
}

TEST_F(AppTest, AFailedSaveIsReportedAndTheSettingsAreNotWritten) {
    Start({TextTable("one.txt", {{"a", "1"}})});
    ScriptedDialogs dialogs;
    Space().FileDialogs = &dialogs;
    T(0).Modified = true;
    dialogs.answers = {{dir.Path(u"missing/out.tbl"), 1}};
    MainMenuCommand(MenuSaveAs1);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].text, u"Error write data to file. The file was not changed\nThe folder does not exist.\n" +
                                 dir.Path(u"missing/out.tbl"));
    EXPECT_EQ(T(0).FileName, dir.Path(u"one.txt"));
    EXPECT_TRUE(T(0).Modified);
    // Only the recent files were written, when the table was opened.
    EXPECT_EQ(dir.Read("Vellumark.ini").find("ViewTbl"), std::string::npos);

    // Opening over unsaved changes asks first; Cancel keeps the table.
    Boxes.clear();
    Answers = {IDCANCEL};
    MainMenuCommand(MenuOpen1);
    EXPECT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(dialogs.requests.size() == 1);  // no open dialog shown
    Space().FileDialogs = nullptr;
}

TEST_F(AppTest, ALanguageFromTheMenuChangesTheWindowsTexts) {
    dir.Write("Vellumark.ini", "[GENERAL]\r\nLanguages=Deutsch,Missing\r\n");
    dir.Write("Deutsch.lng",
              "[Deutsch]\r\nsMenuFile=Datei\r\nsToolBarOpen=\xC3\x96"
              "ffnen\r\nsListViewKey=Schl\xC3\xBCssel\r\n"
              "sErrorReadFile=Lesefehler\r\nsGoTo=Gehe zu:\r\n");
    Start();
    EXPECT_EQ(W().menu.Caption(MenuFirstLanguage), u"English");
    EXPECT_EQ(W().menu.Caption(MenuFirstLanguage + 1), u"Deutsch");
    EXPECT_EQ(W().menu.Caption(MenuFirstLanguage + 2), u"Missing");
    EXPECT_TRUE(W().menu.IsChecked(MenuFirstLanguage));
    EXPECT_EQ(LanguageCount, 2);

    MainMenuCommand(MenuFirstLanguage + 1);
    EXPECT_EQ(W().menu.Caption(MenuFile), u"Datei");
    EXPECT_EQ(W().menu.Caption(MenuHotKeys), u"Hot Keys");
    EXPECT_EQ(S(1).toolbar.ButtonText(ButtonOpen), u"\u00D6ffnen");
    EXPECT_EQ(S(1).list.ColumnText(1), u"Schl\u00FCssel");
    EXPECT_EQ(S(0).searchLabel.Text(), u"Gehe zu:");
    EXPECT_TRUE(W().menu.IsChecked(MenuFirstLanguage + 1));
    EXPECT_FALSE(W().menu.IsChecked(MenuFirstLanguage));
    EXPECT_NE(dir.Read("Vellumark.ini").find("Language=1"), std::string::npos);
    T(0).FileName = dir.Path(u"nothing.tbl");
    OpenByExtension(T(0), Space().options.formats);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].text, u"Lesefehler\n" + dir.Path(u"nothing.tbl"));

    // A language without a file, then English: every text is English again.
    MainMenuCommand(MenuFirstLanguage + 2);
    EXPECT_EQ(W().menu.Caption(MenuFile), u"File");
    MainMenuCommand(MenuFirstLanguage);
    EXPECT_EQ(S(0).toolbar.ButtonText(ButtonOpen), u"Open");
    EXPECT_EQ(sErrorReadFile, BuiltInErrorReadFile);
}

TEST_F(AppTest, AFullSizedTableEndToEnd) {
    Start();
    ScriptedDialogs dialogs;
    Space().FileDialogs = &dialogs;
    Entries entries;
    for (int i = 0; i < 65535; ++i) {
        const std::string n = std::to_string(i);
        entries.emplace_back(u"Str" + std::u16string(n.begin(), n.end()),
                             u"Text " + std::u16string(n.begin(), n.end()));
    }
    const Bytes image = TblImage(entries);
    dir.Write("big.tbl", std::string(image.begin(), image.end()));

    dialogs.answers = {{dir.Path(u"big.tbl"), OpenTblFilter}};
    MainMenuCommand(MenuOpen1);
    ASSERT_EQ(T(0).Count(), 65535u);
    EXPECT_EQ(S(0).list.RowCount(), 65536);
    EXPECT_GE(S(0).list.ColumnWidth(0), 36);
    EXPECT_GE(S(0).list.ColumnWidth(0), S(0).list.TextWidth(u"65536") + 12);  // five digits are not cut

    // Find a key, edit its value, colour it, apply.
    ToggleSearchBar(T(0), 1);
    S(0).searchBox.SetText(u"Str40000");
    RunSearch(T(0));
    ASSERT_EQ(Space().CurrentRow, 40000);
    tk::Edit& value = S(0).valueEditor;
    SendMessage(value.hwnd, EM_SETSEL, 0, 0);
    InsertColour(T(0), 2);
    Space().options.notAskChange = true;
    KeyEditorKey(T(0), VK_RETURN, CtrlBit);
    EXPECT_EQ(T(0).Values->Get(40000), u"\\red;Text 40000");
    entries[40000].second = u"\\red;Text 40000";

    const auto saved = dir.Path(u"big-out.tbl");
    dialogs.answers = {{saved, 1}, {saved, OpenTblFilter}};
    MainMenuCommand(MenuSaveAs1);
    MainMenuCommand(MenuOpen2);
    ASSERT_EQ(T(1).Count(), 65535u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ASSERT_EQ(T(1).Keys->Get(i), entries[i].first) << i;
        ASSERT_EQ(T(1).Values->Get(i), entries[i].second) << i;
    }
    EXPECT_TRUE(Boxes.empty());
    Space().FileDialogs = nullptr;
}

TEST_F(AppTest, ATextFileThatCannotHoldTheTableIsSavedOnlyAfterYes) {
    Start({TextTable("quotes.txt", {{"greeting", "Hello"}})});
    ScriptedDialogs dialogs;
    Space().FileDialogs = &dialogs;
    T(0).Values->Set(0, u"say \"hi\"");
    T(0).Modified = true;
    const auto out = dir.Path(u"out.txt");
    dir.Write("out.txt", "old");

    Answers = {IDNO};
    dialogs.answers = {{out, 2}};
    EXPECT_FALSE(SaveDialog(T(0)));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].text,
              u"1 entries cannot be stored exactly in this file (first: row 1, key greeting: "
              u"the value holds a double quote). Save anyway?");
    EXPECT_EQ(Boxes[0].type & 0xF, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(dir.Read("out.txt"), "old");
    EXPECT_TRUE(T(0).Modified);
    EXPECT_EQ(T(0).FileName, dir.Path(u"quotes.txt"));

    Answers = {IDYES};
    dialogs.answers = {{out, 2}};
    EXPECT_TRUE(SaveDialog(T(0)));
    EXPECT_EQ(Boxes.size(), 2u);
    EXPECT_NE(dir.Read("out.txt"), "old");
    EXPECT_FALSE(T(0).Modified);
    EXPECT_EQ(T(0).FileName, out);
    Space().FileDialogs = nullptr;
}

TEST_F(AppTest, WhatALoadSkippedIsShownInOneMessage) {
    dir.Write("mod/main.txt",
              "\xEF\xBB\xBF"
              "a\t1\r\n#\"missing.txt\"\r\n");
    Start({dir.Path(u"mod/main.txt")});
    EXPECT_EQ(T(0).Count(), 1u);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].text,
              u"The table was read, but not everything in the file came through exactly:\n"
              u"1 include lines name no file that can be read (first: missing.txt)\n" +
                  dir.Path(u"mod/main.txt"));
    EXPECT_EQ(Boxes[0].caption, u"Vellumark");
}

TEST_F(AppTest, IncludesLeaveTheTablesFolderOnlyWhenTheSettingsAllowIt) {
    dir.Write("secret.txt",
              "\xEF\xBB\xBF"
              "password\thunter2\r\n");
    dir.Write("mod/main.txt",
              "\xEF\xBB\xBF"
              "a\t1\r\n#\"..\\secret.txt\"\r\n");
    Start({dir.Path(u"mod/main.txt")});
    EXPECT_EQ(T(0).Count(), 1u);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].text, sErrorIncludeOutside + u"\n..\\secret.txt\n" + dir.Path(u"mod/main.txt"));
    vm::StopVellumark();
    Pump();

    Boxes.clear();
    ResetSettings();
    dir.Write("Vellumark.ini", "[GENERAL]\r\nIncludesAnywhere=1\r\n");
    Start({dir.Path(u"mod/main.txt")});
    EXPECT_TRUE(Space().options.formats.limits.includesAnywhere);
    EXPECT_TRUE(Boxes.empty());
    ASSERT_EQ(T(0).Count(), 2u);
    EXPECT_EQ(T(0).Keys->Get(1), u"password");
}

// English in Table 1 and Russian in Table 2 of one string file: each side
// shows its file and language above its list, edits go through the editors,
// both sides save into the file through the save dialog, and a dropped
// string file opens with the language last chosen.
TEST_F(AppTest, TwoLanguagesOfOneStringFile) {
    Start();
    ScriptedDialogs dialogs;
    Space().FileDialogs = &dialogs;
    auto object = [](int id, const std::string& key, const std::string& en, const std::string& ru) {
        return "  {\r\n    \"id\": " + std::to_string(id) + ",\r\n    \"Key\": \"" + key + "\",\r\n    \"enUS\": \"" +
               en + "\",\r\n    \"ruRU\": \"" + ru + "\"\r\n  }";
    };
    const std::string file = "\xEF\xBB\xBF[\r\n" +
                             object(1, "axe",
                                    "\xC3\xBF"
                                    "c4Axe",
                                    "\xD0\xA2\xD0\xBE\xD0\xBF\xD0\xBE\xD1\x80") +
                             ",\r\n" + object(2, "bow", "Bow\\nof \xE4\xB8\xAD", "\xD0\x9B\xD1\x83\xD0\xBA") +
                             "\r\n]\r\n";
    dir.Write("items.json", file);
    const auto path = dir.Path(u"items.json");

    dialogs.answers = {{path, OpenJsonFilter}};
    MainMenuCommand(MenuOpen1);
    Space().options.formats.json.language = 11;  // ruRU, as chosen in the next dialog
    dialogs.answers = {{path, OpenJsonFilter}};
    MainMenuCommand(MenuOpen2);
    ASSERT_EQ(T(0).Count(), 2u);
    EXPECT_EQ(Cell(0, 0, 2), u"\\gold;Axe");
    EXPECT_EQ(T(0).Values->Get(1), u"Bow\\nof \u4E2D");
    EXPECT_EQ(T(1).Values->Get(1), u"\u041B\u0443\u043A");
    EXPECT_TRUE(S(0).source.IsVisible());
    EXPECT_EQ(S(0).source.Text(), u" items.json [enUS]");
    EXPECT_EQ(S(1).source.Text(), u" items.json [ruRU]");

    // Edit row 1 of each side through the editors.
    Space().options.notAskChange = true;
    Click(0, 1);
    S(0).valueEditor.SetText(u"Long bow");
    S(0).valueEditor.SetModified(true);
    Click(0, 0);
    Click(1, 1);
    T(1).Values->Set(1, u"\u041B\u0443\u043A!");  // what the Unicode program's editor would apply
    T(1).Values->SetFlag(1, FlagChanged);
    T(1).Modified = true;

    dialogs.answers = {{path, SaveJsonFilter}};
    MainMenuCommand(MenuSaveAs2);
    EXPECT_EQ(dialogs.requests.back().filterIndex, SaveJsonFilter);
    dialogs.answers = {{path, SaveJsonFilter}};
    MainMenuCommand(MenuSaveAs1);
    EXPECT_TRUE(Boxes.empty());
    std::string expected = file;
    const std::string bow = "Bow\\nof \xE4\xB8\xAD";
    expected.replace(expected.find(bow), bow.size(), "Long bow");
    expected.replace(expected.find("\xD0\x9B\xD1\x83\xD0\xBA"), 6, "\xD0\x9B\xD1\x83\xD0\xBA!");
    EXPECT_EQ(dir.Read("items.json"), expected);

    // Dropped, it opens with the language last chosen.
    DropFiles(0, {path});
    EXPECT_EQ(T(0).Values->Get(1), u"\u041B\u0443\u043A!");
    EXPECT_EQ(S(0).source.Text(), u" items.json [ruRU]");
    Space().FileDialogs = nullptr;
}
