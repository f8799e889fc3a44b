// Text tables: decoding, the line parser, includes and the writer.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "formats/TextHelpers.h"
#include "platform/Platform.h"
#include "tests/FormatTestUtil.h"
#include "tests/FormatsTest.h"
#include "tests/TestFiles.h"

using namespace vm;
using namespace vmtest;

namespace {

class TextTable : public FormatsTest {};

Entries Parse(const std::string& text, TextEncoding encoding = TextEncoding::Autodetect,
              const std::string& headers = TextOptions{}.skippedHeaders) {
    TextOptions options = Reading(encoding);
    options.skippedHeaders = headers;
    Bytes padded = BytesOf(text);
    padded.insert(padded.end(), 4, 0);
    Entries out;
    EXPECT_TRUE(ReadTextImage(padded.data(), text.size(), u"", SinkInto(out), options, {}));
    return out;
}

Bytes Utf16Bytes(const std::u16string& text, bool mark) {
    Bytes b;
    if (mark) b = {0xFF, 0xFE};
    for (char16_t c : text) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return b;
}

struct LineCase {
    const char* line;
    Entries expected;
};

}  // namespace

TEST_F(TextTable, ParsesBothLayoutsAndTheirVariants) {
    const LineCase cases[] = {
        {"A\tB\r\n", {{u"A", u"B"}}},
        {"A\t\"B\"\r\n", {{u"A", u"B"}}},
        {"A,\t,\t\"B\"\r\n", {{u"A", u"B"}}},
        {"A\tx\"B\"y", {{u"A", u"B"}}},
        {"A,B\tV", {{u"A", u""}}},
        {"A//note\tV", {{u"A", u""}}},
        {"whole line", {{u"whole line", u""}}},
        {"A \tB", {{u"A ", u"B"}}},
        {"A\t\"open", {{u"A", u"open"}}},
        {"A,\t,\tno quotes", {{u"A", u""}}},
        {"A\tv,with,commas\t\ttabs", {{u"A", u"v,with,commas\t\ttabs"}}},
        {"A\tB\nC\tD\n\nE\tF", {{u"A", u"B"}, {u"C", u"D"}, {u"E", u"F"}}},
        {"   \n\n//comment\tx\n\t\"no key\"", {}},
        // A comment after the key never hides the key.
        {"A B // c d", {{u"A B ", u""}}},
        {"  // c", {}},
        {"a\\nb\t\\red;\\n", {{u"a\\nb", u"\\red;\\n"}}},
        {"k\t\xC3\xBF"
         "c1x",
         {{u"k", u"\\red;x"}}},
    };
    for (const auto& c : cases) EXPECT_EQ(Parse(c.line), c.expected) << c.line;
}

TEST_F(TextTable, SkipsTheHeaderLine) {
    EXPECT_EQ(Parse("Key\tValue\r\na\tb\r\n"), (Entries{{u"a", u"b"}}));
    EXPECT_EQ(Parse("Key\tValues and more\r\na\tb"), (Entries{{u"a", u"b"}}));
    EXPECT_EQ(Parse("Other\tHeader\r\na\tb"), (Entries{{u"Other", u"Header"}, {u"a", u"b"}}));

    const std::string two = "Id\tText,Key\tValue";
    EXPECT_EQ(Parse("Key\tValue\na\tb", TextEncoding::Autodetect, two).size(), 1u);
    EXPECT_EQ(Parse("Id\tText\na\tb", TextEncoding::Autodetect, two).size(), 1u);
    // An empty first item ends the search.
    EXPECT_EQ(Parse("Key\tValue\na\tb", TextEncoding::Autodetect, ",Key\tValue").size(), 2u);
}

TEST_F(TextTable, DetectsTheEncoding) {
    Entries out;
    // Marks override the choice.
    EXPECT_TRUE(ReadText(Utf16Bytes(u"\u0416\tv", true), out, TextEncoding::ANSI));
    EXPECT_TRUE(ReadText(Hex("EF BB BF D0 96 09 76"), out, TextEncoding::Unicode));
    EXPECT_EQ(out, (Entries{{u"\u0416", u"v"}, {u"\u0416", u"v"}}));

    struct Case {
        Bytes bytes;
        TextEncoding expected;
    };
    const Case cases[] = {
        {BytesOf("plain ascii\tvalue"), TextEncoding::UTF8},
        {Hex("C3 A9 09 ED A0 BD ED B8 80 F0 9F 98 80"), TextEncoding::UTF8},
        // Late accented letters in an ANSI file: not UTF-8.
        {BytesOf(std::string(300, 'a') + "\tcaf\xE9\r\n"), TextEncoding::ANSI},
        {BytesOf("\xE9t\xE9\r\n"), TextEncoding::ANSI},
        {Utf16Bytes(u"ab\tcd", false), TextEncoding::Unicode},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DetectTextEncoding(c.bytes.data(), c.bytes.size(), TextEncoding::Autodetect), c.expected);

    // The accented letter before CR LF must not swallow the line break.
    EXPECT_EQ(Parse("a\tcaf\xE9\r\nb\tthe end"), (Entries{{u"a", u"caf\u00E9"}, {u"b", u"the end"}}));
    EXPECT_EQ(Parse("k\tv\x81\x8D\x8F\x90\x9D"), (Entries{{u"k", u"v\u0081\u008D\u008F\u0090\u009D"}}));
    // A single byte chosen as ANSI is read as ANSI.
    EXPECT_EQ(Parse("\xE9", TextEncoding::ANSI), (Entries{{u"\u00E9", u""}}));
}

TEST_F(TextTable, ExplicitUtf8StopsWithAFailureAtBadBytes) {
    Entries out;
    EXPECT_FALSE(ReadText(BytesOf("a\t1\r\nb\t2\xFF\r\nc\t3\r\n"), out, TextEncoding::UTF8));
    EXPECT_EQ(out, (Entries{{u"a", u"1"}}));
    out.clear();
    EXPECT_FALSE(ReadText(Hex("EF BB BF 61 09 31 0A 62 09 C3"), out, TextEncoding::Autodetect));
    EXPECT_EQ(out, (Entries{{u"a", u"1"}}));
    out.clear();
    EXPECT_TRUE(ReadText(Hex("61 09 F0 9F 98 80 0A"), out, TextEncoding::UTF8));
    EXPECT_EQ(out, (Entries{{u"a", u"\U0001F600"}}));
}

TEST_F(TextTable, RefusesMissingEmptyAndOversizedFiles) {
    TempDir dir;
    Entries out;
    EXPECT_FALSE(ReadTextTable(dir.Path(u"missing.txt"), SinkInto(out), options.text, options.limits));
    dir.Write("empty.txt", "");
    EXPECT_FALSE(ReadTextTable(dir.Path(u"empty.txt"), SinkInto(out), options.text, options.limits));
    dir.Write("big.txt", std::string(101, 'a'));
    options.limits.maxFileSize = 100;
    EXPECT_FALSE(ReadTextTable(dir.Path(u"big.txt"), SinkInto(out), options.text, options.limits));
    options.limits.maxFileSize = 101;
    EXPECT_TRUE(ReadTextTable(dir.Path(u"big.txt"), SinkInto(out), options.text, options.limits));
}

TEST_F(TextTable, IncludesReadBesideTheIncludingFile) {
    TempDir dir;
    dir.Write("sub/inner.txt", "i1\tx\r\ni2\ty\r\n");
    dir.Write("sub/main.txt", "m1\ta\r\n#include \"inner.txt\"\r\nm2\tb\r\n#\"missing.txt\"\r\n");
    dir.Write("self.txt", "s\tv\r\n#\"self.txt\"\r\n");
    Entries out;
    EXPECT_TRUE(ReadTextTable(dir.Path(u"sub/main.txt"), SinkInto(out), options.text, options.limits));
    EXPECT_EQ(out, (Entries{{u"m1", u"a"}, {u"i1", u"x"}, {u"i2", u"y"}, {u"m2", u"b"}}));

    // A file that includes itself stops after eight nested levels.
    out.clear();
    EXPECT_TRUE(ReadTextTable(dir.Path(u"self.txt"), SinkInto(out), options.text, options.limits));
    EXPECT_EQ(out.size(), 9u);
}

namespace {

Bytes WriteBytes(const Entries& entries, TextOptions options, TextLayout layout, TextEncoding encoding,
                 WriteReport* report = nullptr) {
    options.layout = layout;
    options.writeEncoding = encoding;
    TempDir dir;
    const std::u16string name = dir.Path(u"out.txt");
    EXPECT_TRUE(
        WriteTextTable(name, SourceOf(entries), static_cast<std::int32_t>(entries.size()), options, {}, report));
    return BytesOf(dir.Read("out.txt"));
}

}  // namespace

TEST_F(TextTable, WritesTheWorkedExamples) {
    const Entries ab = {{u"a", u"b"}};
    EXPECT_EQ(WriteBytes(ab, options.text, TextLayout::Tabbed, TextEncoding::UTF8),
              Hex("EF BB BF 4B 65 79 09 56 61 6C 75 65 0D 0A 61 09 22 62 22 0D 0A"));
    options.text.quoteValues = false;
    options.text.header = false;
    EXPECT_EQ(WriteBytes(ab, options.text, TextLayout::Tabbed, TextEncoding::Unicode),
              Hex("FF FE 61 00 09 00 62 00 0D 00 0A 00"));
    // UTF-8 and ANSI tabbed files carry the header whatever AddHeader says.
    EXPECT_EQ(WriteBytes(ab, options.text, TextLayout::Tabbed, TextEncoding::ANSI), BytesOf("Key\tValue\r\na\tb\r\n"));
    EXPECT_EQ(WriteBytes(ab, options.text, TextLayout::DiabloII, TextEncoding::ANSI),
              Hex("61 2C 09 2C 09 22 62 22 0D 0A"));
    options.text.header = true;
    EXPECT_EQ(WriteBytes(ab, options.text, TextLayout::DiabloII, TextEncoding::Unicode),
              Utf16Bytes(u"a,\t,\t\"b\"\r\n", true));
    EXPECT_EQ(WriteBytes(ab, options.text, TextLayout::Tabbed, TextEncoding::Unicode),
              Utf16Bytes(u"Key\tValue\r\na\tb\r\n", true));
}

TEST_F(TextTable, WriterConvertsValuesAsTheOptionsSay) {
    const Entries grey = {{u"k", u"\\grey;a\\nb"}};
    options.text.colorMacros = false;
    EXPECT_EQ(WriteBytes(grey, options.text, TextLayout::DiabloII, TextEncoding::UTF8),
              Hex("EF BB BF 6B 2C 09 2C 09 22 C3 BF 63 30 61 5C 6E 62 22 0D 0A"));
    EXPECT_EQ(WriteBytes(grey, options.text, TextLayout::DiabloII, TextEncoding::ANSI),
              BytesOf("k,\t,\t\"\\grey;a\\nb\"\r\n"));

    // Raw line breaks never split a line (a carriage return is lost).
    options.text.colorMacros = true;
    const Entries raw = {{u"k", u"one\r\ntwo\nthree\rfour"}};
    WriteReport lossy;
    lossy.allowLossy = true;
    EXPECT_EQ(WriteBytes(raw, options.text, TextLayout::DiabloII, TextEncoding::ANSI, &lossy),
              BytesOf("k,\t,\t\"one\\ntwo\\nthreefour\"\r\n"));
    EXPECT_EQ(lossy.lossCount, 1u);

    // The header is widened from the ANSI code page and written in the
    // file's own encoding.
    options.text.headerLine = "Cl\xE9\tValeur";
    const Bytes utf8 = WriteBytes({{u"a", u"b"}}, options.text, TextLayout::Tabbed, TextEncoding::UTF8);
    EXPECT_EQ(Bytes(utf8.begin(), utf8.begin() + 14), Hex("EF BB BF 43 6C C3 A9 09 56 61 6C 65 75 72"));
    const Bytes ansi = WriteBytes({{u"a", u"b"}}, options.text, TextLayout::Tabbed, TextEncoding::ANSI);
    EXPECT_EQ(Bytes(ansi.begin(), ansi.begin() + 10), BytesOf("Cl\xE9\tValeur"));
}

TEST_F(TextTable, AnsiWriterReportsReplacementsAndCutsAtCharacters) {
    WriteReport report;
    report.allowLossy = true;
    EXPECT_EQ(WriteBytes({{u"k", u"\u0416x"}}, options.text, TextLayout::DiabloII, TextEncoding::ANSI, &report),
              BytesOf("k,\t,\t\"?x\"\r\n"));
    EXPECT_TRUE(report.replaced);
    ASSERT_EQ(report.losses.size(), 1u);
    EXPECT_EQ(report.losses[0].reason, TextLoss::NotInCodePage);

    const std::u16string longKey(70000, u'k');
    const Bytes out = WriteBytes({{longKey, u"v"}}, options.text, TextLayout::DiabloII, TextEncoding::ANSI, &report);
    EXPECT_FALSE(report.replaced);
    ASSERT_EQ(report.losses.size(), 1u);
    EXPECT_EQ(report.losses[0].reason, TextLoss::TooLong);
    EXPECT_EQ(out.size(), 65536u + 9u);
}

TEST_F(TextTable, WriterRefusesAndKeepsTheOldFile) {
    TempDir dir;
    const std::u16string name = dir.Path(u"keep.txt");
    dir.Write("keep.txt", "old contents");
    const Entries none;
    EXPECT_FALSE(
        WriteTextTable(name, SourceOf(none), 0, Writing(TextLayout::Tabbed, TextEncoding::UTF8), options.limits));
    EXPECT_FALSE(
        WriteTextTable(u"", SourceOf(none), 1, Writing(TextLayout::Tabbed, TextEncoding::UTF8), options.limits));
    EXPECT_EQ(dir.Read("keep.txt"), "old contents");

    // A longer old file is replaced by exactly the new text.
    dir.Write("keep.txt", std::string(1000, 'x'));
    const Entries ab = {{u"a", u"b"}};
    ASSERT_TRUE(
        WriteTextTable(name, SourceOf(ab), 1, Writing(TextLayout::DiabloII, TextEncoding::ANSI), options.limits));
    EXPECT_EQ(dir.Read("keep.txt"), "a,\t,\t\"b\"\r\n");
}

TEST_F(TextTable, RoundTripsRandomTablesInEveryLayoutAndEncoding) {
    std::mt19937 rng(5);
    static const char16_t keyPool[] = u"abcXYZ019 _.\u00E9\u00FC";
    static const char16_t valuePool[] = u"abc XYZ,\t#/\\n\u00E9\u00FC\u0416\u4E2D";
    const TextEncoding encodings[] = {TextEncoding::Unicode, TextEncoding::UTF8, TextEncoding::ANSI};
    for (int round = 0; round < 12; ++round) {
        const TextLayout layout = round % 2 ? TextLayout::DiabloII : TextLayout::Tabbed;
        const TextEncoding encoding = encodings[round / 2 % 3];
        const bool ansi = encoding == TextEncoding::ANSI;
        Entries entries;
        const int count = 1 + static_cast<int>(rng() % 200);
        for (int i = 0; i < count; ++i) {
            std::u16string key(1, keyPool[rng() % 6]);  // never empty, never spaces only
            for (int n = static_cast<int>(rng() % 8); n > 0; --n)
                key.push_back(keyPool[rng() % (sizeof keyPool / 2 - 1)]);
            std::u16string value;
            const std::size_t poolSize = ansi ? 15 : sizeof valuePool / 2 - 1;  // ANSI: what 1252 holds
            for (int n = static_cast<int>(rng() % 30); n > 0; --n) value.push_back(valuePool[rng() % poolSize]);
            entries.emplace_back(key, value);
        }
        TempDir dir;
        const std::u16string name = dir.Path(u"t.txt");
        ASSERT_TRUE(WriteTextTable(name, SourceOf(entries), count, Writing(layout, encoding), options.limits));
        Entries back;
        ASSERT_TRUE(ReadTextTable(name, SinkInto(back), options.text, options.limits));
        EXPECT_EQ(back, entries) << "round " << round;

        // tbl -> text -> tbl gives the same .tbl bytes.
        const Bytes tbl = TblImage(entries);
        EXPECT_EQ(TblImage(back), tbl);
    }
}

TEST_F(TextTable, WritesSeventyThousandLinesInOrder) {
    Entries entries;
    for (int i = 0; i < 70000; ++i) entries.emplace_back(u"k" + IntToDecimal(i), u"v");
    TempDir dir;
    const std::u16string name = dir.Path(u"big.txt");
    ASSERT_TRUE(WriteTextTable(name, SourceOf(entries), 70000, Writing(TextLayout::Tabbed, TextEncoding::UTF8),
                               options.limits));
    Entries back;
    options.limits.maxFileSize = 1u << 26;
    ASSERT_TRUE(ReadTextTable(name, SinkInto(back), options.text, options.limits));
    EXPECT_EQ(back, entries);
}

TEST_F(TextTable, HugeValuesStayInsideEveryBuffer) {
    // 300000 units through each encoding's writer and the reader: cut, never
    // overrun (the sanitizers watch the buffers).
    const std::u16string huge(300000, u'\u00E9');
    const Entries entries = {{u"k", huge}, {u"next", u"v"}};
    options.limits.maxFileSize = 1u << 26;
    for (TextEncoding encoding : {TextEncoding::Unicode, TextEncoding::UTF8, TextEncoding::ANSI}) {
        TempDir dir;
        const std::u16string name = dir.Path(u"huge.txt");
        WriteReport report;
        EXPECT_FALSE(WriteTextTable(name, SourceOf(entries), 2, Writing(TextLayout::DiabloII, encoding), options.limits,
                                    &report));
        EXPECT_TRUE(report.refusedAsLossy);
        EXPECT_FALSE(fs::exists(fs::path(name)));
        report.allowLossy = true;
        ASSERT_TRUE(WriteTextTable(name, SourceOf(entries), 2, Writing(TextLayout::DiabloII, encoding), options.limits,
                                   &report));
        EXPECT_EQ(report.lossCount, 1u);
        Entries back;
        ASSERT_TRUE(ReadTextTable(name, SinkInto(back), options.text, options.limits));
        ASSERT_EQ(back.size(), 2u);
        EXPECT_EQ(back[0].second, std::u16string(65536, u'\u00E9'));
        EXPECT_EQ(back[1], (Entry{u"next", u"v"}));
    }
}
