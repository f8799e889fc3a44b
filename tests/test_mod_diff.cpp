// vellumark-cli diff over made-up string folders and tables: each kind of
// change found once, in order, and the exit status of same, different and
// trouble.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "cli/Cli.h"
#include "tests/FormatTestUtil.h"
#include "tests/TestFiles.h"

namespace {

struct DiffRun {
    int status;
    std::string out, err;
};

DiffRun Diff(std::vector<std::u16string> args) {
    args.insert(args.begin(), u"diff");
    std::ostringstream out, err;
    const int status = vm::RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

// A string file whose objects hold (id, key, enUS, deDE).
std::string Strings(const std::vector<std::tuple<int, std::string, std::string, std::string>>& objects) {
    std::string s = "[";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const auto& [id, key, en, de] = objects[i];
        s += std::string(i ? ",\n" : "\n") + "  {\"id\": " + std::to_string(id) + ", \"Key\": \"" + key +
             "\", \"enUS\": \"" + en + "\"" + (de == "-" ? "" : ", \"deDE\": \"" + de + "\"") + "}";
    }
    return s + "\n]\n";
}

class ModDiffTest : public ::testing::Test {
protected:
    vmtest::TempDir dir;
};

TEST_F(ModDiffTest, FoldersShowEachKindOfChangeByKeyAndLanguage) {
    ASSERT_TRUE(dir.Write("old/items.json", Strings({{1, "a", "A", "A-de"},
                                                     {2, "x", "X1", "-"},
                                                     {3, "x", "X2", "X2-de"},
                                                     {4, "b", "B", "B-de"},
                                                     {5, "gone", "Gone", "Weg"}})));
    ASSERT_TRUE(dir.Write("old/old-only.json", Strings({{9, "o", "O", "O-de"}})));
    // b moves before a; the second x gets a new German text and the first
    // a German field; one entry goes and one comes; a file comes.
    ASSERT_TRUE(dir.Write("new/items.json", Strings({{4, "b", "B", "B-de"},
                                                     {1, "a", "A", "A-de"},
                                                     {2, "x", "X1", "X1-de"},
                                                     {3, "x", "X2", "X2 neu"},
                                                     {6, "new", "New\\nline", "Neu"}})));
    ASSERT_TRUE(dir.Write("new/new-only.json", Strings({{7, "n", "N", "N-de"}})));

    const DiffRun text = Diff({dir.Path(u"old"), dir.Path(u"new")});
    EXPECT_EQ(text.status, 1) << text.err;
    EXPECT_EQ(text.out,
              "~ items.json: x (deDE): (no field) -> \"X1-de\"\n"
              "~ items.json: x (deDE): \"X2-de\" -> \"X2 neu\"\n"
              "+ items.json: new: \"New\\nline\"\n"
              "~ items.json: b: moved from line 5 to line 2\n"
              "- items.json: gone: \"Gone\"\n"
              "+ new-only.json: n: \"N\"\n"
              "- old-only.json: o: \"O\"\n");

    const DiffRun stat = Diff({dir.Path(u"old"), dir.Path(u"new"), u"--stat"});
    EXPECT_EQ(stat.out,
              "items.json: 1 added, 1 removed, 2 changed, 1 moved\n  deDE: 2 changed\n"
              "new-only.json: 1 added, 0 removed, 0 changed, 0 moved\n"
              "old-only.json: 0 added, 1 removed, 0 changed, 0 moved\n");

    const DiffRun json = Diff({dir.Path(u"old/items.json"), dir.Path(u"new/items.json"), u"--format=json"});
    EXPECT_EQ(json.out.substr(0, json.out.find('\n')),
              "{\"change\":\"changed\",\"file\":\"items.json\",\"key\":\"x\",\"language\":\"deDE\",\"old\":null,"
              "\"new\":\"X1-de\",\"oldLine\":3,\"newLine\":4}");
}

TEST_F(ModDiffTest, TablesSameAndTrouble) {
    auto tbl = [](const vmtest::Entries& entries) {
        const vmtest::Bytes image = vmtest::TblImage(entries);
        return std::string(image.begin(), image.end());
    };
    ASSERT_TRUE(dir.Write("a.tbl", tbl({{u"k", u"one"}, {u"l", u"two"}})));
    ASSERT_TRUE(dir.Write("b.tbl", tbl({{u"k", u"one"}, {u"l", u"zwei"}})));
    EXPECT_EQ(Diff({dir.Path(u"a.tbl"), dir.Path(u"a.tbl")}).status, 0);
    const DiffRun changed = Diff({dir.Path(u"a.tbl"), dir.Path(u"b.tbl")});
    EXPECT_EQ(changed.status, 1);
    EXPECT_EQ(changed.out, "~ b.tbl: l (enUS): \"two\" -> \"zwei\"\n");

    ASSERT_TRUE(dir.Write("bad.json", "[{\"id\": 1}]"));
    const DiffRun bad = Diff({dir.Path(u"a.tbl"), dir.Path(u"bad.json")});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("bad.json"), std::string::npos);
    EXPECT_EQ(Diff({dir.Path(u"a.tbl")}).status, 2);
    EXPECT_EQ(Diff({dir.Path(u"a.tbl"), dir.Path(u"b.tbl"), u"--format", u"xml"}).status, 2);
}

}  // namespace

namespace {

DiffRun Rebase(std::vector<std::u16string> args) {
    args.insert(args.begin(), u"rebase");
    std::ostringstream out, err;
    const int status = vm::RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

TEST_F(ModDiffTest, RebaseCarriesTheModsChangesOverAndKeepsTheNewGamesBytes) {
    // The mod changed a's German text, b's too (as did the game: a
    // conflict), removed d and added its own entry with id 90; the game
    // changed c's English text and added e and ui.json's v.
    ASSERT_TRUE(
        dir.Write("old/items.json",
                  Strings({{1, "a", "A", "A-de"}, {2, "b", "B", "B-de"}, {3, "c", "C", "-"}, {4, "d", "D", "D-de"}})));
    ASSERT_TRUE(dir.Write(
        "mod/items.json",
        Strings({{1, "a", "A", "A mod"}, {2, "b", "B", "B mod"}, {3, "c", "C", "-"}, {90, "mine", "Mine", "Meins"}})));
    ASSERT_TRUE(dir.Write("new/items.json", Strings({{1, "a", "A", "A-de"},
                                                     {2, "b", "B", "B game"},
                                                     {3, "c", "C new", "-"},
                                                     {4, "d", "D", "D-de"},
                                                     {90, "e", "E", "E-de"}})));
    const std::string ui = Strings({{10, "u", "U", "U-de"}, {11, "v", "V", "V-de"}});
    ASSERT_TRUE(dir.Write("old/ui.json", Strings({{10, "u", "U", "U-de"}})));
    ASSERT_TRUE(dir.Write("mod/ui.json", Strings({{10, "u", "U", "U-de"}})));
    ASSERT_TRUE(dir.Write("new/ui.json", ui));
    ASSERT_TRUE(dir.Write("mod/own.json", Strings({{500, "own", "Own", "Eigen"}})));
    ASSERT_TRUE(dir.Write("out/.keep", ""));

    const DiffRun run = Rebase({dir.Path(u"old"), dir.Path(u"new"), dir.Path(u"mod"), dir.Path(u"out"), u"--strict"});
    EXPECT_EQ(run.status, 1) << run.err;  // the conflict was left to the default
    EXPECT_EQ(run.out,
              "conflict: items.json: b (deDE): mod \"B mod\", game \"B game\", before \"B-de\"; kept mod\n"
              "rebased: 2 texts changed, 1 entries added, 1 removed, 1 conflicts; 3 files written\n");
    EXPECT_EQ(dir.Read("out/ui.json"), ui);  // untouched by the mod: the new game's bytes
    EXPECT_EQ(dir.Read("out/own.json"), dir.Read("mod/own.json"));
    const DiffRun result = Diff({dir.Path(u"new/items.json"), dir.Path(u"out/items.json")});
    EXPECT_EQ(result.out,
              "~ items.json: a (deDE): \"A-de\" -> \"A mod\"\n"
              "~ items.json: b (deDE): \"B game\" -> \"B mod\"\n"
              "+ items.json: mine: \"Mine\"\n"
              "- items.json: d: \"D\"\n");
    // The mod's id 90 is the new game's now: its entry gets one no file of
    // the new game or the mod holds (own.json has 500).
    EXPECT_NE(dir.Read("out/items.json").find("{\"id\": 501, \"Key\": \"mine\""), std::string::npos)
        << dir.Read("out/items.json");

    // Preferring the game's text; nothing the mod changed: the new game.
    EXPECT_EQ(Rebase({dir.Path(u"old"), dir.Path(u"new"), dir.Path(u"mod"), dir.Path(u"out"), u"--prefer", u"game",
                      u"--strict"})
                  .status,
              0);
    EXPECT_EQ(Diff({dir.Path(u"new/items.json"), dir.Path(u"out/items.json")}).out,
              "~ items.json: a (deDE): \"A-de\" -> \"A mod\"\n+ items.json: mine: \"Mine\"\n- items.json: d: \"D\"\n");
    ASSERT_TRUE(dir.Write("same.json", dir.Read("old/items.json")));
    EXPECT_EQ(Rebase({dir.Path(u"old/items.json"), dir.Path(u"new/items.json"), dir.Path(u"same.json"),
                      dir.Path(u"out/same.json")})
                  .status,
              0);
    EXPECT_EQ(dir.Read("out/same.json"), dir.Read("new/items.json"));
}

TEST_F(ModDiffTest, RebaseOfTablesAndBadInput) {
    auto tbl = [](const vmtest::Entries& entries, int offset8) {
        vm::TblOptions options;
        options.offset8 = offset8;
        const vmtest::Bytes image = vmtest::TblImage(entries, options);
        return std::string(image.begin(), image.end());
    };
    ASSERT_TRUE(dir.Write("old.tbl", tbl({{u"k", u"one"}, {u"l", u"two"}}, 1)));
    ASSERT_TRUE(dir.Write("mod.tbl", tbl({{u"k", u"eins"}, {u"l", u"two"}}, 1)));
    ASSERT_TRUE(dir.Write("new.tbl", tbl({{u"k", u"one"}, {u"l", u"two"}, {u"m", u"three"}}, 0)));
    ASSERT_EQ(Rebase({dir.Path(u"old.tbl"), dir.Path(u"new.tbl"), dir.Path(u"mod.tbl"), dir.Path(u"out.tbl")}).status,
              0);
    EXPECT_EQ(dir.Read("out.tbl"), tbl({{u"k", u"eins"}, {u"l", u"two"}, {u"m", u"three"}}, 0));

    // A file that cannot be read: an error, and nothing written.
    ASSERT_TRUE(dir.Write("bad.tbl", "not a table"));
    const DiffRun bad = Rebase({dir.Path(u"old.tbl"), dir.Path(u"bad.tbl"), dir.Path(u"mod.tbl"), dir.Path(u"x.tbl")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(dir.Read("x.tbl"), "<missing>");
    EXPECT_EQ(Rebase({dir.Path(u"old.tbl"), dir.Path(u"new.tbl")}).status, 2);
    EXPECT_EQ(Rebase({dir.Path(u"old.tbl"), dir.Path(u"new.tbl"), dir.Path(u"mod.tbl"), dir.Path(u"x.tbl"), u"--prefer",
                      u"both"})
                  .status,
              2);
}

}  // namespace

namespace {

DiffRun Apply(std::vector<std::u16string> args) {
    args.insert(args.begin(), u"apply");
    std::ostringstream out, err;
    const int status = vm::RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

TEST_F(ModDiffTest, APatchOfADiffAppliedToOldGivesNewsTextsAndStacksOnOtherVersions) {
    const std::string old = Strings({{1, "a", "A", "A-de"}, {2, "b", "B", "-"}, {3, "c", "C", "C-de"}});
    const std::string now = Strings({{1, "a", "A", "A neu"}, {2, "b", "B", "B-de"}, {7, "d", "D", "D-de"}});
    ASSERT_TRUE(dir.Write("old/items.json", old));
    ASSERT_TRUE(dir.Write("new/items.json", now));
    ASSERT_TRUE(dir.Write("out/.keep", ""));
    const DiffRun diff = Diff({dir.Path(u"old"), dir.Path(u"new"), u"--patch", dir.Path(u"patch.json")});
    ASSERT_EQ(diff.status, 1) << diff.err;

    // Applied to OLD: NEW's texts, entries and removals (the added object
    // also gets the languages NEW's lacks, filled with its English, as
    // every new object does).
    const DiffRun applied = Apply({dir.Path(u"patch.json"), dir.Path(u"old"), dir.Path(u"out")});
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(applied.out, "applied: 2 texts set, 1 entries added, 1 removed, 0 keys missing; 1 files written\n");
    std::istringstream rest(Diff({dir.Path(u"new/items.json"), dir.Path(u"out/items.json")}).out);
    for (std::string line; std::getline(rest, line);)
        EXPECT_NE(line.find("~ items.json: d ("), std::string::npos) << line;

    // Applied to another version that lacks c and has a key of its own: the
    // rest is applied and the missing key said; --strict writes nothing.
    ASSERT_TRUE(dir.Write("other.json", Strings({{1, "a", "A", "A-de"}, {2, "b", "B", "-"}, {9, "z", "Z", "Z-de"}})));
    const DiffRun other = Apply({dir.Path(u"patch.json"), dir.Path(u"other.json"), dir.Path(u"other-out.json")});
    EXPECT_EQ(other.status, 0);
    EXPECT_NE(other.err.find("items.json: c: the target has no such key"), std::string::npos) << other.err;
    EXPECT_EQ(Diff({dir.Path(u"other.json"), dir.Path(u"other-out.json")}).out,
              "~ other-out.json: a (deDE): \"A-de\" -> \"A neu\"\n"
              "~ other-out.json: b (deDE): (no field) -> \"B-de\"\n"
              "+ other-out.json: d: \"D\"\n");
    const DiffRun strict =
        Apply({dir.Path(u"patch.json"), dir.Path(u"other.json"), dir.Path(u"strict.json"), u"--strict"});
    EXPECT_EQ(strict.status, 1);
    EXPECT_EQ(dir.Read("strict.json"), "<missing>");
    ASSERT_TRUE(dir.Write("not-a-patch.json", "[]"));
    EXPECT_EQ(Apply({dir.Path(u"not-a-patch.json"), dir.Path(u"old"), dir.Path(u"out")}).status, 1);
}

}  // namespace

namespace {

// The script of --patch-d2rmm run by node against a stub of the mod
// manager's API over a copy of the old strings folder: the result holds
// the new folder's texts.
TEST_F(ModDiffTest, TheD2rmmModSetsAddsAndRemovesByKeyUnderNode) {
#ifdef _WIN32
    GTEST_SKIP() << "node runs on the build machine";
#else
    if (std::system("node --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "node is not installed";
    ASSERT_TRUE(dir.Write(
        "old/items.json",
        Strings({{1, "a", "A", "A-de"}, {2, "x", "X1", "X1-de"}, {3, "x", "X2", "X2-de"}, {4, "gone", "G", "G-de"}})));
    ASSERT_TRUE(dir.Write("new/items.json", Strings({{1, "a", "A \\\"quoted\\\"", "A-de"},
                                                     {2, "x", "X1", "X1-de"},
                                                     {3, "x", "X2", "X2 neu"},
                                                     {7, "n", "N", "N-de"}})));
    ASSERT_TRUE(dir.Write("mod/.keep", ""));
    ASSERT_EQ(Diff({dir.Path(u"old"), dir.Path(u"new"), u"--patch-d2rmm", dir.Path(u"mod")}).status, 1);
    EXPECT_NE(dir.Read("mod/mod.json").find("\"name\": \"new\""), std::string::npos) << dir.Read("mod/mod.json");

    // The stub: files read from and written to the old folder, ids from 500.
    ASSERT_TRUE(dir.Write("run.js", R"(
const fs = require('fs'), path = require('path'), vm = require('vm');
const root = process.argv[2];
const file = (p) => path.join(root, 'old', p.replace('local\\lng\\strings\\', ''));
let next = 500;
const D2RMM = {
  readJson: (p) => JSON.parse(fs.readFileSync(file(p), 'utf8')),
  writeJson: (p, data) => fs.writeFileSync(file(p), JSON.stringify(data)),
  getNextStringID: () => next++,
};
vm.runInNewContext(fs.readFileSync(path.join(root, 'mod', 'mod.js'), 'utf8'), { D2RMM, console });
)"));
    const std::string command = "node " + dir.path().string() + "/run.js " + dir.path().string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string result = dir.Read("old/items.json");
    EXPECT_EQ(
        result,
        "[{\"id\":1,\"Key\":\"a\",\"enUS\":\"A \\\"quoted\\\"\",\"deDE\":\"A-de\"},"
        "{\"id\":2,\"Key\":\"x\",\"enUS\":\"X1\",\"deDE\":\"X1-de\"},"
        "{\"id\":3,\"Key\":\"x\",\"enUS\":\"X2\",\"deDE\":\"X2 neu\"},"
        "{\"id\":500,\"Key\":\"n\",\"enUS\":\"N\",\"zhTW\":\"N\",\"deDE\":\"N-de\",\"esES\":\"N\",\"frFR\":\"N\","
        "\"itIT\":\"N\",\"koKR\":\"N\",\"plPL\":\"N\",\"esMX\":\"N\",\"jaJP\":\"N\",\"ptBR\":\"N\",\"ruRU\":\"N\","
        "\"zhCN\":\"N\"}]");
#endif
}

}  // namespace
