// Speed of the string files of the remastered game: reading a language
// column and writing the file back, for 800 to 6400 objects (3200 objects
// make about 2 MiB, the size of the game's larger files), and exporting a
// column to .tbl against reading a .tbl of the same entries.

#include <benchmark/benchmark.h>

#include <map>

#include "bench/BenchTables.h"
#include "bench/GameJson.h"
#include "documents/TableList.h"
#include "formats/JsonStrings.h"

namespace {

using namespace vmbench;

const std::string& FileOf(int objects) {
    static std::map<int, std::string> files;
    auto& f = files[objects];
    if (f.empty()) f = GameFile(objects);
    return f;
}

void BM_JsonReadColumn(benchmark::State& state) {
    const std::string& file = FileOf(static_cast<int>(state.range(0)));
    vm::TableLists lists;
    for (auto _ : state) {
        vm::JsonDocument doc;
        vm::ParseJsonStrings(file, 0, doc);
        lists.Clear();
        vm::DeliverJsonColumn(doc, [&](const char16_t* k, const char16_t* v) { lists.Append(k, v); });
        benchmark::DoNotOptimize(lists.Count());
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
    state.counters["file_bytes"] = static_cast<double>(file.size());
}

// Read a column into a table and write the file back from it: what a
// load and a save of a side do, in memory.
void BM_JsonReadAndWriteBack(benchmark::State& state) {
    const std::string& file = FileOf(static_cast<int>(state.range(0)));
    vm::TableLists lists;
    std::string out;
    for (auto _ : state) {
        vm::JsonDocument doc;
        vm::ParseJsonStrings(file, 0, doc);
        lists.Clear();
        vm::DeliverJsonColumn(doc, [&](const char16_t* k, const char16_t* v) { lists.Append(k, v); });
        const vm::TableEntrySource source = [&](std::int32_t i, const char16_t*& k, const char16_t*& v) {
            k = lists.Keys.Get(static_cast<std::size_t>(i)).c_str();
            v = lists.Values.Get(static_cast<std::size_t>(i)).c_str();
            return true;
        };
        vm::BuildJsonColumn(
            {&doc, nullptr, 0, 0}, source, [](std::int32_t i) { return static_cast<std::uint32_t>(i + 1); },
            static_cast<std::int32_t>(lists.Count()), out);
        benchmark::DoNotOptimize(out.data());
    }
    if (out != file) state.SkipWithError("the file did not come back byte for byte");
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}

// The same through files: read from disk, written to disk beside it.
void BM_JsonReadAndWriteBack_Files(benchmark::State& state) {
    const std::string& file = FileOf(3200);
    const auto dir = std::filesystem::temp_directory_path();
    const std::string id = std::to_string(::getpid());
    const auto in = dir / (id + "-vellumark-bench.json"), out = dir / (id + "-vellumark-bench-out.json");
    std::ofstream(in, std::ios::binary).write(file.data(), static_cast<std::streamsize>(file.size()));
    vm::TableLists lists;
    for (auto _ : state) {
        vm::JsonDocument doc;
        lists.Clear();
        vm::ReadJsonTable(
            in.u16string(), 0, BenchOptions().limits, [&](const char16_t* k, const char16_t* v) { lists.Append(k, v); },
            nullptr, &doc);
        const vm::TableEntrySource source = [&](std::int32_t i, const char16_t*& k, const char16_t*& v) {
            k = lists.Keys.Get(static_cast<std::size_t>(i)).c_str();
            v = lists.Values.Get(static_cast<std::size_t>(i)).c_str();
            return true;
        };
        vm::WriteJsonColumn(
            out.u16string(), {&doc, nullptr, 0, 0}, source,
            [](std::int32_t i) { return static_cast<std::uint32_t>(i + 1); }, static_cast<std::int32_t>(lists.Count()));
    }
    std::filesystem::remove(in);
    std::filesystem::remove(out);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}

// A column of the 3200-object file exported to a .tbl image, and a .tbl of
// the same entries read.
Entries ColumnEntries() {
    vm::JsonDocument doc;
    vm::ParseJsonStrings(FileOf(3200), 0, doc);
    Entries entries;
    vm::DeliverJsonColumn(doc, [&](const char16_t* k, const char16_t* v) { entries.emplace_back(k, v); });
    return entries;
}

void BM_JsonColumnExportToTbl(benchmark::State& state) {
    const std::string& file = FileOf(3200);
    std::vector<std::uint8_t> image;
    for (auto _ : state) {
        vm::JsonDocument doc;
        vm::ParseJsonStrings(file, 0, doc);
        const vm::JsonColumn& c = doc.column;
        const vm::TableEntrySource source = [&](std::int32_t i, const char16_t*& k, const char16_t*& v) {
            k = c.Key(static_cast<std::size_t>(i));
            v = c.Value(static_cast<std::size_t>(i));
            return true;
        };
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < c.items.size(); ++i)
            total += std::char_traits<char16_t>::length(c.Key(i)) + std::char_traits<char16_t>::length(c.Value(i));
        vm::BuildTblImage(source, static_cast<std::int32_t>(c.items.size()), total, image, {});
        benchmark::DoNotOptimize(image.data());
    }
}

void BM_TblRead_SameEntries(benchmark::State& state) {
    const Entries entries = ColumnEntries();
    std::vector<std::uint8_t> image;
    vm::BuildTblImage(SourceOf(entries), static_cast<std::int32_t>(entries.size()), TotalChars(entries), image, {});
    image.push_back(0);
    vm::TableLists lists;
    for (auto _ : state) {
        lists.Clear();
        vm::ReadTblImage(image.data(), image.size() - 1,
                         [&](const char16_t* k, const char16_t* v) { lists.Append(k, v); }, {});
        benchmark::DoNotOptimize(lists.Count());
    }
    state.counters["tbl_bytes"] = static_cast<double>(image.size() - 1);
}

BENCHMARK(BM_JsonReadColumn)
    ->Arg(800)
    ->Arg(1600)
    ->Arg(3200)
    ->Arg(6400)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonReadAndWriteBack)
    ->Arg(800)
    ->Arg(1600)
    ->Arg(3200)
    ->Arg(6400)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonReadAndWriteBack_Files)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonColumnExportToTbl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TblRead_SameEntries)->Unit(benchmark::kMillisecond);

}  // namespace
