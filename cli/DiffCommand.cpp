// vellumark-cli diff: what changed between two tables, string files or
// folders of them, as lines, JSON lines or counts.

#include "cli/DiffCommand.h"

#include <map>
#include <optional>

#include "cli/Cli.h"
#include "cli/CommandArguments.h"
#include "documents/ModDiff.h"
#include "documents/ModRebase.h"
#include "platform/Platform.h"

namespace vm {

namespace {

constexpr const char* DiffHelp = R"(Usage: vellumark-cli diff OLD NEW [--format text|json] [--stat] [--patch FILE]

Compares two tables, two string files or two folders of them (their files
paired by name): entries added (+), removed (-), changed (~, per language
for string files) and moved, matched by key (repeated keys in order).

  --format json   One object per change: change, file, key, language, old,
                  new, oldLine, newLine.
  --stat          Counts per file and language instead of the changes.
  --patch FILE    Also write the changes as a patch (per file: the texts each
                  key sets, the entries added, the keys removed) for
                  'vellumark-cli apply'.
  --patch-d2rmm DIR  Also write the changes as a mod of the common D2R mod
                  manager into the folder DIR (mod.json and mod.js).
  --max-file-size N  The largest file read, in bytes.

Exit status: 0 when both are the same, 1 when they differ, 2 on trouble
(wrong usage, a file that cannot be read).
)";

struct DiffSettings {
    std::vector<std::u16string> paths;
    std::string format = "text";
    bool stat = false;
    std::u16string patch;  // where --patch writes the changes
    std::u16string d2rmm;  // the folder --patch-d2rmm writes a mod into
    ModReadOptions read;
};

DiffSettings ParseDiffArguments(const std::vector<std::u16string>& args) {
    DiffSettings s;
    s.paths = SplitArguments(args, [&](OptionValue& o) {
        const std::string& option = o.Name();
        auto value = [&o] { return o.Utf8Value(); };
        if (option == "--format") {
            s.format = value();
            if (s.format != "text" && s.format != "json")
                throw CommandUsage{"--format must be text or json, not '" + s.format + "'"};
        } else if (option == "--patch") {
            s.patch = o.Value();
            if (s.patch.empty()) throw CommandUsage{"--patch needs a file name"};
        } else if (option == "--patch-d2rmm") {
            s.d2rmm = o.Value();
            if (s.d2rmm.empty()) throw CommandUsage{"--patch-d2rmm needs a folder"};
        } else if (option == "--stat") {
            o.NoValue();
            s.stat = true;
        } else if (option == "--max-file-size") {
            const std::string v = value();
            if (v.empty() || v.size() > 13 || v.find_first_not_of("0123456789") != std::string::npos)
                throw CommandUsage{"--max-file-size needs a number of bytes, not '" + v + "'"};
            s.read.formats.limits.maxFileSize = std::stoull(v);
        } else {
            throw CommandUsage{"unknown option " + option};
        }
    });
    if (s.paths.size() != 2)
        throw CommandUsage{"diff needs OLD and NEW (" + std::to_string(s.paths.size()) + " names given)"};
    return s;
}

std::string Subject(const StringChange& c) {
    std::string s = platform::ToUtf8(c.file) + ": " + platform::ToUtf8(c.key);
    if (c.language >= 0) s += std::string(" (") + JsonLanguageCodes[c.language] + ")";
    return s;
}

void PrintText(const std::vector<StringChange>& changes, std::ostream& out) {
    for (const StringChange& c : changes) {
        switch (c.kind) {
        case ChangeKind::Added: out << "+ " << Subject(c) << ": " << JsonQuoted(c.after) << "\n"; break;
        case ChangeKind::Removed: out << "- " << Subject(c) << ": " << JsonQuoted(c.before) << "\n"; break;
        case ChangeKind::Changed:
            out << "~ " << Subject(c) << ": " << (c.hadText ? JsonQuoted(c.before) : "(no field)") << " -> "
                << (c.hasText ? JsonQuoted(c.after) : "(no field)") << "\n";
            break;
        case ChangeKind::Moved:
            out << "~ " << Subject(c) << ": moved from line " << c.oldLine << " to line " << c.newLine << "\n";
            break;
        }
    }
}

void PrintJson(const std::vector<StringChange>& changes, std::ostream& out) {
    for (const StringChange& c : changes) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
        auto field = [&w](const char* name, const std::string& value) {
            w.Key(name);
            w.String(value.c_str(), static_cast<rapidjson::SizeType>(value.size()));
        };
        // A text, or null where there is none (no field, or no entry).
        auto text = [&](const char* name, bool present, const std::u16string& value) {
            if (present) return field(name, platform::ToUtf8(value));
            w.Key(name);
            w.Null();
        };
        w.StartObject();
        field("change", ChangeKindName(c.kind));
        field("file", platform::ToUtf8(c.file));
        field("key", platform::ToUtf8(c.key));
        w.Key("language");
        c.language >= 0 ? w.String(JsonLanguageCodes[c.language]) : w.Null();
        text("old", c.kind == ChangeKind::Removed || c.hadText, c.before);
        text("new", c.kind == ChangeKind::Added || c.hasText, c.after);
        w.Key("oldLine");
        w.Uint(c.oldLine);
        w.Key("newLine");
        w.Uint(c.newLine);
        w.EndObject();
        out << buffer.GetString() << "\n";
    }
}

void PrintStat(const std::vector<StringChange>& changes, std::ostream& out) {
    struct Counts {
        std::size_t added = 0, removed = 0, changed = 0, moved = 0;
        std::map<std::string, std::size_t> languages;
    };
    std::map<std::string, Counts> files;
    for (const StringChange& c : changes) {
        Counts& n = files[platform::ToUtf8(c.file)];
        if (c.kind == ChangeKind::Added) ++n.added;
        if (c.kind == ChangeKind::Removed) ++n.removed;
        if (c.kind == ChangeKind::Moved) ++n.moved;
        if (c.kind == ChangeKind::Changed) {
            ++n.changed;
            ++n.languages[c.language >= 0 ? JsonLanguageCodes[c.language] : "text"];
        }
    }
    for (const auto& [file, n] : files) {
        out << file << ": " << n.added << " added, " << n.removed << " removed, " << n.changed << " changed, "
            << n.moved << " moved\n";
        for (const auto& [language, count] : n.languages) out << "  " << language << ": " << count << " changed\n";
    }
}

}  // namespace

int RunDiff(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
    DiffSettings s;
    try {
        s = ParseDiffArguments(args);
    } catch (const CommandUsage& e) {
        err << "error: " << e.message << "\nTry 'vellumark-cli diff --help' for more information.\n";
        return CliUsageError;
    }
    const ModStrings old = ReadModStrings({s.paths[0]}, s.read);
    const ModStrings now = ReadModStrings({s.paths[1]}, s.read);
    bool trouble = false;
    for (const ModStrings* side : {&old, &now})
        for (const StringFileProblem& p : side->problems) {
            err << "error: " << platform::ToUtf8(side->files[p.file].name) << ": " << p.message << "\n";
            trouble = true;
        }
    if (trouble) return CliUsageError;
    const std::vector<StringChange> changes = DiffModStrings(old, now);
    if (!s.patch.empty() || !s.d2rmm.empty()) {
        std::string patch, error;
        bool done = MakePatch(s.paths[0], s.paths[1], s.read.formats, patch, error);
        if (done && !s.patch.empty() && !WriteJsonBytes(s.patch, patch)) {
            error = platform::ToUtf8(s.patch) + ": the patch cannot be written";
            done = false;
        }
        if (done && !s.d2rmm.empty()) {
            if (!platform::FolderExists(s.d2rmm)) error = platform::ToUtf8(s.d2rmm) + ": no such folder";
            else done = WriteD2rmmMod(patch, s.d2rmm, platform::ToUtf8(NameInFolder(s.paths[1])), error);
            done = done && error.empty();
        }
        if (!done) {
            err << "error: " << error << "\n";
            return CliUsageError;
        }
    }
    if (s.stat) PrintStat(changes, out);
    else if (s.format == "json") PrintJson(changes, out);
    else PrintText(changes, out);
    return changes.empty() ? CliOk : 1;
}

std::string DiffHelpText() { return DiffHelp; }

}  // namespace vm
