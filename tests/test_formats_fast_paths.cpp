// The conversions, the checksum, the key hash and the .tbl writer and
// reader against the routines they replaced (ReferenceRoutines.h): every
// unit and byte of every result must be the same, on random inputs built
// to hit each rule and each edge of the block-wise fast paths (runs of
// ASCII cut anywhere, texts that end near or across the end of a page,
// small capacities and bounds), and on a table shaped like the game's.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "FormatTestUtil.h"
#include "FormatsTest.h"
#include "ReferenceRoutines.h"
#include "bench/GameText.h"
#include "documents/TableList.h"
#include "formats/CRC.h"
#include "formats/ColorMacros.h"
#include "formats/Global.h"
#include "formats/TblFile.h"

namespace {

using vmtest::Bytes;
using vmtest::Entries;

// Three pages, so a text can be put to end just before, at or across the
// end of the first one.
struct alignas(4096) Pages {
    unsigned char bytes[3 * 4096];
};

std::size_t Placement(std::mt19937& rng, std::size_t length) {
    const std::size_t limit = sizeof(Pages) - length - 64;
    const auto r = [&rng](std::size_t n) { return static_cast<std::size_t>(rng()) % n; };
    switch (r(3)) {
    case 0: return std::min(limit, 4096 - std::min<std::size_t>(4096, length) + r(24) - r(24));
    case 1: return std::min(limit, 4096 - r(40));
    default: return r(limit + 1);
    }
}

Bytes RandomUtf8(std::mt19937& rng) {
    static const char* const pieces[] = {
        "\xC3\xA9", "\xD0\x96", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xC0\x80", "\xF8", "\x80",
        "\xE4\xB8", "\xED\xA0\xBD", "\xC3\xBF", "\n", "\r", "\xC3", "\xF4\x90\x80\x80", "\xE0\x80\x41",
        "\xC2\x41", "\xF0\x9F\x98", "\xEF\xBB\xBF", "\"", "\t",
    };
    Bytes out;
    const std::size_t tokens = rng() % 12;
    for (std::size_t t = 0; t < tokens; ++t) {
        const unsigned kind = rng() % 10;
        if (kind < 5) {
            const std::size_t run = rng() % 4 == 0 ? rng() % 70 : rng() % 12;
            for (std::size_t i = 0; i < run; ++i) out.push_back(static_cast<std::uint8_t>(0x20 + rng() % 0x5F));
        } else if (kind < 9) {
            const char* p = pieces[rng() % std::size(pieces)];
            out.insert(out.end(), p, p + std::strlen(p));
        } else if (rng() % 4 == 0) {
            out.push_back(0);
        } else {
            out.push_back(static_cast<std::uint8_t>(rng()));
        }
    }
    return out;
}

std::u16string RandomUnits(std::mt19937& rng) {
    std::u16string out;
    const std::size_t tokens = rng() % 12;
    for (std::size_t t = 0; t < tokens; ++t) {
        switch (rng() % 9) {
        case 0:
        case 1:
        case 2: {
            const std::size_t run = rng() % 4 == 0 ? rng() % 60 : rng() % 10;
            for (std::size_t i = 0; i < run; ++i) out.push_back(static_cast<char16_t>(0x20 + rng() % 0x5F));
            break;
        }
        case 3: out.push_back(static_cast<char16_t>(0x80 + rng() % 0x780)); break;
        case 4: out.push_back(static_cast<char16_t>(0x800 + rng() % 0xF7FF)); break;
        case 5: out += u"\xD83D\xDE00"; break;
        case 6: out.push_back(static_cast<char16_t>(0xD800 + rng() % 0x800)); break;
        case 7: out.push_back(rng() % 3 ? u'\x7F' : u'\x80'); break;
        default: out.push_back(rng() % 8 == 0 ? u'\0' : u'\u00FF'); break;
        }
    }
    return out;
}

TEST(FastPathsTest, Utf8DecodingMatchesTheReference) {
    std::mt19937 rng(11);
    static Pages pages;
    for (int round = 0; round < 40000; ++round) {
        const Bytes text = RandomUtf8(rng);
        const std::size_t at = Placement(rng, text.size() + 1);
        std::memset(pages.bytes, 'x', sizeof pages.bytes);
        std::copy(text.begin(), text.end(), pages.bytes + at);
        pages.bytes[at + text.size()] = 0;
        const char* src = reinterpret_cast<const char*>(pages.bytes + at);

        const std::size_t destBytes = rng() % 3 == 0 ? 2 + rng() % 40 : 2 * text.size() + 64;
        const std::size_t maxChars = rng() % 3 == 0 ? rng() % (text.size() + 3) : 1u << 20;
        std::vector<char16_t> got(destBytes / 2 + 1), want(destBytes / 2 + 1);
        std::size_t gotRead = 0, wantRead = 0;
        const std::size_t n = vm::Utf8ToUtf16(got.data(), destBytes, src, maxChars, &gotRead);
        const std::size_t m = vmref::Utf8ToUtf16(want.data(), destBytes, src, maxChars, &wantRead);
        ASSERT_EQ(n, m) << "round " << round;
        ASSERT_EQ(gotRead, wantRead) << "round " << round;
        ASSERT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(n + 1), want.begin()))
            << "round " << round;
    }
}

TEST(FastPathsTest, Utf16EncodingAndLengthsMatchTheReference) {
    std::mt19937 rng(12);
    static Pages pages;
    auto* units = reinterpret_cast<char16_t*>(pages.bytes);
    for (int round = 0; round < 40000; ++round) {
        const std::u16string text = RandomUnits(rng);
        const std::size_t at = Placement(rng, 2 * text.size() + 2) / 2;
        std::fill_n(units, sizeof pages.bytes / 2, u'y');
        std::copy(text.begin(), text.end(), units + at);
        units[at + text.size()] = 0;
        const char16_t* src = units + at;

        const std::size_t bound = rng() % 3 == 0 ? rng() % (text.size() + 3) : 1u << 20;
        ASSERT_EQ(vm::WideLength(src), vmref::WideLength(src)) << "round " << round;
        ASSERT_EQ(vm::WideLengthWithin(src, bound), std::min(bound, vmref::WideLength(src))) << "round " << round;
        std::vector<char16_t> copy(bound < (1u << 20) ? bound : text.size() + 9, u'#');
        const std::size_t copied = vm::WideCopyWithin(copy.data(), copy.size(), src);
        const std::size_t length = vmref::WideLength(src);
        if (length < copy.size()) {
            ASSERT_EQ(copied, length) << "round " << round;
            ASSERT_TRUE(std::equal(copy.begin(), copy.begin() + static_cast<std::ptrdiff_t>(length + 1), src))
                << "round " << round;
        } else {
            ASSERT_EQ(copied, SIZE_MAX) << "round " << round;
        }

        const std::size_t destBytes = rng() % 3 == 0 ? 1 + rng() % 40 : 3 * text.size() + 64;
        std::vector<char> got(destBytes + 1), want(destBytes + 1);
        const std::size_t n = vm::Utf16ToUtf8(got.data(), destBytes, src, bound);
        const std::size_t m = vmref::Utf16ToUtf8(want.data(), destBytes, src, bound);
        ASSERT_EQ(n, m) << "round " << round;
        ASSERT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(n + 1), want.begin()))
            << "round " << round;
    }
}

TEST(FastPathsTest, ChecksumAndKeyHashMatchTheReference) {
    std::mt19937 rng(13);
    Bytes bytes(1 << 20);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    for (std::size_t length = 0; length < 300; ++length)
        ASSERT_EQ(vm::Crc16(bytes.data() + length % 7, length), vmref::Crc16(bytes.data() + length % 7, length))
            << length;
    EXPECT_EQ(vm::Crc16(bytes.data(), bytes.size()), vmref::Crc16(bytes.data(), bytes.size()));
    for (int round = 0; round < 20000; ++round) {
        const std::size_t length = rng() % 40, start = rng() % 1000;
        const std::uint32_t size = 1 + rng() % 70000;
        ASSERT_EQ(vm::TblKeyHash(bytes.data() + start, length, size),
                  vmref::TblKeyHash(bytes.data() + start, length, size))
            << "round " << round;
    }
}

std::u16string RandomDisplay(std::mt19937& rng) {
    static const char16_t* const pieces[] = {
        u"\\white;", u"\\grey;",  u"\\red;",    u"\\green;", u"\\blue;",   u"\\gold;",  u"\\dgrey;",
        u"\\black;", u"\\tan;",   u"\\orange;", u"\\yellow;", u"\\dgreen;", u"\\purple;", u"\\color;",
        u"\\n",      u"\\",       u"\\Red;",    u"\\grey",   u"\\\\n",     u"\\colo",   u"\u00FFc1",
        u"\r\n",     u"\n",       u"\r",        u"\u00FFc",  u"\u00FF",    u"\u00FFcA", u"\u00FFc;",
    };
    std::u16string out;
    const std::size_t tokens = rng() % 10;
    for (std::size_t t = 0; t < tokens; ++t) {
        if (rng() % 2) {
            const std::size_t run = rng() % 4 == 0 ? rng() % 50 : rng() % 9;
            for (std::size_t i = 0; i < run; ++i)
                out.push_back(rng() % 6 ? static_cast<char16_t>(u'a' + rng() % 26) : u'\u0416');
        } else {
            out += pieces[rng() % std::size(pieces)];
        }
    }
    return out;
}

TEST(FastPathsTest, MacroConversionsMatchTheReference) {
    std::mt19937 rng(14);
    for (int round = 0; round < 30000; ++round) {
        const std::u16string text = RandomDisplay(rng);
        const std::size_t limit = rng() % 3 == 0 ? rng() % (text.size() + 2) : 229376;
        const bool lineFeeds = rng() % 2 == 0;

        std::vector<char16_t> got(text.size() + 1), want(text.size() + 1);
        const std::size_t n = vm::MacrosToColorCodes(text.c_str(), got.data(), limit, lineFeeds);
        const std::size_t m = vmref::MacrosToColorCodes(text.c_str(), want.data(), limit, lineFeeds);
        ASSERT_EQ(n, m) << "round " << round;
        ASSERT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(n + 1), want.begin()))
            << "round " << round;

        std::vector<char16_t> shown(3 * text.size() + 10), expected(3 * text.size() + 10);
        const std::size_t a = vm::ColorCodesToMacros(text.c_str(), shown.data(), limit);
        const std::size_t b = vmref::ColorCodesToMacros(text.c_str(), expected.data(), limit);
        ASSERT_EQ(a, b) << "round " << round;
        ASSERT_TRUE(std::equal(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(a + 1), expected.begin()))
            << "round " << round;
        const std::size_t counted = std::min(limit, text.size());
        const std::size_t c = vm::ColorCodesToMacrosCounted(text.c_str(), counted, shown.data());
        const std::size_t d = vmref::ColorCodesToMacrosCounted(text.c_str(), counted, expected.data());
        ASSERT_EQ(c, d) << "round " << round;
        ASSERT_TRUE(std::equal(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(c + 1), expected.begin()))
            << "round " << round;
    }
}

class FastTablesTest : public vmtest::FormatsTest {};

// Reads image (size bytes, a zero byte after them) into a table's lists
// the way the loaders do, and through the sinks: the same entries and the
// same kept bytes both ways.
struct ListsRead {
    bool ok = false;
    vm::TableLists lists;
};

void ReadIntoLists(const std::uint8_t* image, std::size_t size, ListsRead& out, const Entries& bySink,
                   bool sinkOk, const std::vector<std::pair<std::string, std::string>>& keptBySink,
                   const std::string& what, const vm::ReadLimits& limits = {}) {
    vm::AppendToLists receiver(out.lists.Keys, out.lists.Values);
    out.ok = vm::ReadTblImage(image, size, receiver, limits);
    ASSERT_EQ(out.ok, sinkOk) << what;
    ASSERT_EQ(out.lists.Count(), bySink.size()) << what;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < bySink.size(); ++i) {
        ASSERT_EQ(std::u16string(out.lists.Keys.Get(i)), bySink[i].first) << what << ", key " << i;
        ASSERT_EQ(std::u16string(out.lists.Values.Get(i)), bySink[i].second) << what << ", value " << i;
        const std::string_view key = out.lists.Keys.Stored(i), value = out.lists.Values.Stored(i);
        if (key.empty() && value.empty()) continue;
        ASSERT_LT(kept, keptBySink.size()) << what << ", entry " << i;
        EXPECT_EQ(key, keptBySink[kept].first) << what << ", entry " << i;
        EXPECT_EQ(value, keptBySink[kept].second) << what << ", entry " << i;
        ++kept;
    }
    EXPECT_EQ(kept, keptBySink.size()) << what;
}

// Writes the entries with both writers and reads the image with both
// readers: the same bytes, the same entries.
void ExpectSameTables(const Entries& entries, const char* what, const vm::TblOptions& tbl = {},
                      const vm::ReadLimits& limits = {}) {
    const auto count = static_cast<std::int32_t>(entries.size());
    Bytes want;
    const bool wrote = vmref::BuildTblImage(vmtest::SourceOf(entries), count, vmtest::TotalChars(entries), want, tbl);
    Bytes got;
    ASSERT_EQ(vm::BuildTblImage(vmtest::SourceOf(entries), count, vmtest::TotalChars(entries), got, tbl), wrote) << what;
    vm::TblImageBuffer large;
    ASSERT_EQ(vm::BuildTblImage(vmtest::SourceOf(entries), count, vmtest::TotalChars(entries), large, tbl), wrote)
        << what;
    if (!wrote) return;
    ASSERT_EQ(got.size(), want.size()) << what;
    ASSERT_EQ(large.size(), want.size()) << what;
    const auto differ = std::mismatch(got.begin(), got.end(), want.begin());
    ASSERT_TRUE(differ.first == got.end()) << what << ", byte " << (differ.first - got.begin());
    ASSERT_TRUE(std::equal(large.begin(), large.end(), want.begin())) << what;

    want.push_back(0);
    Entries read, expected;
    std::vector<std::pair<std::string, std::string>> kept;
    const bool ok = vm::ReadTblImage(want.data(), want.size() - 1, vmtest::SinkInto(read), limits, nullptr,
                                     [&kept](std::string_view k, std::string_view v) { kept.emplace_back(k, v); });
    ASSERT_EQ(ok, vmref::ReadTblImage(want.data(), want.size() - 1, vmtest::SinkInto(expected), limits.maxFileSize))
        << what;
    ASSERT_EQ(read.size(), expected.size()) << what;
    for (std::size_t i = 0; i < read.size(); ++i) ASSERT_EQ(read[i], expected[i]) << what << ", entry " << i;
    ListsRead lists;
    ReadIntoLists(want.data(), want.size() - 1, lists, read, ok, kept, what, limits);
}

TEST_F(FastTablesTest, WriterAndReaderMatchTheReferenceOnGameShapedAndRandomTables) {
    vm::ReadLimits limits;
    limits.maxFileSize = 1u << 26;
    const Entries game = vmbench::GameTable();
    ExpectSameTables(game, "game table", {}, limits);
    vm::TblOptions tbl;
    tbl.addToHashSize = 1;
    tbl.offset8 = 7;
    ExpectSameTables(Entries(game.begin(), game.begin() + 3000), "game table, one extra slot", tbl, limits);

    std::mt19937 rng(15);
    for (int round = 0; round < 300; ++round) {
        tbl.addToHashSize = static_cast<int>(rng() % 4);
        Entries entries;
        const std::size_t count = 1 + rng() % 60;
        for (std::size_t i = 0; i < count; ++i) {
            std::u16string key = RandomUnits(rng), value = RandomDisplay(rng);
            if (rng() % 5 == 0) key = u"x";  // repeated keys share a home slot
            if (rng() % 7 == 0) value += RandomUnits(rng);
            entries.emplace_back(std::move(key), std::move(value));
        }
        ExpectSameTables(entries, ("round " + std::to_string(round)).c_str(), tbl, limits);
    }
}

// Long tables of mostly plain entries (ASCII, line breaks, colour codes),
// which a reader into lists takes in batches, with the strings that end a
// batch's run in between: empty keys and values, keys about as long as the
// room a key is first decoded into, values of other letters.
TEST_F(FastTablesTest, RunsOfPlainEntriesReadIntoListsAsOneByOne) {
    static const char16_t* const pieces[] = {u"\\n", u"\\red;", u"\\purple;", u"\\color;", u"\u0416",
                                             u"\\",  u"\r",     u"\u00FF",    u"\u00FFc"};
    std::mt19937 rng(22);
    for (int round = 0; round < 12; ++round) {
        Entries entries;
        const std::size_t count = 100 + rng() % 400;
        for (std::size_t i = 0; i < count; ++i) {
            std::u16string key = u"Key" + std::u16string(rng() % 30, u'k'), value;
            const unsigned shape = rng() % 16;
            if (shape == 0) key.clear();
            if (shape == 1) key = std::u16string(240 + rng() % 30, u'k');
            if (shape == 2) key += u"\u00E9";
            const std::size_t letters = shape == 3 ? 0 : rng() % 8 == 0 ? rng() % 400 : rng() % 60;
            for (std::size_t k = 0; k < letters; ++k) {
                value.push_back(static_cast<char16_t>(u'a' + rng() % 26));
                if (rng() % 25 == 0) value += pieces[rng() % (shape == 4 ? std::size(pieces) : 4)];
            }
            entries.emplace_back(std::move(key), std::move(value));
        }
        ExpectSameTables(entries, ("round " + std::to_string(round)).c_str());
    }
}

// Whether the bytes come back when the text is written again as the .tbl
// writer writes it.
bool ComesBack(const std::u16string& text, bool value, std::string_view bytes) {
    std::size_t units = text.size();
    const char16_t* from = text.c_str();
    std::vector<char16_t> scratch;
    if (value) from = vm::TblStoredForm(text.c_str(), units, scratch);
    std::string out(3 * units + 1, '\0');
    out.resize(vm::Utf16ToUtf8Counted(out.data(), out.size(), from, units));
    return out == bytes;
}

// Tables whose strings hold any bytes (not UTF-8, cut, with backslashes,
// carriage returns, colour codes, the last string at the very end of the
// memory): the entries are the reference reader's, and an entry keeps the
// bytes of exactly those strings that its text would not give back.
TEST_F(FastTablesTest, ReadingIntoListsKeepsWhatTheTextWouldNotGiveBack) {
    static const std::uint8_t odd[] = {0x80, 0xBF, 0xC3, 0xC0, 0xE0, 0xE4, 0xED, 0xF0, 0xF8, 0xFF,
                                       '\\', '\r', '\n', 0, 'n', 'c', 0x41};
    std::mt19937 rng(21);
    for (int round = 0; round < 400; ++round) {
        const std::string what = "round " + std::to_string(round);
        Entries entries;
        const std::size_t count = 1 + rng() % 40;
        for (std::size_t i = 0; i < count; ++i) {
            std::u16string key = u"K" + RandomUnits(rng), value = RandomDisplay(rng);
            if (rng() % 3 == 0) value += RandomUnits(rng);
            // Most strings of a table are ASCII alone.
            if (rng() % 2) key = u"K" + std::u16string(rng() % 40, u'k');
            // Keys about as long as the room a reader first decodes a key
            // into, ending in characters of one to four bytes.
            if (rng() % 6 == 0) key = std::u16string(248 + rng() % 12, u'k') + RandomUnits(rng);
            if (rng() % 2) value = std::u16string(rng() % 60, u'v');
            entries.emplace_back(std::move(key), std::move(value));
        }
        Bytes built;
        ASSERT_TRUE(vm::BuildTblImage(vmtest::SourceOf(entries), static_cast<std::int32_t>(count),
                                      vmtest::TotalChars(entries), built, {})) << what;
        const vm::TblHeader h = vm::ParseTblHeader(built.data());
        const std::size_t strings = h.DataStart, end = h.FileSize;
        // Colour codes and escapes, and letters of several bytes in the
        // writer's form and in forms that do not come back (overlong, four
        // bytes, surrogates apart).
        static const char* const words[] = {"\\n", "\\red;", "\\grey;", "\r\n", "\xC3\xBF" "c1", "\xC3\xBF" "x",
                                            "\xD0\x96\xE4\xB8\xAD", "\xE0\x81\x81", "\xE0\xA0\x80", "\xC1\xBF",
                                            "\xED\xA0\x80\xED\xB0\x80", "\xF0\x9F\x98\x80", "\xEF\xBF\xBD"};
        for (int change = static_cast<int>(rng() % 12); change > 0 && end > strings; --change) {
            const std::size_t at = strings + rng() % (end - strings);
            if (rng() % 3 == 0) {
                const char* word = words[rng() % std::size(words)];
                for (std::size_t k = 0; word[k] && at + k < end; ++k) built[at + k] = static_cast<std::uint8_t>(word[k]);
            } else {
                built[at] = rng() % 2 ? odd[rng() % std::size(odd)] : static_cast<std::uint8_t>(rng());
            }
        }
        // Exactly the image and its zero byte, so that a read past them is
        // caught by the address sanitizer.
        const std::size_t size = built.size();
        auto image = std::make_unique<std::uint8_t[]>(size + 1);
        std::memcpy(image.get(), built.data(), size);
        image[size] = 0;

        Entries read, expected;
        std::vector<std::pair<std::string, std::string>> kept;
        const bool ok = vm::ReadTblImage(image.get(), size, vmtest::SinkInto(read), {}, nullptr,
                                         [&kept](std::string_view k, std::string_view v) { kept.emplace_back(k, v); });
        ASSERT_EQ(ok, vmref::ReadTblImage(image.get(), size, vmtest::SinkInto(expected))) << what;
        ASSERT_EQ(read, expected) << what;
        ListsRead lists;
        ReadIntoLists(image.get(), size, lists, read, ok, kept, what);

        const std::size_t n = h.NumElements, nodes = vm::TblHeaderSize + 2 * n;
        for (std::size_t i = 0; i < read.size(); ++i) {
            const std::size_t slot = image[vm::TblHeaderSize + 2 * i] | (image[vm::TblHeaderSize + 2 * i + 1] << 8);
            const std::uint8_t* node = image.get() + nodes + vm::TblNodeSize * slot;
            std::uint32_t offsets[2];
            std::memcpy(offsets, node + 7, 8);  // little-endian hosts
            const std::string_view keyBytes(reinterpret_cast<const char*>(image.get() + offsets[0]));
            const std::string_view valueBytes(reinterpret_cast<const char*>(image.get() + offsets[1]));
            EXPECT_EQ(lists.lists.Keys.Stored(i), ComesBack(read[i].first, false, keyBytes) ? "" : keyBytes)
                << what << ", key " << i;
            EXPECT_EQ(lists.lists.Values.Stored(i), ComesBack(read[i].second, true, valueBytes) ? "" : valueBytes)
                << what << ", value " << i;
        }
    }
}

}  // namespace
