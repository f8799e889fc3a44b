#include "editing/Insertion.h"

#include "documents/Workspace.h"
#include "editing/EditingWindow.h"
#include "formats/ColorMacros.h"

namespace vm {

const char16_t* const GenderMarkers[7] = {u"[fs]", u"[ms]", u"[nl]", u"[ns]", u"[pl]", u"[fp]", u"[mp]"};

namespace {

const char16_t* const ColourNames[14] = {u"White",  u"Grey",       u"Red",    u"Green",    u"Blue",
                                         u"Gold",   u"Dark Grey",  u"Black",  u"Tan",      u"Orange",
                                         u"Yellow", u"Dark Green", u"Purple", u"ColorCode"};
const char16_t* const GenderNames[7] = {
    u"[fs] - Feminine Single", u"[ms] - Masculine Single", u"[nl] - Neutral", u"[ns] - Neutral Single", u"[pl] - Poly",
    u"[fp] - Feminine Poly",   u"[mp] - Masculine Poly"};
const COLORREF ColourInk[13] = {RGB(244, 244, 244), RGB(196, 196, 196), RGB(176, 68, 52),   RGB(24, 252, 0),
                                RGB(80, 80, 172),   RGB(148, 128, 100), RGB(80, 80, 80),    RGB(0, 0, 0),
                                RGB(172, 156, 100), RGB(208, 132, 32),  RGB(216, 184, 100), RGB(24, 100, 8),
                                RGB(164, 32, 252)};
constexpr int BlackItem = 7;

COLORREF Paper(int item) { return item == BlackItem ? RGB(196, 196, 196) : RGB(0, 0, 0); }

void MeasureColour(MEASUREITEMSTRUCT& m, int item) {
    if (item < 0 || item > 12) return;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, TheWindow->menuItemFont);
    const tk::NativeString text = tk::ToNative(ColourNames[item]);
    SIZE size{};
    GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    m.itemWidth = static_cast<UINT>(size.cx + 17 + 8);
    m.itemHeight = static_cast<UINT>(size.cy + 4);
}

void DrawColour(const DRAWITEMSTRUCT& d, int item) {
    if (item < 0 || item > 12) return;
    HDC dc = d.hDC;
    HGDIOBJ oldFont = SelectObject(dc, TheWindow->menuItemFont);
    const COLORREF paper = Paper(item);
    HBRUSH brush = CreateSolidBrush(paper);
    RECT r = d.rcItem;
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    const COLORREF oldInk = SetTextColor(dc, ColourInk[item]);
    const COLORREF oldPaper = SetBkColor(dc, paper);
    const tk::NativeString text = tk::ToNative(ColourNames[item]);
    TextOut(dc, r.left + 17, r.top, text.c_str(), static_cast<int>(text.size()));
    if (d.itemState & ODS_SELECTED) DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
    SetTextColor(dc, oldInk);
    SetBkColor(dc, oldPaper);
    SelectObject(dc, oldFont);
}

// The value editor serving the target, when it shows an entry.
tk::Edit* TargetEditor(TTblObjects& target) {
    tk::Edit& editor = TheWindow->ValueEditorOf(target);
    return editor.IsEnabled() ? &editor : nullptr;
}

// The menus' rows: item i inserts colour or marker i. The colours are
// drawn in their own ink, the last item ("ColorCode") is a plain text.
tk::PopupMenu& ColourMenu() {
    static tk::PopupMenu menu = [] {
        tk::PopupMenu m;
        for (int i = 0; i < 14; ++i) m.items.push_back({.id = i, .caption = ColourNames[i], .ownerDrawn = i < 13});
        m.onMeasure = MeasureColour;
        m.onDraw = DrawColour;
        return m;
    }();
    return menu;
}

tk::PopupMenu& GenderMenu() {
    static tk::PopupMenu menu = [] {
        tk::PopupMenu m;
        for (int i = 0; i < 7; ++i) m.items.push_back({.id = i, .caption = GenderNames[i]});
        return m;
    }();
    return menu;
}

}  // namespace

std::u16string ColourInsertText(int item, [[maybe_unused]] bool macroWords) {
    if (item < 0 || item >= ColorMacroCount) return {};
#ifdef VM_ANSI_BUILD
    // The single-byte program always inserts the item's macro word.
    return ColorMacroTable[item].word;
#else
    if (macroWords) return ColorMacroTable[item].word;
#endif
    std::u16string code = u"\u00FFc";
    if (item < 13) code += static_cast<char16_t>(u'/' + item);
    return code;
}

void InsertColour(TTblObjects& target, int item) {
    if (tk::Edit* editor = TargetEditor(target)) {
        const std::u16string text = ColourInsertText(item, target.Space->options.formats.text.colorMacros);
        if (!text.empty()) editor->ReplaceSelection(text);
    }
}

void InsertGender(TTblObjects& target, int item) {
    if (item < 0 || item >= 7) return;
    if (tk::Edit* editor = TargetEditor(target)) editor->ReplaceSelection(GenderMarkers[item]);
}

void ShowColourMenu(TTblObjects& target, int x, int y) {
    const int item = ColourMenu().Show(TheWindow->form.hwnd, x, y);
    if (item >= 0) InsertColour(target, item);
}

void ShowGenderMenu(TTblObjects& target, int x, int y) {
    const int item = GenderMenu().Show(TheWindow->form.hwnd, x, y);
    if (item >= 0) InsertGender(target, item);
}

}  // namespace vm
