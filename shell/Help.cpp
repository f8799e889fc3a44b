#include "shell/Help.h"

#include "shell/InterfaceTexts.h"
#include "shell/MainWindow.h"

namespace vm {

const char16_t* const AboutText =
#ifdef VM_ANSI_BUILD
    u"ANSI Version\r\n"
#else
    u"Unicode Version\r\n"
#endif
    u"\r\n"
    u"Vellumark v" VM_VERSION_TITLE u", an editor for the string tables of Diablo II\r\n"
    u"Copyright (c) 2026 the Vellumark developers";

HelpWindow* TheHelpWindow = nullptr;

namespace {
HelpWindow HelpInstance;
}

HelpWindow::~HelpWindow() {
    if (hwnd) DestroyWindow(hwnd);
    if (font) DeleteObject(font);
}

bool HelpWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == WM_CLOSE) {  // the frame's close box: gone until asked for again
        DestroyWindow(hwnd);
        result = 0;
        return true;
    }
    return Panel::OnMessage(msg, wp, lp, result);
}

void CreateHelpWindow() {
    HelpWindow& h = HelpInstance;
    TheHelpWindow = &h;
    if (h.hwnd) return;
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;
    RECT r{0, 0, 478, 281};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    HWND owner = TheMainWindow ? TheMainWindow->form.hwnd : nullptr;
    tk::CreateOwnWindow(h, tk::ContainerClass, style, exStyle, owner, TEXT("Help"), 283, 183, r.right - r.left,
                        r.bottom - r.top);
    // The container class has the program's icon; this window has none.
    SendMessage(h.hwnd, WM_SETICON, ICON_SMALL, 0);
    SendMessage(h.hwnd, WM_SETICON, ICON_BIG, 0);
    if (!h.font) {
        h.font = tk::CreateFontByName(TEXT("Arial"), -11, FW_NORMAL, RUSSIAN_CHARSET);
    }
    h.SetFont(h.font);
    h.children.clear();
    h.text.Create({h.hwnd, true, tk::Dock::None, 0, true, true, true});
    h.text.SetBounds(0, 0, 474, 231);
    h.text.SetTextClean(sHotKeyText);
    h.ok.Create({h.hwnd, u"OK", tk::Dock::None, 0});
    h.ok.SetBounds(184, 240, 121, 33);
    h.ok.onClick = [] { ShowWindow(HelpInstance.hwnd, SW_HIDE); };
    HMENU system = GetSystemMenu(h.hwnd, FALSE);
    if (system) EnableMenuItem(system, SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
}

void ShowHelp() {
    if (!HelpInstance.hwnd) CreateHelpWindow();
    // In the language chosen now.
    if (HelpInstance.text.Text() != sHotKeyText) HelpInstance.text.SetTextClean(sHotKeyText);
    ShowWindow(HelpInstance.hwnd, SW_SHOW);
    SetForegroundWindow(HelpInstance.hwnd);
}

void DestroyHelpWindow() {
    if (HelpInstance.hwnd) DestroyWindow(HelpInstance.hwnd);
}

}  // namespace vm
