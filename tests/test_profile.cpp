// INI access with the rules of the Windows profile functions. The shared
// tests hold for both implementations (the system's functions under wine,
// our own on POSIX); the byte-level ones check what only ours promises.

#include <gtest/gtest.h>

#include <string>

#include "platform/Platform.h"
#include "platform/Profile.h"
#include "tests/TestFiles.h"

using namespace vm::platform;
using vmtest::TempDir;

namespace {

class ProfileTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetWriteFaultHook(nullptr);
        AnsiCodePage = 0;
    }
    std::u16string Ini(std::u16string_view name = u"s.ini") const { return dir.Path(name); }
    std::u16string Str(const std::u16string& key, std::size_t capacity = 4096, const std::u16string& file = {}) const {
        return GetProfileString(file.empty() ? Ini() : file, u"GENERAL", key, u"<default>", capacity);
    }
    std::uint32_t Int(const std::u16string& key, std::int32_t def = 77) const {
        return GetProfileInt(Ini(), u"GENERAL", key, def);
    }
    TempDir dir;
};

TEST_F(ProfileTest, MissingFileOrKeyGivesTheDefault) {
    EXPECT_EQ(GetProfileInt(Ini(), u"GENERAL", u"x", 5), 5u);
    EXPECT_EQ(GetProfileInt(Ini(), u"GENERAL", u"x", -1), 0xFFFFFFFFu);
    // The default loses its trailing blanks and is cut to the buffer.
    EXPECT_EQ(GetProfileString(Ini(), u"GENERAL", u"x", u"Key\tValue  ", 4096), u"Key\tValue");
    EXPECT_EQ(GetProfileString(Ini(), u"GENERAL", u"x", u"abcdef", 4), u"abc");
    EXPECT_EQ(GetProfileString(Ini(), u"GENERAL", u"x", u"abcdef", 0), u"");

    dir.Write("s.ini", "[OTHER]\r\nx=1\r\n[GENERAL]\r\ny=2\r\n");
    EXPECT_EQ(Int(u"x"), 77u);  // only in another section
    EXPECT_EQ(Int(u"y"), 2u);
}

TEST_F(ProfileTest, ValuesAreReadByTheProfileRules) {
    dir.Write("s.ini",
              "; a comment=5\r\n"
              "[general]\r\n"
              "plain=7\r\n"
              "  Blanks  =  text with blanks  \r\n"
              "dq=\"quoted \"\r\n"
              "sq='single'\r\n"
              "half=\"open\r\n"
              "neg=-1\r\n"
              "pos=+12\r\n"
              "trail=42abc\r\n"
              "word=abc\r\n"
              "empty=\r\n"
              "Encoding=2\r\n"
              "plain=8\r\n"
              "[NEXT]\r\n"
              "after=1\r\n");
    struct Case {
        std::u16string key;
        std::u16string text;
        std::uint32_t number;
    };
    const Case cases[] = {
        {u"plain", u"7", 7},  // the first of repeated keys counts
        {u"PLAIN", u"7", 7},          {u"blanks", u"text with blanks", 0},
        {u"dq", u"quoted ", 0},       {u"sq", u"single", 0},
        {u"half", u"\"open", 0},      {u"neg", u"-1", 0xFFFFFFFFu},
        {u"pos", u"+12", 12},         {u"trail", u"42abc", 42},
        {u"word", u"abc", 0},         {u"empty", u"", 77},
        {u"Encoding ", u"2", 2},  // the blank around a name does not count
        {u"after", u"<default>", 77}, {u"; a comment", u"<default>", 77},
    };
    for (const Case& c : cases) {
        const std::string name(c.key.begin(), c.key.end());
        EXPECT_EQ(Str(c.key), c.text) << name;
        EXPECT_EQ(Int(c.key), c.number) << name;
    }
    // A buffer of n characters holds n - 1 of them.
    EXPECT_EQ(Str(u"blanks", 5), u"text");
    EXPECT_EQ(Str(u"blanks", 1), u"");

    // A carriage return ending the last line is a line break too, so the
    // value reads the same before and after a write adds a line behind it.
    dir.Write("s.ini", "[GENERAL]\nlast=Key\tValue\r");
    EXPECT_EQ(Str(u"last"), u"Key\tValue");
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"more", u"1"));
    EXPECT_EQ(Str(u"last"), u"Key\tValue");
    dir.Write("s.ini", "[GENERAL]\r\nlast=Key\r");
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"more", u"1"));
    EXPECT_EQ(Str(u"last"), u"Key");
    // More than one is blank space at the end of the value.
    dir.Write("s.ini", "\n[GENERAL]\nlast=Key\r\r");
    EXPECT_EQ(Str(u"last"), u"Key");
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"more", u"1"));
    EXPECT_EQ(Str(u"last"), u"Key");
#ifndef _WIN32
    EXPECT_EQ(dir.Read("s.ini"), "\n[GENERAL]\nlast=Key\r\nmore=1\n");  // our writer keeps the rest
#endif
}

TEST_F(ProfileTest, WritesCreateTheFileAndReadBack) {
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"Encoding ", u"1"));
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"HeaderTTF", u"Key\tValue"));
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"Offset8", u"-1"));
    ASSERT_TRUE(WriteProfileString(Ini(), u"general", u"encoding", u"2"));  // the same key
    EXPECT_EQ(Int(u"Encoding "), 2u);
    EXPECT_EQ(Str(u"HeaderTTF"), u"Key\tValue");
    EXPECT_EQ(Int(u"Offset8"), 0xFFFFFFFFu);
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"HeaderTTF", u""));
    EXPECT_EQ(Str(u"HeaderTTF"), u"");
}

TEST_F(ProfileTest, WritesKeepOtherSectionsAndKeys) {
    dir.Write("s.ini", "[FIRST]\r\nMaxAddToHashSize=9\r\n\r\n[GENERAL]\r\na=1\r\nb=2\r\n\r\n[LAST]\r\nz=26\r\n");
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"b", u"3"));
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"c", u"4"));
    ASSERT_TRUE(WriteProfileString(Ini(), u"NEW", u"k", u"v"));
    EXPECT_EQ(GetProfileInt(Ini(), u"FIRST", u"MaxAddToHashSize", 0), 9u);
    EXPECT_EQ(Int(u"a"), 1u);
    EXPECT_EQ(Int(u"b"), 3u);
    EXPECT_EQ(Int(u"c"), 4u);
    EXPECT_EQ(GetProfileInt(Ini(), u"LAST", u"z", 0), 26u);
    EXPECT_EQ(GetProfileString(Ini(), u"NEW", u"k", u"", 10), u"v");
    EXPECT_EQ(GetProfileInt(Ini(), u"LAST", u"c", 0), 0u);  // added to its own section
}

TEST_F(ProfileTest, Utf16FilesStayUtf16) {
    // "[GENERAL]\r\nname=Жук\r\n" in UTF-16LE with its byte-order mark.
    std::string bytes = "\xFF\xFE";
    for (const char16_t u : std::u16string(u"[GENERAL]\r\nname=\u0416\u0443\u043A\r\n")) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    dir.Write("s.ini", bytes);
    EXPECT_EQ(Str(u"name"), u"\u0416\u0443\u043A");
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"other", u"\u4E2D"));
    EXPECT_EQ(dir.Read("s.ini").substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(Str(u"name"), u"\u0416\u0443\u043A");
    EXPECT_EQ(Str(u"other"), u"\u4E2D");
}

TEST_F(ProfileTest, NamesAndTextsThatWouldBreakTheFileAreRefused) {
    dir.Write("s.ini", "[GENERAL]\r\na=1\r\n");
    const std::string before = dir.Read("s.ini");
    struct Case {
        std::u16string section, key, value;
    };
    const Case cases[] = {
        {u"GENERAL", u"a", u"1\r\nMaxFileSize=1"},
        {u"GENERAL", u"a", std::u16string(u"1\0x", 3)},
        {u"GENERAL", u"a=b", u"1"},
        {u"GENERAL", u"[X]", u"1"},
        {u"GENERAL", u";a", u"1"},
        {u"GENERAL", u" ", u"1"},
        {u"", u"a", u"1"},
        {u"GEN]ERAL", u"a", u"1"},
        {u"GEN\nERAL", u"a", u"1"},
    };
    for (const Case& c : cases) EXPECT_FALSE(WriteProfileString(Ini(), c.section, c.key, c.value));
    EXPECT_FALSE(WriteProfileString(u"", u"GENERAL", u"a", u"1"));
    EXPECT_EQ(dir.Read("s.ini"), before);
    EXPECT_EQ(GetProfileInt(u"", u"GENERAL", u"a", 3), 3u);
    EXPECT_EQ(GetProfileString(Ini(), u"GENERAL", u"a=b", u"d", 10), u"d");
}

#ifndef _WIN32
// Our own implementation: the bytes it leaves in the file.

TEST_F(ProfileTest, PosixWriteChangesOnlyTheLineOfTheKey) {
    const std::string original = "; hand-made\n[GENERAL]\n  a = 1 ; not a comment\nb=2\n\n[LAST]\nz=\xE9\n";
    dir.Write("s.ini", original);
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"B", u"3"));
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"Encoding ", u"\u00E9"));
    EXPECT_EQ(dir.Read("s.ini"),
              "; hand-made\n[GENERAL]\n  a = 1 ; not a comment\nb=3\nEncoding =\xE9\n\n[LAST]\nz=\xE9\n");
    EXPECT_EQ(GetProfileString(Ini(), u"LAST", u"z", u"", 10), u"\u00E9");  // code page 1252

    dir.Write("t.ini", "[GENERAL]\r\nx=1");  // no final line break
    ASSERT_TRUE(WriteProfileString(Ini(u"t.ini"), u"GENERAL", u"x", u"2"));
    EXPECT_EQ(dir.Read("t.ini"), "[GENERAL]\r\nx=2");
    ASSERT_TRUE(WriteProfileString(Ini(u"t.ini"), u"NEW", u"k", u"v"));
    EXPECT_EQ(dir.Read("t.ini"), "[GENERAL]\r\nx=2\r\n\r\n[NEW]\r\nk=v\r\n");
}

TEST_F(ProfileTest, PosixNewFilesAreAnsiAndWritesAreAtomic) {
    AnsiCodePage = 1251;
    ASSERT_TRUE(WriteProfileString(Ini(), u"GENERAL", u"name", u"\u0416\u4E2D"));
    EXPECT_EQ(dir.Read("s.ini"), "[GENERAL]\r\nname=\xC6?\r\n");
    EXPECT_EQ(Str(u"name"), u"\u0416?");

    SetWriteFaultHook([](std::uint64_t, std::size_t) { return false; });
    EXPECT_FALSE(WriteProfileString(Ini(), u"GENERAL", u"name", u"x"));
    EXPECT_EQ(dir.Read("s.ini"), "[GENERAL]\r\nname=\xC6?\r\n");
    EXPECT_EQ(dir.List(), std::vector<std::u16string>{u"s.ini"});
    // A directory in the file's place is not a settings file.
    SetWriteFaultHook(nullptr);
    dir.Write("d.ini/inner", "");
    EXPECT_FALSE(WriteProfileString(Ini(u"d.ini"), u"GENERAL", u"a", u"1"));
}
#endif

}  // namespace
