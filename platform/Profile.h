// INI ("profile") files: one value per key, keys grouped in [sections].
// The rules are those of the Windows profile functions, and on Windows the
// functions below are exactly GetPrivateProfileIntW, GetPrivateProfileStringW
// and WritePrivateProfileStringW. Elsewhere PosixProfile.cpp implements the
// same rules:
//
// - Section and key names compare without regard to ASCII letter case and
//   without the blanks around them ("Encoding " finds "Encoding=1").
// - A value is the text after the first "=", without the blanks around it;
//   when it is enclosed in a pair of matching double or single quotes, the
//   quotes are dropped. Lines starting with ";" are comments. The first of
//   repeated sections or keys counts.
// - Encoding: a file beginning with the UTF-16LE byte-order mark is UTF-16LE;
//   with the UTF-8 mark, UTF-8; any other file is in the ANSI code page
//   (platform::AnsiCodePage on POSIX, the system's on Windows). A write keeps
//   the file's encoding; a new file is ANSI, as on Windows, so a character
//   the code page cannot hold is stored as "?". The settings and language
//   texts the program writes are ANSI text.
// - A write replaces one key's line, or adds the key at the end of its
//   section, or adds the section at the end of the file. Every other line
//   keeps its bytes. The file is replaced atomically (POSIX); a file that
//   exists but cannot be read is never overwritten.
// - Integers: an optional sign and decimal digits up to the first other
//   character, wrapping at 32 bits ("-1" gives 0xFFFFFFFF); no digits give 0.
//   A missing key or an empty value gives the default. (Windows also reads
//   hexadecimal "0x" prefixes; nothing here relies on that.)
//
// Both implementations refuse, before touching any file, what would break
// the file's structure: an empty or NUL-carrying file name, an empty
// section or key name, line breaks or NULs in any part, "=" in a key, "]"
// in a section, and a key starting with "[" or ";". Reads with such names
// give the default. Names should be full paths: Windows looks a relative
// name up in its own directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// <windows.h> maps these names to its win.ini functions; here they are
// ours. Include this header after any system header.
#undef GetProfileInt
#undef GetProfileString
#undef WriteProfileString

namespace vm::platform {

// The integer of [section] key, or defaultValue when there is none. The
// result is the unsigned 32-bit value the Windows function returns.
std::uint32_t GetProfileInt(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                            std::int32_t defaultValue);

// The text of [section] key read into a buffer of `capacity` characters, so
// at most capacity - 1 of them. A missing key gives defaultValue without
// its trailing blanks (cut the same way); zero characters read are an
// empty text.
std::u16string GetProfileString(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                                const std::u16string& defaultValue, std::size_t capacity);

// Sets [section] key to value, creating the file and the section as
// needed. False when nothing was written.
bool WriteProfileString(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                        const std::u16string& value);

namespace detail {

// The names and texts both implementations accept (see above).
inline bool SafeProfileText(std::u16string_view text) {
    return text.find_first_of(std::u16string_view(u"\r\n\0", 3)) == std::u16string_view::npos;
}

// Carriage returns count as blanks, as they do for the Windows functions:
// "key=value\r\r" at the end of a file reads "value", the same as after a
// write has put a line behind it.
inline std::u16string_view TrimBlanks(std::u16string_view text) {
    constexpr std::u16string_view blanks = u" \t\v\f\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::u16string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

inline bool UsableProfileNames(std::u16string_view file, std::u16string_view section, std::u16string_view key) {
    if (file.empty() || !SafeProfileText(file) || !SafeProfileText(section) || !SafeProfileText(key)) return false;
    const std::u16string_view s = TrimBlanks(section);
    const std::u16string_view k = TrimBlanks(key);
    return !s.empty() && !k.empty() && s.find(u']') == std::u16string_view::npos &&
           k.find(u'=') == std::u16string_view::npos && k[0] != u'[' && k[0] != u';';
}

// The default as a read hands it out: up to a NUL, without trailing
// blanks, at most capacity - 1 characters.
inline std::u16string DefaultProfileText(const std::u16string& defaultValue, std::size_t capacity) {
    std::u16string text = defaultValue.substr(0, defaultValue.find(u'\0'));
    text.erase(text.find_last_not_of(u' ') + 1);
    if (capacity == 0) return {};
    if (text.size() > capacity - 1) text.resize(capacity - 1);
    return text;
}

}  // namespace detail

}  // namespace vm::platform
