#include "documents/ObjectLanguages.h"

#include <vector>

#include "documents/History.h"
#include "documents/ItemOperations.h"
#include "documents/TableFiles.h"
#include "formats/ColorMacros.h"
#include "platform/Platform.h"

namespace vm {

namespace {

// A language field of an object in display form.
std::u16string FieldText(const JsonDocument& doc, const JsonObject& o, int language) {
    std::u16string stored;
    if (!doc.Has(o, static_cast<std::uint8_t>(language)) ||
        !DecodeJsonString(doc.Text(doc.Field(o, static_cast<std::uint8_t>(language)).value), stored))
        return {};
    std::vector<char16_t> display(3 * stored.size() + 9);
    const std::size_t n = ColorCodesToMacrosCounted(stored.data(), stored.size(), display.data());
    return std::u16string(display.data(), n);
}

// The entry of side q tied to the object with this id, or -1.
std::int32_t EntryOfObject(const TTblObjects& q, std::int64_t id) {
    if (!q.Json) return -1;
    for (std::size_t i = 0; i < q.Count(); ++i) {
        const std::uint32_t o = JsonObjectOfEntry(q, i);
        if (o != 0 && o != JsonOriginGone && o <= q.Json->objects.size() && q.Json->objects[o - 1].id == id)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

}  // namespace

bool ReadObjectLanguages(TTblObjects& p, std::int32_t row, ObjectLanguages& out, const ReadLimits& limits) {
    out = ObjectLanguages{};
    for (std::int32_t& e : out.entry) e = -1;
    if (!p.Json || row < 0 || static_cast<std::size_t>(row) >= p.Count()) return false;
    const std::uint32_t object = JsonObjectOfEntry(p, static_cast<std::size_t>(row));
    if (object == 0 || object == JsonOriginGone || object > p.Json->objects.size()) return false;
    const std::int64_t id = p.Json->objects[object - 1].id;

    // The file as it is now: the other side may have saved other columns.
    JsonDocument disk;
    const JsonDocument* doc = p.Json.get();
    const JsonObject* found = &p.Json->objects[object - 1];
    if (LoadJsonStrings(p.JsonFileName, -1, limits, disk)) {
        for (const JsonObject& o : disk.objects)
            if (o.id == id) {
                doc = &disk;
                found = &o;
                break;
            }
    }
    for (int language = 0; language < JsonLanguageCount; ++language)
        out.texts[language] = FieldText(*doc, *found, language);

    out.key = p.Keys->Get(static_cast<std::size_t>(row));
    out.id = id;
    const auto showsFile = [&p](const TTblObjects& q) { return q.Json && q.JsonFileName == p.JsonFileName; };
    for (TTblObjects* q : {p.Other, &p}) {
        if (!showsFile(*q)) continue;
        // What the side keeps for the languages no side shows; the columns
        // shown come after, as they win over a text kept for them.
        for (const auto& [key, text] : q->OtherLanguages)
            if (key.first == id) {
                out.side[key.second] = q;
                out.texts[key.second] = text;
            }
    }
    for (TTblObjects* q : {p.Other, &p}) {
        const std::int32_t entry = q == &p ? row : EntryOfObject(*q, id);
        if (entry < 0 || !showsFile(*q)) continue;
        out.side[q->JsonLanguage] = q;
        out.entry[q->JsonLanguage] = entry;
        out.texts[q->JsonLanguage] = q->Values->Get(static_cast<std::size_t>(entry));
    }
    for (TTblObjects*& side : out.side)
        if (!side) side = &p;
    return true;
}

bool ApplyObjectLanguages(TTblObjects& p, std::int32_t row, const ObjectLanguages& shown,
                          const std::u16string (&texts)[JsonLanguageCount]) {
    bool changed = false;
    HistoryStep step(StepKind::Edit, p, RowPlace::At(row));
    for (int language = 0; language < JsonLanguageCount; ++language) {
        TTblObjects* q = shown.side[language];
        if (!q || texts[language] == shown.texts[language]) continue;
        if (shown.entry[language] >= 0) {
            changed |= ApplyEditedText(*q, *q->Values, shown.entry[language], texts[language]);
            continue;
        }
        step.LanguageChanged(*q, shown.id, language, shown.texts[language], texts[language]);
        q->OtherLanguages[{shown.id, language}] = texts[language];
        changed = true;
    }
    return changed;
}

bool SetOtherLanguages(JsonDocument& doc, const std::map<std::pair<std::int64_t, int>, std::u16string>& texts,
                       JsonError& error) {
    for (int language = 0; language < JsonLanguageCount; ++language) {
        std::map<std::int64_t, const std::u16string*> wanted;
        for (const auto& [key, text] : texts)
            if (key.second == language) wanted[key.first] = &text;
        if (wanted.empty()) continue;
        // The column as the file holds it, with the kept texts in place;
        // the writer changes only the fields that differ.
        JsonDocument column;
        if (!ParseJsonStrings(doc.bytes, language, column, &error)) return false;
        std::vector<std::u16string> keys, values;
        for (std::size_t o = 0; o < column.objects.size(); ++o) {
            const auto it = wanted.find(column.objects[o].id);
            keys.emplace_back(column.column.Key(o));
            values.emplace_back(it != wanted.end() ? *it->second : std::u16string(column.column.Value(o)));
        }
        if (!RewriteJsonColumn(column, keys, values, doc, &error)) return false;
    }
    return true;
}

}  // namespace vm
