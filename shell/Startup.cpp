#include "shell/Startup.h"

#include "toolkit/FileDialog.h"

#include <vector>

#include "documents/FileDialogs.h"
#include "documents/TableFiles.h"
#include "editing/TableView.h"
#include "formats/Options.h"
#include "platform/Platform.h"
#include "shell/Help.h"
#include "shell/InterfaceTexts.h"
#include "shell/Language.h"
#include "shell/MainWindow.h"
#include "shell/Settings.h"
#include "toolkit/MessageBox.h"

namespace vm {

namespace {

const wchar_t* const FontsKey = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

// Everything StartVellumark builds, released by StopVellumark.
struct Program {
    MainWindow window;
    SideView view1{1};
    SideView view2{2};
    tk::Win32FileDialogShower dialogs;
};
Program* TheProgram = nullptr;

// The window texts a language sets.
class WindowLanguage final : public LanguageHost {
public:
    std::u16string MenuCaption(int number) override { return TheMainWindow->menu.Caption(number); }
    void SetMenuCaption(int number, const std::u16string& text) override {
        TheMainWindow->menu.SetCaption(number, text);
    }
    std::u16string ToolButtonText(int button) override { return TheMainWindow->Side(1).toolbar.ButtonText(button); }
    void SetToolButtonText(int button, const std::u16string& text) override {
        for (int side = 1; side <= 2; ++side) TheMainWindow->Side(side).toolbar.SetButtonText(button, text);
    }
    std::u16string ColumnText(int column) override { return TheMainWindow->Side(1).list.ColumnText(column); }
    void SetColumnText(int column, const std::u16string& text) override {
        for (int side = 1; side <= 2; ++side) TheMainWindow->Side(side).list.SetColumnText(column, text);
    }
    void SetSearchLabels(const std::u16string& text) override {
        for (int side = 1; side <= 2; ++side) {
            SideControls& c = TheMainWindow->Side(side);
            c.searchLabel.SetText(text);
            c.searchLabel.dockSize = c.searchLabel.TextWidth();
            c.searchBar.Layout();
        }
    }
    void SetSearchButtons() override {
#ifdef UNICODE
        const std::u16string pointer = u"\u25BA";
#else
        const std::u16string pointer = u">";
#endif
        for (int side = 1; side <= 2; ++side) TheMainWindow->Side(side).searchButton.SetText(pointer);
    }
};
WindowLanguage TheWindowLanguage;

// Language files live beside the settings file.
std::u16string LanguageDirectory;

// A settings pass's effects on the window.
class WindowSettings final : public SettingsHost {
public:
    void AddLanguageItem(const std::u16string& caption) override {
        tk::MainMenu& menu = TheMainWindow->menu;
        tk::MenuItem item;
        item.kind = tk::MenuItem::Radio;
        item.caption = caption;
        menu.Insert(static_cast<int>(menu.items.size()) - 1, item);  // before the placeholder
    }
    void HideLanguagePlaceholder() override {
        tk::MainMenu& menu = TheMainWindow->menu;
        menu.SetHidden(static_cast<int>(menu.items.size()) - 1, true);
    }
    void SetMenuChecked(int number, bool checked) override { TheMainWindow->menu.SetChecked(number, checked); }
    std::u16string MenuCaption(int number) override { return TheMainWindow->menu.Caption(number); }
    void LoadLanguage(const std::u16string& name) override {
        vm::LoadLanguage(LanguageDirectory, name, TheWindowLanguage);
    }
    void ApplyViewLayout() override { vm::ApplyViewLayout(); }
    void OpenCommandLineFiles() override {
        for (int side = 1; side <= 2; ++side) {
            TTblObjects& p = TableSide(side);
            if (!p.FileName.empty()) OpenByExtension(p);
        }
    }
};
WindowSettings TheWindowSettings;

bool IsWindows9x() { return (GetVersion() & 0x80000000u) != 0; }

bool IsDirectory(const std::u16string& path) {
    const DWORD a = GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()));
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
void TakeFileArgument(TTblObjects& p, const std::u16string& arg) {
    if (arg == u"-1") return;
    if (FormatOfFileName(arg) != 0) p.FileName = arg;
}

}  // namespace

bool IsFontInstalled(HKEY root, const wchar_t* keyPath, const std::u16string& face) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    bool found = false;
    std::vector<wchar_t> name(4096);
    for (DWORD index = 0; !found; ++index) {
        DWORD length = 4095;
        const LONG status = RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) break;
        found = length >= face.size() &&
                std::char_traits<char16_t>::compare(reinterpret_cast<const char16_t*>(name.data()), face.data(),
                                                    face.size()) == 0;
    }
    RegCloseKey(key);
    return found;
}

std::u16string ProgramDirectory() {
    std::vector<wchar_t> path(32768);
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return DirectoryPart(std::u16string(reinterpret_cast<const char16_t*>(path.data()), n));
}

bool StartVellumark(const std::vector<std::u16string>& args, const std::u16string& settingsFile, bool show) {
    tk::InitToolkit();
    if (IsWindows9x()) {
        tk::ShowMessageBox(nullptr, u"This program temporarily is not run in Windows 9x",
                           u"Not NT compatible version Windows", MB_OK);
        return false;
    }
    TheProgram = new Program;
    Program& program = *TheProgram;
    DialogDir = ProgramDirectory();
    InitTableDocuments(&program.view1, &program.view2);

    // The command line: file1, file2, a start directory; "-1" for none.
    std::u16string candidate;
    if (args.size() >= 1) {
        TakeFileArgument(TableSide(1), args[0]);
        if (args[0] != u"-1") candidate = args[0];
    }
    if (args.size() >= 2) {
        TakeFileArgument(TableSide(2), args[1]);
        if (args[1] != u"-1") candidate = args[1];
    }
    bool keepProgramDir = false;
    if (args.size() >= 3) {
        candidate = args[2];
        keepProgramDir = args[2] == u"-1";
    }
    if (!keepProgramDir) {
        const std::u16string dir = DirectoryPart(candidate);
        if (!dir.empty() && IsDirectory(dir)) DialogDir = dir;
    }

    MainWindow& w = program.window;
    w.Create();
    program.dialogs.SetOwner(w.form.hwnd);
    TheFileDialogShower = &program.dialogs;
    HeaderTTF = "Key\tValue";
    HeadersTTF = "Key\tValue";
    {
        const int a = w.Side(1).panel.Width();
        const int b = w.Side(2).panel.Width();
        if (a + b > 0) w.splitPercent = a * 100 / (a + b);
    }
    SettingsFileName = settingsFile.empty() ? ProgramDirectory() + u"Vellumark.ini" : settingsFile;
    LanguageDirectory = DirectoryPart(SettingsFileName);
    CaptureBuiltInTexts(TheWindowLanguage);
    TheSettingsHost = &TheWindowSettings;
    AfterDialogSave = [] { ExchangeSettings(true); };
    ExchangeSettings(false);

    // The list font: "Arial Unicode MS" where installed.
    if (IsFontInstalled(HKEY_LOCAL_MACHINE, FontsKey, u"Arial Unicode MS")) {
        LOGFONTW f{};
        f.lfHeight = 15;
        f.lfWeight = FW_NORMAL;
        f.lfCharSet = DEFAULT_CHARSET;
        wcsncpy(f.lfFaceName, L"Arial Unicode MS", LF_FACESIZE - 1);
        w.listFont = CreateFontIndirectW(&f);
        for (int side = 1; side <= 2; ++side) {
            w.Side(side).list.SetFont(w.listFont);
            w.Side(side).valueEditor.SetFont(w.listFont);
        }
        f.lfWeight = FW_BOLD;
        w.menuItemFont = CreateFontIndirectW(&f);
    } else {
        LOGFONTW f{};
        f.lfHeight = 14;
        f.lfWeight = FW_BOLD;
        f.lfCharSet = DEFAULT_CHARSET;
        wcsncpy(f.lfFaceName, L"Arial", LF_FACESIZE - 1);
        w.menuItemFont = CreateFontIndirectW(&f);
    }
    for (int side = 1; side <= 2; ++side) SendMessage(w.Side(side).list.hwnd, CCM_SETUNICODEFORMAT, 1, 0);
    CreateHelpWindow();
    if (show) {
        ShowWindow(w.form.hwnd, SW_SHOW);
        UpdateWindow(w.form.hwnd);
    }
    return true;
}

void StopVellumark() {
    DestroyHelpWindow();
    TheFileDialogShower = nullptr;
    delete TheProgram;
    TheProgram = nullptr;
    TheMainWindow = nullptr;
    TheSettingsHost = nullptr;
    AfterDialogSave = nullptr;
    InitTableDocuments();
}

int RunVellumark() {
    if (!StartVellumark(platform::CommandLineArguments(0, nullptr))) return 0;
    const int code = tk::RunMessageLoop(TheMainWindow->form.hwnd);
    StopVellumark();
    return code;
}

}  // namespace vm
