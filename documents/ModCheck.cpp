// The rules of the mod-wide check. Rules on one entry look at its key and
// its texts; rules across files group the entries by id and by key.

#include "documents/ModCheck.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "platform/Platform.h"

namespace vm {

const std::vector<CheckRule> CheckRules = {
    {"duplicate-id", Severity::Error, "one id in two objects, in one file, across the folder or with the game's"},
    {"duplicate-key", Severity::Warning, "one key in two files or twice in one file"},
    {"missing-language", Severity::Error, "an object without one of the 13 language fields"},
    {"empty-text", Severity::Warning, "a language is empty where the source has text"},
    {"same-as-source", Severity::Info, "a language's text equals the source's"},
    {"placeholders", Severity::Error, "the placeholders (%d %i %s %u %+d %%) differ from the source's"},
    {"colour-codes", Severity::Warning, "a colour code the game does not have, or not as many as the source"},
    {"line-breaks", Severity::Warning, "not as many line breaks as the source"},
    {"whitespace", Severity::Error, "spaces or tabs around a key (error), around a value or doubled (info)"},
    {"gender-markers", Severity::Warning, "a gender marker the language does not use"},
    {"encoding", Severity::Error, "a replacement character, UTF-8 read as ANSI, a file not in UTF-8"},
    {"zh-variants", Severity::Warning, "zhTW equal to zhCN where the source differs from both"},
    {"missing-key", Severity::Error, "a key the game's data tables name that no strings file defines"},
    {"unreadable", Severity::Error, "a file that cannot be read as what its name says"},
};

const std::vector<GenderMarkerSet> GenderMarkerSets = {
    {2, {u"[ms]", u"[fs]", u"[ns]", u"[pl]"}},   // deDE
    {11, {u"[ms]", u"[fs]", u"[ns]", u"[pl]"}},  // ruRU
    {3, {u"[mp]", u"[fp]"}},                     // esES
    {8, {u"[mp]", u"[fp]"}},                     // esMX
    {4, {u"[mp]", u"[fp]"}},                     // frFR
    {5, {u"[mp]", u"[fp]"}},                     // itIT
    {10, {u"[mp]", u"[fp]"}},                    // ptBR
    {7, {u"[nl]"}},                              // plPL
};

const char* SeverityName(Severity s) {
    return s == Severity::Error ? "error" : s == Severity::Warning ? "warning" : "info";
}

const CheckRule* FindCheckRule(std::string_view name) {
    for (const CheckRule& r : CheckRules)
        if (name == r.name) return &r;
    return nullptr;
}

std::string LanguageName(int language) {
    return language >= 0 && language < JsonLanguageCount ? JsonLanguageCodes[language] : "";
}

bool SelectRules(std::string_view list, std::vector<std::string>& rules, std::string& bad) {
    std::vector<std::string> only, without;
    for (std::size_t at = 0; at <= list.size();) {
        std::size_t comma = list.find(',', at);
        if (comma == std::string_view::npos) comma = list.size();
        std::string_view name = list.substr(at, comma - at);
        at = comma + 1;
        if (name.empty()) continue;
        const bool removed = name.front() == '-';
        if (removed) name.remove_prefix(1);
        if (!FindCheckRule(name)) {
            bad = std::string(name);
            return false;
        }
        (removed ? without : only).emplace_back(name);
    }
    rules.clear();
    for (const CheckRule& r : CheckRules) {
        const bool wanted = only.empty() || std::find(only.begin(), only.end(), r.name) != only.end();
        if (wanted && std::find(without.begin(), without.end(), r.name) == without.end()) rules.emplace_back(r.name);
    }
    return true;
}

namespace {

std::string Utf8(std::u16string_view text) { return platform::ToUtf8(text); }

// The rules by their place in CheckRules.
enum class Rule : std::uint8_t {
    DuplicateId,
    DuplicateKey,
    MissingLanguage,
    EmptyText,
    SameAsSource,
    Placeholders,
    ColourCodes,
    LineBreaks,
    Whitespace,
    GenderMarkers,
    Encoding,
    ZhVariants,
    MissingKey,
    Unreadable,
};

// ---- What the rules look for in a text -------------------------------------

constexpr char16_t ColourLead = 0x00FF;

std::vector<std::u16string_view> Placeholders(std::u16string_view t) {
    std::vector<std::u16string_view> found;
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        if (t[i] != u'%') continue;
        const char16_t next = t[i + 1];
        if (next == u'%' || next == u'd' || next == u'i' || next == u's' || next == u'u') {
            found.push_back(t.substr(i, 2));
            ++i;
        } else if (next == u'+' && i + 2 < t.size() && t[i + 2] == u'd') {
            found.push_back(t.substr(i, 3));
            i += 2;
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::u16string Joined(const std::vector<std::u16string_view>& parts) {
    std::u16string out;
    for (auto p : parts) out.append(out.empty() ? u"" : u" ").append(p);
    return out.empty() ? u"none" : out;
}

// The code characters of the colour codes (U+00FF "c" code) in a text, and
// the first code the game does not have (0 when all are known). Classic
// tables know the digits, ":", ";" and "/"; the remastered game's string
// files also take capital letters.
struct ColourCodes {
    std::size_t count = 0;
    char16_t unknown = 0;
    bool cut = false;  // U+00FF "c" at the end of the text
};
ColourCodes ColourCodesOf(std::u16string_view t, bool letters) {
    ColourCodes c;
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        if (t[i] != ColourLead || t[i + 1] != u'c') continue;
        ++c.count;
        if (i + 2 >= t.size()) {
            c.cut = true;
            break;
        }
        const char16_t code = t[i + 2];
        const bool known = (code >= u'0' && code <= u'9') || code == u':' || code == u';' || code == u'/' ||
                           (letters && code >= u'A' && code <= u'Z');
        if (!known && !c.unknown) c.unknown = code;
        i += 2;
    }
    return c;
}

std::size_t LineBreaks(std::u16string_view t) {
    return static_cast<std::size_t>(std::count(t.begin(), t.end(), u'\n'));
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The byte a character has in code page 1252, or -1 when it has none
// beyond ASCII.
int Cp1252Byte(char16_t c) {
    static constexpr char16_t High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                          0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    if (c < 0x80) return -1;
    if (c <= 0xFF) return c;  // Latin-1, C1 controls included
    if (c < 0x0152 || c > 0x2122) return -1;
    for (int i = 0; i < 32; ++i)
        if (High[i] && High[i] == c) return 0x80 + i;
    return -1;
}

// UTF-8 read as ANSI: characters whose code page 1252 bytes form a UTF-8
// sequence of two or more bytes ("Ã©" for "é"). Returns the offending
// characters, empty when there are none.
std::u16string_view Mojibake(std::u16string_view t) {
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        if (t[i] < 0xC2 || t[i] > 0xF4) continue;  // only these are lead bytes in code page 1252
        const int lead = t[i];
        const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        if (!length || i + length > t.size()) continue;
        bool sequence = true;
        for (std::size_t k = 1; k < length && sequence; ++k) {
            const int b = Cp1252Byte(t[i + k]);
            sequence = b >= 0x80 && b <= 0xBF;
        }
        if (sequence) return t.substr(i, length);
    }
    return {};
}

bool HasLetter(std::u16string_view t) {
    for (char16_t c : t)
        if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c >= 0xC0) return true;
    return false;
}

// The gender markers of a text that language does not use.
std::u16string_view StrayMarker(std::u16string_view t, int language) {
    static constexpr std::u16string_view Known[] = {u"[ms]", u"[fs]", u"[ns]", u"[pl]", u"[mp]", u"[fp]", u"[nl]"};
    const GenderMarkerSet* own = nullptr;
    for (const GenderMarkerSet& s : GenderMarkerSets)
        if (s.language == language) own = &s;
    for (std::size_t i = t.find(u'['); i != std::u16string_view::npos && i + 4 <= t.size(); i = t.find(u'[', i + 1)) {
        const std::u16string_view marker = t.substr(i, 4);
        if (std::find(std::begin(Known), std::end(Known), marker) == std::end(Known)) continue;
        if (!own || std::find(own->markers.begin(), own->markers.end(), marker) == own->markers.end()) return marker;
    }
    return {};
}

// ---- Running the rules -------------------------------------------------------

class Checker {
public:
    Checker(const ModStrings& m, const CheckOptions& o) : m_(m), o_(o) {
        for (std::size_t r = 0; r < CheckRules.size(); ++r)
            on_[r] = o.rules.empty() || std::find(o.rules.begin(), o.rules.end(), CheckRules[r].name) != o.rules.end();
        for (const std::u16string& k : o.sameAllowed) allowed_.insert(k);
    }

    bool On(Rule rule) const { return on_[static_cast<std::size_t>(rule)]; }

    void Add(Rule rule, Severity s, const StringEntry& e, std::size_t entry, int language, std::string message) {
        Finding f;
        f.rule = CheckRules[static_cast<std::size_t>(rule)].name;
        f.severity = s;
        f.file = e.file;
        f.line = language >= 0 ? e.LineOfField(language) : e.line;
        f.key = e.key;
        f.hasId = e.hasId;
        f.id = e.id;
        f.language = language;
        f.message = std::move(message);
        f.entry = entry;
        out.push_back(std::move(f));
    }

    void Entry(std::size_t i) {
        const StringEntry& e = m_.entries[i];
        const StringFile& file = m_.files[e.file];
        const bool json = file.kind == StringFileKind::Json;
        if (On(Rule::Whitespace) && !e.key.empty() && (IsBlank(e.key.front()) || IsBlank(e.key.back())))
            Add(Rule::Whitespace, Severity::Error, e, i, -1,
                "the key has spaces or tabs at its start or end, so the game's data tables never find it: trim "
                "the key");
        if (On(Rule::Encoding)) EncodingOf(e, i, -1, e.key);
        const int src = o_.sourceLanguage;
        const bool hasSource = e.Has(src) && !e.text[src].empty();
        for (int l = 0; l < StringSlots; ++l) {
            const bool checked = l == UnknownLanguage || ((o_.languages >> l) & 1);
            if (!checked) continue;
            if (!e.Has(l)) {
                if (json && l < JsonLanguageCount && On(Rule::MissingLanguage))
                    Add(Rule::MissingLanguage, Severity::Error, e, i, l,
                        "the object has no " + LanguageName(l) +
                            " field, which can crash the game: add it (check --fix missing-language fills it "
                            "from the source)");
                continue;
            }
            Text(e, i, l, json, hasSource);
        }
        if (On(Rule::ZhVariants) && e.Has(1) && e.Has(12) && !e.text[1].empty() && e.text[1] == e.text[12] &&
            e.Has(0) && e.text[0] != e.text[1] && ((o_.languages >> 1) & 1))
            Add(Rule::ZhVariants, Severity::Warning, e, i, 1,
                "zhTW holds the same text as zhCN: traditional Chinese players read simplified characters; "
                "translate it into traditional characters");
    }

    std::vector<Finding> out;

private:
    void EncodingOf(const StringEntry& e, std::size_t i, int l, std::u16string_view t) {
        const std::string what = l < 0 ? "the key" : "the text";
        if (t.find(u'\uFFFD') != std::u16string_view::npos) {
            Add(Rule::Encoding, Severity::Error, e, i, l,
                what + " holds U+FFFD, the mark of characters lost in a conversion: type them again");
        } else if (const auto bad = Mojibake(t); !bad.empty()) {
            Add(Rule::Encoding, Severity::Error, e, i, l,
                what + " holds \"" + Utf8(bad) +
                    "\", UTF-8 that was read as ANSI: convert it back to the characters it stands for");
        }
    }

    void Text(const StringEntry& e, std::size_t i, int l, bool json, bool hasSource) {
        const std::u16string& t = e.text[l];
        const int src = o_.sourceLanguage;
        const bool translation = l != src && hasSource && e.Has(src);
        const std::u16string& s = e.text[src];
        if (On(Rule::Encoding)) EncodingOf(e, i, l, t);
        if (On(Rule::Whitespace) && !t.empty() &&
            (IsBlank(t.front()) || IsBlank(t.back()) || t.find(u"  ") != std::u16string::npos))
            Add(Rule::Whitespace, Severity::Info, e, i, l,
                "the text has spaces at its start or end or two in a row: check that they are meant");
        if (On(Rule::GenderMarkers) && l != UnknownLanguage) {
            if (const auto marker = StrayMarker(t, l); !marker.empty())
                Add(Rule::GenderMarkers, Severity::Warning, e, i, l,
                    "the marker " + Utf8(marker) + " is not one " + LanguageName(l) +
                        " uses, so the game shows it as text: use the language's own markers");
        }
        const ColourCodes codes = ColourCodesOf(t, json);
        if (On(Rule::ColourCodes) && (codes.unknown || codes.cut))
            Add(Rule::ColourCodes, Severity::Warning, e, i, l,
                codes.cut ? std::string("the text ends in a colour code without its code character: finish it")
                          : "the colour code character '" + Utf8(std::u16string(1, codes.unknown)) +
                                "' is not one the game has: use one of 0-9 : ; /" + (json ? " or a capital" : ""));
        if (!translation) return;
        if (t.empty()) {
            if (On(Rule::EmptyText))
                Add(Rule::EmptyText, Severity::Warning, e, i, l,
                    "the text is empty where " + SourceName() +
                        " has text: translate it (check --fix empty-text fills it from the source)");
            return;
        }
        if (On(Rule::SameAsSource) && t == s && HasLetter(t) && !allowed_.count(e.key))
            Add(Rule::SameAsSource, Severity::Info, e, i, l,
                "the text equals " + SourceName() + "'s: translate it, or list the key in an --allow file");
        if (On(Rule::Placeholders)) {
            const auto want = Placeholders(s), have = Placeholders(t);
            if (want != have)
                Add(Rule::Placeholders, Severity::Error, e, i, l,
                    "the placeholders are " + Utf8(Joined(have)) + " where " + SourceName() + " has " +
                        Utf8(Joined(want)) + ": the game fills them in by number, so keep every one");
        }
        if (On(Rule::ColourCodes)) {
            const std::size_t want = ColourCodesOf(s, json).count;
            if (codes.count != want)
                Add(Rule::ColourCodes, Severity::Warning, e, i, l,
                    "the text has " + std::to_string(codes.count) + " colour codes where " + SourceName() + " has " +
                        std::to_string(want) + ": keep the source's colours");
        }
        if (On(Rule::LineBreaks)) {
            const std::size_t want = LineBreaks(s), have = LineBreaks(t);
            if (have != want)
                Add(Rule::LineBreaks, Severity::Warning, e, i, l,
                    "the text has " + std::to_string(have) + " line breaks where " + SourceName() + " has " +
                        std::to_string(want) + ": the game's boxes are laid out for the source's lines");
        }
    }

    std::string SourceName() const { return LanguageName(o_.sourceLanguage); }

    const ModStrings& m_;
    const CheckOptions& o_;
    bool on_[static_cast<std::size_t>(Rule::Unreadable) + 1] = {};
    std::unordered_set<std::u16string> allowed_;
};

// An entry of the mod's strings or of the game's.
struct Ref {
    bool game = false;
    std::size_t index = 0;
};

// The entries that meet in the game: the mod's, and the game's from the
// files the mod does not ship (the game reads those beside the mod's).
std::vector<Ref> LoadedTogether(const ModStrings& mod, const ModStrings* game) {
    std::vector<Ref> refs;
    refs.reserve(mod.entries.size());
    for (std::size_t i = 0; i < mod.entries.size(); ++i) refs.push_back({false, i});
    if (!game) return refs;
    std::unordered_set<std::u16string> shipped;
    for (const StringFile& f : mod.files) shipped.insert(AsciiLowerName(NameInFolder(f.name)));
    for (std::size_t i = 0; i < game->entries.size(); ++i)
        if (!shipped.count(AsciiLowerName(NameInFolder(game->files[game->entries[i].file].name))))
            refs.push_back({true, i});
    return refs;
}

std::string Place(const ModStrings& strings, const StringEntry& e) {
    return Utf8(strings.files[e.file].name) + ":" + std::to_string(e.line);
}

void DuplicateIds(Checker& c, const ModStrings& mod, const ModStrings* game) {
    // Ids the game's own files give twice are the game's fault.
    std::unordered_map<std::int64_t, std::size_t> gameCount;
    if (game)
        for (const StringEntry& e : game->entries) ++gameCount[e.id];
    std::unordered_map<std::int64_t, std::vector<Ref>> byId;
    const std::vector<Ref> refs = LoadedTogether(mod, game);
    for (const Ref& r : refs) {
        const StringEntry& e = (r.game ? *game : mod).entries[r.index];
        if (e.hasId) byId[e.id].push_back(r);
    }
    for (const Ref& r : refs) {
        if (r.game) continue;
        const StringEntry& e = mod.entries[r.index];
        if (!e.hasId) continue;
        const std::vector<Ref>& same = byId[e.id];
        if (same.size() < 2 || gameCount[e.id] > 1) continue;
        const Ref& other = same[0].game == r.game && same[0].index == r.index ? same[1] : same[0];
        const ModStrings& where = other.game ? *game : mod;
        const StringEntry& o = where.entries[other.index];
        c.Add(Rule::DuplicateId, Severity::Error, e, r.index, -1,
              "id " + std::to_string(e.id) + " is also the id of '" + Utf8(o.key) + "' at " + Place(where, o) +
                  (other.game ? " (the game's)" : "") +
                  ": the game shows one of them for both; give one a new id (check --fix duplicate-id)");
        c.out.back().withGame = other.game;
    }
    // An id the mod gives to another key than the game does in the same file.
    if (!game) return;
    std::unordered_map<std::int64_t, std::size_t> gameById;
    for (std::size_t i = 0; i < game->entries.size(); ++i) gameById.emplace(game->entries[i].id, i);
    for (std::size_t i = 0; i < mod.entries.size(); ++i) {
        const StringEntry& e = mod.entries[i];
        const auto it = gameById.find(e.id);
        if (!e.hasId || it == gameById.end() || byId[e.id].size() > 1) continue;
        const StringEntry& g = game->entries[it->second];
        if (g.key == e.key) continue;
        c.Add(Rule::DuplicateId, Severity::Error, e, i, -1,
              "id " + std::to_string(e.id) + " is the game's id of '" + Utf8(g.key) + "' at " + Place(*game, g) +
                  ": a new string needs an id the game does not use (check --fix duplicate-id)");
        c.out.back().withGame = true;
    }
}

void DuplicateKeys(Checker& c, const ModStrings& mod, const ModStrings* game) {
    std::unordered_map<std::u16string, std::size_t> gameCount;
    if (game)
        for (const StringEntry& e : game->entries) ++gameCount[e.key];
    std::unordered_map<std::u16string, std::vector<Ref>> byKey;
    const std::vector<Ref> refs = LoadedTogether(mod, game);
    for (const Ref& r : refs) byKey[(r.game ? *game : mod).entries[r.index].key].push_back(r);
    for (const Ref& r : refs) {
        if (r.game) continue;
        const StringEntry& e = mod.entries[r.index];
        const std::vector<Ref>& same = byKey[e.key];
        if (same.size() < 2 || gameCount[e.key] > 1 || e.key.empty()) continue;
        // Report each repeat once, at its later entries.
        if (same[0].game == r.game && same[0].index == r.index) continue;
        const ModStrings& where = same[0].game ? *game : mod;
        const StringEntry& first = where.entries[same[0].index];
        // In a classic language folder the lookup order tells which counts.
        const Ref* winner = nullptr;
        auto rankOf = [&](const Ref& x) {
            const ModStrings& s = x.game ? *game : mod;
            return s.files[s.entries[x.index].file].lookupRank;
        };
        for (const Ref& s : same) {
            if (rankOf(s) < 0) {
                winner = nullptr;
                break;
            }
            if (!winner || rankOf(s) < rankOf(*winner)) winner = &s;
        }
        const bool ranksDiffer =
            std::any_of(same.begin(), same.end(), [&](const Ref& x) { return rankOf(x) != rankOf(same[0]); });
        std::string used;
        if (winner && ranksDiffer) {
            const ModStrings& s = winner->game ? *game : mod;
            used = "; the game uses the one in " + Utf8(NameInFolder(s.files[s.entries[winner->index].file].name));
        }
        c.Add(Rule::DuplicateKey, Severity::Warning, e, r.index, -1,
              "the key is also defined at " + Place(where, first) + used +
                  ": keep one of them, or the other's texts are never shown");
    }
}

void MissingKeys(Checker& c, const ModStrings& mod, const ModStrings* game) {
    std::unordered_set<std::u16string> keys;
    std::unordered_map<std::u16string, std::u16string> trimmed;  // trimmed key -> the key as defined
    for (const ModStrings* s : {&mod, game}) {
        if (!s) continue;
        for (const StringEntry& e : s->entries) {
            keys.insert(e.key);
            trimmed.emplace(TrimmedKey(e.key), e.key);
        }
    }
    for (const ModStrings::NamedKey& k : mod.namedKeys) {
        if (keys.count(k.key)) continue;
        Finding f;
        f.rule = CheckRules[static_cast<std::size_t>(Rule::MissingKey)].name;
        f.severity = Severity::Error;
        f.file = k.file;
        f.line = k.line;
        f.key = k.key;
        const auto near = trimmed.find(TrimmedKey(k.key));
        f.message = "column " + k.column + " names a key no strings file defines, so the game shows an empty name";
        if (near != trimmed.end())
            f.message += "; '" + Utf8(near->second) + "' is defined, with other spaces around it: trim the key";
        else f.message += ": add it to a strings file";
        c.out.push_back(std::move(f));
    }
}

void Problems(Checker& c, const ModStrings& mod) {
    for (const StringFileProblem& p : mod.problems) {
        Finding f;
        const Rule rule = p.encoding ? Rule::Encoding : Rule::Unreadable;
        if (!c.On(rule)) continue;
        f.rule = CheckRules[static_cast<std::size_t>(rule)].name;
        f.severity = Severity::Error;
        f.line = p.line;
        f.message = p.message + (p.encoding ? ": save the file as UTF-8" : "");
        f.file = p.file;
        c.out.push_back(std::move(f));
    }
}

std::string Signature(const Finding& f) {
    return std::string(f.rule) + '\x1f' + (f.rule == "duplicate-id" ? std::to_string(f.id) : Utf8(f.key)) + '\x1f' +
           std::to_string(f.language) + '\x1f' + f.message.substr(0, f.message.find(':'));
}

}  // namespace

std::vector<Finding> CheckModStrings(const ModStrings& mod, const ModStrings* against, const CheckOptions& options) {
    Checker c(mod, options);
    for (std::size_t i = 0; i < mod.entries.size(); ++i) c.Entry(i);
    // Faults of one entry that the game's own entry of that key has too.
    if (against) {
        Checker game(*against, options);
        for (std::size_t i = 0; i < against->entries.size(); ++i) game.Entry(i);
        std::unordered_set<std::string> shipped;
        for (const Finding& f : game.out) shipped.insert(Signature(f));
        std::erase_if(c.out, [&](const Finding& f) { return shipped.count(Signature(f)) > 0; });
    }
    if (c.On(Rule::DuplicateId)) DuplicateIds(c, mod, against);
    if (c.On(Rule::DuplicateKey)) DuplicateKeys(c, mod, against);
    if (c.On(Rule::MissingKey)) MissingKeys(c, mod, against);
    Problems(c, mod);
    std::stable_sort(c.out.begin(), c.out.end(), [](const Finding& a, const Finding& b) {
        return std::tie(a.file, a.line) < std::tie(b.file, b.line);
    });
    return std::move(c.out);
}

}  // namespace vm
