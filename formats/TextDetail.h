// Rules the text reader and writer share: the writer checks what it
// writes against the very tests the reader applies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vm::detail {

// True when every lead byte is followed by exactly the continuation bytes
// it needs. Three-byte encoded surrogates (what our writers produce for
// characters beyond U+FFFF) count as well-formed, and so do proper
// four-byte sequences. A zero byte never occurs in UTF-8 text.
bool IsWellFormedUtf8(const std::uint8_t* p, std::size_t n);

// The comma-separated items of a header list (TextOptions::skippedHeaders)
// in order, up to the first empty one.
std::vector<std::u16string> HeaderItems(const std::string& skippedHeaders);

// True when the text starts with one of the headers: its first line is
// then a header.
bool StartsWithHeader(const char16_t* text, const std::vector<std::u16string>& headers);

}  // namespace vm::detail
