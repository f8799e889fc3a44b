// The main window: the menu bar, the two sides with their toolbars, search
// bars, list views and editors, the splitters and the lists' context menu;
// what the editing code asks of it (EditingWindow), and what the documents
// ask of each side (SideView).
#pragma once

#include "documents/TblObjects.h"
#include "editing/EditingWindow.h"
#include "shell/Settings.h"

namespace vm {

struct MainWindow final : EditingWindow {
    tk::PopupMenu contextMenu;
    tk::Splitter mainSplitter;
    HFONT windowFont = nullptr;
    HFONT listFont = nullptr;  // null: the lists keep the window font
    int splitPercent = 50;

    MainWindow() = default;
    ~MainWindow();

    // Builds every control; the window stays hidden.
    void Create();
    // Undo and Redo in the Edit menu: what they would do, greyed when
    // there is nothing.
    void RefreshEditMenu();

    // The window's place, size and Key column width, to be remembered.
    void GetLayout(WindowLayout& layout) const;
    // Puts the window where a remembered layout says, when that place is
    // on a screen, and sets the Key columns; true when the window is to be
    // shown maximised.
    bool ApplyLayout(const WindowLayout& layout);

    void StoreSettings() override;
    void ChooseView(int command) override;
    void ChooseLanguage(int index) override;
    void ShowRecentFiles() override;
    void ShowTitle() override;
    bool AskObjectLanguages(const std::u16string& title, const ObjectLanguages& shown,
                            std::u16string (&texts)[JsonLanguageCount]) override;
    void ShowHotKeys() override;
    void ShowAbout() override;

private:
    void BuildMenus();
    void BuildSide(int side);
    void BuildFindings();
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
    void FileOpened() override;

private:
    int side_;
};

}  // namespace vm
