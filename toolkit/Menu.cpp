#include "toolkit/Menu.h"

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
    for (std::size_t i = 0; i < items.size(); ++i) {
        const MenuItem& item = items[i];
        const NativeString caption = ToNative(item.caption);
        if (item.kind == MenuItem::Head) {
            popup = CreatePopupMenu();
            if (!item.hidden) AppendMenu(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), caption.c_str());
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
