// The panel that shows every language of one object of a string file, one
// line each, over the main window (documents/ObjectLanguages.h).
#pragma once

#include <string>

#include "documents/ObjectLanguages.h"
#include "toolkit/Toolkit.h"

namespace vm {

// Shows shown's texts, the lines of the columns no side shows read-only,
// in font (none: the dialog's own), with title. True on OK, with the
// lines' texts in texts: a line left as it was gives shown's text exactly,
// also where the single-byte program could not show every character.
bool ShowLanguagesDialog(HWND owner, HFONT font, const std::u16string& title, const ObjectLanguages& shown,
                         std::u16string (&texts)[JsonLanguageCount]);

}  // namespace vm
