// The platform's open and save dialogs with the option panel from the
// program's resources, whose events go to a DialogHook: what the
// documents' dialogs (documents/FileDialogs.h) ask of the window.
#pragma once

#include "documents/FileDialogs.h"
#include "toolkit/Toolkit.h"

namespace vm {

// The controls of one option panel, found by id in the panel's window.
class Win32DialogControls final : public DialogControls {
public:
    explicit Win32DialogControls(HWND panel) : panel_(panel) {}
    HWND Panel() const { return panel_; }
    // The file dialog that holds the panel.
    HWND Dialog() const { return GetParent(panel_); }

    void SetText(int id, const std::u16string& text) override;
    std::u16string GetText(int id, int maxChars) override;
    void AddItem(int id, const std::u16string& text) override;
    void SelectItem(int id, int index) override;
    int SelectedItem(int id) override;
    void SetChecked(int id, bool checked) override;
    bool IsChecked(int id) override;
    void Show(int id, bool shown) override;
    void Enable(int id, bool enabled) override;

private:
    HWND panel_;
};

// Shows the dialogs modally over the owner window, with the templates the
// requests name taken from the program's resources.
class Win32FileDialogShower final : public FileDialogShower {
public:
    explicit Win32FileDialogShower(HWND owner = nullptr) : owner_(owner) {}
    // The main window becomes the owner once it exists.
    void SetOwner(HWND owner) { owner_ = owner; }
    bool Show(FileDialogRequest& request, DialogHook& hook) override;

private:
    HWND owner_;
};

// Characters of the dialog's name buffer, terminator included.
inline constexpr int FileNameBufferChars = 262;

}  // namespace vm
