#include "toolkit/Controls.h"

#include <algorithm>

namespace tk {

namespace {

HWND CreateControl(const NativeChar* className, DWORD style, DWORD exStyle, HWND parent, std::u16string_view text) {
    InitToolkit();
    HWND h = CreateWindowEx(exStyle, className, ToNative(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                            parent, nullptr, Instance(), nullptr);
    // Controls start with the parent's font, as dialog controls do.
    if (h) SendMessage(h, WM_SETFONT, SendMessage(parent, WM_GETFONT, 0, 0), FALSE);
    return h;
}

}  // namespace

void Label::Create(const CreateArgs& args) {
    dock = args.dock;
    dockSize = args.dockSize;
    Attach(CreateControl(TEXT("STATIC"), args.style | SS_NOPREFIX, 0, args.parent, args.text), false);
}

int Label::TextWidth() const {
    const NativeString text = ToNative(Text());
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessage(hwnd, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return size.cx + 8;
}

void Button::Create(const CreateArgs& args) {
    dock = args.dock;
    dockSize = args.dockSize;
    Attach(CreateControl(TEXT("BUTTON"), BS_PUSHBUTTON | WS_TABSTOP, 0, args.parent, args.text), false);
}

bool Button::OnCommand(int, int code) {
    if (code != BN_CLICKED) return false;
    if (onClick) onClick();
    return true;
}

void Edit::Create(const CreateArgs& args) {
    dock = args.dock;
    dockSize = args.dockSize;
    DWORD style = WS_TABSTOP;
    if (!args.wrapLines) style |= ES_AUTOHSCROLL;
    if (args.multiLine) style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL;
    if (args.multiLine && !args.wrapLines) style |= WS_HSCROLL;
    if (args.readOnly) style |= ES_READONLY;
    if (!args.enabled) style |= WS_DISABLED;
    Attach(CreateControl(TEXT("EDIT"), style, WS_EX_CLIENTEDGE, args.parent, u""), true);
    // No fixed limit: values can be long.
    SendMessage(hwnd, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    margin_ = args.margin;
    ApplyMargins();
}

// A new font sets the box's margins anew: they are set again after it.
void Edit::ApplyMargins() {
    if (margin_ > 0) SendMessage(hwnd, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(margin_, margin_));
}

bool Edit::IsModified() const { return SendMessage(hwnd, EM_GETMODIFY, 0, 0) != 0; }
void Edit::SetModified(bool modified) { SendMessage(hwnd, EM_SETMODIFY, modified ? TRUE : FALSE, 0); }

namespace {

// How a scroll bar of a window looks: a bar that cannot scroll (its page
// holds the whole range, or the window is disabled) is drawn the same
// whatever its numbers.
struct BarLook {
    bool active = false;
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    bool operator==(const BarLook& o) const {
        return active == o.active && (!active || (info.nMin == o.info.nMin && info.nMax == o.info.nMax &&
                                                  info.nPage == o.info.nPage && info.nPos == o.info.nPos));
    }
};

struct BarLooks {
    BarLook bar[2];  // SB_HORZ, SB_VERT
    explicit BarLooks(HWND hwnd) {
        const bool enabled = IsWindowEnabled(hwnd) != FALSE;
        for (int b : {SB_HORZ, SB_VERT}) {
            SCROLLINFO& i = bar[b].info;
            GetScrollInfo(hwnd, b, &i);
            const int page = i.nPage > 0 ? static_cast<int>(i.nPage) - 1 : 0;
            bar[b].active = enabled && i.nMin < i.nMax - page;
        }
    }
    bool operator==(const BarLooks& o) const { return bar[0] == o.bar[0] && bar[1] == o.bar[1]; }
};

}  // namespace

// A multi-line edit box redraws both of its scroll bars, at once rather
// than in the next paint, whenever its text is replaced (disabled bars
// included) and whenever it is enabled or disabled. Under wine a scroll
// bar takes tens of milliseconds to draw, and a row step sets the text of
// four boxes. So the box changes while it counts as hidden (its WS_VISIBLE
// bit off, which is all WM_SETREDRAW does) and draws nothing; afterwards
// its text area is repainted, and its frame only when the scroll bars look
// different.
void Edit::ShowText(std::u16string_view text, bool enabled) {
    const LONG_PTR style = GetWindowLongPtr(hwnd, GWL_STYLE);
    const bool quiet = (style & WS_VISIBLE) && (style & (WS_HSCROLL | WS_VSCROLL));
    const BarLooks before(hwnd);
    if (quiet) SetWindowLongPtr(hwnd, GWL_STYLE, style & ~WS_VISIBLE);
    SetText(text);
    SendMessage(hwnd, EM_EMPTYUNDOBUFFER, 0, 0);
    SetModified(false);
    if (IsEnabled() != enabled) EnableWindow(hwnd, enabled ? TRUE : FALSE);
    if (!quiet) return;
    SetWindowLongPtr(hwnd, GWL_STYLE, GetWindowLongPtr(hwnd, GWL_STYLE) | WS_VISIBLE);
    const bool sameBars = before == BarLooks(hwnd);
    // Shown again, the box asks for its frame to be drawn: that request
    // goes when the scroll bars look as they did.
    if (sameBars) RedrawWindow(hwnd, nullptr, nullptr, RDW_VALIDATE | RDW_NOFRAME);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | (sameBars ? 0 : RDW_FRAME));
}

void Edit::SetTextClean(std::u16string_view text) { ShowText(text, IsEnabled()); }

void Edit::ReplaceSelection(std::u16string_view text) {
    const NativeString native = ToNative(text);
    SendMessage(hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(native.c_str()));
    SetModified(true);
}

bool Edit::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == WM_SETFONT) {
        result = Default(msg, wp, lp);
        ApplyMargins();
        if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, TRUE);
        return true;
    }
    if ((msg == WM_SETFOCUS || msg == WM_KILLFOCUS) && onFocusChange) {
        result = Default(msg, wp, lp);
        onFocusChange(msg == WM_SETFOCUS);
        return true;
    }
    if (msg == WM_KEYDOWN) {
        dropChar_ = false;
        if (onKeyDown && onKeyDown(wp, lp)) {
            dropChar_ = true;
            result = 0;
            return true;
        }
    }
    if (msg == WM_CHAR && dropChar_) {
        dropChar_ = false;
        result = 0;
        return true;
    }
    if (msg == WM_GETDLGCODE && lp) {
        // Enter with Ctrl belongs to the edit box, not to the window's
        // dialog navigation.
        const MSG* m = reinterpret_cast<const MSG*>(lp);
        if (m->message == WM_KEYDOWN && m->wParam == VK_RETURN) {
            result = Default(msg, wp, lp) | DLGC_WANTALLKEYS;
            return true;
        }
    }
    return false;
}

void ComboBox::Create(const CreateArgs& args) {
    dock = args.dock;
    dockSize = args.dockSize;
    Attach(
        CreateControl(TEXT("COMBOBOX"), CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0, args.parent, u""),
        false);
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (GetComboBoxInfo(hwnd, &info) && info.hwndItem) edit_.Hook(info.hwndItem, this);
}

void ComboBox::AddItem(std::u16string_view text) {
    SendMessage(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToNative(text).c_str()));
}

int ComboBox::ItemCount() const { return static_cast<int>(SendMessage(hwnd, CB_GETCOUNT, 0, 0)); }

std::u16string ComboBox::Item(int index) const {
    const LRESULT length = SendMessage(hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    NativeString buffer(static_cast<std::size_t>(length) + 1, 0);
    SendMessage(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return FromNative(buffer.data(), static_cast<std::size_t>(length));
}

void ComboBox::SelectAllText() { SendMessage(hwnd, CB_SETEDITSEL, 0, MAKELPARAM(0, -1)); }

bool ComboBox::EditPart::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == WM_KEYDOWN && owner && owner->onKeyDown && owner->onKeyDown(wp)) {
        result = 0;
        return true;
    }
    if (msg == WM_CHAR && wp == VK_RETURN) {  // no beep for the Enter that ran the search
        result = 0;
        return true;
    }
    if (msg == WM_GETDLGCODE && lp) {
        const MSG* m = reinterpret_cast<const MSG*>(lp);
        if (m->message == WM_KEYDOWN && m->wParam == VK_RETURN) {
            result = Default(msg, wp, lp) | DLGC_WANTALLKEYS;
            return true;
        }
    }
    (void)lp;
    return false;
}

void ChoiceBox::Create(const CreateArgs& args) {
    dock = args.dock;
    dockSize = args.dockSize;
    Attach(CreateControl(TEXT("COMBOBOX"), CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, args.parent, u""), false);
    // The height of a drop-down list's control is that of its list.
    RECT r{};
    GetWindowRect(hwnd, &r);
    SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, args.dropHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ChoiceBox::SetItems(const std::vector<std::u16string>& items, int chosen) {
    SendMessage(hwnd, CB_RESETCONTENT, 0, 0);
    for (const std::u16string& item : items)
        SendMessage(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToNative(item).c_str()));
    Choose(chosen);
}

int ChoiceBox::Chosen() const { return static_cast<int>(SendMessage(hwnd, CB_GETCURSEL, 0, 0)); }

int ChoiceBox::ItemsWidth() const {
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessage(hwnd, WM_GETFONT, 0, 0)));
    int widest = 0;
    const int count = static_cast<int>(SendMessage(hwnd, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = SendMessage(hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length == CB_ERR) continue;
        NativeString text(static_cast<std::size_t>(length) + 1, 0);
        SendMessage(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        SIZE size{};
        GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(length), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    // The arrow button, the frame and the item's margins.
    return widest + GetSystemMetrics(SM_CXVSCROLL) + 12;
}

void ChoiceBox::Choose(int index) { SendMessage(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

bool ChoiceBox::OnCommand(int, int code) {
    if (code == CBN_SELCHANGE && onChoose) onChoose(Chosen());
    return code == CBN_SELCHANGE;
}

void StatusBar::Create(const CreateArgs& args) {
    dock = args.dock;
    // Placed by the parent's layout, not by the bar itself.
    Attach(CreateControl(STATUSCLASSNAME, CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0, args.parent, u""),
           false);
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessage(hwnd, WM_GETFONT, 0, 0)));
    TEXTMETRIC metrics{};
    GetTextMetrics(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    dockSize = metrics.tmHeight + 8;
}

void StatusBar::SetParts(const std::vector<int>& rightEdges) {
    std::vector<int> edges = rightEdges;
    if (edges.empty() || edges.back() != -1) edges.push_back(-1);
    SendMessage(hwnd, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    texts_.resize(edges.size());  // the parts kept keep their texts
}

void StatusBar::SetPartText(int part, std::u16string_view text) {
    if (part < 0 || static_cast<std::size_t>(part) >= texts_.size() || texts_[static_cast<std::size_t>(part)] == text)
        return;
    texts_[static_cast<std::size_t>(part)] = text;
    SendMessage(hwnd, SB_SETTEXT, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(ToNative(text).c_str()));
}

}  // namespace tk
