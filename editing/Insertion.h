// The colour and gender popup menus: a colour macro (or code) or a gender
// marker goes into the value editor of the command target, at the caret,
// as an edit the editor can undo.
#pragma once

#include <string>

#include "documents/TblObjects.h"

namespace vm {

// The marker each gender item inserts.
extern const char16_t* const GenderMarkers[7];

// The text colour item i inserts: its macro word, or with macroWords off
// the game's code.
std::u16string ColourInsertText(int item, bool macroWords);

void ShowColourMenu(TTblObjects& target, int x, int y);
void ShowGenderMenu(TTblObjects& target, int x, int y);
void InsertColour(TTblObjects& target, int item);
void InsertGender(TTblObjects& target, int item);

}  // namespace vm
