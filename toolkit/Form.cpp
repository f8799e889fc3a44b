#include "toolkit/Form.h"

namespace tk {

// Every focus change of the thread: a control of a form that takes the
// keyboard becomes the form's last focus. (A focus that merely goes away,
// as when the form is disabled for a message box, changes nothing.)
LRESULT CALLBACK WatchFocus(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_SETFOCUS && wp) {
        const HWND gaining = reinterpret_cast<HWND>(wp);
        const HWND root = GetAncestor(gaining, GA_ROOT);
        if (root && root != gaining)
            if (auto* form = dynamic_cast<Form*>(Wnd::FromHandle(root))) form->lastFocus_ = gaining;
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

void Form::CreateForm(const CreateArgs& args) {
    thread_local const HHOOK watch = SetWindowsHookEx(WH_CBT, WatchFocus, nullptr, GetCurrentThreadId());
    (void)watch;
    minWidth_ = args.minWidth;
    minHeight_ = args.minHeight;
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_CONTROLPARENT;
    RECT r{0, 0, args.clientWidth, args.clientHeight};
    AdjustWindowRectEx(&r, style, TRUE, exStyle);
    CreateOwnWindow(*this, ContainerClass, style, exStyle, nullptr, ToNative(args.title).c_str(), args.x, args.y,
                    r.right - r.left, r.bottom - r.top);
    if (args.iconName) {
        HICON big = static_cast<HICON>(LoadImage(Instance(), args.iconName, IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                 GetSystemMetrics(SM_CYICON), 0));
        HICON small = static_cast<HICON>(LoadImage(Instance(), args.iconName, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), 0));
        if (big) SendMessage(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
        if (small) SendMessage(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    }
}

void Form::AttachMenu(MainMenu& m) {
    menu = &m;
    m.AttachTo(hwnd);
}

bool Form::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        info->ptMinTrackSize.x = minWidth_;
        info->ptMinTrackSize.y = minHeight_;
        result = 0;
        return true;
    }
    case WM_COMMAND:
        if (lp == 0 && HIWORD(wp) == 0 && menu) {
            const int number = menu->Choose(LOWORD(wp));
            if (number >= 0) {
                if (onMenu) onMenu(number);
                result = 0;
                return true;
            }
        }
        break;
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
        if (HandleMenuOwnerDraw(msg, lp, result)) return true;
        break;
    case WM_CLOSE:
        if (onClose && !onClose()) {
            result = 0;
            return true;
        }
        DestroyWindow(hwnd);
        result = 0;
        return true;
    case WM_ACTIVATE:
        // Not the default, which gives the keyboard to the window itself,
        // where no key does anything.
        if (LOWORD(wp) != WA_INACTIVE && !HIWORD(wp)) {
            RestoreFocus();
            result = 0;
            return true;
        }
        break;
    case WM_SETFOCUS:
        RestoreFocus();
        result = 0;
        return true;
    case WM_QUERYENDSESSION: result = (!onClose || onClose()) ? TRUE : FALSE; return true;
    case WM_DESTROY:
        if (onDestroy) onDestroy();
        PostQuitMessage(0);
        result = 0;
        return true;
    case WM_SYSCOMMAND: {
        const WPARAM command = wp & 0xFFF0;
        if (command == SC_MINIMIZE || command == SC_MAXIMIZE || command == SC_RESTORE) {
            result = DefWindowProc(hwnd, msg, wp, lp);
            if (onSysCommand) onSysCommand(command);
            return true;
        }
        break;
    }
    default: break;
    }
    if (onMessage && onMessage(msg, wp, lp, result)) return true;
    return Panel::OnMessage(msg, wp, lp, result);
}

void Form::RestoreFocus() {
    HWND target = lastFocus_;
    if (!target || !IsWindow(target) || !IsChild(hwnd, target) || !IsWindowVisible(target) || !IsWindowEnabled(target))
        target = GetNextDlgTabItem(hwnd, nullptr, FALSE);
    if (target && target != GetFocus()) ::SetFocus(target);
}

bool PreviewKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || !msg.hwnd) return false;
    auto* form = dynamic_cast<Form*>(Wnd::FromHandle(GetAncestor(msg.hwnd, GA_ROOT)));
    return form && form->onKeyPreview && form->onKeyPreview(msg.wParam);
}

int RunMessageLoop(HWND main) {
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        if (PreviewKey(msg)) continue;
        // Dialog-style navigation only among the main window's controls;
        // other top-level windows (help, dialogs) run their own.
        HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (root == main && IsDialogMessage(main, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace tk
