// Where every command goes: the main menu, the toolbars, keys in the list
// views, the list context menu, column-header clicks and dropped files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "documents/History.h"
#include "documents/TblObjects.h"
#include "editing/Commands.h"

namespace vm {

// Shift-state bits.
inline constexpr std::uint32_t ShiftBit = 4;
inline constexpr std::uint32_t CtrlBit = 8;
inline constexpr std::uint32_t AltBit = 32;
inline constexpr std::uint32_t LeftButtonBit = 1;
inline constexpr std::uint32_t RightButtonBit = 2;
inline constexpr std::uint32_t MiddleButtonBit = 16;
inline constexpr std::uint32_t CapsLockBit = 64;

// The table the last toolbar click or drop-down was for.
extern TTblObjects* CommandTarget;
// The text last copied with "Copy Value" or pasted with "Paste Value".
extern std::u16string ProgramClipboard;

std::uint32_t CurrentShiftState();

void MainMenuCommand(int number);
void ToolbarClick(int side, int button);
void ToolbarDropDown(int side, int button);
bool ListKeyCommand(TTblObjects& p, std::uint32_t shift, std::uint32_t key);
void ListContextCommand(int command, int side);
void DropFiles(int side, const std::vector<std::u16string>& files);
void ColumnClick(int side, int column);

// Saves p after applying what its editors hold to the current row: back
// to its file without a dialog (SaveInPlace), or through the save dialog.
void SaveSide(TTblObjects& p, bool withDialog);
// Opens recent file number index into p (after the question about p's
// unsaved changes); a file that is not there any more is said so and
// taken off the list.
void OpenRecentFile(TTblObjects& p, int index);
// Every language of p's current entry, an object of a string file, in a
// panel; what is changed there goes into the tables showing those columns
// as one undo step. An entry of no string file is told so.
void ShowAllLanguages(TTblObjects& p);
// The keys of the whole window, for the side in focus: Ctrl+S saves it,
// Ctrl+O opens a file into it, Ctrl+L shows every language of its current
// entry. True when the key was one of them.
bool WindowKeyCommand(std::uint32_t shift, std::uint32_t key);

// Shows the rows an undo or redo left (nothing when it did nothing): the
// row count and texts of both lists, the current row in both sides'
// editors, and the selection of the side the step's command came from.
void ShowRows(const std::optional<RowsToShow>& shown);

}  // namespace vm
