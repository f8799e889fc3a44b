// New ids of string files, unique across their folder: the allocator, the
// counter file's number, and saves through the table I/O, the window's
// side and the command line into a made-up strings folder whose files hold
// interleaved ids.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "documents/DocumentTexts.h"
#include "documents/ItemOperations.h"
#include "documents/StringIds.h"
#include "documents/TableFiles.h"
#include "documents/TableIO.h"
#include "formats/JsonStrings.h"
#include "platform/Platform.h"
#include "tests/DocumentTestUtil.h"
#include "tests/TestFiles.h"

using namespace vm;
using namespace vmtest;

namespace {

constexpr std::int64_t MaxId = std::numeric_limits<std::int64_t>::max();

std::vector<std::int64_t> Take(NewIdSource& source, int n) {
    std::vector<std::int64_t> ids;
    for (int i = 0; i < n; ++i) ids.push_back(source.Next().value_or(-1));
    return ids;
}

TEST(NewIdSource, SkipsTakenIdsAndStopsAtTheLargestId) {
    TakenIds taken;
    for (std::int64_t id : {10, 5, 7, 3, 6, 7, 5}) taken.Add(id);
    EXPECT_EQ(taken.ids, (std::vector<std::int64_t>{3, 5, 6, 7, 10}));
    const struct {
        std::int64_t start;
        std::vector<std::int64_t> ids;  // -1: none given
    } cases[] = {
        {5, {8, 9, 11, 12}},
        {1, {1, 2, 4, 8}},
        {11, {11, 12, 13, 14}},
    };
    for (const auto& c : cases) {
        NewIdSource source(taken, c.start);
        EXPECT_EQ(Take(source, 4), c.ids) << c.start;
        EXPECT_EQ(source.Given(), 4u);
        EXPECT_EQ(source.Highest(), c.ids.back());
    }

    // Ids added to the set between calls are skipped too.
    NewIdSource growing(taken, 1);
    EXPECT_EQ(growing.Next(), 1);
    taken.Add(2);
    EXPECT_EQ(growing.Next(), 4);

    // The largest id is given once, then none; no wrap to negative ids.
    TakenIds high;
    high.Add(MaxId - 1);
    NewIdSource top(high, MaxId - 2);
    EXPECT_EQ(Take(top, 4), (std::vector<std::int64_t>{MaxId - 2, MaxId, -1, -1}));
    high.Add(MaxId);
    NewIdSource full(high, MaxId - 1);
    EXPECT_EQ(full.Next(), std::nullopt);
    EXPECT_EQ(full.Given(), 0u);
}

TEST(IdCounter, TheFirstDigitRunIsTheNumberAndTheOnlyBytesReplaced) {
    const struct {
        std::string bytes;
        std::int64_t value;    // -1: no number
        std::string advanced;  // with 1234
    } cases[] = {
        {"41\r\n", 41, "1234\r\n"},
        {"\xEF\xBB\xBFnext = 0041 ; 7 more\n", 41, "\xEF\xBB\xBFnext = 1234 ; 7 more\n"},
        {"-5", 5, "-1234"},
        {"9223372036854775807", MaxId, "1234"},
        {"id 99999999999999999999 x", -1, ""},
        {"no number here\n", -1, ""},
        {"", -1, ""},
    };
    for (const auto& c : cases) {
        const std::optional<CounterNumber> n = FindCounterNumber(c.bytes);
        ASSERT_EQ(n.has_value(), c.value >= 0) << c.bytes;
        if (!n) continue;
        EXPECT_EQ(n->value, c.value) << c.bytes;
        EXPECT_EQ(WithCounterNumber(c.bytes, *n, 1234), c.advanced) << c.bytes;
    }

    // The counter lies beside the file's folder.
    using platform::JoinPath;
    const std::u16string mod = JoinPath(JoinPath(u"mod", u"lng"), u"strings");
    EXPECT_EQ(IdCounterFileOf(JoinPath(mod, u"a.json")), JoinPath(JoinPath(u"mod", u"lng"), IdCounterFileName));
    EXPECT_EQ(IdCounterFileOf(JoinPath(u"strings", u"a.json")), IdCounterFileName);
    EXPECT_EQ(IdCounterFileOf(u"a.json"), JoinPath(u"..", IdCounterFileName));
    EXPECT_EQ(IdCounterFileOf(JoinPath(u".", u"a.json")), JoinPath(JoinPath(u".", u".."), IdCounterFileName));
}

// ---- A strings folder -------------------------------------------------------

std::string Object(std::int64_t id, const std::string& key) {
    return "  {\r\n    \"id\": " + std::to_string(id) + ",\r\n    \"Key\": \"" + key + "\",\r\n    \"enUS\": \"" + key +
           "\"\r\n  }";
}

std::string FileOf(const std::vector<std::int64_t>& ids) {
    std::string s = "\xEF\xBB\xBF[";
    for (std::size_t i = 0; i < ids.size(); ++i)
        s += (i ? ",\r\n" : "\r\n") + Object(ids[i], "k" + std::to_string(ids[i]));
    return s + "\r\n]\r\n";
}

std::vector<std::int64_t> IdsIn(const std::string& bytes) {
    JsonDocument doc;
    EXPECT_TRUE(ParseJsonStrings(bytes, -1, doc));
    std::vector<std::int64_t> ids;
    for (const JsonObject& o : doc.objects) ids.push_back(o.id);
    return ids;
}

const char* const Counter = "lng/next_string_id.txt";
const std::string CounterText =
    "\xEF\xBB\xBF"
    "4\r\n; 77 is not the number\r\n";

// lng/strings/ with a.json, b.json and c.json, whose ids interleave.
class StringFolderTest : public DocumentsTest {
protected:
    TempDir dir;
    void SetUp() override {
        DocumentsTest::SetUp();
        ASSERT_TRUE(dir.Write("lng/strings/a.json", FileOf({1, 4, 9})));
        ASSERT_TRUE(dir.Write("lng/strings/b.json", FileOf({2, 5, 10})));
        ASSERT_TRUE(dir.Write("lng/strings/c.json", FileOf({3, 6})));
    }
    std::u16string Strings(const char16_t* name) { return dir.Path(std::u16string(u"lng/strings/") + name); }
    // Another file of the folder, named as the folder's reader names it.
    std::u16string Sibling(const char16_t* name) {
        return platform::JoinPath(platform::DirectoryOf(Strings(u"c.json")), name);
    }

    // Reads c.json, appends new keys and saves it back through the table I/O.
    bool AddToC(const std::vector<std::u16string>& newKeys, SaveReport& report) {
        TableLists table;
        LoadReport loaded;
        EXPECT_TRUE(LoadTableFile(Strings(u"c.json"), FormatJson, options, table.Keys, table.Values, loaded));
        const std::size_t tied = table.Count();
        for (const std::u16string& key : newKeys) table.Append(key, u"new");
        JsonTarget target;
        target.base = loaded.document.get();
        target.origin = [tied](std::int32_t i) {
            return static_cast<std::size_t>(i) < tied ? static_cast<std::uint32_t>(i + 1) : 0u;
        };
        return SaveTableFile(Strings(u"c.json"), FormatJson, table.Keys, table.Values, options, false, target, report);
    }
};

TEST_F(StringFolderTest, NewIdsAreHeldByNoFileOfTheFolderAndTheCounterIsUsedAndAdvanced) {
    // No counter: above the highest id of the folder, not of c.json.
    SaveReport report;
    ASSERT_TRUE(AddToC({u"x", u"y"}, report));
    EXPECT_EQ(IdsIn(dir.Read("lng/strings/c.json")), (std::vector<std::int64_t>{3, 6, 11, 12}));
    EXPECT_EQ(report.newObjects, 2u);
    EXPECT_EQ(report.highestNewId, 12);
    EXPECT_TRUE(report.idWarnings.empty());
    EXPECT_EQ(dir.List("lng"), (std::vector<std::u16string>{u"strings"}));  // no counter made

    // The counter's number first, every id of the folder skipped; then the
    // counter is past the highest new id, its other bytes as they were.
    ASSERT_TRUE(dir.Write("lng/strings/c.json", FileOf({3, 6})));
    ASSERT_TRUE(dir.Write(Counter, CounterText));
    ASSERT_TRUE(AddToC({u"x", u"y", u"z"}, report));
    EXPECT_EQ(IdsIn(dir.Read("lng/strings/c.json")), (std::vector<std::int64_t>{3, 6, 7, 8, 11}));
    EXPECT_EQ(dir.Read(Counter),
              "\xEF\xBB\xBF"
              "12\r\n; 77 is not the number\r\n");

    // A save that makes no new object reads no other file and leaves the
    // counter alone, even one below the ids it holds.
    ASSERT_TRUE(dir.Write(Counter, "5"));
    ASSERT_TRUE(dir.Write("lng/strings/bad.json", "[{"));
    ASSERT_TRUE(AddToC({}, report));
    EXPECT_TRUE(report.idWarnings.empty());
    EXPECT_EQ(dir.Read(Counter), "5");
    // A counter below the new ids is not moved back.
    ASSERT_TRUE(dir.Write(Counter, "500"));
    ASSERT_TRUE(AddToC({u"w"}, report));
    EXPECT_EQ(IdsIn(dir.Read("lng/strings/c.json")).back(), 500);
    EXPECT_EQ(dir.Read(Counter), "501");
}

TEST_F(StringFolderTest, AFirstIdTheFolderHoldsRefusesTheSaveAndAFreeOneIsUsed) {
    ASSERT_TRUE(dir.Write(Counter, CounterText));
    const std::string before = dir.Read("lng/strings/c.json");
    SaveReport report;
    options.json.firstId = 5;
    EXPECT_FALSE(AddToC({u"x"}, report));
    EXPECT_EQ(report.failure, SaveFailure::FirstIdTaken);
    EXPECT_EQ(report.firstIdHolder, Sibling(u"b.json"));
    EXPECT_EQ(dir.Read("lng/strings/c.json"), before);
    EXPECT_EQ(dir.Read(Counter), CounterText);
    // Taken or not, a first id matters only to a save that makes new objects.
    EXPECT_TRUE(AddToC({}, report));

    options.json.firstId = 8;
    ASSERT_TRUE(AddToC({u"x", u"y", u"z"}, report));
    EXPECT_EQ(IdsIn(dir.Read("lng/strings/c.json")), (std::vector<std::int64_t>{3, 6, 8, 11, 12}));
    EXPECT_EQ(dir.Read(Counter),
              "\xEF\xBB\xBF"
              "13\r\n; 77 is not the number\r\n");
    // The file holding the first id from a save before is its own range
    // going on: the next save goes on above it.
    ASSERT_TRUE(AddToC({u"w"}, report));
    EXPECT_EQ(IdsIn(dir.Read("lng/strings/c.json")), (std::vector<std::int64_t>{3, 6, 8, 11, 12, 13}));
}

TEST_F(StringFolderTest, UnreadableFilesAreWarningsAndTheSaveIsDone) {
    ASSERT_TRUE(dir.Write("lng/strings/d.JSON", "[{\"id\": 13, \"Key\": 4}]"));
    ASSERT_TRUE(dir.Write("lng/strings/e.txt", "not a string file, not looked at"));
    ASSERT_TRUE(dir.Write(Counter, "no number"));
    SaveReport report;
    ASSERT_TRUE(AddToC({u"x"}, report));
    EXPECT_EQ(IdsIn(dir.Read("lng/strings/c.json")), (std::vector<std::int64_t>{3, 6, 11}));
    ASSERT_EQ(report.idWarnings.size(), 2u);
    EXPECT_EQ(report.idWarnings[0].kind, StringIdWarning::Kind::SiblingUnreadable);
    EXPECT_EQ(report.idWarnings[0].file, Sibling(u"d.JSON"));
    EXPECT_EQ(report.idWarnings[0].json.problem, JsonProblem::NotString);
    EXPECT_EQ(report.idWarnings[1].kind, StringIdWarning::Kind::CounterNoNumber);
    EXPECT_EQ(dir.Read(Counter), "no number");

    // A folder whose highest id is the largest has no id left above it.
    ASSERT_TRUE(dir.Write("lng/strings/b.json", FileOf({2, MaxId})));
    EXPECT_FALSE(AddToC({u"y"}, report));
    EXPECT_EQ(report.failure, SaveFailure::Json);
    EXPECT_NE(DescribeJsonError(report.json).find("no id is left"), std::string::npos);

    // A counter that cannot be advanced: a warning, the save stays done.
    ASSERT_TRUE(dir.Write("lng/strings/b.json", FileOf({2, 5, 10})));
    ASSERT_TRUE(dir.Write(Counter, "5"));
    platform::SetWriteFaultHook([](std::uint64_t, std::size_t count) { return count > 8; });  // the counter's write
    const bool saved = AddToC({u"z"}, report);
    platform::SetWriteFaultHook(nullptr);
    ASSERT_TRUE(saved);
    EXPECT_EQ(IdsIn(dir.Read("lng/strings/c.json")), (std::vector<std::int64_t>{3, 6, 11, 7}));
    ASSERT_EQ(report.idWarnings.size(), 2u);
    EXPECT_EQ(report.idWarnings[1].kind, StringIdWarning::Kind::CounterNotWritten);
    EXPECT_EQ(report.idWarnings[1].number, 7);
    EXPECT_EQ(report.idWarnings[1].write, platform::WriteError::DiskFull);
    EXPECT_EQ(dir.Read(Counter), "5");
}

// The window: a side's new entries saved into a string file, alone in its
// folder or among others.
TEST_F(StringFolderTest, TheWindowSavesUniqueIdsAndSaysWhatItCouldNotTakeIntoAccount) {
    ASSERT_TRUE(dir.Write("alone/x.json", FileOf({7})));
    T1().FileName = dir.Path(u"alone/x.json");
    ASSERT_TRUE(OpenByExtension(T1(), options));
    InsertEntries(T1(), 1, 1);
    T1().Keys->Set(1, u"n");
    ASSERT_TRUE(SaveTable(T1(), FormatJson, options));
    EXPECT_EQ(IdsIn(dir.Read("alone/x.json")), (std::vector<std::int64_t>{7, 8}));
    EXPECT_TRUE(view1.messages.empty());

    T2().FileName = Strings(u"c.json");
    ASSERT_TRUE(OpenByExtension(T2(), options));
    ASSERT_TRUE(dir.Write("lng/strings/bad.json", "[{"));
    InsertEntries(T2(), 0, 0);
    T2().Keys->Set(0, u"n");
    ASSERT_TRUE(SaveTable(T2(), FormatJson, options));
    EXPECT_EQ(IdsIn(dir.Read("lng/strings/c.json")), (std::vector<std::int64_t>{11, 3, 6}));
    ASSERT_EQ(view2.messages.size(), 1u);
    EXPECT_EQ(view2.messages[0].find(sWarnIds + u"\n" + FillIn(sWarnIdSibling, {u"bad.json", u""})), 0u)
        << platform::ToUtf8(view2.messages[0]);

    // A first id held in the folder: refused, said so, nothing written.
    options.json.firstId = 9;
    InsertEntries(T2(), 0, 0);
    T2().Keys->Set(0, u"m");
    const std::string before = dir.Read("lng/strings/c.json");
    EXPECT_FALSE(SaveTable(T2(), FormatJson, options));
    EXPECT_EQ(view2.messages.back(),
              sErrorWriteFile + u"\n" +
                  FillIn(sSaveFailure[static_cast<int>(SaveFailure::FirstIdTaken)], {u"9", u"a.json"}) + u"\n" +
                  T2().FileName);
    EXPECT_EQ(dir.Read("lng/strings/c.json"), before);
    EXPECT_TRUE(T2().Modified);
}

// ---- The command line -------------------------------------------------------

struct CliRun {
    int status;
    std::string out, err;
};

CliRun Cli(const std::vector<std::u16string>& args) {
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

TEST_F(StringFolderTest, ConvertIntoAStringFileGivesIdsUniqueAcrossItsFolder) {
    ASSERT_TRUE(dir.Write("new.txt", "Key\tValue\r\nx\t\"X\"\r\ny\t\"Y\"\r\n"));
    const std::u16string in = dir.Path(u"new.txt"), c = Strings(u"c.json");
    CliRun r = Cli({u"convert", in, c, u"--into", c});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(IdsIn(dir.Read("lng/strings/c.json")), (std::vector<std::int64_t>{3, 6, 11, 12}));

    // With the counter, and a string file of the folder that cannot be read.
    ASSERT_TRUE(dir.Write("lng/strings/c.json", FileOf({3, 6})));
    ASSERT_TRUE(dir.Write("lng/strings/bad.json", "[{"));
    ASSERT_TRUE(dir.Write(Counter, CounterText));
    r = Cli({u"convert", in, c, u"--into", c});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(IdsIn(dir.Read("lng/strings/c.json")), (std::vector<std::int64_t>{3, 6, 7, 8}));
    EXPECT_EQ(dir.Read(Counter),
              "\xEF\xBB\xBF"
              "9\r\n; 77 is not the number\r\n");
    EXPECT_EQ(r.err.find("warning: '" + platform::ToUtf8(Sibling(u"bad.json")) +
                         "' cannot be read, so a new id may repeat one of its ids: "),
              0u)
        << r.err;

    // --first-id held by a file of the folder: refused, nothing written.
    ASSERT_TRUE(dir.Write("lng/strings/c.json", FileOf({3, 6})));
    r = Cli({u"convert", in, c, u"--into", c, u"--first-id", u"10"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("the first id 10 (--first-id) is already held by '" + platform::ToUtf8(Sibling(u"b.json")) + "'"),
        std::string::npos)
        << r.err;
    EXPECT_EQ(dir.Read("lng/strings/c.json"), FileOf({3, 6}));
    EXPECT_EQ(dir.Read(Counter),
              "\xEF\xBB\xBF"
              "9\r\n; 77 is not the number\r\n");
    // A free one is used, and the counter goes past it.
    r = Cli({u"convert", in, c, u"--into", c, u"--first-id", u"40"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(IdsIn(dir.Read("lng/strings/c.json")), (std::vector<std::int64_t>{3, 6, 40, 41}));
    EXPECT_EQ(dir.Read(Counter),
              "\xEF\xBB\xBF"
              "42\r\n; 77 is not the number\r\n");
}

}  // namespace
