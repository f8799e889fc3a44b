// What the undo history costs: an edit applied with its step against the
// same edit applied without one (the goal: within twice its time), and undo
// and redo of clearing and deleting every entry of a full table (the goal:
// within 20 ms each).

#include <benchmark/benchmark.h>

#include "bench/BenchTables.h"
#include "documents/History.h"
#include "documents/ItemOperations.h"
#include "documents/TableFiles.h"

namespace {

using namespace vmbench;

// A side holding 65535 entries of the shape of a real table, with an empty
// history.
vm::TTblObjects& LoadedSide() {
    vm::TTblObjects& side = NewWorkspace().sides[0];
    side.FileName = Full().path.u16string();
    vm::LoadTable(side, vm::FormatTbl, BenchOptions());
    return side;
}

// For every row, two texts a value editor could hold: the stored value
// (line breaks as the editor shows them) with a letter added, a different
// one each time. Applying them in turn changes the value every time.
std::vector<std::u16string> EditedTexts(const vm::TTblObjects& side) {
    std::vector<std::u16string> texts;
    texts.reserve(side.Count() * 2);
    for (std::size_t i = 0; i < side.Count(); ++i) {
        std::u16string v = vm::ValueToEditorText(side.Values->Get(i));
        v.push_back(u'a');
        texts.push_back(v);
        v.back() = u'b';
        texts.push_back(v);
    }
    return texts;
}

// Applying a value editor's text without a history: stored form, compare,
// copy into the entry, flag it, mark the side. Both ways are kept out of
// line alike, so that a profile shows each as a call.
[[gnu::noinline]] bool ApplyWithoutHistory(vm::TTblObjects& p, vm::TStringList& list, std::size_t i,
                                           const std::u16string& editorText) {
    const std::u16string text = vm::EditorTextToValue(editorText);
    if (text == list.Get(i)) return false;
    list.Set(i, text);
    list.SetFlag(i, vm::FlagChanged);
    p.Modified = true;
    return true;
}

// As the window applies an editor's text when the current row changes: one
// step opened around the editors of both tables, which the edit joins, made
// at the row left.
[[gnu::noinline]] bool ApplyWithHistory(vm::TTblObjects& p, vm::TStringList& list, std::size_t i,
                                        const std::u16string& editorText) {
    vm::HistoryStep rowChange(vm::StepKind::Edit, p, vm::RowPlace::At(static_cast<std::int32_t>(i)));
    return vm::ApplyEditedText(p, list, static_cast<std::int32_t>(i), vm::EditorTextToValue(editorText));
}

// Each iteration: the editor's text for the next row (a fresh string, as
// reading an edit box gives), applied to that row's value.
template <bool (*Apply)(vm::TTblObjects&, vm::TStringList&, std::size_t, const std::u16string&)>
void ApplyEdits(benchmark::State& state) {
    vm::TTblObjects& side = LoadedSide();
    const std::vector<std::u16string> texts = EditedTexts(side);
    const std::size_t rows = side.Count();
    std::size_t n = 0;
    for (auto _ : state) {
        const std::size_t row = n % rows;
        std::u16string text = texts[2 * row + (n / rows) % 2];
        benchmark::DoNotOptimize(Apply(side, *side.Values, row, text));
        ++n;
    }
}
void BM_ApplyEdit_WithoutHistory(benchmark::State& state) { ApplyEdits<ApplyWithoutHistory>(state); }
BENCHMARK(BM_ApplyEdit_WithoutHistory);

void RunWithHistory(benchmark::State& state, bool full) {
    vm::TTblObjects& side = LoadedSide();
    const std::vector<std::u16string> texts = EditedTexts(side);
    const std::size_t rows = side.Count();
    std::size_t n = 0;
    if (full) {
        // The history at its limit: every new step lets the oldest go.
        side.Space->options.maxUndoSize = static_cast<std::uint64_t>(state.range(0)) << 20;
        while (vm::HistoryBytes(*side.Space) + 4096 < side.Space->options.maxUndoSize) {
            const std::size_t row = n % rows;
            ApplyWithHistory(side, *side.Values, row, std::u16string(texts[2 * row + (n / rows) % 2]));
            ++n;
        }
    }
    for (auto _ : state) {
        const std::size_t row = n % rows;
        std::u16string text = texts[2 * row + (n / rows) % 2];
        benchmark::DoNotOptimize(ApplyWithHistory(side, *side.Values, row, text));
        ++n;
    }
    state.counters["steps"] = static_cast<double>(vm::UndoSteps(side));
    state.counters["MiB"] = static_cast<double>(vm::HistoryBytes(*side.Space)) / (1 << 20);
    vm::ResetHistory(*side.Space);
}
void BM_ApplyEdit_WithHistory_Growing(benchmark::State& state) { RunWithHistory(state, false); }
void BM_ApplyEdit_WithHistory_AtLimit(benchmark::State& state) { RunWithHistory(state, true); }
BENCHMARK(BM_ApplyEdit_WithHistory_Growing);
BENCHMARK(BM_ApplyEdit_WithHistory_AtLimit)->Arg(16)->Arg(256);

// Long values (3,000 units, as the longest descriptions), each edit
// changing one letter in the middle.
void LongValueEdits(benchmark::State& state, bool history) {
    vm::TTblObjects& side = LoadedSide();
    constexpr std::size_t Rows = 1000;
    std::vector<std::u16string> texts;
    for (std::size_t i = 0; i < Rows; ++i) {
        std::u16string v(3000, static_cast<char16_t>(u'a' + i % 26));
        side.Values->Set(i, v);
        texts.push_back(v);
        v[1500] = u'x';
        texts.push_back(v);
    }
    vm::StartHistory(side);
    std::size_t n = 0;
    for (auto _ : state) {
        const std::size_t row = n % Rows;
        std::u16string text = texts[2 * row + (n / Rows) % 2];
        benchmark::DoNotOptimize(history ? ApplyWithHistory(side, *side.Values, row, text)
                                         : ApplyWithoutHistory(side, *side.Values, row, text));
        ++n;
    }
    state.counters["MiB"] = static_cast<double>(vm::HistoryBytes(*side.Space)) / (1 << 20);
    vm::ResetHistory(*side.Space);
}
void BM_ApplyEdit_LongValue_WithoutHistory(benchmark::State& state) { LongValueEdits(state, false); }
void BM_ApplyEdit_LongValue_WithHistory(benchmark::State& state) { LongValueEdits(state, true); }
BENCHMARK(BM_ApplyEdit_LongValue_WithoutHistory);
BENCHMARK(BM_ApplyEdit_LongValue_WithHistory);

// Undo, then redo, of one step over every entry of a full table; each is
// timed on its own.
void UndoAndRedo(benchmark::State& state, bool timeUndo, void (*change)(vm::TTblObjects&)) {
    vm::TTblObjects& side = LoadedSide();
    change(side);
    for (auto _ : state) {
        if (!timeUndo) state.PauseTiming();
        vm::Undo(side);
        if (!timeUndo) state.ResumeTiming();
        if (timeUndo) state.PauseTiming();
        vm::Redo(side);
        if (timeUndo) state.ResumeTiming();
    }
    state.counters["entries"] = static_cast<double>(side.Count() > 0 ? side.Count() : vm::RowCountOf(side));
    vm::ResetHistory(*side.Space);
}

void ClearAll(vm::TTblObjects& side) { vm::ClearEntries(side, 0, static_cast<std::int32_t>(side.Count()) - 1); }
void DeleteAll(vm::TTblObjects& side) { vm::DeleteEntries(side, 0, static_cast<std::int32_t>(side.Count()) - 1); }

void BM_Undo_ClearAll_65535(benchmark::State& state) { UndoAndRedo(state, true, ClearAll); }
void BM_Redo_ClearAll_65535(benchmark::State& state) { UndoAndRedo(state, false, ClearAll); }
void BM_Undo_DeleteAll_65535(benchmark::State& state) { UndoAndRedo(state, true, DeleteAll); }
void BM_Redo_DeleteAll_65535(benchmark::State& state) { UndoAndRedo(state, false, DeleteAll); }
BENCHMARK(BM_Undo_ClearAll_65535)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redo_ClearAll_65535)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Undo_DeleteAll_65535)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redo_DeleteAll_65535)->Unit(benchmark::kMillisecond);

}  // namespace
