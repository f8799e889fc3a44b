// Speed of the string files of the remastered game: reading a language
// column and writing the file back, for 800 to 6400 objects (3200 objects
// make about 2 MiB, the size of the game's larger files), and exporting a
// column to .tbl against reading a .tbl of the same entries.

#include <benchmark/benchmark.h>

#include <map>

#include "bench/BenchTables.h"
#include "documents/TableList.h"
#include "formats/JsonStrings.h"

namespace {

using namespace vmbench;

// A value in one of the game's scripts, with its colour codes, line breaks
// and private-use glyphs now and then, as UTF-8 JSON string text.
std::string Text(std::mt19937& rng, int language) {
    static const char* const latin[] = {"a", "e",        "r",        "t",        "s", "n",
                                        " ", "\xC3\xA9", "\xC3\xBC", "\xC3\xB1", "o", "l"};
    static const char* const cyrillic[] = {"\xD0\xB0", "\xD0\xB1", "\xD0\xB2", "\xD0\xB3", " ", "\xD1\x8F", "\xD0\xBE"};
    static const char* const cjk[] = {"\xE4\xB8\xAD", "\xE6\x96\x87", "\xE5\xAD\x97",
                                      "\xE7\xAC\xA6", "\xEA\xB0\x80", "\xE3\x81\x82"};
    std::string s;
    if (rng() % 5 == 0)
        s += "\xC3\xBF"
             "c4";
    const bool wide = language == 1 || language == 6 || language == 9 || language == 12;
    const bool russian = language == 11;
    const unsigned length = wide ? 6 + rng() % 10 : russian ? 8 + rng() % 16 : 14 + rng() % 28;
    for (unsigned i = 0; i < length; ++i)
        s += wide ? cjk[rng() % 6] : russian ? cyrillic[rng() % 7] : latin[rng() % 12];
    if (rng() % 9 == 0) s += "\\n%d";
    if (rng() % 13 == 0) s += "\\uE01D";
    return s;
}

// A file in the game's own layout.
std::string GameFile(int objects) {
    std::mt19937 rng(16);
    std::string s = "\xEF\xBB\xBF[";
    for (int i = 0; i < objects; ++i) {
        s += i ? ",\r\n  {" : "\r\n  {";
        s += "\r\n    \"id\": " + std::to_string(1000 + i) + ",\r\n    \"Key\": \"ItemName" + std::to_string(i) + "\"";
        for (int l = 0; l < vm::JsonLanguageCount; ++l)
            s += std::string(",\r\n    \"") + vm::JsonLanguageCodes[l] + "\": \"" + Text(rng, l) + "\"";
        s += "\r\n  }";
    }
    return s + "\r\n]\r\n";
}

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
