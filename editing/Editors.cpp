#include "editing/Editors.h"

#include <cstring>

#include "documents/History.h"
#include "documents/Workspace.h"
#include "editing/Dispatch.h"
#include "editing/EditingTexts.h"
#include "editing/EditingWindow.h"
#include "editing/TableView.h"
#include "toolkit/MessageBox.h"

namespace vm {

namespace {

bool Confirmed(const Workspace& ws, const std::u16string& question) {
    return ws.options.notAskChange ||
           tk::ShowMessageBox(TheWindow->form.hwnd, question, u"Vellumark", MB_YESNO) == IDYES;
}

}  // namespace

void SwitchEditorRow(TTblObjects& p, std::int32_t newRow, std::int32_t oldRow) {
    if (!p.Active || !TheWindow) return;
    EditingWindow& w = *TheWindow;
    tk::Edit& key = w.KeyEditorOf(p);
    tk::Edit& value = w.ValueEditorOf(p);
    Repositioning = true;

    if (oldRow >= 0) {
        // Key and value are one step of the history.
        HistoryStep step(StepKind::Edit, p, RowPlace::At(oldRow));
        // A key and a value typed for one entry (a new entry, mostly) are
        // one question.
        const bool keyEdited = key.IsModified();
        const bool valueEdited = value.IsModified();
        const bool both = keyEdited && valueEdited && Confirmed(*p.Space, p.AskSaveEntry);
        if (both || (keyEdited && !valueEdited && Confirmed(*p.Space, p.AskSaveKey)))
            ApplyEditedText(p, *p.Keys, oldRow, key.Text());
        if (both || (valueEdited && !keyEdited && Confirmed(*p.Space, p.AskSaveValue)))
            ApplyEditedText(p, *p.Values, oldRow, EditorTextToValue(value.Text()));
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

void ApplyTypedEdits() {
    if (!TheWindow) return;
    EditingWindow& w = *TheWindow;
    Workspace& ws = w.Space();
    const std::int32_t row = ws.CurrentRow;
    if (row < 0) return;
    const auto typedInto = [&w](TTblObjects& p) {
        return p.Active && (w.KeyEditorOf(p).IsModified() || w.ValueEditorOf(p).IsModified());
    };
    if (!typedInto(ws.sides[0]) && !typedInto(ws.sides[1])) return;
    // Both tables' edits are one step, as on leaving the row.
    HistoryStep step(StepKind::Edit, ws.sides[typedInto(ws.sides[0]) ? 0 : 1], RowPlace::At(row));
    for (TTblObjects& p : ws.sides)
        if (typedInto(p)) SwitchEditorRow(p, row, row);
}

bool KeyEditorKey(TTblObjects& p, WPARAM key, std::uint32_t shiftState) {
    switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
        // Zero key data: the list moves its focus but runs none of its own
        // key commands. The box does not take the key too: a one-line box
        // reads Up and Down as Left and Right, which left the caret after
        // the first letter of the row just loaded.
        SendMessage(TheWindow->SideOf(p).list.hwnd, WM_KEYDOWN, key, 0);
        return true;
    case VK_RETURN:
        if (shiftState & CtrlBit) {
            SwitchEditorRow(p, p.Space->CurrentRow, p.Space->CurrentRow);
            return true;
        }
        return false;
    case 'Z':
    case 'Y': {
        // The table's undo and redo while the box holds no typed text;
        // with typed text Ctrl+Z is the box's own undo.
        const std::uint32_t keys = shiftState & (CtrlBit | ShiftBit | AltBit);
        if (!(keys == CtrlBit || (key == 'Z' && keys == (CtrlBit | ShiftBit)))) return false;
        if (TheWindow->KeyEditorOf(p).IsModified()) return false;
        ShowRows(key == 'Z' && keys == CtrlBit ? Undo(p) : Redo(p));
        return true;
    }
    default: return false;
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
