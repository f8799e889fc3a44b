// The game's binary string table (.tbl): a 21-byte header, an index array of
// 16-bit slot numbers, a node table of 17-byte hash slots (open addressing,
// linear probing over the ELF hash of the key) and the string area with
// key and value of every entry as UTF-8, each followed by a zero byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/EntryCallbacks.h"
#include "formats/FileReports.h"
#include "formats/FormatOptions.h"
#include "platform/Platform.h"

namespace vm {

// ELF hash of the key's bytes, reduced modulo hashSize (which must not be 0).
std::uint32_t TblKeyHash(const std::uint8_t* bytes, std::size_t count, std::uint32_t hashSize);

// The header fields, as stored.
struct TblHeader {
    std::uint16_t Crc = 0;
    std::uint16_t NumElements = 0;
    std::uint32_t HashSize = 0;
    std::uint8_t Offset8 = 0;
    std::uint32_t DataStart = 0;
    std::uint32_t MaxProbe = 0;
    std::uint32_t FileSize = 0;
};

// Reads the header of an image of at least 21 bytes.
TblHeader ParseTblHeader(const std::uint8_t* image);

// A value's stored form as the .tbl writer makes it (colour codes, line
// feeds): value itself when it holds no escape, otherwise converted into
// scratch. units is the value's length on entry (at most
// DisplayBufferUnits - 1) and the stored form's on return. The reader uses
// it too, to tell whether a string comes back when written from its text.
const char16_t* TblStoredForm(const char16_t* value, std::size_t& units, std::vector<char16_t>& scratch);

// Reads a .tbl file and hands every entry to sink in index-array order: the
// key as stored, the value in display form. False when the file is missing,
// too large (limits.maxFileSize), fails a structural check, an entry points
// outside the file, or the entries' strings together would take more than
// TblStringBudgetFactor times the file's size (entries sharing strings);
// entries delivered before the failure stay delivered. report, when given,
// tells why a read failed and counts the keys and values a successful one
// had to cut (longer than 65535 units, or not UTF-8 to their end). A value
// is read up to its stored length (in characters), and one that goes on
// past it is counted too (shortLengths): what follows is not part of it,
// neither shown nor kept. stored, when given, receives the bytes of every
// entry whose key or value the writer would not give back from what the
// sink got (see StoredBytesSink); those bytes count towards the string
// budget too.
bool ReadTblFile(const std::u16string& fileName, const TableEntrySink& sink, const ReadLimits& limits,
                 ReadReport* report = nullptr, const StoredBytesSink& stored = {});

// The same over a file image already in memory. image[size] must be a
// readable zero byte.
bool ReadTblImage(const std::uint8_t* image, std::uint64_t size, const TableEntrySink& sink, const ReadLimits& limits,
                  ReadReport* report = nullptr, const StoredBytesSink& stored = {});

// The same, handing every entry with the lengths of its strings to a
// receiver (see TableEntryReceiver), as the loaders of a table's lists do.
bool ReadTblFile(const std::u16string& fileName, TableEntryReceiver& receiver, const ReadLimits& limits,
                 ReadReport* report = nullptr);
bool ReadTblImage(const std::uint8_t* image, std::uint64_t size, TableEntryReceiver& receiver, const ReadLimits& limits,
                  ReadReport* report = nullptr);

// The bytes of a .tbl image in memory that comes in large blocks
// (platform::AllocateBuffer), which a table of megabytes fills cheaply.
using TblImageBuffer = std::vector<std::uint8_t, platform::BufferAllocator<std::uint8_t>>;

// Builds the .tbl image of count entries pulled from source (values in
// display form). totalChars, the sum of all key and value lengths, sizes
// the image. False (image unusable) when count is 0 or above 65535, when
// count + options.addToHashSize exceeds 65536 slots,
// when the source fails, or when the strings do not fit 32-bit offsets.
// stored, when given, supplies the bytes an entry was read with where its
// text would not give them back; they are written as they are. A key or
// value of more than 65535 bytes (TblMaxStringBytes) is an entry the file
// cannot hold: it is listed in report's losses (TextLoss::TblTooLong), and
// the table is refused (refusedAsLossy) unless report->allowLossy is set,
// when it is cut to the characters that fit.
bool BuildTblImage(const TableEntrySource& source, std::int32_t count, std::uint64_t totalChars, TblImageBuffer& image,
                   const TblOptions& options, const StoredBytesSource& stored = {}, WriteReport* report = nullptr);
bool BuildTblImage(const TableEntrySource& source, std::int32_t count, std::uint64_t totalChars,
                   std::vector<std::uint8_t>& image, const TblOptions& options, const StoredBytesSource& stored = {},
                   WriteReport* report = nullptr);

// Builds the image and writes it; the old file is replaced only when every
// byte was written. report, when given, tells why a write failed, which
// entries the file cannot hold (see BuildTblImage) and the size of the file
// written.
bool WriteTblFile(const std::u16string& fileName, const TableEntrySource& source, std::int32_t count,
                  std::uint64_t totalChars, const TblOptions& options, WriteReport* report = nullptr,
                  const StoredBytesSource& stored = {});

}  // namespace vm
