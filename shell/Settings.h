// The settings file "Vellumark.ini" beside the program, section "GENERAL".
// One routine reads every option (Store false) or writes every option
// (Store true), then re-applies them to the window through a SettingsHost.
#pragma once

#include <string>
#include <vector>

#include "editing/Commands.h"

namespace vm {

extern int ViewMode;       // MenuOnlyTable1, MenuOnlyTable2 or MenuTwoTables
extern int Language;       // 0 English, 1.. the names of "Languages"
extern int LanguageCount;  // names in "Languages", set on the first pass
extern bool StartupPass;   // true until the first pass has ended

// The window's place and size and the width of the lists' Key column,
// remembered between runs. A width or height of 0 means none remembered:
// the window opens as built.
struct WindowLayout {
    int left = 0, top = 0, width = 0, height = 0;
    bool maximized = false;
    int keyColumnWidth = 0;
    int editorHeight = 0;  // the key and value boxes under the lists
};
extern WindowLayout Layout;

// What a settings pass changes in the window.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    // Around every pass, so that the window can apply its changes at once.
    virtual void BeginPass() {}
    virtual void EndPass() {}
    // Adds a radio item to the Language menu.
    virtual void AddLanguageItem(int command, const std::u16string& caption) = 0;
    // The languages of the language files where the program looks for them,
    // for a settings file that names none.
    virtual std::vector<std::u16string> LanguageFiles() { return {}; }
    virtual void SetMenuChecked(int command, bool checked) = 0;
    virtual std::u16string MenuCaption(int command) = 0;
    // Loads the language file of that name and applies its texts.
    virtual void LoadLanguage(const std::u16string& languageName) = 0;
    virtual void ApplyViewLayout() = 0;
    // Opens the command-line files of Table 1 and then Table 2.
    virtual void OpenCommandLineFiles() = 0;
    // The window's layout as it is now (false: no window to ask).
    virtual bool CurrentLayout(WindowLayout&) { return false; }
};

// Set by start-up before the first pass.
extern SettingsHost* TheSettingsHost;
extern std::u16string SettingsFileName;  // full path of "Vellumark.ini"

struct Workspace;

// Reads (Store false) or writes (Store true) the options of space and the
// window's own settings.
void ExchangeSettings(Workspace& space, bool Store);
// Writes the layout keys alone (when the window closes).
void StoreWindowLayout();

// Writes the recent files alone (after a file was opened or saved).
void StoreRecentFiles(Workspace& space);
// Writes what the open dialog chose that is kept between runs (the string
// files' language) alone.
void StoreOpenChoices(Workspace& space);

// Back to the values before the first read (for tests).
void ResetSettings();

}  // namespace vm
