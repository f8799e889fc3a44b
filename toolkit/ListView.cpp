// The owner-data list view. Under wine its speed is set by what goes to
// the X server and to the wine server while it paints, and three things
// the common control does itself cost a row step dearly; the list goes
// round them:
// - Its own handling of Up, Down, Page Up/Down, Home and End visits every
//   row (a header query per row: 5,400 per key in a 5,400-row table), so
//   the list moves the focus and selection itself for these keys without
//   Shift or Ctrl, as the control would (Page Down to the last row in view,
//   then a page on).
// - A list given its focused row (LVM_SETITEMSTATE) scrolls to it; the
//   editing code scrolls the other list to this list's top row first
//   (SyncRows in editing/TableView.cpp), so giving it the row scrolls
//   nothing.
// - Clearing a selection goes row by row: one call for all rows visits
//   every row under wine.
// bench/window measures all of it from outside the program.
#include "toolkit/ListView.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

namespace tk {

namespace {

// The timer that opens a context menu asked for by the mouse.
constexpr UINT_PTR MenuTimer = 0x564D;

// The row a key without Shift or Ctrl moves the focus to, as the list
// itself moves it (Page Down goes to the last row in view, or a page on
// from there); -1 for other keys.
int MoveTarget(WPARAM key, int focused, int rows, int top, int perPage) {
    const int last = rows - 1;
    const int page = std::max(perPage, 1);
    switch (key) {
    case VK_UP: return focused < 0 ? 0 : std::max(focused - 1, 0);
    case VK_DOWN: return std::min(focused + 1, last);
    case VK_HOME: return 0;
    case VK_END: return last;
    case VK_PRIOR: return std::max(focused == top ? focused - page + 1 : top, 0);
    case VK_NEXT: return std::min(focused == top + page - 1 ? focused + page - 1 : top + page - 1, last);
    default: return -1;
    }
}

}  // namespace

void ListView::Create(const CreateArgs& args) {
    InitToolkit();
    dock = args.dock;
    dockSize = args.dockSize;
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS;
    Attach(CreateWindowEx(WS_EX_CLIENTEDGE, WC_LISTVIEW, nullptr, style, 0, 0, 100, 100, args.parent, nullptr,
                          Instance(), nullptr),
           true);
    ListView_SetExtendedListViewStyle(hwnd,
                                      LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_DOUBLEBUFFER);
    SendMessage(hwnd, WM_SETFONT, SendMessage(args.parent, WM_GETFONT, 0, 0), FALSE);
    DragAcceptFiles(hwnd, TRUE);
    SendMessage(hwnd, CCM_SETUNICODEFORMAT, TRUE, 0);
}

void ListView::AddColumn(std::u16string_view header, int width) {
    NativeString text = ToNative(header);
    LVCOLUMN c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.pszText = text.data();
    c.cx = width;
    ListView_InsertColumn(hwnd, columns_, &c);
    ++columns_;
}

void ListView::SetColumnText(int column, std::u16string_view header) {
    NativeString text = ToNative(header);
    LVCOLUMN c{};
    c.mask = LVCF_TEXT;
    c.pszText = text.data();
    ListView_SetColumn(hwnd, column, &c);
}

std::u16string ListView::ColumnText(int column) const {
    NativeChar buffer[256] = {};
    LVCOLUMN c{};
    c.mask = LVCF_TEXT;
    c.pszText = buffer;
    c.cchTextMax = 255;
    ListView_GetColumn(hwnd, column, &c);
    return FromNative(NativeString(buffer));
}

void ListView::SetColumnWidth(int column, int width) { ListView_SetColumnWidth(hwnd, column, width); }
int ListView::ColumnWidth(int column) const { return ListView_GetColumnWidth(hwnd, column); }

void ListView::SetRowCount(int rows) {
    SendMessage(hwnd, LVM_SETITEMCOUNT, static_cast<WPARAM>(rows < 0 ? 0 : rows), LVSICF_NOINVALIDATEALL);
    RedrawAll();
}

int ListView::RowCount() const { return ListView_GetItemCount(hwnd); }
int ListView::FocusedRow() const { return ListView_GetNextItem(hwnd, -1, LVNI_FOCUSED); }
int ListView::FirstSelected() const { return ListView_GetNextItem(hwnd, -1, LVNI_SELECTED); }
int ListView::SelectedCount() const { return static_cast<int>(ListView_GetSelectedCount(hwnd)); }
ListView::BulkChange::BulkChange(HWND list) : list_(list) { SendMessage(list_, WM_SETREDRAW, FALSE, 0); }
ListView::BulkChange::~BulkChange() {
    SendMessage(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, FALSE);
}

bool ListView::IsSelected(int row) const { return ListView_GetItemState(hwnd, row, LVIS_SELECTED) != 0; }

void ListView::SelectOnly(int row) {
    const int focused = FocusedRow();
    const int selected = SelectedCount();
    if (row >= 0 && focused == row && selected == 1 && IsSelected(row)) return;  // as it is
    if (selected > ManyRows) {
        // One pass over the list with drawing off beats a notified change
        // per selected row (after Ctrl+A, tens of thousands).
        const BulkChange bulk(hwnd);
        ListView_SetItemState(hwnd, -1, 0, LVIS_SELECTED);
    }
    // Only the selected rows are cleared: clearing "all rows" (-1) visits
    // every row of the list in some list implementations (wine's).
    for (int r = FirstSelected(); r >= 0; r = ListView_GetNextItem(hwnd, r, LVNI_SELECTED))
        if (r != row) ListView_SetItemState(hwnd, r, 0, LVIS_SELECTED);
    if (focused >= 0 && focused != row) ListView_SetItemState(hwnd, focused, 0, LVIS_FOCUSED);
    if (row >= 0) ListView_SetItemState(hwnd, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void ListView::SelectAll() {
    const BulkChange bulk(hwnd);
    ListView_SetItemState(hwnd, -1, LVIS_SELECTED, LVIS_SELECTED);
}

void ListView::SelectRange(int first, int count, int focus) {
    const BulkChange bulk(hwnd);
    ListView_SetItemState(hwnd, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (first >= 0 && count > 0) {
        if (first == 0 && count >= RowCount()) {
            ListView_SetItemState(hwnd, -1, LVIS_SELECTED, LVIS_SELECTED);  // drawing is off already
        } else {
            for (int row = first; row < first + count; ++row)
                ListView_SetItemState(hwnd, row, LVIS_SELECTED, LVIS_SELECTED);
        }
    }
    if (focus >= 0) ListView_SetItemState(hwnd, focus, LVIS_FOCUSED, LVIS_FOCUSED);
}
void ListView::EnsureVisible(int row) { ListView_EnsureVisible(hwnd, row, FALSE); }
int ListView::TopRow() const { return ListView_GetTopIndex(hwnd); }

void ListView::ScrollToTop(int row) {
    const int top = TopRow();
    if (row >= 0 && row != top) ListView_Scroll(hwnd, 0, (row - top) * RowHeight());
}

int ListView::RowHeight() const {
    RECT r{};
    if (RowCount() > 0 && ListView_GetItemRect(hwnd, 0, &r, LVIR_BOUNDS)) return r.bottom - r.top;
    return 16;
}

int ListView::TextWidth(std::u16string_view text) const {
    const std::u16string s(text);
    return static_cast<int>(SendMessageW(hwnd, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(s.c_str())));
}

bool ListView::GapUnderHeader(RECT& gap) const {
    const int top = TopRow();
    RECT row{}, header{};
    if (top < 0 || !ListView_GetItemRect(hwnd, top, &row, LVIR_BOUNDS)) return false;
    if (!GetWindowRect(ListView_GetHeader(hwnd), &header)) return false;
    const LONG below = header.bottom - header.top;
    if (row.top <= below) return false;
    gap = ClientRect();
    gap.top = below;
    gap.bottom = row.top;
    return true;
}

void ListView::RedrawRows(int first, int last) { ListView_RedrawItems(hwnd, first, last); }
void ListView::RedrawAll() { InvalidateRect(hwnd, nullptr, FALSE); }

bool ListView::OnNotify(NMHDR* header, LRESULT& result) {
    switch (header->code) {
    case LVN_GETDISPINFOW: {
        // Cell texts are table text: the list is switched to wide
        // notifications in every build, so they arrive as UTF-16.
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
        LVITEMW& item = info->item;
        if (item.mask & LVIF_IMAGE) item.iImage = -1;
        if (item.mask & LVIF_STATE) item.state = 0;
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
            cellText_ = onCellText ? onCellText(item.iItem, item.iSubItem) : std::u16string();
            // The list copies at most cchTextMax - 1 characters.
            const std::size_t n =
                std::min<std::size_t>(cellText_.size(), static_cast<std::size_t>(item.cchTextMax - 1));
            cellText_.copy(reinterpret_cast<char16_t*>(item.pszText), n);
            item.pszText[n] = 0;
        }
        result = 0;
        return true;
    }
    case NM_CUSTOMDRAW: {
        auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
        if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
            result = CDRF_NOTIFYITEMDRAW;
            return true;
        }
        const int row = static_cast<int>(draw->nmcd.dwItemSpec);
        if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            const COLORREF c = onRowColour ? onRowColour(row) : CLR_DEFAULT;
            if (c != CLR_DEFAULT) draw->clrText = c;
            const COLORREF b = onRowBackground ? onRowBackground(row) : CLR_DEFAULT;
            if (b != CLR_DEFAULT) draw->clrTextBk = b;
            // Only a row with a strip asks to be told after its painting.
            const bool strip = onRowStrip && onRowStrip(row) != CLR_NONE;
            result = strip ? CDRF_NOTIFYPOSTPAINT : CDRF_DODEFAULT;
            return true;
        }
        if (draw->nmcd.dwDrawStage == CDDS_ITEMPOSTPAINT && onRowStrip) {
            const COLORREF c = onRowStrip(row);
            RECT r{};
            if (c != CLR_NONE && ListView_GetItemRect(hwnd, row, &r, LVIR_BOUNDS)) {
                r.right = r.left + 4;
                SetDCBrushColor(draw->nmcd.hdc, c);
                FillRect(draw->nmcd.hdc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
            }
        }
        result = CDRF_DODEFAULT;
        return true;
    }
    case NM_DBLCLK:
        if (onActivate) {
            const int row = reinterpret_cast<NMITEMACTIVATE*>(header)->iItem;
            if (row >= 0) onActivate(row);
        }
        return false;
    case LVN_COLUMNCLICK:
        if (onColumnClick) onColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
        result = 0;
        return true;
    default: return false;
    }
}

bool ListView::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case WM_PAINT: {
        if (onPaint) onPaint();
        // Wine's list leaves a gap of a few pixels between its header and
        // the top row: at the top of the list it paints nothing there (its
        // double buffer shows black, and a list made larger keeps a piece of
        // the old header's edge), and a repaint of a scrolled list draws the
        // bottom of the row above into it. The gap is cleared after the
        // list's own painting whenever the repaint reached it.
        RECT gap{}, update{}, both{};
        const bool clear =
            GapUnderHeader(gap) && GetUpdateRect(hwnd, &update, FALSE) && IntersectRect(&both, &gap, &update);
        result = Default(msg, wp, lp);
        if (clear) {
            HDC dc = GetDC(hwnd);
            SetDCBrushColor(dc, ListView_GetBkColor(hwnd));
            FillRect(dc, &gap, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
            ReleaseDC(hwnd, dc);
        }
        return true;
    }
    case WM_GETDLGCODE:
        if (onActivate && lp && reinterpret_cast<const MSG*>(lp)->message == WM_KEYDOWN &&
            reinterpret_cast<const MSG*>(lp)->wParam == VK_RETURN) {
            result = Default(msg, wp, lp) | DLGC_WANTALLKEYS;
            return true;
        }
        return false;
    case WM_KEYDOWN:
        if (wp == VK_RETURN && onActivate) {
            if (FocusedRow() >= 0) onActivate(FocusedRow());
            result = 0;
            return true;
        }
        if (onKeyDown && onKeyDown(wp, lp)) {
            result = 0;
            return true;
        }
        if (GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0) {
            // The list's own moves are done here: under wine its own key
            // handling walks every row of the list for each key (tens of
            // thousands of header queries per row step).
            const int rows = RowCount();
            const int target = MoveTarget(wp, FocusedRow(), rows, TopRow(), ListView_GetCountPerPage(hwnd));
            if (target >= 0 && rows > 0) {
                SelectOnly(target);
                ListView_SetSelectionMark(hwnd, target);
                EnsureVisible(target);
                result = 0;
                return true;
            }
        }
        return false;
    case WM_CHAR:
        // No type-ahead search: the list never sees typed characters.
        result = Default(msg, 0, lp);
        return true;
    case WM_RBUTTONDBLCLK:
        // The second click of a right double-click: no menu for the first,
        // nor for the release of this one.
        KillTimer(hwnd, MenuTimer);
        skipMouseMenu_ = true;
        if (onRightDoubleClick) onRightDoubleClick();
        return false;
    case WM_RBUTTONDOWN: skipMouseMenu_ = false; return false;
    case WM_LBUTTONDOWN:
    case WM_KILLFOCUS:
        KillTimer(hwnd, MenuTimer);  // the user went on: no menu
        return false;
    case WM_CONTEXTMENU:
        if (onContextMenu) {
            int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
            if (x == -1 && y == -1) {  // from the keyboard: at once, at the focused row
                RECT r{};
                const int row = FocusedRow();
                if (row < 0 || !ListView_GetItemRect(hwnd, row, &r, LVIR_BOUNDS)) GetClientRect(hwnd, &r);
                POINT p{r.left + 10, r.bottom};
                ClientToScreen(hwnd, &p);
                onContextMenu(p.x, p.y);
            } else if (skipMouseMenu_) {
                skipMouseMenu_ = false;
            } else {
                // From the mouse the menu waits for the double-click time: a
                // menu open at once would swallow the second click of a
                // right double-click.
                menuAt_ = POINT{x, y};
                SetTimer(hwnd, MenuTimer, GetDoubleClickTime(), nullptr);
            }
            result = 0;
            return true;
        }
        return false;
    case WM_TIMER:
        if (wp != MenuTimer) return false;
        KillTimer(hwnd, MenuTimer);
        if (onContextMenu) onContextMenu(menuAt_.x, menuAt_.y);
        result = 0;
        return true;
    case WM_DROPFILES: {
        HDROP drop = reinterpret_cast<HDROP>(wp);
        std::vector<std::u16string> files;
        const UINT count = DragQueryFile(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            const UINT length = DragQueryFile(drop, i, nullptr, 0);
            NativeString name(length + 1, 0);
            DragQueryFile(drop, i, name.data(), length + 1);
            files.push_back(FromNative(name.data(), length));
        }
        DragFinish(drop);
        if (onDropFiles) onDropFiles(files);
        result = 0;
        return true;
    }
    case WM_SIZE:
        result = Default(msg, wp, lp);
        if (onSize) onSize();
        return true;
    default: return false;
    }
}

}  // namespace tk
