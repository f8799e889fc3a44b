// A flat toolbar with text to the right of the images; buttons may carry a
// drop-down arrow. Buttons are addressed by index and can be hidden.
#pragma once

#include "toolkit/Window.h"

namespace tk {

struct ToolBar : Wnd {
    struct CreateArgs {
        HWND parent = nullptr;
        Dock dock = Dock::Top;
    };
    void Create(const CreateArgs& args);

    // image: an index into the system's small standard images, -1 none.
    void AddButton(std::u16string_view text, int image, bool dropDown);
    void SetButtonText(int index, std::u16string_view text);
    std::u16string ButtonText(int index) const;
    void SetButtonEnabled(int index, bool enabled);
    bool IsButtonEnabled(int index) const;
    void SetButtonVisible(int index, bool visible);
    bool IsButtonVisible(int index) const;
    RECT ButtonRect(int index) const;
    // Fits the height to the buttons (sets dockSize: one row).
    void AutoSize();
    // Buttons that do not fit the width go to another row.
    int DockHeight(int width) override;

    int currentButton = -1;  // the button last clicked or set by a command
    std::function<void(int index)> onClick;
    std::function<void(int index)> onDropDown;

    bool OnNotify(NMHDR* header, LRESULT& result) override;
    bool OnCommand(int id, int code) override;

private:
    static constexpr int FirstId = 100;
    bool SetWrap(int index, bool wrap);  // true when it changed
    int count_ = 0;
};

}  // namespace tk
