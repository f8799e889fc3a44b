// One list of a table: UTF-16 strings with a signed 32-bit flag beside
// each. A table is a key list and a value list of equal length; the two are
// linked as partners so that setting an entry beyond the end grows both.
//
// The strings of a list live in its own text store: a few large blocks
// that strings are appended to, each string followed by a zero unit. An
// entry is a pointer to its string, its length and its flag (16 bytes),
// so inserting, deleting and moving entries moves entries and never a
// string, and loading a table of 65535 entries makes a handful of
// allocations instead of one per key and value. A replaced or deleted
// string leaves dead units behind; when they outgrow the live ones, the
// store is compacted into one block.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/EntryCallbacks.h"
#include "platform/Platform.h"

namespace vm {

// Entry flag values.
inline constexpr std::int32_t FlagPlain = 0;
inline constexpr std::int32_t FlagChanged = 2;
inline constexpr std::int32_t FlagMarkBit = 1;  // bit 0 of a key flag

// A string of a list as TStringList::Get gives it: a view of its units,
// always followed by a zero unit (so c_str() is a zero-terminated string).
// It converts to std::u16string where a copy is wanted. The view stays
// valid until that entry is set, the list is cleared or destroyed, or the
// list compacts its store (which setting or erasing entries can do): a
// caller that keeps a text across such a change of the same list copies
// it first. Appending, inserting and moving entries leave texts in place.
class TText : public std::u16string_view {
public:
    constexpr TText() noexcept : std::u16string_view(u"", 0) {}
    constexpr TText(const char16_t* units, std::size_t size) noexcept : std::u16string_view(units, size) {}
    const char16_t* c_str() const noexcept { return data(); }
    operator std::u16string() const { return std::u16string(data(), size()); }
};

// One entry as TStringList::Items() shows it.
struct TableItem {
    TText text;
    std::int32_t flag = FlagPlain;
};

// An entry as a value of its own: a copy of its text, its flag and
// whatever else an entry carries. The undo history keeps entries so and
// gives them back to the list unchanged.
struct TableEntry {
    std::u16string text;
    std::int32_t flag = FlagPlain;
    // The bytes it was read with, when it keeps any (see
    // TStringList::Stored).
    std::string stored;

    // Memory the value holds, its own size included.
    std::size_t Bytes() const;
};

// A run of whole entries taken out of a list (see TStringList::Take and
// ClearTexts), kept as one value until the list takes them back: their
// texts in one buffer, and each entry's place in it, its flag, origin and
// kept bytes.
class EntryBlock {
public:
    std::size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    // Memory the block holds, in bytes.
    std::size_t Bytes() const;

private:
    friend class TStringList;
    struct Held {
        std::size_t offset;
        std::uint32_t size;
        std::int32_t flag;
    };
    std::u16string units_;
    std::vector<Held> entries_;
    // The entries' origins, when the list they came from had any.
    std::vector<std::uint32_t> origins_;
    // The kept bytes of the entries that have any, by their place in the
    // block; empty when none has.
    std::vector<std::pair<std::uint32_t, std::string>> stored_;
};

class TStringList {
    struct Entry {
        const char16_t* text;  // in the store, or the shared empty string
        std::uint32_t size;
        std::int32_t flag;
    };

public:
    TStringList() = default;
    ~TStringList();
    TStringList(const TStringList&) = delete;
    TStringList& operator=(const TStringList&) = delete;

    // Makes a and b the two lists of one table.
    static void Link(TStringList& a, TStringList& b);

    std::size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }

    // Reading beyond the end gives the empty string and flag 0.
    TText Get(std::size_t i) const {
        if (i >= entries_.size()) return TText();
        return TText(entries_[i].text, entries_[i].size);
    }
    std::int32_t Flag(std::size_t i) const { return i < entries_.size() ? entries_[i].flag : FlagPlain; }

    // Setting beyond the end first appends empty entries to this list and
    // its partner until entry i exists. text may be a string of this list.
    void Set(std::size_t i, std::u16string_view text);
    // The text and the flag at once (an applied edit).
    void Set(std::size_t i, std::u16string_view text, std::int32_t flag);
    void SetFlag(std::size_t i, std::int32_t flag);
    // Grows this list and its partner to count entries where they are
    // shorter; the common call, where both are long enough, costs a test.
    void EnsureCount(std::size_t count) {
        if (entries_.size() < count || (partner_ && partner_->entries_.size() < count)) GrowTo(count);
    }

    // Appends to this list only; the caller appends to the partner as well.
    void Append(std::u16string_view text, std::int32_t flag = FlagPlain);
    void Append(const char16_t* text, std::int32_t flag = FlagPlain);
    // Empties the list; the largest block of the store stays for reuse.
    void Clear();
    // Room for count entries, and for units more units of text (zero
    // units included), so that a load of known size allocates once.
    void Reserve(std::size_t count, std::size_t units = 0);

    // An entry's origin: a number the format it was read from gives it to
    // find its place in the file again (0: none). It stays with the entry
    // through insert, delete and move, and is kept when the entry's text
    // changes; loading and saving set it. A plain value, so it can be saved
    // and put back with the entry. Lists that never get one keep none.
    std::uint32_t Origin(std::size_t i) const { return i < origins_.size() ? origins_[i] : 0; }
    void SetOrigin(std::size_t i, std::uint32_t origin);
    // Every origin back to 0.
    void ClearOrigins() { origins_.clear(); }

    // The bytes a string was read with, kept only where writing its text
    // would not give them back (a literal backslash and "n" in a .tbl
    // value, a stray carriage return, UTF-8 in another form); empty for
    // every other string. They travel with their entry like its flag
    // (insert, delete, move, and whole entries taken out and put back),
    // and go when the entry's text is set to another text or cleared.
    // Lists where no entry keeps any spend nothing on them.
    std::string_view Stored(std::size_t i) const;
    void SetStored(std::size_t i, std::string_view bytes);  // empty: none
    std::size_t StoredCount() const { return stored_.size() - freeStored_.size(); }
    bool HasStored(std::size_t i) const { return i < storedOf_.size() && storedOf_[i] != 0; }

    // Position changes of this list only; each string keeps its flag (and
    // its origin and kept bytes). The caller keeps the partner in step.
    void InsertEmpty(std::size_t pos, std::size_t count);  // pos <= Count()
    void Erase(std::size_t pos, std::size_t count);        // clipped to the end
    void Move(std::size_t from, std::size_t to);           // both < Count()

    // Whole entries in bulk, for the undo history: an entry handed out and
    // taken back keeps its text, its flag and everything else it carries.
    // The caller keeps the partner in step.
    //
    // Removes count entries from pos (clipped to the end) and hands them out.
    EntryBlock Take(std::size_t pos, std::size_t count);
    // Inserts the block's entries at pos (<= Count()); the block ends empty.
    void Put(std::size_t pos, EntryBlock&& block);
    // Trades the entries from pos on with the block's, one for one; all of
    // them must exist.
    void Exchange(std::size_t pos, EntryBlock& block);
    // Empties the texts of count entries from pos (all must exist), keeping
    // their flags, and hands out the entries as they were.
    EntryBlock ClearTexts(std::size_t pos, std::size_t count);
    // Trades one entry (it must exist) with a value.
    void Exchange(std::size_t i, TableEntry& entry);

    // The entries in order, read-only: `for (const TableItem& item :
    // list.Items())`. Changes go through Set and SetFlag.
    class ItemIterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TableItem;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = TableItem;
        ItemIterator() = default;
        explicit ItemIterator(const Entry* e) : e_(e) {}
        TableItem operator*() const { return TableItem{TText(e_->text, e_->size), e_->flag}; }
        ItemIterator& operator++() {
            ++e_;
            return *this;
        }
        ItemIterator operator++(int) {
            ItemIterator old = *this;
            ++e_;
            return old;
        }
        bool operator==(const ItemIterator&) const = default;

    private:
        const Entry* e_ = nullptr;
    };
    class ItemRange {
    public:
        explicit ItemRange(const TStringList& list) : list_(list) {}
        ItemIterator begin() const { return ItemIterator(list_.entries_.data()); }
        ItemIterator end() const { return ItemIterator(list_.entries_.data() + list_.entries_.size()); }
        std::size_t size() const { return list_.Count(); }
        TableItem operator[](std::size_t i) const { return TableItem{list_.Get(i), list_.Flag(i)}; }

    private:
        const TStringList& list_;
    };
    ItemRange Items() const { return ItemRange(*this); }

    // Units the store holds for strings in use and for strings given up
    // (zero units included), for tests and measurements.
    std::size_t LiveUnits() const { return liveUnits_; }
    std::size_t DeadUnits() const { return deadUnits_; }

private:
    struct Block {
        char16_t* units;
        std::size_t capacity;
        std::size_t used;
    };

    // EnsureCount's growing.
    void GrowTo(std::size_t count);
    // Sets entry i's text (of size units, checked); the entry exists.
    void SetText(std::size_t i, std::u16string_view text, std::uint32_t size);
    // Copies text and its zero unit into the store; may add a block.
    const char16_t* Store(std::u16string_view text);
    Block& AddBlock(std::size_t units);
    void Release(const Entry& e);
    // Moves the strings in use into one block when the dead units are
    // many and more than the live ones.
    void CompactIfWasteful();
    void FreeBlocks(std::size_t keep);
    // The entries from pos on as a block, and the block's texts and flags
    // given to the entries from pos on.
    EntryBlock CopyOut(std::size_t pos, std::size_t count) const;
    void CopyIn(std::size_t pos, const EntryBlock& block);
    void DropStored(std::size_t i);

    std::vector<Entry, platform::BufferAllocator<Entry>> entries_;
    // One per entry once any entry has an origin; empty before.
    std::vector<std::uint32_t> origins_;
    // Kept bytes: per entry 0 for none or 1 + their slot in stored_; as
    // long as entries_ while any entry keeps bytes, empty while none does.
    std::vector<std::uint32_t> storedOf_;
    std::vector<std::string> stored_;
    std::vector<std::uint32_t> freeStored_;
    std::vector<Block> blocks_;  // the last one takes new strings
    std::size_t liveUnits_ = 0;
    std::size_t deadUnits_ = 0;
    TStringList* partner_ = nullptr;
};

// Told before an operation changes an entry of a list, so that the entry as
// it was can be kept. Entry i may lie beyond the end of the list; the
// observer then grows the table to reach it.
class EntryChangeObserver {
public:
    virtual ~EntryChangeObserver() = default;
    virtual void BeforeChange(TStringList& list, std::size_t i) = 0;
};

// The bytes the keys and values keep, for a writer. Null when neither list
// keeps any, so writing a table without them costs nothing more.
StoredBytesSource StoredBytesOf(const TStringList& keys, const TStringList& values);

// For a reader: appends every entry to keys and values and keeps the bytes
// handed on for it.
class AppendToLists final : public TableEntryReceiver {
public:
    AppendToLists(TStringList& keys, TStringList& values) : keys_(keys), values_(values) {}
    void Entry(std::u16string_view key, std::u16string_view value) override {
        keys_.Append(key);
        values_.Append(value);
    }
    bool WantsStored() const override { return true; }
    void Stored(std::string_view keyBytes, std::string_view valueBytes) override {
        const std::size_t last = keys_.Count() - 1;
        keys_.SetStored(last, keyBytes);
        values_.SetStored(last, valueBytes);
    }

private:
    TStringList& keys_;
    TStringList& values_;
};

// Keys and values of one table, linked.
struct TableLists {
    TStringList Keys;
    TStringList Values;
    TableLists() { TStringList::Link(Keys, Values); }
    std::size_t Count() const { return Keys.Count(); }
    void Clear() {
        Keys.Clear();
        Values.Clear();
    }
    void Append(std::u16string_view key, std::u16string_view value) {
        Keys.Append(key);
        Values.Append(value);
    }
    void Append(const char16_t* key, const char16_t* value) {
        Keys.Append(key);
        Values.Append(value);
    }
    // Room for the entries of a file of `bytes` bytes, about `entries` of
    // them (0 when not known), so that reading it allocates once. Every
    // unit of a key or value comes from at least one byte of the file;
    // only colour codes and line breaks grow, which a further block takes.
    void ReserveForFile(std::uint64_t bytes, std::size_t entries) {
        const auto units = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, SIZE_MAX / 8));
        Keys.Reserve(entries, units);
        Values.Reserve(entries, units);
    }
};

}  // namespace vm
