// Undo and redo in the window: the keys of the lists and of the key
// editor, the Edit menu and what it says, and the rows, selection and
// editors an undo brings back.

#include "tests/gui/AppTestUtil.h"

#include "documents/History.h"
#include "editing/Dispatch.h"
#include "editing/Editors.h"
#include "editing/TableView.h"

using namespace vm;
using namespace vmtest;

namespace {
std::vector<std::u16string> Keys(const TTblObjects& p) {
    std::vector<std::u16string> out;
    for (std::size_t i = 0; i < p.Count(); ++i) out.push_back(p.Keys->Get(i));
    return out;
}
}  // namespace

TEST_F(AppTest, ListKeysAndTheEditMenuUndoAndRedo) {
    Start({TextTable("one.txt", Three), TextTable("two.txt", Five)});
    const auto keys1 = Keys(T(0));
    const auto keys2 = Keys(T(1));
    W().RefreshEditMenu();
    EXPECT_FALSE(W().menu.IsEnabled(MenuUndo));
    EXPECT_EQ(W().menu.Caption(MenuUndo), u"Undo\tCtrl+Z");

    // The Edit menu sits between File and View in the bar.
    wchar_t head[64] = {};
    GetMenuStringW(GetMenu(W().form.hwnd), 1, head, 63, MF_BYPOSITION);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(head)), u"Edit ");  // a blank of room after it

    // Ctrl+Shift+Delete on one row in the two-table view deletes it in
    // both tables: one step, undone from either list.
    Click(0, 1);
    ListKeyCommand(T(0), CtrlBit | ShiftBit, VK_DELETE);
    EXPECT_EQ(T(0).Count(), 2u);
    EXPECT_EQ(T(1).Count(), 4u);
    EXPECT_EQ(W().menu.Caption(MenuUndo), u"Undo Delete 1 entry\tCtrl+Z");
    EXPECT_TRUE(W().menu.IsEnabled(MenuUndo));
    EXPECT_FALSE(W().menu.IsEnabled(MenuRedo));
    Click(1, 3);
    EXPECT_TRUE(ListKeyCommand(T(1), CtrlBit | CapsLockBit, 'Z'));
    EXPECT_EQ(Keys(T(0)), keys1);
    EXPECT_EQ(Keys(T(1)), keys2);
    EXPECT_EQ(S(0).list.RowCount(), 6);
    EXPECT_FALSE(T(0).Modified);
    EXPECT_FALSE(T(1).Modified);
    // The rows as they were: row 1 current and selected, its texts shown.
    EXPECT_EQ(Space().CurrentRow, 1);
    EXPECT_EQ(S(0).list.FocusedRow(), 1);
    EXPECT_TRUE(S(0).list.IsSelected(1));
    EXPECT_EQ(S(0).keyEditor.Text(), u"b");
    EXPECT_EQ(S(1).valueEditor.Text(), u"zwei");
    EXPECT_EQ(W().menu.Caption(MenuRedo), u"Redo Delete 1 entry\tCtrl+Y");
    EXPECT_FALSE(W().menu.IsEnabled(MenuUndo));

    // Ctrl+Y and Ctrl+Shift+Z redo; the Edit menu undoes too.
    EXPECT_TRUE(ListKeyCommand(T(0), CtrlBit, 'Y'));
    EXPECT_EQ(T(1).Count(), 4u);
    MainMenuCommand(MenuUndo);
    EXPECT_EQ(T(1).Count(), 5u);
    EXPECT_TRUE(ListKeyCommand(T(1), CtrlBit | ShiftBit, 'Z'));
    EXPECT_EQ(T(0).Count(), 2u);
    MainMenuCommand(MenuUndo);

    // Select everything and clear it: Table 1 grows to the rows of Table 2
    // but not into the last row, which is no entry; undo gives every entry
    // back and the selection with it.
    S(0).list.SelectAll();
    ListKeyCommand(T(0), 0, VK_DELETE);
    EXPECT_EQ(T(0).Count(), 5u);
    EXPECT_EQ(S(0).list.RowCount(), 6);
    EXPECT_EQ(T(0).Keys->Get(0), u"");
    EXPECT_EQ(W().menu.Caption(MenuUndo), u"Undo Clear 5 entries\tCtrl+Z");
    EXPECT_TRUE(ListKeyCommand(T(0), CtrlBit, 'Z'));
    EXPECT_EQ(Keys(T(0)), keys1);
    EXPECT_EQ(S(0).list.SelectedCount(), 6);
    EXPECT_FALSE(T(0).Modified);
}

TEST_F(AppTest, EditsOfBothTablesAreOneStepAndTheKeyEditorUndoesWhenUnchanged) {
    Start({TextTable("one.txt", Three), TextTable("two.txt", Five)});
    Space().options.notAskChange = true;
    Click(0, 2);
    S(0).keyEditor.SetText(u"left");
    S(0).keyEditor.SetModified(true);
    S(1).valueEditor.SetText(u"right\r\nside");
    S(1).valueEditor.SetModified(true);
    Click(1, 0);
    EXPECT_EQ(T(0).Keys->Get(2), u"left");
    EXPECT_EQ(T(1).Values->Get(2), u"right\\nside");
    EXPECT_EQ(UndoName(T(0)), u"Edit");

    // With typed text in the key box, Ctrl+Z is the box's own.
    S(0).keyEditor.SetText(u"typed");
    S(0).keyEditor.SetModified(true);
    EXPECT_FALSE(KeyEditorKey(T(0), 'Z', CtrlBit));
    EXPECT_EQ(T(0).Keys->Get(2), u"left");

    // Unchanged, it undoes the step: both tables, back at the row left.
    S(0).keyEditor.SetTextClean(u"a");
    EXPECT_TRUE(KeyEditorKey(T(0), 'Z', CtrlBit));
    EXPECT_EQ(T(0).Keys->Get(2), u"c");
    EXPECT_EQ(T(1).Values->Get(2), u"drei");
    EXPECT_EQ(Space().CurrentRow, 2);
    EXPECT_EQ(S(0).keyEditor.Text(), u"c");
    EXPECT_EQ(S(1).valueEditor.Text(), u"drei");
    EXPECT_FALSE(T(0).Modified);
    EXPECT_FALSE(T(1).Modified);
    EXPECT_TRUE(KeyEditorKey(T(0), 'Y', CtrlBit));
    EXPECT_EQ(T(1).Values->Get(2), u"right\\nside");
    EXPECT_EQ(Space().CurrentRow, 0);

    // The mark toggle is a step of its own.
    Click(0, 1);
    MarkToggle(T(0));
    EXPECT_EQ(T(0).Keys->Flag(1), FlagMarkBit);
    EXPECT_TRUE(ListKeyCommand(T(0), CtrlBit, 'Z'));
    EXPECT_EQ(T(0).Keys->Flag(1), 0);
}

TEST_F(AppTest, TheEditMenuSpeaksTheLanguage) {
    dir.Write("Vellumark.ini", "[GENERAL]\r\nLanguages=Deutsch\r\nLanguage=1\r\n");
    dir.Write("Deutsch.lng",
              "[Deutsch]\r\nsMenuEdit=Bearbeiten\r\nsMenuUndoStep=R\xC3\xBC"
              "ckg\xC3\xA4ngig: %1\r\n"
              "sStepInsertOne=1 Eintrag einf\xC3\xBCgen\r\n");
    Start({TextTable("one.txt", Three)});
    EXPECT_EQ(W().menu.Caption(MenuEdit), u"Bearbeiten");
    Click(0, 0);
    ListKeyCommand(T(0), 0, VK_INSERT);
    EXPECT_EQ(W().menu.Caption(MenuUndo), BuiltIn(u"R\u00FCckg\u00E4ngig: 1 Eintrag einf\u00FCgen\tCtrl+Z",
                                                  "R\xFC"
                                                  "ckg\xE4ngig: 1 Eintrag einf\xFCgen\tCtrl+Z"));
}
