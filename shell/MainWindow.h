// The main window: menu bar, the two sides with their toolbars, search
// bars, list views and editors, the splitters, and the popup menus.
#pragma once

#include <memory>

#include "documents/TblObjects.h"
#include "shell/Settings.h"
#include "toolkit/Controls.h"
#include "toolkit/Form.h"
#include "toolkit/ListView.h"
#include "toolkit/Splitter.h"
#include "toolkit/ToolBar.h"

namespace vm {

// Entry numbers of the main menu. The Edit menu came last and keeps the
// numbers after Help, though the bar shows it between File and View.
enum MenuNumber : int {
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
    MenuSavingSettings = 15,
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
};

// Toolbar buttons of each side.
enum ToolButton : int { ButtonOpen = 0, ButtonSave = 1, ButtonColor = 2, ButtonGender = 3 };

struct SideControls {
    tk::Panel panel;
    tk::ToolBar toolbar;
    tk::Label source;  // a string file and its language column; hidden otherwise
    tk::Panel searchBar;
    tk::Label searchLabel;
    tk::Button searchButton;
    tk::ComboBox searchBox;
    tk::ListView list;
    tk::Splitter splitter;
    tk::Edit keyEditor;
    tk::Edit valueEditor;
};

struct MainWindow {
    tk::Form form;
    tk::MainMenu menu;
    tk::PopupMenu colourMenu;
    tk::PopupMenu genderMenu;
    tk::PopupMenu contextMenu;
    SideControls sides[2];
    tk::Splitter mainSplitter;
    HFONT windowFont = nullptr;
    HFONT listFont = nullptr;      // null: the lists keep the window font
    HFONT menuItemFont = nullptr;  // bold, for the colour menu
    int splitPercent = 50;
    // The editor pair serving each table; the view layout reassigns them.
    tk::Edit* keyEditorOf[2] = {};
    tk::Edit* valueEditorOf[2] = {};

    MainWindow() = default;
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Builds every control; the window stays hidden.
    void Create();
    SideControls& Side(int side) { return sides[side == 2 ? 1 : 0]; }
    SideControls& SideOf(const TTblObjects& p) { return Side(p.Side); }
    // The table the Edit menu acts on: the shown table whose list or
    // editors have the keyboard focus, else the one changed last.
    TTblObjects& EditTarget();
    // Undo and Redo in the Edit menu: what they would do, greyed when
    // there is nothing.
    void RefreshEditMenu();
    tk::Edit& KeyEditorOf(const TTblObjects& p) { return *keyEditorOf[p.Side == 2 ? 1 : 0]; }
    tk::Edit& ValueEditorOf(const TTblObjects& p) { return *valueEditorOf[p.Side == 2 ? 1 : 0]; }
    // p's list when it is shown, otherwise the other table's.
    tk::ListView& ShownListOf(const TTblObjects& p);
    // After controls were hidden: the keyboard goes back to a control that
    // can take it when it was left on a hidden one (or on none).
    void KeepKeyboard();

    // The window's place, size and Key column width, to be remembered.
    void GetLayout(WindowLayout& layout) const;
    // Puts the window where a remembered layout says, when that place is
    // on a screen, and sets the Key columns; true when the window is to be
    // shown maximised.
    bool ApplyLayout(const WindowLayout& layout);

private:
    void BuildMenus();
    void BuildSide(int side);
    void WireEvents();
    void OnResize();
};

extern MainWindow* TheMainWindow;

// What the documents ask of one side, done on the side's controls.
class SideView final : public TableSideView {
public:
    explicit SideView(int side) : side_(side) {}
    void SetRowCount(std::int32_t rows) override;
    void Redraw() override;
    void SelectRow(std::int32_t row) override;
    RowBlock SelectedRows() override;
    void SelectRows(RowBlock rows, std::int32_t focus) override;
    void SwitchEditorRow(std::int32_t newRow, std::int32_t oldRow) override;
    void SetNumberColumnWidth(std::int32_t rows) override;
    void EnableSave() override;
    void ShowMessage(const std::u16string& text, const std::u16string& caption) override;
    AskAnswer AskYesNoCancel(const std::u16string& text, const std::u16string& caption) override;
    bool AskYesNo(const std::u16string& text, const std::u16string& caption) override;
    bool SaveWithDialog() override;
    void ShowSource(const std::u16string& text) override;

private:
    int side_;
};

}  // namespace vm
