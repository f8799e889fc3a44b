// The common file dialogs with the option panels of the program's own
// templates. The hook procedure wraps the panel in Win32DialogControls and
// forwards its creation, the file dialog's notifications, the panel's
// commands and its destruction to the DialogHook of the request. Text
// crosses as NativeString and the calls are the API's generic names, so the
// single-byte build changes with UNICODE alone.
#include "shell/FileDialog.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "resources/DialogIds.h"

static_assert(IDC_OPEN_LABEL_ENCODING == vm::IdOpenLabelEncoding && IDC_OPEN_ENCODING == vm::IdOpenEncoding &&
                  IDC_OPEN_LABEL_TXT_OPTIONS == vm::IdOpenLabelTxtOptions &&
                  IDC_OPEN_LABEL_LANGUAGE == vm::IdOpenLabelLanguage && IDC_OPEN_LANGUAGE == vm::IdOpenLanguage,
              "the open template's ids are the hook's");
static_assert(IDC_SAVE_LABEL_ENCODING == vm::IdSaveLabelEncoding && IDC_SAVE_ENCODING == vm::IdSaveEncoding &&
                  IDC_SAVE_QUOTE == vm::IdSaveQuote && IDC_SAVE_COLOR_API == vm::IdSaveColorApi &&
                  IDC_SAVE_HEADER == vm::IdSaveHeader && IDC_SAVE_LABEL_OFFSET8 == vm::IdSaveLabelOffset8 &&
                  IDC_SAVE_OFFSET8 == vm::IdSaveOffset8 && IDC_SAVE_LABEL_ADD_HASH == vm::IdSaveLabelAddHash &&
                  IDC_SAVE_ADD_HASH == vm::IdSaveAddHash && IDC_SAVE_LABEL_TBL_OPTIONS == vm::IdSaveLabelTblOptions &&
                  IDC_SAVE_LABEL_TXT_OPTIONS == vm::IdSaveLabelTxtOptions &&
                  IDC_SAVE_LABEL_LANGUAGE == vm::IdSaveLabelLanguage && IDC_SAVE_LANGUAGE == vm::IdSaveLanguage &&
                  IDC_SAVE_LABEL_JSON_OPTIONS == vm::IdSaveLabelJsonOptions,
              "the save template's ids are the hook's");

namespace vm {

using tk::FromNative;
using tk::NativeChar;
using tk::NativeString;
using tk::ToNative;

namespace {

using OpenFileName = OPENFILENAME;

constexpr const NativeChar* HookProperty = TEXT("Vellumark.DialogHook");

bool IsFileDialogNotification(UINT code) { return code <= CDN_FIRST && code >= CDN_LAST; }

// The extension of the pattern of filter number index (from 1) in the
// dialog's filter text ("*.txt" gives "txt"), or nothing.
NativeString FilterExtension(const NativeChar* filter, int index) {
    if (!filter || index < 1) return {};
    // Description and pattern alternate, each ending in a NUL.
    for (int part = 0; *filter; ++part) {
        const NativeString text(filter);
        filter += text.size() + 1;
        if (part == 2 * index - 1) {
            const std::size_t dot = text.rfind(static_cast<NativeChar>('.'));
            if (dot == NativeString::npos || text.find(static_cast<NativeChar>(';')) != NativeString::npos) return {};
            const NativeString ext = text.substr(dot + 1);
            return ext.find(static_cast<NativeChar>('*')) == NativeString::npos ? ext : NativeString();
        }
    }
    return {};
}

int CommandCode(WORD code) { return code == CBN_SELCHANGE ? ComboSelectionChanged : code; }

// Every message returns 0: the dialog's own handling goes on.
UINT_PTR CALLBACK PanelHook(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* hook = reinterpret_cast<DialogHook*>(reinterpret_cast<const OpenFileName*>(lParam)->lCustData);
        SetProp(panel, HookProperty, hook);
        Win32DialogControls controls(panel);
        hook->OnCreate(controls);
        return 0;
    }
    auto* hook = static_cast<DialogHook*>(GetProp(panel, HookProperty));
    if (!hook) return 0;  // before creation and after destruction
    Win32DialogControls controls(panel);
    switch (message) {
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (IsFileDialogNotification(header->code)) {
            // The dialog keeps the filter chosen in the request it shows.
            const OpenFileName* ofn = reinterpret_cast<const OFNOTIFY*>(lParam)->lpOFN;
            hook->OnNotify(controls, ofn ? static_cast<int>(ofn->nFilterIndex) : 0);
            // A dialog that adds an extension adds the chosen type's.
            if (header->code == CDN_TYPECHANGE && ofn && ofn->lpstrDefExt) {
                const NativeString ext = FilterExtension(ofn->lpstrFilter, static_cast<int>(ofn->nFilterIndex));
                if (!ext.empty())
                    SendMessage(controls.Dialog(), CDM_SETDEFEXT, 0, reinterpret_cast<LPARAM>(ext.c_str()));
            }
        }
        break;
    }
    case WM_COMMAND: hook->OnCommand(controls, LOWORD(wParam), CommandCode(HIWORD(wParam))); break;
    case WM_DESTROY:
        hook->OnDestroy(controls);
        RemoveProp(panel, HookProperty);
        break;
    default: break;
    }
    return 0;
}

// "description|pattern|..." with each bar a NUL, ending in two NULs.
NativeString FilterText(const std::u16string& filter) {
    NativeString text = ToNative(filter);
    std::replace(text.begin(), text.end(), static_cast<NativeChar>('|'), static_cast<NativeChar>(0));
    text.push_back(0);
    text.push_back(0);
    return text;
}

}  // namespace

// ---- Controls --------------------------------------------------------------

void Win32DialogControls::SetText(int id, const std::u16string& text) {
    SetDlgItemText(panel_, id, ToNative(text).c_str());
}

std::u16string Win32DialogControls::GetText(int id, int maxChars) {
    if (maxChars <= 0) return {};
    std::vector<NativeChar> buffer(static_cast<std::size_t>(maxChars) + 1, 0);
    const UINT n = GetDlgItemText(panel_, id, buffer.data(), maxChars + 1);
    return FromNative(buffer.data(), std::min<std::size_t>(n, static_cast<std::size_t>(maxChars)));
}

void Win32DialogControls::AddItem(int id, const std::u16string& text) {
    const NativeString item = ToNative(text);
    SendDlgItemMessage(panel_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

void Win32DialogControls::SelectItem(int id, int index) {
    SendDlgItemMessage(panel_, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32DialogControls::SelectedItem(int id) {
    const LRESULT item = SendDlgItemMessage(panel_, id, CB_GETCURSEL, 0, 0);
    return item == CB_ERR ? -1 : static_cast<int>(item);
}

void Win32DialogControls::SetChecked(int id, bool checked) {
    CheckDlgButton(panel_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32DialogControls::IsChecked(int id) { return IsDlgButtonChecked(panel_, id) == BST_CHECKED; }

void Win32DialogControls::Show(int id, bool shown) {
    if (HWND item = GetDlgItem(panel_, id)) ShowWindow(item, shown ? SW_SHOW : SW_HIDE);
}

void Win32DialogControls::Enable(int id, bool enabled) {
    if (HWND item = GetDlgItem(panel_, id)) EnableWindow(item, enabled ? TRUE : FALSE);
}

// ---- Dialogs ---------------------------------------------------------------

bool Win32FileDialogShower::Show(FileDialogRequest& request, DialogHook& hook) {
    const NativeString filter = FilterText(request.filter);
    const NativeString templateName = ToNative(request.templateName);
    const NativeString initialDir = ToNative(request.initialDir);
    const NativeString title = ToNative(request.title);
    std::vector<NativeChar> name(FileNameBufferChars, 0);
    NativeString shown = ToNative(request.fileName);
    shown.resize(std::min<std::size_t>(shown.size(), FileNameBufferChars - 1));
    std::copy(shown.begin(), shown.end(), name.begin());

    OpenFileName ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner_;
    ofn.hInstance = tk::Instance();
    ofn.lpstrFilter = filter.c_str();
    // Index 0 would ask for a custom filter; there is none, so it is the
    // first one, and the hook is told so.
    ofn.nFilterIndex = request.filterIndex > 0 ? static_cast<DWORD>(request.filterIndex) : 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = FileNameBufferChars;
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_ENABLETEMPLATE | OFN_ENABLEHOOK |
                OFN_EXPLORER | OFN_LONGNAMES | OFN_ENABLESIZING;
    // Only a file to open must exist: with this flag the save dialog would
    // refuse every new name.
    if (!request.save) ofn.Flags |= OFN_FILEMUSTEXIST;
    if (!title.empty()) ofn.lpstrTitle = title.c_str();
    // The request's extension stands until a type is chosen; the chosen
    // type's comes from its pattern.
    NativeString defaultExtension = ToNative(request.defaultExtension);
    if (!defaultExtension.empty()) {
        const NativeString chosen = FilterExtension(filter.c_str(), static_cast<int>(ofn.nFilterIndex));
        if (!chosen.empty()) defaultExtension = chosen;
        ofn.lpstrDefExt = defaultExtension.c_str();
    }
    ofn.lpfnHook = PanelHook;
    ofn.lpTemplateName = templateName.c_str();
    ofn.lCustData = reinterpret_cast<LPARAM>(&hook);

    if (!(request.save ? GetSaveFileName(&ofn) : GetOpenFileName(&ofn))) return false;
    const auto end = std::find(name.begin(), name.end(), static_cast<NativeChar>(0));
    request.fileName = FromNative(name.data(), static_cast<std::size_t>(end - name.begin()));
    request.filterIndex = static_cast<int>(ofn.nFilterIndex);
    return true;
}

}  // namespace vm
