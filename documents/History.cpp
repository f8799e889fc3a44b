#include "History.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "DocumentTexts.h"
#include "formats/CRC.h"
#include "platform/Platform.h"

namespace vm {

std::uint64_t MaxUndoSize = DefaultMaxUndoSize;
std::function<void()> HistoryChanged;
Step* RecordingStep = nullptr;

// One change of one table. Each change is its own inverse: applied once it
// undoes what the operation did, applied again it redoes it. So undo
// applies a step's changes last to first, and redo first to last.
struct Change {
    enum class Op : std::uint8_t {
        Entry,   // entry pos of one list trades places with `entry`, but
                 // for the first `head` and last `tail` units of the
                 // text, which the two share
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
    std::uint16_t head = 0, tail = 0;  // Entry
    std::size_t pos = 0;
    std::size_t count = 0;   // Splice: how many; Move: the position `to`
    TableEntry entry;
    std::unique_ptr<Blocks> blocks;  // Block, Splice

    Blocks& Held() {
        if (!blocks) blocks = std::make_unique<Blocks>();
        return *blocks;
    }
    // Memory the change holds beyond its own size.
    std::size_t ExtraBytes() const {
        std::size_t n = entry.Bytes() - sizeof(TableEntry);
        if (blocks) n += blocks->keys.Bytes() + blocks->values.Bytes();
        return n;
    }
};

// One step: a record in the history's log (below). The commonest step, one
// entry changed by an edit, a paste or a mark, keeps that entry as it was
// in the record itself: its place, its flag and its text. Of the text it
// keeps only what the change replaced: the units between the start and the
// end the old and the new text share (an edit mostly changes a few letters
// of a value), one byte each when none is above U+00FF (most tables'
// texts), else two, after the record in the log. Recording it copies those
// units once and takes no memory from the system; the fewer bytes a record
// takes, the less memory an edit pulls into the cache. Any other step
// keeps its changes in a list, and so does such a step once it is undone
// (the text it then keeps is the newer one, which need not fit where the
// old one was). The list lies outside the record: most steps keep none, and the
// record's fields fit one cache line.
struct StepList {
    std::vector<Change> changes;
    std::size_t bytes = 0;  // what the whole step counts towards MaxUndoSize
};

struct Step {
    std::uint64_t id = 0;     // 0 while it is being recorded
    std::unique_ptr<StepList> list;  // null while it keeps no list
    RowPlace before, after;
    std::int32_t count = 0;
    std::uint32_t units = 0;  // units of text the record holds after it
    // The entry kept in the record (when hasEdit): entry editPos of the
    // key or value list of side editSide, its flag, and its text but for
    // the first editHead and last editTail units, which are the entry's
    // own after the change.
    std::uint32_t editPos = 0;
    std::int32_t editFlag = FlagPlain;
    std::uint16_t editHead = 0, editTail = 0;
    StepKind kind = StepKind::Edit;
    // Bit fields of one type, so that every compiler packs them together.
    std::uint8_t origin : 2 = 1;  // the side whose list the command came from
    std::uint8_t sides : 2 = 0;   // bit 0 Table 1, bit 1 Table 2
    std::uint8_t editSide : 1 = 0;
    std::uint8_t editInValues : 1 = 0;
    std::uint8_t hasEdit : 1 = 0;
    std::uint8_t undone : 1 = 0;     // in the redo lists, else in the undo lists
    std::uint8_t hasBefore : 1 = 0;  // before is set (it is taken at the first change)
    std::uint8_t hasAfter : 1 = 0;
    std::uint8_t hasRowAfter : 1 = 0;
    std::uint8_t keepRows : 1 = 0;   // the rows after are the rows before
    std::uint8_t narrow : 1 = 0;     // the text in the record is one byte a unit

    bool Covers(int side) const { return (sides & (1u << side)) != 0; }
    bool HasChanges() const { return list && !list->changes.empty(); }
    // The list, made on first use; it starts counting what the step counted
    // until then, its record.
    std::vector<Change>& Changes() {
        if (!list) {
            list = std::make_unique<StepList>();
            list->bytes = RecordSize();
        }
        return list->changes;
    }
    char16_t* Text() { return reinterpret_cast<char16_t*>(this + 1); }
    unsigned char* NarrowText() { return reinterpret_cast<unsigned char*>(this + 1); }
    std::size_t TextBytes() const { return narrow ? units : units * sizeof(char16_t); }
    // The record with textBytes bytes of text after it, in the log.
    static constexpr std::size_t RecordBytesFor(std::size_t textBytes) {
        return sizeof(Step) + ((textBytes + alignof(Step) - 1) & ~(alignof(Step) - 1));
    }
    std::size_t RecordSize() const { return RecordBytesFor(TextBytes()); }
};

static_assert(sizeof(Step) <= 64, "a step's record header fits one cache line");

namespace {

// The longest text a record keeps after itself; a longer one goes into the
// step's list of changes.
constexpr std::size_t MaxRecordUnits = 2048;

// Copies a text one byte a unit when no unit is above U+00FF; false (with
// part of it written) when one is.
bool CopyNarrow(unsigned char* to, const char16_t* from, std::size_t units) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF00));
    for (; i + 8 <= units; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128())) != 0xFFFF) return false;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + i), _mm_packus_epi16(v, v));
    }
#endif
    for (; i < units; ++i) {
        if (from[i] > 0xFF) return false;
        to[i] = static_cast<unsigned char>(from[i]);
    }
    return true;
}

// The longest start and end of a text a step's record leaves to the entry
// (what its fields hold); a longer one is kept in part.
constexpr std::size_t MaxSharedUnits = UINT16_MAX;

// Copies a text of a few dozen units, as most are, in 16-byte moves (the
// last one overlapping the one before); the compiler's own copy of a
// length it does not know starts slowly.
void CopyUnits(char16_t* to, const char16_t* from, std::size_t units) {
    auto* out = reinterpret_cast<unsigned char*>(to);
    const auto* in = reinterpret_cast<const unsigned char*>(from);
    const std::size_t bytes = units * sizeof(char16_t);
    if (bytes >= 16) {
        for (std::size_t at = 0; at + 16 < bytes; at += 16) std::memcpy(out + at, in + at, 16);
        std::memcpy(out + bytes - 16, in + bytes - 16, 16);
    } else if (bytes >= 8) {
        std::memcpy(out, in, 8);
        std::memcpy(out + bytes - 8, in + bytes - 8, 8);
    } else if (bytes >= 4) {
        std::memcpy(out, in, 4);
        std::memcpy(out + bytes - 4, in + bytes - 4, 4);
    } else if (bytes > 0) {
        std::memcpy(out, in, 2);
    }
}

// What a step counts towards MaxUndoSize: its record, and its list when it
// keeps one (counted when it last changed).
std::size_t StepBytes(const Step& step) { return step.list ? step.list->bytes : step.RecordSize(); }

std::size_t BytesOf(const Step& step) {
    std::size_t n = step.RecordSize();
    if (!step.list) return n;
    n += sizeof(StepList) + step.list->changes.capacity() * sizeof(Change);
    for (const Change& c : step.list->changes) n += c.ExtraBytes();
    return n;
}

// The records of every step, in the order they were recorded, in chunks of
// memory that are written from start to end: recording a step writes the
// next bytes of the last chunk, and a chunk goes back to the system when
// none of its records is left. Once the history is at its limit, the oldest
// records go from the first chunk as new ones fill the last, so each step
// recorded costs a copy into memory written just before, and a chunk's
// worth of steps one allocation, which the large-buffer allocator serves
// from the chunk given back last.
class StepLog {
public:
    StepLog() = default;
    StepLog(const StepLog&) = delete;
    StepLog& operator=(const StepLog&) = delete;
    ~StepLog() {
        for (Chunk& c : chunks_) platform::FreeBuffer(c.base, c.size);
        platform::FreeBuffer(spare_.base, spare_.size);
    }

    // A fresh record at the end of the log, with room for MaxRecordUnits
    // units after it. It is not part of the log until Commit.
    Step* Open() {
        constexpr std::size_t need = Step::RecordBytesFor(MaxRecordUnits * sizeof(char16_t));
        if (static_cast<std::size_t>(end_ - head_) < need) AddChunk(need);
        return new (head_) Step;
    }
    // The record opened last becomes part of the log, with the units of
    // text it holds. The memory the next record will take is asked into
    // the cache now, so that writing it later does not wait.
    void Commit(Step* step) {
        const std::size_t bytes = step->RecordSize();
        head_ += bytes;
        ++chunks_.back().live;
        liveBytes_ += bytes;
        __builtin_prefetch(head_, 1);
        __builtin_prefetch(head_ + 64, 1);
        __builtin_prefetch(head_ + 128, 1);
    }
    // The record opened last is dropped without being part of the log.
    static void Discard(Step* step) { step->~Step(); }

    // A record of the log goes; a chunk with none left goes back, unless
    // it is the one records are written to.
    void Release(Step* step) {
        Chunk& c = ChunkOf(step);
        liveBytes_ -= step->RecordSize();
        step->~Step();
        if (--c.live > 0 || &c == &chunks_.back()) return;
        GiveBack(c);
        DropFreedChunks();
    }

    // A copy of a committed record (which is left empty) at the end of the
    // log, committed; for moving records into a fresh log.
    Step* Adopt(Step& from) {
        const std::size_t bytes = from.RecordSize();
        if (static_cast<std::size_t>(end_ - head_) < bytes) AddChunk(bytes);
        Step* step = new (head_) Step(std::move(from));
        std::memcpy(step->Text(), from.Text(), from.TextBytes());
        Commit(step);
        return step;
    }

    void Swap(StepLog& other) noexcept {
        chunks_.swap(other.chunks_);
        std::swap(hint_, other.hint_);
        std::swap(head_, other.head_);
        std::swap(end_, other.end_);
        std::swap(heldBytes_, other.heldBytes_);
        std::swap(liveBytes_, other.liveBytes_);
        std::swap(spare_, other.spare_);
    }

    // Memory held in chunks, and what the records in them take.
    std::size_t HeldBytes() const { return heldBytes_; }
    std::size_t LiveBytes() const { return liveBytes_; }
    // Chunks are a 32nd of the limit, from 64 KiB to 2 MiB (from 512 KiB
    // on, the large-buffer allocator maps them with huge pages).
    static std::size_t ChunkBytes() {
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(MaxUndoSize / 32, std::size_t{2} << 20));
        return std::max(wanted, std::size_t{64} << 10);
    }

private:
    struct Chunk {
        char* base = nullptr;  // null once given back
        std::size_t size = 0;
        std::size_t live = 0;  // records committed and not released
    };

    // The chunk holding a record: mostly the first (the oldest steps go),
    // the last (steps just recorded go) or the one found before (a history
    // emptied goes in the order of the records' places).
    Chunk& ChunkOf(const Step* step) {
        const auto at = reinterpret_cast<std::uintptr_t>(step);
        const auto holds = [at](const Chunk& c) {
            const auto base = reinterpret_cast<std::uintptr_t>(c.base);
            return c.base && at >= base && at - base < c.size;
        };
        if (holds(chunks_.front())) return chunks_.front();
        if (hint_ < chunks_.size() && holds(chunks_[hint_])) return chunks_[hint_];
        for (hint_ = chunks_.size(); hint_-- > 0;)
            if (holds(chunks_[hint_])) return chunks_[hint_];
        std::abort();  // not a record of this log
    }

    // One chunk given back is kept as the next one to write: at the limit
    // the first chunk empties as the last fills, and the memory goes round
    // without a call to the system.
    void GiveBack(Chunk& c) {
        heldBytes_ -= c.size;
        if (spare_.base)
            platform::FreeBuffer(c.base, c.size);
        else
            spare_ = Chunk{c.base, c.size, 0};
        c.base = nullptr;
    }

    // Chunks given back leave the front of the list (once per chunk's
    // worth of steps, so moving the few that stay costs nothing).
    void DropFreedChunks() {
        std::size_t n = 0;
        while (n + 1 < chunks_.size() && !chunks_[n].base) ++n;
        if (n == 0) return;
        chunks_.erase(chunks_.begin(), chunks_.begin() + static_cast<std::ptrdiff_t>(n));
    }

    void AddChunk(std::size_t need) {
        const std::size_t size = std::max(need, ChunkBytes());
        Chunk fresh{nullptr, size, 0};
        if (spare_.base && spare_.size >= size) {
            fresh = spare_;
            spare_ = Chunk{};
        } else {
            fresh.base = static_cast<char*>(platform::AllocateBuffer(size));
            if (!fresh.base) throw std::bad_alloc();
        }
        // A last chunk that is empty goes now; it is no longer written to.
        if (!chunks_.empty() && chunks_.back().live == 0) GiveBack(chunks_.back());
        chunks_.push_back(fresh);
        heldBytes_ += fresh.size;
        head_ = fresh.base;
        end_ = fresh.base + fresh.size;
        DropFreedChunks();
    }

    std::vector<Chunk> chunks_;
    std::size_t hint_ = 0;  // where ChunkOf last found a record
    char* head_ = nullptr;        // where the next record goes, in the last chunk
    char* end_ = nullptr;
    std::size_t heldBytes_ = 0;   // in chunks_
    std::size_t liveBytes_ = 0;
    Chunk spare_;
};

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
    StepLog log;

    HistoryState() = default;
    HistoryState(const HistoryState&) = delete;
    HistoryState& operator=(const HistoryState&) = delete;
    // The records live in the log's memory: each is ended before it goes.
    ~HistoryState() {
        for (Step* step : AllSteps()) log.Release(step);
    }

    // Every step the lists of either side hold, each once.
    std::vector<Step*> AllSteps() const {
        std::vector<Step*> all;
        for (const SideHistory& h : sides) {
            all.insert(all.end(), h.undo.begin(), h.undo.end());
            all.insert(all.end(), h.redo.begin(), h.redo.end());
        }
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        return all;
    }
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

int SideIndex(const TTblObjects& p) { return p.Side == 2 ? 1 : 0; }

// The rows before a step are taken when it records its first change, not
// when it opens: a row change opens a step whether or not an editor was
// changed, and it names the rows itself, so most steps never ask the view.
// Nothing moves the rows between a step's opening and its first change.
inline void TakeBefore(Step& step) {
    if (step.hasBefore) return;
    step.before = RowPlace{CurrentRow, TableSide(step.origin).View->SelectedRows()};
    step.hasBefore = true;
}

// A step kept in its record goes into its list of changes, as the first.
void MoveEditToList(Step& step) {
    Change c;
    c.side = step.editSide;
    c.inValues = step.editInValues;
    c.pos = step.editPos;
    c.head = step.editHead;
    c.tail = step.editTail;
    if (step.narrow) {
        const unsigned char* text = step.NarrowText();
        c.entry.text.assign(text, text + step.units);
    } else {
        c.entry.text.assign(step.Text(), step.units);
    }
    c.entry.flag = step.editFlag;
    std::vector<Change>& changes = step.Changes();
    changes.insert(changes.begin(), std::move(c));
    step.hasEdit = false;
    // A step still being recorded gives its room in the log back.
    if (step.id == 0) {
        step.units = 0;
        step.narrow = false;
    }
}

void Recount(Step& step) {
    State().totalBytes -= StepBytes(step);
    if (step.list) step.list->bytes = BytesOf(step);
    State().totalBytes += StepBytes(step);
}

std::uint64_t TopId(const SideHistory& h) { return h.undo.empty() ? 0 : h.undo.back()->id; }

void Touch(const Step& step) { State().touched |= step.sides; }

// The modified state of the sides whose history changed.
void UpdateModified() {
    HistoryState& st = State();
    for (int s = 0; s < 2; ++s) {
        if (!(st.touched & (1u << s))) continue;
        const SideHistory& h = st.sides[s];
        TableSide(s + 1).Modified = !(h.savedReachable && TopId(h) == h.savedTop);
    }
    st.touched = 0;
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
    HistoryState& st = State();
    st.touched |= step->sides;
    for (int s = 0; s < 2; ++s)
        if (step->Covers(s) && st.sides[s].savedTop == step->id) st.sides[s].savedReachable = false;
    st.totalBytes -= StepBytes(*step);
    st.log.Release(step);
}

// Releases a set of steps after the lists that held them were cut; a step
// may be named twice.
void ReleaseAll(std::vector<Step*>& steps) {
    std::sort(steps.begin(), steps.end());
    steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
    for (Step* step : steps) Release(step);
}

// Records released out of turn (steps that could be redone, a side's
// history started anew) leave gaps in the log that keep their chunks. Once
// the log holds a quarter more than its records take, and a few chunks
// beyond that, the records move into a fresh log, in order.
void CompactIfWasteful() {
    HistoryState& st = State();
    const std::size_t live = st.log.LiveBytes();
    if (RecordingStep || st.log.HeldBytes() <= live + live / 4 + 4 * StepLog::ChunkBytes()) return;
    std::vector<Step*> steps = st.AllSteps();
    std::sort(steps.begin(), steps.end(), [](const Step* a, const Step* b) { return a->id < b->id; });
    StepLog fresh;
    std::vector<std::pair<Step*, Step*>> moved;  // where each record was, where it is
    moved.reserve(steps.size());
    for (Step* step : steps) {
        moved.emplace_back(step, fresh.Adopt(*step));
        step->~Step();
    }
    st.log.Swap(fresh);  // the old chunks go with `fresh`
    std::sort(moved.begin(), moved.end());
    const auto newPlace = [&moved](Step* old) {
        return std::lower_bound(moved.begin(), moved.end(), std::make_pair(old, static_cast<Step*>(nullptr)))->second;
    };
    for (SideHistory& h : st.sides) {
        for (Step*& step : h.undo) step = newPlace(step);
        for (Step*& step : h.redo) step = newPlace(step);
    }
}

// A new change on side s: the steps it could redo go, and with them every
// step covering both tables among them, together with whatever the other
// side would have to redo after such a step.
// True when any step went.
bool DropRedo(int s) {
    SideHistory& h = State().sides[s];
    if (h.redo.empty()) return false;
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
    return true;
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
        if (c.pos >= list.Count() || std::size_t{c.head} + c.tail > list.Get(c.pos).size()) return false;
        list.Exchange(c.pos, c.entry, c.head, c.tail);
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
    if (step->hasEdit) MoveEditToList(*step);
    bool ok = true;
    std::vector<Change>& changes = step->Changes();
    const std::size_t n = changes.size();
    for (std::size_t k = 0; k < n && ok; ++k) ok = Apply(changes[undo ? n - 1 - k : k]);
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
// undo first, then the newest steps to redo. Once past the limit, the
// oldest steps go until a 64th of it is free again, so that at the limit
// they go a run at a time, their records read one after another from the
// start of the log, instead of one cold record for every step recorded.
void Trim() {
    HistoryState& st = State();
    if (st.totalBytes <= MaxUndoSize) return;
    const std::uint64_t goal = MaxUndoSize - MaxUndoSize / 64;
    while (st.totalBytes > goal) {
        Step* oldest = nullptr;
        for (const SideHistory& h : st.sides)
            if (!h.undo.empty() && (!oldest || h.undo.front()->id < oldest->id)) oldest = h.undo.front();
        if (oldest) {
            // The table as the step left it becomes where its sides'
            // histories start. A side's modified state can change only
            // with its saved point or when its last step goes.
            for (int s = 0; s < 2; ++s) {
                if (!oldest->Covers(s)) continue;
                SideHistory& h = st.sides[s];
                if (h.undo.front() == oldest)
                    h.undo.pop_front();
                else
                    Erase(h.undo, oldest, true);
                if (h.savedTop == oldest->id) {
                    h.savedTop = 0;
                    st.touched |= 1u << s;
                } else if (h.savedTop == 0 && h.savedReachable) {
                    h.savedReachable = false;
                    st.touched |= 1u << s;
                }
                if (h.undo.empty()) st.touched |= 1u << s;
            }
            st.totalBytes -= StepBytes(*oldest);
            st.log.Release(oldest);
            continue;
        }
        // Steps to redo go only as far as the limit needs.
        if (st.totalBytes <= MaxUndoSize) break;
        Step* newest = nullptr;
        for (const SideHistory& h : st.sides)
            if (!h.redo.empty() && (!newest || h.redo.front()->id > newest->id)) newest = h.redo.front();
        if (!newest) break;
        for (int s = 0; s < 2; ++s)
            if (newest->Covers(s)) Erase(st.sides[s].redo, newest, true);
        Release(newest);
    }
}

// Every step goes; neither table is known to match its file any more.
void ForgetEverything() {
    HistoryState& st = State();
    const std::vector<Step*> all = st.AllSteps();
    for (SideHistory& h : st.sides) {
        h = SideHistory{};
        h.savedReachable = false;
    }
    st.touched = 3;
    for (Step* step : all) Release(step);
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

void HistoryStep::Open(StepKind kind, std::int32_t count) {
    Step* step = State().log.Open();
    RecordingStep = step_ = step;
    step->kind = kind;
    step->count = count;
    step->origin = origin_.Side;
}

void HistoryStep::Close() {
    RecordingStep = nullptr;
    Step* step = step_;
    if (!step->hasEdit && !step->HasChanges()) {
        StepLog::Discard(step);
        return;
    }
    HistoryState& st = *TheState;  // made when the step opened
    if (step->keepRows) {
        step->after = step->before;
    } else if (!step->hasAfter) {
        step->after.selection = origin_.View->SelectedRows();
        step->after.row = step->hasRowAfter ? step->after.row : CurrentRow;
    }
    step->id = st.nextId++;
    st.log.Commit(step);
    bool dropped = false;
    for (int s = 0; s < 2; ++s) {
        if (!step->Covers(s)) continue;
        SideHistory& h = st.sides[s];
        if (!h.redo.empty()) dropped |= DropRedo(s);
        h.undo.push_back(step);
        // A step just recorded is no saved point: its side is modified
        // (unless the limit lets it go at once, which the trim sees to).
        (origin_.Side == s + 1 ? origin_ : *origin_.Other).Modified = true;
    }
    if (step->list) step->list->bytes = BytesOf(*step);
    st.totalBytes += StepBytes(*step);
    st.lastSide = step->origin;
    if (st.totalBytes > MaxUndoSize) Trim();
    // Only now is every record kept in a list, where moving it is seen.
    if (dropped) CompactIfWasteful();
    if (st.touched) UpdateModified();
    Notify();
}

void HistoryStep::SetBefore(const RowPlace& place) {
    if (!outermost_) return;
    step_->before = place;
    step_->hasBefore = true;
}

void HistoryStep::SetAfter(const RowPlace& place) {
    if (!outermost_) return;
    step_->after = place;
    step_->hasAfter = true;
    step_->keepRows = false;
}

void HistoryStep::SetRowAfter(std::int32_t row) {
    if (!outermost_) return;
    step_->after.row = row;
    step_->hasRowAfter = true;
}

void HistoryStep::KeepRows() { step_->keepRows = true; }

void HistoryStep::SetCount(std::int32_t count) {
    if (outermost_) step_->count = count;
}

namespace {
Change& Add(Step& step, const TTblObjects& p, Change::Op op, std::size_t pos) {
    TakeBefore(step);
    if (step.hasEdit) MoveEditToList(step);
    Change& c = step.Changes().emplace_back();
    c.op = op;
    c.side = static_cast<std::uint8_t>(SideIndex(p));
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

inline bool HistoryStep::KeepInRecord(TTblObjects& p, const TStringList& list, std::size_t i, std::size_t head,
                                      std::size_t tail) {
    Step& step = *step_;
    // The first entry of a step, when it exists and keeps no read bytes,
    // is kept in the step's record.
    if (step.hasEdit || step.HasChanges() || i >= list.Count() || list.HasStored(i)) return false;
    const TText old = list.Get(i);
    const std::size_t units = old.size() - head - tail;
    if (units > MaxRecordUnits) return false;
    const char16_t* middle = old.data() + head;
    TakeBefore(step);
    step.narrow = CopyNarrow(step.NarrowText(), middle, units);
    if (!step.narrow) CopyUnits(step.Text(), middle, units);
    step.units = static_cast<std::uint32_t>(units);
    step.editHead = static_cast<std::uint16_t>(head);
    step.editTail = static_cast<std::uint16_t>(tail);
    step.editPos = static_cast<std::uint32_t>(i);
    step.editFlag = list.Flag(i);
    step.editSide = static_cast<std::uint8_t>(SideIndex(p));
    step.editInValues = &list == p.Values;
    step.hasEdit = true;
    step.sides = static_cast<std::uint8_t>(step.sides | (1u << step.editSide));
    return true;
}

void HistoryStep::Changing(TTblObjects& p, const TStringList& list, std::size_t i) {
    if (!KeepInRecord(p, list, i, 0, 0)) ChangingInList(p, list, i, 0, 0);
}

void HistoryStep::Changing(TTblObjects& p, const TStringList& list, std::size_t i, std::u16string_view text) {
    Changing(p, list, i, text, SharedHead(list.Get(i), text));
}

void HistoryStep::Changing(TTblObjects& p, const TStringList& list, std::size_t i, std::u16string_view text,
                           std::size_t head) {
    const TText old = list.Get(i);
    const std::size_t tail = SharedTail(old.substr(head), text.substr(head), MaxSharedUnits);
    head = std::min(head, MaxSharedUnits);
    if (!KeepInRecord(p, list, i, head, tail)) ChangingInList(p, list, i, head, tail);
}

void HistoryStep::ChangingInList(TTblObjects& p, const TStringList& list, std::size_t i, std::size_t head,
                                 std::size_t tail) {
    Grow(p, i + 1);
    Change& c = Add(*step_, p, Change::Op::Entry, i);
    c.inValues = &list == p.Values;
    const TText old = list.Get(i);
    c.head = static_cast<std::uint16_t>(head);
    c.tail = static_cast<std::uint16_t>(tail);
    c.entry.text.assign(old.substr(head, old.size() - head - tail));
    c.entry.flag = list.Flag(i);
    c.entry.stored.assign(list.Stored(i));
}

// ---- Undo and redo ---------------------------------------------------------

namespace {

// Undoes the last step of p's history, or redoes the last one undone. A
// step that covers both tables first brings the other table to where the
// step left it (undo) or found it (redo).
bool Retrace(TTblObjects& p, bool undo) {
    if (RecordingStep) return false;
    const int s = SideIndex(p);
    const std::deque<Step*>& mine = undo ? State().sides[s].undo : State().sides[s].redo;
    if (mine.empty()) return false;
    Step* step = mine.back();
    if (step->Covers(1 - s)) {
        const std::deque<Step*>& other = undo ? State().sides[1 - s].undo : State().sides[1 - s].redo;
        while (!other.empty() && other.back() != step)
            if (!Turn(other.back(), undo)) return Failed();
    }
    if (!Turn(step, undo)) return Failed();
    Finish(*step, undo ? step->before : step->after);
    return true;
}

}  // namespace

bool Undo(TTblObjects& p) { return Retrace(p, true); }
bool Redo(TTblObjects& p) { return Retrace(p, false); }

std::size_t UndoSteps(const TTblObjects& p) { return State().sides[SideIndex(p)].undo.size(); }
std::size_t RedoSteps(const TTblObjects& p) { return State().sides[SideIndex(p)].redo.size(); }
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
    const SideHistory& h = State().sides[SideIndex(p)];
    return h.undo.empty() ? std::u16string() : StepName(h.undo.back()->kind, h.undo.back()->count);
}

std::u16string RedoName(const TTblObjects& p) {
    const SideHistory& h = State().sides[SideIndex(p)];
    return h.redo.empty() ? std::u16string() : StepName(h.redo.back()->kind, h.redo.back()->count);
}

// ---- Loading, saving and the limit -----------------------------------------

void StartHistory(TTblObjects& p, bool saved) {
    const int s = SideIndex(p);
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
        if (step->list) std::erase_if(step->list->changes, [s](const Change& c) { return c.side == s; });
        step->sides = static_cast<std::uint8_t>(1u << (1 - s));
        step->origin = static_cast<std::uint8_t>(2 - s);
        Recount(*step);
    }
    CompactIfWasteful();
    h.savedTop = 0;
    h.savedReachable = saved;
    State().touched |= 1u << s;
    if (State().lastSide == p.Side) State().lastSide = 0;
    UpdateModified();
    Notify();
}

void MarkSaved(TTblObjects& p) {
    SideHistory& h = State().sides[SideIndex(p)];
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
