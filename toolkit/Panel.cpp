#include "toolkit/Panel.h"

#include <algorithm>

namespace tk {

void LayoutChildren(const std::vector<Wnd*>& children, RECT area) {
    HDWP batch = BeginDeferWindowPos(static_cast<int>(children.size()));
    auto place = [&batch](Wnd* w, LONG x, LONG y, LONG width, LONG height) {
        if (width < 0) width = 0;
        if (height < 0) height = 0;
        if (batch)
            batch = DeferWindowPos(batch, w->hwnd, nullptr, x, y, width, height,
                                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
        else SetWindowPos(w->hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    };
    for (Wnd* w : children) {
        if (!w->hwnd || !w->IsVisible()) continue;
        const LONG width = area.right - area.left;
        const LONG height = area.bottom - area.top;
        // A control docked to the top or bottom may need more height when
        // its contents wrap to the width (a toolbar's buttons).
        const LONG size = w->dock == Dock::Top || w->dock == Dock::Bottom ? w->DockHeight(width) : w->dockSize;
        switch (w->dock) {
        case Dock::Left:
            place(w, area.left, area.top, std::min(size, width), height);
            area.left += std::min(size, width);
            break;
        case Dock::Right:
            place(w, area.right - std::min(size, width), area.top, std::min(size, width), height);
            area.right -= std::min(size, width);
            break;
        case Dock::Top:
            place(w, area.left, area.top, width, std::min(size, height));
            area.top += std::min(size, height);
            break;
        case Dock::Bottom:
            place(w, area.left, area.bottom - std::min(size, height), width, std::min(size, height));
            area.bottom -= std::min(size, height);
            break;
        case Dock::Fill: place(w, area.left, area.top, width, height); break;
        case Dock::None: break;
        }
    }
    if (batch) EndDeferWindowPos(batch);
}

void Panel::Create(const CreateArgs& args) {
    dock = args.dock;
    dockSize = args.dockSize;
    CreateOwnWindow(*this, ContainerClass, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | args.style,
                    WS_EX_CONTROLPARENT | args.exStyle, args.parent, TEXT(""), 0, 0, 10, 10);
    if (args.parent) font_ = reinterpret_cast<HFONT>(SendMessage(args.parent, WM_GETFONT, 0, 0));
}

void Panel::Layout() {
    if (onLayout) onLayout();
    LayoutChildren(children, ClientRect());
}

bool Panel::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
    if (msg == WM_SETFONT) {
        font_ = reinterpret_cast<HFONT>(wp);
        result = 0;
        return true;
    }
    if (msg == WM_GETFONT) {
        result = reinterpret_cast<LRESULT>(font_);
        return true;
    }
    if (msg == WM_SIZE) {
        if (onSize) onSize();
        Layout();
        result = 0;
        return true;
    }
    return false;
}

}  // namespace tk
