// The sizes and budgets the formats share.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vm {

// Scratch sizes, in UTF-16 units, that the readers and writers use.
inline constexpr std::size_t KeyBufferUnits = 65536;       // 65535 + terminator
inline constexpr std::size_t DisplayBufferUnits = 229376;  // a converted value
inline constexpr std::uint32_t TblHeaderSize = 21;
inline constexpr std::uint32_t TblNodeSize = 17;
inline constexpr std::uint32_t TblMinFileSize = 43;
// The .tbl writer encodes at most this many bytes of a key or value.
inline constexpr std::size_t TblMaxStringBytes = 65535;
inline constexpr int MaxIncludeDepth = 8;
// The strings that one .tbl read decodes, over all entries, may take at
// most this many times the file's size in bytes.
inline constexpr std::uint64_t TblStringBudgetFactor = 16;
// The files that include lines pull into one top-level text read may hold
// together at most this many times the read limit in bytes.
inline constexpr std::uint64_t IncludeBudgetFactor = 8;
// One top-level text read follows at most this many include lines into a
// file, and its included files deliver at most this many entries together.
// A mod's tables stay far below both; a file that includes itself a few
// times would otherwise be read thousands of times over.
inline constexpr std::uint32_t IncludeFileBudget = 1024;
inline constexpr std::uint64_t IncludeEntryBudget = 1u << 20;

}  // namespace vm
