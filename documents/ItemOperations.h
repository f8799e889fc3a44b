// Inserting, clearing, deleting and moving entries of one table. Every
// key and value keeps its flag when entries move. Each routine that changes
// the table marks the side modified; the ranges come from the selected rows.
#pragma once

#include <cstdint>

#include "TblObjects.h"

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

}  // namespace vm
