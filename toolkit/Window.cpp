// The base of every control. Under wine each call that goes to the wine
// server costs, and a list that paints sends a notification per cell: so a
// window's object is found in a table of our own (FromHandle), not in a
// window property, and controls are subclassed by their window procedure
// rather than through the common controls' subclassing, which reads a
// window property for every message. Drawing that goes to the X server at
// once rather than in a paint is the other cost: an edit box gets a new
// text without redrawing unchanged scroll bars (Edit::ShowText), a settings
// pass rebuilds the menu bar once (MainMenu::Hold), and fonts ask for grey
// smoothing under wine (a font of default quality reads the X resources
// anew each time it is selected).
#include "toolkit/Window.h"

#include <unordered_map>

namespace tk {

namespace {

// Which object each of the program's windows belongs to, and for a
// standard control whose messages come to us first, the control's own
// window procedure. Kept in the process rather than as window properties:
// every message and every notification a list sends while it paints goes
// through this lookup, and under wine each GetProp is a round trip to the
// server (the common controls' subclassing makes one per message, which
// is why controls are subclassed here by their window procedure). Windows
// are created and destroyed on the window thread only, which alone looks
// them up.
struct Owner {
    Wnd* wnd = nullptr;          // null once the object is gone
    WNDPROC original = nullptr;  // the control's own procedure, if subclassed
};
std::unordered_map<HWND, Owner>& Owners() {
    static std::unordered_map<HWND, Owner> owners;
    return owners;
}
void SetOwner(HWND hwnd, Wnd* wnd) { Owners()[hwnd] = Owner{wnd, nullptr}; }
// Only while it still names this object: a handle of a destroyed window
// may already belong to a new one.
void RemoveOwner(HWND hwnd, const Wnd* wnd) {
    const auto found = Owners().find(hwnd);
    if (found != Owners().end() && found->second.wnd == wnd) Owners().erase(found);
}

}  // namespace

const NativeChar* const ContainerClass = TEXT("VellumarkContainer");
const NativeChar* const SplitterClass = TEXT("VellumarkSplitter");

LRESULT CALLBACK ContainerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

void InitToolkit() {
    static bool done = false;
    if (done) return;
    done = true;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES |
                                              ICC_USEREX_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);

    WNDCLASSEX wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ContainerProc;
    wc.hInstance = Instance();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIcon(Instance(), TEXT("128_MAIN"));
    wc.lpszClassName = ContainerClass;
    RegisterClassEx(&wc);

    wc.hIcon = nullptr;
    wc.lpszClassName = SplitterClass;
    RegisterClassEx(&wc);
}

Wnd::~Wnd() {
    if (!hwnd) return;
    if (!original_) {
        RemoveOwner(hwnd, this);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, 0);
        return;
    }
    const auto found = Owners().find(hwnd);
    if (found == Owners().end()) return;
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == ControlProc) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        Owners().erase(found);
    } else {
        // Someone subclassed the control after us and calls our procedure
        // as theirs: it goes on passing messages to the control's own.
        found->second.wnd = nullptr;
    }
}

bool Wnd::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
bool Wnd::OnNotify(NMHDR*, LRESULT&) { return false; }
bool Wnd::OnCommand(int, int) { return false; }
int Wnd::DockHeight(int) { return dockSize; }

Wnd* Wnd::FromHandle(HWND h) {
    if (!h) return nullptr;
    const auto found = Owners().find(h);
    return found == Owners().end() ? nullptr : found->second.wnd;
}

void Wnd::Attach(HWND created, bool subclass) {
    hwnd = created;
    if (!hwnd) return;
    SetOwner(hwnd, this);
    if (subclass) {
        // Wide messages in both programs, as a control subclassed by the
        // common controls gets them.
        original_ =
            reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
        Owners()[hwnd].original = original_;
    }
}

LRESULT Wnd::Default(UINT msg, WPARAM wp, LPARAM lp) {
    return original_ ? CallWindowProcW(original_, hwnd, msg, wp, lp) : DefWindowProc(hwnd, msg, wp, lp);
}

void Wnd::SetText(std::u16string_view text) { SetWindowText(hwnd, ToNative(text).c_str()); }

std::u16string Wnd::Text() const {
    const int length = GetWindowTextLength(hwnd);
    NativeString buffer(static_cast<std::size_t>(length) + 1, 0);
    const int got = GetWindowText(hwnd, buffer.data(), length + 1);
    return FromNative(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

void Wnd::SetVisible(bool visible) {
    if (IsVisible() != visible) ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
}
bool Wnd::IsVisible() const { return (GetWindowLongPtr(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }
void Wnd::SetEnabled(bool enabled) { EnableWindow(hwnd, enabled); }
bool Wnd::IsEnabled() const { return IsWindowEnabled(hwnd) != FALSE; }
void Wnd::SetFont(HFONT font) { SendMessage(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }
void Wnd::SetFocus() { ::SetFocus(hwnd); }

RECT Wnd::ClientRect() const {
    RECT r{};
    GetClientRect(hwnd, &r);
    return r;
}

void Wnd::Repaint() { RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); }

RECT Wnd::Bounds() const {
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void Wnd::SetBounds(int x, int y, int width, int height) {
    SetWindowPos(hwnd, nullptr, x, y, width < 0 ? 0 : width, height < 0 ? 0 : height, SWP_NOZORDER | SWP_NOACTIVATE);
}

int Wnd::Width() const {
    const RECT r = Bounds();
    return r.right - r.left;
}

int Wnd::Height() const {
    const RECT r = Bounds();
    return r.bottom - r.top;
}

bool ReflectToChild(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        if (Wnd* child = Wnd::FromHandle(header->hwndFrom)) return child->OnNotify(header, result);
        // A list view's header control reports to the list view, not here.
        return false;
    }
    if (msg == WM_COMMAND && lp != 0) {
        if (Wnd* child = Wnd::FromHandle(reinterpret_cast<HWND>(lp))) {
            if (child->OnCommand(LOWORD(wp), HIWORD(wp))) {
                result = 0;
                return true;
            }
        }
    }
    return false;
}

LRESULT CALLBACK ContainerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Wnd* wnd = reinterpret_cast<Wnd*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCT*>(lp);
        wnd = static_cast<Wnd*>(create->lpCreateParams);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(wnd));
        if (wnd) {
            wnd->hwnd = hwnd;
            SetOwner(hwnd, wnd);
        }
    }
    LRESULT result = 0;
    if (ReflectToChild(msg, wp, lp, result)) return result;
    if (wnd && wnd->OnMessage(msg, wp, lp, result)) return result;
    if (msg == WM_NCDESTROY && wnd) {
        RemoveOwner(hwnd, wnd);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, 0);
        wnd->hwnd = nullptr;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    const auto found = Owners().find(hwnd);
    if (found == Owners().end()) return DefWindowProcW(hwnd, msg, wp, lp);
    // Copies: handling the message may create or destroy other windows.
    Wnd* const wnd = found->second.wnd;
    const WNDPROC original = found->second.original;
    LRESULT result = 0;
    if (wnd && wnd->OnMessage(msg, wp, lp, result)) return result;
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        Owners().erase(hwnd);
        if (wnd) {
            wnd->original_ = nullptr;
            wnd->hwnd = nullptr;
        }
    }
    return CallWindowProcW(original, hwnd, msg, wp, lp);
}

HWND CreateOwnWindow(Wnd& wnd, const NativeChar* className, DWORD style, DWORD exStyle, HWND parent,
                     const NativeChar* title, int x, int y, int width, int height) {
    InitToolkit();
    return CreateWindowEx(exStyle, className, title, style, x, y, width, height, parent, nullptr, Instance(), &wnd);
}

}  // namespace tk
