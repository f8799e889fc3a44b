// What differs between the Unicode program and the single-byte program.
// Every test runs in both window-test programs and states each program's
// behaviour.

#include "tests/gui/AppTestUtil.h"

#include "editing/Dispatch.h"
#include "editing/Editors.h"
#include "shell/Language.h"

using namespace vm;
using namespace vmtest;

namespace {

const std::u16string Mir = u"\u041C\u0438\u0440";  // Cyrillic: not in code page 1252

// Counts the paint messages that reach a window.
LRESULT CALLBACK CountPaints(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    if (msg == WM_PAINT) ++*reinterpret_cast<int*>(data);
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

TEST_F(AppTest, OnWindows9xOnlyTheSingleByteProgramRuns) {
    IsWindows9x = [] { return true; };
    const bool started = StartVellumark({}, dir.Path(u"Vellumark.ini"), false);
    IsWindows9x = [] { return false; };
    if (SingleByteProgram) {
        EXPECT_TRUE(started);
        EXPECT_TRUE(Boxes.empty());
        IsWindows9x = [] { return true; };
        EXPECT_EQ(InstalledFontsKey(), u"Software\\Microsoft\\Windows\\CurrentVersion\\Fonts");
    } else {
        EXPECT_FALSE(started);
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].text, u"This program temporarily is not run in Windows 9x");
        EXPECT_EQ(Boxes[0].caption, u"Not NT compatible version Windows");
        EXPECT_EQ(TheMainWindow, nullptr);
    }
    IsWindows9x = [] { return false; };
    EXPECT_EQ(InstalledFontsKey(), u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts");
}

TEST_F(AppTest, EachProgramReadsTheSettingsTheOtherWrote) {
    // The other program's file: only the Unicode program writes ColorApiTXT.
    std::string other = "[GENERAL]\r\nOffset8=7\r\nNotAskChange=1\r\nViewTbl=0\r\n";
    if (SingleByteProgram) other += "ColorApiTXT=0\r\n";
    dir.Write("Vellumark.ini", other);
    Start();
    EXPECT_EQ(Space().options.formats.tbl.offset8, 7);
    EXPECT_TRUE(Space().options.notAskChange);
    EXPECT_EQ(ViewMode, MenuOnlyTable1);
    EXPECT_TRUE(Space().options.formats.text.colorMacros);  // not in the file, or not read
    EXPECT_TRUE(W().menu.IsChecked(MenuColorApi));

    // A fresh file from this program.
    ASSERT_TRUE(dir.Write("Vellumark.ini", ""));
    ExchangeSettings(Space(), true);
    const std::string written = dir.Read("Vellumark.ini");
    EXPECT_NE(written.find("Offset8=7"), std::string::npos);
    EXPECT_EQ(written.find("ColorApiTXT") != std::string::npos, !SingleByteProgram);
}

TEST_F(AppTest, TheColourOptionsMenuCommandStoresOnlyInTheUnicodeProgram) {
    Start();
    W().menu.SetChecked(MenuColorApi, false);
    MainMenuCommand(MenuColorApi);
    if (SingleByteProgram) {
        EXPECT_TRUE(Space().options.formats.text.colorMacros);
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "Vellumark.ini"));
    } else {
        EXPECT_FALSE(Space().options.formats.text.colorMacros);
        EXPECT_NE(dir.Read("Vellumark.ini").find("ColorApiTXT=0"), std::string::npos);
    }
}

TEST_F(AppTest, EditorsShowWhatTheCodePageHoldsAndStoreOnlyAppliedEdits) {
    if (SingleByteProgram && GetACP() != 1252) GTEST_SKIP() << "the replacement characters assume code page 1252";
    const std::u16string shown = SingleByteProgram ? u"???" : Mir;
    Start({TextTable("ru.txt", {{"a", "\xD0\x9C\xD0\xB8\xD1\x80"}, {"b", "two"}})});
    Space().options.notAskChange = true;
    Click(0, 0);
    EXPECT_EQ(Cell(0, 0, 2), Mir);  // the list shows wide text in both programs
    EXPECT_EQ(S(0).valueEditor.Text(), shown);

    // Leaving the row without an edit keeps the entry.
    Click(0, 1);
    EXPECT_EQ(T(0).Values->Get(0), Mir);
    EXPECT_EQ(T(0).Values->Flag(0), 0);

    // An applied edit stores what the editor holds.
    Click(0, 0);
    SendMessage(S(0).valueEditor.hwnd, EM_SETSEL, 3, 3);
    S(0).valueEditor.ReplaceSelection(u"!");
    Click(0, 1);
    EXPECT_EQ(T(0).Values->Get(0), shown + u"!");
    EXPECT_EQ(T(0).Values->Flag(0), FlagChanged);

    // "Paste Value" stores the clipboard's wide text; the editor shows it as
    // it can.
    ASSERT_TRUE(CopyTextToClipboard(W().form.hwnd, Mir));
    ListContextCommand(ContextPasteValue, 0);
    EXPECT_EQ(T(0).Values->Get(1), Mir);
    EXPECT_EQ(S(0).valueEditor.Text(), shown);
}

TEST_F(AppTest, LanguageTextsAreHeldInTheProgramsTextWidth) {
    if (SingleByteProgram && GetACP() != 1252) GTEST_SKIP() << "the replacement characters assume code page 1252";
    const std::string file = "[Russian]\r\nsNoData=\xD0\x9C\xD0\xB8\xD1\x80\r\nsGoTo=G\xC3\xA9h\r\n";
    EXPECT_EQ(ReadLangText(file, "Russian", "sNoData", u"-"), SingleByteProgram ? u"???" : Mir);
    EXPECT_EQ(ReadLangText(file, "Russian", "sGoTo", u"-"), u"G\u00E9h");
}

TEST_F(AppTest, OnlyTheSingleByteValueEditorsRepaintOnFocusChanges) {
    Start({TextTable("one.txt", {{"a", "one"}})});
    Click(0, 0);
    // Paint needs a shown window; this test pays the wait for hiding it.
    ShowWindow(W().form.hwnd, SW_SHOWNA);
    UpdateWindow(W().form.hwnd);
    Pump();
    int paints = 0;
    tk::Edit& value = S(0).valueEditor;
    ASSERT_TRUE(SetWindowSubclass(value.hwnd, CountPaints, 1, reinterpret_cast<DWORD_PTR>(&paints)));
    value.SetFocus();
    S(0).keyEditor.SetFocus();
    RemoveWindowSubclass(value.hwnd, CountPaints, 1);
    EXPECT_EQ(paints, SingleByteProgram ? 2 : 0);
}
