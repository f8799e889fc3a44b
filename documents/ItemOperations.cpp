#include "documents/ItemOperations.h"

#include <algorithm>

#include "documents/History.h"
#include "formats/TextHelpers.h"

namespace vm {

// Negative entry numbers name no entry: they leave the table alone. Each
// routine records what it changes as one step of the side's history; a
// step the caller opened around several of them takes them all.

namespace {
// Row current and entries first to last selected: the rows of an operation
// on those entries, before it (at the current row) and after it (at first).
RowPlace Rows(std::int32_t row, std::int32_t first, std::int32_t last) {
    return {row, {first, static_cast<std::int32_t>(static_cast<std::int64_t>(last) - first + 1)}};
}
}  // namespace

void InsertEntries(TTblObjects& p, std::int32_t first, std::int32_t last) {
    if (first >= 0 && last >= first) {
        const auto at = static_cast<std::size_t>(first);
        const auto count = static_cast<std::size_t>(static_cast<std::int64_t>(last) - first + 1);
        HistoryStep step(StepKind::Insert, p, Rows(p.Space->CurrentRow, first, last), static_cast<std::int32_t>(count));
        step.SetAfter(Rows(first, first, last));
        step.Grow(p, at);
        p.Keys->InsertEmpty(at, count);
        p.Values->InsertEmpty(at, count);
        step.Inserted(p, at, count);
    }
    p.View->SwitchEditorRow(first, -1);
}

void ClearEntries(TTblObjects& p, std::int32_t first, std::int32_t last) {
    if (last >= 0 && last >= first) {
        const auto from = static_cast<std::size_t>(std::max(first, 0));
        const auto to = static_cast<std::size_t>(last);
        // Only entries with a change; the rest of the range stays out of
        // the step. An entry that shows empty but keeps the bytes it was
        // read with (a value of a lone carriage return) is written empty
        // once cleared, so it changes.
        const auto blank = [&p](std::size_t i) {
            return p.Keys->Get(i).empty() && p.Values->Get(i).empty() && p.Keys->Stored(i).empty() &&
                   p.Values->Stored(i).empty();
        };
        std::size_t a = from;
        std::size_t b = std::min(to + 1, p.Count());
        while (a < b && blank(a)) ++a;
        while (b > a && blank(b - 1)) --b;
        if (a < b || p.Count() <= to) {
            HistoryStep step(StepKind::Clear, p, Rows(p.Space->CurrentRow, first, last),
                             static_cast<std::int32_t>(to - from + 1));
            step.SetAfter(Rows(first, first, last));
            step.Grow(p, to + 1);
            if (a < b) {
                EntryBlock keys = p.Keys->ClearTexts(a, b - a);
                EntryBlock values = p.Values->ClearTexts(a, b - a);
                step.Replaced(p, a, std::move(keys), std::move(values));
            }
        }
    }
    p.View->Redraw();
    p.View->SwitchEditorRow(first, -1);
}

void DeleteEntries(TTblObjects& p, std::int32_t first, std::int32_t last) {
    if (first >= 0 && last >= first && static_cast<std::size_t>(first) < p.Count()) {
        const auto at = static_cast<std::size_t>(first);
        const auto count = static_cast<std::size_t>(static_cast<std::int64_t>(last) - first + 1);
        HistoryStep step(StepKind::Delete, p, Rows(p.Space->CurrentRow, first, last), static_cast<std::int32_t>(count));
        step.SetAfter(Rows(first, first, last));
        EntryBlock keys = p.Keys->Take(at, count);
        EntryBlock values = p.Values->Take(at, count);
        step.Removed(p, at, std::move(keys), std::move(values));
    }
    p.View->SwitchEditorRow(first, -1);
}

void MoveEntry(TTblObjects& p, std::int32_t from, std::int32_t to) {
    const auto count = static_cast<std::int64_t>(p.Count());
    if (from < 0 || to < 0 || from >= count || to >= count || from == to) return;
    HistoryStep step(StepKind::Move, p, RowPlace::At(from));
    step.SetAfter(RowPlace::At(to));
    p.Keys->Move(static_cast<std::size_t>(from), static_cast<std::size_t>(to));
    p.Values->Move(static_cast<std::size_t>(from), static_cast<std::size_t>(to));
    step.Moved(p, static_cast<std::size_t>(from), static_cast<std::size_t>(to));
}

std::u16string EditorTextToValue(std::u16string_view text) {
    std::u16string out;
    AppendNewlineEscaped(out, text);
    return out;
}

std::u16string ValueToEditorText(std::u16string_view value) {
    std::u16string out(value);
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        if (out[i] == u'\\' && out[i + 1] == u'n') {
            out[i] = u'\r';
            out[i + 1] = u'\n';
            ++i;
        }
    }
    return out;
}

bool ApplyEditedText(TTblObjects& p, TStringList& list, std::int32_t row, std::u16string_view text) {
    if (row < 0) return false;
    const auto i = static_cast<std::size_t>(row);
    if (text == list.Get(i)) return false;
    HistoryStep step(StepKind::Edit, p, RowPlace::At(row));
    step.Changing(p, list, i, text);
    list.Set(i, text, FlagChanged);
    return true;
}

void PasteValue(TTblObjects& p, std::int32_t row, const std::u16string& value) {
    if (row < 0) return;
    const auto i = static_cast<std::size_t>(row);
    HistoryStep step(StepKind::PasteValue, p, RowPlace::At(row));
    step.Changing(p, *p.Values, i);
    p.Values->Set(i, value);
    p.Values->SetStored(i, {});  // a pasted value is a new one, whatever it reads
    p.Values->SetFlag(i, FlagChanged);
}

void ToggleMark(TTblObjects& p, std::int32_t row) {
    if (row < 0 || static_cast<std::size_t>(row) >= p.Count()) return;  // no entry there to mark
    const auto i = static_cast<std::size_t>(row);
    HistoryStep step(StepKind::Mark, p, RowPlace::At(row));
    step.Changing(p, *p.Keys, i);
    p.Keys->SetFlag(i, p.Keys->Flag(i) ^ FlagMarkBit);
}

}  // namespace vm
