// vellumark-cli rebase: a mod's strings carried over to a new version of the
// game's files.

#include "cli/RebaseCommand.h"

#include <optional>

#include "cli/Cli.h"
#include "cli/CommandArguments.h"
#include "documents/ModRebase.h"
#include "formats/JsonStrings.h"
#include "platform/Platform.h"

namespace vm {

namespace {

constexpr const char* RebaseHelp =
    R"(Usage: vellumark-cli rebase OLD_GAME NEW_GAME MOD OUT [--prefer mod|game] [--strict]

Applies what MOD changed against OLD_GAME (texts per language, entries
added, entries removed) to NEW_GAME and writes the result to OUT. All four
are files, or all folders (their files paired by name; OUT must exist and
gets one file for each of MOD's). Everything MOD did not touch comes from
NEW_GAME with its bytes, entries NEW_GAME added stay, and new objects get
ids no string file of NEW_GAME or MOD holds. Where MOD and NEW_GAME both
changed one text, each differently, it is a conflict: listed with both
texts and resolved by --prefer (mod by default). A MOD file the games do
not have is copied as it is.

  --prefer mod|game  Which text a conflict keeps (default mod).
  --strict           Exit 1 when conflicts were left to the default.

Exit status: 0 on success, 1 when a file cannot be read or written (then
nothing is written) or, with --strict, on conflicts; 2 on wrong usage.
)";

}  // namespace

int RunRebase(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::u16string> names;
    RebaseOptions options;
    std::optional<bool> preferGame;
    bool strict = false;
    try {
        names = SplitArguments(args, [&](OptionValue& o) {
            if (o.Name() == "--strict") {
                o.NoValue();
                strict = true;
            } else if (o.Name() == "--prefer") {
                const std::u16string v = o.Value();
                if (v != u"mod" && v != u"game")
                    throw CommandUsage{"--prefer must be mod or game, not '" + platform::ToUtf8(v) + "'"};
                preferGame = v == u"game";
            } else {
                throw CommandUsage{"unknown option " + o.Name()};
            }
        });
        if (names.size() != 4)
            throw CommandUsage{"rebase needs OLD_GAME NEW_GAME MOD OUT (" + std::to_string(names.size()) +
                               " names given)"};
    } catch (const CommandUsage& e) {
        err << "error: " << e.message << "\nTry 'vellumark-cli rebase --help' for more information.\n";
        return CliUsageError;
    }
    options.preferGame = preferGame.value_or(false);
    const RebaseReport r = RebaseMod(names[0], names[1], names[2], names[3], options);
    for (const std::string& e : r.errors) err << "error: " << e << "\n";
    for (const std::string& w : r.warnings) err << "warning: " << w << "\n";
    if (!r.errors.empty()) return CliFileError;
    for (const RebaseConflict& c : r.conflicts) {
        out << "conflict: " << platform::ToUtf8(c.file) << ": " << platform::ToUtf8(c.key);
        if (c.language >= 0) out << " (" << JsonLanguageCodes[c.language] << ")";
        out << ": mod " << JsonQuoted(c.mod) << ", game " << JsonQuoted(c.game) << ", before " << JsonQuoted(c.base)
            << "; kept " << (options.preferGame ? "game" : "mod") << "\n";
    }
    out << "rebased: " << r.changed << " texts changed, " << r.added << " entries added, " << r.removed << " removed, "
        << r.conflicts.size() << " conflicts; " << r.written.size() << " files written\n";
    return strict && !preferGame && !r.conflicts.empty() ? 1 : CliOk;
}

std::string RebaseHelpText() { return RebaseHelp; }

namespace {

constexpr const char* ApplyHelp = R"(Usage: vellumark-cli apply PATCH TARGET OUT [--strict]

Applies a patch of 'vellumark-cli diff --patch' by key to TARGET (a file,
or a folder with the files the patch names) and writes the result to OUT (a
file, or an existing folder): the texts it sets, the entries it adds (with
ids no file of TARGET holds) and the keys it removes; everything else keeps
TARGET's bytes. Keys TARGET lacks are reported and the rest applied; with
--strict nothing is written then.

Exit status: 0 on success, 1 when a file cannot be read or written or, with
--strict, keys are missing; 2 on wrong usage.
)";

}  // namespace

int RunApply(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::u16string> names;
    bool strict = false;
    try {
        names = SplitArguments(args, [&](OptionValue& o) {
            if (o.Name() != "--strict") throw CommandUsage{"unknown option " + o.Name()};
            o.NoValue();
            strict = true;
        });
        if (names.size() != 3)
            throw CommandUsage{"apply needs PATCH TARGET OUT (" + std::to_string(names.size()) + " names given)"};
    } catch (const CommandUsage& e) {
        err << "error: " << e.message << "\nTry 'vellumark-cli apply --help' for more information.\n";
        return CliUsageError;
    }
    const RebaseReport r = ApplyPatch(names[0], names[1], names[2], {}, strict);
    for (const std::string& m : r.missing) err << "warning: " << m << ": the target has no such key\n";
    for (const std::string& e : r.errors) err << "error: " << e << "\n";
    if (!r.errors.empty()) return CliFileError;
    out << "applied: " << r.changed << " texts set, " << r.added << " entries added, " << r.removed << " removed, "
        << r.missing.size() << " keys missing; " << r.written.size() << " files written\n";
    return CliOk;
}

std::string ApplyHelpText() { return ApplyHelp; }

}  // namespace vm
