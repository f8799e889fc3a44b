// The game's in-line colour codes (U+00FF, "c", a code character) and the
// readable macro words the editor shows instead ("\red;"), plus the
// newline escape: in display form a line break is backslash and "n".
#pragma once

#include <cstddef>
#include <cstdint>

namespace vm {

struct ColorMacro {
    const char16_t* word;  // "\white;" ... "\color;"
    char16_t code;         // code character, 0 for "\color;"
};

inline constexpr int ColorMacroCount = 14;
extern const ColorMacro ColorMacroTable[ColorMacroCount];

// Stored form to display form. Consumes at most limit units of src (or up
// to its terminator); dest must hold 8/3 of that plus the terminator.
// Returns the units written, terminator not counted.
std::size_t ColorCodesToMacros(const char16_t* src, char16_t* dest, std::size_t limit);

// The same over exactly count units of src, all of which must be readable
// (a zero unit among them still ends the text). For callers that know the
// length, such as the .tbl reader.
std::size_t ColorCodesToMacrosCounted(const char16_t* src, std::size_t count, char16_t* dest);

// Where the first unit that ColorCodesToMacros may change (LF, CR, U+00FF)
// or a zero unit lies among the first count units of src, or count when
// there is none: such a text is its own display form.
std::size_t FirstCode(const char16_t* src, std::size_t count);

// Display form to stored form; the result is never longer than src. With
// NewlineAsLineFeed each backslash-"n" becomes one LF (the stored form of
// .tbl and .json files); without it the escape stays (text files).
std::size_t MacrosToColorCodes(const char16_t* src, char16_t* dest, std::size_t limit, bool NewlineAsLineFeed);

// The same over exactly the first count units of src, none of them zero;
// a macro word that starts among them may end after them, so src must go
// on to its terminator. dest holds count units and the terminator.
std::size_t MacrosToColorCodesCounted(const char16_t* src, std::size_t count, char16_t* dest, bool NewlineAsLineFeed);

// Where the first escape (a backslash, which starts every macro word and
// the newline escape) lies among the first count units of src, or count
// when there is none: a value without one is its own stored form.
std::size_t FirstEscape(const char16_t* src, std::size_t count);

}  // namespace vm
