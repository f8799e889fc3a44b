// Text tables: one entry per line, "key TAB value" (Tabbed, the value
// optionally in double quotes) or "key , TAB , TAB "value"" (DiabloII), in
// UTF-16LE, UTF-8 or the ANSI code page, with an optional header line,
// comments after two slashes and "#" include lines.
#pragma once

#include <cstdint>
#include <string>

#include "TableEntry.h"

namespace vm {

// Reads a text table and hands every entry to sink (key as read, value in
// display form). A byte-order mark overrides the encoding choice. layout is
// only passed on to included files. False when the file is missing, empty
// or larger than MaxFileSize, when UTF-8 text stops decoding before the
// end of the file, or when the included files together go beyond the
// include budget (IncludeBudgetFactor x MaxFileSize bytes); the entries
// before that point are delivered.
bool ReadTextTable(const std::u16string& fileName, const TableEntrySink& sink,
                   TextEncoding encoding, TextLayout layout);

// The same over bytes already in memory; bytes[size] must be readable and
// zero. Relative include names are looked up in baseDir first.
bool ReadTextImage(const std::uint8_t* bytes, std::uint64_t size, const std::u16string& baseDir,
                   const TableEntrySink& sink, TextEncoding encoding, TextLayout layout);

// The encoding ReadTextTable settles on for these bytes (never Autodetect).
TextEncoding DetectTextEncoding(const std::uint8_t* bytes, std::uint64_t size,
                                TextEncoding choice);

// Writes count entries pulled from source as a text table. encoding is
// Unicode, UTF8 or ANSI. False, and the old file untouched, when the name
// is empty, count is 0 or the file cannot be written. When an ANSI
// conversion had to replace characters by "?", *replaced is set to true.
bool WriteTextTable(const std::u16string& fileName, const TableEntrySource& source,
                    std::int32_t count, TextLayout layout, TextEncoding encoding,
                    bool* replaced = nullptr);

}  // namespace vm
