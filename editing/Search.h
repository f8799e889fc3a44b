// The search bar of each side: go to a row number, find a key or a value.
#pragma once

#include "documents/TblObjects.h"

namespace vm {

// Opens p's search bar in mode (0 go to, 1 find key, 2 find value), or
// closes it when it is open in that mode already.
void ToggleSearchBar(TTblObjects& p, int mode);
// Labels p's search bar for its mode, in the language's texts.
void LabelSearchBar(TTblObjects& p);
// Runs the search typed into p's search box.
void RunSearch(TTblObjects& p);
// The entry found from the current row on (wrapping), or -1.
int FindEntry(const TStringList& list, const std::u16string& text, std::int32_t current);

}  // namespace vm
