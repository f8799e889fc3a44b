// The simple controls: static text, push button, edit box, combo box.
#pragma once

#include "toolkit/Window.h"

namespace tk {

struct Label : Wnd {
    struct CreateArgs {
        HWND parent = nullptr;
        std::u16string text;
        Dock dock = Dock::None;
        int dockSize = 0;
        DWORD style = SS_LEFT | SS_CENTERIMAGE;
    };
    void Create(const CreateArgs& args);
    // Width of the text in the control's font, plus a margin.
    int TextWidth() const;
};

struct Button : Wnd {
    struct CreateArgs {
        HWND parent = nullptr;
        std::u16string text;
        Dock dock = Dock::None;
        int dockSize = 0;
    };
    void Create(const CreateArgs& args);
    std::function<void()> onClick;
    bool OnCommand(int id, int code) override;
};

struct Edit : Wnd {
    struct CreateArgs {
        HWND parent = nullptr;
        bool multiLine = false;
        Dock dock = Dock::None;
        int dockSize = 0;
        bool enabled = true;
        bool wrapLines = false;  // multi-line: wrap instead of scrolling sideways
        bool readOnly = false;
        int margin = 0;  // pixels between the text and the box's left and right edges
    };
    void Create(const CreateArgs& args);

    bool IsModified() const;
    void SetModified(bool modified);
    // Replaces the text; the modified mark and the undo step are cleared.
    void SetTextClean(std::u16string_view text);
    // The same, and enables or disables the box.
    void ShowText(std::u16string_view text, bool enabled);
    // Replaces the selection as if typed: the modified mark is set and the
    // replacement can be undone.
    void ReplaceSelection(std::u16string_view text);

    // A key-down message before the edit box sees it; true consumes it,
    // and with it the character the key makes (Ctrl+Z would otherwise
    // still reach the box as its own undo).
    std::function<bool(WPARAM key, LPARAM keyData)> onKeyDown;
    // After the edit box has gained (true) or lost (false) the input focus.
    std::function<void(bool gained)> onFocusChange;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void ApplyMargins();
    bool dropChar_ = false;  // the next character belongs to a consumed key
    int margin_ = 0;
};

// An editable text field with a drop-down list of earlier entries.
struct ComboBox : Wnd {
    struct CreateArgs {
        HWND parent = nullptr;
        Dock dock = Dock::None;
        int dockSize = 0;
        int dropHeight = 200;
    };
    void Create(const CreateArgs& args);
    void AddItem(std::u16string_view text);
    int ItemCount() const;
    std::u16string Item(int index) const;
    // Selects the whole text of the edit field.
    void SelectAllText();
    // Keys typed into the edit field; true consumes the key.
    std::function<bool(WPARAM key)> onKeyDown;

private:
    struct EditPart : Wnd {
        ComboBox* owner = nullptr;
        void Hook(HWND edit, ComboBox* combo) {
            owner = combo;
            Attach(edit, true);
        }
        bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    } edit_;
};

// A drop-down list to choose one of its items from.
struct ChoiceBox : Wnd {
    struct CreateArgs {
        HWND parent = nullptr;
        Dock dock = Dock::None;
        int dockSize = 0;
        int dropHeight = 240;
    };
    void Create(const CreateArgs& args);
    // Replaces the items, choosing the one at chosen (none when negative).
    void SetItems(const std::vector<std::u16string>& items, int chosen);
    int Chosen() const;  // -1 for none
    // The width that shows the widest item whole, with the drop-down arrow.
    int ItemsWidth() const;
    void Choose(int index);
    // After the user chose another item.
    std::function<void(int index)> onChoose;
    bool OnCommand(int id, int code) override;
};

// A line of text parts along the bottom of its parent.
struct StatusBar : Wnd {
    struct CreateArgs {
        HWND parent = nullptr;
        Dock dock = Dock::Bottom;
    };
    // Made as high as its font needs.
    void Create(const CreateArgs& args);
    // The parts' right edges in pixels; the last part reaches the end.
    void SetParts(const std::vector<int>& rightEdges);
    // A part's text; nothing is sent when the part shows that text already.
    void SetPartText(int part, std::u16string_view text);

private:
    std::vector<std::u16string> texts_;
};

}  // namespace tk
