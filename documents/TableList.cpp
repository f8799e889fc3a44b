#include "documents/TableList.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "formats/TextHelpers.h"

namespace vm {

namespace {

// Every empty entry points here; nothing ever writes through it.
constexpr char16_t EmptyUnits[1] = {0};

// The first block of a store; each further block is at least as large as
// all before it together, so a load of any size takes few blocks.
constexpr std::size_t FirstBlockUnits = 2048;
// Compaction waits until the dead units are at least this many and more
// than the live ones, so its cost is spread over what made them dead.
constexpr std::size_t CompactionUnits = std::size_t{1} << 16;
constexpr std::size_t NoBlock = static_cast<std::size_t>(-1);

std::uint32_t CheckedSize(std::size_t size) {
    if (size > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("table string too long");
    return static_cast<std::uint32_t>(size);
}

// Heap memory of a string: none while the text fits inside the string.
template <class String>
std::size_t HeapBytes(const String& s) {
    const auto data = reinterpret_cast<std::uintptr_t>(s.data());
    const auto self = reinterpret_cast<std::uintptr_t>(&s);
    if (data >= self && data < self + sizeof s) return 0;
    return (s.capacity() + 1) * sizeof(typename String::value_type);
}

}  // namespace

std::size_t TableEntry::Bytes() const { return sizeof(TableEntry) + HeapBytes(text) + HeapBytes(stored); }

std::size_t EntryBlock::Bytes() const {
    std::size_t bytes = sizeof(EntryBlock) + HeapBytes(units_) + entries_.capacity() * sizeof(Held) +
                        origins_.capacity() * sizeof(std::uint32_t) + stored_.capacity() * sizeof(stored_[0]);
    for (const auto& kept : stored_) bytes += HeapBytes(kept.second);
    return bytes;
}

TStringList::~TStringList() { FreeBlocks(NoBlock); }

void TStringList::Link(TStringList& a, TStringList& b) {
    a.partner_ = &b;
    b.partner_ = &a;
}

void TStringList::GrowTo(std::size_t count) {
    for (TStringList* list : {this, partner_}) {
        if (!list || list->entries_.size() >= count) continue;
        list->entries_.resize(count, Entry{EmptyUnits, 0, FlagPlain});
        if (!list->origins_.empty()) list->origins_.resize(count, 0);
        if (!list->storedOf_.empty()) list->storedOf_.resize(count, 0);
    }
}

std::string_view TStringList::Stored(std::size_t i) const {
    if (i >= storedOf_.size() || storedOf_[i] == 0) return {};
    return stored_[storedOf_[i] - 1];
}

void TStringList::SetStored(std::size_t i, std::string_view bytes) {
    if (bytes.empty()) {
        DropStored(i);
        return;
    }
    EnsureCount(i + 1);
    if (storedOf_.empty()) storedOf_.assign(entries_.size(), 0);
    std::uint32_t slot = storedOf_[i];
    if (slot == 0) {
        if (!freeStored_.empty()) {
            stored_[freeStored_.back()].assign(bytes);
            slot = freeStored_.back() + 1;
            freeStored_.pop_back();
        } else {
            stored_.emplace_back(bytes);
            slot = static_cast<std::uint32_t>(stored_.size());
        }
        storedOf_[i] = slot;
    } else {
        stored_[slot - 1].assign(bytes);
    }
}

void TStringList::DropStored(std::size_t i) {
    if (i >= storedOf_.size() || storedOf_[i] == 0) return;
    const std::uint32_t slot = storedOf_[i] - 1;
    storedOf_[i] = 0;
    std::string().swap(stored_[slot]);
    freeStored_.push_back(slot);
    if (freeStored_.size() == stored_.size()) {  // none left: back to no index at all
        std::vector<std::uint32_t>().swap(storedOf_);
        stored_.clear();
        freeStored_.clear();
    }
}

void TStringList::SetOrigin(std::size_t i, std::uint32_t origin) {
    EnsureCount(i + 1);
    if (origins_.size() < entries_.size()) origins_.resize(entries_.size(), 0);
    origins_[i] = origin;
}

TStringList::Block& TStringList::AddBlock(std::size_t units) {
    std::size_t total = 0;
    for (const Block& b : blocks_) total += b.capacity;
    const std::size_t capacity = std::max({units, FirstBlockUnits, total});
    if (capacity > SIZE_MAX / sizeof(char16_t)) throw std::bad_alloc();
    blocks_.reserve(blocks_.size() + 1);  // a failure here leaks nothing
    auto* memory = static_cast<char16_t*>(platform::AllocateBuffer(capacity * sizeof(char16_t)));
    if (!memory) throw std::bad_alloc();
    blocks_.push_back(Block{memory, capacity, 0});
    return blocks_.back();
}

const char16_t* TStringList::Store(std::u16string_view text) {
    const std::size_t units = text.size() + 1;
    Block* b = blocks_.empty() ? nullptr : &blocks_.back();
    if (!b || b->capacity - b->used < units) b = &AddBlock(units);
    char16_t* at = b->units + b->used;
    std::memcpy(at, text.data(), text.size() * sizeof(char16_t));
    at[text.size()] = 0;
    b->used += units;
    liveUnits_ += units;
    return at;
}

void TStringList::Release(const Entry& e) {
    if (e.size == 0) return;
    liveUnits_ -= e.size + std::size_t{1};
    deadUnits_ += e.size + std::size_t{1};
}

inline void TStringList::SetText(std::size_t i, std::u16string_view text, std::uint32_t size) {
    // Another text is a change: the bytes it was read with no longer apply.
    if (i < storedOf_.size() && storedOf_[i] != 0 && text != Get(i)) DropStored(i);
    Entry& e = entries_[i];
    if (size == 0) {
        Release(e);
        e.text = EmptyUnits;
        e.size = 0;
    } else if (size <= e.size) {
        // Fits where the old string was; text may overlap it.
        auto* at = const_cast<char16_t*>(e.text);
        std::memmove(at, text.data(), size * sizeof(char16_t));
        at[size] = 0;
        liveUnits_ -= e.size - size;
        deadUnits_ += e.size - size;
        e.size = size;
    } else {
        // Blocks never move, so text may be a string of this store.
        const char16_t* stored = Store(text);  // may throw; the entry is still whole
        Release(e);
        e.text = stored;
        e.size = size;
    }
    CompactIfWasteful();
}

void TStringList::Set(std::size_t i, std::u16string_view text) {
    const std::uint32_t size = CheckedSize(text.size());
    EnsureCount(i + 1);
    SetText(i, text, size);
}

void TStringList::Set(std::size_t i, std::u16string_view text, std::int32_t flag) {
    const std::uint32_t size = CheckedSize(text.size());
    EnsureCount(i + 1);
    SetText(i, text, size);
    entries_[i].flag = flag;
}

void TStringList::SetFlag(std::size_t i, std::int32_t flag) {
    EnsureCount(i + 1);
    entries_[i].flag = flag;
}

void TStringList::Append(std::u16string_view text, std::int32_t flag) {
    const std::uint32_t size = CheckedSize(text.size());
    // Room for the entry and its origin and kept-bytes index first, so that
    // a failure leaves no dead text and no list out of step.
    if (entries_.size() == entries_.capacity()) entries_.reserve(std::max<std::size_t>(16, 2 * entries_.size()));
    if (!origins_.empty()) origins_.reserve(entries_.capacity());
    if (!storedOf_.empty()) storedOf_.reserve(entries_.capacity());
    entries_.push_back(Entry{size ? Store(text) : EmptyUnits, size, flag});
    if (!origins_.empty()) origins_.push_back(0);
    if (!storedOf_.empty()) storedOf_.push_back(0);
}

void TStringList::Append(const char16_t* text, std::int32_t flag) {
    Append(std::u16string_view(text ? text : u"", WideLength(text)), flag);
}

void TStringList::Reserve(std::size_t count, std::size_t units) {
    entries_.reserve(count);
    if (units == 0) return;
    if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < units) AddBlock(units);
}

// Frees every block but the one numbered keep (NoBlock: all of them);
// the kept block is emptied.
void TStringList::FreeBlocks(std::size_t keep) {
    for (std::size_t b = 0; b < blocks_.size(); ++b)
        if (b != keep) platform::FreeBuffer(blocks_[b].units, blocks_[b].capacity * sizeof(char16_t));
    if (keep < blocks_.size()) {
        const Block kept{blocks_[keep].units, blocks_[keep].capacity, 0};
        blocks_.assign(1, kept);
    } else {
        blocks_.clear();
    }
}

void TStringList::Clear() {
    entries_.clear();
    origins_.clear();
    std::vector<std::uint32_t>().swap(storedOf_);
    std::vector<std::string>().swap(stored_);
    freeStored_.clear();
    // The largest block stays, so loading a table again takes no new memory.
    std::size_t largest = 0;
    for (std::size_t b = 1; b < blocks_.size(); ++b)
        if (blocks_[b].capacity > blocks_[largest].capacity) largest = b;
    FreeBlocks(blocks_.empty() ? NoBlock : largest);
    liveUnits_ = 0;
    deadUnits_ = 0;
}

void TStringList::CompactIfWasteful() {
    if (deadUnits_ < CompactionUnits || deadUnits_ <= liveUnits_) return;
    // Every string in use, in entry order, into one new block with room
    // for half as much again. Without memory for it the store stays as it
    // is: the waste is only room, not wrong text.
    const std::size_t capacity = std::max(FirstBlockUnits, liveUnits_ + liveUnits_ / 2);
    if (capacity > SIZE_MAX / sizeof(char16_t) || blocks_.empty()) return;
    auto* memory = static_cast<char16_t*>(platform::AllocateBuffer(capacity * sizeof(char16_t)));
    if (!memory) return;
    std::size_t used = 0;
    for (Entry& e : entries_) {
        if (e.size == 0) continue;
        std::memcpy(memory + used, e.text, (e.size + std::size_t{1}) * sizeof(char16_t));
        e.text = memory + used;
        used += e.size + std::size_t{1};
    }
    FreeBlocks(NoBlock);
    blocks_.push_back(Block{memory, capacity, used});  // fits: the vector held a block before
    liveUnits_ = used;
    deadUnits_ = 0;
}

void TStringList::InsertEmpty(std::size_t pos, std::size_t count) {
    if (pos > entries_.size() || count == 0) return;
    if (!origins_.empty()) origins_.insert(origins_.begin() + static_cast<std::ptrdiff_t>(pos), count, 0);
    if (!storedOf_.empty()) storedOf_.insert(storedOf_.begin() + static_cast<std::ptrdiff_t>(pos), count, 0);
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(pos), count, Entry{EmptyUnits, 0, FlagPlain});
}

void TStringList::Erase(std::size_t pos, std::size_t count) {
    if (pos >= entries_.size()) return;
    count = std::min(count, entries_.size() - pos);
    const auto first = entries_.begin() + static_cast<std::ptrdiff_t>(pos);
    const auto last = first + static_cast<std::ptrdiff_t>(count);
    for (auto e = first; e != last; ++e) Release(*e);
    entries_.erase(first, last);
    if (!origins_.empty())
        origins_.erase(origins_.begin() + static_cast<std::ptrdiff_t>(pos),
                       origins_.begin() + static_cast<std::ptrdiff_t>(pos + count));
    if (!storedOf_.empty()) {
        for (std::size_t i = pos; i < pos + count; ++i) DropStored(i);
        if (!storedOf_.empty())
            storedOf_.erase(storedOf_.begin() + static_cast<std::ptrdiff_t>(pos),
                            storedOf_.begin() + static_cast<std::ptrdiff_t>(pos + count));
    }
    CompactIfWasteful();
}

void TStringList::Move(std::size_t from, std::size_t to) {
    if (from >= entries_.size() || to >= entries_.size() || from == to) return;
    const auto f = static_cast<std::ptrdiff_t>(from);
    const auto t = static_cast<std::ptrdiff_t>(to);
    const auto move = [f, t](auto b) {
        if (f < t) std::rotate(b + f, b + f + 1, b + t + 1);
        else std::rotate(b + t, b + f, b + f + 1);
    };
    move(entries_.begin());
    if (!origins_.empty()) move(origins_.begin());
    if (!storedOf_.empty()) move(storedOf_.begin());
}

EntryBlock TStringList::CopyOut(std::size_t pos, std::size_t count) const {
    EntryBlock block;
    std::size_t units = 0;
    for (std::size_t i = pos; i < pos + count; ++i) units += entries_[i].size;
    block.units_.reserve(units);
    block.entries_.reserve(count);
    for (std::size_t i = pos; i < pos + count; ++i) {
        const Entry& e = entries_[i];
        block.entries_.push_back({block.units_.size(), e.size, e.flag});
        block.units_.append(e.text, e.size);
    }
    if (!origins_.empty())
        block.origins_.assign(origins_.begin() + static_cast<std::ptrdiff_t>(pos),
                              origins_.begin() + static_cast<std::ptrdiff_t>(pos + count));
    if (!storedOf_.empty())
        for (std::size_t i = pos; i < pos + count; ++i)
            if (storedOf_[i] != 0) block.stored_.emplace_back(static_cast<std::uint32_t>(i - pos), Stored(i));
    return block;
}

void TStringList::CopyIn(std::size_t pos, const EntryBlock& block) {
    // Room for every text at once, so the store grows by one block at most.
    Reserve(0, block.units_.size() + block.entries_.size());
    for (std::size_t k = 0; k < block.entries_.size(); ++k) {
        const EntryBlock::Held& h = block.entries_[k];
        Entry& e = entries_[pos + k];
        Release(e);
        e.text = h.size ? Store(std::u16string_view(block.units_).substr(h.offset, h.size)) : EmptyUnits;
        e.size = h.size;
        e.flag = h.flag;
    }
    // An entry given back finds its place in its file again; a block taken
    // before the list had origins leaves the list's as they are.
    for (std::size_t k = 0; k < block.origins_.size(); ++k)
        if (block.origins_[k] != Origin(pos + k)) SetOrigin(pos + k, block.origins_[k]);
    // The entries' kept bytes are the block's: none where it has none.
    if (!storedOf_.empty())
        for (std::size_t k = 0; k < block.entries_.size(); ++k) DropStored(pos + k);
    for (const auto& [k, bytes] : block.stored_) SetStored(pos + k, bytes);
    CompactIfWasteful();
}

EntryBlock TStringList::Take(std::size_t pos, std::size_t count) {
    if (pos >= entries_.size()) return {};
    count = std::min(count, entries_.size() - pos);
    EntryBlock block = CopyOut(pos, count);
    Erase(pos, count);
    return block;
}

void TStringList::Put(std::size_t pos, EntryBlock&& block) {
    if (pos > entries_.size()) pos = entries_.size();
    InsertEmpty(pos, block.Count());
    CopyIn(pos, block);
    block = EntryBlock{};
}

void TStringList::Exchange(std::size_t pos, EntryBlock& block) {
    EntryBlock out = CopyOut(pos, block.Count());
    CopyIn(pos, block);
    block = std::move(out);
}

EntryBlock TStringList::ClearTexts(std::size_t pos, std::size_t count) {
    EntryBlock block = CopyOut(pos, count);
    for (std::size_t i = pos; i < pos + count; ++i) {
        Entry& e = entries_[i];
        Release(e);
        e.text = EmptyUnits;
        e.size = 0;
        DropStored(i);  // a cleared entry is written empty, whatever it was read with
    }
    CompactIfWasteful();
    return block;
}

void TStringList::Exchange(std::size_t i, TableEntry& entry) {
    TableEntry out{std::u16string(Get(i)), Flag(i), std::string(Stored(i))};
    Set(i, entry.text);
    entries_[i].flag = entry.flag;
    SetStored(i, entry.stored);
    entry = std::move(out);
}

StoredBytesSource StoredBytesOf(const TStringList& keys, const TStringList& values) {
    if (keys.StoredCount() == 0 && values.StoredCount() == 0) return {};
    return [&keys, &values](std::int32_t i, std::string_view& key, std::string_view& value) {
        key = keys.Stored(static_cast<std::size_t>(i));
        value = values.Stored(static_cast<std::size_t>(i));
    };
}

}  // namespace vm
