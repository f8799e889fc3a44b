// The checksum, the key hash, the macro conversion to stored form and the
// .tbl writer and reader in their plainest form: the tests compare the
// writer's free-slot search and the checksum's eight-byte steps, and every
// byte the reader and writer make, against these.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "formats/Checksum.h"
#include "formats/ColorMacros.h"
#include "formats/FormatLimits.h"
#include "formats/FormatOptions.h"
#include "formats/TblFile.h"
#include "formats/TextHelpers.h"

namespace vmref {

using vm::ColorMacroTable;
using vm::Utf16ToUtf8;
using vm::Utf8ToUtf16;
using vm::WideLength;

inline constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? ((crc << 1) ^ 0x1021u) : (crc << 1);
        table[i] = static_cast<std::uint16_t>(crc & 0xFFFFu);
    }
    return table;
}

inline constexpr std::array<std::uint16_t, 256> CrcTable = MakeCrcTable();

inline std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count) {
    unsigned crc = 0xFFFFu;
    for (std::size_t i = 0; i < count; ++i) crc = ((crc << 8) & 0xFFFFu) ^ CrcTable[((crc >> 8) ^ bytes[i]) & 0xFFu];
    return static_cast<std::uint16_t>(crc);
}

inline constexpr char16_t ColorLead = 0x00FF;
inline constexpr int ColorWordRow = 13;

// Length of the macro word at src (which starts with a backslash) and its
// row, or 0 when none matches. Every word ends in a semicolon, so at most
// one can match.
inline std::size_t MatchMacro(const char16_t* src, int& row) {
    for (int r = ColorWordRow; r >= 0; --r) {
        const char16_t* w = ColorMacroTable[r].word;
        std::size_t n = 0;
        while (w[n] && src[n] == w[n]) ++n;
        if (w[n] == 0) {
            row = r;
            return n;
        }
    }
    return 0;
}

inline std::size_t MacrosToColorCodes(const char16_t* src, char16_t* dest, std::size_t limit, bool NewlineAsLineFeed) {
    char16_t* d = dest;
    if (src) {
        std::size_t i = 0;
        while (i < limit && src[i] != 0) {
            const char16_t u = src[i];
            if (u != u'\\') {
                *d++ = u;
                ++i;
                continue;
            }
            if (src[i + 1] == u'n') {
                if (NewlineAsLineFeed) {
                    *d++ = u'\n';
                } else {
                    *d++ = u'\\';
                    *d++ = u'n';
                }
                i += 2;
                continue;
            }
            int row = 0;
            if (const std::size_t n = MatchMacro(src + i, row)) {
                *d++ = ColorLead;
                *d++ = u'c';
                if (ColorMacroTable[row].code) *d++ = ColorMacroTable[row].code;
                i += n;
                continue;
            }
            *d++ = u;
            ++i;
        }
    }
    *d = 0;
    return static_cast<std::size_t>(d - dest);
}

inline std::uint32_t TblKeyHash(const std::uint8_t* bytes, std::size_t count, std::uint32_t hashSize) {
    std::uint32_t h = 0;
    for (std::size_t i = 0; i < count; ++i) {
        h = (h << 4) + bytes[i];
        const std::uint32_t g = h & 0xF0000000u;
        if (g != 0) {
            h ^= g >> 24;
            h &= ~g;
        }
    }
    return h % hashSize;
}

// The .tbl writer and reader as they were, over the routines above.

using vm::DisplayBufferUnits;
using vm::KeyBufferUnits;
using vm::ParseTblHeader;
using vm::TableEntrySink;
using vm::TableEntrySource;
using vm::TblHeader;
using vm::TblHeaderSize;
using vm::TblMinFileSize;
using vm::TblNodeSize;
using vm::TblStringBudgetFactor;

inline void Store16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void Store32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline constexpr std::size_t MaxStoredBytes = 65535;  // per key and per value

// Linear probing finds the first free slot at or after the home slot. Real
// game tables cluster badly under this hash, so walking the occupied run
// slot by slot is quadratic. Each slot here points towards the next slot
// that may be free (itself when free); lookups compress the path, so the
// same slot is found in near-constant time.
class FreeSlots {
public:
    explicit FreeSlots(std::uint32_t size) : next_(size) {
        for (std::uint32_t i = 0; i < size; ++i) next_[i] = i;
    }

    // The first free slot at or after home, wrapping. There must be one.
    std::uint32_t Find(std::uint32_t home) {
        std::uint32_t root = home;
        while (next_[root] != root) root = next_[root];
        while (next_[home] != root) {  // point the whole path at the answer
            const std::uint32_t up = next_[home];
            next_[home] = root;
            home = up;
        }
        return root;
    }

    void Occupy(std::uint32_t slot) { next_[slot] = slot + 1 == next_.size() ? 0 : slot + 1; }

private:
    std::vector<std::uint32_t> next_;
};

inline bool BuildTblImage(const TableEntrySource& source, std::int32_t count, std::uint64_t totalChars,
                          std::vector<std::uint8_t>& image, const vm::TblOptions& options = {}) {
    image.clear();
    if (!source || count <= 0 || count > 65535) return false;
    if (options.addToHashSize < 0) return false;
    const std::uint64_t hashSize64 =
        static_cast<std::uint64_t>(count) + static_cast<std::uint64_t>(options.addToHashSize);
    // Slot numbers must fit the 16-bit index words.
    if (hashSize64 > 65536) return false;
    const auto hashSize = static_cast<std::uint32_t>(hashSize64);
    const std::uint32_t n = static_cast<std::uint32_t>(count);

    // A refused image gives its memory back at once; it may be gigabytes.
    auto release = [&image] {
        image.clear();
        image.shrink_to_fit();
        return false;
    };
    const std::uint64_t dataStart = TblHeaderSize + 2ull * n + std::uint64_t{TblNodeSize} * hashSize;

    try {
        // The image never grows beyond what 32-bit offsets can address plus
        // the room of one more entry: a string area that passes 4 GiB is
        // refused below, after at most that much memory. The caller's total
        // only sizes the first allocation (never more than count entries of
        // the longest strings can use); the image grows when the strings
        // turn out longer.
        const std::uint64_t entryRoom = 2 * (MaxStoredBytes + 1);
        const std::uint64_t largest = (1ull << 32) + entryRoom;
        const std::uint64_t strings =
            std::min<std::uint64_t>(std::min<std::uint64_t>(totalChars, 1ull << 40) * 3 + 2ull * n, entryRoom * n);
        const std::uint64_t guess = std::min(dataStart + strings, largest);
        image.assign(static_cast<std::size_t>(guess), 0);
        std::vector<char16_t> scratch;  // a value in stored form, grown as needed

        std::uint8_t* header = image.data();
        Store16(header + 2, n);
        Store32(header + 4, hashSize);
        header[8] = static_cast<std::uint8_t>(options.offset8);
        Store32(header + 9, static_cast<std::uint32_t>(dataStart));

        FreeSlots freeSlots(hashSize);
        std::uint64_t cursor = dataStart;
        std::uint32_t longestRun = 0;
        const std::uint64_t nodeTable = TblHeaderSize + 2ull * n;

        auto reserve = [&](std::uint64_t bytes) {
            const std::uint64_t needed = cursor + bytes;
            if (needed > image.size())
                image.resize(static_cast<std::size_t>(
                    std::min(std::max<std::uint64_t>(needed, image.size() + image.size() / 2), largest)));
        };

        for (std::uint32_t i = 0; i < n; ++i) {
            const char16_t* key = nullptr;
            const char16_t* value = nullptr;
            if (!source(static_cast<std::int32_t>(i), key, value)) return release();

            const std::size_t keyUnits = WideLength(key);
            const std::uint64_t keyRoom = std::min<std::uint64_t>(3ull * keyUnits, MaxStoredBytes) + 1;
            reserve(keyRoom);
            const std::size_t k = Utf16ToUtf8(reinterpret_cast<char*>(image.data() + cursor),
                                              static_cast<std::size_t>(keyRoom), key, KeyBufferUnits);

            const std::uint32_t home = TblKeyHash(image.data() + cursor, k, hashSize);
            const std::uint32_t slot = freeSlots.Find(home);
            freeSlots.Occupy(slot);
            const std::uint32_t run = slot >= home ? slot - home : slot + hashSize - home;
            longestRun = std::max(longestRun, run);

            const std::uint64_t keyOffset = cursor;
            cursor += k + 1;

            // The stored form is never longer than the display form.
            const std::size_t limit = std::min(WideLength(value), DisplayBufferUnits - 1);
            if (scratch.size() < limit + 1) scratch.resize(limit + 1);
            const std::size_t units = MacrosToColorCodes(value, scratch.data(), limit, true);
            const std::uint64_t valueRoom = std::min<std::uint64_t>(3ull * units, MaxStoredBytes) + 1;
            reserve(valueRoom);
            const std::size_t v = Utf16ToUtf8(reinterpret_cast<char*>(image.data() + cursor),
                                              static_cast<std::size_t>(valueRoom), scratch.data(), units);
            const std::uint64_t valueOffset = cursor;
            cursor += v + 1;
            // Offsets are 32-bit in the file: a string area beyond that
            // cannot be addressed.
            if (cursor > 0xFFFFFFFFull) return release();

            std::uint8_t* index = image.data() + TblHeaderSize + 2ull * i;
            Store16(index, slot);
            std::uint8_t* node = image.data() + nodeTable + std::uint64_t{TblNodeSize} * slot;
            node[0] = 1;
            Store16(node + 1, i);
            Store32(node + 3, home);
            Store32(node + 7, static_cast<std::uint32_t>(keyOffset));
            Store32(node + 11, static_cast<std::uint32_t>(valueOffset));
            Store16(node + 15, static_cast<std::uint32_t>(v + 1));  // 65535 bytes wrap to 0
        }

        image.resize(static_cast<std::size_t>(cursor));
        header = image.data();
        Store16(header + 0, Crc16(image.data() + dataStart, static_cast<std::size_t>(cursor - dataStart)));
        Store32(header + 13, longestRun + 1);
        Store32(header + 17, static_cast<std::uint32_t>(cursor));
        return true;
    } catch (const std::bad_alloc&) {
        return release();
    } catch (const std::length_error&) {
        return release();
    }
}

inline std::uint16_t Load16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

inline std::uint32_t Load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline bool ReadTblImage(const std::uint8_t* image, std::uint64_t size, const TableEntrySink& sink,
                         std::uint64_t maxFileSize = vm::ReadLimits{}.maxFileSize) {
    if (!image || !sink) return false;
    if (size > maxFileSize || size < TblMinFileSize) return false;

    const TblHeader h = ParseTblHeader(image);
    const std::uint64_t n = h.NumElements;
    const std::uint64_t hashSize = h.HashSize;
    const std::uint64_t dataStart = h.DataStart;
    const std::uint64_t fileSize = h.FileSize;
    const std::uint64_t nodeTable = TblHeaderSize + 2 * n;

    // All in 64 bits: 17 x HashSize alone can pass 32 bits.
    if (n != 0 && hashSize < n - 1) return false;
    if (hashSize > maxFileSize) return false;
    if (nodeTable + TblNodeSize * hashSize >= size) return false;
    if (dataStart >= size) return false;
    if (dataStart < TblNodeSize * hashSize) return false;
    if (fileSize > size) return false;
    if (dataStart >= fileSize) return false;
    if (n == 0) return true;

    // Scratch buffers for the whole call; their contents are always written
    // before they are read, so they are not cleared. A string in the image
    // has at most `size` bytes and so at most `size` units, and its display
    // form is at most 8/3 as long (plus one final "\color;"), so a small
    // file gets small buffers; the results are the same.
    const std::size_t stringUnits = static_cast<std::size_t>(std::min<std::uint64_t>(KeyBufferUnits, size + 1));
    const std::size_t displayUnits = std::min<std::size_t>(DisplayBufferUnits, 3 * stringUnits + 8);
    auto keyBuffer = std::make_unique_for_overwrite<char16_t[]>(stringUnits);
    auto valueBuffer = std::make_unique_for_overwrite<char16_t[]>(stringUnits);
    auto displayBuffer = std::make_unique_for_overwrite<char16_t[]>(displayUnits);

    // Entries may share their strings, so a small file could name the same
    // 65535-character string for every one of its 65535 entries and fill
    // gigabytes of memory with copies. The bytes decoded over all entries
    // are bounded by a multiple of the file's size; beyond that the read
    // stops and fails like an entry that points outside the file. Files
    // whose entries have strings of their own never come near it.
    std::uint64_t budget = size > UINT64_MAX / TblStringBudgetFactor ? UINT64_MAX : TblStringBudgetFactor * size;

    const std::uint8_t* index = image + TblHeaderSize;
    for (std::uint64_t i = 0; i < n; ++i) {
        const std::uint64_t slot = Load16(index + 2 * i);
        if (slot >= hashSize) return false;  // names no slot of the node table
        const std::uint8_t* node = image + nodeTable + TblNodeSize * slot;
        const std::uint64_t keyOffset = Load32(node + 7);
        const std::uint64_t valueOffset = Load32(node + 11);
        const std::uint32_t valueLength = Load16(node + 15);
        if (keyOffset < dataStart || keyOffset > fileSize) return false;
        if (valueOffset < dataStart || valueOffset > fileSize) return false;

        // A stored length of 0 (a 65535-byte value whose length wrapped)
        // takes the value up to its zero byte.
        const std::size_t valueChars = valueLength == 0 ? KeyBufferUnits : valueLength;
        std::size_t valueBytes = 0, keyBytes = 0;
        const std::size_t units =
            Utf8ToUtf16(valueBuffer.get(), stringUnits * 2, reinterpret_cast<const char*>(image + valueOffset),
                        valueChars, &valueBytes);
        Utf8ToUtf16(keyBuffer.get(), stringUnits * 2, reinterpret_cast<const char*>(image + keyOffset), KeyBufferUnits,
                    &keyBytes);
        if (keyBytes + valueBytes > budget) return false;
        budget -= keyBytes + valueBytes;
        vm::ColorCodesToMacrosCounted(valueBuffer.get(), units, displayBuffer.get());
        sink(keyBuffer.get(), displayBuffer.get());
    }
    return true;
}

}  // namespace vmref
