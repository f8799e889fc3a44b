// Menus as tables of rows. A main menu's rows are heads (the menus of the
// bar), each followed by its entries (commands, separators, check and
// radio items), in the order the bar shows them; the bar is rebuilt from
// the rows whenever one changes, so rows are added, hidden and renamed by
// id. A popup menu's rows are commands and separators; it is shown modally
// and returns the id of the chosen row.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "toolkit/Toolkit.h"

namespace tk {

struct MenuItem {
    enum Kind { Head, Command, Separator, Check, Radio, Submenu };
    int id = -1;  // what choosing the row reports; heads have one to be renamed by
    Kind kind = Command;
    std::u16string caption;
    bool checked = false;
    bool enabled = true;
    bool hidden = false;
    bool ownerDrawn = false;  // popup menus: drawn by onMeasure and onDraw
};

struct MainMenu {
    std::vector<MenuItem> items;

    // Appends a row: a head, or an entry of the last head.
    void Add(MenuItem item);
    // The row of that id (null when there is none).
    MenuItem* Find(int id);
    const MenuItem* Find(int id) const;

    void SetCaption(int id, std::u16string caption);
    std::u16string Caption(int id) const;
    void SetChecked(int id, bool checked);
    bool IsChecked(int id) const;
    void SetEnabled(int id, bool enabled);
    bool IsEnabled(int id) const;
    void SetHidden(int id, bool hidden);
    // Caption and enabled state of a command at once, changed in the menu
    // bar in place (also while a menu of it is open).
    void SetCommand(int id, std::u16string caption, bool enabled);
    // The commands of a submenu row (greyed while it has none).
    void SetEntries(int id, std::vector<MenuItem> entries);

    // Attaches the menu bar to a window; every change after this rebuilds it.
    void AttachTo(HWND window);
    void Rebuild();
    // While held, changes rebuild the menu bar once, when the last hold
    // ends: a new menu bar makes the window lay itself out again.
    void Hold() { ++holds_; }
    void Release();

    // For a WM_COMMAND id from the menu bar: toggles a check item, checks a
    // radio item and unchecks the other radio items of its menu, and
    // returns the row's id (-1 when the command is not one of ours).
    int Choose(int commandId);

    static constexpr int FirstCommandId = 1000;

private:
    HWND window_ = nullptr;
    HMENU menu_ = nullptr;
    int holds_ = 0;
    bool pending_ = false;                          // changed while held
    std::map<int, std::vector<MenuItem>> entries_;  // of the submenu rows, by id
};

struct PopupMenu {
    std::vector<MenuItem> items;  // commands (ids from 0 on) and separators

    // Shows the menu at a screen position; the id of the chosen row or -1.
    int Show(HWND owner, int x, int y);

    // Owner-drawn rows, by id: the owner window passes WM_MEASUREITEM and
    // WM_DRAWITEM on to HandleMenuOwnerDraw.
    std::function<void(MEASUREITEMSTRUCT&, int id)> onMeasure;
    std::function<void(const DRAWITEMSTRUCT&, int id)> onDraw;
};

// For a window procedure: handles WM_MEASUREITEM and WM_DRAWITEM of popup
// menu rows drawn by the program.
bool HandleMenuOwnerDraw(UINT msg, LPARAM lp, LRESULT& result);

}  // namespace tk
