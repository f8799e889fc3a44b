// Whatever the .tbl reader makes of the input is written with the .tbl
// writer and read back. A .tbl holds a key as at most 65535 UTF-8 bytes
// and a value in stored form (colour codes, LF) as at most 65535 bytes, cut
// at a character: what fits must come back exactly, what does not must
// come back cut there, and a second write must give the same bytes
// wherever the stored values come through a read unchanged.
//
// With the bytes the reader keeps for entries whose text would not give
// them back, every table comes back exactly: the input's bytes taken as
// the keys and values of a table laid out by the writer (as real tables
// are) are read and written back byte for byte, and so is whatever the
// reader makes of the input itself, after one write.

#include "formats/Checksum.h"
#include "formats/FormatLimits.h"
#include "formats/TextHelpers.h"
#include "tests/fuzz/FuzzCommon.h"

namespace {

std::uint32_t Load32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void CheckHeader(const std::vector<std::uint8_t>& image, std::size_t count, const vm::TblOptions& options) {
    FUZZ_CHECK(image.size() >= vm::TblMinFileSize - 1);
    const vm::TblHeader h = vm::ParseTblHeader(image.data());
    const std::uint32_t hashSize =
        static_cast<std::uint32_t>(count) + static_cast<std::uint32_t>(options.addToHashSize);
    FUZZ_CHECK(h.NumElements == count);
    FUZZ_CHECK(h.HashSize == hashSize);
    FUZZ_CHECK(h.Offset8 == static_cast<std::uint8_t>(options.offset8));
    FUZZ_CHECK(h.DataStart == vm::TblHeaderSize + 2 * count + vm::TblNodeSize * hashSize);
    FUZZ_CHECK(h.FileSize == image.size());
    FUZZ_CHECK(h.MaxProbe >= 1 && h.MaxProbe <= hashSize);
    FUZZ_CHECK(h.Crc == vm::Crc16(image.data() + h.DataStart, image.size() - h.DataStart));
    // Every entry's slot is used and names the entry back.
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t slot = image[21 + 2 * i] | image[22 + 2 * i] << 8;
        FUZZ_CHECK(slot < hashSize);
        const std::size_t node = 21 + 2 * count + 17 * slot;
        FUZZ_CHECK(image[node] == 1);
        FUZZ_CHECK(static_cast<std::size_t>(image[node + 1] | image[node + 2] << 8) == i);
        FUZZ_CHECK(Load32(image, node + 3) < hashSize);
    }
}

using RawTable = std::vector<std::pair<std::string, std::string>>;

std::vector<std::uint8_t> Padded(const std::vector<std::uint8_t>& image) {
    return vmfuzz::Padded(image.data(), image.size(), 1);
}

// Zero bytes end the strings: key, value, key, value...
RawTable RawEntries(const std::uint8_t* data, std::size_t size) {
    RawTable raw;
    std::string field;
    bool value = false;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != 0) {
            field.push_back(static_cast<char>(data[i]));
            continue;
        }
        if (!value) raw.emplace_back(field, "");
        else raw.back().second = field;
        field.clear();
        value = !value;
    }
    return raw;
}

// A table of exactly these bytes, laid out by the writer.
std::vector<std::uint8_t> Build(const RawTable& raw) {
    const vmfuzz::Entries blank(raw.size());
    std::vector<std::uint8_t> image;
    FUZZ_CHECK(vm::BuildTblImage(vmfuzz::SourceOf(blank), static_cast<std::int32_t>(raw.size()), 0, image, {},
                                 [&raw](std::int32_t i, std::string_view& key, std::string_view& value) {
                                     key = raw[static_cast<std::size_t>(i)].first;
                                     value = raw[static_cast<std::size_t>(i)].second;
                                 }));
    return image;
}

// Reads the image keeping the bytes the reader hands on, and writes what
// it read with them, the header numbers taken from the image (empty when
// the read fails or gives nothing). kept gets one pair per entry.
std::vector<std::uint8_t> WrittenWithKeptBytes(const std::vector<std::uint8_t>& padded, std::size_t size,
                                               vmfuzz::Entries& kept) {
    vmfuzz::Entries entries;
    std::vector<std::pair<std::string, std::string>> bytes;
    const bool read = vm::ReadTblImage(padded.data(), size, vmfuzz::SinkInto(entries), {}, nullptr,
                                       [&](std::string_view key, std::string_view value) {
                                           bytes.resize(entries.size());
                                           bytes.back() = {std::string(key), std::string(value)};
                                       });
    if (!read || entries.empty()) return {};
    bytes.resize(entries.size());
    kept.clear();
    for (const auto& [k, v] : bytes)
        if (!k.empty() || !v.empty()) kept.emplace_back(vm::platform::FromUtf8(k), vm::platform::FromUtf8(v));
    const vm::TblHeader h = vm::ParseTblHeader(padded.data());
    vm::TblOptions options;
    options.addToHashSize = static_cast<int>(std::min<std::uint64_t>(h.HashSize - entries.size(), 255));
    options.offset8 = h.Offset8;
    std::vector<std::uint8_t> image;
    FUZZ_CHECK(vm::BuildTblImage(vmfuzz::SourceOf(entries), static_cast<std::int32_t>(entries.size()),
                                 vmfuzz::TotalChars(entries), image, options,
                                 [&bytes](std::int32_t i, std::string_view& key, std::string_view& value) {
                                     key = bytes[static_cast<std::size_t>(i)].first;
                                     value = bytes[static_cast<std::size_t>(i)].second;
                                 }));
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input = vmfuzz::Padded(data, size, 1);
    vmfuzz::Entries entries;
    vm::ReadTblImage(input.data(), size, vmfuzz::SinkInto(entries), {});  // a partial read is used too
    if (entries.empty()) return 0;

    // The input's own header shapes the written one, as a .tbl to .tbl
    // conversion keeps it.
    const vm::TblHeader in = vm::ParseTblHeader(input.data());
    const std::uint64_t extra = in.HashSize > entries.size() ? in.HashSize - entries.size() : 0;
    vm::TblOptions options;
    options.addToHashSize = static_cast<int>(std::min<std::uint64_t>({extra, 255, 65536 - entries.size()}));
    options.offset8 = in.Offset8;

    std::vector<std::uint8_t> image;
    FUZZ_CHECK(vm::BuildTblImage(vmfuzz::SourceOf(entries), static_cast<std::int32_t>(entries.size()),
                                 vmfuzz::TotalChars(entries), image, options));
    CheckHeader(image, entries.size(), options);

    vmfuzz::Entries back;
    image.push_back(0);
    const bool read = vm::ReadTblImage(image.data(), image.size() - 1, vmfuzz::SinkInto(back), {});
    image.pop_back();
    // The one table the format cannot hold: a single entry with an empty
    // key and value and no spare slot is 42 bytes, below the smallest file
    // the reader takes.
    if (image.size() < vm::TblMinFileSize) {
        FUZZ_CHECK(!read && image.size() == 42);
        return 0;
    }
    FUZZ_CHECK(read);

    vmfuzz::Entries expected;
    bool storedFormsSettled = true;
    for (const auto& [key, value] : entries) {
        const std::u16string stored = vmfuzz::CutToUtf8(vmfuzz::ToStored(value, true), 65535);
        expected.emplace_back(vmfuzz::CutToUtf8(key, 65535), vmfuzz::ToDisplay(stored));
        storedFormsSettled = storedFormsSettled && vmfuzz::ToStored(expected.back().second, true) == stored;
    }
    vmfuzz::CheckSameEntries(expected, back, "tbl round trip");

    // Reading drops a carriage return unless it is a colour code's code
    // character, and a value shown with U+00FF "c" of its own can store a
    // code that takes the next unit as its code character: "\u00FFc\color;\r"
    // (read from "\u00FF\rc\u00FFc\r") is stored as "\u00FFc\u00FFc\r", which
    // reads back without its carriage return. Tables whose stored values
    // come through a read unchanged give the same bytes on a second write.
    std::vector<std::uint8_t> again;
    FUZZ_CHECK(vm::BuildTblImage(vmfuzz::SourceOf(back), static_cast<std::int32_t>(back.size()),
                                 vmfuzz::TotalChars(back), again, options));
    FUZZ_CHECK(again == image || !storedFormsSettled);

    // Written with the kept bytes, a second read and write change nothing.
    // (A value cut by a short stored length is kept whole, so the second
    // read may need to keep fewer strings for the same bytes.)
    vmfuzz::Entries kept;
    const std::vector<std::uint8_t> first = WrittenWithKeptBytes(input, size, kept);
    if (!first.empty()) {
        vmfuzz::Entries keptAgain;
        const std::vector<std::uint8_t> second = WrittenWithKeptBytes(Padded(first), first.size(), keptAgain);
        FUZZ_CHECK(second == first);
        FUZZ_CHECK(keptAgain.size() <= kept.size());
    }

    // The input as the raw keys and values of a table in the writer's
    // layout, read and written back with its kept bytes: the same bytes.
    RawTable raw = RawEntries(data, size);
    if (raw.empty() || raw.size() > 65535) return 0;
    const std::vector<std::uint8_t> canonical = Build(raw);
    if (canonical.size() < vm::TblMinFileSize) return 0;
    vmfuzz::Entries rawKept;
    FUZZ_CHECK(WrittenWithKeptBytes(Padded(canonical), canonical.size(), rawKept) == canonical);
    return 0;
}
