// Placeholder until the settings land.
#include "Settings.h"

namespace vm {

int ViewMode = ViewTwoTables;
int Language = 0;
int LanguageCount = 0;
bool StartupPass = true;
SettingsHost* TheSettingsHost = nullptr;
std::u16string SettingsFileName;

void ExchangeSettings(bool) {
    if (!TheSettingsHost) return;
    TheSettingsHost->LoadLanguage(u"English");
    TheSettingsHost->ApplyViewLayout();
    if (StartupPass) {
        TheSettingsHost->OpenCommandLineFiles();
        StartupPass = false;
    }
}

void ResetSettings() {
    ViewMode = ViewTwoTables;
    Language = 0;
    LanguageCount = 0;
    StartupPass = true;
}

}  // namespace vm
