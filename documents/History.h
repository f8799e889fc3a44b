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
// file into a side starts its history anew. The history holds at most
// MaxUndoSize bytes; the oldest steps go first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "TblObjects.h"

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
};

// Where the rows stood: the current row and the selected rows of the list
// the command came from.
struct RowPlace {
    std::int32_t row = -1;
    RowBlock selection;
};

// Bytes the history may hold (settings key "MaxUndoSize").
inline constexpr std::uint64_t DefaultMaxUndoSize = 256ull << 20;
extern std::uint64_t MaxUndoSize;

// Told after every change of either history (a step recorded, undone,
// redone or dropped, a load, a save), for the Edit menu.
extern std::function<void()> HistoryChanged;

struct Step;
// The step being recorded; null when none is.
extern Step* RecordingStep;

// One step being recorded. An operation opens one around its change and
// records what it replaces as it goes; the step is kept when the outermost
// one closes. A step opened while another is open joins it, so a command
// that runs several operations (on both tables, or key and value) opens
// one around them all and they undo as one.
class HistoryStep {
public:
    // The rows before the change are the current row and origin's selected
    // rows now; count is what the step's name counts (entries, values).
    HistoryStep(StepKind kind, TTblObjects& origin, std::int32_t count = 0)
        : step_(RecordingStep), outermost_(RecordingStep == nullptr), origin_(origin) {
        if (outermost_) Open(kind, count);
    }
    ~HistoryStep() {
        if (outermost_) Close();
    }
    HistoryStep(const HistoryStep&) = delete;
    HistoryStep& operator=(const HistoryStep&) = delete;

    // Only the outermost step's settings count. By default the rows after
    // the change are the current row and origin's selected rows when the
    // step closes.
    void SetBefore(const RowPlace& place);
    void SetAfter(const RowPlace& place);
    void SetRowAfter(std::int32_t row);
    // The change moves neither the current row nor the selection: the rows
    // after it are the rows before, and the view is not asked again.
    void SetRowsUnchanged() {
        if (outermost_) KeepRows();
    }
    // What the step's name counts, when it is known only afterwards.
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
    // Entry i of list (p's keys or values) was replaced; old is the entry
    // it replaced.
    void Replaced(TTblObjects& p, const TStringList& list, std::size_t i, TableEntry&& old);
    // Entry from moved to position to.
    void Moved(TTblObjects& p, std::size_t from, std::size_t to);
    // Keeps a copy of entry i of list (p's keys or values) before it
    // changes, growing the table first when i lies beyond its end.
    void Changing(TTblObjects& p, const TStringList& list, std::size_t i);
    // The same, when the entry's text is about to become text (its flag
    // may change too, and its read bytes go): of the text, only what text
    // replaces is kept.
    void Changing(TTblObjects& p, const TStringList& list, std::size_t i, std::u16string_view text);
    // The same, where the caller has measured how many units at the start
    // text shares with the entry's text (SharedHead).
    void Changing(TTblObjects& p, const TStringList& list, std::size_t i, std::u16string_view text, std::size_t head);

private:
    void Open(StepKind kind, std::int32_t count);
    void Close();
    void KeepRows();
    // Keeps entry i in the step's record, but for the first head and last
    // tail units of its text; false when the record cannot keep it.
    bool KeepInRecord(TTblObjects& p, const TStringList& list, std::size_t i, std::size_t head, std::size_t tail);
    // Changing, for an entry its step's record does not keep.
    [[gnu::noinline]] void ChangingInList(TTblObjects& p, const TStringList& list, std::size_t i, std::size_t head,
                                          std::size_t tail);

    Step* step_;
    bool outermost_;
    TTblObjects& origin_;
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

// Undoes the last step of p's history, or redoes the last one undone, and
// brings the rows, the selection and the editors back to where they stood.
// False when there is nothing to undo or redo.
bool Undo(TTblObjects& p);
bool Redo(TTblObjects& p);
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

// The side (1 or 2) of the step last recorded, undone or redone; 0 when
// none was.
int LastHistorySide();
// Bytes the histories hold now.
std::uint64_t HistoryBytes();
// Drops the oldest steps until the histories fit MaxUndoSize.
void TrimHistory();
// Both histories empty, both sides at their saved points.
void ResetHistory();

}  // namespace vm
