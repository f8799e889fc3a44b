// The command-line tool on string files of the remastered game: columns
// out to .tbl and text, tables into a file's column by key, new files,
// byte-identical rewrites, info, and failures that leave OUT alone.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "tests/TestFiles.h"

namespace {

struct CliRun {
    int status;
    std::string out, err;
};

CliRun Cli(const std::vector<std::u16string>& args) {
    std::ostringstream out, err;
    const int status = vm::RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

std::string Object(int id, const std::string& key, const std::string& en, const std::string& de) {
    return "  {\r\n    \"id\": " + std::to_string(id) + ",\r\n    \"Key\": \"" + key + "\",\r\n    \"enUS\": \"" + en +
           "\",\r\n    \"deDE\": \"" + de + "\"\r\n  }";
}

// A game-like file (of two languages, to keep the expectations short).
const std::string Base = "\xEF\xBB\xBF[\r\n" + Object(1, "a", "A", "a-de") + ",\r\n" +
                         Object(2, "b",
                                "\xC3\xBF"
                                "c1B",
                                "") +
                         ",\r\n" + Object(3, "a", "A2", "") + "\r\n]\r\n";

class CliJson : public ::testing::Test {
protected:
    vmtest::TempDir dir;
    std::u16string Path(const char* name) {
        return dir.Path(std::u16string(name, name + std::char_traits<char>::length(name)));
    }
};

TEST_F(CliJson, ColumnsOutAndByteIdenticalRewrite) {
    ASSERT_TRUE(dir.Write("s.json", Base));
    CliRun r = Cli({u"convert", Path("s.json"), Path("en.txt"), u"--encoding", u"utf8"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.Read("en.txt"), "\xEF\xBB\xBFKey\tValue\r\na\t\"A\"\r\nb\t\"\\red;B\"\r\na\t\"A2\"\r\n");
    r = Cli({u"convert", Path("s.json"), Path("de.txt"), u"--encoding", u"utf8", u"--language", u"deDE"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.Read("de.txt"), "\xEF\xBB\xBFKey\tValue\r\na\t\"a-de\"\r\nb\t\"\"\r\na\t\"\"\r\n");
    ASSERT_EQ(Cli({u"convert", Path("s.json"), Path("en.tbl")}).status, 0);
    ASSERT_EQ(Cli({u"convert", Path("s.json"), Path("copy.json"), u"--language", u"ruRU"}).status, 0);
    EXPECT_EQ(dir.Read("copy.json"), Base);
}

// A translation goes into BASE's column by key: repeated keys in order, X
// for the key before, unknown keys as new objects with every language.
TEST_F(CliJson, IntoBaseByKey) {
    ASSERT_TRUE(dir.Write("s.json", Base));
    ASSERT_TRUE(dir.Write("de.txt", "Key\tValue\r\na\t\"eins\"\r\nX\t\"zwei\"\r\nnew\t\"neu\"\r\n"));
    const CliRun r =
        Cli({u"convert", Path("de.txt"), Path("out.json"), u"--into", Path("s.json"), u"--language", u"deDE"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("2 values changed, 1 new objects\n4 entries written to"), 0u) << r.out;
    std::string expected = Base;
    expected.replace(expected.find("a-de"), 4, "eins");
    expected.replace(expected.rfind("\"deDE\": \"\""), 10, "\"deDE\": \"zwei\"");
    std::string added = ",\r\n  {\r\n    \"id\": 4,\r\n    \"Key\": \"new\"";
    for (const char* code :
         {"enUS", "zhTW", "deDE", "esES", "frFR", "itIT", "koKR", "plPL", "esMX", "jaJP", "ptBR", "ruRU", "zhCN"})
        added += std::string(",\r\n    \"") + code + "\": \"neu\"";
    expected.insert(expected.rfind("\r\n]"), added + "\r\n  }");
    EXPECT_EQ(dir.Read("out.json"), expected);
}

TEST_F(CliJson, NewFileInTheGamesLayoutFromFirstId) {
    ASSERT_TRUE(dir.Write("t.txt", "Key\tValue\r\nk\t\"\\gold;v\\nw\"\r\n"));
    ASSERT_EQ(Cli({u"convert", Path("t.txt"), Path("n.json"), u"--first-id", u"70000"}).status, 0);
    const std::string file = dir.Read("n.json");
    EXPECT_EQ(file.find("\xEF\xBB\xBF[\r\n  {\r\n    \"id\": 70000,\r\n    \"Key\": \"k\",\r\n    \"enUS\""), 0u);
    EXPECT_NE(file.find("\"zhCN\": \"\xC3\xBF"
                        "c4v\\nw\"\r\n  }\r\n]\r\n"),
              std::string::npos);
}

TEST_F(CliJson, InfoShowsLayoutRepeatsAndGaps) {
    ASSERT_TRUE(dir.Write("s.json", Base));
    const CliRun r = Cli({u"info", Path("s.json")});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line :
         {"Entries: 3\n", "ByteOrderMark: yes\n", "LineEnds: CRLF\n",
          "Indentation: objects 2 spaces, fields 4 spaces\n", "  3 x id Key enUS deDE\n", "RepeatedIds: none\n",
          "RepeatedKeys: 1\n  \"a\" (2 objects)\n", "  enUS: 0 missing, 0 empty\n", "  deDE: 0 missing, 2 empty\n",
          "  zhCN: 3 missing, 0 empty\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
}

TEST_F(CliJson, FailuresLeaveTheOutputAlone) {
    ASSERT_TRUE(dir.Write("bad.json", "[\n  {\"id\": 1, \"Key\": \"a\", \"enUS\": 5}\n]"));
    ASSERT_TRUE(dir.Write("out.json", "old"));
    ASSERT_TRUE(dir.Write("t.txt", "a\tb\r\n"));
    CliRun r = Cli({u"convert", Path("bad.json"), Path("out.json")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("line 2, column 33: \"enUS\" is not a string"), std::string::npos) << r.err;
    r = Cli({u"convert", Path("t.txt"), Path("out.json"), u"--into", Path("bad.json")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Cli({u"convert", Path("t.txt"), Path("out.txt"), u"--into", Path("bad.json")}).status, 2);
    EXPECT_EQ(Cli({u"convert", Path("t.txt"), Path("out.json"), u"--language", u"EN"}).status, 2);
    EXPECT_EQ(Cli({u"merge", Path("t.txt"), Path("t.txt"), Path("out.json"), u"--into", Path("bad.json")}).status, 2);
    EXPECT_EQ(dir.Read("out.json"), "old");
}

}  // namespace
