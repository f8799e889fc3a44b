#include "ItemOperations.h"

#include <algorithm>

#include "History.h"
#include "formats/CRC.h"

namespace vm {

// Negative entry numbers name no entry: they leave the table alone. Each
// routine records what it changes as one step of the side's history; a
// step the caller opened around several of them takes them all.

void InsertEntries(TTblObjects& p, std::int32_t first, std::int32_t last) {
    if (first >= 0 && last >= first) {
        const auto at = static_cast<std::size_t>(first);
        const auto count = static_cast<std::size_t>(static_cast<std::int64_t>(last) - first + 1);
        HistoryStep step(StepKind::Insert, p, static_cast<std::int32_t>(count));
        step.SetRowAfter(first);
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
            HistoryStep step(StepKind::Clear, p, static_cast<std::int32_t>(to - from + 1));
            step.SetRowAfter(first);
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
        HistoryStep step(StepKind::Delete, p, static_cast<std::int32_t>(count));
        step.SetRowAfter(first);
        EntryBlock keys = p.Keys->Take(at, count);
        EntryBlock values = p.Values->Take(at, count);
        step.Removed(p, at, std::move(keys), std::move(values));
    }
    p.View->SwitchEditorRow(first, -1);
}

void MoveEntry(TTblObjects& p, std::int32_t from, std::int32_t to) {
    const auto count = static_cast<std::int64_t>(p.Count());
    if (from < 0 || to < 0 || from >= count || to >= count || from == to) return;
    HistoryStep step(StepKind::Move, p);
    step.SetBefore({from, {from, 1}});
    step.SetAfter({to, {to, 1}});
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
    // The texts compared many units at a time (the library compares
    // UTF-16 strings a unit at a time, most of an unchanged edit's cost);
    // how far they agree also tells the history what it need not keep.
    const TText old = list.Get(i);
    const std::size_t head = SharedHead(old, text);
    if (head == old.size() && head == text.size()) return false;
    HistoryStep step(StepKind::Edit, p);
    step.SetRowsUnchanged();
    step.Changing(p, list, i, text, head);
    list.Set(i, text, FlagChanged);
    return true;
}

void PasteValue(TTblObjects& p, std::int32_t row, const std::u16string& value) {
    if (row < 0) return;
    const auto i = static_cast<std::size_t>(row);
    HistoryStep step(StepKind::PasteValue, p);
    step.Changing(p, *p.Values, i, value);
    p.Values->Set(i, value);
    p.Values->SetStored(i, {});  // a pasted value is a new one, whatever it reads
    p.Values->SetFlag(i, FlagChanged);
}

void ToggleMark(TTblObjects& p, std::int32_t row) {
    if (row < 0 || static_cast<std::size_t>(row) >= p.Count()) return;  // no entry there to mark
    const auto i = static_cast<std::size_t>(row);
    HistoryStep step(StepKind::Mark, p);
    step.Changing(p, *p.Keys, i, p.Keys->Get(i));  // the text stays
    p.Keys->SetFlag(i, p.Keys->Flag(i) ^ FlagMarkBit);
}

}  // namespace vm
