// Checking the open tables among the files of their folders.

#include "documents/OpenCheck.h"

#include <algorithm>

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

// A side's string file: the objects as loaded, the side's keys and its
// column's texts as they are now. A row of no object yet will be a new
// object with every language holding its text.
void AddJsonSide(const TTblObjects& p, OpenCheck& check) {
    ModStrings& out = check.strings;
    ModStrings loaded;
    AddJsonEntries(p.FileName, *p.Json, loaded);
    const auto fileIndex = static_cast<std::uint32_t>(out.files.size());
    out.files.push_back(loaded.files[0]);
    const int l = p.JsonLanguage;
    for (std::size_t i = 0; i < p.Count(); ++i) {
        const std::uint32_t o = JsonObjectOfEntry(p, i);
        std::u16string text = StoredForm(p.Values->Get(i));
        StringEntry e;
        if (o > 0 && o != JsonOriginGone && o <= loaded.entries.size()) {
            e = loaded.entries[o - 1];
        } else {
            e.text.fill(text);
            e.present = (1u << JsonLanguageCount) - 1;
        }
        e.file = fileIndex;
        e.key = p.Keys->Get(i);
        e.text[l] = std::move(text);
        e.present |= static_cast<std::uint16_t>(1u << l);
        out.entries.push_back(std::move(e));
        check.sideOf.push_back(static_cast<std::int8_t>(p.Side));
        check.rowOf.push_back(static_cast<std::int32_t>(i));
    }
}

void AddTableSide(const TTblObjects& p, OpenCheck& check) {
    const int language = LanguageOfFile(p.FileName);
    const std::size_t first = check.strings.entries.size();
    AddTableEntries(p.FileName, TableKindOf(p.FileName), ClassicRankOf(p.FileName), language >= 0 ? language : 0,
                    *p.Keys, *p.Values, check.strings);
    for (std::size_t i = first; i < check.strings.entries.size(); ++i) {
        check.sideOf.push_back(static_cast<std::int8_t>(p.Side));
        check.rowOf.push_back(static_cast<std::int32_t>(i - first));
    }
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
    check.sideOf.clear();
    check.rowOf.clear();
    const ModStrings& disk = check.disk;
    // The files no side shows, as read.
    std::vector<std::int64_t> newIndex(disk.files.size(), -1);
    for (std::size_t f = 0; f < disk.files.size(); ++f) {
        if (SideShowing(ws, disk.files[f].name)) continue;
        newIndex[f] = static_cast<std::int64_t>(out.files.size());
        out.files.push_back(disk.files[f]);
    }
    for (const StringEntry& e : disk.entries) {
        if (newIndex[e.file] < 0) continue;
        out.entries.push_back(e);
        out.entries.back().file = static_cast<std::uint32_t>(newIndex[e.file]);
        check.sideOf.push_back(-1);
        check.rowOf.push_back(-1);
    }
    for (const StringFileProblem& p : disk.problems)
        if (newIndex[p.file] >= 0)
            out.problems.push_back({static_cast<std::uint32_t>(newIndex[p.file]), p.line, p.encoding, p.message});
    // The sides' tables as they are now.
    for (const TTblObjects& p : ws.sides) {
        if (p.FileName.empty()) continue;
        if (p.Json && SameFileName(p.JsonFileName, p.FileName)) AddJsonSide(p, check);
        else AddTableSide(p, check);
    }
    check.findings = CheckModStrings(out, nullptr, check.options);
}

FindingPlace PlaceOfFinding(const OpenCheck& check, const Finding& f) {
    FindingPlace place;
    if (f.entry == Finding::NoEntry || f.entry >= check.strings.entries.size()) return place;
    place.side = check.sideOf[f.entry];
    place.row = check.rowOf[f.entry];
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

}  // namespace vm
