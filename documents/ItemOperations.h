// Inserting, clearing, deleting and moving entries of one table, edits
// applied from the editors, "Paste Value" and the mark toggle. Every key and
// value keeps its flag when entries move. Each routine that changes the
// table records the change as a step of the side's undo history (which
// marks the side modified); the ranges come from the selected rows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "documents/TblObjects.h"

namespace vm {

// Inserts last - first + 1 empty entries so that they become entries first
// to last; a table shorter than first grows with empty entries first. Then
// the editors show row first.
void InsertEntries(TTblObjects& p, std::int32_t first, std::int32_t last);

// Empties the keys and values of entries first to last (the table grows to
// reach last), keeping their flags. Redraws and the editors show row first.
void ClearEntries(TTblObjects& p, std::int32_t first, std::int32_t last);

// Removes entries first to last, as far as they exist. Then the editors
// show row first.
void DeleteEntries(TTblObjects& p, std::int32_t first, std::int32_t last);

// Moves entry from to position to when both are entries of the table.
void MoveEntry(TTblObjects& p, std::int32_t from, std::int32_t to);

// Stored form of editor text: CR LF and a lone LF become backslash and
// "n", a lone CR is dropped (a raw line break would split a text line).
std::u16string EditorTextToValue(std::u16string_view text);
// Editor form of a value: backslash and "n" become CR LF.
std::u16string ValueToEditorText(std::u16string_view value);

// An edited key or value (in stored form) for entry row of list, one of
// p's lists: when it differs from the entry's text it replaces it, the
// entry gets flag 2 and the table grows to reach row. True when it did.
bool ApplyEditedText(TTblObjects& p, TStringList& list, std::int32_t row, std::u16string_view text);

// "Paste Value": value row becomes value, with flag 2; the table grows to
// reach row.
void PasteValue(TTblObjects& p, std::int32_t row, const std::u16string& value);

// Inverts the user's mark (bit 0 of the key flag) of an entry.
void ToggleMark(TTblObjects& p, std::int32_t row);

}  // namespace vm
