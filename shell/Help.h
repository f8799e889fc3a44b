// The hot-key help window and the About box's text.
#pragma once

#include <string>

#include "toolkit/Controls.h"
#include "toolkit/Panel.h"

namespace vm {

// The About box's text; its caption is "About " and the window's title.
extern const char16_t* const AboutText;

struct HelpWindow : tk::Panel {
    tk::Edit text;
    tk::Button ok;
    HFONT font = nullptr;
    ~HelpWindow() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
};

extern HelpWindow* TheHelpWindow;

// Builds the help window, hidden, owned by the main window.
void CreateHelpWindow();
// Creates the help window if it is gone, shows it and brings it forward.
void ShowHelp();
void DestroyHelpWindow();

}  // namespace vm
