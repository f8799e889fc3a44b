// Interface texts of the window that a language file can replace, with
// their built-in English. Those of the lists, editors and search bars are
// in editing/EditingTexts.h, the documents' own texts in
// documents/DocumentTexts.h.
#pragma once

#include <string>

#include "VellumarkVersion.h"
#include "editing/EditingTexts.h"

namespace vm {

// The Edit menu's commands: alone when there is nothing to undo or redo,
// else with "%1" standing for the step's name.
extern std::u16string sMenuUndo;
extern std::u16string sMenuRedo;
extern std::u16string sMenuUndoStep;
extern std::u16string sMenuRedoStep;
// The help window's text, line breaks as CR LF. In a language file the
// text is one line, with backslash and "n" where a line ends.
extern std::u16string sHotKeyText;
extern const char16_t* const BuiltInHotKeyText;

// The main window's title; the About box's caption names it.
inline constexpr const char16_t* WindowCaption = u"Vellumark v" VM_VERSION_TITLE;

void ResetInterfaceTexts();

}  // namespace vm
