// The two sides of the editor. Each side is a TTblObjects record: its table
// (key and value lists with a flag beside every string), the other side's
// lists and record, its file name, its question texts and its search state.
// The row model is shared: row r is entry r of both tables, both list views
// show the larger entry count plus one rows, and one current row (the
// workspace's, documents/Workspace.h) serves both.
//
// The records never touch a window. Whatever a routine needs from the
// side's controls (row count, redraw, selection, editors, message boxes)
// goes through the side's TableSideView, which the window code implements
// and tests replace by a recording fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "documents/TableList.h"
#include "formats/FormatOptions.h"

namespace vm {

struct JsonDocument;
struct FileComparison;

enum class AskAnswer { Yes, No, Cancel };

// A block of rows of a list view: the first row and how many (none: 0).
struct RowBlock {
    std::int32_t first = -1;
    std::int32_t count = 0;
};

// What the documents ask of the controls of one side.
class TableSideView {
public:
    virtual ~TableSideView() = default;

    // This side's list view: row count, repaint, selected and focused row.
    virtual void SetRowCount(std::int32_t rows) = 0;
    virtual void Redraw() = 0;
    virtual void SelectRow(std::int32_t row) = 0;
    // The block of selected rows, and selecting a block with the focus on
    // one of its rows (scrolled into view).
    virtual RowBlock SelectedRows() = 0;
    virtual void SelectRows(RowBlock rows, std::int32_t focus) = 0;
    // Applies the side's editors to oldRow (none when -1) and loads them
    // from newRow. Does nothing while the side is not shown.
    virtual void SwitchEditorRow(std::int32_t newRow, std::int32_t oldRow) = 0;
    // Widens the number column for a row count.
    virtual void SetNumberColumnWidth(std::int32_t rows) = 0;
    // Enables the side's "Save" toolbar button and its Save menu item.
    virtual void EnableSave() = 0;
    // A modal message box with an OK button.
    virtual void ShowMessage(const std::u16string& text, const std::u16string& caption) = 0;
    // A modal Yes/No/Cancel question.
    virtual AskAnswer AskYesNoCancel(const std::u16string& text, const std::u16string& caption) = 0;
    // A modal Yes/No question; true for Yes.
    virtual bool AskYesNo(const std::u16string& text, const std::u16string& caption) = 0;
    // Saves this side: to its file in its own format, or through the save
    // dialog when it has none; true when the table was saved.
    virtual bool SaveWithDialog() = 0;
    // Shows where the side's table comes from (its file's name, and a
    // string file's language) above its list; empty hides it. Called after
    // every load and save, also when they failed.
    virtual void ShowSource(const std::u16string&) {}
    // After a load that read the whole file and after every save: the
    // side's file is one to offer again.
    virtual void FileOpened() {}
};

// A view that shows nothing, answers "No" and never saves: the state of a
// side before the window exists, and the command-line tool's.
class NullSideView final : public TableSideView {
public:
    void SetRowCount(std::int32_t) override {}
    void Redraw() override {}
    void SelectRow(std::int32_t) override {}
    RowBlock SelectedRows() override { return {}; }
    void SelectRows(RowBlock, std::int32_t) override {}
    void SwitchEditorRow(std::int32_t, std::int32_t) override {}
    void SetNumberColumnWidth(std::int32_t) override {}
    void EnableSave() override {}
    void ShowMessage(const std::u16string&, const std::u16string&) override {}
    AskAnswer AskYesNoCancel(const std::u16string&, const std::u16string&) override { return AskAnswer::No; }
    bool AskYesNo(const std::u16string&, const std::u16string&) override { return false; }
    bool SaveWithDialog() override { return false; }
};

struct Workspace;

struct TTblObjects {
    Workspace* Space = nullptr;     // what the sides share (never null in a workspace)
    TableSideView* View = nullptr;  // the side's controls (never null in a workspace)
    TStringList* Keys = nullptr;
    TStringList* OtherKeys = nullptr;
    TStringList* Values = nullptr;
    TStringList* OtherValues = nullptr;
    TTblObjects* Other = nullptr;
    std::u16string AskSaveKey;    // asked before an edited key is applied
    std::u16string AskSaveValue;  // asked before an edited value is applied
    std::u16string AskSaveEntry;  // asked before both are applied at once
    std::u16string AskSaveTable;  // asked before unsaved changes are dropped
    std::u16string FileName;      // full path; empty when none
    std::int32_t LastScrollPos = 0;
    std::int32_t SearchMode = 0;  // 0 go to, 1 find key, 2 find value
    bool SearchShown = false;
    bool SearchNotFound = false;  // the bar says the last find found nothing
    std::int32_t FindMode = 1;    // the find mode used last, which Ctrl+F opens
    // How each find mode matches: anywhere in the text without regard to
    // case, or at its start as typed.
    bool FindKeyAnywhere = false;
    bool FindValueAnywhere = true;
    bool Active = true;  // shown in the current view mode
    int Side = 0;        // 0 for Table 1, 1 for Table 2
    // The table differs from what was last loaded or saved: set by every
    // change, cleared by a load or a successful save, and by undoing or
    // redoing back to the last load or save.
    bool Modified = false;
    // A side showing one language column of a string file (.json): the file
    // as it was read or last saved, where it lies, and the column. Each
    // key's origin (TStringList::Origin) ties the entry to its object
    // through JsonObjectOf. Null for a table of any other format.
    std::shared_ptr<const JsonDocument> Json;
    std::u16string JsonFileName;
    int JsonLanguage = 0;
    // An origin's object in Json (1 + its number, 0 for none: its object
    // was removed by a save, JsonOriginGone: someone else removed it).
    // Origins stay the same across saves while objects move, so entries
    // the undo history holds still find their object, or none, later.
    std::vector<std::uint32_t> JsonObjectOf;
    // The objects of Json this table holds entries for (or deleted since):
    // the others are objects the other side added, left to it.
    std::vector<bool> JsonOwned;
    // Edit > "All Languages": texts set for languages of Json's objects
    // that no side shows, by object id and language, in display form. The
    // side's next save writes them into the file with its column; the undo
    // history sets them back and forth like entries.
    std::map<std::pair<std::int64_t, int>, std::u16string> OtherLanguages;
    // A side read from or saved as a .tbl file: the header options that
    // write that file back as it is (its byte 8 and its spare hash slots),
    // which the save dialog offers and a save from it uses. Empty for a
    // table of any other file: the settings' options apply.
    std::optional<TblOptions> Tbl;
    // Tools > "Compare with file...": the file compared with and how each
    // entry differs from it (documents/FileCompare.h). Null when none.
    std::shared_ptr<FileComparison> Compared;
    // The format of the side's file as it was read whole or last saved
    // (FormatTbl, FormatTabbedText, FormatDiabloText, FormatJson), which a
    // plain Save writes it back in; 0 when the side has no such file (a new
    // table, a failed read). A text file's own shape (encoding, layout,
    // header, quotes) is in Text, empty for the other formats.
    std::int32_t FileFormat = 0;
    std::optional<TextOptions> Text;

    std::size_t Count() const { return Keys->Count(); }
};

// The row count of both list views: the larger entry count plus one.
std::int32_t RowCountOf(const TTblObjects& p);

// Asks, when p's table has unsaved changes, whether to save them before
// they are dropped. True when the caller may go on: nothing to save, "No",
// or "Yes" and the save succeeded. False on "Cancel" or a save that did not
// happen.
bool ConfirmDiscardChanges(TTblObjects& p);

// The same for both sides of a workspace, Table 1 first, before the
// program ends.
bool ConfirmEndProgram(Workspace& space);

}  // namespace vm
