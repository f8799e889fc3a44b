// The key and value editors of each shown table, and the clipboard.
#pragma once

#include <cstdint>
#include <string>

#include "documents/ItemOperations.h"
#include "documents/TblObjects.h"
#include "toolkit/Toolkit.h"

namespace vm {

// Applies p's editors to entry oldRow (none when -1), asking first unless
// the options say not to ask, then shows entry newRow in them and selects newRow
// in the other table's list view. Does nothing while p is not shown.
void SwitchEditorRow(TTblObjects& p, std::int32_t newRow, std::int32_t oldRow);

// Before a command that reads, writes or replaces the tables (open, save,
// the tools, the check, closing the window): what is typed into the shown
// tables' editors and not applied yet is applied at the current row, after
// the question unless the options say not to ask. The command goes on
// whatever the answer.
void ApplyTypedEdits();

// A key typed into a key editor serving p; true consumes it.
bool KeyEditorKey(TTblObjects& p, WPARAM key, std::uint32_t shiftState);

bool CopyTextToClipboard(HWND owner, const std::u16string& text);
// False (text unchanged) when the clipboard holds no text.
bool PasteTextFromClipboard(HWND owner, std::u16string& text);

}  // namespace vm
