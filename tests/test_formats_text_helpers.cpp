// Text conversions, checksum, decimal helpers and colour-code macros.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/Checksum.h"
#include "formats/ColorMacros.h"
#include "formats/FormatLimits.h"
#include "formats/TextHelpers.h"
#include "platform/Platform.h"
#include "tests/FormatTestUtil.h"

using namespace vm;
using vmtest::Bytes;
using vmtest::Hex;

namespace {

std::u16string Decode(const Bytes& bytes, std::size_t capacityBytes = 4096, std::size_t maxChars = 4096) {
    Bytes src = bytes;
    src.push_back(0);
    std::vector<char16_t> dest(capacityBytes / 2 + 1, u'#');
    const std::size_t n = Utf8ToUtf16(dest.data(), capacityBytes, reinterpret_cast<const char*>(src.data()), maxChars);
    EXPECT_EQ(dest[n], 0) << "terminator after the result";
    return std::u16string(dest.data(), n);
}

Bytes Encode(const std::u16string& text, std::size_t capacityBytes = 4096) {
    std::vector<char> dest(capacityBytes + 1, '#');
    const std::size_t n = Utf16ToUtf8(dest.data(), capacityBytes, text.c_str(), text.size() + 1);
    EXPECT_EQ(dest[n], 0);
    return Bytes(dest.begin(), dest.begin() + static_cast<std::ptrdiff_t>(n));
}

struct DecodeCase {
    const char* bytes;
    std::u16string expected;
};

}  // namespace

TEST(Utf8ToUtf16, DecodesAndStopsWhereTheFormatSays) {
    const DecodeCase cases[] = {
        {"41 C3 A9 42", u"A\u00E9B"},
        {"41 80 42", u"A"},               // continuation byte as a lead
        {"41 C3 28 42", u"A"},            // second byte is no continuation byte
        {"41 E9 80 22 42", u"A\u9022B"},  // a third byte below 0x80 is taken as one
        {"41 E9 22 80", u"A"},
        {"C3", u""},                             // a zero byte ends the sequence
        {"E2 82", u""},                          // zero as third byte
        {"E2 00 AC 41", u""},                    // zero as second byte, text after it is not read
        {"C0 80", std::u16string(1, u'\0')},     // overlong forms decode as they come
        {"ED A0 BD ED B8 80", u"\xD83D\xDE00"},  // encoded surrogates
        {"41 F0 9F 98 80 42", u"A\U0001F600B"},  // four bytes become a surrogate pair
        {"41 F8 88 80 80 80", u"A"},
        {"41 F4 90 80 80", u"A"},  // beyond U+10FFFF
        {"41 F0 9F 98 42", u"A"},  // four-byte sequence cut short
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(Hex(c.bytes)), c.expected) << c.bytes;
}

TEST(Utf8ToUtf16, RespectsCapacityAndCharacterBound) {
    EXPECT_EQ(Decode(vmtest::BytesOf("abcde"), 6), u"ab");
    EXPECT_EQ(Decode(vmtest::BytesOf("abcde"), 4096, 3), u"abc");
    EXPECT_EQ(Decode(vmtest::BytesOf("abcde"), 2), u"");
    // A surrogate pair is never split by the capacity.
    EXPECT_EQ(Decode(Hex("41 F0 9F 98 80"), 6), u"A");
    EXPECT_EQ(Decode(Hex("41 F0 9F 98 80"), 8), u"A\U0001F600");

    char16_t dest[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(Utf8ToUtf16(dest, sizeof dest, nullptr, 5), 0u);
    EXPECT_EQ(dest[0], 0);
}

TEST(Utf8ToUtf16, ReadsOnlyWhatItMayDecode) {
    // Decoding a few characters out of a long text must not scan the whole
    // text for its end: the .tbl reader decodes each entry's strings out
    // of one image. Here the text has no end within its buffer at all, and
    // the sanitizers see any read past the buffer.
    const std::vector<char> text(100000, 'a');
    char16_t dest[16];
    EXPECT_EQ(Utf8ToUtf16(dest, sizeof dest, text.data(), 10), 10u);
    EXPECT_EQ(std::u16string(dest), std::u16string(10, u'a'));
    EXPECT_EQ(Utf8ToUtf16(dest, 8, text.data(), 100000), 3u);
}

TEST(Utf16ToUtf8, EncodesEachUnitByItself) {
    EXPECT_EQ(Encode(u"\u20AC"), Hex("E2 82 AC"));
    EXPECT_EQ(Encode(u"\xD83D\xDE00"), Hex("ED A0 BD ED B8 80"));
    EXPECT_EQ(Encode(u"A\u00E9"), Hex("41 C3 A9"));
    EXPECT_EQ(Encode(u"\u00E9A", 3), Hex("C3 A9"));
    EXPECT_EQ(Encode(u"\u20AC", 3), Bytes{});
    EXPECT_EQ(Encode(u"abc", 1), Bytes{});
}

TEST(Utf16ToUtf8, NeverCutsBetweenTheHalvesOfAPair) {
    // Room for "A" and the first half only: neither half is written.
    EXPECT_EQ(Encode(u"A\U0001F600", 5), Hex("41"));
    EXPECT_EQ(Encode(u"A\U0001F600", 7), Hex("41"));
    EXPECT_EQ(Encode(u"A\U0001F600", 8), Hex("41 ED A0 BD ED B8 80"));
    // A lone high surrogate is a character of its own.
    EXPECT_EQ(Encode(std::u16string(u"A") + char16_t(0xD83D) + u"B", 5), Hex("41 ED A0 BD"));
}

TEST(Utf16ToUtf8, LongTextsStayInsideTheirBuffers) {
    const std::u16string big(300000, u'\u20AC');
    std::vector<char> dest(65536);
    EXPECT_EQ(Utf16ToUtf8(dest.data(), dest.size(), big.c_str(), big.size()), 65535u - 65535u % 3);
    std::vector<char16_t> back(65536);
    const std::string utf8(dest.data());
    EXPECT_EQ(Utf8ToUtf16(back.data(), back.size() * 2, utf8.c_str(), 1u << 20), utf8.size() / 3);
}

TEST(Crc16, MatchesTheCheckValue) {
    const std::string digits = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()), 0x29B1);
    EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);
}

TEST(Decimal, ConvertsBothWays) {
    EXPECT_EQ(IntToDecimal(-45), u"-45");
    EXPECT_EQ(IntToDecimal(0), u"0");
    EXPECT_EQ(IntToDecimal(INT32_MIN), u"-2147483648");
    EXPECT_EQ(IntToDecimal(INT32_MAX), u"2147483647");

    EXPECT_EQ(DecimalToInt(u"+12ab"), 12);
    EXPECT_EQ(DecimalToInt(u"-7"), -7);
    EXPECT_EQ(DecimalToInt(u" 5"), 0);
    EXPECT_EQ(DecimalToInt(u""), 0);
    EXPECT_EQ(DecimalToInt(u"-"), 0);
    EXPECT_EQ(DecimalToInt(nullptr), 0);
    EXPECT_EQ(DecimalToInt(u"007x"), 7);
    // Too many digits wrap around in 32 bits.
    EXPECT_EQ(DecimalToInt(u"4294967297"), 1);
    EXPECT_EQ(DecimalToInt(u"-2147483648"), INT32_MIN);
    EXPECT_EQ(DecimalToInt(u"99999999999999999999"), static_cast<std::int32_t>(1661992959u));
}

TEST(BoundedCompare, ComparesAtMostTheBound) {
    EXPECT_EQ(BoundedCompare(u"abc", u"abc", 4), 0);
    EXPECT_EQ(BoundedCompare(u"abc", u"abc", 100), 0);
    EXPECT_EQ(BoundedCompare(u"abc", u"abd", 2), 0);
    EXPECT_LT(BoundedCompare(u"abc", u"abd", 3), 0);
    EXPECT_NE(BoundedCompare(u"abc", u"abc", 0), 0);
    EXPECT_GT(BoundedCompare(u"abcd", u"abc", 10), 0);
    EXPECT_LT(BoundedCompare(u"ab", u"abc", 10), 0);
    EXPECT_EQ(BoundedCompare(u"Key\tValue more", u"Key\tValue", 9), 0);
    EXPECT_GT(BoundedCompare(u"\uFFFF", u"a", 1), 0);  // unsigned units
}

TEST(FindIgnoringCase, FindsTheTextInAnyCaseOfTheGamesAlphabets) {
    struct Case {
        std::u16string text, part;
        std::size_t at;
    };
    constexpr std::size_t none = std::u16string_view::npos;
    const Case cases[] = {
        {u"the Shrine of Ages", u"SHRINE", 4},
        {u"the Shrine", u"shrinee", none},
        {u"abc", u"", 0},
        {u"", u"a", none},
        {u"Stra\u00DFe \u00C4RGER", u"\u00E4rger", 7},                                          // German
        {u"\u0141\u00D3D\u0179 \u015AWI\u0118TA", u"\u0142\u00F3d\u017A \u015Bwi\u0119ta", 0},  // Polish
        {u"\u0421\u0422\u0410\u0420\u042B\u0419 \u0401\u0416", u"\u0441\u0442\u0430\u0440\u044B\u0439 \u0451\u0436",
         0},                                                                        // Russian
        {u"\u039F\u039B\u03A5\u039C\u03A0\u039F\u03A3", u"\u03BB\u03C5\u03BC", 1},  // Greek
        {u"\uFF21\uFF22", u"\uFF42", 1},                                            // full-width
        {u"\uD55C\uAD6D\uC5B4 \u65E5\u672C", u"\u65E5", 4},                         // no case: as it is
        {u"\u00D7", u"\u00F7", none},                                               // signs, not letters
        {u"I\u0130", u"i\u0131", none},                                             // the Turkish I's keep their own
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindIgnoringCase(c.text, c.part), c.at)
            << platform::ToUtf8(c.text) << " / " << platform::ToUtf8(c.part);
    EXPECT_EQ(FindIgnoringCase(u"ab AB ab", u"ab", 1), 3u);
    EXPECT_EQ(FindIgnoringCase(u"ab", u"b", 3), none);
    // Every unit folds to one that folds to itself.
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        const char16_t folded = FoldCase(static_cast<char16_t>(c));
        EXPECT_EQ(FoldCase(folded), folded) << static_cast<int>(c);
    }
}

TEST(SwapNewlineEscape, SwapsInPlaceWithoutChangingTheLength) {
    std::u16string text = u"\\n\\n";
    SwapNewlineEscape(text.data(), false);
    EXPECT_EQ(text, u"\r\n\r\n");
    SwapNewlineEscape(text.data(), true);
    EXPECT_EQ(text, u"\\n\\n");

    std::u16string escaped = u"a\\\\nb";
    SwapNewlineEscape(escaped.data(), false);
    EXPECT_EQ(escaped, u"a\\\r\nb");

    std::u16string lone = u"a\rb\nc";
    SwapNewlineEscape(lone.data(), true);
    EXPECT_EQ(lone, u"a\rb\nc");

    // Only the first 65535 units are looked at.
    std::u16string longText(65533, u'x');
    longText += u"\\n\\n";
    SwapNewlineEscape(longText.data(), false);
    EXPECT_EQ(longText.substr(65533), u"\r\n\\n");
}

namespace {

std::u16string ToMacros(const std::u16string& stored, std::size_t limit = 229376) {
    std::vector<char16_t> dest(stored.size() * 8 / 3 + 16);
    const std::size_t n = ColorCodesToMacros(stored.c_str(), dest.data(), limit);
    return std::u16string(dest.data(), n);
}

std::u16string ToCodes(const std::u16string& display, bool lineFeed) {
    std::vector<char16_t> dest(display.size() + 1);
    const std::size_t n = MacrosToColorCodes(display.c_str(), dest.data(), 229376, lineFeed);
    return std::u16string(dest.data(), n);
}

struct MacroCase {
    std::u16string stored;
    std::u16string display;
    std::u16string storedAgain;  // display converted back with line feeds on
};

}  // namespace

TEST(ColorMacros, ConvertBetweenStoredAndDisplayForm) {
    const MacroCase cases[] = {
        {u"\u00FFc1", u"\\red;", u"\u00FFc1"},
        {u"\u00FFc/x\u00FFc;", u"\\white;x\\purple;", u"\u00FFc/x\u00FFc;"},
        {u"\u00FFcA", u"\\color;A", u"\u00FFcA"},
        {u"ab\u00FFc", u"ab\\color;", u"ab\u00FFc"},
        {u"\u00FFd\u00FF", u"\u00FFd\u00FF", u"\u00FFd\u00FF"},
        {u"a\r\nb", u"a\\nb", u"a\nb"},
        {u"a\nb", u"a\\nb", u"a\nb"},
        {u"end\\", u"end\\", u"end\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToMacros(c.stored), c.display);
        EXPECT_EQ(ToCodes(c.display, true), c.storedAgain);
    }
    for (int row = 0; row < 13; ++row) {
        const std::u16string stored = {u'\u00FF', u'c', static_cast<char16_t>(u'/' + row)};
        EXPECT_EQ(ToMacros(stored), ColorMacroTable[row].word);
        EXPECT_EQ(ToCodes(ColorMacroTable[row].word, true), stored);
    }
}

TEST(ColorMacros, LimitAndMalformedWords) {
    // The code character lies beyond the limit: the code alone is "\color;".
    EXPECT_EQ(ToMacros(u"\u00FFc1", 2), u"\\color;");
    EXPECT_EQ(ToMacros(u"\u00FFc1", 1), u"\u00FF");
    EXPECT_EQ(ToCodes(u"\\Red;", true), u"\\Red;");
    EXPECT_EQ(ToCodes(u"\\grey", true), u"\\grey");
    EXPECT_EQ(ToCodes(u"\\\\red;", true), u"\\\u00FFc1");
    // With line feeds off only the macro words change.
    EXPECT_EQ(ToCodes(u"\\grey;a\\nb", false), u"\u00FFc0a\\nb");
}
