// How fast the editor answers a user, measured from outside the program:
// it starts Vellumark.exe on two tables of its own (English on the left,
// Chinese on the right, a long value every 50 rows), sends it real keyboard
// input and waits after each key until the window has settled: the lists
// show the new row, the editors hold its entry, the other list has scrolled
// along, and no window of the program has anything left to paint.
//
// It reports the time from the start of the process to the first painted
// window, and milliseconds per row step (Down, Up, Page Down), per Home and
// End, and per go-to (Enter in the search bar), each as the median over
// the repetitions, together with the program's own processor time per key.
//
//   vellumark_window_bench [--program PATH] [--rows N] [--steps N] [--starts N]
//
// Without --program it takes Vellumark.exe from its own folder or one
// above it. The program
// is copied into a fresh temporary folder, so its settings are the built-in
// ones. Under wine the display must be set (a virtual one will do).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <commctrl.h>

#include "bench/window/Clock.h"
#include "tests/gui/KeyInput.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Options {
    std::wstring program;
    int rows = 5400;
    int steps = 100;
    int starts = 5;
};

// ---- The tables ----------------------------------------------------------------

std::wstring Key(int row) {
    wchar_t text[32];
    swprintf(text, 32, L"bench_%05d", row);
    return text;
}

std::string Utf8(const std::wstring& text) {
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

bool WriteTable(const std::wstring& path, int rows, bool chinese) {
    std::string text = "\xEF\xBB\xBFKey\tValue\r\n";
    for (int i = 0; i < rows; ++i) {
        std::wstring value = chinese ? L"中文字符串 第" + std::to_wstring(i) + L"号 物品名称 亚马逊 帕拉丁"
                                     : L"English value number " + std::to_wstring(i) + L" of the bench table";
        if (i % 50 == 0)
            for (int k = 0; k < 40; ++k) value += chinese ? L" 很长的文本" : L" a long value";
        text += Utf8(Key(i)) + "\t\"" + Utf8(value) + "\"\r\n";
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(file);
    return ok;
}

std::string ReadSmallFile(const std::wstring& path) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text(4096, '\0');
    DWORD got = 0;
    if (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr)) got = 0;
    CloseHandle(file);
    text.resize(got);
    return text;
}

// ---- The program's windows ----------------------------------------------------

std::wstring ClassOf(HWND h) {
    wchar_t name[64] = {};
    GetClassNameW(h, name, 63);
    return name;
}

std::wstring TextOf(HWND h) {
    wchar_t text[256] = {};
    SendMessageTimeoutW(h, WM_GETTEXT, 255, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, nullptr);
    return text;
}

int LeftOf(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return r.left;
}

struct Program {
    PROCESS_INFORMATION process{};
    HWND main = nullptr;
    HWND list[2] = {};
    HWND keyEditor[2] = {};
    HWND searchEdit[2] = {};  // the edit field of each side's search box
    int tableRows = 0;
    std::wstring procStat;  // under wine: the process's /proc/<pid>/stat

    ~Program() { Close(); }

    bool Start(const std::wstring& exe, const std::wstring& folder, const std::wstring& table1,
               const std::wstring& table2) {
        std::wstring command = L"\"" + exe + L"\" \"" + table1 + L"\" \"" + table2 + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        return CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                              &startup, &process) != FALSE;
    }

    void Close() {
        if (!process.hProcess) return;
        if (main) PostMessageW(main, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        process = {};
        main = nullptr;
    }

    // The main window once it is visible, and its controls by kind and side.
    bool FindWindows() {
        main = nullptr;
        EnumWindows(
            [](HWND h, LPARAM self) {
                auto* p = reinterpret_cast<Program*>(self);
                DWORD pid = 0;
                GetWindowThreadProcessId(h, &pid);
                wchar_t title[64] = {};
                GetWindowTextW(h, title, 63);
                if (pid == p->process.dwProcessId && IsWindowVisible(h) && wcsncmp(title, L"Vellumark v", 11) == 0) {
                    p->main = h;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(this));
        if (!main) return false;
        std::vector<HWND> lists, keys, searches;
        struct Found {
            std::vector<HWND>*lists, *keys, *searches;
        } found{&lists, &keys, &searches};
        EnumChildWindows(
            main,
            [](HWND h, LPARAM data) {
                auto* f = reinterpret_cast<Found*>(data);
                const std::wstring cls = ClassOf(h);
                if (cls == WC_LISTVIEWW) f->lists->push_back(h);
                if (cls == L"Edit") {
                    if (ClassOf(GetParent(h)) == L"ComboBox") f->searches->push_back(h);
                    else if (!(GetWindowLongPtrW(h, GWL_STYLE) & ES_MULTILINE)) f->keys->push_back(h);
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        if (lists.size() != 2 || keys.size() != 2 || searches.size() != 2) return false;
        for (auto* group : {&lists, &keys, &searches})
            std::sort(group->begin(), group->end(), [](HWND a, HWND b) { return LeftOf(a) < LeftOf(b); });
        for (int i = 0; i < 2; ++i) {
            list[i] = lists[static_cast<std::size_t>(i)];
            keyEditor[i] = keys[static_cast<std::size_t>(i)];
            searchEdit[i] = searches[static_cast<std::size_t>(i)];
        }
        return true;
    }

    int Rows(int side) const {
        DWORD_PTR n = 0;
        SendMessageTimeoutW(list[side], LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 5000, &n);
        return static_cast<int>(n);
    }
    int Focused(int side) const {
        DWORD_PTR row = 0;
        SendMessageTimeoutW(list[side], LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED, SMTO_NORMAL, 5000,
                            &row);
        return static_cast<int>(static_cast<LONG_PTR>(static_cast<int>(row)));
    }
    int Top(int side) const {
        DWORD_PTR row = 0;
        SendMessageTimeoutW(list[side], LVM_GETTOPINDEX, 0, 0, SMTO_NORMAL, 5000, &row);
        return static_cast<int>(row);
    }
    int PerPage(int side) const {
        DWORD_PTR n = 0;
        SendMessageTimeoutW(list[side], LVM_GETCOUNTPERPAGE, 0, 0, SMTO_NORMAL, 5000, &n);
        return static_cast<int>(n);
    }
    bool Shows(int side, int row) const {
        const int top = Top(side);
        return row >= top && row < top + PerPage(side);
    }

    // Nothing of the program's window is waiting to be painted.
    bool Painted() const {
        if (GetUpdateRect(main, nullptr, FALSE)) return false;
        bool clean = true;
        EnumChildWindows(
            main,
            [](HWND h, LPARAM data) {
                if (IsWindowVisible(h) && GetUpdateRect(h, nullptr, FALSE)) {
                    *reinterpret_cast<bool*>(data) = false;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&clean));
        return clean;
    }

    // What the key editors show at a row: its key, or the "no data" text
    // on the row below both tables.
    std::wstring KeyShown(int row) const { return row < tableRows ? Key(row) : L"<empty>"; }

    // Row r is current: focused in both lists, its entry in both key
    // editors, list 2 scrolled with list 1, and everything painted.
    bool SettledAt(int row) const {
        return Focused(0) == row && Focused(1) == row && TextOf(keyEditor[0]) == KeyShown(row) &&
               TextOf(keyEditor[1]) == KeyShown(row) && Top(0) == Top(1) && Painted();
    }

    HWND FocusWindow() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(process.dwThreadId, &info);
        return info.hwndFocus;
    }

    // Under wine, GetProcessTimes does not count another process's time:
    // the host's /proc does, for the process whose command line names our
    // folder.
    void FindProcStat(const std::wstring& folder) {
        procStat.clear();
        const std::wstring mark = folder.substr(folder.find_last_of(L'\\') + 1);
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            if (found.cFileName[0] < L'0' || found.cFileName[0] > L'9') continue;
            const std::wstring dir = std::wstring(L"Z:\\proc\\") + found.cFileName;
            const std::string line = ReadSmallFile(dir + L"\\cmdline");
            const std::string wanted = Utf8(mark);
            if (line.find(wanted) != std::string::npos && line.find("Vellumark.exe") != std::string::npos) {
                procStat = dir + L"\\stat";
                break;
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }

    double ProcessorMs() const {
        if (!procStat.empty()) {
            // Fields 14 and 15 after the name in parentheses: user and
            // system time in clock ticks of 10 ms.
            const std::string stat = ReadSmallFile(procStat);
            const std::size_t close = stat.rfind(')');
            if (close != std::string::npos) {
                unsigned long long utime = 0, stime = 0;
                if (std::sscanf(stat.c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu",
                                &utime, &stime) == 2)
                    return static_cast<double>(utime + stime) * 10.0;
            }
        }
        FILETIME created, ended, kernel, user;
        if (!GetProcessTimes(process.hProcess, &created, &ended, &kernel, &user)) return 0;
        auto ms = [](FILETIME t) {
            return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
                   10000.0;
        };
        return ms(kernel) + ms(user);
    }
};

// Polls until the condition holds; the milliseconds it took, or -1 after
// the time limit.
double WaitFor(const std::function<bool()>& done, double limitMs = 20000) {
    const double start = Now();
    for (;;) {
        if (done()) return Now() - start;
        if (Now() - start > limitMs) return -1;
        Sleep(1);
    }
}

// ---- Input ----------------------------------------------------------------------

using keyinput::Press;

void Type(const std::wstring& text) {
    for (wchar_t c : text) Press(static_cast<WORD>(VkKeyScanW(c) & 0xFF));
}

// A left click at a point of a window, in its client coordinates.
void Click(HWND h, int x, int y) {
    POINT p{x, y};
    ClientToScreen(h, &p);
    SetCursorPos(p.x, p.y);
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
}

// ---- Figures ----------------------------------------------------------------------

struct Series {
    explicit Series(const char* title, const char* unit = "key") : name(title), per(unit) {}
    const char* name;
    const char* per;
    std::vector<double> ms;
    double processorMs = 0;
    int timeouts = 0;
    int notShown = 0;  // go-to: the row was not in view in both lists

    void Report() const {
        if (ms.empty()) {
            std::printf("%-30s no figures (%d timed out)\n", name, timeouts);
            return;
        }
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        double sum = 0;
        for (double v : s) sum += v;
        std::printf("%-30s median %7.1f ms  mean %7.1f  p90 %7.1f  max %7.1f  (%zu %ss", name, s[s.size() / 2],
                    sum / static_cast<double>(s.size()), s[s.size() * 9 / 10], s.back(), s.size(), per);
        if (timeouts) std::printf(", %d timed out", timeouts);
        if (notShown) std::printf(", %d not in view", notShown);
        std::printf("); program processor time %.1f ms per %s\n", processorMs / static_cast<double>(s.size()), per);
    }
};

// Presses a key and waits until row `row` is current and painted.
void Step(Program& p, Series& series, WORD vk, int row, std::initializer_list<WORD> held = {}) {
    const double cpu = p.ProcessorMs();
    const double start = Now();
    Press(vk, held);
    const double waited = WaitFor([&] { return p.SettledAt(row); });
    const double end = Now();
    series.processorMs += p.ProcessorMs() - cpu;
    if (waited < 0) ++series.timeouts;
    else series.ms.push_back(end - start);
}

int Run(const Options& o) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"vellumark-window-bench-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring exe = folder + L"\\Vellumark.exe";
    const std::wstring table1 = folder + L"\\english.txt", table2 = folder + L"\\chinese.txt";
    if (!CopyFileW(o.program.c_str(), exe.c_str(), FALSE) || !WriteTable(table1, o.rows, false) ||
        !WriteTable(table2, o.rows, true)) {
        std::fprintf(stderr, "cannot prepare %ls\n", folder.c_str());
        return 1;
    }
    std::printf("%ls, %d rows per table (English | Chinese), %d steps per key\n", o.program.c_str(), o.rows, o.steps);

    // Start-up: from CreateProcess until the window is shown, both tables
    // are loaded and nothing is left to paint.
    Series startup{"start to first painted window", "start"};
    Program p;
    p.tableRows = o.rows;
    for (int i = 0; i < o.starts; ++i) {
        p.Close();
        const double start = Now();
        if (!p.Start(exe, folder, table1, table2)) {
            std::fprintf(stderr, "cannot start %ls\n", exe.c_str());
            return 1;
        }
        const double waited = WaitFor(
            [&] {
                return p.FindWindows() && p.Rows(0) == o.rows + 1 && p.Rows(1) == o.rows + 1 &&
                       TextOf(p.keyEditor[0]) == Key(0) && p.Painted();
            },
            60000);
        if (waited < 0) {
            ++startup.timeouts;
            continue;
        }
        startup.ms.push_back(Now() - start);
        p.FindProcStat(folder);
        startup.processorMs += p.ProcessorMs();
    }
    startup.Report();
    if (!p.main) return 1;

    // The keyboard goes to list 1: a click on its first row.
    SetForegroundWindow(p.main);
    RECT header{};
    GetWindowRect(FindWindowExW(p.list[0], nullptr, WC_HEADERW, nullptr), &header);
    Click(p.list[0], 60, header.bottom - header.top + 6);
    if (WaitFor([&] { return p.FocusWindow() == p.list[0] && p.SettledAt(0); }, 10000) < 0) {
        std::fprintf(stderr, "list 1 did not take the keyboard (focus %p)\n", static_cast<void*>(p.FocusWindow()));
        return 1;
    }

    Series down{"row step (Down)"}, up{"row step (Up)"}, pageDown{"page step (Page Down)"}, homeEnd{"Home / End"},
        goTo{"go to (Enter)"};
    int row = 0;
    for (int i = 0; i < o.steps; ++i) Step(p, down, VK_DOWN, ++row);
    for (int i = 0; i < o.steps; ++i) Step(p, up, VK_UP, --row);
    const int page = std::max(1, p.PerPage(0) - 1);
    for (int i = 0; i < 20 && row + page < o.rows; ++i) Step(p, pageDown, VK_NEXT, row += page);
    for (int i = 0; i < 10; ++i) {
        Step(p, homeEnd, VK_END, row = o.rows);
        Step(p, homeEnd, VK_HOME, row = 0);
    }

    // Go to: Ctrl+G opens the bar with the keyboard in its box; each number
    // replaces the text before it, and Enter goes there.
    Press('G', {VK_CONTROL});
    if (WaitFor([&] { return p.FocusWindow() == p.searchEdit[0]; }, 10000) < 0) {
        std::fprintf(stderr, "Ctrl+G did not put the keyboard into the search box\n");
    } else {
        const int targets[] = {2000, 300, o.rows, 10, o.rows / 2, 1, 3580, o.rows - 20, 150, 4000};
        for (int target : targets) {
            if (target < 1 || target > o.rows) continue;
            const std::wstring number = std::to_wstring(target);
            Press(VK_HOME);
            Press(VK_END, {VK_SHIFT});
            Type(number);
            if (WaitFor([&] { return TextOf(p.searchEdit[0]) == number; }, 10000) < 0) {
                ++goTo.timeouts;
                continue;
            }
            const int wanted = target - 1;
            const double cpu = p.ProcessorMs();
            const double start = Now();
            Press(VK_RETURN);
            const double waited = WaitFor([&] {
                return p.Focused(0) == wanted && TextOf(p.keyEditor[0]) == Key(wanted) &&
                       TextOf(p.keyEditor[1]) == Key(wanted) && p.Painted();
            });
            const double end = Now();
            goTo.processorMs += p.ProcessorMs() - cpu;
            if (waited < 0) {
                ++goTo.timeouts;
                continue;
            }
            goTo.ms.push_back(end - start);
            if (!p.Shows(0, wanted) || !p.Shows(1, wanted)) ++goTo.notShown;
        }
    }
    for (const Series* s : {&down, &up, &pageDown, &homeEnd, &goTo}) s->Report();
    p.Close();
    for (const wchar_t* name : {L"\\english.txt", L"\\chinese.txt", L"\\Vellumark.exe", L"\\Vellumark.ini"})
        DeleteFileW((folder + name).c_str());
    RemoveDirectoryW(folder.c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options o;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    // Vellumark.exe beside the benchmark, or in a folder above (the build
    // folder, when the benchmark is built in bench/window/).
    std::wstring folder = self;
    folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
    for (const wchar_t* up : {L"", L"..\\", L"..\\..\\"}) {
        o.program = folder + up + L"Vellumark.exe";
        if (GetFileAttributesW(o.program.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        if (name == L"--program") o.program = argv[i + 1];
        else if (name == L"--rows") o.rows = std::max(10, _wtoi(argv[i + 1]));
        else if (name == L"--steps") o.steps = std::max(1, _wtoi(argv[i + 1]));
        else if (name == L"--starts") o.starts = std::max(1, _wtoi(argv[i + 1]));
        else {
            std::fprintf(stderr,
                         "usage: vellumark_window_bench [--program PATH] [--rows N] [--steps N] [--starts N]\n");
            return 2;
        }
    }
    return Run(o);
}
