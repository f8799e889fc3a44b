// How the history is kept. A step is an object holding the list of its
// changes to one table, in the order they were made; each change holds
// whole entries as the list hands them out (a TableEntry for one entry,
// EntryBlocks for runs), so undo and redo only trade them with the table's.
// Each side has an undo list and a redo list of steps, in the order they
// were recorded (the redo list's next step last). A step that covers both
// tables is two halves with one id, one in each side's lists; undo and redo
// turn both, a load of one side leaves the other half as a step of its own.
// Every step counts the bytes it holds, and the oldest steps go whenever the
// total passes the workspace's maxUndoSize. The history's state is the
// workspace's (Workspace::history); the sides are 0 and 1.
#include "documents/History.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "documents/DocumentTexts.h"
#include "documents/Workspace.h"
#include "formats/TextHelpers.h"

namespace vm {

namespace {

// One change of one table. Each change of entries is its own inverse:
// applied once it undoes what the operation did, applied again it redoes
// it. So undo applies a step's changes last to first, and redo first to
// last.
struct Change {
    enum class Kind : std::uint8_t {
        Entry,     // entry pos of one list trades places with `entry`
        Block,     // the entries from pos on trade places with the blocks
        Splice,    // `count` entries at pos go out into the blocks or come back
        Move,      // the entry at `to` moves back to pos; the two then trade
        Language,  // a text of TTblObjects::OtherLanguages: `texts`
    };
    Kind kind = Kind::Entry;
    bool inValues = false;  // Entry: the value list, else the key list
    bool present = true;    // Splice: the entries are in the table
    std::size_t pos = 0;
    std::size_t count = 0;  // Splice
    std::size_t to = 0;     // Move
    // Entry: the entry, but that its text is only the middle the change
    // replaced; the first head and last tail units are the list's own.
    TableEntry entry;
    std::size_t head = 0, tail = 0;
    // Block, Splice: the entries, apart, as most changes are of one entry.
    struct Blocks {
        EntryBlock keys, values;
    };
    std::unique_ptr<Blocks> blocks;
    // Language: the text before and after the change. Undo sets the one,
    // redo the other (a save in between empties the side's texts, so there
    // is nothing to trade with).
    struct Texts {
        std::pair<std::int64_t, int> key;  // object id and language
        std::u16string before, after;
    };
    std::unique_ptr<Texts> texts;

    void Hold(EntryBlock&& keys, EntryBlock&& values) {
        blocks = std::make_unique<Blocks>(Blocks{std::move(keys), std::move(values)});
    }
    std::size_t Bytes() const {
        std::size_t n = sizeof(Change) + entry.Bytes() - sizeof(TableEntry);
        if (blocks) n += blocks->keys.Bytes() + blocks->values.Bytes();
        if (texts) n += sizeof(Texts) + 2 * (texts->before.capacity() + texts->after.capacity());
        return n;
    }
};

// What one step changed in one table. A step that covers both tables is
// two of these, one in each side's history, with the same id.
struct Step {
    std::uint64_t id = 0;  // in the order steps were recorded
    StepKind kind = StepKind::Edit;
    std::int32_t count = 0;
    int origin = 0;     // the side whose list the command came from
    bool both = false;  // the other side's history holds the step's other half
    RowPlace before, after;
    std::vector<Change> changes;
    std::size_t bytes = 0;  // what it counts towards the limit

    std::size_t CountBytes() const {
        std::size_t n = sizeof(Step) + (changes.capacity() - changes.size()) * sizeof(Change);
        for (const Change& c : changes) n += c.Bytes();
        return n;
    }
};

// One side's history: the steps to undo (newest last) and the steps to
// redo (the next one last), and the saved point: the id of the newest step
// to undo when the table was last loaded or saved (0: none).
struct SideHistory {
    std::deque<Step> undo, redo;
    std::uint64_t savedTop = 0;
    bool savedReachable = true;
};

}  // namespace

// Both sides' histories and the step being recorded.
struct HistoryState {
    SideHistory sides[2];
    bool recording = false;  // a step is open
    Step open[2];            // what the open step changed in each table
    std::uint64_t nextId = 1;
    std::uint64_t bytes = 0;
    int lastSide = -1;     // none
    unsigned touched = 0;  // sides whose modified state may have changed
};

void HistoryStateDeleter::operator()(HistoryState* state) const { delete state; }

std::unique_ptr<HistoryState, HistoryStateDeleter> NewHistoryState() {
    return std::unique_ptr<HistoryState, HistoryStateDeleter>(new HistoryState);
}

namespace {

std::uint64_t TopId(const SideHistory& h) { return h.undo.empty() ? 0 : h.undo.back().id; }

// The modified state of the sides whose history changed.
void UpdateModified(Workspace& ws) {
    HistoryState& st = *ws.history;
    for (int s = 0; s < 2; ++s) {
        if (!(st.touched & (1u << s))) continue;
        const SideHistory& h = st.sides[s];
        ws.sides[s].Modified = !(h.savedReachable && TopId(h) == h.savedTop);
    }
    st.touched = 0;
}

void Notify(Workspace& ws) {
    if (ws.HistoryChanged) ws.HistoryChanged();
}

void Recount(HistoryState& st, Step& step) {
    st.bytes -= step.bytes;
    step.bytes = step.CountBytes();
    st.bytes += step.bytes;
}

// A step of side s's history goes. When it was the saved point, the side
// can no longer reach that point.
void Release(HistoryState& st, int s, const Step& step) {
    st.touched |= 1u << s;
    if (st.sides[s].savedTop == step.id) st.sides[s].savedReachable = false;
    st.bytes -= step.bytes;
}

// A new change on side s: the steps it could redo go, and with them the
// other halves of those covering both tables, together with whatever the
// other side would redo after such a step.
void DropRedo(HistoryState& st, int s) {
    SideHistory& h = st.sides[s];
    SideHistory& other = st.sides[1 - s];
    std::uint64_t firstBoth = UINT64_MAX;
    for (const Step& step : h.redo) {
        if (step.both) firstBoth = std::min(firstBoth, step.id);
        Release(st, s, step);
    }
    h.redo.clear();
    // The other side redoes newer steps after older ones: they are first.
    while (!other.redo.empty() && other.redo.front().id >= firstBoth) {
        Release(st, 1 - s, other.redo.front());
        other.redo.pop_front();
    }
}

// Drops steps until the histories fit their limit: the oldest steps to
// undo first, then the newest steps to redo. A step's halves go together.
void Trim(Workspace& ws) {
    HistoryState& st = *ws.history;
    SideHistory* sides = st.sides;
    while (st.bytes > ws.options.maxUndoSize) {
        const std::uint64_t oldest = std::min(sides[0].undo.empty() ? UINT64_MAX : sides[0].undo.front().id,
                                              sides[1].undo.empty() ? UINT64_MAX : sides[1].undo.front().id);
        if (oldest != UINT64_MAX) {
            // The table as the step left it becomes where the side's
            // history starts.
            for (int s = 0; s < 2; ++s) {
                SideHistory& h = sides[s];
                if (h.undo.empty() || h.undo.front().id != oldest) continue;
                if (h.savedTop == oldest) h.savedTop = 0;
                else if (h.savedTop == 0) h.savedReachable = false;  // the saved point lay before it
                st.bytes -= h.undo.front().bytes;
                h.undo.pop_front();
                st.touched |= 1u << s;
            }
            continue;
        }
        const std::uint64_t newest = std::max(sides[0].redo.empty() ? 0 : sides[0].redo.front().id,
                                              sides[1].redo.empty() ? 0 : sides[1].redo.front().id);
        if (newest == 0) break;
        for (int s = 0; s < 2; ++s) {
            SideHistory& h = sides[s];
            if (h.redo.empty() || h.redo.front().id != newest) continue;
            Release(st, s, h.redo.front());
            h.redo.pop_front();
        }
    }
}

// Every step goes; neither table is known to match its file any more.
void ForgetEverything(HistoryState& st) {
    for (SideHistory& h : st.sides) {
        h = SideHistory{};
        h.savedReachable = false;
    }
    st.bytes = 0;
    st.touched = 3;
}

// Trades what a change holds with table t (undo: back to how it was). False
// when the table no longer has the entries the change refers to: it was
// changed by something that kept no history, so the history cannot be
// trusted.
bool Apply(Change& c, TTblObjects& t, bool undo) {
    TStringList& keys = *t.Keys;
    TStringList& values = *t.Values;
    const std::size_t n = keys.Count();
    switch (c.kind) {
    case Change::Kind::Entry: {
        TStringList& list = c.inValues ? values : keys;
        if (c.pos >= list.Count()) return false;
        const TText now = list.Get(c.pos);
        if (c.head + c.tail > now.size()) return false;
        std::u16string middle(now.substr(c.head, now.size() - c.head - c.tail));
        std::u16string whole(now.substr(0, c.head));
        whole += c.entry.text;
        whole += now.substr(now.size() - c.tail);
        c.entry.text = std::move(whole);
        list.Exchange(c.pos, c.entry);
        c.entry.text = std::move(middle);
        return true;
    }
    case Change::Kind::Block: {
        Change::Blocks& held = *c.blocks;
        if (c.pos > n || held.keys.Count() > n - c.pos || held.values.Count() > values.Count() - c.pos) return false;
        keys.Exchange(c.pos, held.keys);
        values.Exchange(c.pos, held.values);
        return true;
    }
    case Change::Kind::Splice:
        if (c.pos > n || (c.present && c.count > n - c.pos)) return false;
        if (c.present) {
            c.Hold(keys.Take(c.pos, c.count), values.Take(c.pos, c.count));
        } else {
            keys.Put(c.pos, std::move(c.blocks->keys));
            values.Put(c.pos, std::move(c.blocks->values));
            c.blocks.reset();
        }
        c.present = !c.present;
        return true;
    case Change::Kind::Move:
        if (c.pos >= n || c.to >= n) return false;
        keys.Move(c.to, c.pos);
        values.Move(c.to, c.pos);
        std::swap(c.pos, c.to);
        return true;
    case Change::Kind::Language: t.OtherLanguages[c.texts->key] = undo ? c.texts->before : c.texts->after; return true;
    }
    return false;
}

// Undoes side s's last step, or redoes the last one undone, moving it to
// the other list.
bool Turn(Workspace& ws, int s, bool undo) {
    HistoryState& st = *ws.history;
    SideHistory& h = st.sides[s];
    std::deque<Step>& from = undo ? h.undo : h.redo;
    std::deque<Step>& to = undo ? h.redo : h.undo;
    std::vector<Change>& changes = from.back().changes;
    const std::size_t n = changes.size();
    for (std::size_t k = 0; k < n; ++k) {
        if (!Apply(changes[undo ? n - 1 - k : k], ws.sides[s], undo)) {
            ForgetEverything(st);
            return false;
        }
    }
    to.push_back(std::move(from.back()));
    from.pop_back();
    st.touched |= 1u << s;
    Recount(st, to.back());
    return true;
}

RowBlock Clamp(RowBlock block, std::int32_t rows) {
    if (block.first < 0 || block.first >= rows || block.count <= 0) return {};
    block.count = std::min(block.count, rows - block.first);
    return block;
}

// Undoes the last step of p's history, or redoes the last one undone. A
// step that covers both tables first brings the other table to where the
// step left it (undo) or found it (redo), then turns both halves.
std::optional<RowsToShow> Retrace(TTblObjects& p, bool undo) {
    Workspace& ws = *p.Space;
    HistoryState& st = *ws.history;
    const int s = p.Side;
    const std::deque<Step>& mine = undo ? st.sides[s].undo : st.sides[s].redo;
    if (st.recording || mine.empty()) return std::nullopt;
    const Step& step = mine.back();
    const int origin = step.origin;
    const RowPlace place = undo ? step.before : step.after;
    const std::int32_t rowsBefore = RowCountOf(p);
    bool ok = true;
    if (step.both) {
        const std::uint64_t id = step.id;
        const std::deque<Step>& other = undo ? st.sides[1 - s].undo : st.sides[1 - s].redo;
        while (ok && !other.empty() && other.back().id != id) ok = Turn(ws, 1 - s, undo);
        if (ok && !other.empty()) ok = Turn(ws, 1 - s, undo);
    }
    ok = ok && Turn(ws, s, undo);
    if (ok) {
        st.lastSide = origin;
        Trim(ws);
    }
    UpdateModified(ws);
    Notify(ws);
    if (!ok) return std::nullopt;
    const std::int32_t rows = RowCountOf(p);
    return RowsToShow{origin, {std::min(place.row, rows - 1), Clamp(place.selection, rows)}, rows != rowsBefore};
}

Change& Add(const TTblObjects& p, Change::Kind kind, std::size_t pos) {
    Change& c = p.Space->history->open[p.Side].changes.emplace_back();
    c.kind = kind;
    c.pos = pos;
    return c;
}

std::u16string Counted(const std::u16string& many, const std::u16string& one, std::int32_t count) {
    return count == 1 ? one : FillIn(many, {IntToDecimal(count)});
}

}  // namespace

// ---- Recording -------------------------------------------------------------

HistoryStep::HistoryStep(StepKind kind, TTblObjects& origin, const RowPlace& rows, std::int32_t count)
    : space_(*origin.Space), outermost_(!space_.history->recording) {
    if (!outermost_) return;
    HistoryState& st = *space_.history;
    st.recording = true;
    // The halves' changes went into the histories when the last step
    // closed; the rest is set here.
    for (Step& half : st.open) {
        half.changes.clear();
        half.kind = kind;
        half.count = count;
        half.origin = origin.Side;
        half.before = half.after = rows;
    }
}

HistoryStep::~HistoryStep() {
    if (!outermost_) return;
    HistoryState& st = *space_.history;
    st.recording = false;
    if (st.open[0].changes.empty() && st.open[1].changes.empty()) return;  // nothing changed
    const bool both = !st.open[0].changes.empty() && !st.open[1].changes.empty();
    const std::uint64_t id = st.nextId++;
    for (int s = 0; s < 2; ++s) {
        Step& half = st.open[s];
        if (half.changes.empty()) continue;
        SideHistory& h = st.sides[s];
        if (!h.redo.empty()) DropRedo(st, s);
        half.id = id;
        half.both = both;
        half.bytes = half.CountBytes();
        st.bytes += half.bytes;
        st.lastSide = half.origin;
        st.touched |= 1u << s;
        h.undo.push_back(std::move(half));
    }
    Trim(space_);
    UpdateModified(space_);
    Notify(space_);
}

void HistoryStep::SetAfter(const RowPlace& rows) {
    if (outermost_)
        for (Step& half : space_.history->open) half.after = rows;
}

void HistoryStep::SetCount(std::int32_t count) {
    if (outermost_)
        for (Step& half : space_.history->open) half.count = count;
}

void HistoryStep::Grow(TTblObjects& p, std::size_t count) {
    const std::size_t old = p.Count();
    if (old >= count) return;
    p.Keys->EnsureCount(count);
    Inserted(p, old, count - old);
}

void HistoryStep::Inserted(TTblObjects& p, std::size_t pos, std::size_t count) {
    if (count > 0) Add(p, Change::Kind::Splice, pos).count = count;
}

void HistoryStep::Removed(TTblObjects& p, std::size_t pos, EntryBlock&& keys, EntryBlock&& values) {
    if (keys.Empty() && values.Empty()) return;
    Change& c = Add(p, Change::Kind::Splice, pos);
    c.present = false;
    c.count = keys.Count();
    c.Hold(std::move(keys), std::move(values));
}

void HistoryStep::Replaced(TTblObjects& p, std::size_t pos, EntryBlock&& keys, EntryBlock&& values) {
    if (keys.Empty() && values.Empty()) return;
    Add(p, Change::Kind::Block, pos).Hold(std::move(keys), std::move(values));
}

void HistoryStep::Moved(TTblObjects& p, std::size_t from, std::size_t to) { Add(p, Change::Kind::Move, from).to = to; }

void HistoryStep::LanguageChanged(TTblObjects& p, std::int64_t id, int language, std::u16string before,
                                  std::u16string after) {
    Change& c = Add(p, Change::Kind::Language, 0);
    c.texts = std::make_unique<Change::Texts>(Change::Texts{{id, language}, std::move(before), std::move(after)});
}

void HistoryStep::Changing(TTblObjects& p, const TStringList& list, std::size_t i) {
    Grow(p, i + 1);
    Change& c = Add(p, Change::Kind::Entry, i);
    c.inValues = &list == p.Values;
    c.entry = TableEntry{std::u16string(list.Get(i)), list.Flag(i), std::string(list.Stored(i))};
}

void HistoryStep::Changing(TTblObjects& p, const TStringList& list, std::size_t i, std::u16string_view text) {
    Grow(p, i + 1);
    Change& c = Add(p, Change::Kind::Entry, i);
    c.inValues = &list == p.Values;
    // Of the old text only what the new one replaces is kept: a one-letter
    // edit of a long value keeps a letter, not the value.
    const TText old = list.Get(i);
    const std::size_t shorter = std::min(old.size(), text.size());
    c.head =
        static_cast<std::size_t>(std::mismatch(old.begin(), old.begin() + shorter, text.begin()).first - old.begin());
    while (c.head + c.tail < shorter && old[old.size() - 1 - c.tail] == text[text.size() - 1 - c.tail]) ++c.tail;
    c.entry = TableEntry{std::u16string(old.substr(c.head, old.size() - c.head - c.tail)), list.Flag(i),
                         std::string(list.Stored(i))};
}

// ---- Undo and redo ---------------------------------------------------------

std::optional<RowsToShow> Undo(TTblObjects& p) { return Retrace(p, true); }
std::optional<RowsToShow> Redo(TTblObjects& p) { return Retrace(p, false); }

std::size_t UndoSteps(const TTblObjects& p) { return p.Space->history->sides[p.Side].undo.size(); }
std::size_t RedoSteps(const TTblObjects& p) { return p.Space->history->sides[p.Side].redo.size(); }
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
    case StepKind::Fix: return Counted(sStepFix, sStepFixOne, count);
    }
    return {};
}

std::u16string UndoName(const TTblObjects& p) {
    const SideHistory& h = p.Space->history->sides[p.Side];
    return h.undo.empty() ? std::u16string() : StepName(h.undo.back().kind, h.undo.back().count);
}

std::u16string RedoName(const TTblObjects& p) {
    const SideHistory& h = p.Space->history->sides[p.Side];
    return h.redo.empty() ? std::u16string() : StepName(h.redo.back().kind, h.redo.back().count);
}

// ---- Loading, saving and the limit -----------------------------------------

void StartHistory(TTblObjects& p, bool saved) {
    Workspace& ws = *p.Space;
    HistoryState& st = *ws.history;
    const int s = p.Side;
    SideHistory& h = st.sides[s];
    bool both = false;
    for (const std::deque<Step>* list : {&h.undo, &h.redo})
        for (const Step& step : *list) {
            both |= step.both;
            Release(st, s, step);
        }
    // The other halves of steps that covered both tables stay in the other
    // side's history, as steps of the other table alone.
    if (both)
        for (std::deque<Step>* list : {&st.sides[1 - s].undo, &st.sides[1 - s].redo})
            for (Step& step : *list)
                if (step.both) {
                    step.both = false;
                    step.origin = 1 - s;
                }
    h = SideHistory{};
    h.savedReachable = saved;
    st.touched |= 1u << s;
    if (st.lastSide == s) st.lastSide = -1;
    UpdateModified(ws);
    Notify(ws);
}

void MarkSaved(TTblObjects& p) {
    HistoryState& st = *p.Space->history;
    SideHistory& h = st.sides[p.Side];
    h.savedTop = TopId(h);
    h.savedReachable = true;
    st.touched |= 1u << p.Side;
    UpdateModified(*p.Space);
    Notify(*p.Space);
}

int LastHistorySide(const Workspace& space) { return space.history->lastSide; }
std::uint64_t HistoryBytes(const Workspace& space) { return space.history->bytes; }

void TrimHistory(Workspace& space) {
    Trim(space);
    UpdateModified(space);
    Notify(space);
}

void ResetHistory(Workspace& space) {
    HistoryState& st = *space.history;
    ForgetEverything(st);
    for (SideHistory& h : st.sides) h.savedReachable = true;
    st.lastSide = -1;
    st.touched = 0;
}

}  // namespace vm
