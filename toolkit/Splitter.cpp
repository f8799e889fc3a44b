#include "toolkit/Splitter.h"

#include <windowsx.h>

namespace tk {

void Splitter::Create(const CreateArgs& args) {
    parent_ = args.parent;
    before_ = args.before;
    vertical_ = args.vertical;
    minBefore_ = args.minBefore;
    minAfter_ = args.minAfter;
    dock = vertical_ ? Dock::Left : Dock::Top;
    dockSize = args.thickness;
    CreateOwnWindow(*this, SplitterClass, WS_CHILD | WS_VISIBLE, 0, parent_->hwnd, TEXT(""), 0, 0, 4, 4);
    parent_->Add(*this);
}

bool Splitter::OnMessage(UINT msg, WPARAM, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case WM_SETCURSOR:
        SetCursor(LoadCursor(nullptr, vertical_ ? IDC_SIZEWE : IDC_SIZENS));
        result = TRUE;
        return true;
    case WM_LBUTTONDOWN:
        dragging_ = true;
        grabOffset_ = vertical_ ? GET_X_LPARAM(lp) : GET_Y_LPARAM(lp);
        SetCapture(hwnd);
        result = 0;
        return true;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (dragging_) {
            dragging_ = false;
            if (msg == WM_LBUTTONUP) ReleaseCapture();
        }
        result = 0;
        return true;
    case WM_MOUSEMOVE: {
        if (!dragging_ || !before_ || !parent_) return false;
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        MapWindowPoints(hwnd, parent_->hwnd, &p, 1);
        const RECT b = before_->Bounds();
        const RECT area = parent_->ClientRect();
        const int start = vertical_ ? b.left : b.top;
        const int end = vertical_ ? area.right : area.bottom;
        int size = (vertical_ ? p.x : p.y) - grabOffset_ - start;
        const int total = end - start - dockSize;  // before + after
        if (size > total - minAfter_) size = total - minAfter_;
        if (size < minBefore_) size = minBefore_;
        if (size < 0) size = 0;
        if (size != before_->dockSize && (!onMove || onMove(size, total - size))) {
            before_->dockSize = size;
            parent_->Layout();
        }
        result = 0;
        return true;
    }
    default: return false;
    }
}

}  // namespace tk
