// Writing string files by splicing: the result is the base file's bytes
// with only what the entries changed replaced, objects in the entries'
// order, and new objects made in the file's own layout.

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <unordered_map>

#include "formats/ColorMacros.h"
#include "formats/JsonStrings.h"
#include "formats/TextHelpers.h"
#include "platform/Platform.h"

namespace vm {

namespace {

constexpr std::uint32_t None = 0xFFFFFFFFu;

void AppendHex(std::string& out, unsigned unit, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(digits[(unit >> shift) & 0xF]);
}

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// A JSON string of the units, escaped as the layout says. False when the
// text holds a high surrogate without its low half: JSON readers refuse
// that, so it cannot be written.
bool AppendString(std::string& out, const char16_t* text, std::size_t length, const JsonLayout& l) {
    out.push_back('"');
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            if (c == u'"') out += "\\\"";
            else if (c == u'\\') out += "\\\\";
            else if (l.asciiEscaped[c]) AppendHex(out, c, l.upperHex);
            else if (c == u'\n') out += "\\n";
            else if (c == u'\t') out += "\\t";
            else if (c == u'\r') out += "\\r";
            else if (c == u'\b') out += "\\b";
            else if (c == u'\f') out += "\\f";
            else if (c < 0x20) AppendHex(out, c, l.upperHex);
            else if (c == u'/' && l.escapeSlash) out += "\\/";
            else out.push_back(static_cast<char>(c));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= length || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            const char16_t low = text[++i];
            if (l.escapeNonAscii) {
                AppendHex(out, c, l.upperHex);
                AppendHex(out, low, l.upperHex);
            } else {
                AppendUtf8(out, 0x10000 + ((static_cast<std::uint32_t>(c) - 0xD800) << 10) + (low - 0xDC00));
            }
            continue;
        }
        const bool privateUse = c >= 0xE000 && c <= 0xF8FF;
        // A lone low surrogate has no UTF-8 form; escaped it reads back as
        // itself.
        if ((c >= 0xDC00 && c <= 0xDFFF) || l.escapeNonAscii || (privateUse && l.escapePrivateUse))
            AppendHex(out, c, l.upperHex);
        else AppendUtf8(out, c);
    }
    out.push_back('"');
    return true;
}

// An object as the writer makes it: where its bytes come from and what to
// put in place of its key and value.
struct Planned {
    enum Kind : std::uint8_t { Base, Loaded, New } kind = Base;
    std::uint32_t object = 0;  // in the base or the loaded document
    bool keyChanged = false;
    bool valueChanged = false;
    std::uint32_t key = 0, keyLength = 0;      // into the text store
    std::uint32_t value = 0, valueLength = 0;  // encoded JSON strings
    std::int64_t id = 0;                       // new objects
};

std::string_view Slice(const std::string& bytes, std::uint32_t begin, std::uint32_t end) {
    return std::string_view(bytes).substr(begin, end - begin);
}

// The object, with the key and the language's value replaced where they
// changed; a language it lacks is added as its last field.
void AppendObject(std::string& out, const JsonDocument& d, const JsonObject& o, const Planned& p,
                  const std::string& store, int language) {
    if (!p.keyChanged && !p.valueChanged) {
        out.append(d.bytes, o.span.begin, o.span.size());
        return;
    }
    struct Cut {
        JsonSpan span;
        std::string_view with;
    };
    Cut cuts[2];
    int n = 0;
    const std::string_view key(store.data() + p.key, p.keyLength);
    const std::string_view value(store.data() + p.value, p.valueLength);
    if (p.keyChanged) cuts[n++] = {d.Field(o, JsonFieldKey).value, key};
    const bool hasValue = d.Has(o, static_cast<std::uint8_t>(language));
    if (p.valueChanged && hasValue) cuts[n++] = {d.Field(o, static_cast<std::uint8_t>(language)).value, value};
    if (n == 2 && cuts[1].span.begin < cuts[0].span.begin) std::swap(cuts[0], cuts[1]);

    std::uint32_t at = o.span.begin;
    for (int i = 0; i < n; ++i) {
        out.append(d.bytes, at, cuts[i].span.begin - at);
        out.append(cuts[i].with);
        at = cuts[i].span.end;
    }
    if (p.valueChanged && !hasValue) {
        // After the last field, separated as this object separates its
        // first two fields.
        const JsonField& first = d.fields[o.firstField];
        const JsonField& second = d.fields[o.firstField + 1];  // id and Key at least
        const JsonField& last = d.fields[o.firstField + o.fieldCount - 1];
        out.append(d.bytes, at, last.value.end - at);
        out.append(Slice(d.bytes, first.value.end, second.name.begin));
        out.push_back('"');
        out += JsonLanguageCodes[language];
        out.push_back('"');
        out.append(Slice(d.bytes, first.name.end, first.value.begin));
        out.append(value);
        at = last.value.end;
    }
    out.append(d.bytes, at, o.span.end - at);
}

// The fields of a new object: in the order of the file's first object when
// that one has them all, otherwise in the game's order.
std::vector<std::uint8_t> NewFieldOrder(const JsonDocument& d) {
    std::vector<std::uint8_t> order;
    if (!d.objects.empty()) {
        const JsonObject& o = d.objects.front();
        for (std::uint32_t f = 0; f < o.fieldCount; ++f) {
            const std::uint8_t kind = d.fields[o.firstField + f].kind;
            if (kind != JsonFieldOther) order.push_back(kind);
        }
    }
    if (order.size() == static_cast<std::size_t>(JsonKnownFieldCount)) return order;
    return {JsonFieldId, JsonFieldKey, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
}

void AppendNewObject(std::string& out, const JsonLayout& l, const std::vector<std::uint8_t>& order, const Planned& p,
                     const std::string& store) {
    out.push_back('{');
    out += l.fieldGap;
    bool first = true;
    for (std::uint8_t kind : order) {
        if (!first) out += l.fieldSeparator;
        first = false;
        out.push_back('"');
        out += kind == JsonFieldId ? "id" : kind == JsonFieldKey ? "Key" : JsonLanguageCodes[kind];
        out.push_back('"');
        out += l.nameSeparator;
        if (kind == JsonFieldId) out += std::to_string(p.id);
        else if (kind == JsonFieldKey) out.append(store, p.key, p.keyLength);
        else out.append(store, p.value, p.valueLength);
    }
    out += l.closingGap;
    out.push_back('}');
}

// How alike two objects are: the known fields both lack or both write the
// same, and far more when the objects are written the same.
int Likeness(const JsonDocument& a, const JsonObject& x, const JsonDocument& b, const JsonObject& y) {
    if (a.Text(x.span) == b.Text(y.span)) return 1000;
    int same = 0;
    for (std::uint8_t kind = 0; kind < JsonKnownFieldCount; ++kind) {
        const bool inA = a.Has(x, kind), inB = b.Has(y, kind);
        if (inA != inB) continue;
        if (!inA || a.Text(a.Field(x, kind).value) == b.Text(b.Field(y, kind).value)) ++same;
    }
    return same;
}

// Which object of base each object of loaded is: the one with the same id.
// Mods repeat ids; among objects sharing an id the most alike pairs are
// made first, so each object finds its own unless another writer changed
// more of it than a key and a language. Identity when they are the same
// file. Objects of loaded that are not the table's own map to none, so
// base's copies of them count as others' objects.
std::vector<std::uint32_t> MapLoadedToBase(const JsonDocument& loaded, const JsonDocument& base,
                                           const std::vector<bool>* owned) {
    std::vector<std::uint32_t> map(loaded.objects.size(), None);
    const auto own = [owned](std::uint32_t i) { return !owned || (i < owned->size() && (*owned)[i]); };
    if (&loaded == &base || loaded.bytes == base.bytes) {
        for (std::uint32_t i = 0; i < map.size(); ++i) map[i] = own(i) ? i : None;
        return map;
    }
    struct Group {
        std::vector<std::uint32_t> loaded, base;
    };
    std::unordered_map<std::int64_t, Group> groups;
    groups.reserve(base.objects.size());
    for (std::uint32_t i = 0; i < base.objects.size(); ++i) groups[base.objects[i].id].base.push_back(i);
    for (std::uint32_t i = 0; i < loaded.objects.size(); ++i) {
        const auto it = groups.find(loaded.objects[i].id);
        if (it != groups.end() && own(i)) it->second.loaded.push_back(i);
    }
    // Beyond this many pairs in one group, objects are paired in order:
    // comparing them all would take quadratic time.
    constexpr std::size_t MaxCompared = 4096;
    struct Pair {
        int likeness;
        std::uint32_t l, b;
    };
    std::vector<Pair> pairs;
    for (auto& [id, g] : groups) {
        if (g.loaded.empty()) continue;
        if (g.loaded.size() == 1 && g.base.size() == 1) {
            map[g.loaded[0]] = g.base[0];
            continue;
        }
        if (g.loaded.size() * g.base.size() > MaxCompared) {
            for (std::size_t k = 0; k < g.loaded.size() && k < g.base.size(); ++k) map[g.loaded[k]] = g.base[k];
            continue;
        }
        pairs.clear();
        for (std::uint32_t l : g.loaded)
            for (std::uint32_t b : g.base)
                pairs.push_back({Likeness(loaded, loaded.objects[l], base, base.objects[b]), l, b});
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](const Pair& x, const Pair& y) { return x.likeness > y.likeness; });
        std::vector<bool> baseTaken(base.objects.size(), false);
        for (const Pair& p : pairs) {
            if (map[p.l] != None || baseTaken[p.b]) continue;
            map[p.l] = p.b;
            baseTaken[p.b] = true;
        }
    }
    return map;
}

bool Equal(const char16_t* a, const char16_t* b) {
    return std::char_traits<char16_t>::length(a) == std::char_traits<char16_t>::length(b) &&
           std::char_traits<char16_t>::compare(a, b, std::char_traits<char16_t>::length(a)) == 0;
}

bool Refuse(JsonError* error, JsonProblem problem, std::int64_t entry, std::string detail = {}) {
    if (error) {
        *error = JsonError{};
        error->problem = problem;
        error->entry = entry;
        error->detail = std::move(detail);
    }
    return false;
}

bool Build(const JsonWriteRequest& request, const TableEntrySource& source, const JsonOriginSource& origin,
           std::int32_t count, std::string& out, std::vector<std::uint32_t>* newOrigins, JsonError* error) {
    out.clear();
    if (!request.base || !source || count < 0 || request.language < 0 || request.language >= JsonLanguageCount)
        return Refuse(error, JsonProblem::WriteFailed, -1, "nothing to write");
    const JsonDocument& base = *request.base;
    const JsonDocument* loadedDoc = request.loaded ? request.loaded : &base;
    // The entries are compared with the column they were read from.
    JsonDocument reread;
    if (loadedDoc->column.language != request.language || loadedDoc->column.items.size() != loadedDoc->objects.size()) {
        if (!ParseJsonStrings(loadedDoc->bytes, request.language, reread))
            return Refuse(error, JsonProblem::WriteFailed, -1, "the document read before cannot be read again");
        loadedDoc = &reread;
    }
    const JsonDocument& loaded = *loadedDoc;
    const JsonLayout& layout = base.layout;
    const std::vector<std::uint32_t> toBase = MapLoadedToBase(loaded, base, request.owned);

    // New ids: the request's, or above the highest id of the file (of the
    // mod's range), worked out when the first new object needs one, so
    // that a file holding the largest id can still be written without new
    // objects.
    constexpr std::int64_t maxId = std::numeric_limits<std::int64_t>::max();
    bool idsChosen = false;
    std::optional<std::int64_t> nextId;
    const auto newId = [&]() -> std::optional<std::int64_t> {
        if (request.newId) return request.newId();
        if (!idsChosen) {
            idsChosen = true;
            std::int64_t highest = std::numeric_limits<std::int64_t>::min();
            for (const JsonObject& o : base.objects)
                if (o.id >= request.firstNewId || request.firstNewId <= 0) highest = std::max(highest, o.id);
            nextId = request.firstNewId > 0 ? request.firstNewId : 1;
            if (highest == maxId) nextId.reset();
            else if (highest != std::numeric_limits<std::int64_t>::min()) nextId = std::max(*nextId, highest + 1);
        }
        const std::optional<std::int64_t> id = nextId;
        if (nextId && *nextId == maxId) nextId.reset();
        else if (nextId) ++*nextId;
        return id;
    };

    std::string store;  // encoded keys and values of the changed and new objects
    std::vector<Planned> plan;
    plan.reserve(static_cast<std::size_t>(count));
    std::vector<std::uint32_t> entryOf;  // the plan item of each entry, None when not written
    entryOf.reserve(static_cast<std::size_t>(count));
    std::vector<bool> usedLoaded(loaded.objects.size(), false);
    std::vector<char16_t> stored;

    auto encode = [&](const char16_t* text, bool display, std::uint32_t& at, std::uint32_t& length) {
        std::size_t units = std::char_traits<char16_t>::length(text);
        if (display) {
            stored.resize(units + 1);
            units = MacrosToColorCodes(text, stored.data(), units, true);
            text = stored.data();
        }
        at = static_cast<std::uint32_t>(store.size());
        if (!AppendString(store, text, units, layout)) return false;
        length = static_cast<std::uint32_t>(store.size() - at);
        return true;
    };

    for (std::int32_t i = 0; i < count; ++i) {
        const char16_t* key = nullptr;
        const char16_t* value = nullptr;
        if (!source(i, key, value)) return Refuse(error, JsonProblem::WriteFailed, i, "the table could not be read");
        if (!key) key = u"";
        if (!value) value = u"";
        const std::uint32_t from = origin ? origin(i) : 0;
        if (from == JsonOriginGone) {
            entryOf.push_back(None);
            continue;
        }

        Planned p;
        bool known = from >= 1 && from <= loaded.objects.size() && !usedLoaded[from - 1];
        if (known) {
            const std::uint32_t d = from - 1;
            usedLoaded[d] = true;
            p.keyChanged = !Equal(key, loaded.column.Key(d));
            p.valueChanged = !Equal(value, loaded.column.Value(d));
            if (toBase[d] != None) {
                p.kind = Planned::Base;
                p.object = toBase[d];
            } else if (p.keyChanged || p.valueChanged) {
                // Its object was removed from the file since the entries
                // were read; an entry changed here brings it back.
                p.kind = Planned::Loaded;
                p.object = d;
            } else {
                entryOf.push_back(None);
                continue;
            }
        } else {
            p.kind = Planned::New;
            p.keyChanged = p.valueChanged = true;
            const std::optional<std::int64_t> id = newId();
            if (!id) return Refuse(error, JsonProblem::WriteFailed, i, "no id is left for a new object");
            p.id = *id;
        }
        if (p.keyChanged && !encode(key, false, p.key, p.keyLength))
            return Refuse(error, JsonProblem::UnpairedSurrogate, i);
        if (p.valueChanged && !encode(value, true, p.value, p.valueLength))
            return Refuse(error, JsonProblem::UnpairedSurrogate, i);
        entryOf.push_back(static_cast<std::uint32_t>(plan.size()));
        plan.push_back(p);
    }

    // Objects of the base file that no loaded object is: added by someone
    // else since. Each stays after the object that it followed there.
    std::vector<bool> isLoaded(base.objects.size(), false), kept(base.objects.size(), false);
    for (std::uint32_t b : toBase)
        if (b != None) isLoaded[b] = true;
    for (const Planned& p : plan)
        if (p.kind == Planned::Base) kept[p.object] = true;
    std::vector<std::uint32_t> front;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> after;
    std::uint32_t anchor = None;
    for (std::uint32_t b = 0; b < base.objects.size(); ++b) {
        if (kept[b]) anchor = b;
        else if (!isLoaded[b]) (anchor == None ? front : after[anchor]).push_back(b);
    }

    // The result: the base file's bytes up to its first object, the
    // objects with the gaps the base file has at those positions (the
    // layout's gap beyond them), and the base file's bytes after its last
    // object.
    const std::vector<std::uint8_t> order = NewFieldOrder(base);
    const std::size_t m = base.objects.size();
    out.reserve(base.bytes.size() + store.size() + store.size() / 2 + 64);
    std::size_t written = 0;
    auto gapBefore = [&] {
        if (written == 0) {
            if (m > 0) out.append(base.bytes, 0, base.objects.front().span.begin);
            else out.append(base.bytes, 0, base.arrayOpen + 1), out += layout.firstGap;
        } else if (written < m) {
            out.append(Slice(base.bytes, base.objects[written - 1].span.end, base.objects[written].span.begin));
        } else {
            out += layout.objectGap;
        }
        ++written;
    };
    auto emitBase = [&](std::uint32_t b) {
        gapBefore();
        out.append(base.bytes, base.objects[b].span.begin, base.objects[b].span.size());
    };
    std::vector<std::uint32_t> position(plan.size(), 0);
    for (std::uint32_t b : front) emitBase(b);
    for (std::size_t k = 0; k < plan.size(); ++k) {
        const Planned& p = plan[k];
        gapBefore();
        position[k] = static_cast<std::uint32_t>(written);
        if (p.kind == Planned::New) AppendNewObject(out, layout, order, p, store);
        else if (p.kind == Planned::Base) AppendObject(out, base, base.objects[p.object], p, store, request.language);
        else AppendObject(out, loaded, loaded.objects[p.object], p, store, request.language);
        if (p.kind == Planned::Base) {
            if (const auto it = after.find(p.object); it != after.end())
                for (std::uint32_t b : it->second) emitBase(b);
        }
    }
    if (written == 0) {
        if (m > 0) {
            out.append(base.bytes, 0, base.arrayOpen + 1);
            out += layout.lineEnd;
            out.append(base.bytes, base.arrayClose, std::string::npos);
        } else {
            out = base.bytes;
        }
    } else if (m > 0) {
        out.append(base.bytes, base.objects.back().span.end, std::string::npos);
    } else {
        out += layout.lastGap;
        out.append(base.bytes, base.arrayClose, std::string::npos);
    }

    if (newOrigins) {
        newOrigins->assign(static_cast<std::size_t>(count), 0);
        for (std::size_t i = 0; i < entryOf.size(); ++i)
            (*newOrigins)[i] = entryOf[i] == None ? JsonOriginGone : position[entryOf[i]];
    }
    return true;
}

}  // namespace

bool BuildJsonColumn(const JsonWriteRequest& request, const TableEntrySource& source, const JsonOriginSource& origin,
                     std::int32_t count, std::string& out, std::vector<std::uint32_t>* newOrigins, JsonError* error) {
    try {
        return Build(request, source, origin, count, out, newOrigins, error);
    } catch (const std::bad_alloc&) {
        out.clear();
        out.shrink_to_fit();
        return Refuse(error, JsonProblem::WriteFailed, -1, "not enough memory");
    } catch (const std::length_error&) {
        out.clear();
        out.shrink_to_fit();
        return Refuse(error, JsonProblem::WriteFailed, -1, "not enough memory");
    }
}

bool WriteJsonBytes(const std::u16string& fileName, std::string_view bytes, platform::WriteError* cause) {
    using platform::WriteError;
    platform::AtomicFileWriter file;
    const bool ok = !fileName.empty() && file.Open(fileName) && file.Write(bytes.data(), bytes.size()) && file.Commit();
    if (cause)
        *cause = ok                                 ? WriteError::None
                 : fileName.empty()                 ? WriteError::BadName
                 : file.Error() != WriteError::None ? file.Error()
                                                    : WriteError::Other;
    return ok;
}

bool WriteJsonColumn(const std::u16string& fileName, const JsonWriteRequest& request, const TableEntrySource& source,
                     const JsonOriginSource& origin, std::int32_t count, std::vector<std::uint32_t>* newOrigins,
                     JsonError* error) {
    // A failed write names its cause.
    const auto failed = [error](platform::WriteError cause, const char* detail) {
        Refuse(error, JsonProblem::WriteFailed, -1, detail);
        if (error) error->cause = cause;
        return false;
    };
    if (fileName.empty()) return failed(platform::WriteError::BadName, "no file name");
    std::string bytes;
    if (!BuildJsonColumn(request, source, origin, count, bytes, newOrigins, error)) return false;
    platform::WriteError cause = platform::WriteError::None;
    if (!WriteJsonBytes(fileName, bytes, &cause)) return failed(cause, "the file or its folder cannot be written");
    return true;
}

bool RewriteJsonColumn(const JsonDocument& column, const std::vector<std::u16string>& keys,
                       const std::vector<std::u16string>& values, JsonDocument& doc, JsonError* error) {
    JsonWriteRequest request;
    request.base = &column;
    request.language = column.column.language;
    std::string bytes;
    const bool built = BuildJsonColumn(
        request,
        [&](std::int32_t i, const char16_t*& key, const char16_t*& value) {
            key = keys[static_cast<std::size_t>(i)].c_str();
            value = values[static_cast<std::size_t>(i)].c_str();
            return true;
        },
        [](std::int32_t i) { return static_cast<std::uint32_t>(i + 1); }, static_cast<std::int32_t>(keys.size()), bytes,
        nullptr, error);
    return built && ParseJsonStrings(std::move(bytes), -1, doc, error);
}

JsonDocument EmptyJsonDocument() {
    JsonDocument doc;
    ParseJsonStrings("\xEF\xBB\xBF[\r\n]\r\n", -1, doc);
    return doc;
}

}  // namespace vm
