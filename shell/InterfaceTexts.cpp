#include "shell/InterfaceTexts.h"

#include "editing/FindingTexts.h"

namespace vm {

std::u16string sMenuUndo = u"Undo";
std::u16string sMenuRedo = u"Redo";
std::u16string sMenuUndoStep = u"Undo %1";
std::u16string sMenuRedoStep = u"Redo %1";

const char16_t* const BuiltInHotKeyText =
    u"Keys in a table list:\r\n"
    u"  Insert, Ctrl+Insert - insert empty entries at the selected rows (Ctrl: in both tables)\r\n"
    u"  Delete, Ctrl+Delete - clear the selected entries (Ctrl: in both tables)\r\n"
    u"  Shift+Delete, Ctrl+Shift+Delete - delete the selected entries (Ctrl: in both tables)\r\n"
    u"  Ctrl+Up, Ctrl+Down - move the current entry up or down\r\n"
    u"  Shift+Up, Shift+Down - extend the selection\r\n"
    u"  Ctrl+A - select all rows\r\n"
    u"  Ctrl+Z - undo the last change to the table\r\n"
    u"  Ctrl+Y, Ctrl+Shift+Z - redo what was undone\r\n"
    u"  Ctrl+F - search bar: find a key or a value, as found last (a click on the \"Key\" or \"Value\" header "
    u"chooses)\r\n"
    u"  Ctrl+G - search bar: go to a row number\r\n"
    u"  F3, Shift+F3 - the next or previous match of the search bar's text (anywhere in the window)\r\n"
    u"  Right double-click - mark the row, or take its mark away\r\n"
    u"  F8, Shift+F8 - the next or previous finding of the check (Tools > Check)\r\n"
    u"  F7, Shift+F7 - the next or previous entry that differs from the file compared with (Tools > Compare with "
    u"file)\r\n"
    u"\r\n"
    u"Keys anywhere in the window:\r\n"
    u"  Ctrl+S - save the table of the side you are working in to its file\r\n"
    u"  Ctrl+O - open a file into the side you are working in\r\n"
    u"  Ctrl+L - every language of the current entry of a string file\r\n"
    u"\r\n"
    u"Keys in the Key box:\r\n"
    u"  Ctrl+Enter - apply the edits of the Key and Value boxes\r\n"
    u"  Up, Down, Page Up, Page Down - move both tables to another row\r\n"
    u"\r\n"
    u"Keys in the Value box:\r\n"
    u"  Enter - a new line in the value\r\n";
std::u16string sHotKeyText = BuiltInHotKeyText;

void ResetInterfaceTexts() {
    sNoData = BuiltInNoData;
    sGoTo = BuiltInGoTo;
    sFindKey = BuiltInFindKey;
    sFindValue = BuiltInFindValue;
    sSearchAnywhere = BuiltInSearchAnywhere;
    sSearchAtStart = BuiltInSearchAtStart;
    sSearchNotFound = BuiltInSearchNotFound;
    sRecentFileMissing = BuiltInRecentFileMissing;
    sAllLanguagesNone = BuiltInAllLanguagesNone;
    sStatusRow = BuiltInStatusRow;
    sStatusRows = BuiltInStatusRows;
    sMenuUndo = u"Undo";
    sMenuRedo = u"Redo";
    sMenuUndoStep = u"Undo %1";
    sMenuRedoStep = u"Redo %1";
    sHotKeyText = BuiltInHotKeyText;
    ResetFindingTexts();
}

}  // namespace vm
