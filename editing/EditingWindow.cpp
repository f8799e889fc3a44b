#include "editing/EditingWindow.h"

#include "documents/History.h"

namespace vm {

EditingWindow* TheWindow = nullptr;

tk::ListView& EditingWindow::ShownListOf(const TTblObjects& p) {
    tk::ListView& own = SideOf(p).list;
    return own.IsVisible() ? own : SideOf(*p.Other).list;
}

TTblObjects& EditingWindow::EditTarget() {
    const HWND focus = GetFocus();
    for (int side = 1; side <= 2; ++side) {
        TTblObjects& p = TableSide(side);
        if (!p.Active) continue;
        if (focus && (focus == SideOf(p).list.hwnd || focus == KeyEditorOf(p).hwnd || focus == ValueEditorOf(p).hwnd))
            return p;
    }
    const int last = LastHistorySide();
    if (last != 0 && TableSide(last).Active) return TableSide(last);
    return TableSide(TableSide(1).Active ? 1 : 2);
}

void EditingWindow::KeepKeyboard() {
    if (GetForegroundWindow() != form.hwnd) return;  // it returns when the window is activated
    const HWND focus = GetFocus();
    if (!focus || focus == form.hwnd || !IsWindowVisible(focus) || !IsWindowEnabled(focus) ||
        dynamic_cast<tk::Panel*>(tk::Wnd::FromHandle(focus)))
        form.RestoreFocus();
}

}  // namespace vm
