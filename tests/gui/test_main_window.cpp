// The program's window driven in-process: start-up state, loading from the
// command line, the shared rows, editing, item commands, view modes,
// drops, closing, search, insertion and the help window.

#include "tests/gui/AppTestUtil.h"

#include <algorithm>
#include <fstream>

#include "documents/FileDialogs.h"
#include "documents/TableFiles.h"
#include "editing/Dispatch.h"
#include "editing/Editors.h"
#include "editing/Insertion.h"
#include "editing/Search.h"
#include "editing/TableView.h"
#include "shell/Help.h"

using namespace vm;
using namespace vmtest;

TEST_F(AppTest, StartsWithTwoTablesAndNothingToSave) {
    Start();
    EXPECT_TRUE(W().menu.IsChecked(MenuTwoTables));
    EXPECT_FALSE(W().menu.IsEnabled(MenuSave1));
    EXPECT_FALSE(W().menu.IsEnabled(MenuSave2));
    ASSERT_NE(W().menu.Find(MenuColorApi), nullptr);
    EXPECT_TRUE(W().menu.Find(MenuColorApi)->hidden);
    EXPECT_TRUE(W().menu.IsChecked(MenuAskChange));
    EXPECT_EQ(W().menu.Caption(MenuTwoTables), BuiltIn(u"\u0422wo Tables", "\xD2wo Tables"));
    for (int side = 0; side < 2; ++side) {
        EXPECT_FALSE(S(side).toolbar.IsButtonEnabled(ButtonSave));
        EXPECT_FALSE(S(side).keyEditor.IsEnabled());
        EXPECT_EQ(S(side).keyEditor.Text(), u"<empty>");
        EXPECT_EQ(S(side).list.ColumnText(0), BuiltIn(u"\u2116", "\xB9"));
    }
    EXPECT_EQ(Space().CurrentRow, -1);
    EXPECT_EQ(S(0).searchButton.Text(), SingleByteProgram ? u">" : u"\u25BA");
}

// The menu bar as the user sees it: the heads in their order, each entry
// with the command id it reports, hidden entries left out.
TEST_F(AppTest, TheMenuBarShowsEveryCommandWithItsNumber) {
    Start();
    const auto text = [](HMENU menu, int position) {
        wchar_t buffer[128] = {};
        GetMenuStringW(menu, static_cast<UINT>(position), buffer, 127, MF_BYPOSITION);
        return std::u16string(reinterpret_cast<const char16_t*>(buffer));
    };
    std::u16string shown;
    const HMENU bar = GetMenu(W().form.hwnd);
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        shown += text(bar, i) + u"\n";
        const HMENU popup = GetSubMenu(bar, i);
        for (int j = 0; j < GetMenuItemCount(popup); ++j) {
            const UINT id = GetMenuItemID(popup, j);
            const std::string number = std::to_string(id);
            shown +=
                id == 0 ? u" -\n" : u" " + std::u16string(number.begin(), number.end()) + u" " + text(popup, j) + u"\n";
        }
    }
    EXPECT_EQ(shown,
              u"File \n 1001 Open Table 1\n 1002 Open Table 2\n -\n 1004 Save Table 1\n 1005 Save Table 2\n"
              u" 1907 Save Table 1 As...\n 1908 Save Table 2 As...\n -\n 4294967295 Recent Files\n -\n 1007 Exit\n"
              u"Edit \n 1032 Undo \tCtrl+Z\n 1033 Redo \tCtrl+Y\n -\n 1920 All Languages... \tCtrl+L\n"
              u"View \n 1009 Only Table 1\n 1010 Only Table 2\n 1011 " +
                  BuiltIn(u"\u0422wo Tables", "\xD2wo Tables") +
                  u"\n"
                  u"Options \n 1014 Ask before apply changes\n"
                  u"Tools \n 1017 Copy Time Dialogs (1 to 2)\n 1018 Copy Time Dialogs (2 to 1)\n -\n"
                  u" 1020 Copy Values (1 to 2)\n 1021 Copy Values (2 to 1)\n -\n"
                  u" 1023 Update Table1 from File...\n 1024 Update Table2 from File...\n -\n"
                  u" 1026 Translate (1 to 2) from File...\n 1027 Translate (2 to 1) from File...\n -\n"
                  u" 1900 Check\n 1901 Next Finding \tF8\n 1902 Previous Finding \tShift+F8\n -\n"
                  u" 1903 Compare with file...\n 1904 Next Difference \tF7\n 1905 Previous Difference \tShift+F7\n"
                  u" 1906 Clear Comparison\n"
                  u"Help \n 1029 Hot Keys\n 1030 About Vellumark\n"
                  u"Language \n 1035 English\n");
}

TEST_F(AppTest, CommandLineFilesShareOneRowModel) {
    const auto f1 = TextTable("one.txt", Three);
    const auto f2 = TextTable("two.txt", Five);
    Start({f1, f2});
    EXPECT_EQ(T(0).Count(), 3u);
    EXPECT_EQ(T(1).Count(), 5u);
    EXPECT_EQ(S(0).list.RowCount(), 6);
    EXPECT_EQ(S(1).list.RowCount(), 6);
    EXPECT_EQ(Cell(0, 0, 1), u"a");
    EXPECT_EQ(Cell(0, 3, 0), u"4");
    EXPECT_EQ(Cell(0, 3, 1), u"<empty>");
    EXPECT_EQ(Cell(1, 4, 2), u"f\u00FCnf\\nzeile");  // the escape shows as stored
    EXPECT_EQ(Cell(1, 5, 2), u"<empty>");
    EXPECT_TRUE(W().menu.IsEnabled(MenuSave1));
    EXPECT_TRUE(S(1).toolbar.IsButtonEnabled(ButtonSave));
    EXPECT_EQ(Space().CurrentRow, 0);
    EXPECT_EQ(RowColour(T(0), 3), GetSysColor(COLOR_GRAYTEXT));
    EXPECT_EQ(RowColour(T(0), 0), CLR_DEFAULT);

    // Clicking a row of list 2 moves both tables' editors there.
    Click(1, 4);
    EXPECT_EQ(Space().CurrentRow, 4);
    EXPECT_EQ(S(1).valueEditor.Text(), u"f\u00FCnf\r\nzeile");
    EXPECT_EQ(S(0).list.FocusedRow(), 4);
    EXPECT_FALSE(S(0).keyEditor.IsEnabled());  // beyond Table 1's end
    EXPECT_EQ(S(0).valueEditor.Text(), u"<empty>");
}

TEST_F(AppTest, UnknownCommandLineNamesAreNotTakenAsTheSidesFile) {
    const auto f2 = TextTable("two.txt", Five);
    Start({dir.Path(u"notes.doc"), f2, u"-1"});
    EXPECT_TRUE(T(0).FileName.empty());
    EXPECT_EQ(T(1).Count(), 5u);
    EXPECT_EQ(Space().DialogDir, ProgramDirectory());  // "-1" keeps the program's folder
}

TEST_F(AppTest, EditsAreAppliedOnLeavingTheRowAfterTheQuestion) {
    Start({TextTable("one.txt", Three), TextTable("two.txt", Five)});
    tk::Edit& key = S(0).keyEditor;
    tk::Edit& value = S(0).valueEditor;

    key.SetText(u"renamed");
    key.SetModified(true);
    value.SetText(u"line 1\r\nline 2\nline 3\r");
    value.SetModified(true);
    Answers = {IDYES};
    Click(0, 2);
    ASSERT_EQ(Boxes.size(), 1u);  // key and value in one question
    EXPECT_EQ(Boxes[0].text, u"Left Key and VALUE were changed. Do you want to apply these changes?");
    EXPECT_EQ(Boxes[0].caption, u"Vellumark");
    EXPECT_EQ(T(0).Keys->Get(0), u"renamed");
    EXPECT_EQ(T(0).Values->Get(0), u"line 1\\nline 2\\nline 3");  // no raw break reaches the table
    EXPECT_EQ(RowColour(T(0), 0), RGB(0, 128, 0));
    EXPECT_TRUE(T(0).Modified);

    // "No" drops the edit; an unchanged text changes nothing.
    Boxes.clear();
    key.SetText(u"dropped");
    key.SetModified(true);
    Answers = {IDNO};
    Click(0, 1);
    EXPECT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].text, u"Left Key was changed. Do you want to apply this change?");
    EXPECT_EQ(T(0).Keys->Get(2), u"c");
    Boxes.clear();
    value.SetText(S(0).valueEditor.Text());
    value.SetModified(true);
    Answers = {IDYES};
    Click(0, 2);
    EXPECT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(T(0).Values->Flag(1), 0);
    Click(0, 1);

    // Without asking, and Ctrl+Enter in the key editor applies in place.
    Space().options.notAskChange = true;
    Boxes.clear();
    key.SetText(u"direct");
    key.SetModified(true);
    EXPECT_TRUE(KeyEditorKey(T(0), VK_RETURN, CtrlBit));
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(T(0).Keys->Get(1), u"direct");
    EXPECT_EQ(Space().CurrentRow, 1);
}

// A view change, an option toggled (both reload the editors) and a search
// that moves to another row each take what is typed into the tables first,
// after the usual question, instead of dropping it.
TEST_F(AppTest, TypedTextSurvivesViewChangesOptionsAndSearches) {
    Start({TextTable("one.txt", Three), TextTable("two.txt", Five)});
    S(0).valueEditor.SetText(u"typed one");
    S(0).valueEditor.SetModified(true);
    Answers = {IDYES};
    MainMenuCommand(MenuOnlyTable1);
    EXPECT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(T(0).Values->Get(0), u"typed one");
    MainMenuCommand(MenuTwoTables);

    Boxes.clear();
    S(1).keyEditor.SetText(u"typed key");
    S(1).keyEditor.SetModified(true);
    Answers = {IDYES};
    W().menu.SetChecked(MenuAskChange, true);
    MainMenuCommand(MenuAskChange);
    EXPECT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(T(1).Keys->Get(0), u"typed key");

    Boxes.clear();
    S(1).valueEditor.SetText(u"typed two");
    S(1).valueEditor.SetModified(true);
    Answers = {IDYES};
    ToggleSearchBar(T(0), 1);
    S(0).searchBox.SetText(u"c");
    RunSearch(T(0));
    EXPECT_EQ(Space().CurrentRow, 2);
    EXPECT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(T(1).Values->Get(0), u"typed two");
    EXPECT_EQ(S(1).valueEditor.Text(), u"drei");
}

TEST_F(AppTest, InsertDeleteAndMoveThroughListKeys) {
    Start({TextTable("one.txt", Three), TextTable("two.txt", Five)});
    Click(0, 1);
    // Ctrl+Insert with one row in the two-table view: both tables.
    ListKeyCommand(T(0), CtrlBit, VK_INSERT);
    EXPECT_EQ(T(0).Count(), 4u);
    EXPECT_EQ(T(1).Count(), 6u);
    EXPECT_EQ(S(0).list.RowCount(), 7);
    EXPECT_EQ(T(1).Keys->Get(1), u"");
    // Plain Insert with two rows selected: this table only.
    ListView_SetItemState(S(0).list.hwnd, 2, LVIS_SELECTED, LVIS_SELECTED);
    ListKeyCommand(T(0), 0, VK_INSERT);
    EXPECT_EQ(T(0).Count(), 6u);
    EXPECT_EQ(T(1).Count(), 6u);

    // Shift+Delete removes the selected entries.
    Click(0, 1);
    ListView_SetItemState(S(0).list.hwnd, 2, LVIS_SELECTED, LVIS_SELECTED);
    ListKeyCommand(T(0), ShiftBit, VK_DELETE);
    EXPECT_EQ(T(0).Count(), 4u);
    EXPECT_EQ(T(0).Keys->Get(1), u"");

    // Ctrl+Down moves the entry with its flag and keeps it selected;
    // Caps Lock defeats it.
    Click(0, 0);
    T(0).Values->SetFlag(0, FlagChanged);
    EXPECT_FALSE(ListKeyCommand(T(0), CtrlBit | CapsLockBit, VK_DOWN));
    EXPECT_EQ(T(0).Keys->Get(0), u"a");
    EXPECT_TRUE(ListKeyCommand(T(0), CtrlBit, VK_DOWN));
    EXPECT_EQ(T(0).Keys->Get(1), u"a");
    EXPECT_EQ(T(0).Values->Flag(1), FlagChanged);
    EXPECT_EQ(S(0).list.FocusedRow(), 1);
    vm::SyncRows(T(0));
    EXPECT_EQ(Space().CurrentRow, 1);

    // Delete on the last row (beyond both tables) does nothing.
    Click(0, S(0).list.RowCount() - 1);
    const std::size_t before = T(0).Count();
    ListKeyCommand(T(0), ShiftBit, VK_DELETE);
    EXPECT_EQ(T(0).Count(), before);
}

TEST_F(AppTest, PasteStoresLineBreaksAsEscapesAndMarksTheRow) {
    Start({TextTable("one.txt", Three)});
    ASSERT_TRUE(CopyTextToClipboard(W().form.hwnd, u"first\r\nsecond"));
    Click(0, 2);
    ListContextCommand(ContextPasteValue, 0);
    EXPECT_EQ(T(0).Values->Get(2), u"first\\nsecond");
    EXPECT_EQ(T(0).Values->Flag(2), FlagChanged);
    EXPECT_EQ(S(0).valueEditor.Text(), u"first\r\nsecond");
    ListContextCommand(ContextCopyValue, 0);  // copies the stored form
    std::u16string text;
    ASSERT_TRUE(PasteTextFromClipboard(W().form.hwnd, text));
    EXPECT_EQ(text, u"first\\nsecond");
}

TEST_F(AppTest, ViewModesMoveTheEditorsAndButtons) {
    Start({TextTable("one.txt", Three), TextTable("two.txt", Five)});
    MainMenuCommand(MenuOnlyTable2);
    EXPECT_FALSE(T(0).Active);
    EXPECT_TRUE(T(1).Active);
    EXPECT_FALSE(S(0).list.IsVisible());
    EXPECT_TRUE(S(1).list.IsVisible());
    EXPECT_EQ(&W().KeyEditorOf(T(1)), &S(0).keyEditor);
    EXPECT_TRUE(S(0).keyEditor.IsVisible());
    EXPECT_FALSE(S(1).keyEditor.IsVisible());
    EXPECT_FALSE(S(0).toolbar.IsButtonVisible(ButtonOpen));
    EXPECT_TRUE(S(0).toolbar.IsButtonVisible(ButtonColor));
    EXPECT_FALSE(S(1).toolbar.IsButtonVisible(ButtonColor));
    EXPECT_EQ(S(0).keyEditor.Text(), u"a");  // Table 2's row 0

    MainMenuCommand(MenuTwoTables);
    EXPECT_TRUE(S(0).list.IsVisible());
    EXPECT_EQ(&W().KeyEditorOf(T(0)), &S(0).keyEditor);
    EXPECT_TRUE(S(0).splitter.IsVisible());
}

TEST_F(AppTest, NumberColumnFollowsTheRowCount) {
    EXPECT_EQ(NumberColumnWidth(99), 24);
    EXPECT_EQ(NumberColumnWidth(100), 28);
    EXPECT_EQ(NumberColumnWidth(9999), 32);
    EXPECT_EQ(NumberColumnWidth(10000), 36);
    std::vector<std::pair<std::string, std::string>> many;
    for (int i = 0; i < 99; ++i) many.push_back({"k" + std::to_string(i), "v"});
    Start({TextTable("many.txt", many)});
    // 100 rows: at least the width for three digits, and never less than
    // the number takes in the list's font.
    for (int side : {0, 1}) {
        EXPECT_GE(S(side).list.ColumnWidth(0), 28);
        EXPECT_GT(S(side).list.ColumnWidth(0), S(side).list.TextWidth(u"100"));
    }
}

TEST_F(AppTest, DropsLoadTheFirstKnownFileAndAskAboutUnsavedChanges) {
    Start({TextTable("one.txt", Three)});
    const auto five = TextTable("five.txt", Five);
    DropFiles(0, {dir.Path(u"readme.doc"), five});  // the first file decides
    EXPECT_EQ(T(0).Count(), 3u);
    EXPECT_EQ(T(0).FileName, dir.Path(u"one.txt"));

    T(0).Modified = true;
    Answers = {IDCANCEL};
    DropFiles(0, {five});
    EXPECT_EQ(T(0).Count(), 3u);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].text, u"Table 1 has unsaved changes. Save them first?");

    Answers = {IDNO};
    DropFiles(0, {five, dir.Path(u"one.txt")});
    EXPECT_EQ(T(0).Count(), 5u);
    EXPECT_FALSE(T(0).Modified);
}

TEST_F(AppTest, ClosingWithUnsavedChangesCanBeCancelled) {
    Start({TextTable("one.txt", Three)});
    T(0).Modified = true;
    Answers = {IDCANCEL};
    SendMessage(W().form.hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(W().form.hwnd));
    EXPECT_EQ(Boxes.size(), 1u);
    Answers = {IDNO};
    SendMessage(W().form.hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(W().form.hwnd, nullptr);
    Pump();
}

TEST_F(AppTest, SearchFindsPrefixesAfterTheCurrentRowAndWraps) {
    Start({TextTable("keys.txt", {{"Alpha", "1"}, {"alphabet", "2"}, {"Beta", "one\\ntwo"}})});
    ToggleSearchBar(T(0), 1);
    EXPECT_TRUE(S(0).searchBar.IsVisible());
    EXPECT_EQ(S(0).searchLabel.Text(), u"Find Key:");
    S(0).searchBox.SetText(u"Al");
    RunSearch(T(0));
    EXPECT_EQ(Space().CurrentRow, 0);  // only Alpha itself, after all others
    S(0).searchBox.SetText(u"al");
    RunSearch(T(0));
    EXPECT_EQ(Space().CurrentRow, 1);
    EXPECT_EQ(S(1).list.FocusedRow(), 1);
    RunSearch(T(0));
    EXPECT_EQ(S(0).searchBox.ItemCount(), 2);  // "Al" and "al", each once

    // From the last entry the search wraps round.
    Click(0, 2);
    S(0).searchBox.SetText(u"Alpha");
    RunSearch(T(0));
    EXPECT_EQ(Space().CurrentRow, 0);

    ToggleSearchBar(T(0), 2);  // switch mode, bar stays
    S(0).searchBox.SetText(u"one\\n");
    RunSearch(T(0));
    EXPECT_EQ(Space().CurrentRow, 2);

    ToggleSearchBar(T(0), 0);
    for (const auto& [text, row] :
         std::vector<std::pair<std::u16string, int>>{{u"3abc", 2}, {u"5", 2}, {u"4", 3}, {u"-2", 3}, {u"0", -1}}) {
        S(0).searchBox.SetText(text);
        RunSearch(T(0));
        EXPECT_EQ(Space().CurrentRow, row) << "go to " << std::string(text.begin(), text.end());
    }
    ToggleSearchBar(T(0), 0);
    EXPECT_FALSE(S(0).searchBar.IsVisible());
    EXPECT_FALSE(T(0).SearchShown);

    // No bar on an empty table.
    ToggleSearchBar(T(1), 1);
    EXPECT_FALSE(T(1).SearchShown);
}

// A settings pass (an option toggled, a view or a language chosen) gives
// each open search bar the label of the mode it searches in, so a bar
// opened to find keys still says so and still finds keys.
TEST_F(AppTest, ASettingsPassKeepsEachSearchBarsLabelWithItsMode) {
    dir.Write("Vellumark.ini", "[GENERAL]\r\nLanguages=Deutsch\r\n");
    dir.Write("Deutsch.lng", "[Deutsch]\r\nsGoTo=Gehe zu:\r\nsFindKey=Schl\xC3\xBCssel suchen:\r\n");
    Start({TextTable("one.txt", {{"Alpha", "1"}, {"Beta", "2"}, {"Gamma", "3"}}),
           TextTable("two.txt", {{"x", "red"}, {"y", "blue"}})});
    ToggleSearchBar(T(0), 1);
    ToggleSearchBar(T(1), 2);
    // The option as a click on its menu item toggles it.
    SendMessage(W().form.hwnd, WM_COMMAND, tk::MainMenu::FirstCommandId + MenuAskChange, 0);
    EXPECT_TRUE(Space().options.notAskChange);
    EXPECT_EQ(S(0).searchLabel.Text(), u"Find Key:");
    EXPECT_EQ(S(1).searchLabel.Text(), u"Find Value:");
    MainMenuCommand(MenuOnlyTable1);
    MainMenuCommand(MenuTwoTables);
    EXPECT_EQ(S(0).searchLabel.Text(), u"Find Key:");
    EXPECT_EQ(S(1).searchLabel.Text(), u"Find Value:");
    S(0).searchBox.SetText(u"Ga");
    RunSearch(T(0));
    EXPECT_EQ(Space().CurrentRow, 2);

    // A language's texts, each bar in its own mode; one the file lacks
    // keeps its English.
    MainMenuCommand(MenuFirstLanguage + 1);
    EXPECT_EQ(S(0).searchLabel.Text(), u"Schl\u00FCssel suchen:");
    EXPECT_EQ(S(1).searchLabel.Text(), u"Find Value:");
    S(0).searchBox.SetText(u"Be");
    RunSearch(T(0));
    EXPECT_EQ(Space().CurrentRow, 1);
    ToggleSearchBar(T(0), 0);
    EXPECT_EQ(S(0).searchLabel.Text(), u"Gehe zu:");
    S(0).searchBox.SetText(u"3");
    RunSearch(T(0));
    EXPECT_EQ(Space().CurrentRow, 2);
}

TEST_F(AppTest, ColourAndGenderGoIntoTheValueEditorUndoably) {
    Start({TextTable("one.txt", Three)});
    tk::Edit& value = S(0).valueEditor;
    SendMessage(value.hwnd, EM_SETSEL, 3, 3);
    InsertColour(T(0), 2);
    EXPECT_EQ(value.Text(), u"one\\red;");
    EXPECT_TRUE(value.IsModified());
    Space().options.formats.text.colorMacros = false;  // the single-byte program inserts macro words all the same
    EXPECT_EQ(ColourInsertText(0, Space().options.formats.text.colorMacros),
              SingleByteProgram ? u"\\white;" : u"\u00FFc/");
    EXPECT_EQ(ColourInsertText(11, Space().options.formats.text.colorMacros),
              SingleByteProgram ? u"\\dgreen;" : u"\u00FFc:");
    EXPECT_EQ(ColourInsertText(13, Space().options.formats.text.colorMacros),
              SingleByteProgram ? u"\\color;" : u"\u00FFc");
    Space().options.formats.text.colorMacros = true;
    EXPECT_EQ(ColourInsertText(13, Space().options.formats.text.colorMacros), u"\\color;");

    SendMessage(value.hwnd, EM_SETSEL, 0, 3);
    InsertGender(T(0), 5);
    EXPECT_EQ(value.Text(), u"[fp]\\red;");
    SendMessage(value.hwnd, EM_UNDO, 0, 0);
    EXPECT_EQ(value.Text(), u"one\\red;");

    // Beyond the table's end the editor is disabled: nothing goes in.
    Click(0, 3);
    InsertGender(T(0), 0);
    EXPECT_EQ(value.Text(), u"<empty>");
}

TEST_F(AppTest, HelpWindowIsOneWindowShownAgainAfterClosing) {
    Start();
    ASSERT_NE(TheHelpWindow, nullptr);
    EXPECT_FALSE(IsWindowVisible(TheHelpWindow->hwnd));
    MainMenuCommand(MenuHotKeys);
    HWND first = TheHelpWindow->hwnd;
    MainMenuCommand(MenuHotKeys);
    EXPECT_EQ(TheHelpWindow->hwnd, first);
    EXPECT_TRUE(IsWindowVisible(first));
    EXPECT_EQ(TheHelpWindow->text.Text(), BuiltInHotKeyText);
    SendMessage(first, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(first));
    MainMenuCommand(MenuHotKeys);
    EXPECT_TRUE(IsWindowVisible(TheHelpWindow->hwnd));

    MainMenuCommand(MenuAbout);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].caption, u"About Vellumark v" VM_VERSION_TITLE);
    const std::u16string version = SingleByteProgram ? u"ANSI Version\r\n" : u"Unicode Version\r\n";
    EXPECT_EQ(Boxes[0].text.substr(0, version.size()), version);
}

TEST_F(AppTest, SidesKeepTheirShareOfTheWidthAndListsShrinkWithTheWindow) {
    Start();
    W().splitPercent = 75;  // as after dragging the main splitter
    SetWindowPos(W().form.hwnd, nullptr, 0, 0, 1020, 700, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    EXPECT_EQ(S(0).panel.Width(), (1020 - 20) * 75 / 100);
    SetWindowPos(W().form.hwnd, nullptr, 0, 0, 1020, 150, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    RECT outer{};
    GetWindowRect(W().form.hwnd, &outer);
    const int outerHeight = outer.bottom - outer.top;
    if (outerHeight < 200 + 184) {  // the frame may refuse to get that small
        // The key and value boxes give way first.
        EXPECT_GE(S(0).list.dockSize, std::min<LONG>(50, S(0).panel.ClientRect().bottom));
        EXPECT_EQ(S(1).list.dockSize, S(0).list.dockSize);
    }
}

TEST_F(AppTest, RightDoubleClickTogglesTheMarkAndListsScrollTogether) {
    std::vector<std::pair<std::string, std::string>> many;
    for (int i = 0; i < 200; ++i) many.push_back({"k" + std::to_string(i), "v"});
    Start({TextTable("many.txt", many), TextTable("many2.txt", many)});
    T(0).Keys->SetFlag(4, FlagChanged);
    Click(0, 4);
    MarkToggle(T(0));
    EXPECT_EQ(T(0).Keys->Flag(4), 3);
    EXPECT_EQ(RowColour(T(0), 4), CLR_DEFAULT);  // changed and marked: not green
    MarkToggle(T(0));
    EXPECT_EQ(RowColour(T(0), 4), RGB(0, 128, 0));

    SendMessage(S(0).list.hwnd, LVM_SCROLL, 0, 3 * S(0).list.RowHeight());
    SyncRows(T(0));
    Pump();
    EXPECT_EQ(S(0).list.TopRow(), 3);
    EXPECT_EQ(S(1).list.TopRow(), 3);
    EXPECT_EQ(T(1).LastScrollPos, 3);
}

TEST_F(AppTest, EveryColourAndGenderItemInsertsItsText) {
    Start({TextTable("one.txt", Three)});
    tk::Edit& value = S(0).valueEditor;
    const char16_t* words[14] = {u"\\white;",  u"\\grey;",   u"\\red;",    u"\\green;", u"\\blue;",
                                 u"\\gold;",   u"\\dgrey;",  u"\\black;",  u"\\tan;",   u"\\orange;",
                                 u"\\yellow;", u"\\dgreen;", u"\\purple;", u"\\color;"};
    for (int i = 0; i < 14; ++i) {
        value.SetTextClean(u"");
        InsertColour(T(0), i);
        EXPECT_EQ(value.Text(), words[i]) << "colour " << i;
    }
    for (int i = 0; i < 7; ++i) {
        value.SetTextClean(u"x");
        SendMessage(value.hwnd, EM_SETSEL, 1, 1);
        InsertGender(T(0), i);
        EXPECT_EQ(value.Text(), std::u16string(u"x") + GenderMarkers[i]);
    }
}

TEST_F(AppTest, UpInTheKeyEditorMovesBothTablesAfterTheQuestion) {
    Start({TextTable("one.txt", Three), TextTable("two.txt", Five)});
    Click(0, 2);
    S(0).keyEditor.SetText(u"edited");
    S(0).keyEditor.SetModified(true);
    EXPECT_TRUE(KeyEditorKey(T(0), VK_UP, 0));  // the key moves rows, not the caret
    EXPECT_EQ(S(0).list.FocusedRow(), 1);
    Answers = {IDYES};
    SyncRows(T(0));  // the list's next paint
    EXPECT_EQ(Space().CurrentRow, 1);
    EXPECT_EQ(T(0).Keys->Get(2), u"edited");
    EXPECT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(S(1).keyEditor.Text(), u"b");
}

TEST_F(AppTest, FindValueWrapsAndAMissChangesNothing) {
    Start({TextTable("vals.txt", {{"a", "red apple"}, {"b", "green"}, {"c", "red wine"}})});
    ToggleSearchBar(T(0), 2);
    S(0).searchBox.SetText(u"red");
    Click(0, 1);
    RunSearch(T(0));
    EXPECT_EQ(Space().CurrentRow, 2);
    RunSearch(T(0));
    EXPECT_EQ(Space().CurrentRow, 0);  // round past the end
    S(0).searchBox.SetText(u"blue");
    RunSearch(T(0));
    EXPECT_EQ(Space().CurrentRow, 0);  // not found: nothing changes
}

TEST_F(AppTest, AOneTableViewStartsOnTheFirstRowOfTheShownTable) {
    dir.Write("Vellumark.ini", "[GENERAL]\r\nViewTbl=1\r\n");
    Start({TextTable("one.txt", Three), TextTable("two.txt", Five)});
    SyncRows(T(1));  // list 2's first paint
    EXPECT_EQ(Space().CurrentRow, 0);
    EXPECT_EQ(S(1).list.FocusedRow(), 0);
    EXPECT_TRUE(S(0).keyEditor.IsEnabled());  // serving Table 2
    EXPECT_EQ(S(0).keyEditor.Text(), u"a");
    EXPECT_EQ(S(0).valueEditor.Text(), u"eins");
}

#ifdef VM_SOURCE_DIR
// Every text a user reads, built in and in each shipped language file, is
// free of the faults a tester found: words misspelt or run together, a
// .tbl file called a text table, "save" where an edit is only applied, a
// made-up address and date in the About box.
TEST_F(AppTest, NoTextCarriesAFaultFoundInItsWording) {
    Start();
    std::vector<std::pair<std::string, std::u16string>> texts = {{"open filter", OpenFilter},
                                                                 {"save filter", SaveFilter},
                                                                 {"About box", AboutText},
                                                                 {"hot keys", sHotKeyText},
                                                                 {"key question", T(0).AskSaveKey},
                                                                 {"value question", T(1).AskSaveValue},
                                                                 {"entry question", T(0).AskSaveEntry}};
    for (const tk::MenuItem& item : W().menu.items) texts.push_back({"menu", item.caption});
    for (const char* name : {"Deutsch", "Russian"}) {
        std::ifstream in(std::string(VM_SOURCE_DIR) + "/languages/" + name + ".lng", std::ios::binary);
        ASSERT_TRUE(in) << name;
        for (std::string line; std::getline(in, line);) texts.push_back({name, platform::FromUtf8(line)});
    }
    const std::pair<const char16_t*, const char*> faults[] = {
        {u"Viev", "misspelt"},
        {u"rownumber", "run together"},
        {u"text table file", "a .tbl file is no text table"},
        {u"save this change", "an edit is applied, not saved"},
        {u"\u0421\u043E\u0445\u0440\u0430\u043D\u0438\u0442\u044C "
         u"\u0438\u0437\u043C\u0435\u043D\u0435\u043D\u0438\u0435",
         "an edit is applied, not saved"},  // Сохранить изменение
        {u"example.org", "a made-up address"},
        {u"2011", "not the program's year"},
    };
    for (const auto& [where, text] : texts)
        for (const auto& [fault, why] : faults)
            EXPECT_EQ(text.find(fault), std::u16string::npos)
                << where << ": " << platform::ToUtf8(text) << " (" << why << ")";
    EXPECT_NE(std::u16string(AboutText).find(u"Vellumark v" VM_VERSION_TITLE), std::u16string::npos);
}
#endif
