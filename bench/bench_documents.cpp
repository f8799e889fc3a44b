// Speed of the table documents: loading a 65535-entry table into a side
// (against the reader alone, in bench_formats) and the item operations at
// the top of a full table.

#include <benchmark/benchmark.h>

#include "bench/BenchTables.h"
#include "documents/ItemOperations.h"
#include "documents/TableFiles.h"

namespace {

using namespace vmbench;

void LoadIntoSide(benchmark::State& state, BigTbl& table) {
    vm::TTblObjects& side = NewWorkspace().sides[0];
    side.FileName = table.path.u16string();
    for (auto _ : state) {
        vm::LoadTable(side, vm::FormatTbl, BenchOptions());
        benchmark::DoNotOptimize(side.Keys->Get(0).data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * table.size));
    state.counters["entries"] = static_cast<double>(side.Count());
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

void BM_LoadTable_4MiB_IntoSide(benchmark::State& state) { LoadIntoSide(state, Big()); }
void BM_LoadTable_65535_IntoSide(benchmark::State& state) { LoadIntoSide(state, Full()); }
void BM_LoadTable_GameTable_IntoSide(benchmark::State& state) { LoadIntoSide(state, Game()); }
void BM_ReadTbl_65535_ReaderOnly(benchmark::State& state) { ReaderOnly(state, Full()); }
BENCHMARK(BM_LoadTable_4MiB_IntoSide)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTable_65535_IntoSide)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTable_GameTable_IntoSide)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadTbl_65535_ReaderOnly)->Unit(benchmark::kMillisecond);

// A side holding 65535 entries of the shape of a real table.
vm::TTblObjects& FullSide() {
    vm::TTblObjects& side = NewWorkspace().sides[0];
    side.FileName = Full().path.u16string();
    vm::LoadTable(side, vm::FormatTbl, BenchOptions());
    return side;
}

// Insert and delete in pairs so the table keeps its size.
void BM_InsertThenDelete_AtTop_65535(benchmark::State& state) {
    vm::TTblObjects& side = FullSide();
    for (auto _ : state) {
        vm::InsertEntries(side, 0, 0);
        vm::DeleteEntries(side, 0, 0);
    }
    state.counters["entries"] = static_cast<double>(side.Count());
}
BENCHMARK(BM_InsertThenDelete_AtTop_65535)->Unit(benchmark::kMicrosecond);

void BM_MoveEntry_AcrossTable_65535(benchmark::State& state) {
    vm::TTblObjects& side = FullSide();
    const auto last = static_cast<std::int32_t>(side.Count() - 1);
    for (auto _ : state) {
        vm::MoveEntry(side, 0, last);
        vm::MoveEntry(side, last, 0);
    }
}
BENCHMARK(BM_MoveEntry_AcrossTable_65535)->Unit(benchmark::kMicrosecond);

void BM_MoveEntry_Neighbour_65535(benchmark::State& state) {
    vm::TTblObjects& side = FullSide();
    for (auto _ : state) vm::MoveEntry(side, 1, 0);
}
BENCHMARK(BM_MoveEntry_Neighbour_65535)->Unit(benchmark::kMicrosecond);

}  // namespace
