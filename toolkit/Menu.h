// Menus. The main menu is a numbered list of entries (heads, commands,
// separators, check and radio items) from which the menu bar is rebuilt
// whenever an entry changes, so entries can be hidden, inserted and
// renamed by number. Popup menus are shown modally and return the index
// of the chosen entry.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "toolkit/Toolkit.h"

namespace tk {

struct MenuItem {
    enum Kind { Head, Command, Separator, Check, Radio };
    Kind kind = Command;
    std::u16string caption;
    bool checked = false;
    bool enabled = true;
    bool hidden = false;
    int group = 0;  // radio items of one group > 0 check each other out
    // A head shown in the menu bar in front of the head with this number
    // (-1: in the order of the numbers). Numbers stay as they are.
    int showBefore = -1;
};

struct MainMenu {
    std::vector<MenuItem> items;  // item number = index

    int Add(MenuItem::Kind kind, std::u16string caption = {}, int group = 0);
    // Inserts before entry number; the entries from there on move up.
    void Insert(int number, MenuItem item);

    void SetCaption(int number, std::u16string caption);
    std::u16string Caption(int number) const;
    void SetChecked(int number, bool checked);
    bool IsChecked(int number) const;
    void SetEnabled(int number, bool enabled);
    bool IsEnabled(int number) const;
    void SetHidden(int number, bool hidden);
    // Caption and enabled state of a command at once, changed in the menu
    // bar in place (also while a menu of it is open).
    void SetCommand(int number, std::u16string caption, bool enabled);

    // Attaches the menu bar to a window; every change after this rebuilds it.
    void AttachTo(HWND window);
    void Rebuild();
    // While held, changes rebuild the menu bar once, when the last hold
    // ends: a new menu bar makes the window lay itself out again.
    void Hold() { ++holds_; }
    void Release();

    // For a WM_COMMAND id from the menu bar: toggles a check item, checks a
    // radio item within its group, and returns the entry number (-1 when
    // the id is not one of ours).
    int Choose(int commandId);

    static constexpr int FirstCommandId = 1000;

private:
    HWND window_ = nullptr;
    HMENU menu_ = nullptr;
    int holds_ = 0;
    bool pending_ = false;  // changed while held
    bool Valid(int number) const { return number >= 0 && number < static_cast<int>(items.size()); }
};

struct PopupMenu {
    struct Entry {
        std::u16string caption;
        bool separator = false;
        bool ownerDrawn = false;
    };
    std::vector<Entry> entries;

    void Add(std::u16string caption, bool ownerDrawn = false) { entries.push_back({std::move(caption), false, ownerDrawn}); }
    void AddSeparator() { entries.push_back({{}, true, false}); }

    // Shows the menu at a screen position; the index of the chosen entry
    // or -1.
    int Show(HWND owner, int x, int y);

    // Owner-drawn entries: the owner window passes WM_MEASUREITEM and
    // WM_DRAWITEM on to HandleOwnerDraw.
    std::function<void(MEASUREITEMSTRUCT&, int index)> onMeasure;
    std::function<void(const DRAWITEMSTRUCT&, int index)> onDraw;
};

// For a window procedure: handles WM_MEASUREITEM and WM_DRAWITEM of popup
// menu entries drawn by the program.
bool HandleMenuOwnerDraw(UINT msg, LPARAM lp, LRESULT& result);

}  // namespace tk
