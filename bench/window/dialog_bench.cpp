// How long the open dialog takes to come up, and how much of that is the
// program's own: the platform's dialog alone (no panel, no hook), then the
// program's open dialog (its filters, the option panel of its resources and
// its hook, as Open shows it), each in an empty folder and in one of 2000
// files. A second thread waits until the dialog is shown and answers
// messages again, notes the time and cancels it.
//
// It prints, per case, the median over the runs of the time until the
// dialog was ready, until the call returned after the cancel, and of the
// time spent in the program's hook. Under wine on a display without a
// window manager the closing takes two seconds more in every case: wine's
// X11 driver waits that long for a window manager to confirm that the
// hidden dialog is withdrawn (its "wait_for_withdrawn_state" message).
//
//   vellumark_dialog_bench [--runs N]
//
// Under wine the display must be set (a virtual one will do).
#include <windows.h>

#include <commdlg.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/window/Clock.h"
#include "documents/FileDialogs.h"
#include "shell/FileDialog.h"
#include "toolkit/Toolkit.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Cancels the next dialog of the thread once it is shown and idle; the
// time it was ready at is kept.
class Canceller {
public:
    explicit Canceller(DWORD thread)
        : worker_([this, thread] {
              for (int i = 0; i < 20000 && !stop_; ++i) {
                  HWND found = nullptr;
                  EnumThreadWindows(
                      thread,
                      [](HWND w, LPARAM out) {
                          wchar_t name[16] = {};
                          GetClassNameW(w, name, 15);
                          if (std::wstring(name) != L"#32770" || !IsWindowVisible(w)) return TRUE;
                          *reinterpret_cast<HWND*>(out) = w;
                          return FALSE;
                      },
                      reinterpret_cast<LPARAM>(&found));
                  if (found) {
                      // Answered: the dialog has done what it does on opening.
                      DWORD_PTR result = 0;
                      SendMessageTimeoutW(found, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
                      ready_ = Now();
                      PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
                      return;
                  }
                  Sleep(1);
              }
          }) {}
    ~Canceller() {
        stop_ = true;
        worker_.join();
    }
    double Ready() const { return ready_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<double> ready_{0};
    std::thread worker_;
};

// The program's hook, timed.
class TimedHook final : public vm::DialogHook {
public:
    explicit TimedHook(vm::DialogHook& inner) : inner_(inner) {}
    void OnCreate(vm::DialogControls& c) override {
        Timed([&] { inner_.OnCreate(c); });
    }
    void OnNotify(vm::DialogControls& c, int filter) override {
        Timed([&] { inner_.OnNotify(c, filter); });
    }
    void OnCommand(vm::DialogControls& c, int id, int code) override {
        Timed([&] { inner_.OnCommand(c, id, code); });
    }
    void OnDestroy(vm::DialogControls& c) override {
        Timed([&] { inner_.OnDestroy(c); });
    }
    double spent = 0;

private:
    template <class F>
    void Timed(F f) {
        const double start = Now();
        f();
        spent += Now() - start;
    }
    vm::DialogHook& inner_;
};

struct Times {
    double ready = 0;   // until the dialog was shown and answered messages
    double closed = 0;  // until the call returned after the cancel
    double hook = 0;    // in the program's hook
};

// The platform's dialog alone.
Times PlainDialog(const std::wstring& folder) {
    wchar_t name[262] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = L"All files\0*.*\0";
    ofn.lpstrFile = name;
    ofn.nMaxFile = 262;
    ofn.lpstrInitialDir = folder.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    const double start = Now();
    Canceller cancel(GetCurrentThreadId());
    GetOpenFileNameW(&ofn);
    return {cancel.Ready() - start, Now() - start, 0};
}

// The program's open dialog.
Times ProgramDialog(const std::wstring& folder) {
    vm::EditorOptions options;
    vm::OpenDialogHook hook(options);
    TimedHook timed(hook);
    vm::FileDialogRequest request;
    request.filter = vm::OpenFilter;
    request.templateName = u"OPENTEMPLATE";
    request.initialDir = std::u16string(folder.begin(), folder.end());
    request.filterIndex = vm::OpenAllFilter;
    vm::Win32FileDialogShower shower;
    const double start = Now();
    Canceller cancel(GetCurrentThreadId());
    shower.Show(request, timed);
    return {cancel.Ready() - start, Now() - start, timed.spent};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wstring(argv[i]) == L"--runs") runs = std::max(1, _wtoi(argv[i + 1]));
    tk::InitToolkit();

    const std::filesystem::path base = std::filesystem::temp_directory_path() / "vellumark-dialog-bench";
    std::filesystem::remove_all(base);
    const std::filesystem::path empty = base / "empty", full = base / "full";
    std::filesystem::create_directories(empty);
    std::filesystem::create_directories(full);
    for (int i = 0; i < 2000; ++i) {
        const std::filesystem::path f = full / ("table" + std::to_string(i) + (i % 2 ? ".tbl" : ".txt"));
        if (FILE* out = _wfopen(f.c_str(), L"wb")) std::fclose(out);
    }

    std::printf("%-30s %10s %10s %10s\n", "open dialog", "ready ms", "closed ms", "hook ms");
    for (const auto& [label, folder] : {std::pair{"empty folder", empty}, std::pair{"2000 files", full}}) {
        for (const bool program : {false, true}) {
            std::vector<double> ready, closed, hook;
            for (int r = 0; r < runs; ++r) {
                const Times t = program ? ProgramDialog(folder.wstring()) : PlainDialog(folder.wstring());
                ready.push_back(t.ready);
                closed.push_back(t.closed);
                hook.push_back(t.hook);
            }
            std::printf("%-30s %10.1f %10.1f %10.2f\n",
                        ((program ? "program's, " : "platform alone, ") + std::string(label)).c_str(), Median(ready),
                        Median(closed), Median(hook));
        }
    }
    std::error_code ignored;  // the platform may still hold a folder open
    std::filesystem::remove_all(base, ignored);
    return 0;
}
