#include "toolkit/ToolBar.h"

#include <algorithm>

namespace tk {

void ToolBar::Create(const CreateArgs& args) {
    InitToolkit();
    dock = args.dock;
    // Buttons sized to their texts; DockHeight wraps them into rows.
    const DWORD style = WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TOOLTIPS | CCS_NODIVIDER |
                        CCS_NORESIZE | CCS_NOPARENTALIGN;
    Attach(
        CreateWindowEx(0, TOOLBARCLASSNAME, nullptr, style, 0, 0, 100, 24, args.parent, nullptr, Instance(), nullptr),
        false);
    SendMessage(hwnd, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessage(hwnd, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS | TBSTYLE_EX_MIXEDBUTTONS);
    TBADDBITMAP bitmap{HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
    SendMessage(hwnd, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmap));
    SendMessage(hwnd, WM_SETFONT, SendMessage(args.parent, WM_GETFONT, 0, 0), FALSE);
    AutoSize();
}

void ToolBar::AddButton(std::u16string_view text, int image, bool dropDown) {
    const NativeString native = ToNative(text);
    TBBUTTON b{};
    b.iBitmap = image >= 0 ? image : I_IMAGENONE;
    b.idCommand = FirstId + count_;
    b.fsState = TBSTATE_ENABLED;
    b.fsStyle = static_cast<BYTE>(BTNS_AUTOSIZE | BTNS_SHOWTEXT | (dropDown ? BTNS_DROPDOWN : BTNS_BUTTON));
    b.iString = reinterpret_cast<INT_PTR>(native.c_str());
    SendMessage(hwnd, TB_ADDBUTTONS, 1, reinterpret_cast<LPARAM>(&b));
    ++count_;
    AutoSize();
}

void ToolBar::SetButtonText(int index, std::u16string_view text) {
    const NativeString native = ToNative(text);
    TBBUTTONINFO info{};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_TEXT;
    info.pszText = const_cast<NativeChar*>(native.c_str());
    SendMessage(hwnd, TB_SETBUTTONINFO, static_cast<WPARAM>(FirstId + index), reinterpret_cast<LPARAM>(&info));
    AutoSize();
}

std::u16string ToolBar::ButtonText(int index) const {
    NativeChar buffer[256] = {};
    TBBUTTONINFO info{};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_TEXT;
    info.pszText = buffer;
    info.cchText = 255;
    SendMessage(hwnd, TB_GETBUTTONINFO, static_cast<WPARAM>(FirstId + index), reinterpret_cast<LPARAM>(&info));
    return FromNative(NativeString(buffer));
}

void ToolBar::SetButtonEnabled(int index, bool enabled) {
    SendMessage(hwnd, TB_ENABLEBUTTON, static_cast<WPARAM>(FirstId + index), MAKELPARAM(enabled ? TRUE : FALSE, 0));
}

bool ToolBar::IsButtonEnabled(int index) const {
    return SendMessage(hwnd, TB_ISBUTTONENABLED, static_cast<WPARAM>(FirstId + index), 0) != 0;
}

void ToolBar::SetButtonVisible(int index, bool visible) {
    SendMessage(hwnd, TB_HIDEBUTTON, static_cast<WPARAM>(FirstId + index), MAKELPARAM(visible ? FALSE : TRUE, 0));
}

bool ToolBar::IsButtonVisible(int index) const {
    return SendMessage(hwnd, TB_ISBUTTONHIDDEN, static_cast<WPARAM>(FirstId + index), 0) == 0;
}

RECT ToolBar::ButtonRect(int index) const {
    RECT r{};
    SendMessage(hwnd, TB_GETRECT, static_cast<WPARAM>(FirstId + index), reinterpret_cast<LPARAM>(&r));
    return r;
}

void ToolBar::AutoSize() {
    SendMessage(hwnd, TB_AUTOSIZE, 0, 0);
    const DWORD size = static_cast<DWORD>(SendMessage(hwnd, TB_GETBUTTONSIZE, 0, 0));
    dockSize = HIWORD(size) + 4;
}

int ToolBar::DockHeight(int width) {
    int rows = 0, used = 0, rowHeight = 0, last = -1;
    bool changed = false;
    for (int i = 0; i < count_; ++i) {
        if (!IsButtonVisible(i)) continue;
        const RECT r = ButtonRect(i);
        const int w = r.right - r.left;
        rowHeight = std::max<int>(rowHeight, r.bottom - r.top);
        const bool newRow = rows == 0 || used + w > width;
        // The button before the one that starts a row ends its row.
        if (last >= 0) changed |= SetWrap(last, newRow);
        if (newRow) {
            ++rows;
            used = 0;
        }
        used += w;
        last = i;
    }
    if (last >= 0) changed |= SetWrap(last, false);
    if (changed) {
        // The toolbar places its buttons anew when it is given its font.
        SendMessage(hwnd, WM_SETFONT, SendMessage(hwnd, WM_GETFONT, 0, 0), FALSE);
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    if (rows <= 1 || rowHeight <= 0) return dockSize;
    return dockSize + (rows - 1) * rowHeight;
}

bool ToolBar::SetWrap(int index, bool wrap) {
    const WPARAM id = static_cast<WPARAM>(FirstId + index);
    const LRESULT state = SendMessage(hwnd, TB_GETSTATE, id, 0);
    if (state < 0 || ((state & TBSTATE_WRAP) != 0) == wrap) return false;
    SendMessage(hwnd, TB_SETSTATE, id, MAKELPARAM(wrap ? (state | TBSTATE_WRAP) : (state & ~TBSTATE_WRAP), 0));
    return true;
}

bool ToolBar::OnNotify(NMHDR* header, LRESULT& result) {
    if (header->code == TBN_DROPDOWN) {
        const auto* tb = reinterpret_cast<NMTOOLBAR*>(header);
        currentButton = tb->iItem - FirstId;
        if (onDropDown) onDropDown(currentButton);
        result = TBDDRET_DEFAULT;
        return true;
    }
    return false;
}

bool ToolBar::OnCommand(int id, int) {
    const int index = id - FirstId;
    if (index < 0 || index >= count_) return false;
    currentButton = index;
    if (onClick) onClick(index);
    return true;
}

}  // namespace tk
