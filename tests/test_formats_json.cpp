// String files of the remastered game: reading a language column, writing
// back byte for byte, each kind of change in the file's own layout, two
// columns of one file written one after the other, and malformed files.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formats/FormatOptions.h"
#include "formats/JsonStrings.h"
#include "tests/FormatTestUtil.h"
#include "tests/TestFiles.h"

namespace {

using vmtest::Entries;

constexpr int enUS = 0;
constexpr int deDE = 2;

// One object as its fields' raw JSON texts, in order.
using Object = std::vector<std::pair<std::string, std::string>>;

struct Layout {
    bool mark = true;
    std::string nl = "\r\n";
    std::string indent = "  ";  // of objects
    std::string fieldIndent = "    ";
    std::string colon = ": ";
    bool finalNl = true;
};

std::string FileOf(const std::vector<Object>& objects, const Layout& l = {}) {
    std::string s = l.mark ? "\xEF\xBB\xBF[" : "[";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        s += (i ? "," : "") + l.nl + l.indent + "{";
        for (std::size_t f = 0; f < objects[i].size(); ++f)
            s += (f ? "," : "") + l.nl + l.fieldIndent + "\"" + objects[i][f].first + "\"" + l.colon +
                 objects[i][f].second;
        s += l.nl + l.indent + "}";
    }
    s += l.nl + "]";
    if (l.finalNl) s += l.nl;
    return s;
}

// A full object in the game's order: every language holds the same text.
Object GameObject(long long id, const std::string& key, const std::string& text) {
    Object o = {{"id", std::to_string(id)}, {"Key", "\"" + key + "\""}};
    for (const char* code : vm::JsonLanguageCodes) o.emplace_back(code, "\"" + text + "\"");
    return o;
}

std::string Q(const std::string& s) { return "\"" + s + "\""; }

vm::JsonDocument Parse(const std::string& bytes, int language) {
    vm::JsonDocument doc;
    vm::JsonError error;
    EXPECT_TRUE(vm::ParseJsonStrings(bytes, language, doc, &error)) << vm::DescribeJsonError(error);
    return doc;
}

Entries ColumnOf(const vm::JsonDocument& doc) {
    Entries entries;
    vm::DeliverJsonColumn(doc, vmtest::SinkInto(entries));
    return entries;
}

// The entries of a table tied to objects: origin 0 for a new entry.
struct Tied {
    std::u16string key, value;
    std::uint32_t origin = 0;
};

std::vector<Tied> TiedColumn(const vm::JsonDocument& doc) {
    std::vector<Tied> table;
    const Entries entries = ColumnOf(doc);
    for (std::size_t i = 0; i < entries.size(); ++i)
        table.push_back({entries[i].first, entries[i].second, static_cast<std::uint32_t>(i + 1)});
    return table;
}

std::string Write(const std::vector<Tied>& table, const vm::JsonDocument& base, int language,
                  const vm::JsonDocument* loaded = nullptr, std::vector<std::uint32_t>* origins = nullptr,
                  std::int64_t firstNewId = 0) {
    vm::JsonWriteRequest request{&base, loaded, language, firstNewId};
    const vm::TableEntrySource source = [&](std::int32_t i, const char16_t*& k, const char16_t*& v) {
        k = table[static_cast<std::size_t>(i)].key.c_str();
        v = table[static_cast<std::size_t>(i)].value.c_str();
        return true;
    };
    const vm::JsonOriginSource origin = [&](std::int32_t i) { return table[static_cast<std::size_t>(i)].origin; };
    std::string out;
    vm::JsonError error;
    EXPECT_TRUE(
        vm::BuildJsonColumn(request, source, origin, static_cast<std::int32_t>(table.size()), out, origins, &error))
        << vm::DescribeJsonError(error);
    return out;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    const std::size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
}

TEST(JsonRead, ColumnInDisplayFormWithTheGamesEscapesAndCodes) {
    Object first = GameObject(1, "WarrivGossip", "Plain");
    first[2].second =
        Q("\xC3\xBF"
          "c1Red\xC3\xBF"
          "cMmod\\nline \\\"q\\\" back\\\\slash \\uE01D\xC2\xA0"
          "end");
    first[4].second =
        Q("\xC3\xBF"
          "c4Gold [ms]%d");
    Object second = {{"Key", Q("NoGerman")}, {"id", "7"}, {"enUS", Q("")}};
    const vm::JsonDocument doc = Parse(FileOf({first, second}), enUS);
    EXPECT_EQ(ColumnOf(doc),
              (Entries{{u"WarrivGossip", u"\\red;Red\\color;Mmod\\nline \"q\" back\\slash \uE01D\u00A0end"},
                       {u"NoGerman", u""}}));
    EXPECT_EQ(ColumnOf(Parse(FileOf({first, second}), deDE)),
              (Entries{{u"WarrivGossip", u"\\gold;Gold [ms]%d"}, {u"NoGerman", u""}}));
    EXPECT_EQ(doc.objects[1].id, 7);
}

// Every layout the game and the mods write comes back byte for byte, in
// every language column.
TEST(JsonWrite, UnchangedFilesComeBackByteForByte) {
    Object a = GameObject(10, "A", "\\u003cb\\u003e \\u00e9");
    Object b = {{"Key", Q("B")}, {"id", "3"}, {"enUS", Q("b")}, {"extra", "{\"x\": [1, 2, {\"y\": null}]}"}};
    Object c = GameObject(10, "A", "dup id and key");
    std::vector<std::string> files;
    for (const Layout& l :
         {Layout{}, Layout{false, "\n", "  ", "    ", ": ", true}, Layout{true, "\n", "    ", "        ", ": ", false},
          Layout{false, "", "", "", ":", false}, Layout{false, "\r\n", "\t", "\t\t", " : ", true}})
        files.push_back(FileOf({a, b, c}, l));
    files.push_back("[]");
    files.push_back(" [ { \"id\" : -1 , \"Key\" : \"\" } ] \n\n");
    for (const std::string& file : files) {
        for (int language : {enUS, deDE, 12}) {
            const vm::JsonDocument doc = Parse(file, language);
            EXPECT_EQ(Write(TiedColumn(doc), doc, language), file) << file;
        }
    }
}

TEST(JsonWrite, ChangedValueAndKeyReplaceOnlyTheirText) {
    const std::string file = FileOf({GameObject(1, "a", "one"), GameObject(2, "b", "two")});
    const vm::JsonDocument doc = Parse(file, deDE);
    std::vector<Tied> table = TiedColumn(doc);
    table[1].value = u"\\red;zwei \"neu\"\\n\u4E2D\uE01D/";
    table[0].key = u"a2";
    std::string expected = Replace(file, "\"Key\": \"a\"", "\"Key\": \"a2\"");
    const std::size_t second = expected.find("\"id\": 2");
    expected.replace(expected.find("\"deDE\": \"two\"", second), 13,
                     "\"deDE\": \"\xC3\xBF"
                     "c1zwei \\\"neu\\\"\\n\xE4\xB8\xAD\\uE01D/\"");
    EXPECT_EQ(Write(table, doc, deDE), expected);
}

// A file that writes characters as \u escapes gets new text escaped alike.
TEST(JsonWrite, NewTextFollowsTheFilesEscapes) {
    Layout minified{false, "", "", "", ":", false};
    const std::string file =
        FileOf({{{"id", "1"}, {"Key", Q("k")}, {"enUS", Q("\\u003ci\\u003e caf\\u00e9 \\/")}}}, minified);
    const vm::JsonDocument doc = Parse(file, enUS);
    std::vector<Tied> table = TiedColumn(doc);
    table[0].value = u"<b> \u00E9\U0001F600 a/b";
    EXPECT_EQ(Write(table, doc, enUS),
              "[{\"id\":1,\"Key\":\"k\",\"enUS\":\"\\u003cb\\u003e \\u00e9\\ud83d\\ude00 a\\/b\"}]");
}

TEST(JsonWrite, InsertedEntryIsANewObjectInTheFilesLayoutWithEveryLanguage) {
    Layout lf{false, "\n", "    ", "        ", ": ", false};
    const std::string file = FileOf({GameObject(5, "a", "A"), GameObject(40, "b", "B")}, lf);
    const vm::JsonDocument doc = Parse(file, enUS);
    std::vector<Tied> table = TiedColumn(doc);
    table.insert(table.begin() + 1, Tied{u"new", u"\\gold;N", 0});
    table.push_back(Tied{u"last", u"L", 0});
    std::vector<std::uint32_t> origins;
    const std::string out = Write(table, doc, enUS, nullptr, &origins);
    EXPECT_EQ(out, FileOf({GameObject(5, "a", "A"),
                           GameObject(41, "new",
                                      "\xC3\xBF"
                                      "c4N"),
                           GameObject(40, "b", "B"), GameObject(42, "last", "L")},
                          lf));
    EXPECT_EQ(origins, (std::vector<std::uint32_t>{1, 2, 3, 4}));
    // A mod's own range.
    EXPECT_NE(Write(table, doc, enUS, nullptr, nullptr, 30000).find("\"id\": 30000,\n        \"Key\": \"new\""),
              std::string::npos);
}

// The caller may give the ids of new objects, in entry order. A file that
// holds the largest id is still written while it gains no object; one
// that would need an id above it, or that the caller gives none, is refused.
TEST(JsonWrite, NewIdsFromTheCallerAndNoneAboveTheLargest) {
    const std::string file = FileOf({GameObject(9223372036854775807LL, "a", "A")});
    const vm::JsonDocument doc = Parse(file, enUS);
    std::vector<Tied> table = TiedColumn(doc);
    EXPECT_EQ(Write(table, doc, enUS), file);
    table.push_back({u"n", u"N", 0});
    table.push_back({u"m", u"M", 0});
    const vm::TableEntrySource source = [&](std::int32_t i, const char16_t*& k, const char16_t*& v) {
        k = table[static_cast<std::size_t>(i)].key.c_str();
        v = table[static_cast<std::size_t>(i)].value.c_str();
        return true;
    };
    const vm::JsonOriginSource origin = [&](std::int32_t i) { return table[static_cast<std::size_t>(i)].origin; };
    vm::JsonWriteRequest request{&doc, nullptr, enUS, 0};
    std::string out;
    vm::JsonError error;
    EXPECT_FALSE(vm::BuildJsonColumn(request, source, origin, 3, out, nullptr, &error));
    EXPECT_EQ(error.entry, 1);
    request.newId = [next = std::int64_t{100}]() mutable -> std::optional<std::int64_t> { return next += 7; };
    ASSERT_TRUE(vm::BuildJsonColumn(request, source, origin, 3, out, nullptr, &error));
    EXPECT_EQ(out, FileOf({GameObject(9223372036854775807LL, "a", "A"), GameObject(107, "n", "N"),
                           GameObject(114, "m", "M")}));
    request.newId = [] { return std::optional<std::int64_t>(); };
    EXPECT_FALSE(vm::BuildJsonColumn(request, source, origin, 3, out, nullptr, &error));
    EXPECT_EQ(vm::DescribeJsonError(error), "the file cannot be written (no id is left for a new object)");
}

TEST(JsonWrite, NewFileInTheGamesLayout) {
    const vm::JsonDocument empty = vm::EmptyJsonDocument();
    const std::vector<Tied> table = {{u"x", u"X", 0}, {u"y", u"Y", 0}};
    EXPECT_EQ(Write(table, empty, enUS, nullptr, nullptr, 1),
              FileOf({GameObject(1, "x", "X"), GameObject(2, "y", "Y")}));
    EXPECT_EQ(Write({}, empty, enUS), empty.bytes);
}

TEST(JsonWrite, DeletesAndMovesReorderTheObjects) {
    const Object a = GameObject(1, "a", "A"), b = GameObject(2, "b", "B"), c = GameObject(3, "c", "C");
    const std::string file = FileOf({a, b, c});
    const vm::JsonDocument doc = Parse(file, enUS);
    std::vector<Tied> table = TiedColumn(doc);
    EXPECT_EQ(Write({table[2], table[0]}, doc, enUS), FileOf({c, a}));
    EXPECT_EQ(Write({}, doc, enUS), "\xEF\xBB\xBF[\r\n]\r\n");
}

// Table 1 holds English, Table 2 German of the same file; each saves its
// own column, inserts, deletes and moves, and keeps what the other saved.
TEST(JsonWrite, TwoColumnsOfOneFileSavedOneAfterTheOther) {
    const Object a = GameObject(1, "a", "A"), b = GameObject(2, "b", "B"), c = GameObject(3, "c", "C");
    const std::string file = FileOf({a, b, c});
    const vm::JsonDocument english = Parse(file, enUS), german = Parse(file, deDE);

    std::vector<Tied> left = TiedColumn(english);
    left[0].value = u"A2";
    left.insert(left.begin() + 2, Tied{u"n", u"N", 0});  // after b
    const vm::JsonDocument afterLeft = Parse(Write(left, english, enUS), -1);

    std::vector<Tied> right = TiedColumn(german);
    right[2].value = u"C-de";
    right.erase(right.begin() + 1);  // b
    std::swap(right[0], right[1]);   // c before a
    const std::string out = Write(right, afterLeft, deDE, &german);

    Object a2 = a, c2 = c;
    a2[2].second = Q("A2");
    c2[4].second = Q("C-de");
    // n followed b, which is gone: it stays after a, the object before b.
    EXPECT_EQ(out, FileOf({c2, a2, GameObject(4, "n", "N")}));

    // An object the other side removed stays removed unless changed here.
    std::vector<Tied> left2 = left;
    const std::string kept = Write(left2, Parse(out, -1), enUS, &english);
    EXPECT_EQ(kept.find("\"Key\": \"b\""), std::string::npos);
    left2[1].value = u"B2";
    std::vector<std::uint32_t> origins;
    const std::string back = Write(left2, Parse(out, -1), enUS, &english, &origins);
    EXPECT_NE(back.find("\"enUS\": \"B2\""), std::string::npos);
    std::vector<std::uint32_t> gone;
    Write(left, Parse(out, -1), enUS, &english, &gone);
    EXPECT_EQ(gone[1], vm::JsonOriginGone);
}

TEST(JsonWrite, MissingLanguageIsAddedOnlyWhenItsValueChanges) {
    const std::string file = FileOf({{{"id", "1"}, {"Key", Q("k")}, {"enUS", Q("e")}}});
    const vm::JsonDocument doc = Parse(file, deDE);
    std::vector<Tied> table = TiedColumn(doc);
    EXPECT_EQ(Write(table, doc, deDE), file);
    table[0].value = u"d";
    EXPECT_EQ(Write(table, doc, deDE), FileOf({{{"id", "1"}, {"Key", Q("k")}, {"enUS", Q("e")}, {"deDE", Q("d")}}}));
}

TEST(JsonWrite, HalfASurrogatePairIsRefused) {
    const vm::JsonDocument doc = vm::EmptyJsonDocument();
    const std::u16string bad = {u'a', char16_t(0xD800), u'b'};
    const std::vector<Tied> table = {{u"k", bad, 0}};
    vm::JsonWriteRequest request{&doc, nullptr, enUS, 0};
    std::string out;
    vm::JsonError error;
    EXPECT_FALSE(vm::BuildJsonColumn(
        request,
        [&](std::int32_t, const char16_t*& k, const char16_t*& v) {
            k = table[0].key.c_str();
            v = table[0].value.c_str();
            return true;
        },
        nullptr, 1, out, nullptr, &error));
    EXPECT_EQ(error.problem, vm::JsonProblem::UnpairedSurrogate);
    EXPECT_EQ(error.entry, 0);
}

struct Malformed {
    const char* bytes;
    vm::JsonProblem problem;
    std::uint64_t line, column;
};

TEST(JsonRead, MalformedFilesFailWithTheirPlaceAndLoadNothing) {
    using P = vm::JsonProblem;
    const Malformed cases[] = {
        {"", P::Syntax, 1, 1},
        {"[\n  {\"id\": 1, \"Key\": \"a\",}\n]", P::Syntax, 2, 24},
        {"{\"id\": 1}", P::NotArray, 1, 1},
        {"[1]", P::NotObject, 1, 2},
        {"[\r\n  [] ]", P::NotObject, 2, 3},
        {"[{\"Key\": \"a\"}]", P::MissingId, 1, 2},
        {"[{\"id\": 1,\n \"enUS\": \"x\"}]", P::MissingKey, 1, 2},
        {"[{\"id\": 1.5, \"Key\": \"a\"}]", P::IdNotInteger, 1, 9},
        {"[{\"id\": \"1\", \"Key\": \"a\"}]", P::IdNotInteger, 1, 9},
        {"[{\"id\": 1, \"Key\": 2}]", P::NotString, 1, 19},
        {"[{\"id\": 1, \"Key\": \"a\", \"ruRU\": null}]", P::NotString, 1, 32},
        {"[{\"id\": 1, \"Key\": \"a\", \"zhCN\": [\"x\"]}]", P::NotString, 1, 32},
        {"[{\"id\": 1, \"Key\": \"\xC3\xA9\", \"Key\": \"b\"}]", P::DuplicateField, 1, 24},
        {"[{\"id\": 1, \"Key\": \"a\", \"x\": 1, \"x\": 2}]", P::DuplicateField, 1, 32},
        {"\xEF\xBB\xBF[{\"id\": 1, \"Key\": \"a\xFF\"}]", P::Syntax, 1, 21},
        {"[{\"id\": 1, \"Key\": \"a\"}] x", P::Syntax, 1, 25},
        {"[{\"id\": 1, \"Key\": \"a\x1F\"}]", P::Syntax, 1, 21},
    };
    for (const Malformed& m : cases) {
        vm::JsonDocument doc;
        vm::JsonError error;
        EXPECT_FALSE(vm::ParseJsonStrings(m.bytes, enUS, doc, &error)) << m.bytes;
        EXPECT_EQ(error.problem, m.problem) << m.bytes;
        EXPECT_EQ(error.line, m.line) << m.bytes;
        EXPECT_EQ(error.column, m.column) << m.bytes;
        EXPECT_TRUE(doc.objects.empty() && doc.column.items.empty());
    }
    // A zero byte is not the end of the file.
    vm::JsonDocument doc;
    vm::JsonError error;
    EXPECT_FALSE(vm::ParseJsonStrings(std::string("[]\0[]", 5), enUS, doc, &error));
    EXPECT_EQ(error.column, 3u);
    EXPECT_EQ(vm::DescribeJsonError(error), "line 1, column 3: not valid JSON: a control character");
}

// The first byte that is not proper UTF-8, character by character as the
// standard defines it, or npos.
std::size_t FirstBadUtf8(const std::string& t) {
    for (std::size_t i = 0; i < t.size();) {
        const auto c = static_cast<unsigned char>(t[i]);
        const std::size_t n = c < 0x80                 ? 1
                              : c >= 0xC2 && c <= 0xDF ? 2
                              : c >= 0xE0 && c <= 0xEF ? 3
                              : c >= 0xF0 && c <= 0xF4 ? 4
                                                       : 0;
        if (n == 0 || i + n > t.size()) return i;
        std::uint32_t code = n == 1 ? c : c & (0xFF >> (n + 1));
        for (std::size_t k = 1; k < n; ++k) {
            const auto d = static_cast<unsigned char>(t[i + k]);
            if ((d & 0xC0) != 0x80) return i;
            code = code << 6 | (d & 0x3F);
        }
        if ((n == 3 && code < 0x800) || (n == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code <= 0xDFFF))
            return i;
        i += n;
    }
    return std::string::npos;
}

// Text of every script and broken sequences at every place of the fast
// check's 64-byte blocks: refused exactly where a character-by-character
// check refuses it.
TEST(JsonRead, Utf8IsCheckedLikeTheStandardSays) {
    const char* const pieces[] = {"a",
                                  " ",
                                  "\xC3\xA9",
                                  "\xD0\xB6",
                                  "\xE4\xB8\xAD",
                                  "\xEE\x80\x9D",
                                  "\xF0\x9F\x98\x80",
                                  "\xEF\xBF\xBF",
                                  "\xF4\x8F\xBF\xBF",
                                  "\xED\x9F\xBF"};
    const char* const broken[] = {
        "\xC0\x80", "\xC1", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5",
        "\xFF",     "\x80", "\xBF",         "\xC3",         "\xE4\xB8",         "\xF0\x9F\x98",     "\xC3\x41"};
    std::mt19937 rng(7);
    for (int round = 0; round < 1500; ++round) {
        std::string text;
        const std::size_t length = rng() % 200;
        while (text.size() < length) text += pieces[rng() % std::size(pieces)];
        if (round % 4 != 0) text.insert(rng() % (text.size() + 1), broken[rng() % std::size(broken)]);
        const std::string file = "[{\"id\": 1, \"Key\": \"" + text + "\"}]";
        const std::size_t bad = FirstBadUtf8(file);
        vm::JsonDocument doc;
        vm::JsonError error;
        ASSERT_EQ(vm::ParseJsonStrings(file, enUS, doc, &error), bad == std::string::npos) << round;
        if (bad != std::string::npos) {
            ASSERT_EQ(error.offset, bad) << round;
        }
    }
}

TEST(JsonFile, ReadAndWriteThroughFiles) {
    vmtest::TempDir dir;
    const std::string file = FileOf({GameObject(1, "a", "A")});
    ASSERT_TRUE(dir.Write("s.json", file));
    Entries entries;
    vm::JsonDocument doc;
    ASSERT_TRUE(vm::ReadJsonTable(dir.Path(u"s.json"), deDE, {}, vmtest::SinkInto(entries), nullptr, &doc));
    EXPECT_EQ(entries, (Entries{{u"a", u"A"}}));
    vm::JsonWriteRequest request{&doc, nullptr, deDE, 0};
    const vm::TableEntrySource source = [](std::int32_t, const char16_t*& k, const char16_t*& v) {
        k = u"a";
        v = u"B";
        return true;
    };
    ASSERT_TRUE(vm::WriteJsonColumn(
        dir.Path(u"out.json"), request, source, [](std::int32_t) { return 1u; }, 1));
    EXPECT_EQ(dir.Read("out.json"), Replace(file, "\"deDE\": \"A\"", "\"deDE\": \"B\""));

    vm::JsonError error;
    EXPECT_FALSE(vm::ReadJsonTable(dir.Path(u"missing.json"), enUS, {}, vmtest::SinkInto(entries), &error));
    EXPECT_EQ(error.problem, vm::JsonProblem::Unreadable);
    vm::ReadLimits limits;
    limits.maxFileSize = 10;
    EXPECT_FALSE(vm::ReadJsonTable(dir.Path(u"s.json"), enUS, limits, vmtest::SinkInto(entries), &error));
    EXPECT_EQ(error.problem, vm::JsonProblem::TooLarge);
}

TEST(JsonStrings, DecodeJsonStringResolvesEscapesAndRefusesWhatIsNoString) {
    struct Case {
        std::string quoted;
        bool ok;
        std::u16string text;
    };
    const Case cases[] = {
        {"\"plain\"", true, u"plain"},
        {"\"\xC3\xBF"
         "c1\xE5\x90\x8D\"",
         true,
         u"\u00FF"
         u"c1\u540D"},
        {"\"a\\nb\\\"\\u00e9\\ud83d\\ude00\"", true, u"a\nb\"\u00E9\U0001F600"},
        {"\"\"", true, u""},
        {"\"open", false, u""},
        {"\"two\" \"strings\"", false, u""},
        {"\"tab\there\"", false, u""},
        {"42", false, u""},
    };
    for (const Case& c : cases) {
        std::u16string text;
        EXPECT_EQ(vm::DecodeJsonString(c.quoted, text), c.ok) << c.quoted;
        if (c.ok) EXPECT_EQ(text, c.text) << c.quoted;
    }
}

}  // namespace
