// Placeholder until the dialogs land: the names exist, nothing is shown.
#include "FileDialogs.h"

namespace vm {

std::u16string DialogDir;
FileDialogShower* TheFileDialogShower = nullptr;
std::function<void()> AfterDialogSave;
const char16_t* const OpenFilter = u"*.tbl (Diablo II text table file)|*.tbl|*.txt (Tabbed & Diablo II format)|*.txt|";
const char16_t* const SaveFilter =
    u"*.tbl (Diablo II table file)|*.tbl|*.txt (Tabbed format)|*.txt|*.txt (Diablo II format)|*.txt|";

void OpenDialog(TTblObjects&, int) {}
bool SaveDialog(TTblObjects&) { return false; }
void OpenDialogHook::OnCreate(DialogControls&) {}
void OpenDialogHook::OnNotify(DialogControls&, int) {}
void OpenDialogHook::OnCommand(DialogControls&, int, int) {}
void OpenDialogHook::OnDestroy(DialogControls&) {}
void SaveDialogHook::OnCreate(DialogControls&) {}
void SaveDialogHook::OnNotify(DialogControls&, int) {}
void SaveDialogHook::OnCommand(DialogControls&, int, int) {}
void SaveDialogHook::OnDestroy(DialogControls&) {}
std::u16string NamePart(const std::u16string& path) { return path; }

}  // namespace vm
