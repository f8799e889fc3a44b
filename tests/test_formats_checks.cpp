// What the formats check and report beyond reading and writing: the
// entries a text file cannot hold, what a read did not take exactly,
// include lines confined to the first file's folder and bounded in work,
// and how text in a double-byte code page is detected.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "documents/CopyMatchedValues.h"
#include "documents/TableList.h"
#include "formats/FormatLimits.h"
#include "formats/TextHelpers.h"
#include "platform/Platform.h"
#include "tests/FormatTestUtil.h"
#include "tests/FormatsTest.h"
#include "tests/TestFiles.h"

using namespace vm;
using namespace vmtest;

namespace {

class FormatChecks : public FormatsTest {
protected:
    TempDir dir;
};

// Writes entries (losses allowed) and reads them back as the same file.
// The options are text's, in layout and encoding.
Entries WrittenAndRead(const TempDir& dir, const Entries& entries, TextOptions text, TextLayout layout,
                       TextEncoding encoding, WriteReport& report) {
    const std::u16string name = dir.Path(u"round.txt");
    report.allowLossy = true;
    text.layout = layout;
    text.writeEncoding = encoding;
    text.readEncoding = encoding == TextEncoding::ANSI ? TextEncoding::ANSI : TextEncoding::Autodetect;
    EXPECT_TRUE(WriteTextTable(name, SourceOf(entries), static_cast<std::int32_t>(entries.size()), text, {}, &report));
    Entries back;
    ReadTextTable(name, SinkInto(back), text, {});
    return back;
}

Entries WrittenAndReadOnce(const TempDir& dir, const Entries& entries, const TextOptions& text, TextLayout layout,
                           TextEncoding encoding, WriteReport& report) {
    Entries back = WrittenAndRead(dir, entries, text, layout, encoding, report);
    std::filesystem::remove(std::filesystem::path(dir.Path(u"round.txt")));
    return back;
}

bool ReadTextReport(const TempDir& dir, const char16_t* name, Entries& out, ReadReport& report,
                    const ReadLimits& limits = {}) {
    return ReadTextTable(dir.Path(name), SinkInto(out), {}, limits, &report);
}

}  // namespace

// ---- Entries a text file cannot hold ---------------------------------------

TEST_F(FormatChecks, TheWriterFindsEachEntryItsFileCannotHoldAndRefusesTheTable) {
    struct Case {
        const char* what;
        Entry entry;
        TextLayout layout;
        TextEncoding encoding;
        TextLoss reason;
    };
    const std::u16string tooLong(65537, u'v');
    const Case cases[] = {
        {"empty key", {u"", u"v"}, TextLayout::Tabbed, TextEncoding::UTF8, TextLoss::EmptyKey},
        {"blank key", {u"   ", u"v"}, TextLayout::DiabloII, TextEncoding::Unicode, TextLoss::EmptyKey},
        {"tab in key", {u"a\tb", u"v"}, TextLayout::Tabbed, TextEncoding::UTF8, TextLoss::KeyWithTab},
        {"comma in key", {u"a,b", u"v"}, TextLayout::DiabloII, TextEncoding::UTF8, TextLoss::KeyWithComma},
        {"comment in key", {u"a//b", u"v"}, TextLayout::Tabbed, TextEncoding::Unicode, TextLoss::KeyWithComment},
        {"include key", {u"#x", u"\"f.txt\""}, TextLayout::Tabbed, TextEncoding::UTF8, TextLoss::KeyStartsInclude},
        {"line break in key", {u"a\nb", u"v"}, TextLayout::Tabbed, TextEncoding::UTF8, TextLoss::LineBreakInKey},
        {"carriage return", {u"k", u"a\rb"}, TextLayout::Tabbed, TextEncoding::UTF8, TextLoss::CarriageReturn},
        {"quote, quoted", {u"k", u"say \"hi\""}, TextLayout::DiabloII, TextEncoding::UTF8, TextLoss::Quote},
        {"quote, unquoted", {u"k", u"\"hi"}, TextLayout::Tabbed, TextEncoding::Unicode, TextLoss::Quote},
        {"not in 1252", {u"k", u"\u6F22"}, TextLayout::Tabbed, TextEncoding::ANSI, TextLoss::NotInCodePage},
        {"value too long", {u"k", tooLong}, TextLayout::Tabbed, TextEncoding::Unicode, TextLoss::TooLong},
        {"key too long",
         {std::u16string(65536, u'k'), u"v"},
         TextLayout::Tabbed,
         TextEncoding::UTF8,
         TextLoss::TooLong},
    };
    options.text.quoteValues = false;  // the unquoted tabbed case; DiabloII always quotes
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Entries entries = {{u"first", u"ok"}, c.entry, {u"last", u"ok"}};
        const std::u16string name = dir.Path(u"out.txt");
        dir.Write("out.txt", "old");
        WriteReport report;
        TextOptions text = options.text;
        text.layout = c.layout;
        text.writeEncoding = c.encoding;
        EXPECT_FALSE(WriteTextTable(name, SourceOf(entries), 3, text, options.limits, &report));
        EXPECT_TRUE(report.refusedAsLossy);
        EXPECT_EQ(dir.Read("out.txt"), "old");
        EXPECT_EQ(dir.List(), std::vector<std::u16string>{u"out.txt"});
        ASSERT_EQ(report.lossCount, 1u);
        EXPECT_EQ(report.losses[0].entry, 1u);
        EXPECT_EQ(report.losses[0].reason, c.reason);

        // The check agrees with the file: written anyway, it reads back
        // otherwise; without the entry the table comes back exactly.
        WriteReport again;
        EXPECT_NE(WrittenAndReadOnce(dir, entries, options.text, c.layout, c.encoding, again), entries);
        EXPECT_EQ(again.lossCount, 1u);
        const Entries clean = {entries[0], entries[2]};
        EXPECT_EQ(WrittenAndReadOnce(dir, clean, options.text, c.layout, c.encoding, again), clean);
        EXPECT_EQ(again.lossCount, 0u);
    }
}

TEST_F(FormatChecks, FileWideLossesNameTheirFirstEntry) {
    // Without its own header line a file whose first line starts like the
    // header loses that line.
    TextOptions text = Writing(TextLayout::Tabbed, TextEncoding::Unicode);
    text.header = false;
    text.quoteValues = false;
    WriteReport report;
    const Entries header = {{u"Key", u"Value"}, {u"b", u"2"}};
    EXPECT_FALSE(CheckTextTable(SourceOf(header), 2, text, {}, report));
    ASSERT_EQ(report.losses.size(), 1u);
    EXPECT_EQ(report.losses[0].entry, 0u);
    EXPECT_EQ(report.losses[0].reason, TextLoss::ReadsAsHeader);
    // With the header line written the same table is fine.
    text.header = true;
    EXPECT_TRUE(CheckTextTable(SourceOf(header), 2, text, {}, report));
    EXPECT_EQ(WrittenAndRead(dir, header, text, TextLayout::Tabbed, TextEncoding::Unicode, report), header);

    // An ANSI file without a header whose first bytes are a byte-order mark
    // is read in another encoding.
    const Entries marked = {{u"\u00FF\u00FEk", u"v"}};
    EXPECT_FALSE(CheckTextTable(SourceOf(marked), 1, Writing(TextLayout::DiabloII, TextEncoding::ANSI), {}, report));
    ASSERT_EQ(report.losses.size(), 1u);
    EXPECT_EQ(report.losses[0].reason, TextLoss::StartsLikeMark);
    EXPECT_NE(WrittenAndRead(dir, marked, text, TextLayout::DiabloII, TextEncoding::ANSI, report), marked);

    // Beyond the size a read takes back: that entry and every later one.
    Entries many;
    for (int i = 0; i < 100; ++i) many.emplace_back(u"key" + IntToDecimal(i), u"value");
    ReadLimits limits;
    limits.maxFileSize = 600;
    EXPECT_FALSE(CheckTextTable(SourceOf(many), 100, Writing(TextLayout::Tabbed, TextEncoding::UTF8), limits, report));
    ASSERT_FALSE(report.losses.empty());
    EXPECT_EQ(report.losses[0].reason, TextLoss::FileTooLarge);
    EXPECT_EQ(report.lossCount, 100 - report.losses[0].entry);
    EXPECT_EQ(report.losses.size(), MaxReportedLosses);
}

TEST_F(FormatChecks, TheCheckAgreesWithAWriteAndReadOfRandomTables) {
    // Keys and values from characters that stress every rule; a table the
    // check passes must come back exactly, one it refuses must not.
    static const char16_t pool[] = u"ab #,/\t\"\r\n\\\u00E9\u6F22";
    std::mt19937 rng(11);
    const TextEncoding encodings[] = {TextEncoding::Unicode, TextEncoding::UTF8, TextEncoding::ANSI};
    for (int round = 0; round < 250; ++round) {
        Entries entries;
        for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n) {
            std::u16string key, value;
            for (int k = static_cast<int>(rng() % 4); k > 0; --k) key.push_back(pool[rng() % 13]);
            for (int k = static_cast<int>(rng() % 5); k > 0; --k) value.push_back(pool[rng() % 13]);
            entries.emplace_back(key, value);
        }
        const TextLayout layout = rng() % 2 ? TextLayout::Tabbed : TextLayout::DiabloII;
        const TextEncoding encoding = encodings[rng() % 3];
        TextOptions text;
        text.quoteValues = rng() % 2;
        text.header = rng() % 2;
        WriteReport report;
        const Entries back = WrittenAndRead(dir, entries, text, layout, encoding, report);
        // Values compare in stored form: a raw line break and its escape
        // are the same line break.
        auto stored = [](Entries e) {
            for (auto& [k, v] : e) {
                std::u16string s(v.size() + 1, u'\0');
                s.resize(MacrosToColorCodes(v.c_str(), s.data(), v.size(), true));
                v = s;
            }
            return e;
        };
        std::string shown;
        for (const auto& [k, v] : entries) shown += "[" + platform::ToUtf8(k) + "|" + platform::ToUtf8(v) + "]";
        shown += " -> ";
        for (const auto& [k, v] : back) shown += "[" + platform::ToUtf8(k) + "|" + platform::ToUtf8(v) + "]";
        ASSERT_EQ(report.lossCount == 0, stored(back) == stored(entries))
            << "round " << round << ", " << report.lossCount << " losses, layout " << static_cast<int>(layout)
            << " encoding " << static_cast<int>(encoding) << " quote " << text.quoteValues << " header " << text.header
            << "\n"
            << shown;
    }
}

// ---- Stored bytes of .tbl entries ------------------------------------------

TEST_F(FormatChecks, TblEntriesKeepTheBytesTheirTextWouldNotGiveBackAndAreWrittenWithThem) {
    const RawEntries raw = {
        {"plain", "text"},
        {"literal", "a\\nb"},          // a backslash and "n", not a line break
        {"crlf", "x\r\ny"},            // the carriage return is dropped on reading
        {"k\xF0\x9F\x98\x80", "key"},  // a four-byte sequence, written back as two of three
        {"overlong", "\xC0\xAF"},      // "/" in a form the writer never makes
        {"cut",
         "ab\xFF"
         "cd"},                      // stops decoding at the stray byte
        {"word", "\\red; as text"},  // a colour word that is text, not a code
        {"colour",
         "\xC3\xBF"
         "c1red"},       // a real colour code comes back by itself
        {"lf", "a\nb"},  // and so does a line break
        {"lax",
         "\xE3\x81"
         "A"},  // a three-byte form ending in an ASCII byte
    };
    const Bytes image = RawTblImage(raw);
    Entries entries;
    std::vector<std::pair<std::string, std::string>> kept;
    Bytes padded = image;
    padded.push_back(0);
    ASSERT_TRUE(ReadTblImage(padded.data(), image.size(), SinkInto(entries), {}, nullptr,
                             [&](std::string_view key, std::string_view value) {
                                 kept.resize(entries.size());
                                 kept.back() = {std::string(key), std::string(value)};
                             }));
    kept.resize(entries.size());
    const std::vector<std::pair<std::string, std::string>> expected = {{"", ""},
                                                                       {"", "a\\nb"},
                                                                       {"", "x\r\ny"},
                                                                       {"k\xF0\x9F\x98\x80", ""},
                                                                       {"", "\xC0\xAF"},
                                                                       {"",
                                                                        "ab\xFF"
                                                                        "cd"},
                                                                       {"", "\\red; as text"},
                                                                       {"", ""},
                                                                       {"", ""},
                                                                       {"",
                                                                        "\xE3\x81"
                                                                        "A"}};
    EXPECT_EQ(kept, expected);

    // Written with what was kept, the table comes back byte for byte;
    // without, the lines, keys and words change.
    const StoredBytesSource stored = [&kept](std::int32_t i, std::string_view& key, std::string_view& value) {
        key = kept[static_cast<std::size_t>(i)].first;
        value = kept[static_cast<std::size_t>(i)].second;
    };
    Bytes again;
    ASSERT_TRUE(BuildTblImage(SourceOf(entries), 10, TotalChars(entries), again, {}, stored));
    EXPECT_EQ(again, image);
    ASSERT_TRUE(BuildTblImage(SourceOf(entries), 10, TotalChars(entries), again, {}));
    EXPECT_NE(again, image);

    // A text file cannot hold such entries.
    WriteReport report;
    EXPECT_FALSE(
        CheckTextTable(SourceOf(entries), 10, Writing(TextLayout::Tabbed, TextEncoding::UTF8), {}, report, stored));
    EXPECT_EQ(report.lossCount, 7u);
    EXPECT_EQ(report.losses[0].entry, 1u);
    EXPECT_EQ(report.losses[0].reason, TextLoss::StoredForm);
}

// A value that goes on past its stored length (here: five values, the
// second and third shortened) is read up to it, and the bytes after it are
// neither shown nor kept: written back, the table holds what was shown,
// with the lengths set right, and reads back without a warning.
TEST_F(FormatChecks, AValuePastItsStoredLengthIsReadKeptAndWrittenUpToIt) {
    const RawEntries raw = {
        {"a", "one"}, {"b", "two and more"}, {"c", "\xC0\xAF/xyz"}, {"d", "\xD0\x96\xD0\x96"}, {"e", "last"}};
    Bytes image = RawTblImage(raw);
    const auto setLength = [&image](std::size_t entry, std::uint16_t length) {
        const std::size_t slot = image[21 + 2 * entry] | (image[22 + 2 * entry] << 8);
        const std::size_t node = 21 + 2 * 5 + 17 * slot;
        image[node + 15] = static_cast<std::uint8_t>(length);
        image[node + 16] = static_cast<std::uint8_t>(length >> 8);
    };
    // A stored length counts characters; 3 takes "two".
    setLength(1, 3);
    setLength(2, 3);  // the overlong "/", "/" and "x"
    setLength(3, 3);  // both letters: the value ends before its length
    image.push_back(0);
    TableLists lists;
    AppendToLists receiver(lists.Keys, lists.Values);
    ReadReport report;
    ASSERT_TRUE(ReadTblImage(image.data(), image.size() - 1, receiver, {}, &report));
    EXPECT_EQ(report.shortLengths, 2u);
    EXPECT_EQ(report.firstShortLength, 1u);
    EXPECT_EQ(report.cutStrings, 0u);
    EXPECT_TRUE(report.AnyWarning());
    ASSERT_EQ(lists.Count(), 5u);
    EXPECT_EQ(lists.Values.Get(1), u"two");
    EXPECT_EQ(lists.Values.Get(2), u"//x");
    EXPECT_EQ(lists.Values.Get(3), u"\u0416\u0416");
    // Only the overlong form, which its text would not give back, is kept.
    EXPECT_EQ(lists.Values.Stored(1), "");
    EXPECT_EQ(lists.Values.Stored(2), "\xC0\xAF/x");
    EXPECT_EQ(lists.Values.StoredCount(), 1u);

    const auto source = [&lists](std::int32_t i, const char16_t*& key, const char16_t*& value) {
        key = lists.Keys.Get(static_cast<std::size_t>(i)).c_str();
        value = lists.Values.Get(static_cast<std::size_t>(i)).c_str();
        return true;
    };
    Bytes again;
    ASSERT_TRUE(BuildTblImage(source, 5, 64, again, {}, StoredBytesOf(lists.Keys, lists.Values)));
    again.push_back(0);
    Entries back;
    ASSERT_TRUE(ReadTblImage(again.data(), again.size() - 1, SinkInto(back), {}, &report));
    EXPECT_FALSE(report.AnyWarning());
    EXPECT_EQ(back,
              (Entries{{u"a", u"one"}, {u"b", u"two"}, {u"c", u"//x"}, {u"d", u"\u0416\u0416"}, {u"e", u"last"}}));
}

// A value of more bytes than its length field holds (stored length 0, as
// the writer gives 65535 bytes) is cut by the reader and kept whole: written
// back, the table is the same bytes and reads back the same.
TEST_F(FormatChecks, AKeptValueLongerThanItsLengthFieldIsWrittenBackAsItWas) {
    const std::string longValue(70000, 'v');
    Bytes image = RawTblImage({{"k", longValue}});
    const std::size_t node = 21 + 2 + 17 * image[21];
    image[node + 15] = image[node + 16] = 0;  // the length a 70000-byte value has in such a file
    image.push_back(0);
    TableLists lists;
    AppendToLists receiver(lists.Keys, lists.Values);
    ReadReport report;
    ASSERT_TRUE(ReadTblImage(image.data(), image.size() - 1, receiver, {}, &report));
    EXPECT_EQ(report.cutStrings, 1u);
    EXPECT_EQ(lists.Values.Get(0).size(), 65535u);
    EXPECT_EQ(lists.Values.Stored(0), longValue);

    const auto source = [&lists](std::int32_t i, const char16_t*& key, const char16_t*& value) {
        key = lists.Keys.Get(static_cast<std::size_t>(i)).c_str();
        value = lists.Values.Get(static_cast<std::size_t>(i)).c_str();
        return true;
    };
    Bytes again;
    ASSERT_TRUE(BuildTblImage(source, 1, 65536, again, {}, StoredBytesOf(lists.Keys, lists.Values)));
    again.push_back(0);
    EXPECT_EQ(again, image);
}

// ---- What a read did not take exactly --------------------------------------

TEST_F(FormatChecks, ReadsReportWhatTheySkippedOrCut) {
    dir.Write("main.txt", "a\t1\r\n#\"missing.txt\"\r\n#\"gone.txt\"\r\n#\"self.txt\"\r\n");
    dir.Write("self.txt", "s\tv\r\n#\"self.txt\"\r\n");
    Entries out;
    ReadReport report;
    EXPECT_TRUE(ReadTextReport(dir, u"main.txt", out, report));
    EXPECT_EQ(out.size(), 1u + 8u);
    EXPECT_EQ(report.missingIncludes, 2u);
    EXPECT_EQ(report.firstMissingInclude, u"missing.txt");
    EXPECT_EQ(report.deepIncludes, 1u);
    EXPECT_EQ(report.firstDeepInclude, u"self.txt");
    EXPECT_EQ(report.cutStrings, 0u);
    EXPECT_EQ(report.encoding, TextEncoding::UTF8);
    EXPECT_EQ(report.encodingReason, EncodingReason::WellFormedUtf8);

    // A value longer than the reader takes, and a file that looks like
    // UTF-8 but has a byte that is not.
    dir.Write("long.txt",
              "\xEF\xBB\xBF"
              "a\t1\r\nb\t" +
                  std::string(70000, 'x') + "\r\n");
    out.clear();
    EXPECT_TRUE(ReadTextReport(dir, u"long.txt", out, report));
    EXPECT_EQ(report.cutStrings, 1u);
    EXPECT_EQ(report.firstCutEntry, 1u);
    EXPECT_FALSE(report.utf8ReadAsAnsi);
    dir.Write("mixed.txt", "a\tcaf\xC3\xA9\r\nb\t\xFF\r\n");
    out.clear();
    EXPECT_TRUE(ReadTextReport(dir, u"mixed.txt", out, report));
    EXPECT_TRUE(report.utf8ReadAsAnsi);
    EXPECT_EQ(report.encoding, TextEncoding::ANSI);
    dir.Write("latin.txt", "a\tcaf\xE9\r\n");
    EXPECT_TRUE(ReadTextReport(dir, u"latin.txt", out, report));
    EXPECT_FALSE(report.AnyWarning());

    // A .tbl string that stops decoding before its zero byte is cut.
    Bytes image = TblImage({{u"k", u"abc"}, {u"k2", u"de"}});
    image[image.size() - 3] = 0xFF;  // the "d" of the last value
    Entries tbl;
    image.push_back(0);
    EXPECT_TRUE(ReadTblImage(image.data(), image.size() - 1, SinkInto(tbl), {}, &report));
    EXPECT_EQ(report.cutStrings, 1u);
    EXPECT_EQ(report.firstCutEntry, 1u);
}

// ---- Include lines ----------------------------------------------------------

TEST_F(FormatChecks, IncludesStayInTheFolderOfTheFirstFile) {
    dir.Write("mod/sub/inner.txt", "i\t1\r\n#\"../top.txt\"\r\n");
    dir.Write("mod/top.txt", "t\t2\r\n");
    dir.Write("secret.txt", "password\thunter2\r\n");
    dir.Write("mod/main.txt", "m\t0\r\n#\"sub/inner.txt\"\r\n");
    Entries out;
    ReadReport report;
    EXPECT_TRUE(ReadTextReport(dir, u"mod/main.txt", out, report));
    EXPECT_EQ(out, (Entries{{u"m", u"0"}, {u"i", u"1"}, {u"t", u"2"}}));

    const std::u16string absolute = dir.Path(u"secret.txt");
    const std::string absoluteUtf8 = platform::ToUtf8(absolute);
    for (const std::string& name : {std::string("../secret.txt"), std::string("sub/../../secret.txt"), absoluteUtf8}) {
        SCOPED_TRACE(name);
        dir.Write("mod/evil.txt", "m\t0\r\n#\"" + name + "\"\r\nn\t1\r\n");
        out.clear();
        EXPECT_FALSE(ReadTextReport(dir, u"mod/evil.txt", out, report));
        EXPECT_EQ(out, (Entries{{u"m", u"0"}}));
        EXPECT_EQ(report.failure, ReadFailure::IncludeOutside);
        EXPECT_EQ(report.failureName, platform::FromUtf8(name));

        // Allowed, the same line reads the file.
        ReadLimits anywhere;
        anywhere.includesAnywhere = true;
        out.clear();
        EXPECT_TRUE(ReadTextReport(dir, u"mod/evil.txt", out, report, anywhere));
        EXPECT_EQ(out, (Entries{{u"m", u"0"}, {u"password", u"hunter2"}, {u"n", u"1"}}));
    }
#ifndef _WIN32
    // A link inside the folder that leads out of it is outside; one that
    // stays inside is fine.
    std::filesystem::create_symlink(dir.path() / "secret.txt", dir.path() / "mod" / "link.txt");
    std::filesystem::create_symlink(dir.path() / "mod" / "top.txt", dir.path() / "mod" / "good.txt");
    dir.Write("mod/links.txt", "#\"good.txt\"\r\n#\"link.txt\"\r\n");
    out.clear();
    EXPECT_FALSE(ReadTextReport(dir, u"mod/links.txt", out, report));
    EXPECT_EQ(out, (Entries{{u"t", u"2"}}));
    EXPECT_EQ(report.failureName, u"link.txt");
#endif

    // Names are never looked up in the current directory.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    dir.Write("mod/cwd.txt", "#\"secret.txt\"\r\n");
    out.clear();
    const bool ok = ReadTextReport(dir, u"mod/cwd.txt", out, report);
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(report.missingIncludes, 1u);
}

TEST_F(FormatChecks, IncludeBombsFailWithinTheirBudgets) {
    // Three self-includes in a file of many lines: without a budget, 3^8
    // reads and millions of entries.
    std::string lines;
    for (int i = 0; i < 2000; ++i) lines += "k\t\r\n";
    dir.Write("bomb.txt", lines + "#\"bomb.txt\"\r\n#\"bomb.txt\"\r\n#\"bomb.txt\"\r\n");
    std::size_t delivered = 0;
    ReadReport report;
    EXPECT_FALSE(ReadTextTable(
        dir.Path(u"bomb.txt"), [&delivered](const char16_t*, const char16_t*) { ++delivered; }, {}, {}, &report));
    EXPECT_EQ(report.failure, ReadFailure::IncludeBudget);
    EXPECT_EQ(delivered, 2000u + IncludeEntryBudget);

    // Six self-includes in 30 bytes: the files opened run out first.
    dir.Write("six.txt", "#\"six.txt\"\n#\"six.txt\"\n#\"six.txt\"\n#\"six.txt\"\n#\"six.txt\"\n#\"six.txt\"\n");
    delivered = 0;
    EXPECT_FALSE(ReadTextTable(
        dir.Path(u"six.txt"), [&delivered](const char16_t*, const char16_t*) { ++delivered; }, {}, {}, &report));
    EXPECT_EQ(report.failure, ReadFailure::IncludeBudget);
    EXPECT_EQ(delivered, 0u);
}

// ---- Double-byte code pages --------------------------------------------------

TEST_F(FormatChecks, AnsiTextInADoubleByteCodePageReadsBackUnderAutodetect) {
    platform::AnsiCodePage = 936;
    const Entries entries = {{u"k1", u"\u4E2D\u6587\u8868"}, {u"k2", u"plain"}};
    WriteReport write;
    const Entries back = WrittenAndRead(dir, entries, {}, TextLayout::Tabbed, TextEncoding::ANSI, write);
    EXPECT_EQ(back, entries);
    EXPECT_EQ(write.lossCount, 0u);
    EXPECT_TRUE(write.encodingMustBeNamed);

    Entries out;
    ReadReport read;
    EXPECT_TRUE(ReadTextReport(dir, u"round.txt", out, read));
    EXPECT_EQ(out, entries);
    EXPECT_EQ(read.encoding, TextEncoding::ANSI);
    EXPECT_EQ(read.encodingReason, EncodingReason::AnsiMultiByte);

    // UTF-16 without a mark still reads as UTF-16: it has zero bytes.
    EncodingReason reason{};
    const Bytes utf16 = Hex("2D 4E 09 00 61 00 0D 00 0A 00");
    EXPECT_EQ(DetectTextEncoding(utf16.data(), utf16.size(), TextEncoding::Autodetect, &reason), TextEncoding::Unicode);
    EXPECT_EQ(reason, EncodingReason::ZeroBytes);

    // Single-byte ANSI whose bytes happen to be UTF-8 needs its encoding
    // named too; plain Latin text does not.
    platform::AnsiCodePage = 1252;
    write = WriteReport{};
    WrittenAndRead(dir, {{u"k", u"\u00C3\u00A9"}}, {}, TextLayout::Tabbed, TextEncoding::ANSI, write);
    EXPECT_TRUE(write.encodingMustBeNamed);
    WrittenAndRead(dir, {{u"k", u"caf\u00E9"}}, {}, TextLayout::Tabbed, TextEncoding::ANSI, write);
    EXPECT_FALSE(write.encodingMustBeNamed);
}

// ---- Pairing ------------------------------------------------------------------

TEST(PairingHash, KeysCraftedForOneSecretSpreadUnderAnother) {
    // 64 keys whose hashes share their low 10 bits under one secret, as an
    // attacker who knew it could make them, land in many slots under
    // another.
    std::vector<std::u16string> crafted;
    for (std::uint32_t i = 0; crafted.size() < 64; ++i) {
        const std::u16string key = u"key" + IntToDecimal(static_cast<std::int32_t>(i));
        if ((KeyedHash(key, 1, 2) & 1023) == 0) crafted.push_back(key);
    }
    std::vector<int> slots(1024, 0);
    int fullest = 0;
    for (const auto& key : crafted) fullest = std::max(fullest, ++slots[KeyedHash(key, 3, 4) & 1023]);
    EXPECT_LE(fullest, 4);
    EXPECT_NE(KeyedHash(u"abc", 1, 2), KeyedHash(u"abc", 1, 3));
    EXPECT_EQ(KeyedHash(u"abc", 1, 2), KeyedHash(u"abc", 1, 2));
}
