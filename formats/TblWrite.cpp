// Writing .tbl files: the whole file is assembled in one image (header,
// index array, node table, string area) and written in one piece.

#include <algorithm>
#include <bit>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "formats/Checksum.h"
#include "formats/ColorMacros.h"
#include "formats/FormatLimits.h"
#include "formats/TblFile.h"
#include "formats/TextHelpers.h"
#include "platform/Platform.h"

namespace vm {

namespace {

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

// Linear probing finds the first free slot at or after the home slot. Real
// game tables cluster badly under this hash, so walking the occupied run
// slot by slot is quadratic. The slots here are bits (set when occupied),
// 64 to a word, and a second level has one bit per full word: the next
// free slot is found with two or three word lookups in 8 KiB, whatever
// the length of the run.
class FreeSlots {
public:
    explicit FreeSlots(std::uint32_t size) : used_((size + 63) / 64, 0), full_((used_.size() + 63) / 64, 0) {
        // Bits beyond the last slot count as occupied, so they are never
        // found; likewise the summary bits beyond the last word.
        if (size % 64) used_.back() = ~std::uint64_t{0} << (size % 64);
        if (used_.size() % 64) full_.back() = ~std::uint64_t{0} << (used_.size() % 64);
        for (std::size_t w = 0; w < used_.size(); ++w) MarkIfFull(w);
    }

    // The first free slot at or after home, wrapping. There must be one.
    std::uint32_t Find(std::uint32_t home) const {
        const std::size_t w = home / 64;
        const std::uint64_t free = ~used_[w] & (~std::uint64_t{0} << (home % 64));
        if (free) return static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(free)));
        std::size_t next = NextNotFull(w + 1);
        if (next == NoWord) next = NextNotFull(0);  // wraps; the word of home itself may hold it
        return static_cast<std::uint32_t>(next * 64 + static_cast<std::size_t>(std::countr_one(used_[next])));
    }

    void Occupy(std::uint32_t slot) {
        used_[slot / 64] |= std::uint64_t{1} << (slot % 64);
        MarkIfFull(slot / 64);
    }

private:
    static constexpr std::size_t NoWord = static_cast<std::size_t>(-1);

    void MarkIfFull(std::size_t w) {
        if (used_[w] == ~std::uint64_t{0}) full_[w / 64] |= std::uint64_t{1} << (w % 64);
    }

    // The first word at or after `from` with a free slot, or NoWord.
    std::size_t NextNotFull(std::size_t from) const {
        for (std::size_t g = from / 64; g < full_.size(); ++g) {
            std::uint64_t open = ~full_[g];
            if (g == from / 64) open &= ~std::uint64_t{0} << (from % 64);
            if (open) return g * 64 + static_cast<std::size_t>(std::countr_zero(open));
        }
        return NoWord;
    }

    std::vector<std::uint64_t> used_;  // one bit per slot
    std::vector<std::uint64_t> full_;  // one bit per word of used_
};

}  // namespace

const char16_t* TblStoredForm(const char16_t* value, std::size_t& units, std::vector<char16_t>& scratch) {
    // A value without an escape is its own stored form; otherwise it is
    // converted (never growing) into the scratch buffer.
    if (FirstEscape(value, units) == units) return value;
    if (scratch.size() < units + 1) scratch.resize(units + 1);
    units = MacrosToColorCodesCounted(value, units, scratch.data(), true);
    return scratch.data();
}

namespace {

// Both image types: only the header and the node table are cleared, the
// string area is written byte by byte (a TblImageBuffer leaves new bytes as they
// are, so the megabytes of it are touched once).
// Whether the count units of a string take more than the bytes a .tbl
// string holds: only a string of more than a third of them can.
bool TooLongForTbl(const char16_t* units, std::size_t count) {
    return count > TblMaxStringBytes / 3 && Utf8Length(units, count) > TblMaxStringBytes;
}

template <class Image>
bool BuildImage(const TableEntrySource& source, std::int32_t count, std::uint64_t totalChars, Image& image,
                const TblOptions& options, const StoredBytesSource& stored, WriteReport& report) {
    image.clear();
    const bool allow = report.allowLossy;
    report = WriteReport{};
    report.allowLossy = allow;
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
        const std::uint64_t entryRoom = 2 * (TblMaxStringBytes + 1);
        const std::uint64_t largest = (1ull << 32) + entryRoom;
        const std::uint64_t strings =
            std::min<std::uint64_t>(std::min<std::uint64_t>(totalChars, 1ull << 40) * 3 + 2ull * n, entryRoom * n);
        const std::uint64_t guess = std::min(dataStart + strings, largest);
        image.resize(static_cast<std::size_t>(guess));
        std::fill_n(image.data(), static_cast<std::size_t>(dataStart), std::uint8_t{0});
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

        // False when the string area would pass what 32-bit offsets reach.
        auto reserve = [&](std::uint64_t bytes) {
            const std::uint64_t needed = cursor + bytes;
            if (needed > largest) return false;
            if (needed > image.size())
                image.resize(static_cast<std::size_t>(
                    std::min(std::max<std::uint64_t>(needed, image.size() + image.size() / 2), largest)));
            return true;
        };
        // Bytes an entry was read with, as they are, and their zero byte.
        auto copy = [&](std::string_view bytes) {
            std::copy(bytes.begin(), bytes.end(), image.data() + cursor);
            image.data()[cursor + bytes.size()] = 0;
            return bytes.size();
        };

        for (std::uint32_t i = 0; i < n; ++i) {
            const char16_t* key = nullptr;
            const char16_t* value = nullptr;
            if (!source(static_cast<std::int32_t>(i), key, value)) return release();
            std::string_view keptKey, keptValue;
            if (stored) stored(static_cast<std::int32_t>(i), keptKey, keptValue);
            // A key or value longer than a .tbl string is cut; the entry is
            // reported as one the file cannot hold.
            bool cut = false;

            std::size_t k;
            if (!keptKey.empty()) {
                if (!reserve(keptKey.size() + 1)) return release();
                k = copy(keptKey);
            } else {
                const std::size_t keyUnits = WideLength(key);
                cut = TooLongForTbl(key, keyUnits);
                const std::uint64_t keyRoom = std::min<std::uint64_t>(3ull * keyUnits, TblMaxStringBytes) + 1;
                if (!reserve(keyRoom)) return release();
                k = Utf16ToUtf8Counted(reinterpret_cast<char*>(image.data() + cursor),
                                       static_cast<std::size_t>(keyRoom), key, std::min(keyUnits, KeyBufferUnits));
            }

            const std::uint32_t home = TblKeyHash(image.data() + cursor, k, hashSize);
            const std::uint32_t slot = freeSlots.Find(home);
            freeSlots.Occupy(slot);
            const std::uint32_t run = slot >= home ? slot - home : slot + hashSize - home;
            longestRun = std::max(longestRun, run);

            const std::uint64_t keyOffset = cursor;
            cursor += k + 1;

            std::size_t v;
            if (!keptValue.empty()) {
                if (!reserve(keptValue.size() + 1)) return release();
                v = copy(keptValue);
            } else {
                const std::size_t displayed = WideLength(value);
                std::size_t units = std::min(displayed, DisplayBufferUnits - 1);
                const char16_t* form = TblStoredForm(value, units, scratch);
                cut = cut || displayed >= DisplayBufferUnits || TooLongForTbl(form, units);
                const std::uint64_t valueRoom = std::min<std::uint64_t>(3ull * units, TblMaxStringBytes) + 1;
                if (!reserve(valueRoom)) return release();
                v = Utf16ToUtf8Counted(reinterpret_cast<char*>(image.data() + cursor),
                                       static_cast<std::size_t>(valueRoom), form, units);
            }
            if (cut && report.lossCount++ < MaxReportedLosses) report.losses.push_back({i, TextLoss::TblTooLong});
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
            // 65535 bytes wrap to 0, which a reader takes as "up to the zero
            // byte"; so does a longer value kept as it was read.
            Store16(node + 15, v + 1 > 0xFFFF ? 0u : static_cast<std::uint32_t>(v + 1));
        }

        if (report.lossCount != 0 && !report.allowLossy) {
            report.refusedAsLossy = true;
            return release();
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

}  // namespace

// A report of its own when the caller gives none: such a write refuses
// whatever the file cannot hold.
bool BuildTblImage(const TableEntrySource& source, std::int32_t count, std::uint64_t totalChars, TblImageBuffer& image,
                   const TblOptions& options, const StoredBytesSource& stored, WriteReport* report) {
    WriteReport local;
    return BuildImage(source, count, totalChars, image, options, stored, report ? *report : local);
}

bool BuildTblImage(const TableEntrySource& source, std::int32_t count, std::uint64_t totalChars,
                   std::vector<std::uint8_t>& image, const TblOptions& options, const StoredBytesSource& stored,
                   WriteReport* report) {
    WriteReport local;
    return BuildImage(source, count, totalChars, image, options, stored, report ? *report : local);
}

bool WriteTblFile(const std::u16string& fileName, const TableEntrySource& source, std::int32_t count,
                  std::uint64_t totalChars, const TblOptions& options, WriteReport* report,
                  const StoredBytesSource& stored) {
    WriteReport local;
    WriteReport& r = report ? *report : local;
    const bool allow = r.allowLossy;
    r = WriteReport{};
    r.allowLossy = allow;
    if (fileName.empty()) {
        r.error = platform::WriteError::BadName;
        return false;
    }
    TblImageBuffer image;
    if (!BuildTblImage(source, count, totalChars, image, options, stored, &r)) return false;
    r.bytes = image.size();
    platform::AtomicFileWriter out;
    if (out.Open(fileName) && out.Write(image.data(), image.size()) && out.Commit()) return true;
    r.error = out.Error() != platform::WriteError::None ? out.Error() : platform::WriteError::Other;
    return false;
}

}  // namespace vm
