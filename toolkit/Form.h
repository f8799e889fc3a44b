// The top-level window: a panel with a frame, a menu bar, a minimum size
// and an icon. Menu choices arrive by entry number.
#pragma once

#include "toolkit/Menu.h"
#include "toolkit/Panel.h"

namespace tk {

struct Form : Panel {
    struct CreateArgs {
        std::u16string title;
        int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
        int clientWidth = 600, clientHeight = 400;
        int minWidth = 0, minHeight = 0;  // outer size
        const NativeChar* iconName = nullptr;
    };
    void CreateForm(const CreateArgs& args);

    MainMenu* menu = nullptr;  // AttachMenu
    void AttachMenu(MainMenu& m);

    std::function<void(int number)> onMenu;
    // A close request (frame, Alt+F4, session end); false keeps the window.
    std::function<bool()> onClose;
    std::function<void()> onDestroy;
    // Minimise, maximise and restore, after the default processing.
    std::function<void(WPARAM command)> onSysCommand;
    // Any other message before the default processing.
    std::function<bool(UINT, WPARAM, LPARAM, LRESULT&)> onMessage;
    // A key pressed in any control of the form, before the control sees
    // it (the form's own shortcuts); true consumes it.
    std::function<bool(WPARAM key)> onKeyPreview;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    // Gives the keyboard back to the control that had it last (or, when
    // that one is gone, hidden or disabled, to the first control Tab
    // reaches). The window does this itself whenever it is activated, so
    // the keyboard is where it was after another window, a message box or
    // a dialog.
    void RestoreFocus();

private:
    int minWidth_ = 0, minHeight_ = 0;
    HWND lastFocus_ = nullptr;
    friend LRESULT CALLBACK WatchFocus(int, WPARAM, LPARAM);
};

// Runs the message loop until WM_QUIT; Tab and Shift+Tab move the focus
// between the controls of the window.
int RunMessageLoop(HWND main);

// Offers a key-down message to the onKeyPreview of the form its window
// belongs to; true when the form took it (then it is not dispatched).
bool PreviewKey(const MSG& msg);

}  // namespace tk
