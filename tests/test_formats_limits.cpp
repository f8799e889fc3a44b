// Hostile and oversized files: size limits, strings shared by many .tbl
// entries, include loops, text made only of separators, and the largest
// tables and strings the formats take.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "documents/Workspace.h"
#include "formats/FormatLimits.h"
#include "formats/TextHelpers.h"
#include "platform/Platform.h"
#include "shell/Settings.h"
#include "tests/FormatTestUtil.h"
#include "tests/FormatsTest.h"
#include "tests/TestFiles.h"

using namespace vm;
using namespace vmtest;

namespace {

class Limits : public FormatsTest {
protected:
    TempDir dir;
};

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A .tbl of n entries whose nodes all name one key and one value string.
Bytes SharedStrings(std::uint32_t n, std::size_t keyLength, std::size_t valueLength) {
    const std::uint32_t dataStart = 21 + 2 * n + 17 * n;
    Bytes image(dataStart, 0);
    const std::uint32_t key = dataStart;
    image.insert(image.end(), keyLength, 'k');
    image.push_back(0);
    const std::uint32_t value = static_cast<std::uint32_t>(image.size());
    image.insert(image.end(), valueLength, 'v');
    image.push_back(0);
    Put16(image, 2, n);
    Put32(image, 4, n);
    Put32(image, 9, dataStart);
    Put32(image, 17, static_cast<std::uint32_t>(image.size()));
    for (std::uint32_t i = 0; i < n; ++i) {
        Put16(image, 21 + 2 * i, i);
        const std::size_t node = 21 + 2 * n + 17 * i;
        image[node] = 1;
        Put32(image, node + 7, key);
        Put32(image, node + 11, value);
        Put16(image, node + 15, static_cast<std::uint32_t>(valueLength + 1));
    }
    return image;
}

bool ReadTextFile(const TempDir& dir, const char16_t* name, Entries& out, const ReadLimits& limits) {
    return ReadTextTable(dir.Path(name), SinkInto(out), {}, limits);
}

}  // namespace

TEST_F(Limits, FilesAtAndJustOverMaxFileSize) {
    const Bytes tbl = TblImage({{u"key", u"value"}});
    dir.Write("t.tbl", std::string(tbl.begin(), tbl.end()));
    dir.Write("big.txt", "b\t" + std::string(16, 'x') + "\r\n");  // 20 bytes
    dir.Write("main.txt", "#\"big.txt\"\r\nm\t2\r\n");
    Entries out;

    options.limits.maxFileSize = tbl.size();
    EXPECT_TRUE(ReadTblFile(dir.Path(u"t.tbl"), SinkInto(out), options.limits));
    options.limits.maxFileSize = tbl.size() - 1;
    EXPECT_FALSE(ReadTblFile(dir.Path(u"t.tbl"), SinkInto(out), options.limits));

    // An included file is held to the same limit: one byte over and it
    // contributes nothing, like a missing one, without failing the read.
    options.limits.maxFileSize = 20;
    out.clear();
    EXPECT_TRUE(ReadTextFile(dir, u"main.txt", out, options.limits));
    EXPECT_EQ(out, (Entries{{u"b", std::u16string(16, u'x')}, {u"m", u"2"}}));
    options.limits.maxFileSize = 19;
    out.clear();
    EXPECT_TRUE(ReadTextFile(dir, u"main.txt", out, options.limits));
    EXPECT_EQ(out, (Entries{{u"m", u"2"}}));
}

#ifndef _WIN32
TEST_F(Limits, HugeSparseFilesAreRefusedWithoutReadingThem) {
    // 4 GiB and 4 GiB + 100 bytes (whose low 32 bits would pass any limit),
    // with the largest limit the settings file can set (2 GiB - 1): refused
    // before anything is allocated.
    dir.Write("Vellumark.ini", "[GENERAL]\r\nMaxFileSize=2147483647\r\n");
    SettingsFileName = dir.Path(u"Vellumark.ini");
    ResetSettings();
    Workspace space;
    ExchangeSettings(space, false);
    options.limits = space.options.formats.limits;
    ResetSettings();
    SettingsFileName.clear();
    ASSERT_EQ(options.limits.maxFileSize, 2147483647u);
    for (std::uint64_t size : {4ull << 30, (4ull << 30) + 100}) {
        dir.Write("sparse", "");
        std::error_code ec;
        std::filesystem::resize_file(dir.path() / "sparse", size, ec);
        if (ec) GTEST_SKIP() << "no sparse files here: " << ec.message();
        Entries out;
        EXPECT_FALSE(ReadTblFile(dir.Path(u"sparse"), SinkInto(out), options.limits));
        EXPECT_FALSE(ReadTextFile(dir, u"sparse", out, options.limits));
        dir.Write("main.txt", "#\"sparse\"\r\nk\tv\r\n");
        EXPECT_TRUE(ReadTextFile(dir, u"main.txt", out, options.limits));
        EXPECT_EQ(out, (Entries{{u"k", u"v"}}));
        platform::FileImage image;
        EXPECT_EQ(platform::ReadWholeFile(dir.Path(u"sparse"), options.limits.maxFileSize, 1, image),
                  platform::ReadStatus::TooLarge);
        EXPECT_FALSE(image.data);
    }
}
#endif

TEST_F(Limits, SharedStringsCannotFillMemory) {
    // 65535 entries naming one 65535-character key and value: a 1.2 MB file
    // that would load as 8 GB of text. The read stops once the strings
    // come to 16 times the file's size.
    const Bytes bomb = SharedStrings(65535, 65535, 65535);
    std::size_t entries = 0;
    std::uint64_t units = 0;
    Bytes padded = bomb;
    padded.push_back(0);
    EXPECT_FALSE(ReadTblImage(
        padded.data(), bomb.size(),
        [&](const char16_t* key, const char16_t* value) {
            ++entries;
            units += WideLength(key) + WideLength(value);
        },
        options.limits));
    EXPECT_GT(entries, 0u);
    EXPECT_LE(units, TblStringBudgetFactor * bomb.size());
    EXPECT_GE(units, TblStringBudgetFactor * bomb.size() - 2 * 65535);

    // Sharing on a modest scale (many entries with one empty or short
    // value) reads as before.
    Entries out;
    EXPECT_TRUE(ReadTbl(SharedStrings(3000, 4, 40), out));
    ASSERT_EQ(out.size(), 3000u);
    EXPECT_EQ(out[2999], (Entry{u"kkkk", std::u16string(40, u'v')}));
}

TEST_F(Limits, IncludeLoopsStayWithinTheBudget) {
    // A file that includes itself four times would be read 4^8 times; the
    // budget of 8 x the size limit in bytes stops it after a few hundred bytes.
    options.limits.maxFileSize = 1000;
    dir.Write("loop.txt", "e\tv\r\n#\"loop.txt\"\r\n#\"loop.txt\"\r\n#\"loop.txt\"\r\n#\"loop.txt\"\r\n");
    const std::size_t size = dir.Read("loop.txt").size();
    Entries out;
    EXPECT_FALSE(ReadTextFile(dir, u"loop.txt", out, options.limits));
    EXPECT_EQ(out.size(), 1 + 8 * options.limits.maxFileSize / size);
    for (const auto& e : out) EXPECT_EQ(e, (Entry{u"e", u"v"}));

    // Exactly the budget is read in full. Past it, the include that does
    // not fit and every later one are skipped, the lines between them are
    // still read, and the read reports failure.
    options.limits.maxFileSize = 100;
    dir.Write("i", "i\t" + std::string(95, 'x') + "\r\n");  // 100 bytes
    std::string main;
    for (int i = 0; i < 8; ++i) main += "#\"i\"\r\n";
    dir.Write("main.txt", main + "m\t1\r\n");
    out.clear();
    EXPECT_TRUE(ReadTextFile(dir, u"main.txt", out, options.limits));
    EXPECT_EQ(out.size(), 9u);

    options.limits.maxFileSize = 250;  // 2000 bytes of budget: 20 files of 100 bytes
    main.clear();
    for (int i = 0; i < 21; ++i) main += "#\"i\"\r\n";
    dir.Write("main.txt", main + "m\t1\r\n#\"i\"\r\n");
    out.clear();
    EXPECT_FALSE(ReadTextFile(dir, u"main.txt", out, options.limits));
    ASSERT_EQ(out.size(), 21u);
    EXPECT_EQ(out.back(), (Entry{u"m", u"1"}));

    // A chain of distinct files: eight levels below the first are read,
    // the include line met at that depth is not.
    for (int i = 0; i < 10; ++i) {
        const std::string n = std::to_string(i);
        dir.Write("c" + n, "c" + n + "\t\r\n#\"c" + std::to_string(i + 1) + "\"\r\n");
    }
    out.clear();
    EXPECT_TRUE(ReadTextFile(dir, u"c0", out, options.limits));
    ASSERT_EQ(out.size(), 9u);
    EXPECT_EQ(out.back().first, u"c8");

    // The budget belongs to one top-level read: the next one starts afresh.
    dir.Write("main.txt", "#\"i\"\r\n");
    out.clear();
    EXPECT_TRUE(ReadTextFile(dir, u"main.txt", out, options.limits));
    EXPECT_EQ(out.size(), 1u);
}

TEST_F(Limits, TextOfSeparatorsOnly) {
    const struct {
        char unit;
        std::size_t entries;
    } cases[] = {{'\t', 0}, {',', 0}, {'"', 1}, {'/', 0}, {'#', 0}, {'\r', 0}, {'\n', 0}, {' ', 0}};
    for (const auto& c : cases) {
        const std::string text(1 << 16, c.unit);
        for (TextEncoding encoding : {TextEncoding::UTF8, TextEncoding::ANSI, TextEncoding::Autodetect}) {
            Entries out;
            EXPECT_TRUE(ReadText(BytesOf(text), out, encoding)) << int(c.unit);
            EXPECT_EQ(out.size(), c.entries) << int(c.unit);
            if (!out.empty()) {
                EXPECT_EQ(out[0], (Entry{std::u16string(1 << 16, u'"'), u""}));
            }
        }
        // The same units as UTF-16.
        std::string wide = "\xFF\xFE";
        for (char ch : text) wide += std::string{ch, '\0'};
        Entries out;
        EXPECT_TRUE(ReadText(BytesOf(wide), out, TextEncoding::Unicode));
        EXPECT_EQ(out.size(), c.entries) << int(c.unit);
    }
}

TEST_F(Limits, FullTablesRoundTripThroughEveryFormat) {
    Entries entries;
    for (int i = 0; i < 65535; ++i) entries.emplace_back(u"k" + IntToDecimal(i), IntToDecimal(i * 3));
    Entries back;
    ASSERT_TRUE(ReadTbl(TblImage(entries), back));
    EXPECT_EQ(back, entries);

    // UTF-16 text (UTF-8 is written line by line like ANSI, and 70000 of
    // those lines are tested elsewhere).
    const std::u16string name = dir.Path(u"full.txt");
    ASSERT_TRUE(WriteTextTable(name, SourceOf(entries), 65535, Writing(TextLayout::DiabloII, TextEncoding::Unicode),
                               options.limits));
    back.clear();
    ASSERT_TRUE(ReadTextTable(name, SinkInto(back), options.text, options.limits));
    EXPECT_EQ(back, entries);
}

TEST_F(Limits, LongestKeysAndValuesSurviveAndOneMoreIsCutWhenAllowed) {
    // 65535 bytes fit a .tbl string (a value's stored length wraps to 0);
    // 65536 do not: such a table is refused, or written cut when allowed.
    // 21845 three-byte characters are 65535 bytes. A pair that would end
    // past the limit is left out whole.
    const std::u16string ascii(65535, u'a');
    const std::u16string euro(21845, u'\u20AC');
    const std::u16string pairAtEnd = std::u16string(21844, u'\u20AC') + u"\U0001F600";
    const Entries entries = {{ascii, euro}, {euro, ascii}, {ascii + u"b", euro + u"c"}, {pairAtEnd, pairAtEnd}};
    const Entries expected = {{ascii, euro},
                              {euro, ascii},
                              {ascii, euro},
                              {std::u16string(21844, u'\u20AC'), std::u16string(21844, u'\u20AC')}};
    Bytes image;
    WriteReport written;
    EXPECT_FALSE(BuildTblImage(SourceOf(entries), 4, TotalChars(entries), image, {}, {}, &written));
    ASSERT_EQ(written.losses.size(), 2u);
    EXPECT_EQ(written.losses[0].entry, 2u);
    EXPECT_EQ(written.losses[1].entry, 3u);
    EXPECT_TRUE(BuildTblImage(SourceOf(entries), 2, TotalChars(entries), image, {}));
    written.allowLossy = true;
    ASSERT_TRUE(BuildTblImage(SourceOf(entries), 4, TotalChars(entries), image, {}, {}, &written));
    Entries back;
    ASSERT_TRUE(ReadTbl(image, back));
    EXPECT_EQ(back, expected);

    // UTF-8 text holds keys of 65535 bytes and longer values; UTF-16 and
    // ANSI text hold them whole. The reader takes values of 65536 units
    // back, so such a table is written only when losses are allowed.
    const Entries longer = {{ascii, euro + euro}, {pairAtEnd, ascii + ascii}};
    for (TextEncoding encoding : {TextEncoding::Unicode, TextEncoding::UTF8}) {
        const std::u16string name = dir.Path(u"long.txt");
        WriteReport report;
        EXPECT_FALSE(WriteTextTable(name, SourceOf(longer), 2, Writing(TextLayout::DiabloII, encoding), options.limits,
                                    &report));
        ASSERT_EQ(report.losses.size(), 1u);
        EXPECT_EQ(report.losses[0].entry, 1u);
        EXPECT_EQ(report.losses[0].reason, TextLoss::TooLong);
        report.allowLossy = true;
        ASSERT_TRUE(WriteTextTable(name, SourceOf(longer), 2, Writing(TextLayout::DiabloII, encoding), options.limits,
                                   &report));
        back.clear();
        ASSERT_TRUE(ReadTextTable(name, SinkInto(back), options.text, options.limits));
        ASSERT_EQ(back.size(), 2u);
        EXPECT_EQ(back[0].first, ascii);
        EXPECT_EQ(back[0].second, euro + euro);
        EXPECT_EQ(back[1].first, encoding == TextEncoding::UTF8 ? std::u16string(21844, u'\u20AC') : pairAtEnd);
        EXPECT_EQ(back[1].second, std::u16string(65536, u'a'));  // the reader's limit
    }
}

TEST_F(Limits, WriterSizesItsImageByTheTableNotByTheCallersTotal) {
    // A total far beyond what the entries hold must not make the writer
    // reserve gigabytes; the image is the same as with the right total.
    const Entries entries = {{u"a", u"\\red;1"}, {u"b", u"2"}};
    Bytes right, wrong;
    ASSERT_TRUE(BuildTblImage(SourceOf(entries), 2, TotalChars(entries), right, {}));
    ASSERT_TRUE(BuildTblImage(SourceOf(entries), 2, ~std::uint64_t{0}, wrong, {}));
    EXPECT_EQ(wrong, right);
    EXPECT_LE(wrong.capacity(), 2 * 2 * 65536 + 21 + 4 + 34);
    // A total that is too small only means the image grows.
    ASSERT_TRUE(BuildTblImage(SourceOf(entries), 2, 0, wrong, {}));
    EXPECT_EQ(wrong, right);
}

TEST_F(Limits, RunningOutOfMemoryFailsTheCallInsteadOfEndingTheProgram) {
    // The third entry's copy fails, as a full table would in the loader.
    std::size_t calls = 0;
    const TableEntrySink sink = [&calls](const char16_t*, const char16_t*) {
        if (++calls == 3) throw std::bad_alloc();
    };
    Bytes tbl = TblImage({{u"a", u"1"}, {u"b", u"2"}, {u"c", u"3"}, {u"d", u"4"}});
    tbl.push_back(0);
    EXPECT_FALSE(ReadTblImage(tbl.data(), tbl.size() - 1, sink, options.limits));
    EXPECT_EQ(calls, 3u);

    // Inside an include too; the include depth is back at 0 afterwards.
    dir.Write("inner.txt", "b\t2\r\nc\t3\r\n");
    dir.Write("main.txt", "a\t1\r\n#\"inner.txt\"\r\nd\t4\r\n");
    dir.Write("self.txt", "s\tv\r\n#\"self.txt\"\r\n");
    calls = 0;
    EXPECT_FALSE(ReadTextTable(dir.Path(u"main.txt"), sink, options.text, options.limits));
    EXPECT_EQ(calls, 3u);
    Entries out;
    EXPECT_TRUE(ReadTextFile(dir, u"self.txt", out, options.limits));
    EXPECT_EQ(out.size(), 9u);

    // A writer whose source fails so leaves the old file and no temporary.
    dir.Write("keep.txt", "old");
    const TableEntrySource source = [](std::int32_t i, const char16_t*& key, const char16_t*& value) {
        if (i == 1) throw std::bad_alloc();
        key = value = u"x";
        return true;
    };
    EXPECT_FALSE(WriteTextTable(dir.Path(u"keep.txt"), source, 3, Writing(TextLayout::Tabbed, TextEncoding::UTF8),
                                options.limits));
    EXPECT_FALSE(WriteTblFile(dir.Path(u"keep.txt"), source, 3, 6, {}));
    EXPECT_EQ(dir.Read("keep.txt"), "old");
    EXPECT_EQ(dir.List(), (std::vector<std::u16string>{u"inner.txt", u"keep.txt", u"main.txt", u"self.txt"}));
}
