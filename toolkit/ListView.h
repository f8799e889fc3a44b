// An owner-data report list view: it holds no text; every cell is asked
// for when it is painted, and rows are coloured at paint time.
#pragma once

#include <vector>

#include "toolkit/Window.h"

namespace tk {

struct ListView : Wnd {
    struct CreateArgs {
        HWND parent = nullptr;
        Dock dock = Dock::Top;
        int dockSize = 200;
    };
    void Create(const CreateArgs& args);

    void AddColumn(std::u16string_view header, int width);
    void SetColumnText(int column, std::u16string_view text);
    std::u16string ColumnText(int column) const;
    void SetColumnWidth(int column, int width);
    int ColumnWidth(int column) const;

    void SetRowCount(int rows);
    int RowCount() const;
    int FocusedRow() const;  // -1 for none
    int FirstSelected() const;
    int SelectedCount() const;
    bool IsSelected(int row) const;
    // Makes row the only selected and the focused row (none when row < 0).
    void SelectOnly(int row);
    void SelectAll();
    // Selects count rows from first on (none when count is 0) and makes
    // focus the focused row.
    void SelectRange(int first, int count, int focus);
    void EnsureVisible(int row);
    int TopRow() const;
    // Scrolls so that row becomes the top row.
    void ScrollToTop(int row);
    int RowHeight() const;
    // Width of text drawn in the list's font, without the cell's margins.
    int TextWidth(std::u16string_view text) const;
    void RedrawRows(int first, int last);
    void RedrawAll();

    // The text of a cell: row, column.
    std::function<std::u16string(int row, int column)> onCellText;
    // The text colour of a row, or CLR_DEFAULT.
    std::function<COLORREF(int row)> onRowColour;
    // The background colour of a row, or CLR_DEFAULT.
    std::function<COLORREF(int row)> onRowBackground;
    // The colour of a strip drawn at the row's left edge, or CLR_NONE for
    // none; it shows on selected rows too.
    std::function<COLORREF(int row)> onRowStrip;
    // Before the list paints (WM_PAINT).
    std::function<void()> onPaint;
    // A key before the list handles it; true consumes it.
    std::function<bool(WPARAM key, LPARAM keyData)> onKeyDown;
    std::function<void(int column)> onColumnClick;
    std::function<void()> onRightDoubleClick;
    // Enter or a double-click on a row (set before Create: the list then
    // takes the Enter key for itself).
    std::function<void(int row)> onActivate;
    std::function<void(const std::vector<std::u16string>& files)> onDropFiles;
    std::function<void(int x, int y)> onContextMenu;  // screen position
    std::function<void()> onSize;                     // after resizing

    bool OnNotify(NMHDR* header, LRESULT& result) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    // Selection changes of more rows than this go through one pass over
    // the list instead of one change per row.
    static constexpr int ManyRows = 64;
    // Drawing off while many rows change state: the list then does not
    // invalidate row by row (under wine each is a call to its server), and
    // it is repainted once at the end.
    struct BulkChange {
        explicit BulkChange(HWND list);
        ~BulkChange();
        BulkChange(const BulkChange&) = delete;
        BulkChange& operator=(const BulkChange&) = delete;
        HWND list_;
    };

    // The strip between the header and the top row, when there is one.
    bool GapUnderHeader(RECT& gap) const;

    int columns_ = 0;
    POINT menuAt_{};              // where the waiting context menu opens
    bool skipMouseMenu_ = false;  // after a right double-click, until the next right click
    std::u16string cellText_;     // valid until the next cell request
};

}  // namespace tk
