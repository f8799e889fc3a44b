// The search bar of each side: go to a row number, find a key or a value,
// at the start of the text as typed or anywhere in it without regard to
// case; F3 and Shift+F3 find the next and the previous match.
#pragma once

#include "documents/TblObjects.h"

namespace vm {

// Opens p's search bar in mode (0 go to, 1 find key, 2 find value), or
// closes it when it is open in that mode already.
void ToggleSearchBar(TTblObjects& p, int mode);
// Labels p's search bar for its mode, in the language's texts.
void LabelSearchBar(TTblObjects& p);
// Runs the search typed into p's search box, finding forwards (step 1) or
// backwards (step -1) from the current row; a find that finds nothing
// says so in the bar.
void RunSearch(TTblObjects& p, int step = 1);
// F3 (step 1) and Shift+F3 (step -1): the next or previous match of the
// search bar of the side in use, opened in the find mode used last when
// it is not open in a find mode.
void FindAgain(int step);
// Takes the bar's "not found" away (the text searched for is changing).
void ClearNotFound(TTblObjects& p);
// Sets how p's find mode matches: anywhere without regard to case, or at
// the start as typed.
void ChooseSearchMatch(TTblObjects& p, bool anywhere);
// The entry found from the current row on, going round, or -1: the first
// one after current (before it, when step is -1) whose text starts with s
// (holds s anywhere, letters compared without case, when anywhere is
// set); the current row's own entry comes last. When current is no entry
// of the list the search starts at the first entry (the last one
// backwards).
int FindEntry(const TStringList& list, const std::u16string& s, std::int32_t current, bool anywhere = false,
              int step = 1);

}  // namespace vm
