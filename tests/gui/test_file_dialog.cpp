// The real file dialogs with the option panels of the program's resources:
// each test opens a dialog, lets the hook fill the panel, and closes the
// dialog again by its own messages (cancel, or a typed name and OK). A
// thread timer cancels any dialog that is still open after a while, so a
// test fails rather than hangs.

#include <gtest/gtest.h>

#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "documents/DocumentTexts.h"
#include "formats/FormatOptions.h"
#include "formats/TextHelpers.h"
#include "shell/FileDialog.h"

using namespace vm;
using vm::Win32DialogControls;

namespace {

// Passes every event on to the real hook and records it, with the file
// dialog's window for the test to act on.
struct ProbeHook final : DialogHook {
    explicit ProbeHook(DialogHook& inner) : inner(inner) {}
    DialogHook& inner;
    std::vector<std::string> events;
    std::vector<int> filters;
    HWND dialog = nullptr;
    std::function<void(Win32DialogControls&)> afterCreate = [](Win32DialogControls&) {};
    std::function<void(HWND)> onFirstNotify = [](HWND) {};

    void OnCreate(DialogControls& c) override {
        events.push_back("create");
        inner.OnCreate(c);
        auto& controls = dynamic_cast<Win32DialogControls&>(c);
        dialog = controls.Dialog();
        afterCreate(controls);
    }
    void OnNotify(DialogControls& c, int filterIndex) override {
        inner.OnNotify(c, filterIndex);
        filters.push_back(filterIndex);
        if (filters.size() == 1) onFirstNotify(dialog);
    }
    void OnCommand(DialogControls& c, int id, int code) override { inner.OnCommand(c, id, code); }
    void OnDestroy(DialogControls& c) override {
        events.push_back("destroy");
        inner.OnDestroy(c);
    }
};

HWND g_openDialog = nullptr;

void CALLBACK CancelLeftoverDialog(HWND, UINT, UINT_PTR, DWORD) {
    if (g_openDialog && IsWindow(g_openDialog)) PostMessageW(g_openDialog, WM_COMMAND, IDCANCEL, 0);
}

// Shows the dialog with a safety timer running.
bool ShowGuarded(FileDialogRequest& request, ProbeHook& hook) {
    const auto remember = hook.afterCreate;
    hook.afterCreate = [&hook, remember](Win32DialogControls& c) {
        g_openDialog = hook.dialog;
        remember(c);
    };
    const UINT_PTR timer = SetTimer(nullptr, 0, 20000, CancelLeftoverDialog);
    Win32FileDialogShower shower;
    const bool confirmed = shower.Show(request, hook);
    KillTimer(nullptr, timer);
    g_openDialog = nullptr;
    return confirmed;
}

void Cancel(HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); }

FileDialogRequest Request(bool save) {
    FileDialogRequest request;
    request.save = save;
    request.filter = save ? SaveFilter : OpenFilter;
    request.templateName = save ? u"SAVETEMPLATE" : u"OPENTEMPLATE";
    request.initialDir = std::filesystem::temp_directory_path().u16string();
    return request;
}

class FileDialogWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ResetDocumentTexts(); }
    void TearDown() override { ResetDocumentTexts(); }
    EditorOptions options;
};

TEST_F(FileDialogWindowTest, SaveDialogShowsThePanelAndStoresOnCancel) {
    options.formats.text.writeEncoding = TextEncoding::UTF8;
    options.formats.tbl.offset8 = 9;
    sLabelTblOptions = u"Tabellen";
    SaveDialogHook save(options, 3);
    ProbeHook hook(save);
    std::u16string label, offset8, headerCaption;
    int selected = -2, items = -1;
    hook.afterCreate = [&](Win32DialogControls& c) {
        label = c.GetText(IdSaveLabelTblOptions, 255);
        offset8 = c.GetText(IdSaveOffset8, 255);
        headerCaption = c.GetText(IdSaveHeader, 255);  // the template's text, kept
        selected = c.SelectedItem(IdSaveEncoding);
        items = static_cast<int>(SendDlgItemMessageW(c.Panel(), IdSaveEncoding, CB_GETCOUNT, 0, 0));
        SetDlgItemTextW(c.Panel(), IdSaveOffset8, L"300");  // what the user types
    };
    hook.onFirstNotify = Cancel;

    FileDialogRequest request = Request(true);
    request.fileName = u"string";
    request.filterIndex = 0;
    EXPECT_FALSE(ShowGuarded(request, hook));
    EXPECT_EQ(hook.events, (std::vector<std::string>{"create", "destroy"}));
    EXPECT_EQ(label, u"Tabellen");
    EXPECT_EQ(offset8, u"9");
    EXPECT_EQ(headerCaption, u"Add header to Tabbed text files");
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(items, 3);
    ASSERT_FALSE(hook.filters.empty());
    EXPECT_EQ(hook.filters.front(), 1);           // index 0 shows the first filter
    EXPECT_EQ(options.formats.tbl.offset8, 255);  // stored when the panel went away
    EXPECT_EQ(request.fileName, u"string");
}

TEST_F(FileDialogWindowTest, OpenDialogFillsTheEncodingBox) {
    options.formats.text.readEncoding = TextEncoding::Autodetect;
    OpenDialogHook open(options);
    ProbeHook hook(open);
    std::u16string txtOptions;
    int selected = -2;
    hook.afterCreate = [&](Win32DialogControls& c) {
        txtOptions = c.GetText(IdOpenLabelTxtOptions, 255);
        selected = c.SelectedItem(IdOpenEncoding);
        c.SelectItem(IdOpenEncoding, 2);  // "Default UTF8"
    };
    hook.onFirstNotify = Cancel;

    FileDialogRequest request = Request(false);
    request.filterIndex = 2;
    EXPECT_FALSE(ShowGuarded(request, hook));
    EXPECT_EQ(hook.events, (std::vector<std::string>{"create", "destroy"}));
    EXPECT_EQ(txtOptions, u"TXT Options");
    EXPECT_EQ(selected, 0);  // "Autodetect"
    EXPECT_EQ(hook.filters.front(), 2);
    EXPECT_EQ(options.formats.text.readEncoding, TextEncoding::UTF8);
}

TEST_F(FileDialogWindowTest, SaveDialogReturnsATypedNewNameAsItStands) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string number = std::to_string(GetCurrentProcessId());
    const std::u16string name = u"vellumark-gui-" + std::u16string(number.begin(), number.end());
    const tk::NativeString typed = tk::ToNative(name);  // the dialog takes the program's text width
    std::filesystem::remove(dir / name);
    SaveDialogHook save(options, 0);
    ProbeHook hook(save);
    hook.onFirstNotify = [&typed](HWND dialog) {
        // The name box is a combo box in newer layouts and an edit box in
        // older ones; only one of them exists.
        SendMessage(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(typed.c_str()));
        SendMessage(dialog, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(typed.c_str()));
        PostMessage(dialog, WM_COMMAND, IDOK, 0);
    };

    FileDialogRequest request = Request(true);
    request.initialDir = dir.u16string();
    request.filterIndex = 2;
    ASSERT_TRUE(ShowGuarded(request, hook));
    EXPECT_EQ(hook.events, (std::vector<std::string>{"create", "destroy"}));
    EXPECT_EQ(std::filesystem::path(request.fileName).filename().u16string(), name);  // no extension added
    EXPECT_EQ(request.filterIndex, 2);
}

// The real panel shows a .tbl file's own header options and hands them back
// unchanged when the dialog is confirmed as it opens; the options keep
// theirs, and their bound on spare slots does not cut the file's.
TEST_F(FileDialogWindowTest, SaveDialogOffersAndReturnsAFilesOwnHeader) {
    options.formats.tbl = TblOptions{.offset8 = 1, .addToHashSize = 0};
    options.maxAddToHashSize = 4;
    for (const TblOptions own :
         {TblOptions{.offset8 = 0, .addToHashSize = 8}, TblOptions{.offset8 = 1, .addToHashSize = 255},
          TblOptions{.offset8 = 37, .addToHashSize = 0}}) {
        TblOptions tbl = own;
        SaveDialogHook save(options, 1143, -1, &tbl);
        ProbeHook hook(save);
        std::u16string offset8, spare;
        hook.afterCreate = [&](Win32DialogControls& c) {
            offset8 = c.GetText(IdSaveOffset8, 255);
            spare = c.GetText(IdSaveAddHash, 255);
        };
        hook.onFirstNotify = [](HWND dialog) {
            SendMessage(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(TEXT("vellumark-own-header")));
            SendMessage(dialog, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(TEXT("vellumark-own-header")));
            PostMessage(dialog, WM_COMMAND, IDOK, 0);
        };
        FileDialogRequest request = Request(true);
        request.filterIndex = 1;
        ASSERT_TRUE(ShowGuarded(request, hook));
        EXPECT_EQ(offset8, IntToDecimal(own.offset8));
        EXPECT_EQ(spare, IntToDecimal(own.addToHashSize));
        EXPECT_EQ(tbl.offset8, own.offset8);
        EXPECT_EQ(tbl.addToHashSize, own.addToHashSize);
        EXPECT_EQ(options.formats.tbl.offset8, 1);
        EXPECT_EQ(options.formats.tbl.addToHashSize, 0);
    }
}

}  // namespace
