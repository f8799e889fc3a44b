// The platform layer through its interface: whole-file reads, the atomic
// writer and its failure paths, code-page conversion and file names. Each
// build runs these against its own implementation (POSIX or Win32).

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tests/TestFiles.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace vm::platform;
using vmtest::TempDir;
namespace fs = std::filesystem;

namespace {

class PlatformTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetWriteFaultHook(nullptr);
        AnsiCodePage = 0;
    }
    TempDir dir;
};

// ---- Reading -------------------------------------------------------------

TEST_F(PlatformTest, ReadWholeFileGivesBytesFollowedByZeroPadding) {
    const std::string bytes("\x01\x00\xFFtext", 7);
    dir.Write("a.bin", bytes);

    FileImage image;
    ASSERT_EQ(ReadWholeFile(dir.Path(u"a.bin"), 7, 4, image), ReadStatus::Ok);
    ASSERT_EQ(image.size, 7u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data.get()), 7), bytes);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(image.data[7 + i], 0) << i;

    dir.Write("empty", "");
    ASSERT_EQ(ReadWholeFile(dir.Path(u"empty"), 0, 2, image), ReadStatus::Ok);
    EXPECT_EQ(image.size, 0u);
    ASSERT_TRUE(image.data);
    EXPECT_EQ(image.data[0], 0);
    EXPECT_EQ(image.data[1], 0);
}

// Files of megabytes go into large blocks: every byte and the padding
// must come through, and the blocks must be whole for their full size.
TEST_F(PlatformTest, LargeFilesAndBuffersHoldEveryByte) {
    std::string bytes(3u << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
    dir.Write("big.bin", bytes);
    FileImage image;
    EXPECT_EQ(FileSizeOf(dir.Path(u"big.bin")), bytes.size());
    EXPECT_EQ(FileSizeOf(dir.Path(u"missing")), 0u);
    EXPECT_EQ(FileSizeOf(dir.Path()), 0u);
    ASSERT_EQ(ReadWholeFile(dir.Path(u"big.bin"), bytes.size(), 3, image), ReadStatus::Ok);
    ASSERT_EQ(image.size, bytes.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data.get()), bytes.size()), bytes);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(image.data[bytes.size() + i], 0) << i;

    for (const std::size_t size : {LargeBufferBytes - 1, LargeBufferBytes, (std::size_t{2} << 20) + 1}) {
        auto* block = static_cast<unsigned char*>(AllocateBuffer(size));
        ASSERT_NE(block, nullptr) << size;
        std::fill_n(block, size, static_cast<unsigned char>(size));
        EXPECT_EQ(block[size - 1], static_cast<unsigned char>(size)) << size;
        FreeBuffer(block, size);
    }
    // Directly as well: sanitizer builds take every buffer from the heap.
    const std::size_t large = (std::size_t{3} << 20) + 5;
    auto* block = static_cast<unsigned char*>(AllocateLarge(large));
    ASSERT_NE(block, nullptr);
    std::fill_n(block, large, 0xA5);
    EXPECT_EQ(block[large - 1], 0xA5);
    FreeLarge(block, large);

    std::vector<std::uint32_t, BufferAllocator<std::uint32_t>> grown;
    for (std::uint32_t i = 0; i < (1u << 20); ++i) grown.push_back(i);
    EXPECT_EQ(grown[123456], 123456u);
    EXPECT_EQ(grown.back(), (1u << 20) - 1);
}

TEST_F(PlatformTest, ReadWholeFileRefusesLargeMissingAndOddNames) {
    dir.Write("a.bin", "12345");
    FileImage image;
    EXPECT_EQ(ReadWholeFile(dir.Path(u"a.bin"), 4, 1, image), ReadStatus::TooLarge);
    EXPECT_FALSE(image.data);
    EXPECT_EQ(ReadWholeFile(dir.Path(u"missing"), 100, 1, image), ReadStatus::NotFound);
    EXPECT_EQ(ReadWholeFile(dir.Path(u"missing/x"), 100, 1, image), ReadStatus::NotFound);
    EXPECT_EQ(ReadWholeFile(dir.Path(), 100, 1, image), ReadStatus::NotFound);
    EXPECT_EQ(ReadWholeFile(u"", 100, 1, image), ReadStatus::NotFound);
    // A zero unit inside the name must not cut it down to an existing file.
    std::u16string embedded = dir.Path(u"a.bin");
    embedded += u'\0';
    embedded += u"more";
    EXPECT_NE(ReadWholeFile(embedded, 100, 1, image), ReadStatus::Ok);

    EXPECT_TRUE(FileExists(dir.Path(u"a.bin")));
    EXPECT_FALSE(FileExists(dir.Path()));
    EXPECT_FALSE(FileExists(dir.Path(u"missing")));
    EXPECT_FALSE(FileExists(embedded));
}

// ---- Writing -------------------------------------------------------------

TEST_F(PlatformTest, AtomicWriterCreatesAndReplacesLeavingNoTemporaryFile) {
    const fs::path target = dir.path() / "out.tbl";
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(target.u16string()));
        ASSERT_TRUE(w.Write("first", 5));
        ASSERT_TRUE(w.Write(" part", 5));
        ASSERT_TRUE(w.Write(nullptr, 0));
        ASSERT_TRUE(w.Commit());
    }
    EXPECT_EQ(dir.Read("out.tbl"), "first part");
    EXPECT_EQ(dir.List(), std::vector<std::u16string>{u"out.tbl"});

#ifndef _WIN32
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(target.u16string()));
        ASSERT_TRUE(w.Write("second", 6));
        ASSERT_TRUE(w.Commit());
        EXPECT_FALSE(w.Write("x", 1));  // closed after Commit
        EXPECT_FALSE(w.Commit());
    }
    EXPECT_EQ(dir.Read("out.tbl"), "second");
    EXPECT_EQ(dir.List(), std::vector<std::u16string>{u"out.tbl"});
#ifndef _WIN32
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
}

TEST_F(PlatformTest, AtomicWriterKeepsOldFileOnAbortAndOnDestruction) {
    const fs::path target = dir.path() / "keep.txt";
    dir.Write("keep.txt", "old contents");
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(target.u16string()));
        ASSERT_TRUE(w.Write("new", 3));
        EXPECT_EQ(dir.List().size(), 2u);  // the temporary file lies beside the target
        w.Abort();
        EXPECT_FALSE(w.Commit());
    }
    EXPECT_EQ(dir.Read("keep.txt"), "old contents");
    EXPECT_EQ(dir.List(), std::vector<std::u16string>{u"keep.txt"});
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(target.u16string()));
        ASSERT_TRUE(w.Write("new", 3));
    }
    EXPECT_EQ(dir.Read("keep.txt"), "old contents");
    EXPECT_EQ(dir.List(), std::vector<std::u16string>{u"keep.txt"});
}

std::vector<std::pair<std::uint64_t, std::size_t>> g_hookCalls;
bool FailSecondWrite(std::uint64_t writtenSoFar, std::size_t count) {
    g_hookCalls.emplace_back(writtenSoFar, count);
    return g_hookCalls.size() != 2;
}

TEST_F(PlatformTest, FailedWriteMakesCommitFailAndKeepsOldFile) {
    const fs::path target = dir.path() / "keep.txt";
    dir.Write("keep.txt", "old contents");
    g_hookCalls.clear();
    SetWriteFaultHook(FailSecondWrite);
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(target.u16string()));
        EXPECT_TRUE(w.Write("12345", 5));
        EXPECT_FALSE(w.Write("678", 3));
        // The hook lets later writes through, but the file already has a
        // hole: nothing may be committed.
        EXPECT_FALSE(w.Write("9", 1));
        EXPECT_FALSE(w.Commit());
    }
    SetWriteFaultHook(nullptr);
    ASSERT_GE(g_hookCalls.size(), 2u);
    EXPECT_EQ(g_hookCalls[0], (std::pair<std::uint64_t, std::size_t>(0, 5)));
    EXPECT_EQ(g_hookCalls[1], (std::pair<std::uint64_t, std::size_t>(5, 3)));
    EXPECT_EQ(dir.Read("keep.txt"), "old contents");
    EXPECT_EQ(dir.List(), std::vector<std::u16string>{u"keep.txt"});
}

TEST_F(PlatformTest, AtomicWriterRefusesUnwritableTargets) {
    AtomicFileWriter w;
    EXPECT_FALSE(w.Write("x", 1));  // not open
    EXPECT_FALSE(w.Commit());

    const fs::path readOnly = dir.path() / "locked.txt";
    dir.Write("locked.txt", "locked");
    fs::permissions(readOnly, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_FALSE(w.Open(readOnly.u16string()));
    EXPECT_EQ(w.Error(), WriteError::ReadOnlyFile);
    EXPECT_FALSE(w.Open(dir.Path(u"missing/x.txt")));
    EXPECT_EQ(w.Error(), WriteError::NoFolder);
    EXPECT_FALSE(w.Open(dir.Path()));
    EXPECT_EQ(w.Error(), WriteError::IsDirectory);
    EXPECT_FALSE(w.Open(u""));
    EXPECT_EQ(w.Error(), WriteError::BadName);
    EXPECT_EQ(dir.Read("locked.txt"), "locked");
    EXPECT_EQ(dir.List(), std::vector<std::u16string>{u"locked.txt"});

#ifndef _WIN32
    // Root ignores directory permissions; the writer honours the owner bit.
    // A new file cannot be made there; an existing one is rewritten in
    // place, its old bytes kept until the new ones are all there.
    const fs::path sealed = dir.path() / "sealed";
    fs::create_directory(sealed);
    dir.Write("sealed/old.txt", "old bytes");
    fs::permissions(sealed, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(w.Open((sealed / "x.txt").u16string()));
    EXPECT_EQ(w.Error(), WriteError::PermissionDenied);
    ASSERT_TRUE(w.Open((sealed / "old.txt").u16string()));
    EXPECT_TRUE(w.InPlace());
    EXPECT_TRUE(w.Write("new", 3));
    EXPECT_EQ(dir.Read("sealed/old.txt"), "old bytes");
    EXPECT_TRUE(w.Commit());
    EXPECT_EQ(dir.Read("sealed/old.txt"), "new");
    EXPECT_EQ(dir.List("sealed"), std::vector<std::u16string>{u"old.txt"});
    fs::permissions(sealed, fs::perms::owner_all);
#endif
}

#ifndef _WIN32
TEST_F(PlatformTest, AnInterruptedProgramLeavesNoTemporaryFile) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        if (child == 0) {
            RemoveTemporaryFilesOnInterrupt();
            AtomicFileWriter w;
            if (!w.Open(dir.Path(u"out.txt")) || !w.Write("half", 4)) _exit(2);
            (void)!write(ready[1], "r", 1);
            for (;;) pause();
        }
        char c = 0;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
        close(ready[0]);
        close(ready[1]);
        EXPECT_EQ(dir.List().size(), 1u);  // the temporary file, half written
        kill(child, signal);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
        EXPECT_TRUE(dir.List().empty());
    }
}
#endif

// ---- Code pages ----------------------------------------------------------

std::string AllBytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
}

std::string Narrow(const std::u16string& text, bool& replaced, std::size_t maxBytes = 1 << 20) {
    std::string out = "stale";
    WideToAnsi(text.data(), text.size(), maxBytes, out, replaced);
    return out;
}

TEST_F(PlatformTest, CodePage1252RoundTripsEveryByte) {
    AnsiCodePage = 1252;
    const std::string bytes = AllBytes();
    std::u16string wide = u"stale";
    ASSERT_TRUE(AnsiToWide(bytes.data(), bytes.size(), wide));
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(wide[0x41], u'A');
    EXPECT_EQ(wide[0x80], u'\u20AC');
    EXPECT_EQ(wide[0xE9], u'\u00E9');
    for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(wide[b], static_cast<char16_t>(b)) << b;

    bool replaced = false;
    EXPECT_EQ(Narrow(wide, replaced), bytes);
    EXPECT_FALSE(replaced);
}

TEST_F(PlatformTest, CodePage1251Cyrillic) {
    AnsiCodePage = 1251;
    const std::string bytes = "\xCF\xF0\xE8\xE2\xE5\xF2 \xA8\xB8";  // "Привет Ёё"
    std::u16string wide;
    ASSERT_TRUE(AnsiToWide(bytes.data(), bytes.size(), wide));
    EXPECT_EQ(wide, u"\u041F\u0440\u0438\u0432\u0435\u0442 \u0401\u0451");
    bool replaced = false;
    EXPECT_EQ(Narrow(wide, replaced), bytes);
    EXPECT_FALSE(replaced);

    const std::string all = AllBytes();
    ASSERT_TRUE(AnsiToWide(all.data(), all.size(), wide));
    EXPECT_EQ(Narrow(wide, replaced), all);
}

TEST_F(PlatformTest, UnmappableCharactersBecomeQuestionMarks) {
    AnsiCodePage = 1252;
    bool replaced = false;
    EXPECT_EQ(Narrow(u"a\u0416b", replaced), "a?b");
    EXPECT_TRUE(replaced);
    // The flag is only ever set, so it collects over many calls.
    EXPECT_EQ(Narrow(u"plain", replaced), "plain");
    EXPECT_TRUE(replaced);

    // A character beyond U+FFFF is one character: one "?". A lone
    // surrogate is unmappable too.
    replaced = false;
    EXPECT_EQ(Narrow(u"x\U0001F600y", replaced), "x?y");
    EXPECT_TRUE(replaced);
    replaced = false;
    EXPECT_EQ(Narrow(std::u16string(u"x") + char16_t(0xD800) + u"y", replaced), "x?y");
    EXPECT_TRUE(replaced);

    AnsiCodePage = 936;
    replaced = false;
    EXPECT_EQ(Narrow(u"\u4E2D\u0416\U0001F600", replaced), "\xD6\xD0\xA7\xA8?");
    EXPECT_TRUE(replaced);
}

TEST_F(PlatformTest, CutHappensAtCharacterBoundaries) {
    AnsiCodePage = 936;
    bool replaced = false;
    const std::u16string text = u"a\u4E2D\u6587b";  // a, two double-byte characters, b
    EXPECT_EQ(Narrow(text, replaced),
              "a\xD6\xD0\xCE\xC4"
              "b");
    EXPECT_EQ(Narrow(text, replaced, 2), "a");
    EXPECT_EQ(Narrow(text, replaced, 3), "a\xD6\xD0");
    EXPECT_EQ(Narrow(text, replaced, 4), "a\xD6\xD0");
    EXPECT_EQ(Narrow(text, replaced, 0), "");
    EXPECT_FALSE(replaced);

    AnsiCodePage = 65001;
    EXPECT_EQ(Narrow(u"a\U0001F600", replaced, 4), "a");
    EXPECT_EQ(Narrow(u"a\U0001F600", replaced, 5), "a\xF0\x9F\x98\x80");
    EXPECT_FALSE(replaced);

    AnsiCodePage = 1252;
    EXPECT_EQ(Narrow(u"abc\u00E9", replaced, 2), "ab");
    EXPECT_EQ(Narrow(u"\U0001F600z", replaced, 1), "?");  // the pair is not split into two "?"
}

TEST_F(PlatformTest, MultiByteDecodingReportsInvalidInput) {
    AnsiCodePage = 936;
    std::u16string wide;
    ASSERT_TRUE(AnsiToWide("a\xD6\xD0", 3, wide));
    EXPECT_EQ(wide, u"a\u4E2D");
    EXPECT_FALSE(AnsiToWide("a\xD6", 2, wide));  // a lead byte without its second byte

    AnsiCodePage = 65001;
    ASSERT_TRUE(AnsiToWide("\xF0\x9F\x98\x80", 4, wide));
    EXPECT_EQ(wide, u"\U0001F600");
    EXPECT_FALSE(AnsiToWide("\xC3(", 2, wide));
}

TEST_F(PlatformTest, UnknownCodePageIsNeverSilent) {
    AnsiCodePage = 12345;
    std::u16string wide;
    EXPECT_FALSE(AnsiToWide("ab", 2, wide));
    bool replaced = false;
    EXPECT_EQ(Narrow(u"ab\U0001F600", replaced), "???");
    EXPECT_TRUE(replaced);
}

// ---- Names ---------------------------------------------------------------

TEST_F(PlatformTest, Utf8NamesAreProperUtf8AndOtherBytesComeBackAsThemselves) {
    EXPECT_EQ(ToUtf8(u"a\u00E9\u4E2D\U0001F600"), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    EXPECT_EQ(FromUtf8("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"), u"a\u00E9\u4E2D\U0001F600");

    // Bytes that are not UTF-8 (a stray continuation, a cut sequence, an
    // overlong form, an encoded surrogate, beyond U+10FFFF, Latin-1) each
    // stand for themselves, and every byte string comes back exactly.
    EXPECT_EQ(FromUtf8("\x80"
                       "a"),
              u"\xDC80"
              "a");
    EXPECT_EQ(FromUtf8("\xE4\xB8"), u"\xDCE4\xDCB8");
    EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\xDCC0\xDCAF");
    for (const std::string& bytes : {std::string("\xF4\x90\x80\x80"), std::string("\xED\xB0\x81"),
                                     std::string("na\xEFve-\xFE.tbl"), std::string("\xC3\xA9\xC3")}) {
        EXPECT_EQ(ToUtf8(FromUtf8(bytes)), bytes);
    }
    std::mt19937 rng(3);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(rng() % 12, '\0');
        for (char& c : bytes) c = static_cast<char>(rng() % 2 ? 0x80 + rng() % 0x80 : 1 + rng() % 0xFF);
        ASSERT_EQ(ToUtf8(FromUtf8(bytes)), bytes) << round;
    }
    // Any other lone surrogate keeps its three-byte form.
    EXPECT_EQ(ToUtf8(std::u16string(u"x") + char16_t(0xDC01)), "x\xED\xB0\x81");
}

TEST_F(PlatformTest, FileNamesBeyondTheBasicPlane) {
    const std::u16string leaf = u"t\u00E9st\U0001F600.txt";
    const std::u16string name = JoinPath(dir.Path(), leaf);
    AtomicFileWriter w;
    ASSERT_TRUE(w.Open(name));
    ASSERT_TRUE(w.Write("ok", 2));
    ASSERT_TRUE(w.Commit());
    EXPECT_TRUE(FileExists(name));
    EXPECT_EQ(dir.List(), std::vector<std::u16string>{leaf});
#ifndef _WIN32
    // The name on disk is the four-byte sequence, not two surrogate halves.
    const auto entry = *fs::directory_iterator(dir.path());
    EXPECT_EQ(entry.path().filename().native(), "t\xC3\xA9st\xF0\x9F\x98\x80.txt");
#endif
    FileImage image;
    ASSERT_EQ(ReadWholeFile(name, 10, 0, image), ReadStatus::Ok);
    EXPECT_EQ(image.size, 2u);
}

TEST_F(PlatformTest, FilesInFolderListsRegularFilesSorted) {
    fs::create_directory(dir.path() / "sub");
    for (const char* leaf : {"b.json", "a.json", "\xC3\xA9.txt"}) {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(JoinPath(dir.Path(), FromUtf8(leaf))));
        ASSERT_TRUE(w.Commit());
    }
    EXPECT_EQ(FilesInFolder(dir.Path()), (std::vector<std::u16string>{u"a.json", u"b.json", u"\u00E9.txt"}));
    EXPECT_TRUE(FolderExists(JoinPath(dir.Path(), u"sub")));
    EXPECT_FALSE(FolderExists(JoinPath(dir.Path(), u"a.json")));
    EXPECT_TRUE(FilesInFolder(JoinPath(dir.Path(), u"missing")).empty());
}

TEST_F(PlatformTest, PathHelpers) {
#ifdef _WIN32
    EXPECT_EQ(DirectoryOf(u"C:\\a\\b.tbl"), u"C:\\a");
    EXPECT_EQ(DirectoryOf(u"C:/a/b.tbl"), u"C:/a");
    EXPECT_EQ(DirectoryOf(u"C:\\b.tbl"), u"C:\\");
    EXPECT_EQ(DirectoryOf(u"b.tbl"), u"");
    EXPECT_TRUE(IsAbsolutePath(u"C:\\x"));
    EXPECT_TRUE(IsAbsolutePath(u"\\\\server\\x"));
    EXPECT_TRUE(IsAbsolutePath(u"\\x"));
    EXPECT_FALSE(IsAbsolutePath(u"x\\y"));
    EXPECT_FALSE(IsAbsolutePath(u"C:x"));
    EXPECT_EQ(JoinPath(u"C:\\a", u"b"), u"C:\\a\\b");
    EXPECT_EQ(JoinPath(u"C:\\", u"b"), u"C:\\b");
#else
    EXPECT_EQ(DirectoryOf(u"/a/b/c.tbl"), u"/a/b");
    EXPECT_EQ(DirectoryOf(u"/c.tbl"), u"/");
    EXPECT_EQ(DirectoryOf(u"c.tbl"), u"");
    EXPECT_TRUE(IsAbsolutePath(u"/x"));
    EXPECT_FALSE(IsAbsolutePath(u"x/y"));
    EXPECT_EQ(JoinPath(u"/a", u"b"), u"/a/b");
    EXPECT_EQ(JoinPath(u"/", u"b"), u"/b");
    EXPECT_EQ(EffectiveCodePage(), 1252);

    char program[] = "prog";
    char first[] = "\xC3\xA9";
    char second[] = "-x";
    char* argv[] = {program, first, second, nullptr};
    EXPECT_EQ(CommandLineArguments(3, argv), (std::vector<std::u16string>{u"\u00E9", u"-x"}));
#endif
    EXPECT_EQ(JoinPath(u"", u"b"), u"b");
}

}  // namespace
