// Speed of the table formats and the key pairing. Run from a release build:
//   build/release/bench/vellumark_bench

#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <time.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchTables.h"
#include "documents/CopyMatchedValues.h"
#include "formats/Checksum.h"
#include "formats/ColorMacros.h"
#include "formats/FormatLimits.h"
#include "formats/TblTextTbl.h"
#include "formats/TextHelpers.h"

namespace {

using namespace vmbench;

void WriteTbl(benchmark::State& state, const Entries& entries) {
    std::vector<std::uint8_t> image;
    for (auto _ : state) {
        vm::BuildTblImage(SourceOf(entries), static_cast<std::int32_t>(entries.size()), TotalChars(entries), image, {});
        benchmark::DoNotOptimize(image.data());
    }
    state.counters["MaxProbe"] = vm::ParseTblHeader(image.data()).MaxProbe;
}

void BM_WriteTbl_SequentialKeys(benchmark::State& state) { WriteTbl(state, SequentialKeys(65535)); }
void BM_WriteTbl_RandomKeys(benchmark::State& state) { WriteTbl(state, RandomKeys(65535)); }
BENCHMARK(BM_WriteTbl_SequentialKeys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteTbl_RandomKeys)->Unit(benchmark::kMillisecond);

// Source and destination of 65535 entries each. SameOrder: the two
// language versions of one table (the usual case), with repeat keys.
// Shuffled: keys drawn at random from 20000, many repeated, so the pairing
// is a random permutation (the worst case for memory access).
struct PairingTables {
    vm::TableLists source, dest;
    explicit PairingTables(bool shuffled) {
        std::mt19937 rng(2);
        for (int i = 0; i < 65535; ++i) {
            const std::int32_t id = shuffled ? static_cast<std::int32_t>(rng() % 20000) : i;
            const std::u16string key = rng() % 5 == 0 ? u"X" : u"Key" + vm::IntToDecimal(id);
            source.Append(key, RandomWord(rng, 20));
        }
        std::mt19937 other(3);
        for (int i = 0; i < 65535; ++i) {
            const std::int32_t id = shuffled ? static_cast<std::int32_t>(other() % 20000) : i;
            const std::u16string key = shuffled && other() % 5 == 0 ? u"x" : u"Key" + vm::IntToDecimal(id);
            dest.Append(shuffled ? key : source.Keys.Get(static_cast<std::size_t>(i)), u"");
        }
    }
    void ResetDest() {
        for (std::size_t i = 0; i < dest.Count(); ++i) {
            dest.Values.Set(i, {});
            dest.Values.SetFlag(i, 0);
        }
    }
};

void CopyMatched(benchmark::State& state, bool shuffled) {
    PairingTables t(shuffled);
    std::size_t changed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        t.ResetDest();
        state.ResumeTiming();
        changed = vm::CopyMatchedValues(t.source.Keys, t.source.Values, t.dest.Keys, t.dest.Values);
        benchmark::DoNotOptimize(changed);
    }
    state.counters["changed"] = static_cast<double>(changed);
}

void BM_CopyMatchedValues_65535x65535(benchmark::State& state) { CopyMatched(state, false); }
void BM_CopyMatchedValues_65535x65535_Shuffled(benchmark::State& state) { CopyMatched(state, true); }

// The floor: copying 65535 values by entry number.
void BM_PlainCopy_65535Values(benchmark::State& state) {
    PairingTables t(false);
    for (auto _ : state) {
        state.PauseTiming();
        t.ResetDest();
        state.ResumeTiming();
        for (std::size_t i = 0; i < 65535; ++i) t.dest.Values.Set(i, t.source.Values.Get(i));
        benchmark::DoNotOptimize(t.dest.Values.Get(0).data());
    }
}
BENCHMARK(BM_CopyMatchedValues_65535x65535)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyMatchedValues_65535x65535_Shuffled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainCopy_65535Values)->Unit(benchmark::kMillisecond);

void* mmap_fresh(std::size_t size) {
    return mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
}
void unmap(void* p, std::size_t size) { munmap(p, size); }

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU time of one memcpy of `size` bytes between buffers in use, the best of
// many: the yardstick the reading benchmarks report themselves against.
double MemcpySeconds(std::size_t size) {
    std::vector<char> from(size, 'a'), to(size);
    double best = 1e9;
    for (int round = 0; round < 20; ++round) {
        const double start = ThreadSeconds();
        for (int i = 0; i < 10; ++i) {
            std::memcpy(to.data(), from.data(), size);
            benchmark::DoNotOptimize(to.data());
            benchmark::ClobberMemory();
        }
        best = std::min(best, (ThreadSeconds() - start) / 10);
    }
    return best;
}

// Reads the file into a table's lists, as the loaders do (keeping the
// bytes of strings their text would not give back: counter "kept"). The
// counter best_ms is the best iteration's CPU time, x_memcpy that against
// the best memcpy of as many bytes, both measured in this run.
void ReadIntoLists(benchmark::State& state, BigTbl& table) {
    const std::u16string name = table.path.u16string();
    vm::TableLists lists;
    double best = 1e9;
    for (auto _ : state) {
        const double start = ThreadSeconds();
        lists.Clear();
        // Room for the file's text, as the window's loader makes it.
        lists.ReserveForFile(vm::platform::FileSizeOf(name), 0);
        vm::AppendToLists appendToLists(lists.Keys, lists.Values);
        vm::ReadTblFile(name, appendToLists, BenchOptions().limits);
        benchmark::DoNotOptimize(lists.Keys.Get(0).data());
        best = std::min(best, ThreadSeconds() - start);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * table.size));
    state.counters["entries"] = static_cast<double>(lists.Count());
    state.counters["kept"] = static_cast<double>(lists.Keys.StoredCount() + lists.Values.StoredCount());
    state.counters["best_ms"] = best * 1e3;
    state.counters["x_memcpy"] = best / MemcpySeconds(static_cast<std::size_t>(table.size));
}

void ReaderOnly(benchmark::State& state, BigTbl& table) {
    const std::u16string name = table.path.u16string();
    std::size_t n = 0;
    for (auto _ : state) {
        vm::ReadTblFile(
            name, [&](const char16_t*, const char16_t*) { ++n; }, BenchOptions().limits);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * table.size));
}

void BM_ReadTbl_4MiB_IntoLists(benchmark::State& state) { ReadIntoLists(state, Big()); }
void BM_ReadTbl_4MiB_ReaderOnly(benchmark::State& state) { ReaderOnly(state, Big()); }
void BM_ReadTbl_GameTable_IntoLists(benchmark::State& state) { ReadIntoLists(state, Game()); }
void BM_ReadTbl_GameTable_ReaderOnly(benchmark::State& state) { ReaderOnly(state, Game()); }

void BM_WriteTbl_GameTable(benchmark::State& state) {
    const Entries entries = GameTable();
    vm::TblImageBuffer image;
    for (auto _ : state) {
        vm::BuildTblImage(SourceOf(entries), static_cast<std::int32_t>(entries.size()), TotalChars(entries), image, {});
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_WriteTbl_GameTable)->Unit(benchmark::kMillisecond);

// The conversions alone over every key and value of the game-shaped table.
struct GameStrings {
    std::vector<std::u16string> display;  // keys and values as the lists hold them
    std::vector<std::u16string> stored;   // values with colour codes and LF
    std::vector<std::string> utf8;        // stored form in UTF-8
    std::size_t units = 0, bytes = 0;
    GameStrings() {
        for (const auto& [key, value] : GameTable()) {
            display.push_back(key);
            display.push_back(value);
            std::u16string s(value.size() + 1, u'\0');
            s.resize(vm::MacrosToColorCodes(value.c_str(), s.data(), value.size(), true));
            stored.push_back(s);
        }
        for (const auto& s : display) units += s.size();
        for (const auto& s : stored) {
            std::string b(3 * s.size() + 1, '\0');
            b.resize(vm::Utf16ToUtf8(b.data(), b.size(), s.c_str(), s.size()));
            bytes += b.size();
            utf8.push_back(std::move(b));
        }
    }
};

GameStrings& Strings() {
    static GameStrings strings;
    return strings;
}

void BM_Utf8ToUtf16_GameValues(benchmark::State& state) {
    std::vector<char16_t> dest(65536);
    for (auto _ : state)
        for (const auto& s : Strings().utf8)
            benchmark::DoNotOptimize(vm::Utf8ToUtf16(dest.data(), dest.size() * 2, s.c_str(), s.size() + 1));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Strings().bytes));
}

void BM_Utf16ToUtf8_GameValues(benchmark::State& state) {
    std::vector<char> dest(3 * 65536);
    for (auto _ : state)
        for (const auto& s : Strings().stored)
            benchmark::DoNotOptimize(vm::Utf16ToUtf8(dest.data(), dest.size(), s.c_str(), s.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Strings().bytes));
}

void BM_MacrosToColorCodes_GameStrings(benchmark::State& state) {
    std::vector<char16_t> dest(65536);
    for (auto _ : state)
        for (const auto& s : Strings().display)
            benchmark::DoNotOptimize(vm::MacrosToColorCodes(s.c_str(), dest.data(), vm::DisplayBufferUnits, true));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Strings().units * 2));
}

void BM_ColorCodesToMacros_GameValues(benchmark::State& state) {
    std::vector<char16_t> dest(3 * 65536);
    for (auto _ : state)
        for (const auto& s : Strings().stored)
            benchmark::DoNotOptimize(vm::ColorCodesToMacrosCounted(s.c_str(), s.size(), dest.data()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Strings().bytes));
}

void BM_Crc16_4MiB(benchmark::State& state) {
    std::vector<std::uint8_t> bytes(4u << 20);
    std::mt19937 rng(5);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    for (auto _ : state) benchmark::DoNotOptimize(vm::Crc16(bytes.data(), bytes.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Utf8ToUtf16_GameValues)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf16ToUtf8_GameValues)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MacrosToColorCodes_GameStrings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColorCodesToMacros_GameValues)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc16_4MiB)->Unit(benchmark::kMillisecond);

void BM_Memcpy_4MiB(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(Big().size);
    std::vector<char> from(size, 'a'), to(size);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
// The same copy into memory the process has not touched yet, as a reader's
// fresh file buffer is: on virtual machines the first touch of each page
// dominates.
void BM_Memcpy_4MiB_FreshDestination(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(Big().size);
    std::vector<char> from(size, 'a');
    for (auto _ : state) {
        char* to = static_cast<char*>(mmap_fresh(size));
        std::memcpy(to, from.data(), size);
        benchmark::DoNotOptimize(to);
        benchmark::ClobberMemory();
        unmap(to, size);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_ReadTbl_4MiB_IntoLists)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadTbl_4MiB_ReaderOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadTbl_GameTable_IntoLists)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadTbl_GameTable_ReaderOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy_4MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy_4MiB_FreshDestination)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
