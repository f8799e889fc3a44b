#include "shell/MainWindow.h"

#include <span>

#include "documents/DocumentTexts.h"
#include "documents/FileDialogs.h"
#include "documents/History.h"
#include "documents/TableFiles.h"
#include "editing/Commands.h"
#include "editing/Compare.h"
#include "editing/Dispatch.h"
#include "editing/Editors.h"
#include "editing/Findings.h"
#include "editing/Search.h"
#include "editing/TableView.h"
#include "shell/Help.h"
#include "shell/InterfaceTexts.h"
#include "shell/LanguagesDialog.h"
#include "toolkit/MessageBox.h"

namespace vm {

MainWindow* TheMainWindow = nullptr;

namespace {

constexpr int SideOneWidth = 290;
constexpr int ListHeight = 200;
constexpr int SearchBarHeight = 20;
constexpr int KeyEditorHeight = 21;
constexpr int EditorMargin = 3;
constexpr int SourceHeight = 16;
constexpr int FindingsHeight = 170;

// A built-in text holding letters outside ASCII. The single-byte program
// keeps them as bytes of code page 1251, which the system's own code page
// shows as whatever those bytes mean there.
std::u16string BuiltInText([[maybe_unused]] const char16_t* wide, [[maybe_unused]] const char* bytes) {
#ifdef VM_ANSI_BUILD
    return tk::FromNative(bytes, std::char_traits<char>::length(bytes));
#else
    return wide;
#endif
}

// A row's caption as the menu shows it, with its shortcut.
std::u16string WithShortcut(const std::u16string& caption, const MenuRow& row) {
    return row.shortcut ? caption + u"\t" + row.shortcut : caption;
}

// The toolkit's rows of a menu table.
void AddRows(std::vector<tk::MenuItem>& items, std::span<const MenuRow> rows) {
    for (const MenuRow& row : rows) {
        tk::MenuItem item;
        item.id = row.command;
        item.kind = static_cast<tk::MenuItem::Kind>(row.kind);
        if (row.caption) item.caption = WithShortcut(row.caption, row);
        items.push_back(std::move(item));
    }
}
static_assert(static_cast<int>(MenuKind::Head) == tk::MenuItem::Head &&
              static_cast<int>(MenuKind::Command) == tk::MenuItem::Command &&
              static_cast<int>(MenuKind::Separator) == tk::MenuItem::Separator &&
              static_cast<int>(MenuKind::Check) == tk::MenuItem::Check &&
              static_cast<int>(MenuKind::Radio) == tk::MenuItem::Radio &&
              static_cast<int>(MenuKind::Submenu) == tk::MenuItem::Submenu);

}  // namespace

MainWindow::~MainWindow() {
    if (space) space->HistoryChanged = nullptr;
    if (form.hwnd) DestroyWindow(form.hwnd);
    for (HFONT f : {windowFont, listFont, menuItemFont})
        if (f) DeleteObject(f);
    if (TheWindow == this) TheWindow = nullptr;
    if (TheMainWindow == this) TheMainWindow = nullptr;
}

void MainWindow::BuildMenus() {
    AddRows(menu.items, MainMenuRows);
    // The single-byte program's Cyrillic letter is its byte in code page 1251.
    menu.SetCaption(MenuTwoTables, BuiltInText(FindMenuRow(MenuTwoTables)->caption, "\xD2wo Tables"));
    for (const int checked : {MenuTwoTables, MenuColorApi, MenuAskChange}) menu.SetChecked(checked, true);
    for (const int greyed : {MenuSave1, MenuSave2, MenuUndo, MenuRedo}) menu.SetEnabled(greyed, false);
    menu.SetHidden(MenuColorApi, true);
    AddRows(contextMenu.items, ContextMenuRows);
}

void MainWindow::BuildSide(int side) {
    SideControls& c = Side(side);
    const bool left = side == 0;
    c.panel.Create({form.hwnd, left ? tk::Dock::Left : tk::Dock::Fill, SideOneWidth});
    form.Add(c.panel);

    c.toolbar.Create({c.panel.hwnd});
    c.toolbar.AddButton(u"Open", STD_FILEOPEN, false);
    c.toolbar.AddButton(u"Save", STD_FILESAVE, false);
    c.toolbar.AddButton(u"Color", -1, true);
    c.toolbar.AddButton(u"Gender", -1, true);
    c.toolbar.SetButtonEnabled(ButtonSave, false);
    c.panel.Add(c.toolbar);

    c.source.Create({c.panel.hwnd, u"", tk::Dock::Top, SourceHeight});
    c.source.SetVisible(false);
    c.panel.Add(c.source);

    c.searchBar.Create({c.panel.hwnd, tk::Dock::Top, SearchBarHeight});
    c.searchBar.SetVisible(false);
    c.panel.Add(c.searchBar);
    c.searchLabel.Create({c.searchBar.hwnd, sGoTo, tk::Dock::Left, 0});
    c.searchLabel.dockSize = c.searchLabel.TextWidth();
    c.searchMatch.Create({c.searchBar.hwnd, tk::Dock::Left, 0, 80});
    c.searchMatch.SetVisible(false);  // go to, at start, needs no choice
    c.searchButton.Create({c.searchBar.hwnd, u"Go", tk::Dock::Right, 24});
    c.searchBox.Create({c.searchBar.hwnd, tk::Dock::Fill, 0});
    for (tk::Wnd* part : std::initializer_list<tk::Wnd*>{&c.searchLabel, &c.searchMatch, &c.searchButton, &c.searchBox})
        c.searchBar.Add(*part);

    c.aboveList.Create({c.panel.hwnd, tk::Dock::Top, 0});
    c.panel.Add(c.aboveList);

    c.list.Create({c.panel.hwnd, tk::Dock::Top, ListHeight});
    c.list.AddColumn(BuiltInText(u"\u2116", "\xB9"), 24);  // the numero sign
    c.list.AddColumn(u"Key", 53);
    c.list.AddColumn(u"Value", 180);
    c.panel.Add(c.list);

    c.splitter.Create({&c.panel, &c.list, false, 4, 50, left ? 90 : 50});

    c.keyEditor.Create({.parent = c.panel.hwnd,
                        .dock = tk::Dock::Top,
                        .dockSize = KeyEditorHeight,
                        .enabled = false,
                        .margin = EditorMargin});
    c.panel.Add(c.keyEditor);
    // Long lines wrap; the box's text holds only the value's own line breaks.
    c.valueEditor.Create({.parent = c.panel.hwnd,
                          .multiLine = true,
                          .dock = tk::Dock::Fill,
                          .enabled = false,
                          .wrapLines = true,
                          .margin = EditorMargin});
#ifdef VM_ANSI_BUILD
    // The single-byte program's value editors redraw themselves whole
    // whenever the input focus comes or goes.
    c.valueEditor.onFocusChange = [&editor = c.valueEditor](bool) { editor.Repaint(); };
#endif
    c.panel.Add(c.valueEditor);

    if (left) mainSplitter.Create({&form, &c.panel, true, 4, 0, 0});
}

void MainWindow::BuildFindings() {
    FindingsControls& c = findings;
    // Added first, so that it takes the bottom under both sides.
    c.panel.Create({form.hwnd, tk::Dock::Bottom, FindingsHeight});
    form.Add(c.panel);
    c.bar.Create({c.panel.hwnd, tk::Dock::Top, SearchBarHeight + 2});
    c.panel.Add(c.bar);
    c.close.Create({c.bar.hwnd, sFindingsClose, tk::Dock::Right, 60});
    c.fix.Create({c.bar.hwnd, sFindingsFix, tk::Dock::Right, 60});
    c.rule.Create({c.bar.hwnd, tk::Dock::Right, 130});
    c.severity.Create({c.bar.hwnd, tk::Dock::Right, 150});
    c.counts.Create({c.bar.hwnd, u"", tk::Dock::Fill, 0});
    for (tk::Wnd* part : std::initializer_list<tk::Wnd*>{&c.close, &c.fix, &c.rule, &c.severity, &c.counts})
        c.bar.Add(*part);
    c.list.onActivate = [](int row) { GoToFinding(row); };
    c.list.Create({c.panel.hwnd, tk::Dock::Fill, 0});
    const int widths[] = {62, 110, 130, 60, 420, 150};
    for (int w : widths) c.list.AddColumn(u"", w);
    c.panel.Add(c.list);
    c.panel.SetVisible(false);
}

void MainWindow::Create() {
    TheMainWindow = this;
    TheWindow = this;
    BuildMenus();
    form.CreateForm({WindowCaption, 370, 205, 592, 421, 550, 450, TEXT("128_MAIN")});
    windowFont = tk::CreateFontByName(TEXT("Arial"), -11, FW_NORMAL, RUSSIAN_CHARSET);
    form.SetFont(windowFont);
    form.AttachMenu(menu);
    // Added first, so that it takes the window's bottom edge.
    status.Create({form.hwnd});
    form.Add(status);
    BuildFindings();
    BuildSide(0);
    BuildSide(1);
    for (int side = 0; side < 2; ++side) {
        keyEditorOf[side] = &Side(side).keyEditor;
        valueEditorOf[side] = &Side(side).valueEditor;
    }
    WireEvents();
    form.Layout();
}

namespace {
// An Edit menu command's caption: its text with the step's name, and its
// shortcut.
std::u16string EditCommandCaption(int command, const std::u16string& alone, const std::u16string& withStep,
                                  const std::u16string& step) {
    return WithShortcut(step.empty() ? alone : FillIn(withStep, {step}), *FindMenuRow(command));
}
}  // namespace

void MainWindow::RefreshEditMenu() {
    const TTblObjects& p = EditTarget();
    menu.SetCommand(MenuUndo, EditCommandCaption(MenuUndo, sMenuUndo, sMenuUndoStep, UndoName(p)), CanUndo(p));
    menu.SetCommand(MenuRedo, EditCommandCaption(MenuRedo, sMenuRedo, sMenuRedoStep, RedoName(p)), CanRedo(p));
}

void MainWindow::StoreSettings() { ExchangeSettings(Space(), true); }

void MainWindow::ChooseView(int command) {
    ViewMode = command;
    ExchangeSettings(Space(), true);
}

void MainWindow::ChooseLanguage(int index) {
    if (index < 0 || index > LanguageCount) return;
    menu.SetChecked(MenuFirstLanguage + Language, false);
    Language = index;
    menu.SetChecked(MenuFirstLanguage + index, true);
    ExchangeSettings(Space(), true);
    RefreshEditMenu();  // in the new language
}

void MainWindow::ShowRecentFiles() {
    std::vector<tk::MenuItem> entries;
    const std::vector<std::u16string>& files = Space().RecentFiles;
    for (std::size_t i = 0; i < files.size() && i < RecentFileCount; ++i) {
        // "&1" to "&8": the digit chooses the file from the keyboard.
        const std::u16string number(1, static_cast<char16_t>(u'1' + i));
        entries.push_back(
            {.id = MenuFirstRecentFile + static_cast<int>(i), .caption = u"&" + number + u" " + files[i]});
    }
    menu.SetEntries(MenuRecentFiles, std::move(entries));
}

namespace {
// A side in the title: its file's name (or "Table n" when it has none),
// with "*" while it has unsaved changes; nothing for an empty side.
std::u16string TitlePart(const TTblObjects& p) {
    std::u16string name = p.FileName;
    const std::size_t slash = name.find_last_of(u"\\/");
    if (slash != std::u16string::npos) name.erase(0, slash + 1);
    if (name.empty() && !p.Modified) return {};
    if (name.empty()) name = p.Side == 0 ? u"Table 1" : u"Table 2";
    return p.Modified ? name + u"*" : name;
}
}  // namespace

void MainWindow::ShowTitle() {
    const std::u16string one = TitlePart(Space().sides[0]);
    const std::u16string two = TitlePart(Space().sides[1]);
    std::u16string files = one;
    if (!one.empty() && !two.empty()) files += u" | ";
    files += two;
    // The program's name first: scripts and the window benchmark find the
    // window by it.
    form.SetText(files.empty() ? std::u16string(WindowCaption) : WindowCaption + (u" - " + files));
}

bool MainWindow::AskObjectLanguages(const std::u16string& title, const ObjectLanguages& shown,
                                    std::u16string (&texts)[JsonLanguageCount]) {
    // The value editors' font, which shows every language's letters.
    const auto font = reinterpret_cast<HFONT>(SendMessage(Side(0).valueEditor.hwnd, WM_GETFONT, 0, 0));
    return ShowLanguagesDialog(form.hwnd, font, title, shown, texts);
}

void MainWindow::ShowHotKeys() { ShowHelp(); }

void MainWindow::ShowAbout() {
    tk::ShowMessageBox(form.hwnd, AboutText, std::u16string(u"About ") + WindowCaption, MB_OK);
}

void MainWindow::GetLayout(WindowLayout& layout) const {
    WINDOWPLACEMENT place{};
    place.length = sizeof place;
    if (GetWindowPlacement(form.hwnd, &place)) {
        const RECT& r = place.rcNormalPosition;
        layout.left = r.left;
        layout.top = r.top;
        layout.width = r.right - r.left;
        layout.height = r.bottom - r.top;
        layout.maximized = IsZoomed(form.hwnd) != FALSE;
    }
    // The Key column of the list the user sees (list 1 unless hidden).
    const tk::ListView& list = sides[0].list.IsVisible() ? sides[0].list : sides[1].list;
    layout.keyColumnWidth = list.ColumnWidth(1);
    layout.editorHeight = editorHeight;
}

bool MainWindow::ApplyLayout(const WindowLayout& layout) {
    if (layout.editorHeight > 0) {
        editorHeight = layout.editorHeight;
        for (int side = 0; side < 2; ++side) Side(side).panel.Layout();
    }
    if (layout.keyColumnWidth > 0) {
        for (int side = 0; side < 2; ++side) {
            Side(side).list.SetColumnWidth(1, layout.keyColumnWidth);
            FitValueColumn(Space().sides[side]);
        }
    }
    if (layout.width <= 0 || layout.height <= 0) return false;
    // A place no screen shows any more (a screen gone since) is not taken.
    const RECT r{layout.left, layout.top, layout.left + layout.width, layout.top + layout.height};
    if (!MonitorFromRect(&r, MONITOR_DEFAULTTONULL)) return false;
    WINDOWPLACEMENT place{};
    place.length = sizeof place;
    GetWindowPlacement(form.hwnd, &place);
    place.rcNormalPosition = r;
    place.showCmd = IsWindowVisible(form.hwnd) ? SW_SHOWNORMAL : SW_HIDE;
    SetWindowPlacement(form.hwnd, &place);
    return layout.maximized;
}

void MainWindow::OnResize() {
    if (StartupPass) return;
    const RECT outer = [this] {
        RECT r{};
        GetWindowRect(form.hwnd, &r);
        return r;
    }();
    const int outerWidth = outer.right - outer.left;
    Side(0).panel.dockSize = (outerWidth - 20) * splitPercent / 100;
    // The lists' heights follow as each side is laid out (FitSides).
    for (int side = 0; side < 2; ++side) PostMessage(Side(side).list.hwnd, LVM_UPDATE, 0, 0);
}

void MainWindow::WireEvents() {
    form.onMenu = MainMenuCommand;
    form.onMessage = [this](UINT msg, WPARAM, LPARAM, LRESULT&) {
        // The Edit menu follows the focus: refreshed as the menu bar opens.
        if (msg == WM_INITMENU) RefreshEditMenu();
        return OnFindingsMessage(msg);
    };
    Space().HistoryChanged = [this] {
        RefreshEditMenu();
        ShowTitle();  // the modified marks
        // A table typed into a side that had none can be saved too.
        for (TTblObjects& p : Space().sides)
            if (p.Modified) p.View->EnableSave();
        FindingsAfterChange();
        ComparisonsAfterChange();
    };
    // Ctrl+S, Ctrl+O and Ctrl+L, F8, F7 and F3 from anywhere in the window
    // (the F keys with Shift backwards).
    form.onKeyPreview = [](WPARAM key) {
        if (WindowKeyCommand(CurrentShiftState(), static_cast<std::uint32_t>(key))) return true;
        const int step = GetKeyState(VK_SHIFT) < 0 ? -1 : 1;
        if (key == VK_F8) StepFinding(step);
        else if (key == VK_F7) StepDifference(step);
        else if (key == VK_F3) FindAgain(step);
        else return false;
        return true;
    };
    findings.list.onCellText = [](int row, int column) { return FindingCell(row, column); };
    findings.severity.onChoose = [this](int index) {
        findingsState.severity = index < 0 ? 0 : index;
        FilterFindings();
    };
    findings.rule.onChoose = [this](int index) {
        findingsState.rule = index - 1;
        FilterFindings();
    };
    findings.close.onClick = [] { CloseFindings(); };
    findings.fix.onClick = [] { FixShownFindings(); };
    form.onClose = [this] {
        ApplyTypedEdits();
        if (!ConfirmEndProgram(Space())) return false;
        StoreWindowLayout();  // so the window opens here next time
        return true;
    };
    form.onSize = [this] { OnResize(); };
    // The status bar's part of Table 1 ends where side 2 begins.
    Side(0).panel.onSize = [this] { status.SetParts({Side(0).panel.Width() + mainSplitter.dockSize}); };
    form.onSysCommand = [this](WPARAM) {
        if (!StartupPass) PostMessage(form.hwnd, WM_SIZE, 0, 0);
    };
    mainSplitter.onMove = [this](int a, int b) {
        if (a + b > 0) splitPercent = a * 100 / (a + b);
        for (int side = 0; side < 2; ++side) PostMessage(Side(side).list.hwnd, LVM_UPDATE, 0, 0);
        return true;
    };

    for (int side = 0; side < 2; ++side) {
        SideControls& c = Side(side);
        TTblObjects& p = Space().sides[side];
        c.toolbar.onClick = [side](int button) { ToolbarClick(side, button); };
        c.toolbar.onDropDown = [side](int button) { ToolbarDropDown(side, button); };
        c.searchButton.onClick = [&p] { RunSearch(p); };
        c.searchBox.onKeyDown = [&p](WPARAM key) {
            if (key != VK_RETURN) {
                ClearNotFound(p);
                return false;
            }
            RunSearch(p);
            return true;
        };
        c.searchMatch.onChoose = [&c, &p](int index) {
            ChooseSearchMatch(p, index == 0);
            c.searchBox.SetFocus();  // back to the text, for Enter
        };
        c.list.onCellText = [&p](int row, int column) { return CellText(p, row, column); };
        c.list.onRowColour = [&p](int row) { return RowColour(p, row); };
        c.list.onRowBackground = [&p](int row) { return RowBackground(p, row); };
        c.list.onRowStrip = [&p](int row) { return RowStrip(p, row); };
        c.list.onPaint = [&p] { SyncRows(p); };
        c.list.onKeyDown = [&p](WPARAM key, LPARAM keyData) {
            // Keys passed on by a key editor carry no key data: they only
            // move the focus.
            if (keyData == 0) return false;
            return ListKeyCommand(p, CurrentShiftState(), static_cast<std::uint32_t>(key));
        };
        c.list.onColumnClick = [side](int column) { ColumnClick(side, column); };
        c.list.onRightDoubleClick = [&p] { MarkToggle(p); };
        c.list.onDropFiles = [side](const std::vector<std::u16string>& files) { DropFiles(side, files); };
        c.list.onContextMenu = [this, side](int x, int y) {
            const int command = contextMenu.Show(form.hwnd, x, y);
            if (command >= 0) ListContextCommand(command, side);
        };
        c.list.onSize = [&p] { FitValueColumn(p); };
        c.splitter.onMove = [this, side](int, int after) {
            // The boxes below take the new height on both sides.
            editorHeight = after;
            Side(1 - side).panel.Layout();
            return true;
        };
        c.panel.onLayout = [side] { FitSides(side); };
        for (tk::Edit* editor : {&c.keyEditor}) {
            editor->onKeyDown = [this, editor](WPARAM key, LPARAM) {
                for (int s = 0; s < 2; ++s) {
                    TTblObjects& table = Space().sides[s];
                    if (keyEditorOf[s] == editor && table.Active) return KeyEditorKey(table, key, CurrentShiftState());
                }
                return false;
            };
        }
    }
}

// ---- What the documents ask of a side ------------------------------------

void SideView::SetRowCount(std::int32_t rows) { TheMainWindow->Side(side_).list.SetRowCount(rows); }
void SideView::Redraw() { TheMainWindow->Side(side_).list.RedrawAll(); }

void SideView::SelectRow(std::int32_t row) {
    tk::ListView& list = TheMainWindow->Side(side_).list;
    list.SelectOnly(row);
    if (row >= 0) list.EnsureVisible(row);
}

RowBlock SideView::SelectedRows() {
    const tk::ListView& list = TheMainWindow->Side(side_).list;
    return {list.FirstSelected(), list.SelectedCount()};
}

void SideView::SelectRows(RowBlock rows, std::int32_t focus) {
    tk::ListView& list = TheMainWindow->Side(side_).list;
    list.SelectRange(rows.first, rows.count, focus);
    if (focus >= 0) list.EnsureVisible(focus);
}

void SideView::SwitchEditorRow(std::int32_t newRow, std::int32_t oldRow) {
    vm::SwitchEditorRow(TheMainWindow->Space().sides[side_], newRow, oldRow);
}

void SideView::SetNumberColumnWidth(std::int32_t rows) { vm::SetNumberColumnWidth(rows); }

void SideView::EnableSave() {
    TheMainWindow->Side(side_).toolbar.SetButtonEnabled(ButtonSave, true);
    TheMainWindow->menu.SetEnabled(side_ == 0 ? MenuSave1 : MenuSave2, true);
}

void SideView::ShowMessage(const std::u16string& text, const std::u16string& caption) {
    tk::ShowMessageBox(TheMainWindow->form.hwnd, text, caption, MB_OK);
}

AskAnswer SideView::AskYesNoCancel(const std::u16string& text, const std::u16string& caption) {
    switch (tk::ShowMessageBox(TheMainWindow->form.hwnd, text, caption, MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES: return AskAnswer::Yes;
    case IDNO: return AskAnswer::No;
    default: return AskAnswer::Cancel;
    }
}

bool SideView::AskYesNo(const std::u16string& text, const std::u16string& caption) {
    return tk::ShowMessageBox(TheMainWindow->form.hwnd, text, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool SideView::SaveWithDialog() { return SaveInPlace(TheMainWindow->Space().sides[side_]); }

void SideView::FileOpened() {
    Workspace& ws = TheMainWindow->Space();
    NoteRecentFile(ws, RecentEntryOf(ws.sides[side_]), RecentFileCount);
    TheMainWindow->ShowRecentFiles();
    StoreRecentFiles(ws);
}

void SideView::ShowSource(const std::u16string& text) {
    TheMainWindow->ShowTitle();
    SideControls& c = TheMainWindow->Side(side_);
    c.source.SetText(text.empty() ? text : u" " + text);
    // Only above the side's own list (see ApplyViewLayout).
    const bool shown = !text.empty() && TheMainWindow->Space().sides[side_].Active;
    if (c.source.IsVisible() == shown) return;
    c.source.SetVisible(shown);
    c.panel.Layout();
}

}  // namespace vm
