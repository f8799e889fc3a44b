// Rules the text reader and writer share: the writer checks what it
// writes against the very tests the reader applies.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vm::detail {

// True when every lead byte is followed by exactly the continuation bytes
// it needs. Three-byte encoded surrogates (what our writers produce for
// characters beyond U+FFFF) count as well-formed, and so do proper
// four-byte sequences. A zero byte never occurs in UTF-8 text.
bool IsWellFormedUtf8(const std::uint8_t* p, std::size_t n);

// True when the text starts with one of the comma-separated items of
// HeadersTTF, the first line then being a header; the search ends at an
// empty item.
bool StartsWithHeader(const char16_t* text);

// The longest item of HeadersTTF, in UTF-16 units.
std::size_t LongestHeader();

}  // namespace vm::detail
