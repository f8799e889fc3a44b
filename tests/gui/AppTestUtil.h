// The whole program started in-process for window tests: message boxes are
// answered by the test and recorded, and the test drives the controls
// through their messages and the program's handlers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "documents/DocumentTexts.h"
#include "documents/FileDialogs.h"
#include "documents/TblObjects.h"
#include "editing/TableView.h"
#include "formats/FormatOptions.h"
#include "platform/Platform.h"
#include "shell/InterfaceTexts.h"
#include "shell/MainWindow.h"
#include "shell/Settings.h"
#include "shell/Startup.h"
#include "tests/TestFiles.h"
#include "toolkit/MessageBox.h"

namespace vmtest {

// The window tests run against both programs; a few texts differ.
#ifdef VM_ANSI_BUILD
inline constexpr bool SingleByteProgram = true;
#else
inline constexpr bool SingleByteProgram = false;
#endif

// What the program shows for a built-in text: its UTF-16 form in the
// Unicode program, its single bytes read in the system code page in the
// single-byte one.
inline std::u16string BuiltIn(const char16_t* wide, const char* bytes) {
    if (!SingleByteProgram) return wide;
    std::u16string text;
    vm::platform::AnsiToWide(bytes, std::char_traits<char>::length(bytes), text);
    return text;
}

struct ShownBox {
    std::u16string text, caption;
    UINT type;
};

inline std::vector<ShownBox> Boxes;
inline std::vector<int> Answers;  // taken in order; IDCANCEL / IDNO when used up

inline int AnswerBox(std::u16string_view text, std::u16string_view caption, UINT type) {
    Boxes.push_back({std::u16string(text), std::u16string(caption), type});
    if (!Answers.empty()) {
        const int a = Answers.front();
        Answers.erase(Answers.begin());
        return a;
    }
    return (type & 0xF) == MB_OK ? IDOK : ((type & 0xF) == MB_YESNO ? IDNO : IDCANCEL);
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        Boxes.clear();
        Answers.clear();
        tk::MessageBoxOverride = AnswerBox;
        vm::ResetSettings();
        vm::ResetInterfaceTexts();
        vm::ResetDocumentTexts();
    }
    void TearDown() override {
        vm::StopVellumark();
        Pump();
        tk::MessageBoxOverride = nullptr;
    }

    void Start(const std::vector<std::u16string>& args = {}) {
        // Hidden: under wine without a window manager, hiding a shown window
        // waits seconds for the X server.
        ASSERT_TRUE(vm::StartVellumark(args, dir.Path(u"Vellumark.ini"), false));
        Pump();
    }

    static void Pump() {
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (tk::PreviewKey(m)) continue;
            TranslateMessage(&m);
            DispatchMessage(&m);
        }
    }

    vm::MainWindow& W() { return *vm::TheMainWindow; }
    vm::Workspace& Space() { return W().Space(); }
    // Side 0 is Table 1, side 1 Table 2.
    vm::SideControls& S(int side) { return W().Side(side); }
    vm::TTblObjects& T(int side) { return Space().sides[side]; }

    // The text the list view shows in a cell, asked through the control.
    std::u16string Cell(int side, int row, int column) {
        wchar_t buffer[512] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer;
        item.cchTextMax = 511;
        SendMessageW(S(side).list.hwnd, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return std::u16string(reinterpret_cast<const char16_t*>(buffer));
    }

    // Clicking a row: the list's focus moves and the list paints.
    void Click(int side, int row) {
        S(side).list.SelectOnly(row);
        vm::SyncRows(T(side));
    }

    // A UTF-8 tabbed text table in the test's directory.
    std::u16string TextTable(const char* name, const std::vector<std::pair<std::string, std::string>>& entries) {
        std::string text = "\xEF\xBB\xBF";
        for (const auto& [k, v] : entries) text += k + "\t" + v + "\r\n";
        dir.Write(name, text);
        return dir.Path(std::u16string(name, name + std::char_traits<char>::length(name)));
    }

    TempDir dir;
};

// Two small tables the window tests start with (TextTable).
inline const std::vector<std::pair<std::string, std::string>> Three = {{"a", "one"}, {"b", "two"}, {"c", "three"}};
inline const std::vector<std::pair<std::string, std::string>> Five = {
    {"a", "eins"}, {"b", "zwei"}, {"c", "drei"}, {"d", "vier"}, {"e", "f\xC3\xBCnf\\nzeile"}};

}  // namespace vmtest
