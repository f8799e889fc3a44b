#include "History.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "DocumentTexts.h"
#include "formats/CRC.h"

namespace vm {

std::uint64_t MaxUndoSize = DefaultMaxUndoSize;
std::function<void()> HistoryChanged;

// One change of one table. Each change is its own inverse: applied once it
// undoes what the operation did, applied again it redoes it. So undo
// applies a step's changes last to first, and redo first to last.
struct Change {
    enum class Op : std::uint8_t {
        Entry,   // entry pos of one list trades places with `entry`
        Block,   // the entries from pos on trade places with the blocks
        Splice,  // `count` entries at pos go out into the blocks or come back
        Move,    // entry pos moves to `to`; the two then trade values
    };
    struct Blocks {
        EntryBlock keys, values;
    };
    Op op = Op::Entry;
    std::uint8_t side = 0;   // 0 Table 1, 1 Table 2
    bool inValues = false;   // Entry: the value list, else the key list
    bool present = true;     // Splice: the entries are in the table
    std::size_t pos = 0;
    std::size_t count = 0;   // Splice: how many; Move: the position `to`
    TableEntry entry;
    std::unique_ptr<Blocks> blocks;  // Block, Splice

    // Back to a fresh change. The entry's text keeps up to keepUnits units
    // of memory for the next change recorded here.
    void Reset(std::size_t keepUnits) {
        op = Op::Entry;
        side = 0;
        inValues = false;
        present = true;
        pos = count = 0;
        entry.flag = FlagPlain;
        if (entry.text.capacity() > keepUnits)
            std::u16string().swap(entry.text);
        else
            entry.text.clear();
        if (!entry.stored.empty()) std::string().swap(entry.stored);
        blocks.reset();
    }

    Blocks& Held() {
        if (!blocks) blocks = std::make_unique<Blocks>();
        return *blocks;
    }
    std::size_t Bytes() const {
        std::size_t n = sizeof(Change) + entry.Bytes() - sizeof(TableEntry);
        if (blocks) n += blocks->keys.Bytes() + blocks->values.Bytes();
        return n;
    }
};

// The changes of a step: the first two inside the step itself (an edit of
// a key and a value needs no more), the rest in a list of their own.
class ChangeList {
public:
    std::size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    Change& operator[](std::size_t i) { return i < Inline ? inline_[i] : more_[i - Inline]; }
    const Change& operator[](std::size_t i) const { return i < Inline ? inline_[i] : more_[i - Inline]; }

    Change& Add() {
        ++size_;
        if (size_ <= Inline) return inline_[size_ - 1];
        return more_.emplace_back();
    }

    // Keeps the changes for which keep is true, in order.
    template <typename Keep>
    void Filter(Keep keep) {
        std::vector<Change> kept;
        for (std::size_t i = 0; i < size_; ++i)
            if (keep((*this)[i])) kept.push_back(std::move((*this)[i]));
        Clear();
        for (Change& c : kept) Add() = std::move(c);
    }

    // The changes inside the step may keep the memory of an entry text of
    // up to keepUnits units, so that the next step recorded in this one
    // copies the text it replaces without taking memory from the system.
    void Clear(std::size_t keepUnits = 0) {
        for (std::size_t i = 0; i < std::min(size_, Inline); ++i) inline_[i].Reset(keepUnits);
        more_.clear();
        // A tool's step can hold many changes; keep small lists only.
        if (more_.capacity() > 16) std::vector<Change>().swap(more_);
        size_ = 0;
    }

    std::size_t Bytes() const {
        std::size_t n = more_.capacity() * sizeof(Change);
        for (std::size_t i = 0; i < size_; ++i) n += (*this)[i].Bytes();
        return n;
    }

private:
    static constexpr std::size_t Inline = 2;
    std::size_t size_ = 0;
    Change inline_[Inline];
    std::vector<Change> more_;
};

struct Step {
    std::uint64_t id = 0;
    StepKind kind = StepKind::Edit;
    std::int32_t count = 0;
    std::uint8_t origin = 1;  // the side whose list the command came from
    std::uint8_t sides = 0;   // bit 0 Table 1, bit 1 Table 2
    bool undone = false;      // in the redo lists, else in the undo lists
    bool hasAfter = false;
    bool hasRowAfter = false;
    RowPlace before, after;
    std::size_t bytes = 0;
    ChangeList changes;

    bool Covers(int side) const { return (sides & (1u << side)) != 0; }

    // Back to a fresh step, keeping the memory of its change list (and of
    // entry texts up to keepUnits units).
    void Reset(std::size_t keepUnits = 0) {
        changes.Clear(keepUnits);
        id = 0;
        kind = StepKind::Edit;
        count = 0;
        origin = 1;
        sides = 0;
        undone = hasAfter = hasRowAfter = false;
        before = after = RowPlace{};
        bytes = 0;
    }
};

namespace {

// One side's history: the steps to undo (newest last) and the steps to
// redo (the next one last), and the saved point: the newest step to undo
// when the table was last loaded or saved (0: none).
struct SideHistory {
    std::deque<Step*> undo, redo;
    std::uint64_t savedTop = 0;
    bool savedReachable = true;
};

struct HistoryState {
    SideHistory sides[2];
    std::uint64_t nextId = 1;
    std::uint64_t totalBytes = 0;
    int lastSide = 0;
    unsigned touched = 0;  // sides whose modified state may have changed
    Step* open = nullptr;  // the step being recorded
    // Steps come in blocks and are reused, so that recording one seldom
    // takes memory from the system.
    std::vector<std::unique_ptr<Step[]>> blocks;
    std::vector<Step*> free;
    std::vector<Step*> freeWithText;  // those that keep text memory
};

// Made on first use: the sides' records reset the history while the
// program's objects are still being constructed. The pointer is set
// before any of them (it needs no code to start), so that each use after
// the first costs one test.
HistoryState* TheState = nullptr;

[[gnu::noinline]] HistoryState& MakeState() {
    static HistoryState state;
    TheState = &state;
    return state;
}

inline HistoryState& State() { return TheState ? *TheState : MakeState(); }

Step* NewStep() {
    HistoryState& st = State();
    if (st.free.empty() && st.freeWithText.empty()) {
        constexpr std::size_t BlockSize = 64;
        st.blocks.push_back(std::make_unique<Step[]>(BlockSize));
        for (std::size_t i = BlockSize; i > 0; --i) st.free.push_back(&st.blocks.back()[i - 1]);
    }
    std::vector<Step*>& spares = st.freeWithText.empty() ? st.free : st.freeWithText;
    Step* step = spares.back();
    spares.pop_back();
    return step;
}

void Recycle(Step* step) {
    // A step given back is usually taken again at once (one step recorded
    // as the oldest goes), so it keeps the memory of a short text for the
    // next one. Only SparesWithText steps do, so that dropping many steps
    // gives their texts back to the system.
    constexpr std::size_t KeptTextUnits = 256;
    constexpr std::size_t SparesWithText = 64;
    HistoryState& st = State();
    if (st.freeWithText.size() < SparesWithText) {
        step->Reset(KeptTextUnits);
        st.freeWithText.push_back(step);
    } else {
        step->Reset();
        st.free.push_back(step);
    }
}

std::size_t BytesOf(const Step& step) { return sizeof(Step) - sizeof(ChangeList) + step.changes.Bytes(); }

void Recount(Step& step) {
    State().totalBytes -= step.bytes;
    step.bytes = BytesOf(step);
    State().totalBytes += step.bytes;
}

std::uint64_t TopId(const SideHistory& h) { return h.undo.empty() ? 0 : h.undo.back()->id; }

void Touch(const Step& step) { State().touched |= step.sides; }

// The modified state of the sides whose history changed.
void UpdateModified() {
    for (int s = 0; s < 2; ++s) {
        if (!(State().touched & (1u << s))) continue;
        const SideHistory& h = State().sides[s];
        TableSide(s + 1).Modified = !(h.savedReachable && TopId(h) == h.savedTop);
    }
    State().touched = 0;
}

void Notify() {
    if (HistoryChanged) HistoryChanged();
}

// Takes a step out of a list, looking from the end it is expected at.
void Erase(std::deque<Step*>& list, Step* step, bool atFront = false) {
    if (atFront) {
        if (!list.empty() && list.front() == step) {
            list.pop_front();
            return;
        }
        const auto at = std::find(list.begin(), list.end(), step);
        if (at != list.end()) list.erase(at);
    } else {
        const auto at = std::find(list.rbegin(), list.rend(), step);
        if (at != list.rend()) list.erase(std::next(at).base());
    }
}

// Gives back a step that no list holds any more. A side whose saved point
// it was can no longer reach that point.
void Release(Step* step) {
    Touch(*step);
    for (int s = 0; s < 2; ++s)
        if (step->Covers(s) && State().sides[s].savedTop == step->id) State().sides[s].savedReachable = false;
    State().totalBytes -= step->bytes;
    Recycle(step);
}

// Releases a set of steps after the lists that held them were cut; a step
// may be named twice.
void ReleaseAll(std::vector<Step*>& steps) {
    std::sort(steps.begin(), steps.end());
    steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
    for (Step* step : steps) Release(step);
}

// A new change on side s: the steps it could redo go, and with them every
// step covering both tables among them, together with whatever the other
// side would have to redo after such a step.
void DropRedo(int s) {
    SideHistory& h = State().sides[s];
    if (h.redo.empty()) return;
    SideHistory& other = State().sides[1 - s];
    std::size_t otherEnd = 0;  // other.redo[0, otherEnd) goes
    for (Step* step : h.redo) {
        if (!step->Covers(1 - s)) continue;
        const auto at = std::find(other.redo.begin(), other.redo.end(), step);
        if (at != other.redo.end())
            otherEnd = std::max(otherEnd, static_cast<std::size_t>(at - other.redo.begin()) + 1);
    }
    std::vector<Step*> gone(h.redo.begin(), h.redo.end());
    const auto otherCut = other.redo.begin() + static_cast<std::ptrdiff_t>(otherEnd);
    gone.insert(gone.end(), other.redo.begin(), otherCut);
    h.redo.clear();
    other.redo.erase(other.redo.begin(), otherCut);
    ReleaseAll(gone);
}

// Trades what a change holds with the table. False when the table no
// longer has the entries the change refers to: it was changed by something
// that kept no history, so the history cannot be trusted.
bool Apply(Change& c) {
    TTblObjects& t = TableSide(c.side + 1);
    TStringList& keys = *t.Keys;
    TStringList& values = *t.Values;
    const std::size_t n = keys.Count();
    switch (c.op) {
    case Change::Op::Entry: {
        TStringList& list = c.inValues ? values : keys;
        if (c.pos >= list.Count()) return false;
        list.Exchange(c.pos, c.entry);
        return true;
    }
    case Change::Op::Block: {
        Change::Blocks& held = c.Held();
        if (c.pos > n || held.keys.Count() > n - c.pos || held.values.Count() > values.Count() - c.pos) return false;
        keys.Exchange(c.pos, held.keys);
        values.Exchange(c.pos, held.values);
        return true;
    }
    case Change::Op::Splice:
        if (c.present) {
            if (c.pos > n || c.count > n - c.pos) return false;
            c.Held().keys = keys.Take(c.pos, c.count);
            c.Held().values = values.Take(c.pos, c.count);
        } else {
            if (c.pos > n) return false;
            keys.Put(c.pos, std::move(c.Held().keys));
            values.Put(c.pos, std::move(c.Held().values));
        }
        c.present = !c.present;
        return true;
    case Change::Op::Move:
        // The entry stands at count (where it was moved to): it goes back
        // to pos, and the next trade moves it forward again.
        if (c.pos >= n || c.count >= n) return false;
        keys.Move(c.count, c.pos);
        values.Move(c.count, c.pos);
        std::swap(c.pos, c.count);
        return true;
    }
    return false;
}

void ForgetEverything();

bool Failed() {
    UpdateModified();
    Notify();
    return false;
}

// Moves a step between the undo and the redo lists of the sides it covers,
// changing the tables as it goes.
bool Turn(Step* step, bool undo) {
    bool ok = true;
    const std::size_t n = step->changes.Size();
    for (std::size_t k = 0; k < n && ok; ++k) ok = Apply(step->changes[undo ? n - 1 - k : k]);
    if (!ok) {
        ForgetEverything();
        return false;
    }
    for (int s = 0; s < 2; ++s) {
        if (!step->Covers(s)) continue;
        SideHistory& h = State().sides[s];
        Erase(undo ? h.undo : h.redo, step);
        (undo ? h.redo : h.undo).push_back(step);
    }
    step->undone = undo;
    Touch(*step);
    Recount(*step);
    return true;
}

RowBlock Clamp(RowBlock block, std::int32_t rows) {
    if (block.first < 0 || block.first >= rows || block.count <= 0) return {};
    block.count = std::min(block.count, rows - block.first);
    return block;
}

// The rows, the selection and the editors as they stood at place.
void ShowRows(const Step& step, const RowPlace& place) {
    TTblObjects& origin = TableSide(step.origin);
    const std::int32_t rows = RowCountOf(origin);
    origin.View->SetRowCount(rows);
    origin.Other->View->SetRowCount(rows);
    origin.View->SetNumberColumnWidth(rows);
    origin.View->Redraw();
    origin.Other->View->Redraw();
    CurrentRow = std::min(place.row, rows - 1);
    TableSide(1).View->SwitchEditorRow(CurrentRow, -1);
    TableSide(2).View->SwitchEditorRow(CurrentRow, -1);
    origin.View->SelectRows(Clamp(place.selection, rows), CurrentRow);
}

// Drops steps until the histories fit their limit: the oldest steps to
// undo first, then the newest steps to redo.
void Trim() {
    while (State().totalBytes > MaxUndoSize) {
        Step* oldest = nullptr;
        for (const SideHistory& h : State().sides)
            if (!h.undo.empty() && (!oldest || h.undo.front()->id < oldest->id)) oldest = h.undo.front();
        if (oldest) {
            // The table as the step left it becomes where its sides'
            // histories start.
            Touch(*oldest);
            for (int s = 0; s < 2; ++s) {
                if (!oldest->Covers(s)) continue;
                SideHistory& h = State().sides[s];
                Erase(h.undo, oldest, true);
                if (h.savedTop == oldest->id)
                    h.savedTop = 0;
                else if (h.savedTop == 0)
                    h.savedReachable = false;
            }
            Release(oldest);
            continue;
        }
        Step* newest = nullptr;
        for (const SideHistory& h : State().sides)
            if (!h.redo.empty() && (!newest || h.redo.front()->id > newest->id)) newest = h.redo.front();
        if (!newest) break;
        for (int s = 0; s < 2; ++s)
            if (newest->Covers(s)) Erase(State().sides[s].redo, newest, true);
        Release(newest);
    }
}

// Asks for the memory of the oldest steps to be in the cache: once the
// history is full, the next step recorded lets them go and reuses one of
// them, and the step and its text have long left the cache.
void PrefetchOldest() {
    if (State().totalBytes < MaxUndoSize - MaxUndoSize / 16) return;
    for (const SideHistory& h : State().sides) {
        if (h.undo.empty()) continue;
        const auto* bytes = reinterpret_cast<const char*>(h.undo.front());
        for (std::size_t at = 0; at < sizeof(Step); at += 64) __builtin_prefetch(bytes + at, 1);
    }
}

// Every step goes; neither table is known to match its file any more.
void ForgetEverything() {
    std::vector<Step*> all;
    for (SideHistory& h : State().sides) {
        all.insert(all.end(), h.undo.begin(), h.undo.end());
        all.insert(all.end(), h.redo.begin(), h.redo.end());
        h = SideHistory{};
        h.savedReachable = false;
    }
    State().touched = 3;
    ReleaseAll(all);
}

// After a step was undone or redone: the sides' modified state, the rows,
// the limit and the listeners.
void Finish(Step& step, const RowPlace& place) {
    State().lastSide = step.origin;
    UpdateModified();
    ShowRows(step, place);
    Trim();
    UpdateModified();
    Notify();
}

std::u16string Counted(const std::u16string& many, const std::u16string& one, std::int32_t count) {
    return count == 1 ? one : FillIn(many, {IntToDecimal(count)});
}

}  // namespace

// ---- Recording -------------------------------------------------------------

HistoryStep::HistoryStep(StepKind kind, TTblObjects& origin, std::int32_t count)
    : step_(State().open), outermost_(State().open == nullptr), origin_(origin) {
    observer_.step = this;
    if (!outermost_) return;
    step_ = State().open = NewStep();
    step_->kind = kind;
    step_->count = count;
    step_->origin = origin.Side;
    step_->before = RowPlace{CurrentRow, origin.View->SelectedRows()};
}

HistoryStep::~HistoryStep() {
    if (!outermost_) return;
    State().open = nullptr;
    Step* step = step_;
    if (step->changes.Empty()) {
        Recycle(step);
        return;
    }
    if (!step->hasAfter) {
        step->after.selection = origin_.View->SelectedRows();
        step->after.row = step->hasRowAfter ? step->after.row : CurrentRow;
    }
    step->id = State().nextId++;
    for (int s = 0; s < 2; ++s) {
        if (!step->Covers(s)) continue;
        DropRedo(s);
        State().sides[s].undo.push_back(step);
    }
    step->bytes = 0;
    Recount(*step);
    Touch(*step);
    State().lastSide = step->origin;
    Trim();
    PrefetchOldest();
    UpdateModified();
    Notify();
}

void HistoryStep::SetBefore(const RowPlace& place) {
    if (outermost_) step_->before = place;
}

void HistoryStep::SetAfter(const RowPlace& place) {
    if (!outermost_) return;
    step_->after = place;
    step_->hasAfter = true;
}

void HistoryStep::SetRowAfter(std::int32_t row) {
    if (!outermost_) return;
    step_->after.row = row;
    step_->hasRowAfter = true;
}

void HistoryStep::SetRowsUnchanged() {
    if (!outermost_) return;
    step_->after = step_->before;
    step_->hasAfter = true;
}

void HistoryStep::SetCount(std::int32_t count) {
    if (outermost_) step_->count = count;
}

namespace {
Change& Add(Step& step, const TTblObjects& p, Change::Op op, std::size_t pos) {
    Change& c = step.changes.Add();
    c.op = op;
    c.side = static_cast<std::uint8_t>(p.Side == 2 ? 1 : 0);
    c.pos = pos;
    step.sides = static_cast<std::uint8_t>(step.sides | (1u << c.side));
    return c;
}
}  // namespace

void HistoryStep::Grow(TTblObjects& p, std::size_t count) {
    const std::size_t old = p.Count();
    if (old >= count) return;
    p.Keys->EnsureCount(count);
    Inserted(p, old, count - old);
}

void HistoryStep::Inserted(TTblObjects& p, std::size_t pos, std::size_t count) {
    if (count == 0) return;
    Add(*step_, p, Change::Op::Splice, pos).count = count;
}

void HistoryStep::Removed(TTblObjects& p, std::size_t pos, EntryBlock&& keys, EntryBlock&& values) {
    if (keys.Empty() && values.Empty()) return;
    Change& c = Add(*step_, p, Change::Op::Splice, pos);
    c.present = false;
    c.count = keys.Count();
    c.Held() = {std::move(keys), std::move(values)};
}

void HistoryStep::Replaced(TTblObjects& p, std::size_t pos, EntryBlock&& keys, EntryBlock&& values) {
    if (keys.Empty() && values.Empty()) return;
    Add(*step_, p, Change::Op::Block, pos).Held() = {std::move(keys), std::move(values)};
}

void HistoryStep::Replaced(TTblObjects& p, const TStringList& list, std::size_t i, TableEntry&& old) {
    Change& c = Add(*step_, p, Change::Op::Entry, i);
    c.inValues = &list == p.Values;
    c.entry = std::move(old);
}

void HistoryStep::Moved(TTblObjects& p, std::size_t from, std::size_t to) {
    Add(*step_, p, Change::Op::Move, from).count = to;
}

void HistoryStep::Changing(TTblObjects& p, const TStringList& list, std::size_t i) {
    Grow(p, i + 1);
    // Copied straight into the change, whose text may still hold the
    // memory of a step recorded here before.
    Change& c = Add(*step_, p, Change::Op::Entry, i);
    c.inValues = &list == p.Values;
    c.entry.text.assign(list.Get(i));
    c.entry.flag = list.Flag(i);
    c.entry.stored.assign(list.Stored(i));
}

EntryChangeObserver& HistoryStep::Observer(TTblObjects& p) {
    observer_.table = &p;
    return observer_;
}

// ---- Undo and redo ---------------------------------------------------------

bool Undo(TTblObjects& p) {
    if (State().open) return false;
    const int s = p.Side == 2 ? 1 : 0;
    SideHistory& h = State().sides[s];
    if (h.undo.empty()) return false;
    Step* step = h.undo.back();
    if (step->Covers(1 - s)) {
        // The other table first goes back to where this step left it.
        SideHistory& other = State().sides[1 - s];
        while (!other.undo.empty() && other.undo.back() != step)
            if (!Turn(other.undo.back(), true)) return Failed();
    }
    if (!Turn(step, true)) return Failed();
    Finish(*step, step->before);
    return true;
}

bool Redo(TTblObjects& p) {
    if (State().open) return false;
    const int s = p.Side == 2 ? 1 : 0;
    SideHistory& h = State().sides[s];
    if (h.redo.empty()) return false;
    Step* step = h.redo.back();
    if (step->Covers(1 - s)) {
        // The other table first comes forward to where this step found it.
        SideHistory& other = State().sides[1 - s];
        while (!other.redo.empty() && other.redo.back() != step)
            if (!Turn(other.redo.back(), false)) return Failed();
    }
    if (!Turn(step, false)) return Failed();
    Finish(*step, step->after);
    return true;
}

std::size_t UndoSteps(const TTblObjects& p) { return State().sides[p.Side == 2 ? 1 : 0].undo.size(); }
std::size_t RedoSteps(const TTblObjects& p) { return State().sides[p.Side == 2 ? 1 : 0].redo.size(); }
bool CanUndo(const TTblObjects& p) { return UndoSteps(p) > 0; }
bool CanRedo(const TTblObjects& p) { return RedoSteps(p) > 0; }

std::u16string StepName(StepKind kind, std::int32_t count) {
    switch (kind) {
    case StepKind::Edit: return sStepEdit;
    case StepKind::Insert: return Counted(sStepInsert, sStepInsertOne, count);
    case StepKind::Clear: return Counted(sStepClear, sStepClearOne, count);
    case StepKind::Delete: return Counted(sStepDelete, sStepDeleteOne, count);
    case StepKind::Move: return sStepMove;
    case StepKind::PasteValue: return sStepPasteValue;
    case StepKind::Mark: return sStepMark;
    case StepKind::CopyValues: return sStepCopyValues;
    case StepKind::CopyTimeDialogs: return sStepCopyTimeDialogs;
    case StepKind::Update: return sStepUpdate;
    case StepKind::Translate: return sStepTranslate;
    }
    return {};
}

std::u16string UndoName(const TTblObjects& p) {
    const SideHistory& h = State().sides[p.Side == 2 ? 1 : 0];
    return h.undo.empty() ? std::u16string() : StepName(h.undo.back()->kind, h.undo.back()->count);
}

std::u16string RedoName(const TTblObjects& p) {
    const SideHistory& h = State().sides[p.Side == 2 ? 1 : 0];
    return h.redo.empty() ? std::u16string() : StepName(h.redo.back()->kind, h.redo.back()->count);
}

// ---- Loading, saving and the limit -----------------------------------------

void StartHistory(TTblObjects& p, bool saved) {
    const int s = p.Side == 2 ? 1 : 0;
    SideHistory& h = State().sides[s];
    std::vector<Step*> all(h.undo.begin(), h.undo.end());
    all.insert(all.end(), h.redo.begin(), h.redo.end());
    h.undo.clear();
    h.redo.clear();
    for (Step* step : all) {
        if (!step->Covers(1 - s)) {
            step->sides = 0;  // in no list any more
            Release(step);
            continue;
        }
        // A step that covered both tables stays in the other's history,
        // for the other table only.
        step->changes.Filter([s](const Change& c) { return c.side != s; });
        step->sides = static_cast<std::uint8_t>(1u << (1 - s));
        step->origin = static_cast<std::uint8_t>(2 - s);
        Recount(*step);
    }
    h.savedTop = 0;
    h.savedReachable = saved;
    State().touched |= 1u << s;
    if (State().lastSide == p.Side) State().lastSide = 0;
    UpdateModified();
    Notify();
}

void MarkSaved(TTblObjects& p) {
    SideHistory& h = State().sides[p.Side == 2 ? 1 : 0];
    h.savedTop = TopId(h);
    h.savedReachable = true;
    State().touched |= p.Side == 2 ? 2u : 1u;
    UpdateModified();
    Notify();
}

int LastHistorySide() { return State().lastSide; }
std::uint64_t HistoryBytes() { return State().totalBytes; }

void TrimHistory() {
    Trim();
    UpdateModified();
    Notify();
}

void ResetHistory() {
    ForgetEverything();
    for (SideHistory& h : State().sides) h.savedReachable = true;
    State().lastSide = 0;
    State().touched = 0;
}

}  // namespace vm
