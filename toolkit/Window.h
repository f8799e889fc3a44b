// The base of every control: the window handle, how the control is docked
// in its parent, and the hooks through which its messages and the
// notifications its parent reflects reach it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "toolkit/Toolkit.h"

namespace tk {

enum class Dock { None, Left, Top, Right, Bottom, Fill };

struct Wnd {
    HWND hwnd = nullptr;
    Dock dock = Dock::None;
    int dockSize = 0;  // width when docked left or right, height when top or bottom

    Wnd() = default;
    Wnd(const Wnd&) = delete;
    Wnd& operator=(const Wnd&) = delete;
    virtual ~Wnd();

    // Every message of the window before its own processing. Return true
    // when handled; result is then the message's result.
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    // A notification (WM_NOTIFY) the parent passed back to its sender.
    virtual bool OnNotify(NMHDR* header, LRESULT& result);
    // A command (WM_COMMAND) the parent passed back: id and code.
    virtual bool OnCommand(int id, int code);
    // The height the control needs when docked to the top or bottom of an
    // area this wide: dockSize, unless it arranges its contents in rows to
    // fit the width (it does so here).
    virtual int DockHeight(int width);

    void SetText(std::u16string_view text);
    std::u16string Text() const;
    void SetVisible(bool visible);
    bool IsVisible() const;
    void SetEnabled(bool enabled);
    bool IsEnabled() const;
    void SetFont(HFONT font);
    void SetFocus();
    // Redraws the whole window, background included, at once.
    void Repaint();
    RECT ClientRect() const;
    // Position within the parent's client area.
    RECT Bounds() const;
    void SetBounds(int x, int y, int width, int height);
    int Width() const;
    int Height() const;

    // The Wnd a window belongs to, or null.
    static Wnd* FromHandle(HWND hwnd);

protected:
    // For a standard control just created: route its messages to this.
    void Attach(HWND created, bool subclass);
    // The default processing of a message (the control's own window
    // procedure, or DefWindowProc for our classes).
    LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);

private:
    WNDPROC original_ = nullptr;  // a subclassed control's own procedure
    friend LRESULT CALLBACK ContainerProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK ControlProc(HWND, UINT, WPARAM, LPARAM);
};

// Passes WM_NOTIFY and WM_COMMAND from a child back to the child's Wnd.
// Every container's window procedure calls it first.
bool ReflectToChild(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

// Creates a window of one of our own classes, owned by wnd.
HWND CreateOwnWindow(Wnd& wnd, const NativeChar* className, DWORD style, DWORD exStyle, HWND parent,
                     const NativeChar* title, int x, int y, int width, int height);

extern const NativeChar* const ContainerClass;  // panels and forms
extern const NativeChar* const SplitterClass;

}  // namespace tk
