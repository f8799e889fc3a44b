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
    for (int side = 0; side < 2; ++side) {
        TTblObjects& p = Space().sides[side];
        if (!p.Active) continue;
        if (focus && (focus == SideOf(p).list.hwnd || focus == KeyEditorOf(p).hwnd || focus == ValueEditorOf(p).hwnd))
            return p;
    }
    Workspace& ws = Space();
    const int last = LastHistorySide(ws);
    if (last >= 0 && ws.sides[last].Active) return ws.sides[last];
    return ws.sides[ws.sides[0].Active ? 0 : 1];
}

void EditingWindow::KeepKeyboard() {
    if (GetForegroundWindow() != form.hwnd) return;  // it returns when the window is activated
    const HWND focus = GetFocus();
    if (!focus || focus == form.hwnd || !IsWindowVisible(focus) || !IsWindowEnabled(focus) ||
        dynamic_cast<tk::Panel*>(tk::Wnd::FromHandle(focus)))
        form.RestoreFocus();
}

}  // namespace vm
