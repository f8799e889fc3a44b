// Everything the editor holds while it runs, in one object that start-up
// makes and hands on by reference: the options, the two sides and their
// tables, the current row, the tools' table, the file dialogs' state and the
// undo history. Each side knows its workspace (TTblObjects::Space), so a
// routine given a side reaches what the sides share; tests make as many
// workspaces as they like.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "documents/TblObjects.h"
#include "formats/FormatOptions.h"

namespace vm {

// What the window's loading and saving go by: the formats' options and the
// editor's own. The settings file keeps them.
struct EditorOptions {
    FormatOptions formats;
    int maxAddToHashSize = 255;  // the most spare hash slots a save may ask for
    bool notAskChange = false;   // apply the editors' changes without asking
    // Bytes the undo history may hold (settings key "MaxUndoSize").
    std::uint64_t maxUndoSize = 256ull << 20;
};

class FileDialogShower;
struct HistoryState;
struct HistoryStateDeleter {
    void operator()(HistoryState* state) const;
};

struct Workspace {
    // Both sides with empty tables, showing on the views given (null: a
    // view that shows nothing and answers "No").
    explicit Workspace(TableSideView* view0 = nullptr, TableSideView* view1 = nullptr);
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    EditorOptions options;
    TableLists tables[2];
    TTblObjects sides[2];  // side 0 is Table 1, side 1 Table 2
    // The current row of both tables; -1 for none.
    std::int32_t CurrentRow = -1;
    // The entries of the file last read by the update and translate tools,
    // and that file.
    TableLists tool;
    std::u16string ToolFileName;

    // The file dialogs: their start folder (ending in a path separator),
    // the filter index of the last confirmed save dialog, what shows them (none:
    // the dialogs do nothing) and what runs after a save through them.
    std::u16string DialogDir;
    int DialogFilterIndex = 0;
    FileDialogShower* FileDialogs = nullptr;
    std::function<void()> AfterDialogSave;
    // What runs after every open dialog, confirmed or not (its choices are
    // options to keep).
    std::function<void()> AfterOpenDialog;

    // The files the File menu offers again, the last opened or saved
    // first: a path, and for a string file its column after a colon
    // ("C:\\mod\\strings.json:deDE"). The settings file keeps them.
    std::vector<std::u16string> RecentFiles;

    // The undo history of both sides (documents/History.h), and what is
    // told after every change of it (for the Edit menu).
    std::unique_ptr<HistoryState, HistoryStateDeleter> history;
    std::function<void()> HistoryChanged;

private:
    NullSideView noView_[2];
};

}  // namespace vm
