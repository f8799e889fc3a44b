// Text helpers shared by the file formats and the user interface: the two
// UTF conversions every reader and writer uses, decimal conversions, a
// bounded comparison and the in-place newline-escape swap.
//
// All of them work on caller buffers with explicit limits. A destination
// capacity is given in bytes and includes the terminator, which is written
// in every case; a character that would not fit together with the
// terminator is not written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vm {

// UTF-8 to UTF-16. Decodes at most maxChars characters (a character beyond
// U+FFFF counts once and takes two units) from src into dest, whose
// capacity is destBytes bytes. Stops without report at a zero byte, at a
// byte sequence it does not accept, or when the next character and the
// terminator would not fit. Lax in the ways the game's tables need: overlong
// two- and three-byte forms and encoded surrogates decode as they come.
// Returns the number of units written, terminator not counted. A null src
// gives an empty result. When bytesRead is given it receives the number of
// source bytes that were decoded. Reads src no further than the bytes of
// the character that stops it, so decoding a few characters of a long text
// is cheap.
std::size_t Utf8ToUtf16(char16_t* dest, std::size_t destBytes, const char* src, std::size_t maxChars,
                        std::size_t* bytesRead = nullptr);

// UTF-16 to UTF-8, each unit encoded by itself (a surrogate pair becomes two
// three-byte sequences, as the game's tables store them). Consumes at most
// maxUnits units of src, stops at the terminator or when the next
// character and the terminator would not fit in destBytes bytes (both
// halves of a surrogate pair must fit, or neither is written). Returns the
// number of bytes written, terminator not counted.
std::size_t Utf16ToUtf8(char* dest, std::size_t destBytes, const char16_t* src, std::size_t maxUnits);

// The same over exactly the first count units of src, none of which is
// zero, for callers that know the length.
std::size_t Utf16ToUtf8Counted(char* dest, std::size_t destBytes, const char16_t* src, std::size_t count);

// The bytes Utf16ToUtf8Counted makes of the count units of src when dest
// has room for all of them.
std::size_t Utf8Length(const char16_t* src, std::size_t count);

// The decimal form of value: "-" for a negative number, no leading zeros.
std::u16string IntToDecimal(std::int32_t value);

// An optional sign and the decimal digits that follow, up to the first
// other character; 32-bit wrap-around on overflow. Null, empty, a lone sign
// or a leading blank give 0.
std::int32_t DecimalToInt(const char16_t* text);

// Ordinal comparison of at most n units, like the standard bounded
// wide-string comparison. n = 0 never counts as a match (non-zero result).
int BoundedCompare(const char16_t* s1, const char16_t* s2, std::size_t n);

// In place over at most the first 65535 units: toEscape false turns each
// backslash-"n" into CR LF, toEscape true turns each CR LF into
// backslash-"n". The length never changes. Returns text.
char16_t* SwapNewlineEscape(char16_t* text, bool toEscape);

// Where the next CR or LF of text lies from `from` on; text.size() when
// none does.
std::size_t FindLineBreak(std::u16string_view text, std::size_t from);
// Appends text to out with no raw line break left: each LF becomes the
// newline escape (backslash, "n") and each CR is dropped, so a CR LF is one
// escape. A table value holds breaks only so (a .tbl round trip gives the
// same), and a text table's line would split at a raw one.
void AppendNewlineEscaped(std::u16string& out, std::u16string_view text);

// The length of a zero-terminated UTF-16 string (0 for null); the same
// at most max units.
std::size_t WideLength(const char16_t* text);
std::size_t WideLengthWithin(const char16_t* text, std::size_t max);

// The small letter of a capital of the Latin (ASCII, Latin-1, Latin
// Extended-A), Greek and Cyrillic alphabets and of the full-width Latin
// letters; any other unit as it is. Enough for searches that ignore case
// in the game's languages (the Asian scripts have no case).
char16_t FoldCase(char16_t c);
// Where part first occurs in text from `from` on, letters compared through
// FoldCase; npos when it does not (an empty part is found at `from`).
std::size_t FindIgnoringCase(std::u16string_view text, std::u16string_view part, std::size_t from = 0);

}  // namespace vm
