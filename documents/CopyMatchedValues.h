// Pairing entries of two tables by key, the rule behind the copy-values,
// update and translate tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "documents/TableList.h"

namespace vm {

// SipHash-1-3 of the key's UTF-16 units (little-endian bytes) under the
// 128-bit key k0, k1: the hash that places keys for pairing, keyed per
// process with a secret so that no file can be made to collide.
std::uint64_t KeyedHash(std::u16string_view text, std::uint64_t k0, std::uint64_t k1);

// A key that stands for the key of the entry before it.
bool IsRepeatKey(std::u16string_view key);

// Pairs source entries with destination entries by key: the n-th source
// entry with a given key is paired with the n-th destination entry with
// that key, in entry order. A repeat key ("X" or "x") stands for the key
// before it, in the destination from entry 1 on; in the source the current
// key starts as "x". Returns each source entry's partner (NoPartner: none).
// Runs in time linear in both counts.
inline constexpr std::uint32_t NoPartner = 0xFFFFFFFFu;
std::vector<std::uint32_t> PairByKey(const TStringList& sk, const TStringList& dk);

// Copies source values to the destination entries PairByKey pairs them
// with (the destination's keys are paired before anything is written, so
// dk and dv may be the same list). A changed destination value
// gets flag 2; an equal one is left alone. Returns how many values changed.
// When unpaired is given, it receives the source entries that found no
// partner, in order; an observer hears of each value before it changes.
// Runs in time linear in both counts.
std::size_t CopyMatchedValues(const TStringList& sk, const TStringList& sv, const TStringList& dk, TStringList& dv,
                              std::vector<std::size_t>* unpaired = nullptr, EntryChangeObserver* observer = nullptr);

// Copies the source's values into dest by key as CopyMatchedValues does,
// then appends the source entries that found no partner, each with the key
// it stands for (a repeat key the key before it). Returns how many values
// changed; *added (when given) receives how many entries were appended.
std::size_t MergeByKey(const TStringList& sk, const TStringList& sv, TableLists& dest, std::size_t* added = nullptr);

}  // namespace vm
