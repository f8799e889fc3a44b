// Speed of the mod-wide check on a folder of the game's size: 20 string
// files of 13 languages, about 12 MB, read and checked with every rule;
// once finished translations (a few findings: colour codes where the
// random texts differ), once texts whose placeholders and line breaks
// differ everywhere (a finding in about every fourth text).

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "bench/GameJson.h"
#include "documents/ModCheck.h"
#include "documents/ModDiff.h"
#include "documents/ModRebase.h"
#include "documents/OpenCheck.h"
#include "documents/TableFiles.h"

namespace {

namespace fs = std::filesystem;

// The folder, made once per run in the system's temporary folder.
fs::path GameFolder(bool consistent) {
    const fs::path dir =
        fs::temp_directory_path() / (consistent ? "vellumark-bench-strings" : "vellumark-bench-faults");
    fs::create_directories(dir);
    for (int f = 0; f < 20; ++f) {
        std::ofstream out(dir / ("strings-" + std::to_string(f) + ".json"), std::ios::binary | std::ios::trunc);
        out << vmbench::GameFile(900, 1 + f * 1000, 16 + f, consistent);
    }
    return dir;
}

void BM_CheckGameSizedFolder(benchmark::State& state) {
    const fs::path dir = GameFolder(state.range(0) == 1);
    const std::u16string folder = dir.u16string();
    std::size_t findings = 0, bytes = 0;
    for (const auto& file : fs::directory_iterator(dir)) bytes += file.file_size();
    for (auto _ : state) {
        const vm::ModStrings mod = vm::ReadModStrings({folder}, {});
        findings = vm::CheckModStrings(mod, nullptr, {}).size();
        benchmark::DoNotOptimize(findings);
    }
    state.counters["folder_bytes"] = static_cast<double>(bytes);
    state.counters["findings"] = static_cast<double>(findings);
}
BENCHMARK(BM_CheckGameSizedFolder)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The window's check again after an edit: one file of the folder open in a
// side, laid over the folder read before, and every rule run.
void BM_RecheckOpenAfterAnEdit(benchmark::State& state) {
    const fs::path dir = GameFolder(true);
    vm::Workspace ws;
    ws.sides[0].FileName = (dir / "strings-3.json").u16string();
    vm::LoadTable(ws.sides[0], vm::FormatJson, ws.options.formats);
    vm::OpenCheck check;
    vm::RunOpenCheck(ws, {}, check);
    for (auto _ : state) {
        vm::RecheckOpen(ws, check);
        benchmark::DoNotOptimize(check.findings.size());
    }
}
BENCHMARK(BM_RecheckOpenAfterAnEdit)->Unit(benchmark::kMillisecond);

// Two game-sized folders read and compared (every text differs: the
// folders are made with other seeds).
void BM_DiffGameSizedFolders(benchmark::State& state) {
    const std::u16string before = GameFolder(true).u16string(), after = GameFolder(false).u16string();
    std::size_t changes = 0;
    for (auto _ : state) {
        const vm::ModStrings old = vm::ReadModStrings({before}, {});
        const vm::ModStrings now = vm::ReadModStrings({after}, {});
        changes = vm::DiffModStrings(old, now).size();
        benchmark::DoNotOptimize(changes);
    }
    state.counters["changes"] = static_cast<double>(changes);
}
BENCHMARK(BM_DiffGameSizedFolders)->Unit(benchmark::kMillisecond);

// A translation rebased on a patched game: the old game's folder, the new
// one (each file one object more, a few English texts changed), and a mod
// whose German texts are all its own; 20 files of about 650 KB each.
void BM_RebaseGameSizedFolders(benchmark::State& state) {
    const fs::path root = fs::temp_directory_path() / "vellumark-bench-rebase";
    for (const char* part : {"old", "new", "mod", "out"}) fs::create_directories(root / part);
    for (int f = 0; f < 20; ++f) {
        const std::string name = "strings-" + std::to_string(f) + ".json";
        const std::string old = vmbench::GameFile(900, 1 + f * 1000, 16 + f, true);
        std::string now = old, mod = old;
        // The game: a new object at the end, and the English of every 50th.
        now.insert(now.rfind("\r\n]"), ",\r\n  {\r\n    \"id\": " + std::to_string(20000 + f) +
                                           ",\r\n    \"Key\": \"Patch" + std::to_string(f) +
                                           "\",\r\n    \"enUS\": \"New\"\r\n  }");
        for (std::size_t at = 0, n = 0; (at = now.find("\"enUS\": \"", at)) != std::string::npos; ++n, at += 9)
            if (n % 50 == 0) now.insert(at + 9, "Patched ");
        // The mod: every German text its own.
        for (std::size_t at = 0; (at = mod.find("\"deDE\": \"", at)) != std::string::npos; at += 9)
            mod.insert(at + 9, "Mod ");
        std::ofstream(root / "old" / name, std::ios::binary | std::ios::trunc) << old;
        std::ofstream(root / "new" / name, std::ios::binary | std::ios::trunc) << now;
        std::ofstream(root / "mod" / name, std::ios::binary | std::ios::trunc) << mod;
    }
    std::size_t changed = 0;
    for (auto _ : state) {
        const vm::RebaseReport r = vm::RebaseMod((root / "old").u16string(), (root / "new").u16string(),
                                                 (root / "mod").u16string(), (root / "out").u16string(), {});
        changed = r.changed;
        benchmark::DoNotOptimize(changed);
    }
    state.counters["texts_changed"] = static_cast<double>(changed);
}
BENCHMARK(BM_RebaseGameSizedFolders)->Unit(benchmark::kMillisecond);

}  // namespace
