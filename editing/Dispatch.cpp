#include "editing/Dispatch.h"

#include <algorithm>

#include "documents/CrossTableTools.h"
#include "documents/DocumentTexts.h"
#include "documents/FileDialogs.h"
#include "documents/History.h"
#include "documents/ItemOperations.h"
#include "documents/ObjectLanguages.h"
#include "documents/TableFiles.h"
#include "documents/TblObjects.h"
#include "editing/Compare.h"
#include "editing/EditingTexts.h"
#include "editing/EditingWindow.h"
#include "editing/Editors.h"
#include "editing/Findings.h"
#include "editing/Insertion.h"
#include "editing/Search.h"
#include "editing/TableView.h"
#include "platform/Platform.h"

namespace vm {

TTblObjects* CommandTarget = nullptr;
std::u16string ProgramClipboard;

std::uint32_t CurrentShiftState() {
    std::uint32_t s = 0;
    auto down = [](int key) { return (GetKeyState(key) & 0x8000) != 0; };
    if (down(VK_SHIFT)) s |= ShiftBit;
    if (down(VK_CONTROL)) s |= CtrlBit;
    if (down(VK_MENU)) s |= AltBit;
    if (down(VK_LBUTTON)) s |= LeftButtonBit;
    if (down(VK_RBUTTON)) s |= RightButtonBit;
    if (down(VK_MBUTTON)) s |= MiddleButtonBit;
    if (GetKeyState(VK_CAPITAL) & 1) s |= CapsLockBit;
    return s;
}

namespace {

void ClickToolButton(int side, int button) {
    TheWindow->Side(side).toolbar.currentButton = button;
    ToolbarClick(side, button);
}

// A menu command's caption as the title of the dialog it opens: without
// the dots that promise a dialog.
std::u16string TitleOf(int menuNumber) {
    std::u16string title = TheWindow->menu.Caption(menuNumber);
    while (!title.empty() && (title.back() == u'.' || title.back() == u' ' || title.back() == u'\u2026'))
        title.pop_back();
    return title;
}

// What the window shows and edits.
Workspace& Space() { return TheWindow->Space(); }

// A side's selected rows, which undoing a tool brings back.
RowBlock SelectionOf(int side) { return Space().sides[side].View->SelectedRows(); }

}  // namespace

void ShowRows(const std::optional<RowsToShow>& shown) {
    if (!shown) return;
    Workspace& ws = Space();
    TTblObjects& origin = ws.sides[shown->side];
    if (shown->rowCountChanged) {
        const std::int32_t rows = RowCountOf(origin);
        origin.View->SetRowCount(rows);
        origin.Other->View->SetRowCount(rows);
        origin.View->SetNumberColumnWidth(rows);
    }
    origin.View->Redraw();
    origin.Other->View->Redraw();
    // The row first, so that selecting it is no row change.
    ws.CurrentRow = shown->rows.row;
    ws.sides[0].View->SwitchEditorRow(ws.CurrentRow, -1);
    ws.sides[1].View->SwitchEditorRow(ws.CurrentRow, -1);
    origin.View->SelectRows(shown->rows.selection, ws.CurrentRow);
}

void MainMenuCommand(int number) {
    EditingWindow& w = *TheWindow;
    Workspace& ws = w.Space();
    switch (number) {
    case MenuCopyTime12:
    case MenuCopyTime21:
    case MenuCopyValues12:
    case MenuCopyValues21:
    case MenuUpdate1:
    case MenuUpdate2:
    case MenuTranslate12:
    case MenuTranslate21:
    case MenuCheck: ApplyTypedEdits(); break;
    default: break;
    }
    switch (number) {
    case MenuOpen1: ClickToolButton(0, ButtonOpen); return;
    case MenuOpen2: ClickToolButton(1, ButtonOpen); return;
    case MenuSave1: ClickToolButton(0, ButtonSave); return;
    case MenuSave2: ClickToolButton(1, ButtonSave); return;
    case MenuSaveAs1: SaveSide(ws.sides[0], true); return;
    case MenuSaveAs2: SaveSide(ws.sides[1], true); return;
    case MenuExit: PostMessage(w.form.hwnd, WM_CLOSE, 0, 0); return;
    case MenuOnlyTable1:
    case MenuOnlyTable2:
    case MenuTwoTables: w.ChooseView(number); return;
    case MenuColorApi:
#ifndef VM_ANSI_BUILD
        // The single-byte program has no stored colour option: the item
        // does nothing there.
        ws.options.formats.text.colorMacros = w.menu.IsChecked(MenuColorApi);
        w.StoreSettings();
#endif
        return;
    case MenuAskChange:
        ws.options.notAskChange = !w.menu.IsChecked(MenuAskChange);
        w.StoreSettings();
        return;
    case MenuCopyTime12: CopyTimeDialogs(ws.sides[1], SelectionOf(1)); return;
    case MenuCopyTime21: CopyTimeDialogs(ws.sides[0], SelectionOf(0)); return;
    case MenuCopyValues12: CopyValues(ws.sides[1], SelectionOf(1)); return;
    case MenuCopyValues21: CopyValues(ws.sides[0], SelectionOf(0)); return;
    case MenuUpdate1: OpenDialog(ws.sides[0], ToolUpdate, TitleOf(number), SelectionOf(0)); return;
    case MenuUpdate2: OpenDialog(ws.sides[1], ToolUpdate, TitleOf(number), SelectionOf(1)); return;
    case MenuTranslate12: OpenDialog(ws.sides[1], ToolTranslate, TitleOf(number), SelectionOf(1)); return;
    case MenuTranslate21: OpenDialog(ws.sides[0], ToolTranslate, TitleOf(number), SelectionOf(0)); return;
    case MenuUndo: ShowRows(Undo(w.EditTarget())); return;
    case MenuRedo: ShowRows(Redo(w.EditTarget())); return;
    case MenuLanguagesOfObject: ShowAllLanguages(w.EditTarget()); return;
    case MenuCheck: RunCheckCommand(); return;
    case MenuNextFinding: StepFinding(1); return;
    case MenuPreviousFinding: StepFinding(-1); return;
    case MenuCompare: RunCompareCommand(); return;
    case MenuNextDifference: StepDifference(1); return;
    case MenuPreviousDifference: StepDifference(-1); return;
    case MenuClearComparison: ClearComparisons(); return;
    case MenuHotKeys: w.ShowHotKeys(); return;
    case MenuAbout: w.ShowAbout(); return;
    default: break;
    }
    if (number >= MenuFirstLanguage && number < MenuCheck) w.ChooseLanguage(number - MenuFirstLanguage);
    if (number >= MenuFirstRecentFile && number < MenuFirstRecentFile + RecentFileCount)
        OpenRecentFile(w.EditTarget(), number - MenuFirstRecentFile);
}

void SaveSide(TTblObjects& p, bool withDialog) {
    CommandTarget = &p;
    // What is typed into the side's editors is part of what the user saves.
    if (p.Space->CurrentRow >= 0) SwitchEditorRow(p, p.Space->CurrentRow, p.Space->CurrentRow);
    if (withDialog) SaveDialog(p);
    else SaveInPlace(p);
}

void OpenRecentFile(TTblObjects& p, int index) {
    Workspace& ws = *p.Space;
    if (index < 0 || index >= static_cast<int>(ws.RecentFiles.size())) return;
    const std::u16string entry = ws.RecentFiles[static_cast<std::size_t>(index)];
    ApplyTypedEdits();
    if (!ConfirmDiscardChanges(p)) return;
    std::u16string path = entry;
    const int language = SplitLanguageColumn(path);
    if (!platform::FileExists(path)) {
        p.View->ShowMessage(sRecentFileMissing + u"\n" + path, AppCaption);
        std::erase(ws.RecentFiles, entry);
        TheWindow->ShowRecentFiles();
        TheWindow->StoreSettings();
        return;
    }
    FormatOptions options = ws.options.formats;
    if (language >= 0) options.json.language = language;
    const std::int32_t format = FormatOfFileName(path);
    p.FileName = path;
    LoadTable(p, format != 0 ? format : FormatTabbedText, options);
}

void ShowAllLanguages(TTblObjects& p) {
    Workspace& ws = *p.Space;
    const std::int32_t row = ws.CurrentRow;
    // What the editors hold is the entry's text in its own column.
    if (row >= 0) SwitchEditorRow(p, row, row);
    ObjectLanguages shown;
    if (!ReadObjectLanguages(p, row, shown, ws.options.formats.limits)) {
        p.View->ShowMessage(sAllLanguagesNone, AppCaption);
        return;
    }
    std::u16string texts[JsonLanguageCount];
    if (!TheWindow->AskObjectLanguages(TitleOf(MenuLanguagesOfObject) + u": " + shown.key, shown, texts)) return;
    if (!ApplyObjectLanguages(p, row, shown, texts)) return;
    for (TTblObjects& side : ws.sides) {
        side.View->Redraw();
        side.View->SwitchEditorRow(row, -1);
    }
}

bool WindowKeyCommand(std::uint32_t shift, std::uint32_t key) {
    if ((shift & (CtrlBit | ShiftBit | AltBit)) != CtrlBit) return false;
    if (key == 'S') {
        SaveSide(TheWindow->EditTarget(), false);
        return true;
    }
    if (key == 'O') {
        ToolbarClick(TheWindow->EditTarget().Side, ButtonOpen);  // as the side's Open button
        return true;
    }
    if (key == 'L') {
        ShowAllLanguages(TheWindow->EditTarget());
        return true;
    }
    return false;
}

void ToolbarClick(int side, int button) {
    TTblObjects& p = Space().sides[side];
    CommandTarget = &p;
    if (button == ButtonOpen || button == ButtonSave) ApplyTypedEdits();
    switch (button) {
    case ButtonOpen: OpenDialog(p, 0); break;
    case ButtonSave: SaveSide(p, false); break;
    case ButtonColor:
    case ButtonGender: ToolbarDropDown(side, button); break;
    default: break;
    }
}

void ToolbarDropDown(int side, int button) {
    TTblObjects& p = Space().sides[side];
    CommandTarget = &p;
    if (button != ButtonColor && button != ButtonGender) return;
    tk::ToolBar& toolbar = TheWindow->Side(side).toolbar;
    const RECT r = toolbar.ButtonRect(button);
    POINT at{r.left, r.bottom};
    ClientToScreen(toolbar.hwnd, &at);
    if (button == ButtonColor) ShowColourMenu(p, at.x, at.y);
    else ShowGenderMenu(p, at.x, at.y);
}

bool ListKeyCommand(TTblObjects& p, std::uint32_t shift, std::uint32_t key) {
    EditingWindow& w = *TheWindow;
    const std::int32_t current = p.Space->CurrentRow;
    tk::ListView& list = w.SideOf(p).list;
    const int n = list.RowCount();
    const int first = list.FirstSelected();
    const int k = list.SelectedCount();
    const int last = first + k - 1;
    const bool ctrlAlone = shift == CtrlBit;
    const bool bothTables = p.Active && p.Other->Active && k == 1;

    // Undo and redo take Ctrl (with Shift for the second way to redo);
    // Caps Lock and mouse buttons do not matter.
    const std::uint32_t keys = shift & (CtrlBit | ShiftBit | AltBit);
    if (key == 'Z' && keys == CtrlBit) {
        ShowRows(Undo(p));
        return true;
    }
    if ((key == 'Y' && keys == CtrlBit) || (key == 'Z' && keys == (CtrlBit | ShiftBit))) {
        ShowRows(Redo(p));
        return true;
    }
    if (key == VK_INSERT && n > 0) {
        if (first < 0) return false;
        {
            // In both tables: one step.
            HistoryStep step(StepKind::Insert, p, {current, {first, k}}, k);
            InsertEntries(p, first, last);
            if (ctrlAlone && bothTables) InsertEntries(*p.Other, first, last);
        }
        UpdateRowCounts();
        list.RedrawAll();
        return false;
    }
    if (key == VK_DELETE && current < n - 1) {
        if (first < 0) return false;
        const bool alsoOther = (shift & CtrlBit) && bothTables;
        // The last row lies beyond both tables: no entry to clear there.
        const int lastEntry = std::min(last, n - 2);
        if (!(shift & ShiftBit)) {
            HistoryStep step(StepKind::Clear, p, {current, {first, k}}, lastEntry - first + 1);
            ClearEntries(p, first, lastEntry);
            if (alsoOther) ClearEntries(*p.Other, first, lastEntry);
        } else {
            {
                // The step is named after the entries that went.
                const std::size_t before = p.Count();
                const std::size_t otherBefore = p.Other->Count();
                HistoryStep step(StepKind::Delete, p, {current, {first, k}});
                DeleteEntries(p, first, last);
                if (alsoOther) DeleteEntries(*p.Other, first, last);
                const std::size_t gone = std::max(before - p.Count(), otherBefore - p.Other->Count());
                step.SetCount(static_cast<std::int32_t>(gone));
            }
            UpdateRowCounts();
        }
        list.RedrawAll();
        w.SideOf(*p.Other).list.RedrawAll();
        return false;
    }
    if (((key == VK_UP && current > 0 && current < n - 1) || (key == VK_DOWN && current < n - 2)) && ctrlAlone) {
        const int d = key == VK_UP ? -1 : 1;
        const auto count = static_cast<std::int64_t>(p.Count());
        const int to = current + d;
        if (current >= 0 && to >= 0 && current < count && to < count) {
            // What is typed into the editors belongs to the row being moved:
            // apply it there (asking as usual) before the entries swap.
            SwitchEditorRow(p, current, current);
            MoveEntry(p, current, to);
            list.SelectOnly(to);
            list.EnsureVisible(to);
            list.RedrawRows(std::min(current, to), std::max(current, to));
        }
        return true;
    }
    if (ctrlAlone) {
        if (key == 'A') {
            list.SelectAll();
            list.RedrawAll();
        } else if (key == 'F') {
            ToggleSearchBar(p, p.FindMode);
        } else if (key == 'G') {
            ToggleSearchBar(p, 0);
        }
    }
    return false;
}

void ListContextCommand(int command, int side) {
    TTblObjects& p = Space().sides[side];
    EditingWindow& w = *TheWindow;
    const std::int32_t current = p.Space->CurrentRow;
    switch (command) {
    case ContextDelete: ListKeyCommand(p, ShiftBit, VK_DELETE); break;
    case ContextInsert: ListKeyCommand(p, 0, VK_INSERT); break;
    case ContextCopyValue:
        if (current >= 0) {
            ProgramClipboard = p.Values->Get(static_cast<std::size_t>(current));
            CopyTextToClipboard(w.form.hwnd, ProgramClipboard);
        }
        break;
    case ContextPasteValue:
        if (current >= 0) {
            PasteTextFromClipboard(w.form.hwnd, ProgramClipboard);
            // Real line breaks would split a text line when saved; the
            // table holds them as backslash and "n".
            const std::u16string value = EditorTextToValue(ProgramClipboard);
            PasteValue(p, current, value);
            if (p.Active) w.ValueEditorOf(p).SetTextClean(ValueToEditorText(value));
            w.SideOf(p).list.RedrawAll();
        }
        break;
    case ContextMoveDown: ListKeyCommand(p, CtrlBit, VK_DOWN); break;
    case ContextMoveUp: ListKeyCommand(p, CtrlBit, VK_UP); break;
    default: break;
    }
}

void DropFiles(int side, const std::vector<std::u16string>& files) {
    // One table per side: the first file is the one loaded.
    if (files.empty() || FormatOfFileName(files.front()) == 0) return;
    TTblObjects& p = Space().sides[side];
    ApplyTypedEdits();
    if (!ConfirmDiscardChanges(p)) return;
    p.FileName = files.front();
    OpenByExtension(p, p.Space->options.formats);
}

void ColumnClick(int side, int column) { ToggleSearchBar(Space().sides[side], column); }

}  // namespace vm
