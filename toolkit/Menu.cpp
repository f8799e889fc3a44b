#include "toolkit/Menu.h"

#include <algorithm>

namespace tk {

int MainMenu::Add(MenuItem::Kind kind, std::u16string caption, int group) {
    MenuItem item;
    item.kind = kind;
    item.caption = std::move(caption);
    item.group = group;
    items.push_back(std::move(item));
    return static_cast<int>(items.size()) - 1;
}

void MainMenu::Insert(int number, MenuItem item) {
    if (number < 0 || number > static_cast<int>(items.size())) number = static_cast<int>(items.size());
    items.insert(items.begin() + number, std::move(item));
    Rebuild();
}

void MainMenu::SetCaption(int number, std::u16string caption) {
    if (!Valid(number)) return;
    items[static_cast<std::size_t>(number)].caption = std::move(caption);
    Rebuild();
}

std::u16string MainMenu::Caption(int number) const {
    return Valid(number) ? items[static_cast<std::size_t>(number)].caption : std::u16string();
}

void MainMenu::SetChecked(int number, bool checked) {
    if (!Valid(number)) return;
    items[static_cast<std::size_t>(number)].checked = checked;
    Rebuild();
}

bool MainMenu::IsChecked(int number) const { return Valid(number) && items[static_cast<std::size_t>(number)].checked; }

void MainMenu::SetEnabled(int number, bool enabled) {
    if (!Valid(number)) return;
    items[static_cast<std::size_t>(number)].enabled = enabled;
    Rebuild();
}

bool MainMenu::IsEnabled(int number) const { return Valid(number) && items[static_cast<std::size_t>(number)].enabled; }

void MainMenu::SetHidden(int number, bool hidden) {
    if (!Valid(number)) return;
    items[static_cast<std::size_t>(number)].hidden = hidden;
    Rebuild();
}

void MainMenu::SetCommand(int number, std::u16string caption, bool enabled) {
    if (!Valid(number)) return;
    MenuItem& item = items[static_cast<std::size_t>(number)];
    if (item.caption == caption && item.enabled == enabled) return;
    item.caption = std::move(caption);
    item.enabled = enabled;
    if (!menu_ || item.hidden) return;
    const NativeString text = ToNative(item.caption);
    MENUITEMINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING | MIIM_STATE;
    info.fState = (item.checked ? MFS_CHECKED : MFS_UNCHECKED) | (enabled ? MFS_ENABLED : MFS_GRAYED);
    info.dwTypeData = const_cast<NativeChar*>(text.c_str());
    SetMenuItemInfo(menu_, static_cast<UINT>(FirstCommandId + number), FALSE, &info);
}

void MainMenu::AttachTo(HWND window) {
    window_ = window;
    Rebuild();
}

void MainMenu::Release() {
    if (holds_ > 0 && --holds_ == 0 && pending_) Rebuild();
}

void MainMenu::Rebuild() {
    if (!window_) return;
    if (holds_ > 0) {
        pending_ = true;
        return;
    }
    pending_ = false;
    HMENU bar = CreateMenu();
    HMENU popup = nullptr;
    // The heads with their menus, in the order the bar shows them.
    struct Shown {
        int number;
        HMENU popup;
    };
    std::vector<Shown> heads;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const MenuItem& item = items[i];
        const NativeString caption = ToNative(item.caption);
        if (item.kind == MenuItem::Head) {
            popup = CreatePopupMenu();
            heads.push_back({static_cast<int>(i), popup});
            continue;
        }
        if (!popup || item.hidden) continue;
        if (item.kind == MenuItem::Separator) {
            AppendMenu(popup, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        MENUITEMINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | MIIM_STATE;
        info.fType = MFT_STRING | (item.kind == MenuItem::Radio ? MFT_RADIOCHECK : 0);
        info.fState = (item.checked ? MFS_CHECKED : MFS_UNCHECKED) | (item.enabled ? MFS_ENABLED : MFS_GRAYED);
        info.wID = static_cast<UINT>(FirstCommandId + static_cast<int>(i));
        info.dwTypeData = const_cast<NativeChar*>(caption.c_str());
        InsertMenuItem(popup, GetMenuItemCount(popup), TRUE, &info);
    }
    for (std::size_t i = 0; i < heads.size(); ++i) {
        const int before = items[static_cast<std::size_t>(heads[i].number)].showBefore;
        if (before < 0) continue;
        const auto at = std::find_if(heads.begin(), heads.end(), [before](const Shown& h) { return h.number == before; });
        if (at == heads.end() || at - heads.begin() > static_cast<std::ptrdiff_t>(i)) continue;
        std::rotate(at, heads.begin() + static_cast<std::ptrdiff_t>(i), heads.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    }
    for (const Shown& head : heads) {
        const MenuItem& item = items[static_cast<std::size_t>(head.number)];
        if (item.hidden) {
            DestroyMenu(head.popup);
            continue;
        }
        AppendMenu(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(head.popup), ToNative(item.caption).c_str());
    }
    HMENU old = menu_;
    menu_ = bar;
    SetMenu(window_, bar);
    DrawMenuBar(window_);
    if (old) DestroyMenu(old);
}

int MainMenu::Choose(int commandId) {
    const int number = commandId - FirstCommandId;
    if (!Valid(number)) return -1;
    MenuItem& item = items[static_cast<std::size_t>(number)];
    if (item.kind == MenuItem::Check) {
        item.checked = !item.checked;
        Rebuild();
    } else if (item.kind == MenuItem::Radio && item.group > 0) {
        for (MenuItem& other : items)
            if (other.kind == MenuItem::Radio && other.group == item.group) other.checked = false;
        item.checked = true;
        Rebuild();
    }
    return number;
}

int PopupMenu::Show(HWND owner, int x, int y) {
    HMENU menu = CreatePopupMenu();
    std::vector<NativeString> captions;
    captions.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const UINT id = static_cast<UINT>(i + 1);
        if (e.separator) {
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
