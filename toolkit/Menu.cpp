#include "toolkit/Menu.h"

#include <iterator>

namespace tk {

namespace {

// A row's caption as the menu bar is given it. Wine clips a head's text to
// the width it measured and draws some letters (the Cyrillic "ы") a pixel
// or two past their width, and it starts the shortcut column right where
// the widest caption ends: a blank after a head's caption and one before
// the tab that starts the shortcut give both room.
NativeString MenuText(const MenuItem& item) {
    std::u16string text = item.caption;
    if (item.kind == MenuItem::Head) text += u' ';
    else if (const std::size_t tab = text.find(u'\t'); tab != std::u16string::npos) text.insert(tab, 1, u' ');
    return ToNative(text);
}

}  // namespace

void MainMenu::Add(MenuItem item) {
    items.push_back(std::move(item));
    Rebuild();
}

MenuItem* MainMenu::Find(int id) {
    for (MenuItem& item : items)
        if (item.kind != MenuItem::Separator && item.id == id) return &item;
    for (auto& [submenu, entries] : entries_)
        for (MenuItem& entry : entries)
            if (entry.kind != MenuItem::Separator && entry.id == id) return &entry;
    return nullptr;
}

const MenuItem* MainMenu::Find(int id) const { return const_cast<MainMenu*>(this)->Find(id); }

void MainMenu::SetCaption(int id, std::u16string caption) {
    if (MenuItem* item = Find(id)) {
        item->caption = std::move(caption);
        Rebuild();
    }
}

std::u16string MainMenu::Caption(int id) const {
    const MenuItem* item = Find(id);
    return item ? item->caption : std::u16string();
}

void MainMenu::SetChecked(int id, bool checked) {
    if (MenuItem* item = Find(id)) {
        item->checked = checked;
        Rebuild();
    }
}

bool MainMenu::IsChecked(int id) const {
    const MenuItem* item = Find(id);
    return item && item->checked;
}

void MainMenu::SetEnabled(int id, bool enabled) {
    if (MenuItem* item = Find(id)) {
        item->enabled = enabled;
        Rebuild();
    }
}

bool MainMenu::IsEnabled(int id) const {
    const MenuItem* item = Find(id);
    return item && item->enabled;
}

void MainMenu::SetHidden(int id, bool hidden) {
    if (MenuItem* item = Find(id)) {
        item->hidden = hidden;
        Rebuild();
    }
}

void MainMenu::SetCommand(int id, std::u16string caption, bool enabled) {
    MenuItem* found = Find(id);
    if (!found) return;
    MenuItem& item = *found;
    if (item.caption == caption && item.enabled == enabled) return;
    item.caption = std::move(caption);
    item.enabled = enabled;
    if (!menu_ || item.hidden) return;
    const NativeString text = MenuText(item);
    MENUITEMINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING | MIIM_STATE;
    info.fState = (item.checked ? MFS_CHECKED : MFS_UNCHECKED) | (enabled ? MFS_ENABLED : MFS_GRAYED);
    info.dwTypeData = const_cast<NativeChar*>(text.c_str());
    SetMenuItemInfo(menu_, static_cast<UINT>(FirstCommandId + id), FALSE, &info);
}

void MainMenu::SetEntries(int id, std::vector<MenuItem> entries) {
    entries_[id] = std::move(entries);
    Rebuild();
}

void MainMenu::AttachTo(HWND window) {
    window_ = window;
    Rebuild();
}

void MainMenu::Release() {
    if (holds_ > 0 && --holds_ == 0 && pending_) Rebuild();
}

namespace {

// A command, check or radio row at the end of a menu.
void AppendItem(HMENU menu, const MenuItem& item) {
    const NativeString caption = MenuText(item);
    MENUITEMINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | MIIM_STATE;
    info.fType = MFT_STRING | (item.kind == MenuItem::Radio ? MFT_RADIOCHECK : 0);
    info.fState = (item.checked ? MFS_CHECKED : MFS_UNCHECKED) | (item.enabled ? MFS_ENABLED : MFS_GRAYED);
    info.wID = static_cast<UINT>(MainMenu::FirstCommandId + item.id);
    info.dwTypeData = const_cast<NativeChar*>(caption.c_str());
    InsertMenuItem(menu, GetMenuItemCount(menu), TRUE, &info);
}

}  // namespace

void MainMenu::Rebuild() {
    if (!window_) return;
    if (holds_ > 0) {
        pending_ = true;
        return;
    }
    pending_ = false;
    HMENU bar = CreateMenu();
    HMENU popup = nullptr;
    const MenuItem* head = nullptr;
    // Each head goes into the bar once its menu is complete.
    const auto closeHead = [&] {
        if (head && !head->hidden)
            AppendMenu(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), MenuText(*head).c_str());
        else if (popup) DestroyMenu(popup);
    };
    for (const MenuItem& item : items) {
        if (item.kind == MenuItem::Head) {
            closeHead();
            head = &item;
            popup = CreatePopupMenu();
            continue;
        }
        if (!popup || item.hidden) continue;
        if (item.kind == MenuItem::Separator) {
            AppendMenu(popup, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        if (item.kind == MenuItem::Submenu) {
            HMENU sub = CreatePopupMenu();
            const std::vector<MenuItem>& entries = entries_[item.id];
            for (const MenuItem& entry : entries) AppendItem(sub, entry);
            const UINT greyed = entries.empty() || !item.enabled ? MF_GRAYED : 0;
            AppendMenu(popup, MF_POPUP | MF_STRING | greyed, reinterpret_cast<UINT_PTR>(sub), MenuText(item).c_str());
            continue;
        }
        AppendItem(popup, item);
    }
    closeHead();
    HMENU old = menu_;
    menu_ = bar;
    SetMenu(window_, bar);
    DrawMenuBar(window_);
    if (old) DestroyMenu(old);
}

int MainMenu::Choose(int commandId) {
    const int id = commandId - FirstCommandId;
    MenuItem* chosen = Find(id);
    if (!chosen || chosen->kind == MenuItem::Head || chosen->kind == MenuItem::Submenu) return -1;
    if (chosen->kind == MenuItem::Check) {
        chosen->checked = !chosen->checked;
        Rebuild();
    } else if (chosen->kind == MenuItem::Radio) {
        // The radio items of the chosen one's menu: the rows between the
        // heads around it.
        const auto at = items.begin() + (chosen - items.data());
        auto first = at;
        while (first != items.begin() && std::prev(first)->kind != MenuItem::Head) --first;
        for (auto it = first; it != items.end() && it->kind != MenuItem::Head; ++it)
            if (it->kind == MenuItem::Radio) it->checked = it == at;
        Rebuild();
    }
    return id;
}

int PopupMenu::Show(HWND owner, int x, int y) {
    HMENU menu = CreatePopupMenu();
    std::vector<NativeString> captions;
    captions.reserve(items.size());
    for (const MenuItem& e : items) {
        // One up: TrackPopupMenu returns 0 for no choice.
        const UINT id = static_cast<UINT>(e.id + 1);
        if (e.kind == MenuItem::Separator) {
            AppendMenu(menu, MF_SEPARATOR, 0, nullptr);
        } else if (e.ownerDrawn) {
            MENUITEMINFO info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_DATA;
            info.fType = MFT_OWNERDRAW;
            info.wID = id;
            info.dwItemData = reinterpret_cast<ULONG_PTR>(this);
            InsertMenuItem(menu, GetMenuItemCount(menu), TRUE, &info);
        } else {
            captions.push_back(ToNative(e.caption));
            AppendMenu(menu, MF_STRING, id, captions.back().c_str());
        }
    }
    const int chosen = static_cast<int>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_TOPALIGN, x, y, 0, owner, nullptr));
    DestroyMenu(menu);
    return chosen - 1;
}

bool HandleMenuOwnerDraw(UINT msg, LPARAM lp, LRESULT& result) {
    if (msg == WM_MEASUREITEM) {
        auto& m = *reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
        if (m.CtlType != ODT_MENU || !m.itemData) return false;
        auto* popup = reinterpret_cast<PopupMenu*>(m.itemData);
        if (popup->onMeasure) popup->onMeasure(m, static_cast<int>(m.itemID) - 1);
        result = TRUE;
        return true;
    }
    if (msg == WM_DRAWITEM) {
        const auto& d = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (d.CtlType != ODT_MENU || !d.itemData) return false;
        auto* popup = reinterpret_cast<PopupMenu*>(d.itemData);
        if (popup->onDraw) popup->onDraw(d, static_cast<int>(d.itemID) - 1);
        result = TRUE;
        return true;
    }
    return false;
}

}  // namespace tk
