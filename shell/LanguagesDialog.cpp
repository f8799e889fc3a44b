#include "shell/LanguagesDialog.h"

#include <vector>

#include "resources/DialogIds.h"

namespace vm {

namespace {

struct DialogState {
    HFONT font;
    const std::u16string* title;
    const ObjectLanguages* shown;
    std::u16string* texts;
};

// The text of a line as the box returns it: what the program can show of
// the text it was given, when that is what it still holds.
std::u16string BoxText(HWND dialog, int id) {
    HWND box = GetDlgItem(dialog, id);
    std::vector<tk::NativeChar> buffer(static_cast<std::size_t>(GetWindowTextLength(box)) + 1, 0);
    const int n = GetWindowText(box, buffer.data(), static_cast<int>(buffer.size()));
    return tk::FromNative(buffer.data(), static_cast<std::size_t>(n > 0 ? n : 0));
}

INT_PTR CALLBACK LanguagesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtr(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        state = reinterpret_cast<DialogState*>(lParam);
        SetWindowLongPtr(dialog, DWLP_USER, lParam);
        SetWindowText(dialog, tk::ToNative(*state->title).c_str());
        for (int i = 0; i < JsonLanguageCount; ++i) {
            HWND box = GetDlgItem(dialog, IDC_LANGUAGE_TEXT_FIRST + i);
            if (state->font) SendMessage(box, WM_SETFONT, reinterpret_cast<WPARAM>(state->font), FALSE);
            SetWindowText(box, tk::ToNative(state->shown->texts[i]).c_str());
            if (!state->shown->side[i]) SendMessage(box, EM_SETREADONLY, TRUE, 0);
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            for (int i = 0; i < JsonLanguageCount; ++i) {
                const std::u16string& given = state->shown->texts[i];
                const std::u16string text = BoxText(dialog, IDC_LANGUAGE_TEXT_FIRST + i);
                // A line left alone keeps its text, also characters the
                // box could not hold.
                state->texts[i] = text == tk::FromNative(tk::ToNative(given)) ? given : text;
            }
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}

}  // namespace

bool ShowLanguagesDialog(HWND owner, HFONT font, const std::u16string& title, const ObjectLanguages& shown,
                         std::u16string (&texts)[JsonLanguageCount]) {
    DialogState state{font, &title, &shown, texts};
    return DialogBoxParam(tk::Instance(), TEXT("LANGUAGESDIALOG"), owner, LanguagesProc,
                          reinterpret_cast<LPARAM>(&state)) == IDOK;
}

}  // namespace vm
