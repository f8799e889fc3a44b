#include "shell/Startup.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "documents/FileDialogs.h"
#include "documents/TableFiles.h"
#include "documents/Workspace.h"
#include "editing/Findings.h"
#include "editing/Search.h"
#include "editing/TableView.h"
#include "platform/Platform.h"
#include "shell/FileDialog.h"
#include "shell/Help.h"
#include "shell/InterfaceTexts.h"
#include "shell/Language.h"
#include "shell/MainWindow.h"
#include "shell/Settings.h"
#include "toolkit/MessageBox.h"

namespace vm {

namespace {

// Everything StartVellumark builds, released by StopVellumark; the window
// goes before the workspace it shows.
struct Program {
    SideView view1{0};
    SideView view2{1};
    Workspace workspace{&view1, &view2};
    MainWindow window;
    Win32FileDialogShower dialogs;
};
Program* TheProgram = nullptr;

// The window texts a language sets.
class WindowLanguage final : public LanguageHost {
public:
    std::u16string MenuCaption(int number) override { return TheMainWindow->menu.Caption(number); }
    void SetMenuCaption(int number, const std::u16string& text) override {
        TheMainWindow->menu.SetCaption(number, text);
    }
    std::u16string ToolButtonText(int button) override { return TheMainWindow->Side(0).toolbar.ButtonText(button); }
    void SetToolButtonText(int button, const std::u16string& text) override {
        for (int side = 0; side < 2; ++side) TheMainWindow->Side(side).toolbar.SetButtonText(button, text);
    }
    std::u16string ColumnText(int column) override { return TheMainWindow->Side(0).list.ColumnText(column); }
    void SetColumnText(int column, const std::u16string& text) override {
        for (int side = 0; side < 2; ++side) TheMainWindow->Side(side).list.SetColumnText(column, text);
    }
    // A bar open for a key or a value keeps saying so; only its texts change.
    void SetSearchLabels() override {
        for (TTblObjects& p : TheMainWindow->Space().sides) LabelSearchBar(p);
    }
    void SetSearchButtons() override {
#ifdef UNICODE
        const std::u16string pointer = u"\u25BA";
#else
        const std::u16string pointer = u">";
#endif
        for (int side = 0; side < 2; ++side) TheMainWindow->Side(side).searchButton.SetText(pointer);
        // The last call of a language load: the findings panel takes its texts too.
        LabelFindings();
    }
};
WindowLanguage TheWindowLanguage;

// Language files live beside the settings file.
std::u16string LanguageDirectory;

// A settings pass's effects on the window.
class WindowSettings final : public SettingsHost {
public:
    void BeginPass() override { TheMainWindow->menu.Hold(); }
    void EndPass() override { TheMainWindow->menu.Release(); }
    // The Language menu is the last: its items go at the end.
    void AddLanguageItem(int command, const std::u16string& caption) override {
        TheMainWindow->menu.Add({.id = command, .kind = tk::MenuItem::Radio, .caption = caption});
    }
    void SetMenuChecked(int command, bool checked) override { TheMainWindow->menu.SetChecked(command, checked); }
    std::u16string MenuCaption(int command) override { return TheMainWindow->menu.Caption(command); }
    std::vector<std::u16string> LanguageFiles() override { return LanguageFilesIn(LanguageDirectory); }
    void LoadLanguage(const std::u16string& name) override {
        vm::LoadLanguage(LanguageDirectory, name, TheWindowLanguage);
        ApplyQuestions(TheMainWindow->Space());
    }
    void ApplyViewLayout() override { vm::ApplyViewLayout(ViewMode); }
    bool CurrentLayout(WindowLayout& layout) override {
        if (!TheMainWindow) return false;
        TheMainWindow->GetLayout(layout);
        return true;
    }
    void OpenCommandLineFiles() override {
        for (int side = 0; side < 2; ++side) {
            TTblObjects& p = TheMainWindow->Space().sides[side];
            if (p.FileName.empty()) continue;
            // A column named after the file's name, else the settings' one.
            FormatOptions options = p.Space->options.formats;
            if (columns[side] >= 0) options.json.language = columns[side];
            OpenByExtension(p, options);
        }
        TheMainWindow->ShowRecentFiles();
    }
    int columns[2] = {-1, -1};  // the string file columns of the command line
};
WindowSettings TheWindowSettings;

bool SystemIsWindows9x() { return (GetVersion() & 0x80000000u) != 0; }

bool IsDirectory(const std::u16string& path) {
    const DWORD a = GetFileAttributes(tk::ToNative(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// The directory part: up to and including the last backslash or colon.
std::u16string DirectoryPart(const std::u16string& path) {
    const std::size_t cut = path.find_last_of(u"\\:");
    return cut == std::u16string::npos ? std::u16string() : path.substr(0, cut + 1);
}

// A side's file from the command line: only names the program can open
// become the side's file, so a later save never goes to a file that was
// not loaded.
// A string file's name may end in a column ("strings.json:deDE"), which
// is then the language the side opens in.
void TakeFileArgument(TTblObjects& p, const std::u16string& arg) {
    if (arg == u"-1") return;
    std::u16string name = arg;
    const int column = SplitLanguageColumn(name);
    if (FormatOfFileName(name) == 0) return;
    p.FileName = name;
    TheWindowSettings.columns[p.Side] = column;
}

std::u16string WithoutColumn(std::u16string name) {
    SplitLanguageColumn(name);
    return name;
}

}  // namespace

bool (*IsWindows9x)() = SystemIsWindows9x;

std::u16string InstalledFontsKey() {
#ifdef VM_ANSI_BUILD
    if (IsWindows9x()) return u"Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
#endif
    return u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
}

bool IsFontInstalled(HKEY root, const std::u16string& keyPath, const std::u16string& face) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, tk::ToNative(keyPath).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    // Value names are compared in the form the platform hands them out.
    const tk::NativeString wanted = tk::ToNative(face);
    bool found = false;
    std::vector<tk::NativeChar> name(4096);
    for (DWORD index = 0; !found; ++index) {
        DWORD length = 4095;
        const LONG status = RegEnumValue(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) break;
        found = length >= wanted.size() &&
                std::char_traits<tk::NativeChar>::compare(name.data(), wanted.data(), wanted.size()) == 0;
    }
    RegCloseKey(key);
    return found;
}

std::u16string ProgramDirectory() {
    std::vector<tk::NativeChar> path(32768);
    const DWORD n = GetModuleFileName(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return DirectoryPart(tk::FromNative(path.data(), n));
}

std::vector<std::u16string> ProgramArguments() {
#ifdef VM_ANSI_BUILD
    // The single-byte command line: a name the code page cannot hold
    // arrives with the platform's replacement characters.
    std::vector<std::u16string> args;
    for (int i = 1; i < __argc; ++i) args.push_back(tk::FromNative(__argv[i], std::strlen(__argv[i])));
    return args;
#else
    return platform::CommandLineArguments(0, nullptr);
#endif
}

bool StartVellumark(const std::vector<std::u16string>& args, const std::u16string& settingsFile, bool show) {
    tk::InitToolkit();
#ifndef VM_ANSI_BUILD
    if (IsWindows9x()) {
        tk::ShowMessageBox(nullptr, u"This program temporarily is not run in Windows 9x",
                           u"Not NT compatible version Windows", MB_OK);
        return false;
    }
#endif
    TheProgram = new Program;
    Program& program = *TheProgram;
    Workspace& ws = program.workspace;
    ws.DialogDir = ProgramDirectory();

    // The command line: file1, file2, a start directory; "-1" for none.
    TheWindowSettings.columns[0] = TheWindowSettings.columns[1] = -1;
    std::u16string candidate;
    if (args.size() >= 1) {
        TakeFileArgument(ws.sides[0], args[0]);
        if (args[0] != u"-1") candidate = WithoutColumn(args[0]);
    }
    if (args.size() >= 2) {
        TakeFileArgument(ws.sides[1], args[1]);
        if (args[1] != u"-1") candidate = WithoutColumn(args[1]);
    }
    bool keepProgramDir = false;
    if (args.size() >= 3) {
        candidate = args[2];
        keepProgramDir = args[2] == u"-1";
    }
    if (!keepProgramDir) {
        const std::u16string dir = DirectoryPart(candidate);
        if (!dir.empty() && IsDirectory(dir)) ws.DialogDir = dir;
    }

    MainWindow& w = program.window;
    w.space = &ws;
    w.Create();
    program.dialogs.SetOwner(w.form.hwnd);
    ws.FileDialogs = &program.dialogs;
    {
        const int a = w.Side(0).panel.Width();
        const int b = w.Side(1).panel.Width();
        if (a + b > 0) w.splitPercent = a * 100 / (a + b);
    }
    SettingsFileName = settingsFile.empty() ? ProgramDirectory() + u"Vellumark.ini" : settingsFile;
    LanguageDirectory = DirectoryPart(SettingsFileName);
    CaptureBuiltInTexts(TheWindowLanguage);
    TheSettingsHost = &TheWindowSettings;
    ws.AfterDialogSave = [&ws] { ExchangeSettings(ws, true); };
    ws.AfterOpenDialog = [&ws] { StoreOpenChoices(ws); };
    ExchangeSettings(ws, false);

    // The list font: "Arial Unicode MS" where installed.
    if (IsFontInstalled(HKEY_LOCAL_MACHINE, InstalledFontsKey(), u"Arial Unicode MS")) {
        w.listFont = tk::CreateFontByName(TEXT("Arial Unicode MS"), 15, FW_NORMAL);
        for (int side = 0; side < 2; ++side) {
            w.Side(side).list.SetFont(w.listFont);
            w.Side(side).valueEditor.SetFont(w.listFont);
        }
        w.menuItemFont = tk::CreateFontByName(TEXT("Arial Unicode MS"), 15, FW_BOLD);
    } else {
        w.menuItemFont = tk::CreateFontByName(TEXT("Arial"), 14, FW_BOLD);
    }
    for (int side = 0; side < 2; ++side) SendMessage(w.Side(side).list.hwnd, CCM_SETUNICODEFORMAT, 1, 0);
    CreateHelpWindow();
    // Where the user left the window last time.
    const bool maximized = w.ApplyLayout(Layout);
    if (show) {
        ShowWindow(w.form.hwnd, maximized ? SW_SHOWMAXIMIZED : SW_SHOW);
        UpdateWindow(w.form.hwnd);
    }
    return true;
}

void StopVellumark() {
    DestroyHelpWindow();
    delete TheProgram;
    TheProgram = nullptr;
    TheMainWindow = nullptr;
    TheSettingsHost = nullptr;
}

int RunVellumark() {
    if (!StartVellumark(ProgramArguments())) return 0;
    const int code = tk::RunMessageLoop(TheMainWindow->form.hwnd);
    StopVellumark();
    return code;
}

}  // namespace vm
