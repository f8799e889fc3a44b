// The checksum, the key hash and the .tbl writer and reader against their
// plainest form (ReferenceRoutines.h): the checksum's eight-byte steps and
// the writer's free-slot search must give every byte the plain ones give,
// and the reader the same entries, on a table shaped like the game's and on
// random tables; the reader keeps the bytes of exactly the strings that
// would not come back.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/GameText.h"
#include "documents/TableList.h"
#include "formats/Checksum.h"
#include "formats/ColorMacros.h"
#include "formats/FormatLimits.h"
#include "formats/TblFile.h"
#include "formats/TextHelpers.h"
#include "tests/FormatTestUtil.h"
#include "tests/FormatsTest.h"
#include "tests/ReferenceRoutines.h"

namespace {

using vmtest::Bytes;
using vmtest::Entries;

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
        u"\\white;", u"\\grey;", u"\\red;",    u"\\green;",  u"\\blue;",   u"\\gold;",   u"\\dgrey;",
        u"\\black;", u"\\tan;",  u"\\orange;", u"\\yellow;", u"\\dgreen;", u"\\purple;", u"\\color;",
        u"\\n",      u"\\",      u"\\Red;",    u"\\grey",    u"\\\\n",     u"\\colo",    u"\u00FFc1",
        u"\r\n",     u"\n",      u"\r",        u"\u00FFc",   u"\u00FF",    u"\u00FFcA",  u"\u00FFc;",
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

class FastTablesTest : public vmtest::FormatsTest {};

// Reads image (size bytes, a zero byte after them) into a table's lists
// the way the loaders do, and through the sinks: the same entries and the
// same kept bytes both ways.
struct ListsRead {
    bool ok = false;
    vm::TableLists lists;
};

void ReadIntoLists(const std::uint8_t* image, std::size_t size, ListsRead& out, const Entries& bySink, bool sinkOk,
                   const std::vector<std::pair<std::string, std::string>>& keptBySink, const std::string& what,
                   const vm::ReadLimits& limits = {}) {
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
    ASSERT_EQ(vm::BuildTblImage(vmtest::SourceOf(entries), count, vmtest::TotalChars(entries), got, tbl), wrote)
        << what;
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

// Tables whose strings hold any bytes (not UTF-8, cut, going on past their
// stored length, with backslashes, carriage returns, colour codes, the last
// string at the very end of the memory): the entries are the reference
// reader's, and an entry keeps the bytes of exactly those strings (a value
// up to its stored length) that its text would not give back.
TEST_F(FastTablesTest, ReadingIntoListsKeepsWhatTheTextWouldNotGiveBack) {
    static const std::uint8_t odd[] = {0x80, 0xBF, 0xC3, 0xC0, 0xE0, 0xE4, 0xED, 0xF0, 0xF8,
                                       0xFF, '\\', '\r', '\n', 0,    'n',  'c',  0x41};
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
            // Long keys ending in characters of one to four bytes.
            if (rng() % 6 == 0) key = std::u16string(248 + rng() % 12, u'k') + RandomUnits(rng);
            if (rng() % 2) value = std::u16string(rng() % 60, u'v');
            entries.emplace_back(std::move(key), std::move(value));
        }
        Bytes built;
        ASSERT_TRUE(vm::BuildTblImage(vmtest::SourceOf(entries), static_cast<std::int32_t>(count),
                                      vmtest::TotalChars(entries), built, {}))
            << what;
        const vm::TblHeader h = vm::ParseTblHeader(built.data());
        const std::size_t strings = h.DataStart, end = h.FileSize;
        // Colour codes and escapes, and letters of several bytes in the
        // writer's form and in forms that do not come back (overlong, four
        // bytes, surrogates apart).
        static const char* const words[] = {"\\n",
                                            "\\red;",
                                            "\\grey;",
                                            "\r\n",
                                            "\xC3\xBF"
                                            "c1",
                                            "\xC3\xBF"
                                            "x",
                                            "\xD0\x96\xE4\xB8\xAD",
                                            "\xE0\x81\x81",
                                            "\xE0\xA0\x80",
                                            "\xC1\xBF",
                                            "\xED\xA0\x80\xED\xB0\x80",
                                            "\xF0\x9F\x98\x80",
                                            "\xEF\xBF\xBD"};
        for (int change = static_cast<int>(rng() % 12); change > 0 && end > strings; --change) {
            const std::size_t at = strings + rng() % (end - strings);
            if (rng() % 3 == 0) {
                const char* word = words[rng() % std::size(words)];
                for (std::size_t k = 0; word[k] && at + k < end; ++k)
                    built[at + k] = static_cast<std::uint8_t>(word[k]);
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
            std::string_view valueBytes(reinterpret_cast<const char*>(image.get() + offsets[1]));
            // A value that goes on past its stored length ends there.
            const std::size_t length = node[15] | (node[16] << 8);
            std::vector<char16_t> units(vm::KeyBufferUnits);
            std::size_t taken = 0;
            vm::Utf8ToUtf16(units.data(), 2 * units.size(), valueBytes.data(), length ? length : vm::KeyBufferUnits,
                            &taken);
            if (length != 0 && taken < valueBytes.size() && taken + 1 >= length)
                valueBytes = valueBytes.substr(0, taken);
            EXPECT_EQ(lists.lists.Keys.Stored(i), ComesBack(read[i].first, false, keyBytes) ? "" : keyBytes)
                << what << ", key " << i;
            EXPECT_EQ(lists.lists.Values.Stored(i), ComesBack(read[i].second, true, valueBytes) ? "" : valueBytes)
                << what << ", value " << i;
        }
    }
}

}  // namespace
