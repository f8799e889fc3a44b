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

// Copies source values to destination entries with the same key: the n-th
// source entry with a given key is paired with the n-th destination entry
// with that key, in entry order. A repeat key ("X" or "x") stands for the
// key before it, in the destination from entry 1 on (the destination's keys
// are fixed before anything is written, so dk and dv may be the same list);
// in the source the current key starts as "x". A changed destination value
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
