// Checking the open tables among the files of their folders.

#include "documents/OpenCheck.h"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_map>

#include "documents/History.h"
#include "documents/TableFiles.h"
#include "platform/Platform.h"

namespace vm {

namespace {

// What to read for a side's file: a string file's or classic table's
// folder, anything else alone.
std::u16string InputOf(const std::u16string& fileName) {
    const StringFileKind kind = FormatOfFileName(fileName) == FormatJson ? StringFileKind::Json : TableKindOf(fileName);
    if (kind == StringFileKind::Json || (kind == StringFileKind::Tbl && ClassicRankOf(fileName) >= 0))
        return platform::DirectoryOf(fileName);
    return fileName;
}

const TTblObjects* SideShowing(const Workspace& ws, const std::u16string& name) {
    for (const TTblObjects& p : ws.sides)
        if (!p.FileName.empty() && SameFileName(p.FileName, name)) return &p;
    return nullptr;
}

// Entry i of p's table in its string file: the object it is tied to as
// loaded, with the side's key and its column's text as they are now. A row
// of no object yet will be a new object with every language holding its
// text.
StringEntry JsonSideEntry(const TTblObjects& p, const ModStrings& loaded, std::size_t i) {
    const std::uint32_t o = JsonObjectOfEntry(p, i);
    std::u16string text = StoredForm(p.Values->Get(i));
    StringEntry e;
    if (o > 0 && o != JsonOriginGone && o <= loaded.entries.size()) {
        e = loaded.entries[o - 1];
    } else {
        e.text.fill(text);
        e.present = (1u << JsonLanguageCount) - 1;
    }
    e.key = p.Keys->Get(i);
    // A field the object lacks reads as empty, and stays missing when the
    // side leaves it empty (a save writes only what changed).
    if (!text.empty()) e.present |= static_cast<std::uint16_t>(1u << p.JsonLanguage);
    e.text[p.JsonLanguage] = std::move(text);
    return e;
}

void Push(OpenCheck& check, StringEntry&& e, std::uint32_t file, int side, std::size_t row) {
    e.file = file;
    check.strings.entries.push_back(std::move(e));
    std::array<std::int32_t, 2> rows{-1, -1};
    if (side >= 0) rows[side] = static_cast<std::int32_t>(row);
    check.rowsOf.push_back(rows);
}

// A string file one side or both show (in two languages): p's rows, with
// q's column joined to them object by object. Sides that read the file at
// different times (the other saved since) are joined by id and key.
void AddJsonSides(const TTblObjects& p, const TTblObjects* q, OpenCheck& check) {
    ModStrings loaded;
    AddJsonEntries(p.FileName, *p.Json, loaded);
    const auto file = static_cast<std::uint32_t>(check.strings.files.size());
    check.strings.files.push_back(loaded.files[0]);
    const std::size_t first = check.strings.entries.size();
    // The entry of each of p's objects.
    std::unordered_map<std::uint32_t, std::size_t> ofObject;
    for (std::size_t i = 0; i < p.Count(); ++i) {
        const std::uint32_t o = JsonObjectOfEntry(p, i);
        if (o > 0 && o != JsonOriginGone) ofObject[o] = check.strings.entries.size();
        Push(check, JsonSideEntry(p, loaded, i), file, p.Side, i);
    }
    if (!q) return;
    const bool sameRead = q->Json == p.Json || q->Json->bytes == p.Json->bytes;
    ModStrings other;
    if (!sameRead) AddJsonEntries(q->FileName, *q->Json, other);
    // Otherwise: the first of p's entries with the object's id and key.
    std::unordered_multimap<std::int64_t, std::size_t> byId;
    if (!sameRead)
        for (std::size_t i = first; i < check.strings.entries.size(); ++i)
            if (check.strings.entries[i].line > 0) byId.emplace(check.strings.entries[i].id, i);
    for (std::size_t r = 0; r < q->Count(); ++r) {
        const std::uint32_t o = JsonObjectOfEntry(*q, r);
        const bool tied = o > 0 && o != JsonOriginGone;
        std::optional<std::size_t> joined;
        if (tied && sameRead) {
            if (const auto it = ofObject.find(o); it != ofObject.end()) joined = it->second;
        } else if (tied && o <= other.entries.size()) {
            const StringEntry& mine = other.entries[o - 1];
            for (auto [it, end] = byId.equal_range(mine.id); it != end; ++it)
                if (check.strings.entries[it->second].key == mine.key || !joined) joined = it->second;
        }
        StringEntry e = JsonSideEntry(*q, sameRead ? loaded : other, r);
        if (!joined || check.rowsOf[*joined][q->Side] >= 0) {
            Push(check, std::move(e), file, q->Side, r);
            continue;
        }
        StringEntry& into = check.strings.entries[*joined];
        const std::uint16_t bit = static_cast<std::uint16_t>(1u << q->JsonLanguage);
        into.present = static_cast<std::uint16_t>((into.present & ~bit) | (e.present & bit));
        into.text[q->JsonLanguage] = std::move(e.text[q->JsonLanguage]);
        check.rowsOf[*joined][q->Side] = static_cast<std::int32_t>(r);
    }
}

void AddTableSide(const TTblObjects& p, OpenCheck& check) {
    const int language = LanguageOfFile(p.FileName);
    const std::size_t first = check.strings.entries.size();
    AddTableEntries(p.FileName, TableKindOf(p.FileName), ClassicRankOf(p.FileName), language >= 0 ? language : 0,
                    *p.Keys, *p.Values, check.strings);
    for (std::size_t i = first; i < check.strings.entries.size(); ++i) {
        std::array<std::int32_t, 2> rows{-1, -1};
        rows[p.Side] = static_cast<std::int32_t>(i - first);
        check.rowsOf.push_back(rows);
    }
}

bool ShowsJson(const TTblObjects& p) { return p.Json && SameFileName(p.JsonFileName, p.FileName); }

// A side's file, with the other side's when it shows the same string file.
void AddSide(const TTblObjects& p, OpenCheck& check) {
    const TTblObjects& other = *p.Other;
    const bool both = ShowsJson(p) && ShowsJson(other) && SameFileName(p.FileName, other.FileName);
    if (ShowsJson(p)) AddJsonSides(p, both ? &other : nullptr, check);
    else AddTableSide(p, check);
}

}  // namespace

bool SameFileName(const std::u16string& a, const std::u16string& b) {
#ifdef _WIN32
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] == u'/' ? u'\\' : a[i], y = b[i] == u'/' ? u'\\' : b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
        if (x != y) return false;
    }
    return true;
#else
    return a == b;
#endif
}

void RunOpenCheck(const Workspace& ws, const CheckOptions& options, OpenCheck& check) {
    check.inputs.clear();
    for (const TTblObjects& p : ws.sides) {
        if (p.FileName.empty()) continue;
        const std::u16string input = InputOf(p.FileName);
        if (std::none_of(check.inputs.begin(), check.inputs.end(),
                         [&](const std::u16string& i) { return SameFileName(i, input); }))
            check.inputs.push_back(input);
    }
    ModReadOptions read;
    read.formats = ws.options.formats;
    check.disk = ReadModStrings(check.inputs, read);
    check.options = options;
    RecheckOpen(ws, check);
}

void RecheckOpen(const Workspace& ws, OpenCheck& check) {
    ModStrings& out = check.strings;
    out = ModStrings{};
    check.rowsOf.clear();
    const ModStrings& disk = check.disk;
    // Each file's entries lie together, in the order of the files.
    std::vector<std::size_t> firstEntry(disk.files.size() + 1, disk.entries.size());
    for (std::size_t i = disk.entries.size(); i-- > 0;) firstEntry[disk.entries[i].file] = i;
    for (std::size_t f = disk.files.size(); f-- > 0;) firstEntry[f] = std::min(firstEntry[f], firstEntry[f + 1]);
    // The files in the order they were read, a side's table in place of
    // the file it shows; then the sides' files the folders do not hold.
    bool laidOver[2] = {false, false};
    auto layOver = [&](const TTblObjects& p) {
        laidOver[p.Side] = true;
        // One file on both sides is laid over once.
        if (SameFileName(p.FileName, p.Other->FileName)) laidOver[p.Other->Side] = true;
        AddSide(p, check);
    };
    for (std::size_t f = 0; f < disk.files.size(); ++f) {
        if (const TTblObjects* p = SideShowing(ws, disk.files[f].name)) {
            if (!laidOver[p->Side]) layOver(*p);
            continue;
        }
        const auto index = static_cast<std::uint32_t>(out.files.size());
        out.files.push_back(disk.files[f]);
        for (std::size_t i = firstEntry[f]; i < firstEntry[f + 1]; ++i) {
            out.entries.push_back(disk.entries[i]);
            out.entries.back().file = index;
            check.rowsOf.push_back({-1, -1});
        }
        for (const StringFileProblem& problem : disk.problems)
            if (problem.file == f) out.problems.push_back({index, problem.line, problem.encoding, problem.message});
    }
    for (const TTblObjects& p : ws.sides)
        if (!p.FileName.empty() && !laidOver[p.Side]) layOver(p);
    for (const TTblObjects& p : ws.sides) check.languageOf[p.Side] = ShowsJson(p) ? p.JsonLanguage : -1;
    check.findings = CheckModStrings(out, nullptr, check.options);
}

FindingPlace PlaceOfFinding(const OpenCheck& check, const Finding& f) {
    FindingPlace place;
    if (f.entry == Finding::NoEntry || f.entry >= check.strings.entries.size()) return place;
    // The side showing the finding's language, else either that shows it.
    const std::array<std::int32_t, 2>& rows = check.rowsOf[f.entry];
    for (int side = 0; side < 2; ++side) {
        if (rows[side] < 0) continue;
        const bool language = check.languageOf[side] == f.language;
        if (place.side < 0 || language) {
            place.side = side;
            place.row = rows[side];
        }
    }
    const StringEntry& e = check.strings.entries[f.entry];
    place.file = check.strings.files[e.file].name;
    if (place.side < 0) {
        // A file's entries are its objects (or rows) in order.
        std::size_t first = f.entry;
        while (first > 0 && check.strings.entries[first - 1].file == e.file) --first;
        place.objectRow = static_cast<std::int32_t>(f.entry - first);
    }
    return place;
}

OpenFixCount FixOpenFindings(Workspace& ws, const OpenCheck& check, const std::vector<std::size_t>& indexes, int from) {
    OpenFixCount count;
    // What each side is to change: row -> the new value or key.
    struct Change {
        std::int32_t row;
        bool key;
        std::u16string text;
    };
    std::vector<Change> changes[2];
    for (std::size_t index : indexes) {
        const Finding& f = check.findings[index];
        if (f.entry == Finding::NoEntry) {
            ++count.left;
            continue;
        }
        const StringEntry& e = check.strings.entries[f.entry];
        const std::array<std::int32_t, 2>& rows = check.rowsOf[f.entry];
        bool fixed = false;
        for (int s = 0; s < 2; ++s) {
            if (rows[s] < 0) continue;
            // A text on the side that shows its language; a key on every
            // side that shows it (one file on both sides has one key).
            if ((f.rule == "missing-language" || f.rule == "empty-text") && e.Has(from) && !e.text[from].empty() &&
                check.languageOf[s] == f.language) {
                changes[s].push_back({rows[s], false, DisplayForm(e.text[from])});
                fixed = true;
            } else if (f.rule == "whitespace" && f.language < 0) {
                changes[s].push_back({rows[s], true, TrimmedKey(e.key)});
                fixed = true;
            }
        }
        ++(fixed ? count.fixed : count.left);
    }
    for (int s = 0; s < 2; ++s) {
        if (changes[s].empty()) continue;
        TTblObjects& p = ws.sides[s];
        HistoryStep step(StepKind::Fix, p, RowPlace::At(ws.CurrentRow), static_cast<std::int32_t>(changes[s].size()));
        for (const Change& c : changes[s]) {
            const auto row = static_cast<std::size_t>(c.row);
            TStringList& list = c.key ? *p.Keys : *p.Values;
            step.Changing(p, list, row);
            list.Set(row, c.text);
            list.SetStored(row, {});
            list.SetFlag(row, FlagChanged);
        }
    }
    return count;
}

}  // namespace vm
