// Rebasing: the mod's changes are worked out entry by entry against the old
// game's file (entries paired by key, repeated keys in order), applied to
// the new game's entries, and the new game's file is written with them
// through the writers that keep every byte they do not change.

#include "documents/ModRebase.h"

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "documents/ModStrings.h"
#include "documents/StringIds.h"
#include "documents/TableIO.h"
#include "platform/Platform.h"

namespace vm {

namespace {

// The writes of a rebase, done only when every file could be read and built.
using PendingWrites = std::vector<std::function<bool(RebaseReport&)>>;

// A file's bytes, written with the others.
void WriteLater(const std::u16string& file, std::string bytes, PendingWrites& writes) {
    writes.push_back([file, bytes = std::move(bytes)](RebaseReport& r) {
        if (!WriteJsonBytes(file, bytes)) {
            r.errors.push_back(platform::ToUtf8(file) + ": the file cannot be written");
            return false;
        }
        r.written.push_back(file);
        return true;
    });
}

// For each entry of b, the entry of a with its key (the n-th of a key with
// the n-th), or -1.
std::vector<std::int64_t> Pair(const std::vector<StringEntry>& a, const std::vector<StringEntry>& b) {
    std::unordered_map<std::u16string, std::deque<std::size_t>> waiting;
    for (std::size_t i = 0; i < a.size(); ++i) waiting[a[i].key].push_back(i);
    std::vector<std::int64_t> of(b.size(), -1);
    for (std::size_t j = 0; j < b.size(); ++j) {
        auto it = waiting.find(b[j].key);
        if (it == waiting.end() || it->second.empty()) continue;
        of[j] = static_cast<std::int64_t>(it->second.front());
        it->second.pop_front();
    }
    return of;
}

// One version of a file's entries. A string file's texts are decoded only
// when the rebase looks at them: most fields are the same bytes in every
// version, and fields of the same bytes hold the same text.
struct Version {
    std::vector<StringEntry> entries;    // keys, ids and fields; texts once decoded
    const JsonDocument* doc = nullptr;   // a string file's; null for a table, whose texts are all there
    std::vector<std::uint16_t> decoded;  // a string file's: per entry, the fields decoded so far

    const std::u16string& Text(std::size_t i, int slot) {
        const auto bit = static_cast<std::uint16_t>(1u << slot);
        if (doc && !(decoded[i] & bit)) {
            decoded[i] |= bit;
            const JsonField& f = doc->Field(doc->objects[i], static_cast<std::uint8_t>(slot));
            DecodeJsonString(doc->Text(f.value), entries[i].text[static_cast<std::size_t>(slot)]);
        }
        return entries[i].text[static_cast<std::size_t>(slot)];
    }
    // Entry i with every text it has.
    const StringEntry& Whole(std::size_t i) {
        for (int slot = 0; slot < StringSlots; ++slot)
            if (entries[i].Has(slot)) Text(i, slot);
        return entries[i];
    }
};

// Whether a's entry i and b's entry j, which both have the field, hold the
// same text in it.
bool SameText(Version& a, std::size_t i, Version& b, std::size_t j, int slot) {
    if (a.doc && b.doc) {
        const auto kind = static_cast<std::uint8_t>(slot);
        if (a.doc->Text(a.doc->Field(a.doc->objects[i], kind).value) ==
            b.doc->Text(b.doc->Field(b.doc->objects[j], kind).value))
            return true;
    }
    return a.Text(i, slot) == b.Text(j, slot);
}

// A string file's entries with their keys, ids and which fields they have.
void KeysOf(const JsonDocument& doc, Version& v) {
    v.doc = &doc;
    v.entries.resize(doc.objects.size());
    v.decoded.assign(doc.objects.size(), 0);
    for (std::size_t i = 0; i < doc.objects.size(); ++i) {
        const JsonObject& o = doc.objects[i];
        StringEntry& e = v.entries[i];
        e.hasId = true;
        e.id = o.id;
        DecodeJsonString(doc.Text(doc.Field(o, JsonFieldKey).value), e.key);
        for (int l = 0; l < JsonLanguageCount; ++l)
            if (doc.Has(o, static_cast<std::uint8_t>(l))) e.present |= static_cast<std::uint16_t>(1u << l);
    }
}

// What the new game's entries become.
struct Plan {
    std::vector<bool> removed;                                                  // per new entry
    std::vector<std::array<std::optional<std::u16string>, StringSlots>> texts;  // per new entry
    std::vector<StringEntry> added;                                             // the mod's, in its order
    bool Empty() const {
        if (!added.empty()) return false;
        for (bool r : removed)
            if (r) return false;
        for (const auto& t : texts)
            for (const auto& s : t)
                if (s) return false;
        return true;
    }
};

Plan MakePlan(Version& old, Version& mod, Version& now, const std::u16string& file, const RebaseOptions& options,
              RebaseReport& report) {
    Plan plan;
    const std::size_t nowCount = now.entries.size(), oldCount = old.entries.size();
    plan.removed.assign(nowCount, false);
    plan.texts.resize(nowCount);
    const std::vector<std::int64_t> oldOfMod = Pair(old.entries, mod.entries),
                                    oldOfNew = Pair(old.entries, now.entries);
    std::vector<std::int64_t> newOfOld(oldCount, -1);
    std::unordered_map<std::u16string, std::deque<std::size_t>> gameAdded;  // new entries of no old one
    for (std::size_t k = 0; k < nowCount; ++k) {
        if (oldOfNew[k] >= 0) newOfOld[static_cast<std::size_t>(oldOfNew[k])] = static_cast<std::int64_t>(k);
        else gameAdded[now.entries[k].key].push_back(k);
    }
    report.modEntries += mod.entries.size();
    for (std::int64_t i : oldOfMod)
        if (i < 0) ++report.unpaired;

    // The mod's text for a slot of new entry k, where the old game had base.
    auto apply = [&](std::size_t k, int slot, const std::u16string& text, const std::u16string* base) {
        const StringEntry& n = now.entries[k];
        const std::u16string* game = n.Has(slot) ? &now.Text(k, slot) : nullptr;
        if (game && *game == text) return;
        const bool gameChanged = game && (!base || *game != *base);
        if (gameChanged) {
            report.conflicts.push_back(
                {file, n.key, slot == UnknownLanguage ? -1 : slot, base ? *base : u"", text, *game});
            if (options.preferGame) return;
        }
        plan.texts[k][static_cast<std::size_t>(slot)] = text;
        ++report.changed;
    };

    std::vector<bool> keptByMod(oldCount, false);
    for (std::size_t j = 0; j < mod.entries.size(); ++j) {
        const StringEntry& m = mod.entries[j];
        if (oldOfMod[j] >= 0) {
            const auto i = static_cast<std::size_t>(oldOfMod[j]);
            keptByMod[i] = true;
            const StringEntry& o = old.entries[i];
            for (int slot = 0; slot < StringSlots; ++slot) {
                if (!m.Has(slot) || (o.Has(slot) && SameText(old, i, mod, j, slot))) continue;
                if (newOfOld[i] < 0) {
                    ++report.unmatched;  // the new game dropped the entry the mod changed
                    break;
                }
                apply(static_cast<std::size_t>(newOfOld[i]), slot, mod.Text(j, slot),
                      o.Has(slot) ? &old.Text(i, slot) : nullptr);
            }
            continue;
        }
        // An entry the mod added; the new game may have added it too.
        auto same = gameAdded.find(m.key);
        if (same != gameAdded.end() && !same->second.empty()) {
            const std::size_t k = same->second.front();
            same->second.pop_front();
            for (int slot = 0; slot < StringSlots; ++slot)
                if (m.Has(slot)) apply(k, slot, mod.Text(j, slot), nullptr);
            continue;
        }
        plan.added.push_back(mod.Whole(j));
        ++report.added;
    }
    // What the mod removed goes from the new game's file too.
    for (std::size_t i = 0; i < oldCount; ++i) {
        if (keptByMod[i] || newOfOld[i] < 0) continue;
        plan.removed[static_cast<std::size_t>(newOfOld[i])] = true;
        ++report.removed;
    }
    return plan;
}

// The string files of the new game and the mod, parsed once: for their ids,
// their entries and (the new game's) the bytes a rebase writes over.
using ParsedFiles = std::map<std::u16string, JsonDocument>;

// A file's entries: a string file's from its document (parsed before, or
// now into own), a table's or a string file that cannot be parsed through
// the mod reader, which says why.
bool ReadEntries(const std::u16string& name, const ParsedFiles& parsed, JsonDocument& own, const RebaseOptions& options,
                 Version& version, RebaseReport& report) {
    if (const auto it = parsed.find(name); it != parsed.end()) {
        KeysOf(it->second, version);
        return true;
    }
    if (FormatOfFileName(name) == FormatJson && LoadJsonStrings(name, -1, options.formats.limits, own)) {
        KeysOf(own, version);
        return true;
    }
    std::vector<StringEntry>& entries = version.entries;
    ModReadOptions read;
    read.formats = options.formats;
    ModStrings s = ReadModStrings({name}, read);
    for (const StringFileProblem& p : s.problems) {
        report.errors.push_back(platform::ToUtf8(s.files[p.file].name) + ": " + p.message);
        return false;
    }
    entries = std::move(s.entries);
    return true;
}

// The ids of the entries a rebase adds: an added entry keeps the mod's id
// when no string file of the new game holds it (and the mod gives it once);
// otherwise it gets one that none of them holds.
struct AddedIds {
    TakenIds game, all;
    std::unordered_map<std::int64_t, int> modCount;
    std::optional<NewIdSource> fresh;

    std::optional<std::int64_t> For(const StringEntry& e) {
        if (e.hasId && !game.Has(e.id) && modCount[e.id] == 1) {
            game.Add(e.id);  // given once
            return e.id;
        }
        return fresh->Next();
    }
};

// The new game's string file with the plan applied, one language column
// at a time.
bool WriteJson(const JsonDocument& newDoc, const std::u16string& newFile, const std::u16string& outFile,
               const Plan& plan, std::size_t nowCount, AddedIds& ids, RebaseReport& report, PendingWrites& writes) {
    JsonDocument doc = newDoc;
    JsonError e;
    // What each object of the document being built stands for: a new
    // game's entry (its index) or an added one (its index in plan.added).
    struct Origin {
        bool added;
        std::size_t index;
    };
    std::vector<Origin> objects;
    for (std::size_t k = 0; k < nowCount; ++k) objects.push_back({false, k});
    // The columns with something to write: the first for what is removed
    // and added, and each that a text changes in.
    bool touched[JsonLanguageCount] = {};
    touched[0] = !plan.added.empty() || std::find(plan.removed.begin(), plan.removed.end(), true) != plan.removed.end();
    for (const auto& texts : plan.texts)
        for (int l = 0; l < JsonLanguageCount; ++l) touched[l] = touched[l] || texts[static_cast<std::size_t>(l)];
    for (const StringEntry& a : plan.added)
        for (int l = 0; l < JsonLanguageCount; ++l) touched[l] = touched[l] || a.Has(l);
    int lastTouched = 0;
    for (int l = 0; l < JsonLanguageCount; ++l)
        if (touched[l]) lastTouched = l;
    for (int language = 0; language < JsonLanguageCount; ++language) {
        if (!touched[language]) continue;
        JsonDocument column;
        if (!ParseJsonStrings(doc.bytes, language, column, &e)) break;
        std::vector<std::u16string> keys, values;
        std::vector<std::uint32_t> origins;
        std::vector<Origin> next;
        bool changed = false;
        for (std::size_t o = 0; o < objects.size(); ++o) {
            const Origin& from = objects[o];
            if (!from.added && plan.removed[from.index]) {
                changed = true;
                continue;
            }
            const std::optional<std::u16string>* text = nullptr;
            std::optional<std::u16string> addedText;
            if (from.added) {
                const StringEntry& a = plan.added[from.index];
                if (a.Has(language)) addedText = a.text[language];
                text = &addedText;
            } else {
                text = &plan.texts[from.index][static_cast<std::size_t>(language)];
            }
            keys.emplace_back(column.column.Key(o));
            values.emplace_back(*text ? DisplayForm(**text) : std::u16string(column.column.Value(o)));
            if (*text && values.back() != column.column.Value(o)) changed = true;
            origins.push_back(static_cast<std::uint32_t>(o + 1));
            next.push_back(from);
        }
        // The added entries become objects with the first column.
        if (language == 0)
            for (std::size_t a = 0; a < plan.added.size(); ++a) {
                keys.push_back(plan.added[a].key);
                values.push_back(DisplayForm(plan.added[a].Has(0) ? plan.added[a].text[0] : u""));
                origins.push_back(0);
                next.push_back({true, a});
                changed = true;
            }
        objects = std::move(next);
        if (!changed) continue;
        JsonWriteRequest request;
        request.base = &column;
        request.language = language;
        std::size_t nextAdded = 0;
        request.newId = [&]() -> std::optional<std::int64_t> {
            if (nextAdded >= plan.added.size()) return std::nullopt;
            return ids.For(plan.added[nextAdded++]);
        };
        std::string bytes;
        const bool built = BuildJsonColumn(
            request,
            [&](std::int32_t i, const char16_t*& key, const char16_t*& value) {
                key = keys[static_cast<std::size_t>(i)].c_str();
                value = values[static_cast<std::size_t>(i)].c_str();
                return true;
            },
            [&](std::int32_t i) { return origins[static_cast<std::size_t>(i)]; },
            static_cast<std::int32_t>(keys.size()), bytes, nullptr, &e);
        if (built && language == lastTouched) {
            doc.bytes = std::move(bytes);  // no column after this one: no need to read it again
            break;
        }
        if (!built || !ParseJsonStrings(std::move(bytes), -1, doc, &e)) {
            report.errors.push_back(platform::ToUtf8(newFile) + ": " + DescribeJsonError(e));
            return false;
        }
    }
    WriteLater(outFile, std::move(doc.bytes), writes);
    return true;
}

// A .tbl or text table: the new game's table with the plan applied, its
// untouched entries keeping their bytes, a .tbl its header.
bool WriteTable(const std::u16string& newFile, const std::u16string& outFile, const Plan& plan,
                const RebaseOptions& options, RebaseReport& report, PendingWrites& writes) {
    const std::int32_t format = FormatOfFileName(newFile) == FormatTbl ? FormatTbl : FormatTabbedText;
    TableLists table;
    LoadReport loaded;
    if (!LoadTableFile(newFile, format, options.formats, table.Keys, table.Values, loaded)) {
        report.errors.push_back(platform::ToUtf8(newFile) + ": the table cannot be read");
        return false;
    }
    auto result = std::make_shared<TableLists>();
    for (std::size_t k = 0; k < table.Count(); ++k) {
        if (plan.removed[k]) continue;
        const std::size_t r = result->Count();
        result->Append(table.Keys.Get(k), table.Values.Get(k));
        std::optional<std::u16string> text;
        for (const auto& t : plan.texts[k])
            if (t) text = t;
        if (text) {
            result->Values.Set(r, DisplayForm(*text));
        } else {
            result->Keys.SetStored(r, table.Keys.Stored(k));
            result->Values.SetStored(r, table.Values.Stored(k));
        }
    }
    for (const StringEntry& a : plan.added)
        for (int slot = 0; slot < StringSlots; ++slot)
            if (a.Has(slot)) {
                result->Append(a.key, DisplayForm(a.text[slot]));
                break;
            }
    FormatOptions out = options.formats;
    if (loaded.tblHeader) out.tbl = TblOptionsOfHeader(*loaded.tblHeader, out.tbl);
    writes.push_back([outFile, format, result, out](RebaseReport& r) {
        SaveReport saved;
        if (!SaveTableFile(outFile, format, result->Keys, result->Values, out, false, {}, saved)) {
            r.errors.push_back(platform::ToUtf8(outFile) + ": the table cannot be written");
            return false;
        }
        r.written.push_back(outFile);
        return true;
    });
    return true;
}

bool CopyFile(const std::u16string& from, const std::u16string& to, const RebaseOptions& options, RebaseReport& report,
              PendingWrites& writes) {
    platform::FileImage image;
    if (platform::ReadWholeFile(from, options.formats.limits.maxFileSize, 0, image) != platform::ReadStatus::Ok) {
        report.errors.push_back(platform::ToUtf8(from) + ": the file cannot be read");
        return false;
    }
    WriteLater(to, std::string(reinterpret_cast<const char*>(image.data.get()), image.size), writes);
    return true;
}

void RebaseFile(const std::u16string& oldFile, const std::u16string& newFile, const std::u16string& modFile,
                const std::u16string& outFile, const ParsedFiles& parsed, AddedIds& ids, const RebaseOptions& options,
                RebaseReport& report, PendingWrites& writes) {
    if (!platform::FileExists(oldFile) || !platform::FileExists(newFile)) {
        // The mod's own file, or one the new game no longer has.
        if (platform::FileExists(oldFile))
            report.warnings.push_back(platform::ToUtf8(modFile) + ": the new game has no such file; copied as it is");
        CopyFile(modFile, outFile, options, report, writes);
        return;
    }
    Version old, mod, now;
    JsonDocument oldDoc, modDoc, newDoc;  // those not parsed before
    if (!ReadEntries(oldFile, parsed, oldDoc, options, old, report) ||
        !ReadEntries(modFile, parsed, modDoc, options, mod, report) ||
        !ReadEntries(newFile, parsed, newDoc, options, now, report))
        return;
    const Plan plan = MakePlan(old, mod, now, NameInFolder(modFile), options, report);
    if (plan.Empty()) {
        CopyFile(newFile, outFile, options, report, writes);  // the new game's bytes
        return;
    }
    if (const auto it = parsed.find(newFile); it != parsed.end())
        WriteJson(it->second, newFile, outFile, plan, now.entries.size(), ids, report, writes);
    else WriteTable(newFile, outFile, plan, options, report, writes);
}

// Parses the string files of game and mod (files or folders; mod may be
// empty) once, for the ids they hold and for what is read of them later.
void ReadIds(const std::u16string& game, const std::u16string& mod, const RebaseOptions& options, AddedIds& ids,
             ParsedFiles& parsed) {
    for (const bool isGame : {true, false}) {
        const std::u16string& place = isGame ? game : mod;
        if (place.empty()) continue;
        const bool folder = platform::FolderExists(place);
        for (const std::u16string& file :
             folder ? platform::FilesInFolder(place) : std::vector<std::u16string>{place}) {
            if (FormatOfFileName(file) != FormatJson) continue;
            const std::u16string name = folder ? platform::JoinPath(place, file) : file;
            JsonDocument doc;
            if (!LoadJsonStrings(name, -1, options.formats.limits, doc)) continue;  // read again below, saying why
            if (isGame) {
                ids.game.Add(doc);
            } else {
                for (const JsonObject& o : doc.objects) ++ids.modCount[o.id];
                ids.all.Add(doc);
            }
            parsed.emplace(name, std::move(doc));
        }
    }
    ids.all.Add(ids.game);
    ids.fresh.emplace(ids.all, ids.all.Empty() ? 1 : ids.all.Highest() + 1);
}

}  // namespace

RebaseReport RebaseMod(const std::u16string& oldGame, const std::u16string& newGame, const std::u16string& mod,
                       const std::u16string& out, const RebaseOptions& options) {
    RebaseReport report;
    const bool folders = platform::FolderExists(mod);
    // New objects get ids no string file of the new game holds, nor the mod.
    AddedIds ids;
    ParsedFiles parsed;
    ReadIds(newGame, mod, options, ids, parsed);
    PendingWrites writes;
    if (!folders) {
        RebaseFile(oldGame, newGame, mod, out, parsed, ids, options, report, writes);
    } else if (!platform::FolderExists(out)) {
        report.errors.push_back(platform::ToUtf8(out) + ": no such folder");
    } else {
        for (const std::u16string& leaf : platform::FilesInFolder(mod)) {
            if (FormatOfFileName(leaf) == 0) continue;
            RebaseFile(platform::JoinPath(oldGame, leaf), platform::JoinPath(newGame, leaf),
                       platform::JoinPath(mod, leaf), platform::JoinPath(out, leaf), parsed, ids, options, report,
                       writes);
        }
    }
    if (report.errors.empty())
        for (const auto& write : writes)
            if (!write(report)) break;
    if (report.modEntries > 0 && report.unpaired * 2 > report.modEntries)
        report.warnings.push_back(
            "most of the mod's changes found no entry in the new game: is the mod based on the "
            "old game given?");
    return report;
}

}  // namespace vm

// ---- Patches ---------------------------------------------------------------

namespace vm {

namespace {

constexpr const char* PatchFormat = "vellumark-patch";

// The name a text's slot has in a patch: a language, or "text" for a table
// whose language nobody named.
std::string SlotName(int slot) { return slot == UnknownLanguage ? "text" : JsonLanguageCodes[slot]; }
int SlotOfName(std::string_view name) {
    if (name == "text") return UnknownLanguage;
    return JsonLanguageIndex(name);
}

using PatchWriter = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

void PutString(PatchWriter& w, const std::u16string& text) {
    const std::string utf8 = platform::ToUtf8(text);
    w.String(utf8.c_str(), static_cast<rapidjson::SizeType>(utf8.size()));
}

// A key, and which of its entries when the file repeats it (from 0).
void PutKey(PatchWriter& w, const std::u16string& key, std::size_t nth) {
    w.Key("Key");
    PutString(w, key);
    if (nth == 0) return;
    w.Key("nth");
    w.Uint64(nth);
}

// The n-th of its key each entry is.
std::vector<std::size_t> NthOfKey(const std::vector<StringEntry>& entries) {
    std::unordered_map<std::u16string, std::size_t> seen;
    std::vector<std::size_t> nth;
    for (const StringEntry& e : entries) nth.push_back(seen[e.key]++);
    return nth;
}

void PatchFile(const std::u16string& name, const std::vector<StringEntry>& old, const std::vector<StringEntry>& now,
               PatchWriter& w) {
    const std::vector<std::int64_t> oldOfNew = Pair(old, now);
    const std::vector<std::size_t> nthNow = NthOfKey(now), nthOld = NthOfKey(old);
    std::vector<bool> kept(old.size(), false);
    w.StartObject();
    w.Key("file");
    PutString(w, name);
    w.Key("set");
    w.StartArray();
    for (std::size_t k = 0; k < now.size(); ++k) {
        if (oldOfNew[k] < 0) continue;
        const StringEntry& o = old[static_cast<std::size_t>(oldOfNew[k])];
        kept[static_cast<std::size_t>(oldOfNew[k])] = true;
        const StringEntry& n = now[k];
        bool open = false;
        for (int slot = 0; slot < StringSlots; ++slot) {
            if (!n.Has(slot) || (o.Has(slot) && o.text[slot] == n.text[slot])) continue;
            if (!open) {
                w.StartObject();
                PutKey(w, n.key, nthNow[k]);
                open = true;
            }
            w.Key(SlotName(slot).c_str());
            PutString(w, n.text[slot]);
        }
        if (open) w.EndObject();
    }
    w.EndArray();
    w.Key("add");
    w.StartArray();
    for (std::size_t k = 0; k < now.size(); ++k) {
        if (oldOfNew[k] >= 0) continue;
        const StringEntry& n = now[k];
        w.StartObject();
        if (n.hasId) {
            w.Key("id");
            w.Int64(n.id);
        }
        w.Key("Key");
        PutString(w, n.key);
        for (int slot = 0; slot < StringSlots; ++slot) {
            if (!n.Has(slot)) continue;
            w.Key(SlotName(slot).c_str());
            PutString(w, n.text[slot]);
        }
        w.EndObject();
    }
    w.EndArray();
    w.Key("remove");
    w.StartArray();
    for (std::size_t i = 0; i < old.size(); ++i) {
        if (kept[i]) continue;
        w.StartObject();
        PutKey(w, old[i].key, nthOld[i]);
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
}

std::u16string TextOf(const rapidjson::Value& v) { return platform::FromUtf8({v.GetString(), v.GetStringLength()}); }

// Reads an entry of a patch into e: its key, which of that key, its texts.
bool ReadPatchEntry(const rapidjson::Value& v, StringEntry& e, std::size_t& nth) {
    if (!v.IsObject() || !v.HasMember("Key") || !v["Key"].IsString()) return false;
    e.key = TextOf(v["Key"]);
    nth = v.HasMember("nth") && v["nth"].IsUint64() ? v["nth"].GetUint64() : 0;
    if (v.HasMember("id") && v["id"].IsInt64()) {
        e.hasId = true;
        e.id = v["id"].GetInt64();
    }
    for (auto m = v.MemberBegin(); m != v.MemberEnd(); ++m) {
        const int slot = SlotOfName({m->name.GetString(), m->name.GetStringLength()});
        if (slot < 0 || !m->value.IsString()) continue;
        e.text[static_cast<std::size_t>(slot)] = TextOf(m->value);
        e.present |= static_cast<std::uint16_t>(1u << slot);
    }
    return true;
}

}  // namespace

bool MakePatch(const std::u16string& old, const std::u16string& now, const FormatOptions& formats, std::string& patch,
               std::string& error) {
    ModReadOptions read;
    read.formats = formats;
    const ModStrings before = ReadModStrings({old}, read), after = ReadModStrings({now}, read);
    for (const ModStrings* s : {&before, &after})
        for (const StringFileProblem& p : s->problems) {
            error = platform::ToUtf8(s->files[p.file].name) + ": " + p.message;
            return false;
        }
    auto entriesOf = [](const ModStrings& s, std::size_t file) {
        std::vector<StringEntry> entries;
        for (const StringEntry& e : s.entries)
            if (e.file == file) entries.push_back(e);
        return entries;
    };
    rapidjson::StringBuffer buffer;
    PatchWriter w(buffer);
    w.StartObject();
    w.Key("format");
    w.String(PatchFormat);
    w.Key("version");
    w.Int(1);
    w.Key("files");
    w.StartArray();
    for (std::size_t f = 0; f < after.files.size(); ++f) {
        const std::u16string name = NameInFolder(after.files[f].name);
        std::vector<StringEntry> previous;
        if (before.files.size() == 1 && after.files.size() == 1) previous = entriesOf(before, 0);
        else
            for (std::size_t g = 0; g < before.files.size(); ++g)
                if (AsciiLowerName(NameInFolder(before.files[g].name)) == AsciiLowerName(name))
                    previous = entriesOf(before, g);
        PatchFile(name, previous, entriesOf(after, f), w);
    }
    w.EndArray();
    w.EndObject();
    patch = std::string(buffer.GetString(), buffer.GetSize()) + "\n";
    return true;
}

RebaseReport ApplyPatch(const std::u16string& patchFile, const std::u16string& target, const std::u16string& out,
                        const RebaseOptions& options, bool strict) {
    RebaseReport report;
    platform::FileImage image;
    if (platform::ReadWholeFile(patchFile, options.formats.limits.maxFileSize, 0, image) != platform::ReadStatus::Ok) {
        report.errors.push_back(platform::ToUtf8(patchFile) + ": the patch cannot be read");
        return report;
    }
    rapidjson::Document patch;
    patch.Parse(reinterpret_cast<const char*>(image.data.get()), image.size);
    if (patch.HasParseError() || !patch.IsObject() || !patch.HasMember("format") || !patch["format"].IsString() ||
        std::string_view(patch["format"].GetString()) != PatchFormat || !patch.HasMember("files") ||
        !patch["files"].IsArray()) {
        report.errors.push_back(platform::ToUtf8(patchFile) + ": not a patch of vellumark-cli diff --patch");
        return report;
    }
    const bool folders = platform::FolderExists(target);
    if (folders && !platform::FolderExists(out)) {
        report.errors.push_back(platform::ToUtf8(out) + ": no such folder");
        return report;
    }
    AddedIds ids;
    ParsedFiles parsed;
    ReadIds(target, u"", options, ids, parsed);
    PendingWrites writes;
    for (const rapidjson::Value& file : patch["files"].GetArray()) {
        if (!file.IsObject() || !file.HasMember("file") || !file["file"].IsString()) continue;
        const std::u16string name = TextOf(file["file"]);
        const std::u16string from = folders ? platform::JoinPath(target, name) : target;
        const std::u16string to = folders ? platform::JoinPath(out, name) : out;
        Version now;
        JsonDocument own;
        if (!ReadEntries(from, parsed, own, options, now, report)) continue;
        // The patched entries, worked out as a mod of the target: a plan
        // from the target to them.
        for (std::size_t k = 0; k < now.entries.size(); ++k) now.Whole(k);
        std::vector<StringEntry> patched = now.entries;
        std::unordered_map<std::u16string, std::vector<std::size_t>> byKey;
        for (std::size_t k = 0; k < patched.size(); ++k) byKey[patched[k].key].push_back(k);
        auto find = [&](const std::u16string& key, std::size_t nth) -> std::int64_t {
            const auto it = byKey.find(key);
            return it == byKey.end() || nth >= it->second.size() ? -1 : static_cast<std::int64_t>(it->second[nth]);
        };
        auto member = [&file](const char* name) -> const rapidjson::Value* {
            return file.HasMember(name) && file[name].IsArray() ? &file[name] : nullptr;
        };
        if (const rapidjson::Value* set = member("set"))
            for (const rapidjson::Value& v : set->GetArray()) {
                StringEntry e;
                std::size_t nth = 0;
                if (!ReadPatchEntry(v, e, nth)) continue;
                const std::int64_t k = find(e.key, nth);
                if (k < 0) {
                    report.missing.push_back(platform::ToUtf8(name) + ": " + platform::ToUtf8(e.key));
                    continue;
                }
                for (int slot = 0; slot < StringSlots; ++slot)
                    if (e.Has(slot)) {
                        patched[static_cast<std::size_t>(k)].text[static_cast<std::size_t>(slot)] = e.text[slot];
                        patched[static_cast<std::size_t>(k)].present |= static_cast<std::uint16_t>(1u << slot);
                    }
            }
        std::vector<bool> gone(patched.size(), false);
        if (const rapidjson::Value* remove = member("remove"))
            for (const rapidjson::Value& v : remove->GetArray()) {
                StringEntry e;
                std::size_t nth = 0;
                if (!ReadPatchEntry(v, e, nth)) continue;
                const std::int64_t k = find(e.key, nth);
                if (k < 0) report.missing.push_back(platform::ToUtf8(name) + ": " + platform::ToUtf8(e.key));
                else gone[static_cast<std::size_t>(k)] = true;
            }
        Version patchedMod;
        std::vector<StringEntry>& mod = patchedMod.entries;
        for (std::size_t k = 0; k < patched.size(); ++k)
            if (!gone[k]) mod.push_back(patched[k]);
        if (const rapidjson::Value* add = member("add"))
            for (const rapidjson::Value& v : add->GetArray()) {
                StringEntry e;
                std::size_t nth = 0;
                if (!ReadPatchEntry(v, e, nth)) continue;
                // A key the target has already: its texts are set instead.
                if (const std::int64_t k = find(e.key, 0); k >= 0 && !gone[static_cast<std::size_t>(k)]) {
                    for (StringEntry& m : mod)
                        if (m.key == e.key) {
                            for (int slot = 0; slot < StringSlots; ++slot)
                                if (e.Has(slot)) {
                                    m.text[static_cast<std::size_t>(slot)] = e.text[slot];
                                    m.present |= static_cast<std::uint16_t>(1u << slot);
                                }
                            break;
                        }
                    continue;
                }
                if (e.hasId) ++ids.modCount[e.id];
                mod.push_back(std::move(e));
            }
        const Plan plan = MakePlan(now, patchedMod, now, name, options, report);
        if (plan.Empty()) {
            CopyFile(from, to, options, report, writes);
            continue;
        }
        if (const auto it = parsed.find(from); it != parsed.end())
            WriteJson(it->second, from, to, plan, now.entries.size(), ids, report, writes);
        else WriteTable(from, to, plan, options, report, writes);
    }
    if (strict && !report.missing.empty())
        report.errors.push_back(std::to_string(report.missing.size()) +
                                " of the patch's keys are not in the target (--strict: nothing written)");
    if (report.errors.empty())
        for (const auto& write : writes)
            if (!write(report)) break;
    return report;
}

}  // namespace vm

namespace vm {

namespace {

// The mod's script: the patch is a JSON object, which is a JavaScript one
// too. Languages an added entry lacks take its English, as the game needs
// every language field.
constexpr const char* D2rmmScript =
    R"(// Made by vellumark-cli diff --patch-d2rmm: sets, adds and removes strings by key.
const patch = %PATCH%;
const languages = ['enUS', 'zhTW', 'deDE', 'esES', 'frFR', 'itIT', 'koKR', 'plPL', 'esMX', 'jaJP', 'ptBR', 'ruRU', 'zhCN'];

function nthOfKey(strings, key, nth) {
  for (const entry of strings) {
    if (entry.Key === key && nth-- === 0) return entry;
  }
  return null;
}

for (const file of patch.files) {
  const path = 'local\\lng\\strings\\' + file.file;
  let strings = D2RMM.readJson(path);
  if (!Array.isArray(strings)) continue;
  for (const change of file.set) {
    const entry = nthOfKey(strings, change.Key, change.nth || 0);
    if (entry == null) {
      console.warn(path + ': no string ' + change.Key);
      continue;
    }
    for (const language of languages) {
      if (typeof change[language] === 'string') entry[language] = change[language];
    }
  }
  const removed = new Set(file.remove.map((r) => nthOfKey(strings, r.Key, r.nth || 0)).filter((e) => e != null));
  strings = strings.filter((entry) => !removed.has(entry));
  for (const added of file.add) {
    const entry = { id: D2RMM.getNextStringID(), Key: added.Key };
    for (const language of languages) entry[language] = added[language] ?? added.enUS ?? '';
    strings.push(entry);
  }
  D2RMM.writeJson(path, strings);
}
)";

}  // namespace

bool WriteD2rmmMod(const std::string& patch, const std::u16string& folder, const std::string& name,
                   std::string& error) {
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("name");
    w.String(name.c_str(), static_cast<rapidjson::SizeType>(name.size()));
    w.Key("description");
    w.String("Strings set, added and removed by key (made by vellumark-cli).");
    w.Key("version");
    w.String("1.0");
    w.EndObject();
    const std::string manifest = std::string(buffer.GetString(), buffer.GetSize()) + "\n";
    std::string script = D2rmmScript;
    script.replace(script.find("%PATCH%"), 7, patch.substr(0, patch.find_last_not_of('\n') + 1));
    const std::pair<const char16_t*, const std::string*> files[] = {{u"mod.json", &manifest}, {u"mod.js", &script}};
    for (const auto& [leaf, bytes] : files) {
        const std::u16string file = platform::JoinPath(folder, leaf);
        if (!WriteJsonBytes(file, *bytes)) {
            error = platform::ToUtf8(file) + ": the file cannot be written";
            return false;
        }
    }
    return true;
}

}  // namespace vm
