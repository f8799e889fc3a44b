// Tables the benchmarks share. One header: each benchmark program is one
// translation unit plus this.
#pragma once

#include <malloc.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/GameText.h"
#include "documents/Workspace.h"
#include "formats/FormatOptions.h"
#include "formats/TblTextTbl.h"
#include "formats/TextHelpers.h"

namespace vmbench {

// A workspace of its own for one benchmark; the one made before goes.
inline vm::Workspace& NewWorkspace() {
    static std::unique_ptr<vm::Workspace> space;
    space.reset();
    space = std::make_unique<vm::Workspace>();
    return *space;
}

// The options the benchmarks read and write with: the defaults, but for a
// read limit that lets every benchmark table through.
inline vm::FormatOptions BenchOptions() {
    vm::FormatOptions options;
    options.limits.maxFileSize = 1u << 26;
    return options;
}

// On the virtual machines we measure on, a first touch of a fresh page
// costs about 10 microseconds, so a call that allocates a few MiB would
// measure the kernel rather than our code. Keep freed memory in the
// process (as a long-running program's heap does) so repeated calls reuse
// it.
inline const bool KeepFreedMemory = [] {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    return true;
}();

using Entries = std::vector<std::pair<std::u16string, std::u16string>>;

inline vm::TableEntrySource SourceOf(const Entries& entries) {
    return [&entries](std::int32_t i, const char16_t*& key, const char16_t*& value) {
        key = entries[static_cast<std::size_t>(i)].first.c_str();
        value = entries[static_cast<std::size_t>(i)].second.c_str();
        return true;
    };
}

inline std::uint64_t TotalChars(const Entries& entries) {
    std::uint64_t total = 0;
    for (const auto& e : entries) total += e.first.size() + e.second.size();
    return total;
}

inline std::u16string RandomWord(std::mt19937& rng, std::size_t length) {
    std::u16string s;
    for (std::size_t i = 0; i < length; ++i) s.push_back(static_cast<char16_t>(u'a' + rng() % 26));
    return s;
}

inline Entries SequentialKeys(std::size_t count) {
    Entries e;
    for (std::size_t i = 0; i < count; ++i)
        e.emplace_back(u"Key" + vm::IntToDecimal(static_cast<std::int32_t>(i)), u"value");
    return e;
}

inline Entries RandomKeys(std::size_t count) {
    std::mt19937 rng(1);
    Entries e;
    for (std::size_t i = 0; i < count; ++i) e.emplace_back(RandomWord(rng, 10), u"value");
    return e;
}

// A .tbl of up to 65535 entries and up to 4 MiB (keys ~12 bytes, values
// of valueMin to valueMin + valueSpread - 1 letters with colour codes and
// line breaks), written once to a temporary file of this process.
struct BigTbl {
    std::filesystem::path path;
    std::uint64_t size = 0;
    BigTbl(const char* fileName, unsigned valueMin, unsigned valueSpread)
        : BigTbl(fileName, Letters(valueMin, valueSpread)) {}
    BigTbl(const char* fileName, const Entries& entries) {
        std::vector<std::uint8_t> image;
        vm::BuildTblImage(SourceOf(entries), static_cast<std::int32_t>(entries.size()), TotalChars(entries), image, {});
        size = image.size();
        // The process id keeps two benchmark runs at once (another build's)
        // from writing or removing each other's table.
        path = std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "-" + fileName);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    ~BigTbl() { std::filesystem::remove(path); }

    static Entries Letters(unsigned valueMin, unsigned valueSpread) {
        std::mt19937 rng(4);
        Entries entries;
        std::uint64_t bytes = 0;
        for (int i = 0; bytes < (4u << 20) - 200 && i < 65535; ++i) {
            std::u16string value = RandomWord(rng, valueMin + rng() % valueSpread);
            if (i % 7 == 0) value += u"\\red;";
            if (i % 11 == 0) value += u"\\n";
            entries.emplace_back(u"Str" + RandomWord(rng, 8), value);
            bytes += entries.back().first.size() + value.size() + 2 + 2 + 17;
        }
        return entries;
    }
};

// 4 MiB, about 58000 entries: a reader's worst case within MaxFileSize.
inline BigTbl& Big() {
    static BigTbl big("vellumark-bench.tbl", 20, 40);
    return big;
}

// 65535 entries, about 3.7 MiB: the fullest table a .tbl file holds.
inline BigTbl& Full() {
    static BigTbl full("vellumark-bench-full.tbl", 10, 30);
    return full;
}

// 65535 entries, about 4 MiB, in the shape of the game's tables: four
// scripts, colour codes, line breaks (GameText.h).
inline BigTbl& Game() {
    static BigTbl game("vellumark-bench-game.tbl", GameTable());
    return game;
}

}  // namespace vmbench
