// A table is written as text in every encoding and read back, and the
// writer's own check of what the file cannot hold must agree with what
// comes back: a table it passes returns exactly (keys as they were,
// values in the same stored form), one it flags does not, and without
// leave to lose anything the flagged table is refused and no file made.
//
// Input: one selector byte (reading encoding, layout written, quoting,
// colour codes, header, where the entries come from), then either a text
// file whose entries the reader finds, or raw entries: UTF-16LE units,
// entries separated by U+0000, key and value by the first U+0001, so that
// keys and values hold anything (tabs, quotes, line breaks, surrogates).

#include <cstring>

#include "formats/FormatLimits.h"
#include "tests/fuzz/FuzzCommon.h"

namespace {

vmfuzz::ScratchDir* g_dir = nullptr;

// Inputs stay small enough that no writer or reader limit cuts anything.
constexpr std::size_t MaxInput = 16384;

vmfuzz::Entries RawEntries(const std::uint8_t* data, std::size_t size) {
    vmfuzz::Entries entries;
    std::u16string field;
    vmfuzz::Entry entry;
    bool inValue = false;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0) {
            (inValue ? entry.second : entry.first) = field;
            entries.push_back(entry);
            entry = {};
            field.clear();
            inValue = false;
        } else if (unit == 1 && !inValue) {
            entry.first = field;
            field.clear();
            inValue = true;
        } else {
            field.push_back(unit);
        }
    }
    if (!field.empty() || inValue) {
        (inValue ? entry.second : entry.first) = field;
        entries.push_back(entry);
    }
    return entries;
}

// Values in stored form (a raw line break and its escape are the same).
vmfuzz::Entries Stored(vmfuzz::Entries entries) {
    for (auto& e : entries) e.second = vmfuzz::ToStored(e.second, true);
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vm::platform::AnsiCodePage = 1252;
    static vmfuzz::ScratchDir dir;
    g_dir = &dir;
    // Include lines in the input find nothing here.
    if (chdir(dir.path().c_str()) != 0) vmfuzz::Fail("chdir", __FILE__, __LINE__);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > MaxInput) return 0;
    const unsigned selector = data[0];

    vmfuzz::Entries entries;
    if (selector & 64) {
        entries = RawEntries(data + 1, size - 1);
    } else {
        const std::vector<std::uint8_t> padded = vmfuzz::Padded(data + 1, size - 1, 4);
        const vm::TextEncoding readAs = static_cast<vm::TextEncoding>(selector & 3);
        vm::TextOptions reading;
        reading.readEncoding = readAs;
        vm::ReadTextImage(padded.data(), size - 1, g_dir->Wide(), vmfuzz::SinkInto(entries), reading, {});
    }

    vm::TextOptions options;
    options.layout = selector & 4 ? vm::TextLayout::DiabloII : vm::TextLayout::Tabbed;
    options.quoteValues = (selector & 8) == 0;
    options.colorMacros = (selector & 16) == 0;
    options.header = (selector & 32) == 0;
    const std::u16string name = g_dir->Wide("out.txt");
    const std::string file = g_dir->File("out.txt");
    const auto count = static_cast<std::int32_t>(entries.size());

    for (vm::TextEncoding encoding : {vm::TextEncoding::Unicode, vm::TextEncoding::UTF8, vm::TextEncoding::ANSI}) {
        options.writeEncoding = encoding;
        vm::WriteReport check;
        const bool clean = vm::CheckTextTable(vmfuzz::SourceOf(entries), count, options, {}, check);
        if (entries.empty()) {
            // Nothing to write: refused, and no file made.
            FUZZ_CHECK(!vm::WriteTextTable(name, vmfuzz::SourceOf(entries), count, options, {}));
            FUZZ_CHECK(access(file.c_str(), F_OK) != 0);
            continue;
        }
        FUZZ_CHECK(clean == (check.lossCount == 0));
        FUZZ_CHECK(check.losses.size() == std::min(check.lossCount, vm::MaxReportedLosses));

        // Without leave to lose entries the writer does what the check says.
        vm::WriteReport strict;
        FUZZ_CHECK(vm::WriteTextTable(name, vmfuzz::SourceOf(entries), count, options, {}, &strict) == clean);
        FUZZ_CHECK(strict.refusedAsLossy == !clean);
        FUZZ_CHECK(strict.lossCount == check.lossCount);
        if (!clean) FUZZ_CHECK(access(file.c_str(), F_OK) != 0);

        vm::WriteReport lossy;
        lossy.allowLossy = true;
        FUZZ_CHECK(vm::WriteTextTable(name, vmfuzz::SourceOf(entries), count, options, {}, &lossy));
        FUZZ_CHECK(lossy.lossCount == check.lossCount);

        // A file with a mark reads the same whatever the choice; an ANSI
        // file has none and is read naming its encoding.
        vmfuzz::Entries back;
        const vm::TextEncoding choice =
            encoding == vm::TextEncoding::ANSI ? vm::TextEncoding::ANSI : vm::TextEncoding::Autodetect;
        vm::TextOptions reading;
        reading.readEncoding = choice;
        const bool read = vm::ReadTextTable(name, vmfuzz::SinkInto(back), reading, {});
        std::remove(file.c_str());
        if (clean) {
            FUZZ_CHECK(read);
            vmfuzz::CheckSameEntries(Stored(entries), Stored(back), "a table the check passes comes back exactly");
        } else if (Stored(back) == Stored(entries)) {
            std::fprintf(stderr, "flagged entry %zu (reason %d) came back unchanged\n", check.losses.front().entry,
                         static_cast<int>(check.losses.front().reason));
            vmfuzz::Fail("a table the check flags does not come back exactly", __FILE__, __LINE__);
        }
    }
    return 0;
}
