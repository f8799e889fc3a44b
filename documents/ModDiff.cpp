// Comparing two versions of a set of string files.

#include "documents/ModDiff.h"

#include <algorithm>
#include <deque>
#include <map>
#include <unordered_map>

namespace vm {

const char* ChangeKindName(ChangeKind kind) {
    switch (kind) {
    case ChangeKind::Added: return "added";
    case ChangeKind::Removed: return "removed";
    case ChangeKind::Moved: return "moved";
    case ChangeKind::Changed: break;
    }
    return "changed";
}

namespace {

// Each file's entries, in order.
std::vector<std::vector<std::size_t>> EntriesByFile(const ModStrings& s) {
    std::vector<std::vector<std::size_t>> byFile(s.files.size());
    for (std::size_t i = 0; i < s.entries.size(); ++i) byFile[s.entries[i].file].push_back(i);
    return byFile;
}

// The positions of a sequence that are not in one of its longest
// increasing runs (the entries that moved, when the rest kept their order).
std::vector<bool> OutOfOrder(const std::vector<std::size_t>& sequence) {
    std::vector<std::size_t> tails;  // index into sequence of the run ending each length
    std::vector<std::size_t> before(sequence.size(), static_cast<std::size_t>(-1));
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        const auto at = std::lower_bound(tails.begin(), tails.end(), sequence[i],
                                         [&](std::size_t t, std::size_t v) { return sequence[t] < v; });
        if (at != tails.begin()) before[i] = *(at - 1);
        if (at == tails.end()) tails.push_back(i);
        else *at = i;
    }
    std::vector<bool> moved(sequence.size(), true);
    for (std::size_t i = tails.empty() ? static_cast<std::size_t>(-1) : tails.back(); i != static_cast<std::size_t>(-1);
         i = before[i])
        moved[i] = false;
    return moved;
}

int LanguageOfSlot(int slot) { return slot == UnknownLanguage ? -1 : slot; }

void DiffFile(const ModStrings& old, const std::vector<std::size_t>* oldEntries, const ModStrings& now,
              const std::vector<std::size_t>* newEntries, const std::u16string& name, int source,
              std::vector<StringChange>& out) {
    static const std::vector<std::size_t> none;
    const std::vector<std::size_t>& a = oldEntries ? *oldEntries : none;
    const std::vector<std::size_t>& b = newEntries ? *newEntries : none;
    auto sourceText = [source](const StringEntry& e) {
        return e.Has(source) ? e.text[source] : e.Has(UnknownLanguage) ? e.text[UnknownLanguage] : std::u16string();
    };
    std::unordered_map<std::u16string, std::deque<std::size_t>> waiting;  // key -> old positions in a
    for (std::size_t i = 0; i < a.size(); ++i) waiting[old.entries[a[i]].key].push_back(i);
    std::vector<bool> matched(a.size(), false);
    std::vector<std::size_t> oldPositions;  // of the matched entries, in b's order
    std::vector<std::size_t> newOfMatch;
    for (std::size_t j = 0; j < b.size(); ++j) {
        const StringEntry& n = now.entries[b[j]];
        auto it = waiting.find(n.key);
        if (it == waiting.end() || it->second.empty()) {
            out.push_back({ChangeKind::Added, name, n.key, -1, {}, sourceText(n), false, true, 0, n.line});
            continue;
        }
        const std::size_t i = it->second.front();
        it->second.pop_front();
        matched[i] = true;
        oldPositions.push_back(i);
        newOfMatch.push_back(j);
        const StringEntry& o = old.entries[a[i]];
        for (int slot = 0; slot < StringSlots; ++slot) {
            const bool had = o.Has(slot), has = n.Has(slot);
            if ((had || has) && (had != has || o.text[slot] != n.text[slot]))
                out.push_back({ChangeKind::Changed, name, n.key, LanguageOfSlot(slot), o.text[slot], n.text[slot], had,
                               has, o.line, n.line});
        }
    }
    const std::vector<bool> moved = OutOfOrder(oldPositions);
    for (std::size_t k = 0; k < moved.size(); ++k) {
        if (!moved[k]) continue;
        const StringEntry& o = old.entries[a[oldPositions[k]]];
        const StringEntry& n = now.entries[b[newOfMatch[k]]];
        out.push_back({ChangeKind::Moved, name, n.key, -1, {}, {}, false, false, o.line, n.line});
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (matched[i]) continue;
        const StringEntry& o = old.entries[a[i]];
        out.push_back({ChangeKind::Removed, name, o.key, -1, sourceText(o), {}, true, false, o.line, 0});
    }
}

}  // namespace

std::vector<StringChange> DiffModStrings(const ModStrings& old, const ModStrings& now, int sourceLanguage) {
    std::vector<StringChange> out;
    const auto oldByFile = EntriesByFile(old), newByFile = EntriesByFile(now);
    // Two single files are one file in two versions, whatever their names.
    if (old.files.size() == 1 && now.files.size() == 1) {
        DiffFile(old, &oldByFile[0], now, &newByFile[0], NameInFolder(now.files[0].name), sourceLanguage, out);
        return out;
    }
    std::map<std::u16string, std::size_t> oldFiles;
    for (std::size_t f = 0; f < old.files.size(); ++f)
        oldFiles.emplace(AsciiLowerName(NameInFolder(old.files[f].name)), f);
    std::vector<bool> paired(old.files.size(), false);
    for (std::size_t f = 0; f < now.files.size(); ++f) {
        const std::u16string leaf = NameInFolder(now.files[f].name);
        const auto it = oldFiles.find(AsciiLowerName(leaf));
        const std::vector<std::size_t>* before = nullptr;
        if (it != oldFiles.end() && !paired[it->second]) {
            paired[it->second] = true;
            before = &oldByFile[it->second];
        }
        DiffFile(old, before, now, &newByFile[f], leaf, sourceLanguage, out);
    }
    for (std::size_t f = 0; f < old.files.size(); ++f)
        if (!paired[f])
            DiffFile(old, &oldByFile[f], now, nullptr, NameInFolder(old.files[f].name), sourceLanguage, out);
    return out;
}

}  // namespace vm
