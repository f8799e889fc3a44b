// The mod-wide check through the command line: made-up string folders,
// classic language folders and data tables, each fault found at its key
// and language, the game's own faults left out, and the four output forms.

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "tests/FormatTestUtil.h"
#include "tests/TestFiles.h"

namespace {

const char* const Languages[] = {"enUS", "zhTW", "deDE", "esES", "frFR", "itIT", "koKR",
                                 "plPL", "esMX", "jaJP", "ptBR", "ruRU", "zhCN"};

// An object whose languages hold "<enUS> <code>" unless given; a language
// given as "-" is left out.
struct Object {
    int id;
    std::string key, en;
    std::map<std::string, std::string> texts;
};

std::string Escaped(const std::string& s) {
    std::string e;
    for (char c : s) {
        if (c == '"' || c == '\\') e += '\\';
        if (c == '\n') {
            e += "\\n";
            continue;
        }
        e += c;
    }
    return e;
}

std::string StringFile(const std::vector<Object>& objects) {
    std::string out = "\xEF\xBB\xBF[";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const Object& o = objects[i];
        out += (i ? ",\r\n  {" : "\r\n  {");
        out += "\r\n    \"id\": " + std::to_string(o.id) + ",\r\n    \"Key\": \"" + Escaped(o.key) + "\"";
        for (const char* l : Languages) {
            const auto it = o.texts.find(l);
            std::string text = std::string(l) == "enUS" ? o.en : o.en + " " + l;
            if (it != o.texts.end()) text = it->second;
            if (text == "-") continue;
            out += ",\r\n    \"" + std::string(l) + "\": \"" + Escaped(text) + "\"";
        }
        out += "\r\n  }";
    }
    return out + "\r\n]\r\n";
}

struct CheckRun {
    int status;
    std::string out, err;
};

CheckRun Cli(std::vector<std::u16string> args) {
    std::ostringstream out, err;
    const int status = vm::RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

// "rule key language" of every finding of a json run.
std::multiset<std::string> Findings(const CheckRun& run) {
    std::multiset<std::string> found;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        rapidjson::Document d;
        d.Parse(line.c_str());
        EXPECT_FALSE(d.HasParseError()) << line;
        if (d.HasParseError()) continue;
        std::string f = std::string(d["rule"].GetString()) + " " + d["key"].GetString();
        if (d["language"].IsString()) f += std::string(" ") + d["language"].GetString();
        found.insert(f);
    }
    return found;
}

class ModCheckTest : public ::testing::Test {
protected:
    vmtest::TempDir dir;
};

TEST_F(ModCheckTest, EachRuleFindsItsFaultAtTheKeyAndLanguage) {
    ASSERT_TRUE(dir.Write("mod/strings/a.json",
                          StringFile({
                              {1,
                               "clean",
                               "Take %d of %s\n\xC3\xBF"
                               "c1gold",
                               {}},
                              {2, "gone", "Gone", {{"deDE", "-"}}},
                              {3, "ph", "Take %d of %s", {{"frFR", "Prends %d"}, {"deDE", "Nimm %s von %d"}}},
                              {4,
                               "col",
                               "\xC3\xBF"
                               "c1Red",
                               {{"itIT", "Rosso"},
                                {"esES",
                                 "\xC3\xBF"
                                 "cxRojo"}}},
                              {5, "lb", "a\nb", {{"ruRU", "ab"}}},
                              {6, "trail ", "x  y", {}},
                              {7, "gm", "Sword", {{"deDE", "[ms]Schwert"}, {"frFR", "[ms]Epee"}}},
                              {8, "moj", "Cafe", {{"frFR", "Caf\xC3\x83\xC2\xA9"}, {"koKR", "\xEF\xBF\xBD"}}},
                              {9, "zh", "Name", {{"zhTW", "\xE5\x90\x8D"}, {"zhCN", "\xE5\x90\x8D"}}},
                              {10, "same", "Sorceress", {{"deDE", "Sorceress"}}},
                              {11, "empty", "Text", {{"plPL", ""}}},
                          })));
    const CheckRun run = Cli({u"check", dir.Path(u"mod/strings"), u"--format", u"json"});
    EXPECT_EQ(run.status, 1) << run.err;
    const std::multiset<std::string> expected = {
        "missing-language gone deDE",
        "placeholders ph frFR",
        "colour-codes col itIT",
        "colour-codes col esES",
        "line-breaks lb ruRU",
        "whitespace trail ",
        // The doubled space of the value, in every language that keeps it.
        "whitespace trail  enUS",
        "whitespace trail  zhTW",
        "whitespace trail  deDE",
        "whitespace trail  esES",
        "whitespace trail  frFR",
        "whitespace trail  itIT",
        "whitespace trail  koKR",
        "whitespace trail  plPL",
        "whitespace trail  esMX",
        "whitespace trail  jaJP",
        "whitespace trail  ptBR",
        "whitespace trail  ruRU",
        "whitespace trail  zhCN",
        "gender-markers gm frFR",
        "encoding moj frFR",
        "encoding moj koKR",
        "zh-variants zh zhTW",
        "same-as-source same deDE",
        "empty-text empty plPL",
    };
    EXPECT_EQ(Findings(run), expected) << run.out;

    // The rules asked for, and no others; an allowed key is no finding.
    ASSERT_TRUE(dir.Write("allow.txt", "same\r\n"));
    const CheckRun some = Cli({u"check", dir.Path(u"mod/strings/a.json"), u"--rules", u"placeholders,same-as-source",
                               u"--allow", dir.Path(u"allow.txt"), u"--format=json"});
    EXPECT_EQ(Findings(some), (std::multiset<std::string>{"placeholders ph frFR"}));
    const CheckRun languages = Cli({u"check", dir.Path(u"mod/strings/a.json"), u"--rules", u"-whitespace,-encoding",
                                    u"--language", u"zhTW,ruRU", u"--format=json"});
    EXPECT_EQ(Findings(languages), (std::multiset<std::string>{"line-breaks lb ruRU", "zh-variants zh zhTW"}));
}

TEST_F(ModCheckTest, IdsAndKeysAcrossTheFolderAndAgainstTheGame) {
    // The game: a repeated key "x" and a missing field it ships itself, and
    // a file the mod does not ship.
    ASSERT_TRUE(dir.Write("game/strings/items.json",
                          StringFile({{1, "x", "X", {}}, {2, "x", "X2", {}}, {3, "sword", "Sword", {{"jaJP", "-"}}}})));
    ASSERT_TRUE(dir.Write("game/strings/ui.json", StringFile({{50, "menu", "Menu", {}}})));
    // The mod ships items.json with a new string whose id the game's
    // ui.json holds, and a file of its own that repeats a key and an id.
    ASSERT_TRUE(dir.Write(
        "mod/strings/items.json",
        StringFile(
            {{1, "x", "X", {}}, {2, "x", "X2", {}}, {3, "sword", "Sword", {{"jaJP", "-"}}}, {50, "axe", "Axe", {}}})));
    ASSERT_TRUE(dir.Write("mod/strings/mine.json",
                          StringFile({{60, "sword", "Sword", {}}, {61, "a", "A", {}}, {61, "b", "B", {}}})));
    const CheckRun run =
        Cli({u"check", dir.Path(u"mod/strings"), u"--against", dir.Path(u"game/strings"), u"--format", u"json"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Findings(run), (std::multiset<std::string>{"duplicate-id axe", "duplicate-key sword", "duplicate-id a",
                                                         "duplicate-id b"}))
        << run.out;
    EXPECT_NE(run.out.find("the id of 'menu' at "), std::string::npos) << run.out;

    // Without the game's files, the game's own faults count.
    const CheckRun alone =
        Cli({u"check", dir.Path(u"mod/strings"), u"--format", u"json", u"--rules", u"-duplicate-id"});
    EXPECT_EQ(Findings(alone),
              (std::multiset<std::string>{"duplicate-key x", "missing-language sword jaJP", "duplicate-key sword"}));
}

TEST_F(ModCheckTest, ClassicFoldersTablesAndDataTables) {
    using vmtest::Bytes;
    auto tbl = [](const vmtest::Entries& entries) {
        const Bytes image = vmtest::TblImage(entries);
        return std::string(image.begin(), image.end());
    };
    ASSERT_TRUE(dir.Write("ENG/string.tbl", tbl({{u"Foo ", u"Foo"}, {u"hit", u"Hit %d times"}})));
    ASSERT_TRUE(dir.Write("ENG/patchstring.tbl", tbl({{u"hit", u"Hits %d"}})));
    ASSERT_TRUE(dir.Write("DEU/string.tbl", tbl({{u"Foo ", u"Foo"}, {u"hit", u"Trifft"}})));
    ASSERT_TRUE(dir.Write("excel/uniqueitems.txt", "index\tlvl\r\nFoo\t1\r\nBar\t2\r\nExpansion\t\r\n"));

    const CheckRun eng =
        Cli({u"check", dir.Path(u"ENG"), u"--excel", dir.Path(u"excel"), u"--rules", u"duplicate-key,missing-key"});
    EXPECT_EQ(eng.status, 1);
    EXPECT_NE(eng.out.find("string.tbl:2: warning: duplicate-key: hit: "), std::string::npos) << eng.out;
    EXPECT_NE(eng.out.find("the game uses the one in patchstring.tbl"), std::string::npos) << eng.out;
    EXPECT_NE(eng.out.find("uniqueitems.txt:2: error: missing-key: Foo: "), std::string::npos) << eng.out;
    EXPECT_NE(eng.out.find("'Foo ' is defined, with other spaces around it"), std::string::npos) << eng.out;
    EXPECT_NE(eng.out.find("uniqueitems.txt:3: error: missing-key: Bar: "), std::string::npos) << eng.out;
    EXPECT_EQ(eng.out.find("Expansion"), std::string::npos) << eng.out;

    // A translated table beside its source: the folder names the language.
    const CheckRun deu = Cli({u"check", dir.Path(u"DEU/string.tbl"), u"--source", dir.Path(u"ENG/string.tbl"),
                              u"--format", u"json", u"--rules", u"placeholders,same-as-source"});
    EXPECT_EQ(Findings(deu), (std::multiset<std::string>{"placeholders hit", "same-as-source Foo "}));
    const CheckRun named = Cli({u"check", dir.Path(u"DEU/string.tbl"), u"--source", dir.Path(u"ENG/string.tbl"),
                                u"--language", u"deDE", u"--format", u"json", u"--rules", u"placeholders"});
    EXPECT_EQ(Findings(named), (std::multiset<std::string>{"placeholders hit deDE"}));
}

TEST_F(ModCheckTest, FixFillsTrimsAndRenumbersKeepingEveryOtherByte) {
    const std::string a = StringFile({{1, "keep", "Keep", {}},
                                      {2, "gone", "Gone", {{"deDE", "-"}, {"plPL", ""}}},
                                      {3, " pad", "Pad", {}},
                                      {7, "twice", "Twice", {}}});
    const std::string b = StringFile({{7, "again", "Again", {}}, {8, "fine", "Fine", {}}});
    ASSERT_TRUE(dir.Write("lng/strings/a.json", a));
    ASSERT_TRUE(dir.Write("lng/strings/b.json", b));
    ASSERT_TRUE(dir.Write("lng/next_string_id.txt", "40\r\n"));
    const CheckRun fixed = Cli({u"fix", dir.Path(u"lng/strings"), u"--format", u"json"});
    EXPECT_EQ(fixed.status, 0) << fixed.out << fixed.err;
    // What was filled from the source is, of course, the source's text.
    EXPECT_EQ(Findings(fixed), (std::multiset<std::string>{"same-as-source gone deDE", "same-as-source gone plPL"}))
        << fixed.out;
    EXPECT_NE(fixed.err.find("2 texts filled, 1 keys trimmed, 1 new ids, in 2 files"), std::string::npos) << fixed.err;

    const std::string a2 = dir.Read("lng/strings/a.json"), b2 = dir.Read("lng/strings/b.json");
    // Untouched objects keep their bytes; the later of two objects with one
    // id gets the mod manager's next id, and the counter goes on.
    EXPECT_EQ(a2.substr(0, a.find("\"Key\": \"gone\"")), a.substr(0, a.find("\"Key\": \"gone\"")));
    EXPECT_NE(a2.find("\"deDE\": \"Gone\""), std::string::npos);
    EXPECT_NE(a2.find("\"plPL\": \"Gone\""), std::string::npos);
    EXPECT_NE(a2.find("\"Key\": \"pad\""), std::string::npos);
    EXPECT_NE(a2.find("\"id\": 7,"), std::string::npos);
    EXPECT_EQ(b2.substr(b2.find("\"Key\": \"again\"")), b.substr(b.find("\"Key\": \"again\"")));
    EXPECT_NE(b2.find("\"id\": 40,"), std::string::npos) << b2;
    EXPECT_EQ(dir.Read("lng/next_string_id.txt"), "41\r\n");

    // A second run has nothing left to do and writes nothing.
    const CheckRun again = Cli({u"fix", dir.Path(u"lng/strings")});
    EXPECT_NE(again.err.find("in 0 files"), std::string::npos) << again.err;
    EXPECT_EQ(dir.Read("lng/strings/a.json"), a2);
}

TEST_F(ModCheckTest, OutputFormsAndExitStatus) {
    ASSERT_TRUE(
        dir.Write("s/a.json", StringFile({{1, "k,1", "100%", {{"deDE", "-"}}}, {2, "w", "W", {{"deDE", ""}}}})));
    ASSERT_TRUE(dir.Write("s/bad.json", "[{\"id\": 1, \"Key\": \"k\", \"enUS\": \"\xE9\"}]"));
    const std::u16string folder = dir.Path(u"s");

    const CheckRun text = Cli({u"check", folder});
    EXPECT_EQ(text.status, 1);
    const std::string file = vm::platform::ToUtf8(vm::platform::JoinPath(folder, u"a.json"));
    EXPECT_NE(text.out.find(file + ":2: error: missing-language: k,1 (deDE): the object has no deDE field"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("bad.json:1: error: encoding: "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\nmissing-language: 1\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("2 errors, 1 warning, 0 info"), std::string::npos) << text.out;

    const CheckRun github = Cli({u"check", vm::platform::JoinPath(folder, u"a.json"), u"--format", u"github"});
    std::string property;  // a workflow command's property escapes ":" and ","
    for (char c : file) property += c == ':' ? "%3A" : c == ',' ? "%2C" : std::string(1, c);
    EXPECT_NE(github.out.find("::error file=" + property + ",line=2,title=missing-language::k,1 (deDE): "),
              std::string::npos)
        << github.out;
    EXPECT_NE(github.out.find("::warning file="), std::string::npos) << github.out;

    const CheckRun sarif = Cli({u"check", folder, u"--format", u"sarif"});
    rapidjson::Document d;
    d.Parse(sarif.out.c_str());
    ASSERT_FALSE(d.HasParseError()) << sarif.out;
    EXPECT_STREQ(d["version"].GetString(), "2.1.0");
    const auto& run = d["runs"][0];
    EXPECT_STREQ(run["tool"]["driver"]["name"].GetString(), "vellumark-cli");
    ASSERT_EQ(run["results"].Size(), 3u);
    for (const auto& r : run["results"].GetArray()) {
        EXPECT_TRUE(r["ruleId"].IsString());
        EXPECT_TRUE(r["message"]["text"].IsString());
        const std::string level = r["level"].GetString();
        EXPECT_TRUE(level == "error" || level == "warning" || level == "note") << level;
        const auto& location = r["locations"][0]["physicalLocation"];
        EXPECT_EQ(std::string(location["artifactLocation"]["uri"].GetString()).find('\\'), std::string::npos);
        EXPECT_GE(location["region"]["startLine"].GetInt(), 1);
    }

    // Nothing that is an error: 0; wrong usage: 2.
    EXPECT_EQ(Cli({u"check", dir.Path(u"s/a.json"), u"--rules", u"empty-text"}).status, 0);
    EXPECT_EQ(Cli({u"check"}).status, 2);
    EXPECT_EQ(Cli({u"check", folder, u"--rules", u"no-such-rule"}).status, 2);
    EXPECT_EQ(Cli({u"check", folder, u"--format", u"xml"}).status, 2);
    EXPECT_EQ(Cli({u"check", folder, u"--language", u"xxXX"}).status, 2);
}

}  // namespace
