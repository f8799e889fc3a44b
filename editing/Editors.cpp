#include "editing/Editors.h"

#include <cstring>

#include "editing/Dispatch.h"
#include "editing/TableView.h"
#include "formats/Options.h"
#include "shell/InterfaceTexts.h"
#include "shell/MainWindow.h"
#include "toolkit/MessageBox.h"

namespace vm {

namespace {

bool Confirmed(const std::u16string& question) {
    return NotAskChange ||
           tk::ShowMessageBox(TheMainWindow->form.hwnd, question, u"Vellumark", MB_YESNO) == IDYES;
}

}  // namespace

std::u16string EditorTextToValue(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') {
                out += u"\\n";
                ++i;
            }
            // A lone CR is no line break in a table; it is dropped.
        } else if (c == u'\n') {
            out += u"\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::u16string ValueToEditorText(std::u16string_view value) {
    std::u16string out(value);
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        if (out[i] == u'\\' && out[i + 1] == u'n') {
            out[i] = u'\r';
            out[i + 1] = u'\n';
            ++i;
        }
    }
    return out;
}

void SwitchEditorRow(TTblObjects& p, std::int32_t newRow, std::int32_t oldRow) {
    if (!p.Active || !TheMainWindow) return;
    MainWindow& w = *TheMainWindow;
    tk::Edit& key = w.KeyEditorOf(p);
    tk::Edit& value = w.ValueEditorOf(p);
    Repositioning = true;

    if (oldRow >= 0) {
        const auto b = static_cast<std::size_t>(oldRow);
        if (key.IsModified() && Confirmed(p.AskSaveKey)) {
            const std::u16string text = key.Text();
            if (text != p.Keys->Get(b)) {
                p.Keys->Set(b, text);
                p.Keys->SetFlag(b, FlagChanged);
                p.Modified = true;
            }
        }
        if (value.IsModified() && Confirmed(p.AskSaveValue)) {
            const std::u16string text = EditorTextToValue(value.Text());
            if (text != p.Values->Get(b)) {
                p.Values->Set(b, text);
                p.Values->SetFlag(b, FlagChanged);
                p.Modified = true;
            }
        }
        w.SideOf(p).list.RedrawRows(oldRow, oldRow);
    }

    if (newRow < 0 || static_cast<std::size_t>(newRow) >= p.Count()) {
        // A disabled box cannot keep the keyboard; the list takes it.
        const HWND focus = GetFocus();
        if (focus && (focus == key.hwnd || focus == value.hwnd)) w.ShownListOf(p).SetFocus();
        key.ShowText(sNoData, false);
        value.ShowText(sNoData, false);
    } else {
        const auto a = static_cast<std::size_t>(newRow);
        key.ShowText(p.Keys->Get(a), true);
        value.ShowText(ValueToEditorText(p.Values->Get(a)), true);
    }
    // The other table's list follows the row; in a one-table view that
    // list is hidden, and the shown list (this table's) takes the row
    // instead, or its first paint would drop the current row again.
    w.SideOf(p.Other->Active ? *p.Other : p).list.SelectOnly(newRow);
    Repositioning = false;
}

bool KeyEditorKey(TTblObjects& p, WPARAM key, std::uint32_t shiftState) {
    switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
        // Zero key data: the list moves its focus but runs none of its own
        // key commands.
        SendMessage(TheMainWindow->SideOf(p).list.hwnd, WM_KEYDOWN, key, 0);
        return false;
    case VK_RETURN:
        if (shiftState & CtrlBit) {
            SwitchEditorRow(p, CurrentRow, CurrentRow);
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool CopyTextToClipboard(HWND owner, const std::u16string& text) {
    if (!OpenClipboard(owner)) return false;
    const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, bytes);
    bool ok = false;
    if (block) {
        if (void* data = GlobalLock(block)) {
            std::memcpy(data, text.c_str(), bytes);
            GlobalUnlock(block);
            ok = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        }
        if (!ok) GlobalFree(block);  // the clipboard did not take it
    }
    CloseClipboard();
    return ok;
}

bool PasteTextFromClipboard(HWND owner, std::u16string& text) {
    if (!OpenClipboard(owner)) return false;
    bool ok = false;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* units = static_cast<const char16_t*>(GlobalLock(data))) {
            const std::size_t max = GlobalSize(data) / sizeof(char16_t);
            std::size_t n = 0;
            while (n < max && units[n] != 0) ++n;
            text.assign(units, n);
            GlobalUnlock(data);
            ok = true;
        }
    }
    CloseClipboard();
    return ok;
}

}  // namespace vm
