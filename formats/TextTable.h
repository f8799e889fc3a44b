// Text tables: one entry per line, "key TAB value" (Tabbed, the value
// optionally in double quotes) or "key , TAB , TAB "value"" (DiabloII), in
// UTF-16LE, UTF-8 or the ANSI code page, with an optional header line,
// comments after two slashes and "#" include lines.
#pragma once

#include <cstdint>
#include <string>

#include "formats/EntryCallbacks.h"
#include "formats/FileReports.h"
#include "formats/FormatOptions.h"

namespace vm {

// Reads a text table and hands every entry to sink (key as read, value in
// display form). The file is decoded in options.readEncoding unless a
// byte-order mark says otherwise; a first line that starts with one of
// options.skippedHeaders is a header. Include lines name files relative to
// the including file; unless limits.includesAnywhere is on they must lie
// inside the folder of the first file. False when the file is missing,
// empty or larger than limits.maxFileSize, when UTF-8 text (of the file or
// of an included one) stops decoding before its end, when an include line
// leads outside the first file's folder, or when the included files go
// beyond the include budgets (IncludeFileBudget files, IncludeEntryBudget
// entries, IncludeBudgetFactor x limits.maxFileSize bytes); the entries
// before that point are delivered. report, when given, tells why a read
// failed and what a successful one did not take exactly.
bool ReadTextTable(const std::u16string& fileName, const TableEntrySink& sink, const TextOptions& options,
                   const ReadLimits& limits, ReadReport* report = nullptr);

// The same over bytes already in memory; bytes[size] must be readable and
// zero. baseDir is the folder include lines are confined to and looked up
// in (empty: the current directory).
bool ReadTextImage(const std::uint8_t* bytes, std::uint64_t size, const std::u16string& baseDir,
                   const TableEntrySink& sink, const TextOptions& options, const ReadLimits& limits,
                   ReadReport* report = nullptr);

// The encoding ReadTextTable settles on for these bytes (never Autodetect),
// and why.
TextEncoding DetectTextEncoding(const std::uint8_t* bytes, std::uint64_t size, TextEncoding choice,
                                EncodingReason* reason = nullptr);

// The options that write a text table read from these bytes back in its
// own shape: the encoding it was read in, its layout (a first entry line
// with ",TAB,TAB" is DiabloII), whether Tabbed values are quoted, whether
// it starts with a header line (one of options.skippedHeaders) and whether
// its colour codes are stored as codes rather than macro words. What the
// bytes do not show stays as in options.
TextOptions TextShapeOfImage(const std::uint8_t* bytes, std::uint64_t size, TextEncoding encoding,
                             const TextOptions& options);

// Writes count entries pulled from source as a text table in
// options.layout and options.writeEncoding (Unicode, UTF8 or ANSI). Before
// anything is written every entry is checked against what the file can
// hold and read back exactly under these options and limits (see TextLoss);
// unless report->allowLossy is set, a table with such entries is refused
// and nothing is written. False, and the old file untouched, when the name
// is empty, count is 0, the table is refused or the file cannot be
// written. report, when given, lists the entries the file cannot hold, the
// cause of a failed write and warnings (characters written as "?", an
// ANSI file that must be read with its encoding named). stored, when
// given, tells which entries keep bytes their text does not give back
// (read from a .tbl): a text file cannot hold those either.
bool WriteTextTable(const std::u16string& fileName, const TableEntrySource& source, std::int32_t count,
                    const TextOptions& options, const ReadLimits& limits, WriteReport* report = nullptr,
                    const StoredBytesSource& stored = {});

// The check alone: fills report with what a write with these options
// could not hold exactly, writing nothing. True when the table fits.
bool CheckTextTable(const TableEntrySource& source, std::int32_t count, const TextOptions& options,
                    const ReadLimits& limits, WriteReport& report, const StoredBytesSource& stored = {});

}  // namespace vm
