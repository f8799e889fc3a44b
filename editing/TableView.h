// The two list views as one table of rows: cell texts, row colours, the
// mark toggle, the row and scroll synchronisation, column widths and the
// layout of each view mode.
#pragma once

#include <cstdint>
#include <string>

#include "documents/TblObjects.h"
#include "toolkit/Toolkit.h"

namespace vm {

// True while SwitchEditorRow runs; the row synchronisation waits.
extern bool Repositioning;

std::u16string CellText(const TTblObjects& p, int row, int column);
// CLR_DEFAULT for the list's own colours.
COLORREF RowColour(const TTblObjects& p, int row);
// The background of a row: how its entry differs from the file p was
// compared with (documents/FileCompare.h), else CLR_DEFAULT.
COLORREF RowBackground(const TTblObjects& p, int row);
// Both lists to a row, the editors applied to the row they showed first;
// the keyboard goes to p's list (showing both tables when p is hidden).
void GoToRow(TTblObjects& p, std::int32_t row);
// Right-button double-click: inverts the mark bit of the focused row.
void MarkToggle(TTblObjects& p);
// Before a list view paints: follow its focused row and its scrolling.
void SyncRows(TTblObjects& p);
// The number column's width for a row count, applied to both lists.
int NumberColumnWidth(int rows);
void SetNumberColumnWidth(int rows);
// After a list view was resized.
void FitValueColumn(TTblObjects& p);
// The row marks' strip colour, CLR_NONE for an unmarked row.
COLORREF RowStrip(const TTblObjects& p, int row);
// Before a side lays out its controls: in the two-table view both lists
// start at one height and take what the key and value boxes (editorHeight)
// leave. The other side is laid out again when its sizes change.
void FitSides(int side);
// The status bar: each shown table's row count and current row.
void ShowRowStatus();
// Shows the controls of a view mode (MenuOnlyTable1, MenuOnlyTable2 or
// MenuTwoTables) and assigns the editors.
void ApplyViewLayout(int view);
// Both list views get the row count of the tables.
void UpdateRowCounts();

}  // namespace vm
