#include "editing/Search.h"

#include "editing/EditingTexts.h"
#include "editing/EditingWindow.h"
#include "editing/Editors.h"
#include "formats/TextHelpers.h"

namespace vm {

namespace {

const std::u16string& LabelOf(int mode) {
    if (mode == 1) return sFindKey;
    if (mode == 2) return sFindValue;
    return sGoTo;
}

}  // namespace

// The first entry after row current whose text starts with s, going round
// past the end; the current row's own entry comes last. When current is no
// entry of the list the search starts at entry 0.
int FindEntry(const TStringList& list, const std::u16string& s, std::int32_t current) {
    const auto n = static_cast<std::int64_t>(list.Count());
    if (n == 0 || s.empty()) return -1;
    const std::int64_t start = (current >= 0 && current < n) ? current + 1 : 0;
    for (std::int64_t visited = 0; visited < n; ++visited) {
        const std::int64_t i = (start + visited) % n;
        const std::u16string& entry = list.Get(static_cast<std::size_t>(i));
        if (entry.size() >= s.size() && entry.compare(0, s.size(), s) == 0) return static_cast<int>(i);
    }
    return -1;
}

void ToggleSearchBar(TTblObjects& p, int mode) {
    if (p.Count() == 0) return;
    SideControls& c = TheWindow->SideOf(p);
    if (!p.SearchShown) {
        c.searchBar.SetVisible(true);
        c.panel.Layout();
        p.SearchShown = true;
    } else if (mode == p.SearchMode) {
        // The keyboard does not leave with the bar: it goes to the list.
        const bool hadKeyboard = IsChild(c.searchBar.hwnd, GetFocus()) != FALSE;
        c.searchBar.SetVisible(false);
        c.panel.Layout();
        p.SearchShown = false;
        if (hadKeyboard && c.list.IsVisible()) c.list.SetFocus();
        return;
    }
    if (mode != p.SearchMode) {
        p.SearchMode = mode;
        LabelSearchBar(p);
    }
    // Opened or switched, the bar takes the keyboard with its text
    // selected, so what is typed replaces the last search.
    c.searchBox.SetFocus();
    c.searchBox.SelectAllText();
}

void LabelSearchBar(TTblObjects& p) {
    SideControls& c = TheWindow->SideOf(p);
    c.searchLabel.SetText(LabelOf(p.SearchMode));
    c.searchLabel.dockSize = c.searchLabel.TextWidth();
    c.searchBar.Layout();
}

void RunSearch(TTblObjects& p) {
    EditingWindow& w = *TheWindow;
    SideControls& c = w.SideOf(p);
    const std::u16string text = c.searchBox.Text();
    if (text.empty()) return;
    const std::int32_t rows = RowCountOf(p);
    std::int32_t row = -1;
    if (p.SearchMode == 0) {
        const std::int32_t t = DecimalToInt(text.c_str()) - 1;
        if (t >= rows || t < -1) return;  // beyond the rows, or a negative number
        row = t;
    } else {
        row = FindEntry(p.SearchMode == 1 ? *p.Keys : *p.Values, text, p.Space->CurrentRow);
        if (row < 0) return;
    }
    p.Space->CurrentRow = row;
    bool known = false;
    for (int i = 0; i < c.searchBox.ItemCount() && !known; ++i) known = c.searchBox.Item(i) == text;
    if (!known) c.searchBox.AddItem(text);

    c.list.SelectOnly(row);
    SwitchEditorRow(p, row, -1);
    w.SideOf(*p.Other).list.SelectOnly(row);
    SwitchEditorRow(*p.Other, row, -1);
    if (row >= 0) c.list.EnsureVisible(row);
    // The next search is typed over this one.
    c.searchBox.SelectAllText();
}

}  // namespace vm
