// The main window as the editing code sees it: the form with its menu bar,
// the controls of both sides, the editor pair serving each table, and what
// only the program's shell can do (settings, languages, help). The main
// window (shell/MainWindow.h) implements it.
#pragma once

#include "documents/ObjectLanguages.h"
#include "documents/Workspace.h"
#include "editing/Findings.h"
#include "toolkit/Controls.h"
#include "toolkit/Form.h"
#include "toolkit/ListView.h"
#include "toolkit/Splitter.h"
#include "toolkit/ToolBar.h"

namespace vm {

// Toolbar buttons of each side.
enum ToolButton : int { ButtonOpen = 0, ButtonSave = 1, ButtonColor = 2, ButtonGender = 3 };

struct SideControls {
    tk::Panel panel;
    tk::ToolBar toolbar;
    tk::Label source;  // a string file and its language column; hidden otherwise
    tk::Panel searchBar;
    tk::Label searchLabel;
    tk::ChoiceBox searchMatch;  // anywhere or at the start; the find modes only
    tk::Button searchButton;
    tk::ComboBox searchBox;
    // Empty room above the list, as high as the other side shows more above
    // its list (a search bar, a file label): row N of both lists stays on
    // one line.
    tk::Panel aboveList;
    tk::ListView list;
    tk::Splitter splitter;
    tk::Edit keyEditor;
    tk::Edit valueEditor;
};

// The findings panel below both sides (editing/Findings.h).
struct FindingsControls {
    tk::Panel panel;  // hidden until a check runs
    tk::Panel bar;
    tk::Label counts;
    tk::ChoiceBox severity;
    tk::ChoiceBox rule;
    tk::Button fix;
    tk::Button close;
    tk::ListView list;
};

class EditingWindow {
public:
    tk::Form form;
    tk::MainMenu menu;  // built from MainMenuRows (editing/Commands.h)
    SideControls sides[2];
    FindingsControls findings;
    FindingsState findingsState;
    tk::StatusBar status;  // a part per side: its row count and current row
    // The height of the key and value boxes under the lists in the
    // two-table view (the lists take the rest); the inner splitters set it.
    int editorHeight = 120;
    // The editor pair serving each table; the view layout reassigns them.
    tk::Edit* keyEditorOf[2] = {};
    tk::Edit* valueEditorOf[2] = {};
    HFONT menuItemFont = nullptr;  // bold, for the colour menu

    // What the window shows and edits; set by start-up.
    Workspace* space = nullptr;
    Workspace& Space() { return *space; }

    // Side 0 is Table 1, side 1 Table 2.
    SideControls& Side(int side) { return sides[side]; }
    SideControls& SideOf(const TTblObjects& p) { return Side(p.Side); }
    tk::Edit& KeyEditorOf(const TTblObjects& p) { return *keyEditorOf[p.Side]; }
    tk::Edit& ValueEditorOf(const TTblObjects& p) { return *valueEditorOf[p.Side]; }
    // p's list when it is shown, otherwise the other table's.
    tk::ListView& ShownListOf(const TTblObjects& p);
    // The table the Edit menu acts on: the shown table whose list or
    // editors have the keyboard focus, else the one changed last.
    TTblObjects& EditTarget();
    // After controls were hidden: the keyboard goes back to a control that
    // can take it when it was left on a hidden one (or on none).
    void KeepKeyboard();

    // Writes the settings file (after an option changed).
    virtual void StoreSettings() = 0;
    // A view mode: MenuOnlyTable1, MenuOnlyTable2 or MenuTwoTables.
    virtual void ChooseView(int command) = 0;
    // A language of the Language menu: 0 English, 1.. the listed ones.
    virtual void ChooseLanguage(int index) = 0;
    // The File menu's recent files as the workspace holds them, and the
    // title with each side's file.
    virtual void ShowRecentFiles() = 0;
    virtual void ShowTitle() = 0;
    // The panel of every language of an object (documents/ObjectLanguages.h)
    // with this title; true on OK, with the lines' texts.
    virtual bool AskObjectLanguages(const std::u16string& title, const ObjectLanguages& shown,
                                    std::u16string (&texts)[JsonLanguageCount]) = 0;
    virtual void ShowHotKeys() = 0;
    virtual void ShowAbout() = 0;

protected:
    EditingWindow() = default;
    ~EditingWindow() = default;
    EditingWindow(const EditingWindow&) = delete;
    EditingWindow& operator=(const EditingWindow&) = delete;
};

// Set while the main window exists.
extern EditingWindow* TheWindow;

}  // namespace vm
