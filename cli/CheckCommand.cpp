// vellumark-cli check: a mod's strings checked as a whole, the findings
// printed as text, JSON lines, workflow annotations or SARIF.

#include "cli/CheckCommand.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include <rapidjson/ostreamwrapper.h>
#include <rapidjson/writer.h>

#include "VellumarkVersion.h"
#include "cli/Cli.h"
#include "cli/CommandArguments.h"
#include "documents/ModCheck.h"
#include "documents/ModFix.h"
#include "documents/StringIds.h"
#include "platform/Platform.h"

namespace vm {

namespace {

constexpr const char* CheckHelp = R"(Usage: vellumark-cli check PATH... [OPTIONS]

Checks a mod's strings as a whole. PATH is a string file (.json), a folder
of them (data/local/lng/strings: all files together), a classic language
folder (data/local/lng/ENG with string.tbl, expansionstring.tbl and
patchstring.tbl), a .tbl table or a text table.

Options:
  --against DIR      The game's own strings (a folder as above): faults the
                     game's files have too are not reported, the game's
                     files the mod does not ship are checked beside it,
                     and new ids are checked against the game's.
  --excel DIR        The game's data tables (data/global/excel): keys they
                     name that no strings file defines are reported.
  --source L|FILE    The language translations are compared with (enUS by
                     default), or for .tbl and text tables the source table
                     (row by row where the keys line up, by key otherwise).
  --language L,...   Check only these languages. For .tbl and text tables
                     outside a classic language folder: their language.
  --rules a,b,-c     Only rules a and b, or all but c.
  --allow FILE       Keys (one per line) whose texts may equal the source's.
  --format F         text (default), json (one object per line), github
                     (workflow annotations) or sarif (SARIF 2.1.0).
  --max-file-size N  The largest file read, in bytes.
  --fix RULES        Fix what these rules found in .json string files, in
                     place, then report what is left: missing-language
                     and empty-text (filled from the source language, or
                     --from L), whitespace (keys trimmed), duplicate-id (new
                     ids no string file given, nor the game's, holds).
                     "vellumark-cli fix PATH..." fixes all four.
  --from L           The language the fixes fill texts from.

Rules:
)";

struct CheckSettings {
    std::vector<std::u16string> paths;
    std::u16string against, excel, allow;
    std::string format = "text";
    ModReadOptions read;
    CheckOptions check;
    FixOptions fix;
    bool fixing = false;
};

constexpr const char* FixableRules[] = {"missing-language", "empty-text", "whitespace", "duplicate-id"};

void SelectFixes(const std::string& list, FixOptions& fix) {
    for (std::size_t at = 0; at <= list.size();) {
        std::size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        const std::string name = list.substr(at, comma - at);
        at = comma + 1;
        if (name == "missing-language") fix.fillMissing = true;
        else if (name == "empty-text") fix.fillEmpty = true;
        else if (name == "whitespace") fix.trimKeys = true;
        else if (name == "duplicate-id") fix.newIds = true;
        else if (!name.empty())
            throw CommandUsage{"--fix: '" + name +
                               "' is not a rule with a fix (missing-language, empty-text, "
                               "whitespace, duplicate-id)"};
    }
}

std::vector<std::u16string> SplitList(const std::u16string& list) {
    std::vector<std::u16string> parts;
    for (std::size_t at = 0; at <= list.size();) {
        std::size_t comma = list.find(u',', at);
        if (comma == std::u16string::npos) comma = list.size();
        if (comma > at) parts.push_back(list.substr(at, comma - at));
        at = comma + 1;
    }
    return parts;
}

CheckSettings ParseCheckArguments(const std::vector<std::u16string>& args) {
    CheckSettings s;
    std::optional<int> from;
    if (args[0] == u"fix") {
        s.fixing = true;
        for (const char* rule : FixableRules) SelectFixes(rule, s.fix);
    }
    s.paths = SplitArguments(args, [&](OptionValue& o) {
        const std::string& option = o.Name();
        auto value = [&o] { return o.Value(); };
        if (option == "--against") {
            s.against = value();
        } else if (option == "--excel") {
            s.excel = value();
        } else if (option == "--allow") {
            s.allow = value();
        } else if (option == "--source") {
            const std::u16string v = value();
            const int language = JsonLanguageIndex(v);
            if (language >= 0) s.check.sourceLanguage = language;
            else s.read.sourceTable = v;
        } else if (option == "--language") {
            s.check.languages = 0;
            for (const std::u16string& code : SplitList(value())) {
                const int language = JsonLanguageIndex(code);
                if (language < 0) throw CommandUsage{"--language: '" + platform::ToUtf8(code) + "' is no language"};
                s.check.languages |= static_cast<std::uint16_t>(1u << language);
                s.read.tableLanguage = language;
            }
            if (!s.check.languages) throw CommandUsage{"--language needs a language"};
        } else if (option == "--rules") {
            std::string bad;
            if (!SelectRules(platform::ToUtf8(value()), s.check.rules, bad))
                throw CommandUsage{"--rules: there is no rule '" + bad + "'"};
        } else if (option == "--format") {
            s.format = platform::ToUtf8(value());
            if (s.format != "text" && s.format != "json" && s.format != "github" && s.format != "sarif")
                throw CommandUsage{"--format must be text, json, github or sarif, not '" + s.format + "'"};
        } else if (option == "--fix") {
            s.fixing = true;
            SelectFixes(platform::ToUtf8(value()), s.fix);
        } else if (option == "--from") {
            from = JsonLanguageIndex(value());
            if (*from < 0) throw CommandUsage{"--from needs a language such as enUS"};
        } else if (option == "--max-file-size") {
            const std::string v = platform::ToUtf8(value());
            if (v.empty() || v.size() > 13 || v.find_first_not_of("0123456789") != std::string::npos)
                throw CommandUsage{"--max-file-size needs a number of bytes, not '" + v + "'"};
            s.read.formats.limits.maxFileSize = std::stoull(v);
        } else {
            throw CommandUsage{"unknown option " + option};
        }
    });
    if (s.paths.empty()) throw CommandUsage{"check needs at least one file or folder"};
    s.fix.from = from.value_or(s.check.sourceLanguage);
    // The source table is compared with enUS's place; its language is the source.
    if (!s.read.sourceTable.empty() && s.read.tableLanguage == 0) s.read.tableLanguage = -1;
    return s;
}

std::vector<std::u16string> ReadAllowList(const std::u16string& name) {
    platform::FileImage image;
    if (platform::ReadWholeFile(name, std::uint64_t{1} << 26, 0, image) != platform::ReadStatus::Ok)
        throw CommandUsage{"--allow: cannot read " + platform::ToUtf8(name)};
    std::vector<std::u16string> keys;
    std::istringstream lines(std::string(reinterpret_cast<const char*>(image.data.get()), image.size));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) keys.push_back(platform::FromUtf8(line));
    }
    return keys;
}

// ---- Output ------------------------------------------------------------------

struct Output {
    const ModStrings& strings;
    const std::vector<Finding>& findings;
    std::ostream& out;

    std::string FileOf(const Finding& f) const { return platform::ToUtf8(strings.files[f.file].name); }

    std::string Subject(const Finding& f) const {
        std::string s = platform::ToUtf8(f.key);
        if (f.language >= 0) {
            const std::string name = LanguageName(f.language);
            if (!name.empty()) s += " (" + name + ")";
        }
        return s;
    }

    void Text() const {
        std::map<std::string_view, std::size_t> perRule;
        std::size_t counts[3] = {};
        for (const Finding& f : findings) {
            out << FileOf(f) << ":" << (f.line ? std::to_string(f.line) + ":" : "") << " " << SeverityName(f.severity)
                << ": " << f.rule << ": " << Subject(f) << ": " << f.message << "\n";
            ++perRule[f.rule];
            ++counts[static_cast<int>(f.severity)];
        }
        if (findings.empty()) {
            out << "no findings\n";
            return;
        }
        out << "\n";
        for (const auto& [rule, count] : perRule) out << rule << ": " << count << "\n";
        out << counts[2] << (counts[2] == 1 ? " error, " : " errors, ") << counts[1]
            << (counts[1] == 1 ? " warning, " : " warnings, ") << counts[0] << " info\n";
    }

    void Json() const {
        for (const Finding& f : findings) {
            rapidjson::OStreamWrapper stream(out);
            rapidjson::Writer<rapidjson::OStreamWrapper> w(stream);
            w.StartObject();
            Field(w, "file", FileOf(f));
            w.Key("line");
            w.Uint(f.line);
            Field(w, "key", platform::ToUtf8(f.key));
            w.Key("id");
            f.hasId ? w.Int64(f.id) : w.Null();
            w.Key("language");
            f.language >= 0 && !LanguageName(f.language).empty() ? w.String(LanguageName(f.language).c_str())
                                                                 : w.Null();
            Field(w, "rule", f.rule);
            Field(w, "severity", SeverityName(f.severity));
            Field(w, "message", f.message);
            w.EndObject();
            out << "\n";
        }
    }

    // Workflow commands: % and line breaks escaped in the message, and
    // also : and , in the properties.
    static std::string Escaped(const std::string& text, bool property) {
        std::string e;
        for (char c : text) {
            if (c == '%') e += "%25";
            else if (c == '\r') e += "%0D";
            else if (c == '\n') e += "%0A";
            else if (property && c == ':') e += "%3A";
            else if (property && c == ',') e += "%2C";
            else e += c;
        }
        return e;
    }

    void Github() const {
        for (const Finding& f : findings) {
            const char* level = f.severity == Severity::Error     ? "error"
                                : f.severity == Severity::Warning ? "warning"
                                                                  : "notice";
            out << "::" << level << " file=" << Escaped(FileOf(f), true);
            if (f.line) out << ",line=" << f.line;
            out << ",title=" << Escaped(std::string(f.rule), true)
                << "::" << Escaped(Subject(f) + ": " + f.message, false) << "\n";
        }
    }

    static const char* SarifLevel(Severity s) {
        return s == Severity::Error ? "error" : s == Severity::Warning ? "warning" : "note";
    }

    // A file name as a URI reference: forward slashes, and every byte
    // beyond the unreserved ones percent-encoded.
    static std::string Uri(const std::string& name) {
        static const char* hex = "0123456789ABCDEF";
        std::string uri;
        for (unsigned char c : name) {
            if (c == '\\') c = '/';
            if (std::isalnum(c) || std::strchr("-._~/", c)) {
                uri += static_cast<char>(c);
            } else if (c == ':' && uri.size() == 1) {
                uri += ':';  // a drive letter
            } else {
                uri += '%';
                uri += hex[c >> 4];
                uri += hex[c & 15];
            }
        }
        return uri;
    }

    void Sarif() const {
        rapidjson::OStreamWrapper stream(out);
        rapidjson::Writer<rapidjson::OStreamWrapper> w(stream);
        w.StartObject();
        Field(w, "$schema", "https://json.schemastore.org/sarif-2.1.0.json");
        Field(w, "version", "2.1.0");
        w.Key("runs");
        w.StartArray();
        w.StartObject();
        w.Key("tool");
        w.StartObject();
        w.Key("driver");
        w.StartObject();
        Field(w, "name", "vellumark-cli");
        Field(w, "version", VM_VERSION);
        w.Key("rules");
        w.StartArray();
        for (const CheckRule& r : CheckRules) {
            w.StartObject();
            Field(w, "id", r.name);
            w.Key("shortDescription");
            w.StartObject();
            Field(w, "text", r.summary);
            w.EndObject();
            w.Key("defaultConfiguration");
            w.StartObject();
            Field(w, "level", SarifLevel(r.severity));
            w.EndObject();
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
        w.EndObject();
        w.Key("results");
        w.StartArray();
        for (const Finding& f : findings) {
            w.StartObject();
            Field(w, "ruleId", f.rule);
            Field(w, "level", SarifLevel(f.severity));
            w.Key("message");
            w.StartObject();
            Field(w, "text", Subject(f) + ": " + f.message);
            w.EndObject();
            w.Key("locations");
            w.StartArray();
            w.StartObject();
            w.Key("physicalLocation");
            w.StartObject();
            w.Key("artifactLocation");
            w.StartObject();
            Field(w, "uri", Uri(FileOf(f)));
            w.EndObject();
            if (f.line) {
                w.Key("region");
                w.StartObject();
                w.Key("startLine");
                w.Uint(f.line);
                w.EndObject();
            }
            w.EndObject();
            w.EndObject();
            w.EndArray();
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
        w.EndArray();
        w.EndObject();
        out << "\n";
    }

    template <class Writer>
    static void Field(Writer& w, const char* name, std::string_view value) {
        w.Key(name);
        w.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
    }
};

// New ids for the fixes: held by no string file of the mod's or the game's,
// from the mod manager's counter beside the first strings folder when there
// is one (advanced afterwards), else above the highest id.
struct FixIds {
    TakenIds taken;
    StringFolder counter;  // only its counter is read
    std::optional<NewIdSource> source;

    FixIds(const ModStrings& mod, const ModStrings* game, const ReadLimits& limits) {
        // Sorted once, not id by id.
        for (const ModStrings* s : {&mod, game})
            if (s)
                for (const StringEntry& e : s->entries)
                    if (e.hasId) taken.ids.push_back(e.id);
        std::sort(taken.ids.begin(), taken.ids.end());
        taken.ids.erase(std::unique(taken.ids.begin(), taken.ids.end()), taken.ids.end());
        for (const StringFile& f : mod.files) {
            if (f.kind != StringFileKind::Json) continue;
            ReadIdCounter(f.name, limits, counter);
            break;
        }
        std::int64_t start = taken.Empty() ? 1 : taken.Highest() == INT64_MAX ? INT64_MAX : taken.Highest() + 1;
        if (counter.counter) start = std::max<std::int64_t>(1, counter.counter->value);
        source.emplace(taken, start);
    }
};

}  // namespace

int RunCheck(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
    CheckSettings s;
    try {
        s = ParseCheckArguments(args);
        if (!s.allow.empty()) s.check.sameAllowed = ReadAllowList(s.allow);
    } catch (const CommandUsage& e) {
        err << "error: " << e.message << "\nTry 'vellumark-cli check --help' for more information.\n";
        return CliUsageError;
    }
    ModStrings mod = ReadModStrings(s.paths, s.read);
    if (!s.excel.empty()) ReadNamedKeys(s.excel, mod);
    std::optional<ModStrings> against;
    if (!s.against.empty()) {
        ModReadOptions gameOptions = s.read;
        gameOptions.sourceTable.clear();
        against = ReadModStrings({s.against}, gameOptions);
        for (const StringFileProblem& p : against->problems)
            err << "warning: " << platform::ToUtf8(against->files[p.file].name) << ": " << p.message << "\n";
    }
    const ModStrings* game = against ? &*against : nullptr;
    std::vector<Finding> findings = CheckModStrings(mod, game, s.check);
    if (s.fixing) {
        FixIds ids(mod, game, s.read.formats.limits);
        s.fix.nextId = [&ids] { return ids.source->Next(); };
        const FixReport fixed = FixModStrings(mod, findings, s.fix, s.read.formats.limits);
        if (ids.source->Given() > 0) AdvanceIdCounter(ids.counter, ids.source->Highest());
        for (const StringIdWarning& w : ids.counter.warnings)
            if (w.kind == StringIdWarning::Kind::CounterNotWritten)
                err << "warning: " << platform::ToUtf8(w.file) << ": the id counter could not be advanced\n";
        for (const std::string& e : fixed.errors) err << "error: " << e << "\n";
        err << "fixed: " << fixed.filled << " texts filled, " << fixed.trimmed << " keys trimmed, " << fixed.renumbered
            << " new ids, in " << fixed.written.size() << " files\n";
        if (!fixed.written.empty()) {
            mod = ReadModStrings(s.paths, s.read);
            if (!s.excel.empty()) ReadNamedKeys(s.excel, mod);
            findings = CheckModStrings(mod, game, s.check);
        }
        if (!fixed.errors.empty()) return CliFileError;
    }
    const Output o{mod, findings, out};
    if (s.format == "json") o.Json();
    else if (s.format == "github") o.Github();
    else if (s.format == "sarif") o.Sarif();
    else o.Text();
    for (const Finding& f : findings)
        if (f.severity == Severity::Error) return CliFileError;
    return CliOk;
}

std::string CheckHelpText() {
    std::string text = CheckHelp;
    for (const CheckRule& r : CheckRules)
        text += "  " + std::string(r.name) + std::string(18 - std::min<std::size_t>(17, std::strlen(r.name)), ' ') +
                SeverityName(r.severity) + ": " + r.summary + "\n";
    text += "\nExit status: 0 when nothing is an error, 1 when something is, 2 on wrong usage.\n";
    return text;
}

}  // namespace vm
