// One list of a table: UTF-16 strings with a signed 32-bit flag beside
// each. A table is a key list and a value list of equal length; the two are
// linked as partners so that setting an entry beyond the end grows both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

// Entry flag values.
inline constexpr std::int32_t FlagPlain = 0;
inline constexpr std::int32_t FlagChanged = 2;
inline constexpr std::int32_t FlagMarkBit = 1;  // bit 0 of a key flag

struct TableItem {
    std::u16string text;
    std::int32_t flag = FlagPlain;
};

class TStringList {
public:
    TStringList() = default;
    TStringList(const TStringList&) = delete;
    TStringList& operator=(const TStringList&) = delete;

    // Makes a and b the two lists of one table.
    static void Link(TStringList& a, TStringList& b);

    std::size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }

    // Reading beyond the end gives the empty string and flag 0.
    const std::u16string& Get(std::size_t i) const;
    std::int32_t Flag(std::size_t i) const;

    // Setting beyond the end first appends empty entries to this list and
    // its partner until entry i exists.
    void Set(std::size_t i, std::u16string_view text);
    void SetFlag(std::size_t i, std::int32_t flag);
    void EnsureCount(std::size_t count);

    // Appends to this list only; the caller appends to the partner as well.
    void Append(std::u16string_view text, std::int32_t flag = FlagPlain);
    void Clear();
    void Reserve(std::size_t count) { items_.reserve(count); }

    // Position changes of this list only; each string keeps its flag. The
    // caller keeps the partner in step.
    void InsertEmpty(std::size_t pos, std::size_t count);  // pos <= Count()
    void Erase(std::size_t pos, std::size_t count);        // clipped to the end
    void Move(std::size_t from, std::size_t to);           // both < Count()

    std::vector<TableItem>& Items() { return items_; }
    const std::vector<TableItem>& Items() const { return items_; }
    TStringList* Partner() const { return partner_; }

private:
    std::vector<TableItem> items_;
    TStringList* partner_ = nullptr;
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
};

}  // namespace vm
