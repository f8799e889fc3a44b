// A bar between two docked neighbours. Dragging it changes the dockSize of
// the control before it (the one docked at the same edge just before the
// splitter), within the minimum sizes on both sides, and lays the parent
// out again.
#pragma once

#include "toolkit/Panel.h"

namespace tk {

struct Splitter : Wnd {
    struct CreateArgs {
        Panel* parent = nullptr;
        Wnd* before = nullptr;  // the control whose size the splitter sets
        bool vertical = true;   // true: docked left, moves sideways
        int thickness = 4;
        int minBefore = 0;
        int minAfter = 0;
    };
    void Create(const CreateArgs& args);

    // Asked with the proposed sizes of the control before and the space
    // after; false refuses the move.
    std::function<bool(int before, int after)> onMove;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    Panel* parent_ = nullptr;
    Wnd* before_ = nullptr;
    bool vertical_ = true;
    int minBefore_ = 0, minAfter_ = 0;
    bool dragging_ = false;
    int grabOffset_ = 0;
};

}  // namespace tk
