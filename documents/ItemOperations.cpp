#include "ItemOperations.h"

#include <algorithm>

namespace vm {

// Negative entry numbers name no entry: they leave the table alone.

void InsertEntries(TTblObjects& p, std::int32_t first, std::int32_t last) {
    if (first >= 0 && last >= first) {
        const auto at = static_cast<std::size_t>(first);
        const auto count = static_cast<std::size_t>(static_cast<std::int64_t>(last) - first + 1);
        p.Keys->EnsureCount(at);
        p.Keys->InsertEmpty(at, count);
        p.Values->InsertEmpty(at, count);
        p.Modified = true;
    }
    p.View->SwitchEditorRow(first, -1);
}

void ClearEntries(TTblObjects& p, std::int32_t first, std::int32_t last) {
    if (last >= 0 && last >= first) {
        const auto from = static_cast<std::size_t>(std::max(first, 0));
        const auto to = static_cast<std::size_t>(last);
        bool changed = p.Count() <= to;
        p.Keys->EnsureCount(to + 1);
        for (std::size_t i = from; i <= to; ++i) {
            if (!p.Keys->Get(i).empty() || !p.Values->Get(i).empty()) changed = true;
            p.Keys->Set(i, {});
            p.Values->Set(i, {});
        }
        if (changed) p.Modified = true;
    }
    p.View->Redraw();
    p.View->SwitchEditorRow(first, -1);
}

void DeleteEntries(TTblObjects& p, std::int32_t first, std::int32_t last) {
    if (first >= 0 && last >= first && static_cast<std::size_t>(first) < p.Count()) {
        const auto at = static_cast<std::size_t>(first);
        const auto count = static_cast<std::size_t>(static_cast<std::int64_t>(last) - first + 1);
        p.Keys->Erase(at, count);
        p.Values->Erase(at, count);
        p.Modified = true;
    }
    p.View->SwitchEditorRow(first, -1);
}

void MoveEntry(TTblObjects& p, std::int32_t from, std::int32_t to) {
    const auto count = static_cast<std::int64_t>(p.Count());
    if (from < 0 || to < 0 || from >= count || to >= count || from == to) return;
    p.Keys->Move(static_cast<std::size_t>(from), static_cast<std::size_t>(to));
    p.Values->Move(static_cast<std::size_t>(from), static_cast<std::size_t>(to));
    p.Modified = true;
}

}  // namespace vm
