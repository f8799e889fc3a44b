// A plain container that lays its children out by their dock: in the order
// they were added, each left, top, right or bottom child takes its
// dockSize from the remaining area, and a fill child takes what is left.
// Hidden children take no room.
#pragma once

#include "toolkit/Window.h"

namespace tk {

struct Panel : Wnd {
    struct CreateArgs {
        HWND parent = nullptr;
        Dock dock = Dock::None;
        int dockSize = 0;
        DWORD style = 0;    // added to WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN
        DWORD exStyle = 0;  // added to WS_EX_CONTROLPARENT
    };
    void Create(const CreateArgs& args);

    // Children in layout order.
    std::vector<Wnd*> children;
    void Add(Wnd& child) { children.push_back(&child); }
    void Layout();

    std::function<void()> onSize;  // size changed, before the layout
    // Before every layout of the children (a size change or Layout()), so
    // that their sizes can follow what the panel holds.
    std::function<void()> onLayout;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    HFONT font_ = nullptr;  // handed to the children created in the panel
};

// Lays out the docked children inside the rectangle.
void LayoutChildren(const std::vector<Wnd*>& children, RECT area);

}  // namespace tk
