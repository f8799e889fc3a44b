// Modal message boxes over a window.
#pragma once

#include "toolkit/Toolkit.h"

namespace tk {

// type: MB_OK, MB_YESNO, MB_YESNOCANCEL plus icon flags; returns IDOK,
// IDYES, IDNO or IDCANCEL.
int ShowMessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type);

// When set, message boxes are answered by this instead of being shown
// (window tests answer them without a user).
extern int (*MessageBoxOverride)(std::u16string_view text, std::u16string_view caption, UINT type);

}  // namespace tk
