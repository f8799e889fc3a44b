// The menus as tables of rows. A row of the main menu is a head (a menu of
// the bar) or an entry of the menu above it, with its command number, its
// language key, its built-in English caption and the shortcut shown beside
// it. The window builds its menu bar from the rows, a language file's
// texts go to the rows with a key, and the dispatch and the settings name
// commands by number. Standard C++: the settings and language code use it
// too.
#pragma once

namespace vm {

// Command numbers: the menu bar reports them (as Windows command ids from
// 1000 on), and they never change. The Edit menu came last and keeps the
// numbers after Help though the bar shows it after File; the numbers of
// separators and of a hidden item dropped since stay unused. The
// languages follow from MenuFirstLanguage on, English first.
enum MenuCommand : int {
    MenuFile = 0,
    MenuOpen1 = 1,
    MenuOpen2 = 2,
    MenuSave1 = 4,
    MenuSave2 = 5,
    MenuExit = 7,
    MenuView = 8,
    MenuOnlyTable1 = 9,
    MenuOnlyTable2 = 10,
    MenuTwoTables = 11,
    MenuOptions = 12,
    MenuColorApi = 13,
    MenuAskChange = 14,
    MenuTools = 16,
    MenuCopyTime12 = 17,
    MenuCopyTime21 = 18,
    MenuCopyValues12 = 20,
    MenuCopyValues21 = 21,
    MenuUpdate1 = 23,
    MenuUpdate2 = 24,
    MenuTranslate12 = 26,
    MenuTranslate21 = 27,
    MenuHelp = 28,
    MenuHotKeys = 29,
    MenuAbout = 30,
    MenuEdit = 31,
    MenuUndo = 32,
    MenuRedo = 33,
    MenuLanguage = 34,
    MenuFirstLanguage = 35,
    // Commands added since, after any number of languages.
    MenuCheck = 900,
    MenuNextFinding = 901,
    MenuPreviousFinding = 902,
    MenuCompare = 903,
    MenuNextDifference = 904,
    MenuPreviousDifference = 905,
    MenuClearComparison = 906,
    MenuSaveAs1 = 907,
    MenuSaveAs2 = 908,
    MenuRecentFiles = 909,      // the File menu's submenu
    MenuFirstRecentFile = 910,  // RecentFileCount numbers from here
    MenuLanguagesOfObject = 920,
};

// Files the File menu's "Recent files" keeps.
inline constexpr int RecentFileCount = 8;

// The commands of a list's context menu.
enum ContextCommand : int {
    ContextDelete,
    ContextInsert,
    ContextCopyValue,
    ContextPasteValue,
    ContextMoveDown,
    ContextMoveUp,
};

// A submenu is a row of a menu whose entries the window sets while it runs.
enum class MenuKind { Head, Command, Separator, Check, Radio, Submenu };

struct MenuRow {
    MenuKind kind;
    int command = -1;                    // none for a separator
    const char16_t* key = nullptr;       // language key; none: the caption stays
    const char16_t* caption = nullptr;   // built-in English
    const char16_t* shortcut = nullptr;  // shown after the caption
};

// In the order the bar shows them. The radio items of one menu check each
// other out.
inline constexpr MenuRow MainMenuRows[] = {
    {MenuKind::Head, MenuFile, u"sMenuFile", u"File"},
    {MenuKind::Command, MenuOpen1, u"sMenuOpen1", u"Open Table 1"},
    {MenuKind::Command, MenuOpen2, u"sMenuOpen2", u"Open Table 2"},
    {MenuKind::Separator},
    {MenuKind::Command, MenuSave1, u"sMenuSave1", u"Save Table 1"},
    {MenuKind::Command, MenuSave2, u"sMenuSave2", u"Save Table 2"},
    // Keys of rows added since are given after the others (shell/Language.cpp).
    {MenuKind::Command, MenuSaveAs1, nullptr, u"Save Table 1 As..."},
    {MenuKind::Command, MenuSaveAs2, nullptr, u"Save Table 2 As..."},
    {MenuKind::Separator},
    {MenuKind::Submenu, MenuRecentFiles, nullptr, u"Recent Files"},
    {MenuKind::Separator},
    {MenuKind::Command, MenuExit, u"sMenuExit", u"Exit"},
    // Undo and Redo show the language's sMenuUndo and sMenuRedo texts with
    // the name of the step (shell/MainWindow.cpp).
    {MenuKind::Head, MenuEdit, u"sMenuEdit", u"Edit"},
    {MenuKind::Command, MenuUndo, nullptr, u"Undo", u"Ctrl+Z"},
    {MenuKind::Command, MenuRedo, nullptr, u"Redo", u"Ctrl+Y"},
    {MenuKind::Separator},
    {MenuKind::Command, MenuLanguagesOfObject, nullptr, u"All Languages...", u"Ctrl+L"},
    {MenuKind::Head, MenuView, u"sMenuView", u"View"},
    {MenuKind::Radio, MenuOnlyTable1, u"sMenuOnlyTbl1", u"Only Table 1"},
    {MenuKind::Radio, MenuOnlyTable2, u"sMenuOnlyTbl2", u"Only Table 2"},
    {MenuKind::Radio, MenuTwoTables, u"sMenuTwoTbl", u"\u0422wo Tables"},  // the first letter is Cyrillic
    {MenuKind::Head, MenuOptions, u"sMenuOptions", u"Options"},
    {MenuKind::Check, MenuColorApi, nullptr, u"Use Macro ColorCode"},  // hidden
    {MenuKind::Check, MenuAskChange, u"sMenuAskChange", u"Ask before apply changes"},
    {MenuKind::Head, MenuTools, u"sMenuTools", u"Tools"},
    {MenuKind::Command, MenuCopyTime12, u"sMenuCopyTime12", u"Copy Time Dialogs (1 to 2)"},
    {MenuKind::Command, MenuCopyTime21, u"sMenuCopyTime21", u"Copy Time Dialogs (2 to 1)"},
    {MenuKind::Separator},
    {MenuKind::Command, MenuCopyValues12, u"sMenuCopyValue12", u"Copy Values (1 to 2)"},
    {MenuKind::Command, MenuCopyValues21, u"sMenuCopyValue21", u"Copy Values (2 to 1)"},
    {MenuKind::Separator},
    {MenuKind::Command, MenuUpdate1, u"sMenuUpdateTable1", u"Update Table1 from File..."},
    {MenuKind::Command, MenuUpdate2, u"sMenuUpdateTable2", u"Update Table2 from File..."},
    {MenuKind::Separator},
    {MenuKind::Command, MenuTranslate12, u"sMenuTranslate12", u"Translate (1 to 2) from File..."},
    {MenuKind::Command, MenuTranslate21, u"sMenuTranslate21", u"Translate (2 to 1) from File..."},
    {MenuKind::Separator},
    {MenuKind::Command, MenuCheck, u"sMenuCheck", u"Check"},
    {MenuKind::Command, MenuNextFinding, u"sMenuNextFinding", u"Next Finding", u"F8"},
    {MenuKind::Command, MenuPreviousFinding, u"sMenuPreviousFinding", u"Previous Finding", u"Shift+F8"},
    {MenuKind::Separator},
    {MenuKind::Command, MenuCompare, u"sMenuCompare", u"Compare with file..."},
    {MenuKind::Command, MenuNextDifference, u"sMenuNextDifference", u"Next Difference", u"F7"},
    {MenuKind::Command, MenuPreviousDifference, u"sMenuPreviousDifference", u"Previous Difference", u"Shift+F7"},
    {MenuKind::Command, MenuClearComparison, u"sMenuClearComparison", u"Clear Comparison"},
    {MenuKind::Head, MenuHelp, u"sMenuHelp", u"Help"},
    {MenuKind::Command, MenuHotKeys, u"sHotKeys", u"Hot Keys"},
    {MenuKind::Command, MenuAbout, u"sMenuAbout", u"About Vellumark"},
    // Its radio items, one per language, come from the settings.
    {MenuKind::Head, MenuLanguage, nullptr, u"Language"},
};

inline constexpr MenuRow ContextMenuRows[] = {
    {MenuKind::Command, ContextDelete, nullptr, u"Delete"},
    {MenuKind::Command, ContextInsert, nullptr, u"Insert"},
    {MenuKind::Separator},
    {MenuKind::Command, ContextCopyValue, nullptr, u"Copy Value"},
    {MenuKind::Command, ContextPasteValue, nullptr, u"Paste Value"},
    {MenuKind::Separator},
    {MenuKind::Command, ContextMoveDown, nullptr, u"Move Down"},
    {MenuKind::Command, ContextMoveUp, nullptr, u"Move Up"},
};

// The main menu's row of a command (none for a language).
constexpr const MenuRow* FindMenuRow(int command) {
    for (const MenuRow& row : MainMenuRows)
        if (row.kind != MenuKind::Separator && row.command == command) return &row;
    return nullptr;
}

}  // namespace vm
