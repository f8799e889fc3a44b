#include "editing/TableView.h"

#include <algorithm>

#include "documents/DocumentTexts.h"
#include "documents/FileCompare.h"
#include "documents/History.h"
#include "documents/ItemOperations.h"
#include "editing/Commands.h"
#include "editing/EditingTexts.h"
#include "editing/EditingWindow.h"
#include "editing/Editors.h"
#include "formats/TextHelpers.h"

namespace vm {

bool Repositioning = false;

std::u16string CellText(const TTblObjects& p, int row, int column) {
    if (row < 0) return {};
    if (column == 0) return IntToDecimal(row + 1);
    const auto r = static_cast<std::size_t>(row);
    if (r >= p.Count()) return sNoData;
    return column == 1 ? p.Keys->Get(r) : p.Values->Get(r);
}

COLORREF RowColour(const TTblObjects& p, int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= p.Count()) return GetSysColor(COLOR_GRAYTEXT);
    const auto r = static_cast<std::size_t>(row);
    if (p.Keys->Flag(r) == FlagChanged || p.Values->Flag(r) == FlagChanged) return RGB(0, 128, 0);
    return CLR_DEFAULT;
}

COLORREF RowBackground(const TTblObjects& p, int row) {
    switch (DifferenceOf(p, row)) {
    case Difference::Added: return RGB(210, 230, 255);    // light blue
    case Difference::Changed: return RGB(255, 236, 190);  // light amber
    case Difference::None: break;
    }
    return CLR_DEFAULT;
}

void GoToRow(TTblObjects& p, std::int32_t row) {
    EditingWindow& w = *TheWindow;
    Workspace& ws = *p.Space;
    if (!p.Active) w.ChooseView(MenuTwoTables);
    if (row < 0 || row >= RowCountOf(p)) return;
    const std::int32_t old = ws.CurrentRow;
    ws.CurrentRow = row;
    for (TTblObjects& side : ws.sides) {
        w.SideOf(side).list.SelectOnly(row);
        SwitchEditorRow(side, row, old);
    }
    tk::ListView& list = w.SideOf(p).list;
    list.EnsureVisible(row);
    list.SetFocus();
}

COLORREF RowStrip(const TTblObjects& p, int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= p.Count()) return CLR_NONE;
    return (p.Keys->Flag(static_cast<std::size_t>(row)) & FlagMarkBit) ? RGB(230, 120, 0) : CLR_NONE;
}

void MarkToggle(TTblObjects& p) {
    tk::ListView& list = TheWindow->SideOf(p).list;
    const int f = list.FocusedRow();
    ToggleMark(p, f);
    if (f >= 0) list.RedrawRows(f, f);
}

void SyncRows(TTblObjects& p) {
    EditingWindow& w = *TheWindow;
    tk::ListView& list = w.SideOf(p).list;
    // The other list takes this list's top row, at once and before it is
    // given the current row: a list given its focused row scrolls to it
    // (wine's does), which would be a second scroll and repaint there. What
    // is asked of it is a row, not a distance, so the lists cannot drift
    // apart; both positions are noted first, so that the other list's own
    // paint does not send its position back. That paint may come at once,
    // while the other list still has the old row: it is no row change.
    const int pos = list.TopRow();
    if (pos != p.LastScrollPos) {
        TTblObjects& other = *p.Other;
        other.LastScrollPos = pos;
        p.LastScrollPos = pos;
        const bool repositioning = Repositioning;
        Repositioning = true;
        w.SideOf(other).list.ScrollToTop(pos);
        Repositioning = repositioning;
    }
    if (!Repositioning) {
        const int f = list.FocusedRow();
        Workspace& ws = *p.Space;
        if (f != ws.CurrentRow) {
            const std::int32_t old = ws.CurrentRow;
            // The edits of both tables' editors are one step, made at the
            // row left.
            HistoryStep step(StepKind::Edit, p, RowPlace::At(old));
            step.SetAfter(RowPlace::At(f));
            SwitchEditorRow(ws.sides[0], f, old);
            SwitchEditorRow(ws.sides[1], f, old);
            ws.CurrentRow = f;
        }
    }
    // Every change of a row or a table repaints a list, so the status bar
    // follows them here; it is sent only what changed.
    ShowRowStatus();
}

void ShowRowStatus() {
    EditingWindow& w = *TheWindow;
    const std::int32_t row = w.Space().CurrentRow;
    for (int side = 0; side < 2; ++side) {
        const TTblObjects& p = w.Space().sides[side];
        std::u16string text;
        if (p.Active) {
            const std::u16string number = IntToDecimal(side + 1);
            const std::u16string count = IntToDecimal(static_cast<std::int32_t>(p.Count()));
            if (row >= 0 && static_cast<std::size_t>(row) < p.Count())
                text = FillIn(sStatusRow, {number, IntToDecimal(row + 1), count});
            else text = FillIn(sStatusRows, {number, count});
        }
        w.status.SetPartText(side, text);
    }
}

// What a list cell adds to the width of its text.
constexpr int NumberMargins = 12;

int NumberColumnWidth(int rows) {
    if (rows <= 99) return 24;
    if (rows <= 999) return 28;
    if (rows <= 9999) return 32;
    return 36;
}

void SetNumberColumnWidth(int rows) {
    for (int side = 0; side < 2; ++side) {
        tk::ListView& list = TheWindow->Side(side).list;
        // Never narrower than the largest row number needs in the list's
        // font (with the cell's margins): the fixed widths cut five digits
        // off in wider fonts.
        const int w = std::max(NumberColumnWidth(rows), list.TextWidth(IntToDecimal(rows)) + NumberMargins);
        list.SetColumnWidth(0, w);
        list.SetColumnWidth(2, list.Width() - list.ColumnWidth(1) - w - 20);
    }
}

void FitValueColumn(TTblObjects& p) {
    tk::ListView& list = TheWindow->SideOf(p).list;
    list.SetColumnWidth(2, list.Width() - list.ColumnWidth(0) - list.ColumnWidth(1) - 22);
}

namespace {

constexpr int MinListHeight = 50;

// What a side shows above its list: the toolbar, the file label, the
// search bar.
int HeightAboveList(SideControls& c) {
    const int width = c.panel.ClientRect().right;
    int height = 0;
    for (tk::Wnd* control : std::initializer_list<tk::Wnd*>{&c.toolbar, &c.source, &c.searchBar})
        if (control->IsVisible()) height += control->DockHeight(width);
    return height;
}

}  // namespace

void FitSides(int side) {
    EditingWindow& w = *TheWindow;
    const bool both = w.Side(0).list.IsVisible() && w.Side(1).list.IsVisible();
    const int above[2] = {HeightAboveList(w.Side(0)), HeightAboveList(w.Side(1))};
    const int top = std::max(above[0], above[1]);
    for (int s = 0; s < 2; ++s) {
        SideControls& c = w.Side(s);
        const int gap = both ? top - above[s] : 0;
        int list = c.list.dockSize;
        if (both) {
            // A window too low for both keeps the list at its least.
            const int room = c.panel.ClientRect().bottom - top - c.splitter.dockSize;
            const int editors = std::clamp(w.editorHeight, 0, std::max(room - MinListHeight, 0));
            list = std::max(room - editors, 0);
        }
        if (gap == c.aboveList.dockSize && list == c.list.dockSize) continue;
        c.aboveList.dockSize = gap;
        c.list.dockSize = list;
        if (s != side) c.panel.Layout();
    }
}

void UpdateRowCounts() {
    const std::int32_t rows = RowCountOf(TheWindow->Space().sides[0]);
    for (int side = 0; side < 2; ++side) TheWindow->Side(side).list.SetRowCount(rows);
}

void ApplyViewLayout(int view) {
    EditingWindow& w = *TheWindow;
    const bool s1 = view != MenuOnlyTable2;
    const bool s2 = view != MenuOnlyTable1;
    TTblObjects& t1 = w.Space().sides[0];
    TTblObjects& t2 = w.Space().sides[1];
    SideControls& side1 = w.Side(0);
    SideControls& side2 = w.Side(1);
    // Every settings pass comes here and loads the editors again: what is
    // typed into them goes into the tables first (after the question), as
    // on leaving the row, instead of being lost.
    ApplyTypedEdits();

    // 1. Which tables are shown.
    t1.Active = s1;
    t2.Active = s2;
    // 2. Open and Save act on the side's own table, Color and Gender on the
    // editors shown on that side.
    side1.toolbar.SetButtonVisible(ButtonOpen, s1);
    side1.toolbar.SetButtonVisible(ButtonSave, s1);
    side1.toolbar.SetButtonVisible(ButtonColor, s2);
    side1.toolbar.SetButtonVisible(ButtonGender, s2);
    side2.toolbar.SetButtonVisible(ButtonOpen, s2);
    side2.toolbar.SetButtonVisible(ButtonSave, s2);
    side2.toolbar.SetButtonVisible(ButtonColor, s1);
    side2.toolbar.SetButtonVisible(ButtonGender, s1);
    // 3. The list/editor splitters only with both tables.
    side1.splitter.SetVisible(s1 && s2);
    side2.splitter.SetVisible(s1 && s2);
    // 4. Each side's editors show when the other table is shown.
    side1.keyEditor.SetVisible(s2);
    side1.valueEditor.SetVisible(s2);
    side2.keyEditor.SetVisible(s1);
    side2.valueEditor.SetVisible(s1);
    // 5. The lists' heights follow the key and value boxes' (FitSides).
    if (!s2) {
        side2.searchBar.SetVisible(false);
        side1.list.dock = tk::Dock::Fill;
        w.keyEditorOf[0] = &side2.keyEditor;
        w.valueEditorOf[0] = &side2.valueEditor;
    } else {
        side1.list.dock = tk::Dock::Top;
        w.keyEditorOf[0] = &side1.keyEditor;
        w.valueEditorOf[0] = &side1.valueEditor;
    }
    // 6.
    if (!s1) {
        side1.searchBar.SetVisible(false);
        side2.list.dock = tk::Dock::Fill;
        w.keyEditorOf[1] = &side1.keyEditor;
        w.valueEditorOf[1] = &side1.valueEditor;
    } else {
        side2.list.dock = tk::Dock::Top;
        w.keyEditorOf[1] = &side2.keyEditor;
        w.valueEditorOf[1] = &side2.valueEditor;
    }
    // A side's file label names its own table: over the other table's
    // editors it would name the wrong one.
    side1.source.SetVisible(s1 && !side1.source.Text().empty());
    side2.source.SetVisible(s2 && !side2.source.Text().empty());
    // 8 (before the editors are loaded, so the layout is complete).
    side1.list.SetVisible(s1);
    side2.list.SetVisible(s2);
    side1.panel.Layout();
    side2.panel.Layout();
    // 6, 7: the shown tables' editors at the current row.
    if (s1) SwitchEditorRow(t1, w.Space().CurrentRow, -1);
    if (s2) SwitchEditorRow(t2, w.Space().CurrentRow, -1);
    if (!s2) side1.list.SetFocus();
    if (!s1) side2.list.SetFocus();
    w.KeepKeyboard();
    ShowRowStatus();
}

}  // namespace vm
