// The undo history of the two tables. Every change an operation makes to a
// side's table is one step of that side's history. A step keeps what the
// change replaced, as whole entries moved out of the table (texts, flags and
// whatever else an entry carries), and the rows as they stood before and
// after; undo and redo trade the kept entries with the table's.
//
// A step can cover both tables (an insert in both, edits applied in both
// editors on leaving a row); it then belongs to both histories and undoes
// and redoes in both. Undoing it from one side first undoes what the other
// side changed after it, and redoing it first redoes what the other side
// undid before it, so that both tables always stand where their steps left
// them.
//
// Each side's history knows the point at which its table was last loaded or
// saved: undoing or redoing back to it makes the side unmodified. Loading a
// file into a side starts its history anew. The history holds at most the
// workspace's options.maxUndoSize bytes; the oldest steps go first. It is
// the workspace's (Workspace::history): each side reaches it through
// TTblObjects::Space.
//
// The history never touches a window: the caller of a step names the rows
// it found, and undo and redo tell their caller which rows to show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "documents/TblObjects.h"
#include "documents/Workspace.h"

namespace vm {

// What a step did; with its count it gives the step's name.
enum class StepKind : std::uint8_t {
    Edit,
    Insert,
    Clear,
    Delete,
    Move,
    PasteValue,
    Mark,
    CopyValues,
    CopyTimeDialogs,
    Update,
    Translate,
    Fix,  // the check's fixes
};

// Where the rows stood: the current row and the selected rows of the list
// the command came from.
struct RowPlace {
    std::int32_t row = -1;
    RowBlock selection;
    // The row alone, current and selected (none when negative).
    static RowPlace At(std::int32_t row) { return {row, {row, row >= 0 ? 1 : 0}}; }
};

// A workspace's history as it starts: empty. After every change of either
// side's history (a step recorded, undone, redone or dropped, a load, a
// save) the workspace's HistoryChanged is told, for the Edit menu.
std::unique_ptr<HistoryState, HistoryStateDeleter> NewHistoryState();

// One step being recorded. An operation opens one around its change and
// records what it replaces as it goes; the step is kept when the outermost
// one closes. A step opened while another is open joins it, so a command
// that runs several operations (on both tables, or key and value) opens
// one around them all and they undo as one.
class HistoryStep {
public:
    // rows: where the rows stand before the change, which undoing it
    // brings back; by default they are also the rows after it. count is
    // what the step's name counts (entries, values).
    HistoryStep(StepKind kind, TTblObjects& origin, const RowPlace& rows, std::int32_t count = 0);
    ~HistoryStep();
    HistoryStep(const HistoryStep&) = delete;
    HistoryStep& operator=(const HistoryStep&) = delete;

    // Only the outermost step's settings count: the rows after the change,
    // which redoing it brings back, and what the step's name counts, when
    // it is known only afterwards.
    void SetAfter(const RowPlace& rows);
    void SetCount(std::int32_t count);

    // What an operation records, as it changes p's table.
    // Grows p's table to count entries (when it is shorter) and records it.
    void Grow(TTblObjects& p, std::size_t count);
    // count empty entries were inserted at pos.
    void Inserted(TTblObjects& p, std::size_t pos, std::size_t count);
    // Entries taken out from pos on.
    void Removed(TTblObjects& p, std::size_t pos, EntryBlock&& keys, EntryBlock&& values);
    // Entries from pos on were replaced; these are the ones they replaced.
    void Replaced(TTblObjects& p, std::size_t pos, EntryBlock&& keys, EntryBlock&& values);
    // Entry from moved to position to.
    void Moved(TTblObjects& p, std::size_t from, std::size_t to);
    // Keeps a copy of entry i of list (p's keys or values) before it
    // changes, growing the table first when i lies beyond its end.
    void Changing(TTblObjects& p, const TStringList& list, std::size_t i);
    // The same, when the entry's text is about to become text: of the old
    // text only the part text replaces is kept.
    void Changing(TTblObjects& p, const TStringList& list, std::size_t i, std::u16string_view text);
    // p.OtherLanguages' text of object id in language went from before to
    // after.
    void LanguageChanged(TTblObjects& p, std::int64_t id, int language, std::u16string before, std::u16string after);

private:
    Workspace& space_;
    bool outermost_;
};

// Records in step each entry of table's lists that a routine reports before
// it changes it (the cross-table tools).
class HistoryObserver final : public EntryChangeObserver {
public:
    HistoryObserver(HistoryStep& step, TTblObjects& table) : step_(step), table_(table) {}
    void BeforeChange(TStringList& list, std::size_t i) override { step_.Changing(table_, list, i); }

private:
    HistoryStep& step_;
    TTblObjects& table_;
};

// What the window is to show after an undo or redo: the current row and the
// selection of the list of the side the step's command came from, both
// within the rows there are now, and whether the row count changed.
struct RowsToShow {
    int side = 0;
    RowPlace rows;
    bool rowCountChanged = false;
};

// Undoes the last step of p's history, or redoes the last one undone, and
// tells where the rows stood before (undo) or after (redo) it. Nothing when
// there is nothing to undo or redo, or a step is being recorded.
std::optional<RowsToShow> Undo(TTblObjects& p);
std::optional<RowsToShow> Redo(TTblObjects& p);
bool CanUndo(const TTblObjects& p);
bool CanRedo(const TTblObjects& p);
// How many steps p's history can undo and redo.
std::size_t UndoSteps(const TTblObjects& p);
std::size_t RedoSteps(const TTblObjects& p);
// The name of what Undo or Redo would change ("Delete 5392 entries"),
// in the current language; empty when there is nothing.
std::u16string UndoName(const TTblObjects& p);
std::u16string RedoName(const TTblObjects& p);
// The name of a step.
std::u16string StepName(StepKind kind, std::int32_t count);

// p's table was loaded: its history starts anew (a step that also covered
// the other table stays in the other table's history), at the saved point
// unless saved is false (a read that failed over unsaved changes).
void StartHistory(TTblObjects& p, bool saved = true);
// p's table was saved: the saved point moves to where its history stands.
void MarkSaved(TTblObjects& p);

// The side (0 or 1) of the step last recorded, undone or redone; -1 when
// none was.
int LastHistorySide(const Workspace& space);
// Bytes the histories hold now.
std::uint64_t HistoryBytes(const Workspace& space);
// Drops the oldest steps until the histories fit the limit.
void TrimHistory(Workspace& space);
// Both histories empty, both sides at their saved points.
void ResetHistory(Workspace& space);

}  // namespace vm
