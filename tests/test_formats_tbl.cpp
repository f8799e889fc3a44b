// The .tbl format: key hash, writer layout, reader checks and round trips.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "formats/Checksum.h"
#include "formats/FormatLimits.h"
#include "formats/TextHelpers.h"
#include "tests/FormatTestUtil.h"
#include "tests/TestFiles.h"

using namespace vm;
using namespace vmtest;

namespace {

class Tbl : public ::testing::Test {};

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

std::u16string RandomText(std::mt19937& rng, std::size_t maxLength, bool ascii) {
    // Display form: "\\n" pairs may appear; U+00FF does not (a stored
    // colour code always reads back as its macro word).
    static const char16_t pool[] = u"abcXYZ019 ,\t\"#/\\n\u00E9\u0416\u4E2D\u20AC";
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<std::size_t> pick(0, ascii ? 8 : sizeof pool / 2 - 2);
    std::u16string s;
    for (std::size_t n = length(rng); n > 0; --n) s.push_back(pool[pick(rng)]);
    return s;
}

// The plain linear-probing placement, slot by slot.
Bytes ReferenceImage(const Entries& entries, const TblOptions& options) {
    const std::uint32_t n = static_cast<std::uint32_t>(entries.size());
    const std::uint32_t h = n + static_cast<std::uint32_t>(options.addToHashSize);
    const std::uint32_t dataStart = 21 + 2 * n + 17 * h;
    Bytes image(dataStart, 0);
    std::uint32_t longest = 0;
    std::vector<char> key(65536), value(65536);
    std::vector<char16_t> stored(229376);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::size_t k = Utf16ToUtf8(key.data(), key.size(), entries[i].first.c_str(), 65536);
        const std::uint32_t home = TblKeyHash(reinterpret_cast<const std::uint8_t*>(key.data()), k, h);
        std::uint32_t slot = home, run = 0;
        while (image[21 + 2 * n + 17 * slot] == 1) {
            ++run;
            slot = (slot + 1) % h;
        }
        longest = std::max(longest, run);
        const std::size_t units = MacrosToColorCodes(entries[i].second.c_str(), stored.data(), 229375, true);
        const std::size_t v = Utf16ToUtf8(value.data(), value.size(), stored.data(), units);
        const std::size_t node = 21 + 2 * n + 17 * slot;
        Put16(image, 21 + 2 * i, slot);
        image[node] = 1;
        Put16(image, node + 1, i);
        Put32(image, node + 3, home);
        Put32(image, node + 7, static_cast<std::uint32_t>(image.size()));
        image.insert(image.end(), key.begin(), key.begin() + static_cast<std::ptrdiff_t>(k) + 1);
        Put32(image, node + 11, static_cast<std::uint32_t>(image.size()));
        Put16(image, node + 15, static_cast<std::uint32_t>(v + 1));
        image.insert(image.end(), value.begin(), value.begin() + static_cast<std::ptrdiff_t>(v) + 1);
    }
    Put16(image, 2, n);
    Put32(image, 4, h);
    image[8] = static_cast<std::uint8_t>(options.offset8);
    Put32(image, 9, dataStart);
    Put32(image, 13, longest + 1);
    Put32(image, 17, static_cast<std::uint32_t>(image.size()));
    Put16(image, 0, Crc16(image.data() + dataStart, image.size() - dataStart));
    return image;
}

}  // namespace

TEST_F(Tbl, KeyHashIsTheElfHash) {
    EXPECT_EQ(TblKeyHash(reinterpret_cast<const std::uint8_t*>("x"), 1, 0xFFFFFFFFu), 0x78u);
    EXPECT_EQ(TblKeyHash(reinterpret_cast<const std::uint8_t*>("abc"), 3, 0xFFFFFFFFu), 0x6783u);
    EXPECT_EQ(TblKeyHash(nullptr, 0, 7), 0u);
    // Long keys exercise the high-nibble fold.
    const char* key = "ThisIsAVeryLongKeyNameForTheHash";
    std::uint32_t h = 0;
    for (const char* p = key; *p; ++p) {
        h = (h << 4) + static_cast<std::uint8_t>(*p);
        if (const std::uint32_t g = h & 0xF0000000u) h = (h ^ (g >> 24)) & ~g;
    }
    EXPECT_EQ(TblKeyHash(reinterpret_cast<const std::uint8_t*>(key), std::strlen(key), 65521), h % 65521);
}

TEST_F(Tbl, WritesTheOneEntryExampleByteForByte) {
    const Bytes expected =
        Hex("35 BD 01 00 01 00 00 00 01 28 00 00 00 01 00 00 00 2B 00 00 00 | 00 00 |"
            "01 00 00 00 00 00 00 28 00 00 00 2A 00 00 00 01 00 | 78 00 00");
    EXPECT_EQ(TblImage({{u"x", u""}}), expected);
}

TEST_F(Tbl, PlacesKeysByLinearProbing) {
    Bytes image = TblImage({{u"a", u""}, {u"b", u""}});
    TblHeader h = ParseTblHeader(image.data());
    EXPECT_EQ(h.HashSize, 2u);
    EXPECT_EQ(image[21], 1);  // a: 0x61 % 2
    EXPECT_EQ(image[23], 0);  // b: 0x62 % 2
    EXPECT_EQ(h.MaxProbe, 1u);

    // a and c share home slot 1 of 2: c wraps to slot 0.
    image = TblImage({{u"a", u""}, {u"c", u""}});
    h = ParseTblHeader(image.data());
    EXPECT_EQ(image[21], 1);
    EXPECT_EQ(image[23], 0);
    EXPECT_EQ(h.MaxProbe, 2u);
    // The node of c records its home slot, not the slot it landed in.
    EXPECT_EQ(image[25 + 3], 1);
}

TEST_F(Tbl, StoresValuesInStoredForm) {
    const Bytes image = TblImage({{u"\\grey;", u"\\grey;"}, {u"k", u"a\\nb"}, {u"", u""}});
    const TblHeader h = ParseTblHeader(image.data());
    const Bytes area(image.begin() + h.DataStart, image.end());
    EXPECT_EQ(area, Hex("5C 67 72 65 79 3B 00 C3 BF 63 30 00 6B 00 61 0A 62 00 00 00"));
    // The value lengths of the first two nodes.
    auto nodeOf = [&](int i) { return 21 + 6 + 17 * (image[21 + 2 * i] | image[22 + 2 * i] << 8); };
    EXPECT_EQ(image[nodeOf(0) + 15], 5);
    EXPECT_EQ(image[nodeOf(1) + 15], 4);
}

TEST_F(Tbl, AddToHashSizeAndOffset8ShapeTheHeader) {
    TblOptions options;
    options.addToHashSize = 10;
    options.offset8 = 7;
    const Bytes image = TblImage({{u"a", u"1"}, {u"b", u"2"}, {u"c", u"3"}}, options);
    const TblHeader h = ParseTblHeader(image.data());
    EXPECT_EQ(h.HashSize, 13u);
    EXPECT_EQ(h.DataStart, 248u);
    EXPECT_EQ(h.Offset8, 7);
    int used = 0;
    for (int s = 0; s < 13; ++s) used += image[27 + 17 * s];
    EXPECT_EQ(used, 3);
}

TEST_F(Tbl, RefusesTablesItCannotWrite) {
    Bytes image;
    const Entries one = {{u"a", u"b"}};
    EXPECT_FALSE(BuildTblImage(SourceOf(one), 0, 0, image, {}));
    EXPECT_FALSE(BuildTblImage(SourceOf(one), 65536, 0, image, {}));
    EXPECT_FALSE(BuildTblImage(nullptr, 1, 0, image, {}));
    EXPECT_FALSE(
        BuildTblImage([](std::int32_t, const char16_t*&, const char16_t*&) { return false; }, 1, 0, image, {}));

    // Slot numbers above 65535 would not fit the index words.
    Entries many(65500, {u"k", u"v"});
    TblOptions options;
    options.addToHashSize = 37;
    EXPECT_FALSE(BuildTblImage(SourceOf(many), 65500, TotalChars(many), image, options));
    options.addToHashSize = 36;
    EXPECT_TRUE(BuildTblImage(SourceOf(many), 65500, TotalChars(many), image, options));
}

TEST_F(Tbl, PlacementMatchesPlainLinearProbing) {
    std::mt19937 rng(7);
    for (int round = 0; round < 6; ++round) {
        TblOptions options;
        options.addToHashSize = round % 3 == 0 ? 0 : round * 5;
        Entries entries;
        const int count = 1 + round * 400;
        for (int i = 0; i < count; ++i) {
            // Sequential keys cluster under this hash; random ones do not.
            std::u16string key = round % 2 ? RandomText(rng, 12, true)
                                           : u"Key" + std::u16string(1, char16_t(u'a' + i % 26)) +
                                                 std::u16string(static_cast<std::size_t>(i / 26 % 5), u'z');
            entries.emplace_back(key, RandomText(rng, 30, false));
        }
        EXPECT_EQ(TblImage(entries, options), ReferenceImage(entries, options)) << "round " << round;
    }
}

TEST_F(Tbl, RoundTripsRandomTables) {
    std::mt19937 rng(11);
    for (int round = 0; round < 20; ++round) {
        Entries entries;
        const int count = 1 + static_cast<int>(rng() % 300);
        for (int i = 0; i < count; ++i) entries.emplace_back(RandomText(rng, 10, false), RandomText(rng, 40, false));
        Entries back;
        ASSERT_TRUE(ReadTbl(TblImage(entries), back));
        EXPECT_EQ(back, entries);
    }
}

TEST_F(Tbl, ReaderDeliversEntriesInIndexOrder) {
    Entries out;
    ASSERT_TRUE(ReadTbl(TblImage({{u"dup", u"1"}, {u"dup", u"2"}, {u"\U0001F600", u"\u00FFc1x\nline"}}), out));
    const Entries expected = {{u"dup", u"1"}, {u"dup", u"2"}, {u"\U0001F600", u"\\red;x\\nline"}};
    EXPECT_EQ(out, expected);
}

TEST_F(Tbl, ReaderAppliesItsSizeChecks) {
    // 42 bytes: one empty key and value in one slot; the node table reaches
    // the end of the file.
    Bytes tiny = TblImage({{u"", u""}});
    ASSERT_EQ(tiny.size(), 42u);
    Entries out;
    EXPECT_FALSE(ReadTbl(tiny, out));
    EXPECT_TRUE(ReadTbl(TblImage({{u"x", u""}}), out));

    Bytes image = TblImage({{u"x", u"yz"}});
    ReadLimits limits;
    limits.maxFileSize = image.size();
    EXPECT_TRUE(ReadTbl(image, out, limits));
    limits.maxFileSize = image.size() - 1;
    EXPECT_FALSE(ReadTbl(image, out, limits));

    // A checksum that does not match is not looked at.
    image[0] ^= 0xFF;
    EXPECT_TRUE(ReadTbl(image, out));
}

TEST_F(Tbl, ReaderRejectsBrokenHeaders) {
    const Bytes good = TblImage({{u"a", u"1"}, {u"b", u"2"}, {u"c", u"3"}});
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        bool ok;
        bool hugeLimit = false;    // MaxFileSize set far beyond 4 GiB by hand
        bool indexToZero = false;  // every index word names slot 0
    };
    const std::uint32_t dataStart = ParseTblHeader(good.data()).DataStart;
    const Damage cases[] = {
        {"HashSize = NumElements - 1 still passes", 4, 2, true, false, true},
        {"HashSize below NumElements - 1", 4, 1, false},
        {"HashSize above MaxFileSize", 4, 0x10000000u, false},
        {"17 x HashSize beyond 32 bits", 4, 0xF0F0F0F1u, false, true},
        {"DataStart at the end", 9, static_cast<std::uint32_t>(good.size()), false},
        {"DataStart below 17 x HashSize", 9, 17 * 3 - 1, false},
        {"FileSize beyond the file", 17, static_cast<std::uint32_t>(good.size() + 1), false},
        {"FileSize not after DataStart", 17, dataStart, false},
    };
    for (const auto& d : cases) {
        Bytes image = good;
        Put32(image, d.at, d.value);
        if (d.indexToZero) {
            for (int i = 0; i < 3; ++i) Put16(image, 21 + 2 * i, 0);
        }
        ReadLimits limits;
        if (d.hugeLimit) limits.maxFileSize = ~std::uint64_t{0};
        Entries out;
        EXPECT_EQ(ReadTbl(image, out, limits), d.ok) << d.what;
    }
}

TEST_F(Tbl, ReaderStopsAtEntriesPointingOutside) {
    Bytes image = TblImage({{u"a", u"1"}, {u"b", u"2"}, {u"c", u"3"}});
    const std::uint32_t n = 3;
    auto nodeOf = [&](std::uint32_t i) { return 21 + 2 * n + 17 * (image[21 + 2 * i] | image[22 + 2 * i] << 8); };

    Bytes bad = image;
    Put32(bad, nodeOf(1) + 11, 10);  // ValueOffset before DataStart
    Entries out;
    EXPECT_FALSE(ReadTbl(bad, out));
    EXPECT_EQ(out, (Entries{{u"a", u"1"}}));

    bad = image;
    Put16(bad, 21 + 2 * 2, 3);  // index word names slot 3 of 3
    out.clear();
    EXPECT_FALSE(ReadTbl(bad, out));
    EXPECT_EQ(out.size(), 2u);

    // KeyOffset equal to FileSize is accepted and gives the empty string.
    bad = image;
    Put32(bad, nodeOf(0) + 7, ParseTblHeader(image.data()).FileSize);
    out.clear();
    EXPECT_TRUE(ReadTbl(bad, out));
    EXPECT_EQ(out[0].first, u"");
}

TEST_F(Tbl, ReaderHandlesEmptyTablesAndWrappedLengths) {
    // NumElements 0: nothing to deliver, and no walk over index words.
    Bytes image = TblImage({{u"abc", u"def"}});
    Put16(image, 2, 0);
    Entries out;
    EXPECT_TRUE(ReadTbl(image, out));
    EXPECT_TRUE(out.empty());

    // A value of exactly 65535 bytes has a stored length of 0 and is read up
    // to its zero byte.
    const std::u16string big(65535, u'v');
    image = TblImage({{u"k", big}});
    const std::size_t node = 21 + 2 + image[21] * 17;
    EXPECT_EQ(image[node + 15] | image[node + 16] << 8, 0);
    out.clear();
    ASSERT_TRUE(ReadTbl(image, out));
    EXPECT_EQ(out[0].second, big);
}

TEST_F(Tbl, LongKeysAndValuesAreRefusedOrCutWhenAllowed) {
    // Strings longer than the 65535 bytes of a .tbl string: the writer lists
    // the entry and refuses the table, or cuts them when allowed to.
    const std::u16string longKey(70000, u'k');
    const std::u16string longValue(300000, u'\u20AC');
    const Entries entries = {{longKey, longValue}, {u"next", u"ok"}, {u"k", longValue}};
    WriteReport report;
    Bytes image;
    EXPECT_FALSE(BuildTblImage(SourceOf(entries), 3, TotalChars(entries), image, {}, {}, &report));
    EXPECT_TRUE(report.refusedAsLossy);
    EXPECT_EQ(report.lossCount, 2u);
    ASSERT_EQ(report.losses.size(), 2u);
    EXPECT_EQ(report.losses[0].entry, 0u);
    EXPECT_EQ(report.losses[0].reason, TextLoss::TblTooLong);
    EXPECT_EQ(report.losses[1].entry, 2u);
    EXPECT_TRUE(image.empty());
    EXPECT_FALSE(BuildTblImage(SourceOf(entries), 3, TotalChars(entries), image, {}));
    TempDir dir;
    EXPECT_FALSE(WriteTblFile(dir.Path(u"long.tbl"), SourceOf(entries), 3, TotalChars(entries), {}, &report));
    EXPECT_TRUE(report.refusedAsLossy);
    EXPECT_TRUE(dir.List().empty());

    report.allowLossy = true;
    ASSERT_TRUE(BuildTblImage(SourceOf(entries), 3, TotalChars(entries), image, {}, {}, &report));
    EXPECT_FALSE(report.refusedAsLossy);
    EXPECT_EQ(report.lossCount, 2u);
    Entries out;
    ASSERT_TRUE(ReadTbl(image, out));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].first, std::u16string(65535, u'k'));
    EXPECT_EQ(out[0].second, std::u16string(21845, u'\u20AC'));
    EXPECT_EQ(out[1], (Entry{u"next", u"ok"}));
}
