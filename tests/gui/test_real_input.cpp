// The window shown and driven the way a user drives it: keys and mouse
// clicks go through the system's input queue (SendInput) to the control
// that has the keyboard or lies under the mouse, and what the window then
// shows is checked. Under wine this needs a display (a virtual one does).

#include "tests/FormatTestUtil.h"
#include "tests/gui/AppTestUtil.h"
#include "tests/gui/KeyInput.h"

#include <dlgs.h>
#include <windowsx.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <tuple>

#include "documents/FileCompare.h"
#include "documents/TableFiles.h"
#include "editing/Commands.h"
#include "editing/Dispatch.h"
#include "editing/TableView.h"
#include "formats/JsonStrings.h"
#include "resources/DialogIds.h"

using namespace vm;
using namespace vmtest;

namespace {

// A table of n rows whose keys are "k<row>".
std::vector<std::pair<std::string, std::string>> Rows(int n, const std::string& value) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (int i = 0; i < n; ++i) rows.push_back({"k" + std::to_string(i), value + " " + std::to_string(i)});
    return rows;
}

using keyinput::Press;

// Letters and digits typed key by key.
void Type(const std::string& text) {
    for (char c : text) {
        const SHORT scan = VkKeyScanA(c);
        if (scan & 0x100) Press(static_cast<WORD>(scan & 0xFF), {VK_SHIFT});
        else Press(static_cast<WORD>(scan & 0xFF));
    }
}

// The mouse moved to a point of a window (client coordinates) and a
// button clicked there, once or twice in a row.
void ClickAt(HWND window, POINT at, bool right = false, int clicks = 1) {
    ClientToScreen(window, &at);
    SetCursorPos(at.x, at.y);
    std::vector<INPUT> in;
    for (int i = 0; i < clicks; ++i)
        for (DWORD flag :
             {right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN, right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP}) {
            INPUT m{};
            m.type = INPUT_MOUSE;
            m.mi.dwFlags = flag;
            in.push_back(m);
        }
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

// The colours of a window as the screen shows them, or as the window
// draws itself now.
std::vector<COLORREF> Pixels(HWND window, bool fromScreen) {
    RECT r{};
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(dc, bitmap);
    if (fromScreen) BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    else PrintWindow(window, dc, 0);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

class RealInputTest : public AppTest {
protected:
    void StartShown(const std::vector<std::u16string>& args) {
        ASSERT_TRUE(StartVellumark(args, dir.Path(u"Vellumark.ini"), true));
        SetForegroundWindow(W().form.hwnd);
        ASSERT_TRUE(WaitUntil([this] { return GetForegroundWindow() == W().form.hwnd; }));
        Settle();
    }

    // Runs the window's messages until the condition holds (false after
    // the time limit).
    static bool WaitUntil(const std::function<bool()>& done, int limitMs = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            Pump();
        }
        return true;
    }

    // Runs the window's messages until nothing has come for a while: the
    // input sent has been handled and everything painted.
    static void Settle(int quietMs = 150) {
        auto quietSince = std::chrono::steady_clock::now();
        for (;;) {
            MSG m;
            if (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
                if (tk::PreviewKey(m)) continue;
                TranslateMessage(&m);
                DispatchMessage(&m);
                quietSince = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - quietSince > std::chrono::milliseconds(quietMs)) {
                return;
            } else {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            }
        }
    }

    POINT RowPoint(int side, int row) {
        RECT r{};
        r.left = LVIR_LABEL;
        SendMessage(S(side).list.hwnd, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
        return {r.left + 4, (r.top + r.bottom) / 2};
    }

    void ClickRow(int side, int row, bool right = false, int clicks = 1) {
        ClickAt(S(side).list.hwnd, RowPoint(side, row), right, clicks);
        Settle();
    }

    bool Shows(int side, int row) {
        tk::ListView& list = S(side).list;
        const int top = list.TopRow();
        return row >= top && row < top + ListView_GetCountPerPage(list.hwnd);
    }

    // The row is current, and every shown list shows it.
    void ExpectShown(int row) {
        EXPECT_EQ(Space().CurrentRow, row);
        for (int side = 0; side < 2; ++side) {
            if (S(side).list.IsVisible()) {
                EXPECT_TRUE(Shows(side, row)) << "list " << side << " top " << S(side).list.TopRow();
            }
        }
    }

    // Types a row number into the open search bar, which has the keyboard.
    void GoTo(int number) {
        Type(std::to_string(number));
        Press(VK_RETURN);
        const int side = S(0).searchBar.IsVisible() ? 0 : 1;
        wchar_t focus[64] = {};
        GetClassNameW(GetFocus(), focus, 63);
        ASSERT_TRUE(WaitUntil([this, number] { return Space().CurrentRow == number - 1; }))
            << "search box " << S(side).searchBox.Text().size() << " characters, keyboard in " << focus;
        Settle();
    }
};

// Answers the next message box with the Enter key, as a user would, from a
// thread of its own while the box holds the window's thread. Given a title,
// the window of that title (a file dialog), typing text into it first.
class AnswerWithEnter {
public:
    explicit AnswerWithEnter(const std::u16string& title = u"Vellumark", const std::string& typed = {})
        : thread_([this, title, typed] {
              for (int i = 0; i < 2000 && !stop_; ++i) {
                  HWND box = FindWindowW(L"#32770", reinterpret_cast<const wchar_t*>(title.c_str()));
                  if (box && IsWindowVisible(box) && GetForegroundWindow() == box) {
                      Sleep(typed.empty() ? 100 : 300);
                      Type(typed);
                      Press(VK_RETURN);
                      answered_ = true;
                      return;
                  }
                  Sleep(10);
              }
          }) {}
    ~AnswerWithEnter() {
        stop_ = true;
        thread_.join();
    }
    bool Answered() const { return answered_; }

private:
    std::atomic<bool> stop_{false}, answered_{false};
    std::thread thread_;
};

}  // namespace

TEST_F(RealInputTest, GoToAndFindBringTheRowIntoViewInEveryList) {
    const auto rows = Rows(5400, "value");
    StartShown({TextTable("one.txt", rows), TextTable("two.txt", rows)});
    for (int view : {MenuTwoTables, MenuOnlyTable1, MenuOnlyTable2}) {
        SCOPED_TRACE(view);
        MainMenuCommand(view);
        Settle();
        const int side = view == MenuOnlyTable2 ? 1 : 0;
        ClickRow(side, S(side).list.TopRow());  // a row the list shows
        Press('G', {VK_CONTROL});
        Settle();
        GoTo(2000);
        ExpectShown(1999);
        if (view == MenuTwoTables) {
            EXPECT_EQ(S(0).list.TopRow(), S(1).list.TopRow());
        }
        GoTo(5000);  // far away, and back again
        ExpectShown(4999);
        GoTo(300);
        ExpectShown(299);
        Press('G', {VK_CONTROL});  // the search box has the keyboard: the bar stays open
        Settle();
        EXPECT_TRUE(S(side).searchBar.IsVisible());

        // Find Key, switched to by a click on the header: what is typed
        // replaces the number searched before.
        RECT header{};
        Header_GetItemRect(ListView_GetHeader(S(side).list.hwnd), 1, &header);
        ClickAt(ListView_GetHeader(S(side).list.hwnd),
                {(header.left + header.right) / 2, (header.top + header.bottom) / 2});
        Settle();
        Type("k3580");
        Press(VK_RETURN);
        ASSERT_TRUE(WaitUntil([this] { return Space().CurrentRow == 3580; }));
        Settle();
        EXPECT_EQ(S(side).searchBox.Text(), u"k3580");
        ExpectShown(3580);
        Sleep(GetDoubleClickTime());  // a second click, not a double-click
        ClickAt(ListView_GetHeader(S(side).list.hwnd),
                {(header.left + header.right) / 2, (header.top + header.bottom) / 2});
        Settle();
        EXPECT_FALSE(S(side).searchBar.IsVisible());
    }
}

TEST_F(RealInputTest, TheKeyboardComesBackAfterQuestionsAndWhenTheWindowIsActivatedAgain) {
    tk::MessageBoxOverride = nullptr;  // real questions, answered by the keyboard
    StartShown({TextTable("one.txt", Rows(50, "a")), TextTable("two.txt", Rows(50, "b"))});
    ClickRow(0, 2);
    ClickAt(S(0).keyEditor.hwnd, {30, 8});
    Settle();
    Type("x");
    {
        AnswerWithEnter answer;  // "Yes" to the question about the changed key
        Press(VK_DOWN);
        ASSERT_TRUE(WaitUntil([this, &answer] { return answer.Answered() && Space().CurrentRow == 3; }));
    }
    Settle();
    EXPECT_EQ(T(0).Keys->Get(2), u"k2x");
    Press(VK_DOWN);  // still in the key box
    ASSERT_TRUE(WaitUntil([this] { return Space().CurrentRow == 4; }));

    // Ctrl+Enter applies and the keyboard stays.
    Press(VK_END);
    Type("y");
    {
        AnswerWithEnter answer;
        Press(VK_RETURN, {VK_CONTROL});
        ASSERT_TRUE(WaitUntil([&answer] { return answer.Answered(); }));
    }
    Settle();
    EXPECT_EQ(T(0).Keys->Get(4), u"k4y");
    EXPECT_EQ(GetFocus(), S(0).keyEditor.hwnd);
    Press(VK_DOWN);
    ASSERT_TRUE(WaitUntil([this] { return Space().CurrentRow == 5; }));

    // Another window takes the keyboard; activated again, the window gives
    // it back to the list that had it.
    ClickRow(0, 8);
    HWND other = CreateWindowEx(0, TEXT("STATIC"), TEXT("other"), WS_POPUP | WS_VISIBLE | WS_CAPTION, 10, 10, 200, 100,
                                nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    ASSERT_TRUE(WaitUntil([other] { return GetForegroundWindow() == other; }));
    SetForegroundWindow(W().form.hwnd);
    ASSERT_TRUE(WaitUntil([this] { return GetForegroundWindow() == W().form.hwnd; }));
    Settle();
    DestroyWindow(other);
    Press(VK_DOWN);
    ASSERT_TRUE(WaitUntil([this] { return Space().CurrentRow == 9; }));
    EXPECT_EQ(GetFocus(), S(0).list.hwnd);
}

TEST_F(RealInputTest, ARightDoubleClickTogglesTheMarkAndOneRightClickOpensTheMenu) {
    StartShown({TextTable("one.txt", Rows(20, "a"))});
    T(0).Keys->SetFlag(3, FlagChanged);
    ClickRow(0, 3, true, 2);
    EXPECT_EQ(T(0).Keys->Flag(3), FlagChanged | FlagMarkBit);
    ClickRow(0, 3, true, 2);
    EXPECT_EQ(T(0).Keys->Flag(3), FlagChanged);
    EXPECT_FALSE(FindWindow(TEXT("#32768"), nullptr) && IsWindowVisible(FindWindow(TEXT("#32768"), nullptr)));

    // One click: the menu comes (a little later); Escape closes it.
    std::atomic<bool> menuSeen{false};
    std::thread closer([&menuSeen] {
        for (int i = 0; i < 500 && !menuSeen; ++i) {
            HWND menu = FindWindow(TEXT("#32768"), nullptr);
            if (menu && IsWindowVisible(menu)) {
                menuSeen = true;
                Press(VK_ESCAPE);
            }
            Sleep(10);
        }
    });
    ClickRow(0, 5, true, 1);
    WaitUntil([&menuSeen] { return menuSeen.load(); }, 5000);
    closer.join();
    EXPECT_TRUE(menuSeen);
    EXPECT_EQ(T(0).Keys->Flag(5), FlagPlain);
}

TEST_F(RealInputTest, ShownControlsRepaintWholeAfterTheSearchBarOpensAndTheWindowGrows) {
    const auto rows = Rows(300, "value");
    StartShown({TextTable("one.txt", rows), TextTable("two.txt", rows)});
    ClickRow(0, 0);
    SetCursorPos(0, 0);  // no button under the mouse
    const HWND header1 = ListView_GetHeader(S(0).list.hwnd);
    Press('G', {VK_CONTROL});
    Settle(400);
    EXPECT_EQ(Pixels(header1, true), Pixels(header1, false));

    SetWindowPos(W().form.hwnd, nullptr, 0, 0, 900, 700, SWP_NOMOVE | SWP_NOZORDER);
    Settle(400);
    for (HWND control : {S(1).toolbar.hwnd, ListView_GetHeader(S(1).list.hwnd), header1})
        EXPECT_EQ(Pixels(control, true), Pixels(control, false));
}

TEST_F(RealInputTest, TheWindowOpensWhereItWasLeft) {
    StartShown({TextTable("one.txt", Rows(20, "a"))});
    SetWindowPos(W().form.hwnd, nullptr, 40, 30, 760, 560, SWP_NOZORDER);
    // The Key column made wider by dragging its edge.
    const HWND header = ListView_GetHeader(S(0).list.hwnd);
    RECT key{};
    Header_GetItemRect(header, 1, &key);
    POINT from{key.right - 1, (key.top + key.bottom) / 2};
    ClientToScreen(header, &from);
    SetCursorPos(from.x, from.y);
    INPUT down{}, move{}, up{};
    down.type = move.type = up.type = INPUT_MOUSE;
    down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &down, sizeof(INPUT));
    Settle();
    for (int step = 1; step <= 4; ++step) {
        SetCursorPos(from.x + 10 * step, from.y);
        move.mi.dwFlags = MOUSEEVENTF_MOVE;
        SendInput(1, &move, sizeof(INPUT));
        Settle(50);
    }
    SendInput(1, &up, sizeof(INPUT));
    Settle();
    const int width = S(0).list.ColumnWidth(1);
    EXPECT_GT(width, 53);
    SendMessage(W().form.hwnd, WM_CLOSE, 0, 0);  // as the frame's close box does
    Settle();
    StopVellumark();
    Pump();

    ResetSettings();
    StartShown({});
    RECT r{};
    GetWindowRect(W().form.hwnd, &r);
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.right - r.left, 760);
    EXPECT_EQ(r.bottom - r.top, 560);
    EXPECT_EQ(S(0).list.ColumnWidth(1), width);
    EXPECT_EQ(S(1).list.ColumnWidth(1), width);
}

#ifdef VM_SOURCE_DIR
// The width of a text in the font a control draws with.
int TextWidthIn(HWND control, const std::u16string& text) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessage(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.c_str()), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

TEST_F(RealInputTest, ToolbarsAndLabelsFitTheirTextsInEveryShippedLanguage) {
    for (const char* name : {"Deutsch", "Russian"}) {
        std::ifstream in(std::string(VM_SOURCE_DIR) + "/languages/" + name + ".lng", std::ios::binary);
        ASSERT_TRUE(in) << name;
        dir.Write(std::string(name) + ".lng", std::string(std::istreambuf_iterator<char>(in), {}));
    }
    dir.Write("Vellumark.ini", "[GENERAL]\r\nLanguages=Deutsch,Russian\r\n");
    StartShown({TextTable("one.txt", Rows(20, "a")), TextTable("two.txt", Rows(20, "b"))});
    ClickRow(0, 0);
    Press('F', {VK_CONTROL});  // the search bar with its label
    Settle();
    for (int language : {1, 2}) {
        MainMenuCommand(MenuFirstLanguage + language);
        Settle();
        // Wide, then so narrow that the buttons of a side need two rows.
        for (int width : {1000, 460}) {
            SCOPED_TRACE(testing::Message() << "language " << language << ", window " << width);
            SetWindowPos(W().form.hwnd, nullptr, 0, 0, width, 600, SWP_NOMOVE | SWP_NOZORDER);
            Settle();
            for (int side = 0; side < 2; ++side) {
                tk::ToolBar& bar = S(side).toolbar;
                RECT client{};
                GetClientRect(bar.hwnd, &client);
                for (int button : {ButtonOpen, ButtonSave, ButtonColor, ButtonGender}) {
                    const RECT r = bar.ButtonRect(button);
                    const std::u16string text = bar.ButtonText(button);
                    // The whole text inside the button, the whole button
                    // inside the toolbar.
                    EXPECT_GE(r.right - r.left, TextWidthIn(bar.hwnd, text)) << platform::ToUtf8(text);
                    EXPECT_TRUE(r.left >= 0 && r.right <= client.right && r.bottom <= client.bottom)
                        << platform::ToUtf8(text) << " at " << r.left << "," << r.top << "-" << r.right << ","
                        << r.bottom << " in " << client.right << "x" << client.bottom;
                }
            }
            tk::Label& label = S(0).searchLabel;
            ASSERT_TRUE(S(0).searchBar.IsVisible());
            RECT labelBox{};
            GetClientRect(label.hwnd, &labelBox);
            EXPECT_GE(labelBox.right, TextWidthIn(label.hwnd, label.Text())) << platform::ToUtf8(label.Text());
        }
    }
}
#endif

namespace {

// A string file of the remastered game: objects with English and German
// texts, the other languages English with their code after it.
std::string GameStringFile(const std::vector<std::tuple<int, std::string, std::string, std::string>>& objects) {
    std::string s = "\xEF\xBB\xBF[";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const auto& [id, key, en, de] = objects[i];
        s += std::string(i ? ",\r\n" : "\r\n") + "  {\r\n    \"id\": " + std::to_string(id) + ",\r\n    \"Key\": \"" +
             key + "\"";
        for (const char* l : JsonLanguageCodes)
            s += std::string(",\r\n    \"") + l + "\": \"" +
                 (std::string(l) == "deDE"   ? de
                  : std::string(l) == "enUS" ? en
                                             : en + " " + l) +
                 "\"";
        s += "\r\n  }";
    }
    return s + "\r\n]\r\n";
}

}  // namespace

// A cell of the findings list, as the list shows it.
std::u16string FindingCellText(int row, int column) {
    wchar_t buffer[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 511;
    SendMessageW(TheMainWindow->findings.list.hwnd, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    return reinterpret_cast<const char16_t*>(buffer);
}

TEST_F(RealInputTest, TheCheckGoesToEachFindingAndFollowsTheEdits) {
    // a.json: 3000 strings, one German text without its placeholder and an
    // id that b.json gives too; b.json is in the folder but not open.
    std::vector<std::tuple<int, std::string, std::string, std::string>> a;
    for (int i = 1; i <= 3000; ++i) {
        const std::string n = std::to_string(i);
        a.emplace_back(i, "k" + n, "Hit %d " + n, i == 2500 ? "Treffer " + n : "Treffer %d " + n);
    }
    ASSERT_TRUE(dir.Write("strings/a.json", GameStringFile(a)));
    ASSERT_TRUE(dir.Write("strings/b.json", GameStringFile({{5000, "solo", "One", "Eins"}, {7, "dupe", "Two", ""}})));
    StartShown({dir.Path(u"strings/a.json"), dir.Path(u"strings/a.json")});
    FormatOptions german = Space().options.formats;
    german.json.language = 2;
    ASSERT_TRUE(OpenByExtension(T(0), german));
    Space().options.notAskChange = true;
    Settle();

    MainMenuCommand(MenuCheck);
    Settle();
    tk::ListView& findings = W().findings.list;
    ASSERT_TRUE(W().findings.panel.IsVisible());
    EXPECT_EQ(GetFocus(), findings.hwnd);
    ASSERT_EQ(findings.RowCount(), 4);  // id 7 twice, the lost placeholder, b.json's empty German text
    EXPECT_EQ(W().findings.counts.Text(), u" 3 errors, 1 warnings, 0 info");

    // Enter on the first finding: the row of id 7 in a.json.
    Press(VK_RETURN);
    ASSERT_TRUE(WaitUntil([this] { return Space().CurrentRow == 6; }));
    Settle();
    ExpectShown(6);
    // F8 from the list the keyboard went to: far down, the German text.
    EXPECT_EQ(GetFocus(), S(0).list.hwnd);
    Press(VK_F8);
    ASSERT_TRUE(WaitUntil([this] { return Space().CurrentRow == 2499; }));
    Settle();
    ExpectShown(2499);

    // The placeholder typed back and the row left: the finding goes.
    S(0).valueEditor.SetFocus();
    Press(VK_END, {VK_CONTROL});
    Type(" %d");
    Settle();
    S(0).list.SetFocus();
    Press(VK_UP);
    Settle();
    EXPECT_EQ(T(0).Values->Get(2499), u"Treffer 2500 %d");
    ASSERT_TRUE(WaitUntil([&findings] { return findings.RowCount() == 3; }));
    EXPECT_EQ(W().findings.counts.Text(), u" 2 errors, 1 warnings, 0 info");

    // Shift+F8 back to id 7, then F8 to the one in b.json, which no side
    // shows: the side in use opens it (after the unsaved-changes question)
    // in its own language, at the object's row.
    Press(VK_F8, {VK_SHIFT});
    ASSERT_TRUE(WaitUntil([this] { return Space().CurrentRow == 6; }));
    Answers = {IDNO};
    Press(VK_F8);
    ASSERT_TRUE(WaitUntil([this] { return T(0).FileName.ends_with(u"b.json"); })) << Boxes.size();
    Settle();
    EXPECT_EQ(T(0).JsonLanguage, 2);
    EXPECT_EQ(Space().CurrentRow, 1);
    EXPECT_EQ(T(0).Keys->Get(1), u"dupe");

    // One rule only: the German text's placeholder is lost again, since
    // its edit was not kept when b.json took the side's place.
    W().findings.rule.Choose(1 + 5);  // placeholders
    W().findings.rule.onChoose(1 + 5);
    ASSERT_EQ(findings.RowCount(), 1);
    EXPECT_EQ(FindingCellText(0, 2), u"k2500");

    // Fix, clicked: of all findings, the side can fill b.json's empty German
    // text from English; one undo step takes it back.
    W().findings.rule.Choose(0);
    W().findings.rule.onChoose(0);
    Boxes.clear();
    RECT fix{};
    GetClientRect(W().findings.fix.hwnd, &fix);
    ClickAt(W().findings.fix.hwnd, {fix.right / 2, fix.bottom / 2});
    ASSERT_TRUE(WaitUntil([] { return !Boxes.empty(); }));
    SetCursorPos(0, 0);  // a pointer left on the button keeps wine's hover timer going
    EXPECT_EQ(T(0).Values->Get(1), u"Two");
    EXPECT_EQ(Boxes.back().text.substr(0, 19), u"1 findings fixed (t");
    Settle();
    S(0).list.SetFocus();
    Press('Z', {VK_CONTROL});
    Settle();
    EXPECT_EQ(T(0).Values->Get(1), u"");
    W().findings.close.onClick();
    Settle();
    EXPECT_FALSE(W().findings.panel.IsVisible());
}

TEST_F(RealInputTest, CompareWithFileMarksTheDifferencesAndF7GoesToThem) {
    // The file: 3000 entries. The table: k10 and k2900 hold other values,
    // k2000 became "fresh".
    auto old = Rows(3000, "v");
    auto now = old;
    now[10].second = "changed";
    now[2900].second = "changed too";
    now[2000].first = "fresh";
    const std::u16string oldFile = TextTable("old.txt", old);
    StartShown({TextTable("now.txt", now), TextTable("other.txt", now)});
    Space().options.notAskChange = true;
    ClickRow(0, 0);

    // Tools > Compare with file..., through the menu bar's keys: F10, right
    // to Tools, down to the twelfth item; then the dialog.
    {
        AnswerWithEnter answer(u"Compare with file", std::string(oldFile.begin(), oldFile.end()));
        // From a thread of its own, as the menu's loop holds the window's.
        std::thread keys([] {
            for (int i = 0; i < 18; ++i) {
                Sleep(150);
                Press(i == 0 ? VK_F10 : i < 5 ? VK_RIGHT : i < 17 ? VK_DOWN : VK_RETURN);
            }
        });
        const bool compared = WaitUntil([this] { return T(0).Compared != nullptr; }, 20000);
        keys.join();
        EXPECT_TRUE(answer.Answered());
        ASSERT_TRUE(compared);
    }
    Settle();
    ASSERT_FALSE(Boxes.empty());
    EXPECT_EQ(Boxes.back().text.substr(0, 61), u"Table 1 against old.txt: 1 entries added, 2 changed, 1 remove");
    EXPECT_EQ(T(1).Compared, nullptr);

    // F7 from row 1 down through the three, then no further; Shift+F7 back.
    SetForegroundWindow(W().form.hwnd);
    S(0).list.SetFocus();
    for (int row : {10, 2000, 2900, 2900}) {
        Press(VK_F7);
        ASSERT_TRUE(WaitUntil([this, row] { return Space().CurrentRow == row; })) << row;
        Settle();
        ExpectShown(row);
    }
    Press(VK_F7, {VK_SHIFT});
    ASSERT_TRUE(WaitUntil([this] { return Space().CurrentRow == 2000; }));
    Settle();
    // The added row is shaded on the screen, a row that is the same is not.
    auto shade = [this](int row) {
        RECT cell{};
        cell.top = 1;
        cell.left = LVIR_BOUNDS;
        SendMessage(S(0).list.hwnd, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
        POINT at{cell.right - 3, (cell.top + cell.bottom) / 2};
        ClientToScreen(S(0).list.hwnd, &at);
        HDC screen = GetDC(nullptr);
        const COLORREF c = GetPixel(screen, at.x, at.y);
        ReleaseDC(nullptr, screen);
        return c;
    };
    S(0).list.SelectOnly(1995);  // the added row unselected, so its own colour shows
    Settle();
    EXPECT_EQ(shade(2000), RGB(210, 230, 255));
    EXPECT_NE(shade(1999), RGB(210, 230, 255));

    // The value of k10 typed back and applied: no longer a difference. An
    // entry inserted above moves the marks with their entries.
    Press(VK_F7, {VK_SHIFT});
    ASSERT_TRUE(WaitUntil([this] { return Space().CurrentRow == 10; }));
    S(0).valueEditor.SetFocus();
    Press(VK_END, {VK_CONTROL});
    for (int i = 0; i < 7; ++i) Press(VK_BACK);  // "changed"
    Type("v 10");
    Settle();
    S(0).list.SetFocus();
    Press(VK_UP);
    Settle();
    ASSERT_EQ(T(0).Values->Get(10), u"v 10");
    EXPECT_EQ(DifferenceOf(T(0), 10), Difference::None);
    ASSERT_EQ(Space().CurrentRow, 9);
    Press(VK_INSERT);
    Settle();
    EXPECT_EQ(DifferenceOf(T(0), 9), Difference::Added);
    EXPECT_EQ(DifferenceOf(T(0), 2001), Difference::Added);
    EXPECT_EQ(DifferenceOf(T(0), 2901), Difference::Changed);

    // Cleared: no marks, and F7 stays where it is.
    MainMenuCommand(MenuClearComparison);
    Settle();
    EXPECT_EQ(T(0).Compared, nullptr);
    Press(VK_F7);
    Settle();
    EXPECT_EQ(Space().CurrentRow, 9);
}
namespace {

// Answers every question of the program with the next of its answers (Yes
// once they are used up), as a click on that button does, and counts them;
// cancels every open and save dialog, noting whether an open dialog came.
// From a thread of its own, until it goes: the window's thread waits in the
// question.
class AnswerEveryBox {
public:
    explicit AnswerEveryBox(std::vector<int> answers = {})
        : answers_(std::move(answers)), thread_([this] {
              while (!stop_) {
                  HWND box = FindWindow(TEXT("#32770"), TEXT("Vellumark"));
                  if (box && IsWindowVisible(box)) {
                      Sleep(100);
                      const auto n = static_cast<std::size_t>(answered_.load());
                      PostMessage(box, WM_COMMAND, n < answers_.size() ? answers_[n] : IDYES, 0);
                      ++answered_;
                      while (!stop_ && IsWindow(box) && IsWindowVisible(box)) Sleep(10);
                  }
                  for (const TCHAR* title : {TEXT("Open"), TEXT("Save As")}) {
                      HWND dialog = FindWindow(TEXT("#32770"), title);
                      if (!dialog || !IsWindowVisible(dialog)) continue;
                      if (title[0] == TEXT('O')) opened_ = true;
                      PostMessage(dialog, WM_COMMAND, IDCANCEL, 0);
                      while (!stop_ && IsWindow(dialog)) Sleep(10);
                  }
                  Sleep(10);
              }
          }) {}
    ~AnswerEveryBox() {
        stop_ = true;
        thread_.join();
    }
    int Answered() const { return answered_; }
    bool Opened() const { return opened_; }

private:
    const std::vector<int> answers_;
    std::atomic<bool> stop_{false}, opened_{false};
    std::atomic<int> answered_{0};
    std::thread thread_;
};

// The middle of a column's header, where a click switches the search bar.
POINT HeaderPoint(HWND list, int column) {
    RECT r{};
    Header_GetItemRect(ListView_GetHeader(list), column, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

}  // namespace

TEST_F(RealInputTest, FindValueFindsTheTextAnywhereStepsWithF3AndSaysWhenNothingIsFound) {
    // A full table; "Shrine" in a few values, never at their start, in
    // three spellings of its case.
    auto rows = Rows(65535, "value");
    for (const auto& [row, text] : std::vector<std::pair<int, std::string>>{
             {10, "the Shrine of 10"}, {30000, "a SHRINE"}, {40000, "shrine two"}, {65000, "old Shrine"}})
        rows[static_cast<std::size_t>(row)].second = text;
    StartShown({TextTable("one.txt", rows), TextTable("two.txt", Rows(50, "b"))});
    ClickRow(0, 0);

    // A click on the Value header: Find Value, anywhere and without case.
    ClickAt(ListView_GetHeader(S(0).list.hwnd), HeaderPoint(S(0).list.hwnd, 2));
    Settle();
    ASSERT_TRUE(S(0).searchBar.IsVisible());
    EXPECT_EQ(S(0).searchLabel.Text(), u"Find Value:");
    EXPECT_TRUE(S(0).searchMatch.IsVisible());
    EXPECT_EQ(S(0).searchMatch.Chosen(), 0);
    Type("shrine");
    Press(VK_RETURN);
    ASSERT_TRUE(WaitUntil([this] { return Space().CurrentRow == 10; }));
    // F3 on from the search box, Shift+F3 back, round the end both ways.
    for (const auto& [shift, row] : std::vector<std::pair<bool, int>>{
             {false, 30000}, {false, 40000}, {false, 65000}, {false, 10}, {true, 65000}}) {
        if (shift) Press(VK_F3, {VK_SHIFT});
        else Press(VK_F3);
        ASSERT_TRUE(WaitUntil([this, row] { return Space().CurrentRow == row; })) << row;
    }
    Settle();
    ExpectShown(65000);
    // And from the list.
    S(0).list.SetFocus();
    Press(VK_F3);
    ASSERT_TRUE(WaitUntil([this] { return Space().CurrentRow == 10; }));
    EXPECT_EQ(GetFocus(), S(0).list.hwnd);

    // A text no value holds: the bar says so and the row stays; the next
    // key typed takes the words away.
    S(0).searchBox.SetFocus();
    Type("altar");
    const auto start = std::chrono::steady_clock::now();
    Press(VK_RETURN);
    ASSERT_TRUE(WaitUntil([this] { return S(0).searchLabel.Text() == u"Not found"; }));
    std::printf(
        "a search through 65535 values that finds nothing: %lld ms (with the key's way through the queue)\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count()));
    EXPECT_EQ(Space().CurrentRow, 10);
    Press(VK_BACK);
    ASSERT_TRUE(WaitUntil([this] { return S(0).searchLabel.Text() == u"Find Value:"; }));

    // Ctrl+F in the list closes the bar opened for values and opens it
    // again for values, the way it was used last.
    S(0).list.SetFocus();
    Press('F', {VK_CONTROL});
    ASSERT_TRUE(WaitUntil([this] { return !S(0).searchBar.IsVisible(); }));
    Press('F', {VK_CONTROL});
    ASSERT_TRUE(WaitUntil([this] { return S(0).searchBar.IsVisible(); }));
    EXPECT_EQ(S(0).searchLabel.Text(), u"Find Value:");
    EXPECT_EQ(GetFocus(), GetWindow(S(0).searchBox.hwnd, GW_CHILD));  // the box's text field
}

TEST_F(RealInputTest, ANewEntryAsksOnceAndACommandGoesOnAfterTheQuestion) {
    tk::MessageBoxOverride = nullptr;  // real questions, answered by the keyboard
    StartShown({TextTable("one.txt", Rows(20, "a")), TextTable("two.txt", Rows(20, "b"))});
    ClickRow(0, 3);
    Press(VK_INSERT);
    Settle();
    ASSERT_EQ(T(0).Count(), 21u);
    ClickAt(S(0).keyEditor.hwnd, {30, 8});
    Settle();
    Type("new");
    ClickAt(S(0).valueEditor.hwnd, {10, 10});
    Settle();
    Type("text");
    {
        AnswerEveryBox answers;
        ClickRow(0, 6);
        ASSERT_TRUE(WaitUntil([this] { return Space().CurrentRow == 6; }));
        Settle(300);
        EXPECT_EQ(answers.Answered(), 1);  // key and value in one question
    }
    EXPECT_EQ(T(0).Keys->Get(3), u"new");
    EXPECT_EQ(T(0).Values->Get(3), u"text");

    // A value typed and not applied, then Open: the question first, and
    // after "Yes" the open dialog all the same (after the question about
    // the table's unsaved changes, answered "No").
    ClickAt(S(0).valueEditor.hwnd, {10, 10});
    Settle();
    Press(VK_END, {VK_CONTROL});
    Type("x");
    {
        AnswerEveryBox answers({IDYES, IDNO});
        const RECT open = S(0).toolbar.ButtonRect(ButtonOpen);
        ClickAt(S(0).toolbar.hwnd, {(open.left + open.right) / 2, (open.top + open.bottom) / 2});
        SetCursorPos(0, 0);
        ASSERT_TRUE(WaitUntil([&answers] { return answers.Opened(); })) << answers.Answered() << " questions";
        Settle();
        EXPECT_EQ(answers.Answered(), 2);
    }
    EXPECT_EQ(T(0).Values->Get(6), u"a 5x");
}

#ifdef VM_SOURCE_DIR
namespace {

// The last column of a part of the screen with dark pixels; -1 for none.
int LastInk(RECT r) {
    HDC screen = GetDC(nullptr);
    int last = -1;
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y) {
            const COLORREF c = GetPixel(screen, x, y);
            if (GetRValue(c) < 128 && GetGValue(c) < 128 && GetBValue(c) < 128) {
                last = x;
                break;
            }
        }
    ReleaseDC(nullptr, screen);
    return last;
}

}  // namespace

TEST_F(RealInputTest, LanguageFilesBesideTheProgramAreInTheMenuAndItsHeadsAreDrawnWhole) {
    for (const char* name : {"Deutsch", "Russian"}) {
        std::ifstream in(std::string(VM_SOURCE_DIR) + "/languages/" + name + ".lng", std::ios::binary);
        ASSERT_TRUE(in) << name;
        dir.Write(std::string(name) + ".lng", std::string(std::istreambuf_iterator<char>(in), {}));
    }
    StartShown({});  // no settings file: nothing names the languages
    const HWND form = W().form.hwnd;
    const HMENU bar = GetMenu(form);
    const int languageHead = GetMenuItemCount(bar) - 1;
    const auto clickScreen = [form](RECT r) {
        POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ScreenToClient(form, &at);
        ClickAt(form, at);
    };
    const HMENU languages = GetSubMenu(bar, languageHead);
    ASSERT_EQ(GetMenuItemCount(languages), 3);  // English, Deutsch, Russian
    // The Language menu opened with the mouse and its third item chosen,
    // from a second thread while the menu holds the window's.
    std::thread chooser([form, languages, &clickScreen] {
        for (int i = 0; i < 500; ++i) {
            HWND menu = FindWindow(TEXT("#32768"), nullptr);
            RECT item{};
            if (menu && IsWindowVisible(menu) && GetMenuItemRect(form, languages, 2, &item)) {
                // The last item, by its height, at the bottom of the menu's
                // window (wine places the item's rectangle elsewhere).
                Sleep(100);
                RECT shown{};
                GetWindowRect(menu, &shown);
                const LONG height = item.bottom - item.top;
                clickScreen({shown.left + 4, shown.bottom - 3 - height, shown.right - 4, shown.bottom - 3});
                return;
            }
            Sleep(10);
        }
    });
    RECT head{};
    ASSERT_TRUE(GetMenuItemRect(form, bar, static_cast<UINT>(languageHead), &head));
    clickScreen(head);
    const bool chosen = WaitUntil([] { return Language == 2; });
    chooser.join();
    SetCursorPos(0, 0);
    ASSERT_TRUE(chosen);
    Settle(300);
    // Файл; the single-byte program shows what its code page makes of it.
    std::u16string file = u"\u0424\u0430\u0439\u043B";
    if (SingleByteProgram) {
        std::string bytes;
        bool replaced = false;
        platform::WideToAnsi(file.data(), file.size(), static_cast<std::size_t>(-1), bytes, replaced);
        platform::AnsiToWide(bytes.data(), bytes.size(), file);
    }
    EXPECT_EQ(W().menu.Caption(MenuFile), file);

    // Every head of the bar drawn whole. Wine draws a head's text in the
    // head less 6 columns each side and cuts what goes past: the text's last
    // letter must end before that edge, not at it. (A language builds the
    // bar anew.)
    const HMENU russianBar = GetMenu(form);
    ASSERT_EQ(GetMenuItemCount(russianBar), languageHead + 1);
    for (int i = 0; i <= languageHead; ++i) {
        RECT shown{};
        GetMenuItemRect(form, russianBar, static_cast<UINT>(i), &shown);
        EXPECT_LT(LastInk(shown), shown.right - 7) << "head " << i << " of " << shown.left << ".." << shown.right;
    }

    // A settings file that names languages still decides.
    SendMessage(form, WM_CLOSE, 0, 0);
    Settle();
    StopVellumark();
    Pump();
    ResetSettings();
    dir.Write("Vellumark.ini", "[GENERAL]\r\nLanguages=Deutsch\r\n");
    StartShown({});
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(GetMenu(W().form.hwnd), languageHead)), 2);
}
#endif

namespace {

// Drives the next dialog (by default a file dialog: one with a file type
// box) from a thread of its own while the dialog holds the window's
// thread: once it is shown and has the keyboard, act runs with it (and
// may press keys into it).
class DriveFileDialog {
public:
    explicit DriveFileDialog(std::function<void(HWND)> act, int control = cmb1)
        : act_(std::move(act)), thread_([this, control] {
              for (int i = 0; i < 1500 && !stop_; ++i) {
                  HWND dialog = GetForegroundWindow();
                  wchar_t name[16] = {};
                  GetClassNameW(dialog, name, 15);
                  if (dialog && std::wstring(name) == L"#32770" && IsWindowVisible(dialog) &&
                      FindControl(dialog, control)) {
                      Sleep(200);
                      act_(dialog);
                      done_ = true;
                      return;
                  }
                  Sleep(10);
              }
          }) {}
    ~DriveFileDialog() {
        stop_ = true;
        thread_.join();
    }
    bool Done() const { return done_; }

    // A control of the dialog or of its option panel, by id.
    static HWND FindControl(HWND dialog, int id) {
        std::pair<int, HWND> found{id, nullptr};
        EnumChildWindows(
            dialog,
            [](HWND w, LPARAM p) {
                auto& f = *reinterpret_cast<std::pair<int, HWND>*>(p);
                if (GetDlgCtrlID(w) != f.first || !IsWindowVisible(w)) return TRUE;
                f.second = w;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found.second;
    }
    static std::wstring SelectedText(HWND combo) {
        const LRESULT item = SendMessageW(combo, CB_GETCURSEL, 0, 0);
        wchar_t text[256] = {};
        if (item >= 0) SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(text));
        return text;
    }

private:
    std::function<void(HWND)> act_;
    std::atomic<bool> stop_{false}, done_{false};
    std::thread thread_;
};

std::wstring TitleOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 511);
    return text;
}

}  // namespace

// Ctrl+S saves the side in focus back to its file with no dialog, with its
// own header; the title and the label above the list name each side's file
// and mark unsaved changes; Ctrl+O opens into the side in focus through a
// dialog that starts with all supported files.
TEST_F(RealInputTest, CtrlSSavesTheSideInFocusToItsFileAndCtrlOOpensIntoIt) {
    Entries entries = {{u"a", u"one"}, {u"b", u"two"}, {u"c", u"three"}};
    const TblOptions header{.offset8 = 7, .addToHashSize = 3};
    const Bytes image = TblImage(entries, header);
    dir.Write("t.tbl", std::string(image.begin(), image.end()));
    const std::string json = "[\r\n  {\"id\": 1, \"Key\": \"a\", \"enUS\": \"eins\", \"deDE\": \"zwei\"}\r\n]\r\n";
    dir.Write("s.json", json);
    StartShown({dir.Path(u"t.tbl")});
    Space().options.notAskChange = true;
    const std::wstring caption(WindowCaption, WindowCaption + std::char_traits<char16_t>::length(WindowCaption));
    EXPECT_EQ(TitleOf(W().form.hwnd), caption + L" - t.tbl");
    EXPECT_EQ(S(0).source.Text(), u" t.tbl");
    EXPECT_TRUE(S(0).source.IsVisible());

    // An edit in the value box, saved with Ctrl+S from the box.
    ClickRow(0, 1);
    ClickAt(S(0).valueEditor.hwnd, {10, 10});
    SetCursorPos(0, 0);
    Settle();
    Press(VK_END, {VK_CONTROL});
    Type("X");
    Settle();
    Press('S', {VK_CONTROL});
    Settle();
    entries[1].second = u"twoX";
    const Bytes edited = TblImage(entries, header);
    EXPECT_EQ(dir.Read("t.tbl"), std::string(edited.begin(), edited.end()));
    EXPECT_EQ(TitleOf(W().form.hwnd), caption + L" - t.tbl") << "no unsaved-changes mark";
    ClickRow(0, 0);
    Press(VK_DELETE);  // clears the first row: an unsaved change
    Settle();
    EXPECT_EQ(TitleOf(W().form.hwnd), caption + L" - t.tbl*");
    Press('Z', {VK_CONTROL});
    Settle();
    Press('S', {VK_CONTROL});  // unchanged: the same bytes
    Settle();
    EXPECT_EQ(dir.Read("t.tbl"), std::string(edited.begin(), edited.end()));

    // Ctrl+O from list 2: the dialog opens with all supported files, and a
    // string file typed into it opens in Table 2.
    ClickRow(1, 0);
    std::wstring filter;
    const std::string path = platform::ToUtf8(dir.Path(u"s.json"));
    DriveFileDialog drive([&filter, &path](HWND dialog) {
        filter = DriveFileDialog::SelectedText(DriveFileDialog::FindControl(dialog, cmb1));
        Type(path);
        Press(VK_RETURN);
    });
    Press('O', {VK_CONTROL});
    ASSERT_TRUE(WaitUntil([&drive] { return drive.Done(); }, 20000));
    Settle();
    EXPECT_EQ(filter, L"All supported files");
    ASSERT_EQ(T(1).Count(), 1u);
    EXPECT_EQ(T(1).Values->Get(0), u"eins");
    EXPECT_EQ(S(1).source.Text(), u" s.json [enUS]");
    EXPECT_EQ(TitleOf(W().form.hwnd), caption + L" - t.tbl | s.json");
    EXPECT_EQ(T(0).Count(), 3u);
}

// A string file named with a column on the command line opens in that
// column, a drive letter being no column; the language chosen in the open
// dialog is kept in the settings for the next run, even when the dialog is
// cancelled.
TEST_F(RealInputTest, TheCommandLineNamesAColumnAndTheOpenDialogKeepsItsLanguage) {
    const std::string json =
        "[\r\n  {\"id\": 1, \"Key\": \"a\", \"enUS\": \"one\", \"deDE\": \"eins\", \"ruRU\": \"odin\"}\r\n]\r\n";
    dir.Write("s.json", json);
    StartShown({dir.Path(u"s.json") + u":deDE", dir.Path(u"s.json")});
    ASSERT_EQ(T(0).Count(), 1u);
    EXPECT_EQ(T(0).Values->Get(0), u"eins");
    EXPECT_EQ(S(0).source.Text(), u" s.json [deDE]");
    ASSERT_EQ(T(1).Count(), 1u);
    EXPECT_EQ(T(1).Values->Get(0), u"one");  // no column: the settings' language

    ClickRow(1, 0);
    DriveFileDialog drive([](HWND dialog) {
        HWND language = DriveFileDialog::FindControl(dialog, IdOpenLanguage);
        SendMessageW(language, CB_SETCURSEL, 11, 0);  // ruRU
        Press(VK_ESCAPE);
    });
    Press('O', {VK_CONTROL});
    ASSERT_TRUE(WaitUntil([&drive] { return drive.Done(); }, 20000));
    Settle();
    EXPECT_NE(dir.Read("Vellumark.ini").find("LanguageJSON=ruRU"), std::string::npos);
    EXPECT_EQ(T(1).Values->Get(0), u"one");  // cancelled: nothing opened
}

// Ctrl+L shows every language of the current object, one line each; what
// is typed into the lines of the columns the sides show goes into both
// tables, a language no side shows is kept until Ctrl+S writes it, and one
// Ctrl+Z takes the step back.
TEST_F(RealInputTest, CtrlLShowsEveryLanguageOfTheObjectAndEditsThemInOneStep) {
    const std::string json =
        "[\r\n  {\"id\": 1, \"Key\": \"a\", \"enUS\": \"one\", \"deDE\": \"eins\", \"jaJP\": "
        "\"\xE4\xB8\x80\"}\r\n]\r\n";
    dir.Write("s.json", json);
    StartShown({dir.Path(u"s.json") + u":enUS", dir.Path(u"s.json") + u":deDE"});
    Space().options.notAskChange = true;
    ClickRow(0, 0);
    std::vector<std::wstring> lines;
    std::vector<bool> readOnly;
    DriveFileDialog drive(
        [&lines, &readOnly](HWND dialog) {
            for (int i = 0; i < JsonLanguageCount; ++i) {
                HWND box = DriveFileDialog::FindControl(dialog, IDC_LANGUAGE_TEXT_FIRST + i);
                wchar_t text[128] = {};
                GetWindowTextW(box, text, 127);
                lines.push_back(text);
                readOnly.push_back((GetWindowLongW(box, GWL_STYLE) & ES_READONLY) != 0);
            }
            Press(VK_END);  // the first line, enUS, has the keyboard
            Type("X");
            Press(VK_TAB);
            Press(VK_TAB);  // deDE
            Press(VK_END);
            Type("Y");
            Press(VK_TAB);
            Press(VK_TAB);  // frFR, which no side shows
            Type("Z");
            Press(VK_RETURN);
        },
        IDC_LANGUAGE_TEXT_FIRST);
    Press('L', {VK_CONTROL});
    ASSERT_TRUE(WaitUntil([&drive] { return drive.Done(); }, 20000));
    Settle();
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], L"one");
    EXPECT_EQ(lines[2], L"eins");
    if (!SingleByteProgram) {
        EXPECT_EQ(lines[9], L"\u4E00");  // jaJP
    }
    EXPECT_EQ(lines[4], L"");  // frFR: none
    EXPECT_FALSE(readOnly[0]);
    EXPECT_FALSE(readOnly[2]);
    EXPECT_FALSE(readOnly[9]);  // no side shows it: kept by the side
    EXPECT_EQ(T(0).Values->Get(0), u"oneX");
    EXPECT_EQ(T(1).Values->Get(0), u"einsY");
    EXPECT_EQ(S(1).valueEditor.Text(), u"einsY");
    EXPECT_EQ(T(0).OtherLanguages.at({1, 4}), u"Z");
    ClickRow(0, 0);
    Press('Z', {VK_CONTROL});
    Settle();
    EXPECT_EQ(T(0).Values->Get(0), u"one");
    EXPECT_EQ(T(1).Values->Get(0), u"eins");
    EXPECT_EQ(T(0).OtherLanguages.at({1, 4}), u"");
    Press('Y', {VK_CONTROL});
    Press('S', {VK_CONTROL});
    Settle();
    EXPECT_EQ(dir.Read("s.json"),
              "[\r\n  {\"id\": 1, \"Key\": \"a\", \"enUS\": \"oneX\", \"deDE\": \"eins\", \"jaJP\": "
              "\"\xE4\xB8\x80\", \"frFR\": \"Z\"}\r\n]\r\n");
}

// Every file opened or saved goes first in File > Recent Files, kept in the
// settings; choosing one from the menu opens it into the side in focus,
// a string file in its column, and one that is gone is said so and taken
// off the list.
TEST_F(RealInputTest, RecentFilesOpenIntoTheSideInFocusAndAMissingOneIsSaidSo) {
    dir.Write("s.json", "[\r\n  {\"id\": 1, \"Key\": \"a\", \"enUS\": \"one\", \"deDE\": \"eins\"}\r\n]\r\n");
    StartShown({TextTable("gone.txt", Three), dir.Path(u"s.json") + u":deDE"});
    EXPECT_EQ(Space().RecentFiles,
              (std::vector<std::u16string>{dir.Path(u"s.json") + u":deDE", dir.Path(u"gone.txt")}));
    const std::string ini = dir.Read("Vellumark.ini");
    EXPECT_NE(ini.find("RecentFile1=" + platform::ToUtf8(dir.Path(u"s.json")) + ":deDE"), std::string::npos);

    // File > Recent Files > the first, from the keyboard, with list 1 in focus.
    const auto chooseRecent = [this](int downs) {
        Press(VK_F10);
        Press(VK_DOWN);  // the File menu opens on its first command
        for (int i = 0; i < 6; ++i) Press(VK_DOWN);
        Press(VK_RIGHT);
        for (int i = 0; i < downs; ++i) Press(VK_DOWN);
        Press(VK_RETURN);
        Settle();
    };
    ClickRow(0, 0);
    chooseRecent(0);
    ASSERT_EQ(T(0).Count(), 1u);
    EXPECT_EQ(T(0).Values->Get(0), u"eins");
    EXPECT_EQ(S(0).source.Text(), u" s.json [deDE]");

    // The second is gone by now.
    DeleteFileW(reinterpret_cast<const wchar_t*>(dir.Path(u"gone.txt").c_str()));
    ClickRow(1, 0);
    Boxes.clear();
    chooseRecent(1);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].text, sRecentFileMissing + u"\n" + dir.Path(u"gone.txt"));
    EXPECT_EQ(Space().RecentFiles, std::vector<std::u16string>{dir.Path(u"s.json") + u":deDE"});
    EXPECT_EQ(dir.Read("Vellumark.ini").find("gone.txt"), std::string::npos);
    EXPECT_EQ(T(1).Values->Get(0), u"eins");  // Table 2 keeps its table
}

namespace {

RECT ScreenRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

// A part of a window's client area as the screen shows it, column by column.
std::vector<std::vector<COLORREF>> ScreenColumns(HWND window, RECT part) {
    MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&part), 2);
    HDC screen = GetDC(nullptr);
    std::vector<std::vector<COLORREF>> columns;
    for (int x = part.left; x < part.right; ++x) {
        columns.emplace_back();
        for (int y = part.top; y < part.bottom; ++y) columns.back().push_back(GetPixel(screen, x, y));
    }
    ReleaseDC(nullptr, screen);
    return columns;
}

RECT RowRect(HWND list, int row) {
    RECT r{};
    ListView_GetItemRect(list, row, &r, LVIR_BOUNDS);
    return r;
}

// The height from the top of a side's key box to the bottom of its value box.
int EditorsHeight(const SideControls& c) {
    return ScreenRect(c.valueEditor.hwnd).bottom - ScreenRect(c.keyEditor.hwnd).top;
}

}  // namespace

TEST_F(RealInputTest, ListsTakeTheHeightTheSplitStaysAndNothingIsLeftUnderTheHeaders) {
    const auto rows = Rows(300, "value");
    StartShown({TextTable("one.txt", rows), TextTable("two.txt", rows)});
    SetCursorPos(0, 0);
    // Larger, as large as a maximised window (no window manager here to
    // maximise it), and smaller: the boxes keep their height, the lists
    // take the rest, and the strip between a list's header and its first
    // row holds nothing of earlier paintings.
    int editors = 0;
    for (const SIZE size : {SIZE{900, 800}, SIZE{1280, 1000}, SIZE{900, 800}}) {
        SCOPED_TRACE(size.cx);
        SetWindowPos(W().form.hwnd, nullptr, 20, 20, size.cx, size.cy, SWP_NOZORDER);
        Settle(400);
        if (!editors) editors = EditorsHeight(S(0));
        EXPECT_GT(S(0).list.Height(), size.cy * 2 / 3);
        for (int side = 0; side < 2; ++side) {
            EXPECT_EQ(EditorsHeight(S(side)), editors);
            const HWND list = S(side).list.hwnd;
            RECT strip{};
            GetClientRect(list, &strip);
            strip.top = ScreenRect(ListView_GetHeader(list)).bottom - ScreenRect(ListView_GetHeader(list)).top;
            strip.bottom = RowRect(list, 0).top;
            for (const auto& column : ScreenColumns(list, strip))
                ASSERT_EQ(std::count(column.begin(), column.end(), ListView_GetBkColor(list)),
                          static_cast<std::ptrdiff_t>(column.size()));
        }
    }

    // The split dragged 80 pixels up: both sides follow, and neither an
    // option changed nor a save moves it.
    const RECT bar = ScreenRect(S(0).splitter.hwnd);
    const POINT grab{(bar.left + bar.right) / 2, (bar.top + bar.bottom) / 2};
    INPUT in{};
    in.type = INPUT_MOUSE;
    for (const DWORD step : {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_MOVE, MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTUP}) {
        SetCursorPos(grab.x, step == MOUSEEVENTF_LEFTDOWN ? grab.y : grab.y - 80);
        in.mi.dwFlags = step;
        SendInput(1, &in, sizeof(INPUT));
        Settle(50);
    }
    SetCursorPos(0, 0);
    const int dragged = EditorsHeight(S(0));
    EXPECT_NEAR(dragged, editors + 80, 2);
    EXPECT_EQ(EditorsHeight(S(1)), dragged);
    const int listHeight = S(0).list.Height();
    MainMenuCommand(MenuAskChange);  // an option: a settings pass
    MainMenuCommand(MenuAskChange);
    ASSERT_TRUE(SaveTable(T(0), FormatTabbedText, Space().options.formats));
    Settle();
    EXPECT_EQ(S(0).list.Height(), listHeight);
    EXPECT_EQ(S(1).list.Height(), listHeight);

    // Remembered: the window opens with the same split.
    SendMessage(W().form.hwnd, WM_CLOSE, 0, 0);
    Settle();
    StopVellumark();
    Pump();
    ResetSettings();
    StartShown({TextTable("one.txt", rows)});
    EXPECT_EQ(EditorsHeight(S(0)), dragged);
    EXPECT_EQ(S(0).list.Height(), listHeight);
}

TEST_F(RealInputTest, RowsOfBothListsStayOnOneLineAndOneTableViewsShowNoOtherLabel) {
    ASSERT_TRUE(dir.Write("strings/a.json", GameStringFile({{1, "k1", "One", "Eins"}, {2, "k2", "Two", "Zwei"}})));
    StartShown({TextTable("one.txt", Rows(300, "a")), dir.Path(u"strings/a.json")});
    SetCursorPos(0, 0);
    ASSERT_TRUE(S(1).source.IsVisible());  // a string file names itself above its list
    auto expectRowsInLine = [this] {
        EXPECT_EQ(ScreenRect(S(0).list.hwnd).top, ScreenRect(S(1).list.hwnd).top);
        EXPECT_EQ(S(0).list.Height(), S(1).list.Height());
    };
    expectRowsInLine();
    for (int open : {1, 0}) {  // a search bar on the left, and closed again from the list
        ClickRow(0, 1);
        Press('G', {VK_CONTROL});
        Settle();
        ASSERT_EQ(S(0).searchBar.IsVisible(), open == 1);
        expectRowsInLine();
    }

    // Only Table 1: Table 1's editors on the right, under that side's
    // toolbar, not under Table 2's file name.
    MainMenuCommand(MenuOnlyTable1);
    Settle();
    EXPECT_FALSE(S(1).source.IsVisible());
    EXPECT_EQ(ScreenRect(S(1).keyEditor.hwnd).top, ScreenRect(S(1).toolbar.hwnd).bottom);
    // Table 1's list right under its own file's name.
    ASSERT_TRUE(S(0).source.IsVisible());
    EXPECT_EQ(ScreenRect(S(0).list.hwnd).top, ScreenRect(S(0).source.hwnd).bottom);
    MainMenuCommand(MenuTwoTables);
    Settle();
    EXPECT_TRUE(S(1).source.IsVisible());
    expectRowsInLine();
}

TEST_F(RealInputTest, TheValueBoxHasAMarginSavedRowsLoseTheirGreenAndTheMarkShows) {
    StartShown({TextTable("one.txt", {{"a", "\\red;x"}, {"b", "two"}, {"c", "three"}, {"d", "four"}})});
    SetCursorPos(0, 0);
    Space().options.notAskChange = true;
    ClickRow(0, 0);
    // The backslash begins a few pixels inside the box, not on its edge.
    const auto columns = ScreenColumns(S(0).valueEditor.hwnd, S(0).valueEditor.ClientRect());
    for (int x : {0, 1})
        EXPECT_EQ(std::count(columns[x].begin(), columns[x].end(), GetSysColor(COLOR_WINDOW)),
                  static_cast<std::ptrdiff_t>(columns[x].size()));

    // A row edited and left is green; saved, it is not, without anything
    // else repainting it.
    ClickRow(0, 2);
    ClickAt(S(0).keyEditor.hwnd, {30, 8});
    Type("x");
    ClickRow(0, 3);
    ASSERT_EQ(T(0).Keys->Flag(2), FlagChanged);
    auto rowShows = [this](int row, COLORREF colour) {
        for (const auto& column : ScreenColumns(S(0).list.hwnd, RowRect(S(0).list.hwnd, row)))
            if (std::find(column.begin(), column.end(), colour) != column.end()) return true;
        return false;
    };
    EXPECT_TRUE(rowShows(2, RGB(0, 128, 0)));
    ASSERT_TRUE(SaveTable(T(0), FormatTabbedText, Space().options.formats));
    Settle();
    EXPECT_FALSE(rowShows(2, RGB(0, 128, 0)));

    // The mark on the selected row shows, and goes again.
    ClickRow(0, 1);
    const auto plain = ScreenColumns(S(0).list.hwnd, RowRect(S(0).list.hwnd, 1));
    for (const std::int32_t flag : {FlagMarkBit, FlagPlain}) {
        ClickRow(0, 1, true, 2);
        SetCursorPos(0, 0);
        Settle();
        ASSERT_EQ(T(0).Keys->Flag(1), flag);
        EXPECT_EQ(ScreenColumns(S(0).list.hwnd, RowRect(S(0).list.hwnd, 1)) == plain, flag == FlagPlain);
    }
}

TEST_F(RealInputTest, TheValueBoxWrapsAndTheStatusBarFollowsRowsAndEdits) {
    std::string line;
    while (line.size() < 244) line += "word" + std::to_string(line.size()) + " ";
    line.resize(244);
    StartShown({TextTable("one.txt", {{"long", line}, {"two", "first\\nsecond"}, {"c", "three"}}),
                TextTable("two.txt", Rows(5, "b"))});
    SetCursorPos(0, 0);
    Space().options.notAskChange = true;
    const HWND bar = FindWindowExW(W().form.hwnd, nullptr, STATUSCLASSNAMEW, nullptr);
    ASSERT_TRUE(bar);
    auto status = [bar](int part) {
        wchar_t text[128] = {};
        SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
        return std::u16string(reinterpret_cast<const char16_t*>(text));
    };
    EXPECT_EQ(status(0), u"Table 1: row 1 of 3");  // opened at the first row
    EXPECT_EQ(status(1), u"Table 2: row 1 of 5");

    // The long line wraps; typed at, it is stored with no line break added.
    ClickRow(0, 0);
    tk::Edit& value = S(0).valueEditor;
    EXPECT_GE(SendMessage(value.hwnd, EM_GETLINECOUNT, 0, 0), 3);
    ClickAt(value.hwnd, {20, 8});
    Press(VK_END, {VK_CONTROL});
    Type("end");
    ClickRow(0, 1);
    EXPECT_EQ(T(0).Values->Get(0), platform::FromUtf8(line + "end"));
    EXPECT_EQ(status(0), u"Table 1: row 2 of 3");
    // A value's own line break is one line break in the box, and stays one.
    EXPECT_EQ(value.Text(), u"first\r\nsecond");
    ClickAt(value.hwnd, {20, 8});
    Press(VK_END, {VK_CONTROL});
    Type("x");
    ClickRow(0, 2);
    EXPECT_EQ(T(0).Values->Get(1), u"first\\nsecondx");

    Press(VK_INSERT);  // an empty entry in Table 1 at the row
    Settle();
    EXPECT_EQ(status(0), u"Table 1: row 3 of 4");
    EXPECT_EQ(status(1), u"Table 2: row 3 of 5");
    Press(VK_END);  // the row past both tables
    Settle();
    EXPECT_EQ(status(0), u"Table 1: 4 rows");
    MainMenuCommand(MenuOnlyTable2);
    Settle();
    EXPECT_EQ(status(0), u"");
    EXPECT_EQ(status(1), u"Table 2: 5 rows");
}
