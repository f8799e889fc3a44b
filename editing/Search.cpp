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

bool IsFindMode(int mode) { return mode == 1 || mode == 2; }

bool& AnywhereOf(TTblObjects& p, int mode) { return mode == 2 ? p.FindValueAnywhere : p.FindKeyAnywhere; }

bool Matches(std::u16string_view entry, std::u16string_view s, bool anywhere) {
    if (anywhere) return FindIgnoringCase(entry, s) != std::u16string_view::npos;
    return entry.size() >= s.size() && entry.compare(0, s.size(), s) == 0;
}

// The bar's label says "not found" after a find that found nothing, until
// the next search or the next key typed into the box. In the label's place
// it takes none of the box's width, which a narrow side has little of.
void ShowNotFound(TTblObjects& p, bool notFound) {
    if (p.SearchNotFound == notFound) return;
    p.SearchNotFound = notFound;
    LabelSearchBar(p);
}

// Shows p's bar in mode with the keyboard in its box, the text selected,
// so what is typed replaces the last search.
void OpenSearchBar(TTblObjects& p, int mode) {
    SideControls& c = TheWindow->SideOf(p);
    if (!c.searchBar.IsVisible()) {
        c.searchBar.SetVisible(true);
        c.panel.Layout();
    }
    p.SearchShown = true;
    p.SearchMode = mode;
    p.SearchNotFound = false;
    if (IsFindMode(mode)) p.FindMode = mode;
    LabelSearchBar(p);
    c.searchBox.SetFocus();
    c.searchBox.SelectAllText();
}

// The side F3 searches: the one whose search bar, list or editors have
// the keyboard, else the first one showing its bar, else the one the Edit
// menu acts on.
TTblObjects& SideToSearch() {
    EditingWindow& w = *TheWindow;
    const HWND focus = GetFocus();
    TTblObjects* barShown = nullptr;
    for (TTblObjects& p : w.Space().sides) {
        if (!p.Active) continue;
        SideControls& c = w.SideOf(p);
        if (focus && (IsChild(c.searchBar.hwnd, focus) || focus == c.list.hwnd || focus == w.KeyEditorOf(p).hwnd ||
                      focus == w.ValueEditorOf(p).hwnd))
            return p;
        if (!barShown && c.searchBar.IsVisible()) barShown = &p;
    }
    return barShown ? *barShown : w.EditTarget();
}

}  // namespace

int FindEntry(const TStringList& list, const std::u16string& s, std::int32_t current, bool anywhere, int step) {
    const auto n = static_cast<std::int64_t>(list.Count());
    if (n == 0 || s.empty()) return -1;
    const bool onEntry = current >= 0 && current < n;
    // Backwards the indexes count down from start, never below 0.
    const std::int64_t start = step < 0 ? (onEntry ? current - 1 + n : n - 1) : (onEntry ? current + 1 : 0);
    for (std::int64_t visited = 0; visited < n; ++visited) {
        const std::int64_t i = step < 0 ? (start - visited) % n : (start + visited) % n;
        if (Matches(list.Get(static_cast<std::size_t>(i)), s, anywhere)) return static_cast<int>(i);
    }
    return -1;
}

void ToggleSearchBar(TTblObjects& p, int mode) {
    if (p.Count() == 0) return;
    SideControls& c = TheWindow->SideOf(p);
    if (p.SearchShown && mode == p.SearchMode) {
        // The keyboard does not leave with the bar: it goes to the list.
        const bool hadKeyboard = IsChild(c.searchBar.hwnd, GetFocus()) != FALSE;
        c.searchBar.SetVisible(false);
        c.panel.Layout();
        p.SearchShown = false;
        if (hadKeyboard && c.list.IsVisible()) c.list.SetFocus();
        return;
    }
    OpenSearchBar(p, mode);
}

void LabelSearchBar(TTblObjects& p) {
    SideControls& c = TheWindow->SideOf(p);
    c.searchLabel.SetText(p.SearchNotFound ? sSearchNotFound : LabelOf(p.SearchMode));
    c.searchLabel.dockSize = c.searchLabel.TextWidth();
    // The match choice in the find modes only.
    const bool find = IsFindMode(p.SearchMode);
    if (find) {
        c.searchMatch.SetItems({sSearchAnywhere, sSearchAtStart}, AnywhereOf(p, p.SearchMode) ? 0 : 1);
        c.searchMatch.dockSize = c.searchMatch.ItemsWidth();
    }
    c.searchMatch.SetVisible(find);
    c.searchBar.Layout();
}

void ClearNotFound(TTblObjects& p) { ShowNotFound(p, false); }

void ChooseSearchMatch(TTblObjects& p, bool anywhere) {
    if (!IsFindMode(p.SearchMode)) return;
    AnywhereOf(p, p.SearchMode) = anywhere;
    TheWindow->SideOf(p).searchMatch.Choose(anywhere ? 0 : 1);
    ShowNotFound(p, false);
}

void RunSearch(TTblObjects& p, int step) {
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
        row = FindEntry(p.SearchMode == 1 ? *p.Keys : *p.Values, text, p.Space->CurrentRow, AnywhereOf(p, p.SearchMode),
                        step);
        ShowNotFound(p, row < 0);
        if (row < 0) return;
    }
    // Leaving the row: what is typed there goes into the tables first.
    ApplyTypedEdits();
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

void FindAgain(int step) {
    TTblObjects& p = SideToSearch();
    if (p.Count() == 0) return;
    if (!TheWindow->SideOf(p).searchBar.IsVisible() || !IsFindMode(p.SearchMode)) OpenSearchBar(p, p.FindMode);
    RunSearch(p, step);
}

}  // namespace vm
