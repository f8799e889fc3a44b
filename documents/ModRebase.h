// Rebasing a mod's strings on a new version of the game: what the mod
// changed against the old game's files (texts per language, entries added
// and removed) is applied to the new game's files, and everything else comes
// from the new game's files with their bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/FormatOptions.h"

namespace vm {

// A text both the mod and the new game changed, each differently.
struct RebaseConflict {
    std::u16string file, key;
    int language = 0;
    std::u16string base, mod, game;  // stored form; base is the old game's
};

struct RebaseOptions {
    bool preferGame = false;  // conflicts keep the game's text (default: the mod's)
    FormatOptions formats;
};

struct RebaseReport {
    std::vector<RebaseConflict> conflicts;
    std::size_t changed = 0, added = 0, removed = 0;
    std::size_t modEntries = 0;
    std::size_t unpaired = 0;          // the mod's entries with a key the old game lacks
    std::size_t unmatched = 0;         // the mod's changes whose entry the new game no longer has
    std::vector<std::string> missing;  // a patch's keys the target lacks: file, key
    std::vector<std::u16string> written;
    std::vector<std::string> warnings, errors;
};

// oldGame, newGame, mod and out are all files or all folders (then their
// files are paired by name; out, which must exist, gets one file for each
// of the mod's). A mod file the games do not have is copied as it is. Nothing
// is written when a file cannot be read (errors says which).
RebaseReport RebaseMod(const std::u16string& oldGame, const std::u16string& newGame, const std::u16string& mod,
                       const std::u16string& out, const RebaseOptions& options);

// The changes from old to now (files or folders, paired as diff pairs
// them) as a patch: a JSON file listing, per file, the texts each key sets
// (by language), the entries added with all their languages and the keys
// removed. False (error says why) when a file cannot be read.
bool MakePatch(const std::u16string& old, const std::u16string& now, const FormatOptions& formats, std::string& patch,
               std::string& error);

// Applies a patch by key to target (a file, or a folder holding the files
// the patch names) and writes the result to out (a file, or an existing
// folder): texts set, entries added (with ids no file of target holds),
// keys removed; everything else keeps target's bytes. Keys target lacks
// are listed in missing and, with strict, nothing is written.
RebaseReport ApplyPatch(const std::u16string& patchFile, const std::u16string& target, const std::u16string& out,
                        const RebaseOptions& options, bool strict);

// Writes a patch of MakePatch as a mod for the common D2R mod manager into
// folder (which must exist): mod.json (name, description, version) and
// mod.js, which reads each strings file the patch names with
// D2RMM.readJson, sets the texts by Key, removes keys, appends the new
// entries with ids from D2RMM.getNextStringID() and writes the file back
// with D2RMM.writeJson. False (error says why) when a file cannot be
// written.
bool WriteD2rmmMod(const std::string& patch, const std::u16string& folder, const std::string& name, std::string& error);

}  // namespace vm
