// Fixing string files: ids are spliced into the file's bytes, texts and
// keys go through the string file writer one language column at a time, so
// that what does not change keeps its bytes.

#include "documents/ModFix.h"

#include <algorithm>
#include <map>
#include <set>

#include "platform/Platform.h"

namespace vm {

namespace {

// What to change in one file, by object.
struct FilePlan {
    std::set<std::uint32_t> trim, renumber;
    std::map<std::uint32_t, std::set<int>> fill;  // object -> languages
};

// New ids replace the old ones' bytes.
std::string Renumbered(const JsonDocument& doc, const std::map<std::uint32_t, std::int64_t>& ids) {
    std::string out;
    std::uint32_t at = 0;
    for (const auto& [object, id] : ids) {
        const JsonSpan span = doc.Field(doc.objects[object], JsonFieldId).value;
        out.append(doc.bytes, at, span.begin - at).append(std::to_string(id));
        at = span.end;
    }
    return out.append(doc.bytes, at, std::string::npos);
}

// One language column rewritten: keys trimmed (with the first column) and
// the planned texts filled from the source column.
bool RewriteColumn(JsonDocument& doc, int language, const JsonColumn& source, const FilePlan& plan, bool trimKeys,
                   FixReport& report, std::string& error) {
    JsonDocument column;
    JsonError e;
    if (!ParseJsonStrings(doc.bytes, language, column, &e)) {
        error = DescribeJsonError(e);
        return false;
    }
    std::vector<std::u16string> keys, values;
    bool changed = false;
    for (std::uint32_t o = 0; o < column.objects.size(); ++o) {
        keys.emplace_back(column.column.Key(o));
        values.emplace_back(column.column.Value(o));
        if (trimKeys && plan.trim.count(o)) {
            keys.back() = TrimmedKey(keys.back());
            changed = true;
            ++report.trimmed;
        }
        const auto fill = plan.fill.find(o);
        if (fill != plan.fill.end() && fill->second.count(language)) {
            values.back() = source.Value(o);
            changed = true;
            ++report.filled;
        }
    }
    if (!changed) return true;
    if (!RewriteJsonColumn(column, keys, values, doc, &e)) {
        error = DescribeJsonError(e);
        return false;
    }
    return true;
}

bool FixFile(const std::u16string& name, const FilePlan& plan, const FixOptions& options, const ReadLimits& limits,
             FixReport& report, std::string& error) {
    JsonDocument doc;
    JsonError e;
    if (!LoadJsonStrings(name, -1, limits, doc, &e)) {
        error = DescribeJsonError(e);
        return false;
    }
    const std::string before = doc.bytes;
    if (options.newIds && !plan.renumber.empty()) {
        std::map<std::uint32_t, std::int64_t> ids;
        for (std::uint32_t o : plan.renumber) {
            const std::optional<std::int64_t> id = options.nextId ? options.nextId() : std::nullopt;
            if (!id) {
                error = "no free id is left";
                return false;
            }
            ids[o] = *id;
        }
        if (!ParseJsonStrings(Renumbered(doc, ids), -1, doc, &e)) {
            error = DescribeJsonError(e);
            return false;
        }
        report.renumbered += ids.size();
    }
    if (!plan.fill.empty() || !plan.trim.empty()) {
        JsonDocument source;
        if (!ParseJsonStrings(doc.bytes, options.from, source, &e)) {
            error = DescribeJsonError(e);
            return false;
        }
        for (int l = 0; l < JsonLanguageCount; ++l) {
            const bool trim = options.trimKeys && l == 0 && !plan.trim.empty();
            const bool fill = std::any_of(plan.fill.begin(), plan.fill.end(),
                                          [l](const auto& object) { return object.second.count(l) > 0; });
            if (!trim && !fill) continue;  // this column stays as it is: no need to read it
            if (!RewriteColumn(doc, l, source.column, plan, options.trimKeys && l == 0, report, error)) return false;
        }
    }
    if (doc.bytes == before) return true;
    platform::WriteError cause = platform::WriteError::None;
    if (!WriteJsonBytes(name, doc.bytes, &cause)) {
        error = "the file cannot be written";
        return false;
    }
    report.written.push_back(name);
    return true;
}

}  // namespace

FixReport FixModStrings(const ModStrings& mod, const std::vector<Finding>& findings, const FixOptions& options,
                        const ReadLimits& limits) {
    // Each string file's entries are its objects in order.
    std::vector<std::size_t> firstEntry(mod.files.size(), 0);
    for (std::size_t i = mod.entries.size(); i-- > 0;) firstEntry[mod.entries[i].file] = i;
    std::map<std::uint32_t, FilePlan> plans;
    std::set<std::int64_t> renumberedIds;
    for (const Finding& f : findings) {
        if (f.entry == Finding::NoEntry) continue;
        const StringEntry& e = mod.entries[f.entry];
        if (mod.files[e.file].kind != StringFileKind::Json) continue;
        const auto object = static_cast<std::uint32_t>(f.entry - firstEntry[e.file]);
        FilePlan& plan = plans[e.file];
        const bool hasSource = e.Has(options.from) && !e.text[options.from].empty();
        if (f.rule == "missing-language" && options.fillMissing && hasSource) plan.fill[object].insert(f.language);
        if (f.rule == "empty-text" && options.fillEmpty && hasSource) plan.fill[object].insert(f.language);
        if (f.rule == "whitespace" && f.language < 0 && options.trimKeys) plan.trim.insert(object);
        // Of the objects that share an id, all but the first get new ones;
        // an id the game holds for another key is given up.
        if (f.rule == "duplicate-id" && options.newIds) {
            const bool keeps = !f.withGame && renumberedIds.insert(e.id).second;
            if (!keeps) plan.renumber.insert(object);
        }
    }
    FixReport report;
    for (const auto& [file, plan] : plans) {
        std::string error;
        if (!FixFile(mod.files[file].name, plan, options, limits, report, error))
            report.errors.push_back(platform::ToUtf8(mod.files[file].name) + ": " + error);
    }
    return report;
}

}  // namespace vm
