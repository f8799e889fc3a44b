// Loading into a side, saving a side, and the question about unsaved
// changes, with the window replaced by a recording view.

#include <gtest/gtest.h>

#include <filesystem>

#include "documents/History.h"
#include "documents/ItemOperations.h"
#include "documents/TableFiles.h"
#include "platform/Platform.h"
#include "tests/DocumentTestUtil.h"
#include "tests/FormatTestUtil.h"
#include "tests/TestFiles.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
#ifdef __linux__
#include <sys/mount.h>
#include <unistd.h>
#endif

using namespace vm;
using namespace vmtest;

namespace {

using Calls = std::vector<std::string>;

Entries Numbered(std::size_t count, const std::u16string& prefix = u"k") {
    Entries entries;
    for (std::size_t i = 0; i < count; ++i) {
        const auto n = std::to_string(i);
        entries.emplace_back(prefix + std::u16string(n.begin(), n.end()), u"v" + std::u16string(n.begin(), n.end()));
    }
    return entries;
}

void WriteTbl(const TempDir& dir, const char* name, const Entries& entries) {
    const Bytes image = TblImage(entries);
    ASSERT_TRUE(dir.Write(name, std::string(image.begin(), image.end())));
}

Entries EntriesOf(const TTblObjects& p) {
    Entries out;
    for (std::size_t i = 0; i < p.Count(); ++i) out.emplace_back(p.Keys->Get(i), p.Values->Get(i));
    return out;
}

void MarkAll(TTblObjects& p, std::int32_t keyFlag, std::int32_t valueFlag) {
    for (std::size_t i = 0; i < p.Count(); ++i) {
        p.Keys->SetFlag(i, keyFlag);
        p.Values->SetFlag(i, valueFlag);
    }
    p.Modified = true;
}

bool FailEveryWrite(std::uint64_t, std::size_t) { return false; }

}  // namespace

// ---- Loading ---------------------------------------------------------------

TEST_F(DocumentsTest, LoadSetsRowsOfBothViewsSelectsRowZeroAndEnablesSave) {
    TempDir dir;
    WriteTbl(dir, "five.tbl", Numbered(5));
    Fill(T2(), Numbered(8, u"o"));
    T1().FileName = dir.Path(u"five.tbl");
    T1().Modified = true;

    EXPECT_TRUE(LoadTable(T1(), FormatTbl, options));
    EXPECT_EQ(EntriesOf(T1()), Numbered(5));
    EXPECT_EQ(Flags(*T1().Keys), std::vector<std::int32_t>(5, 0));
    EXPECT_FALSE(T1().Modified);
    EXPECT_EQ(space.CurrentRow, 0);
    EXPECT_EQ(view1.calls, (Calls{"rows 9", "width 9", "select 0", "switch 0 -1", "enable save"}));
    EXPECT_EQ(view2.calls, (Calls{"rows 9"}));
    EXPECT_TRUE(view1.messages.empty());
}

TEST_F(DocumentsTest, LoadKeepsCurrentRowOnlyWhileItNamesARow) {
    TempDir dir;
    WriteTbl(dir, "nine.tbl", Numbered(9));
    WriteTbl(dir, "ten.tbl", Numbered(10));
    T1().FileName = dir.Path(u"nine.tbl");  // 10 rows: row 10 is gone
    space.CurrentRow = 10;
    LoadTable(T1(), FormatTbl, options);
    EXPECT_EQ(space.CurrentRow, 0);

    T1().FileName = dir.Path(u"ten.tbl");  // 11 rows
    space.CurrentRow = 10;
    view1.calls.clear();
    LoadTable(T1(), FormatTbl, options);
    EXPECT_EQ(space.CurrentRow, 10);
    EXPECT_EQ(view1.calls, (Calls{"rows 11", "width 11", "switch 10 -1", "enable save"}));
}

TEST_F(DocumentsTest, FailedReadKeepsEntriesBeforeTheFailureAndTheNameAndReportsOnce) {
    TempDir dir;
    // Explicit UTF-8 with a broken sequence on the fourth line.
    ASSERT_TRUE(dir.Write("broken.txt", "a\t1\nb\t2\nc\t3\nd\t\xC3(\ne\t5\n"));
    T1().FileName = dir.Path(u"broken.txt");
    options.text.readEncoding = static_cast<TextEncoding>(1);

    EXPECT_FALSE(LoadTable(T1(), FormatTabbedText, options));
    EXPECT_EQ(EntriesOf(T1()), (Entries{{u"a", u"1"}, {u"b", u"2"}, {u"c", u"3"}}));
    EXPECT_EQ(T1().FileName, dir.Path(u"broken.txt"));
    EXPECT_EQ(view1.messages, std::vector<std::u16string>{sErrorReadFile + u"\n" + dir.Path(u"broken.txt")});
    EXPECT_EQ(view1.calls.back(), "enable save");
}

TEST_F(DocumentsTest, MissingFileEmptiesTheTableAndShowsTheReadError) {
    Fill(T1(), Numbered(3));
    T1().FileName = u"/nonexistent/dir/none.tbl";
    EXPECT_FALSE(LoadTable(T1(), FormatTbl, options));
    EXPECT_EQ(T1().Count(), 0u);
    EXPECT_EQ(view1.messages.size(), 1u);
    EXPECT_EQ(view1.messages[0],
              u"Error read data from file. Input file is corrupt or unknown format\n/nonexistent/dir/none.tbl");
}

// A file past the size limit is no corrupt file: the message says what
// stopped the read, and the table is left as a failed read leaves it.
TEST_F(DocumentsTest, AFileLargerThanTheLimitIsReportedAsSuch) {
    TempDir dir;
    WriteTbl(dir, "big.tbl", Numbered(40));
    ASSERT_TRUE(dir.Write("big.txt", "a\t1\nb\t2\nc\t3\n"));
    for (const auto& [name, format] : {std::pair{u"big.tbl", FormatTbl}, std::pair{u"big.txt", FormatTabbedText}}) {
        view1.messages.clear();
        T1().FileName = dir.Path(name);
        options.limits.maxFileSize = std::filesystem::file_size(std::filesystem::path(T1().FileName)) - 1;
        Fill(T1(), Numbered(3));
        T1().Modified = true;
        EXPECT_FALSE(LoadTable(T1(), format, options));
        EXPECT_TRUE(T1().Modified);
        const std::string limit = std::to_string(options.limits.maxFileSize);
        EXPECT_EQ(view1.messages,
                  std::vector<std::u16string>{u"The file is larger than the limit of " +
                                              std::u16string(limit.begin(), limit.end()) +
                                              u" bytes and was not read (settings key MaxFileSize)\n" + T1().FileName});
        options.limits.maxFileSize += 1;  // at the limit it reads
        EXPECT_TRUE(LoadTable(T1(), format, options));
    }
}

TEST_F(DocumentsTest, AFailedLoadKeepsTheUnsavedStateAndAGoodOneClearsIt) {
    TempDir dir;
    WriteTbl(dir, "good.tbl", Numbered(2));
    for (const bool modified : {true, false}) {
        Fill(T1(), Numbered(3));
        T1().Modified = modified;
        T1().FileName = dir.Path(u"missing.tbl");
        EXPECT_FALSE(LoadTable(T1(), FormatTbl, options));
        EXPECT_EQ(T1().Modified, modified);
    }
    T1().Modified = true;
    T1().FileName = dir.Path(u"good.tbl");
    EXPECT_TRUE(LoadTable(T1(), FormatTbl, options));
    EXPECT_FALSE(T1().Modified);
}

TEST_F(DocumentsTest, AReadThatSkippedSomethingSaysWhatInOneMessage) {
    TempDir dir;
    ASSERT_TRUE(dir.Write("mod/main.txt", "a\t1\r\n#\"missing.txt\"\r\n#\"self.txt\"\r\n"));
    ASSERT_TRUE(dir.Write("mod/self.txt", "s\tv\r\n#\"self.txt\"\r\n"));
    T1().FileName = dir.Path(u"mod/main.txt");
    EXPECT_TRUE(LoadTable(T1(), FormatTabbedText, options));
    EXPECT_EQ(T1().Count(), 9u);
    EXPECT_EQ(view1.messages,
              std::vector<std::u16string>{u"The table was read, but not everything in the file came through exactly:\n"
                                          u"1 include lines name no file that can be read (first: missing.txt)\n"
                                          u"1 include lines are nested too deep and were skipped (first: self.txt)\n" +
                                          dir.Path(u"mod/main.txt")});

    // A .tbl value that goes on past its stored length of two characters.
    Bytes image = TblImage({{u"k", u"value"}});
    image[21 + 2 + 17 * image[21] + 15] = 2;
    ASSERT_TRUE(dir.Write("mod/short.tbl", std::string(image.begin(), image.end())));
    T1().FileName = dir.Path(u"mod/short.tbl");
    view1.messages.clear();
    EXPECT_TRUE(LoadTable(T1(), FormatTbl, options));
    EXPECT_EQ(EntriesOf(T1()), (Entries{{u"k", u"va"}}));
    EXPECT_EQ(view1.messages, std::vector<std::u16string>{
                                  u"The table was read, but not everything in the file came through exactly:\n"
                                  u"1 values go on past their stored length; they were read, and are written back, "
                                  u"up to it (first: row 1)\n" +
                                  dir.Path(u"mod/short.tbl")});

    // An include that leads out of the folder fails the read and is named.
    ASSERT_TRUE(dir.Write("secret.txt", "s\tv\r\n"));
    ASSERT_TRUE(dir.Write("mod/evil.txt", "a\t1\r\n#\"../secret.txt\"\r\n"));
    T1().FileName = dir.Path(u"mod/evil.txt");
    view1.messages.clear();
    EXPECT_FALSE(LoadTable(T1(), FormatTabbedText, options));
    EXPECT_EQ(EntriesOf(T1()), (Entries{{u"a", u"1"}}));
    EXPECT_EQ(view1.messages,
              std::vector<std::u16string>{sErrorIncludeOutside + u"\n../secret.txt\n" + dir.Path(u"mod/evil.txt")});
}

TEST_F(DocumentsTest, UnchangedTblEntriesKeepTheirBytesThroughEditsUndoAndRedo) {
    // A literal backslash and "n", and carriage returns the reader drops
    // (one is a whole value, which then shows empty): written from their
    // text these would change.
    TempDir dir;
    const Bytes original =
        RawTblImage({{"a", "C:\\new"}, {"b", "one\r\ntwo"}, {"c", "plain"}, {"d", "x\\ny"}, {"e", "\r"}});
    const std::string originalBytes(original.begin(), original.end());
    ASSERT_TRUE(dir.Write("in.tbl", originalBytes));
    T1().FileName = dir.Path(u"in.tbl");
    ASSERT_TRUE(LoadTable(T1(), FormatTbl, options));
    EXPECT_EQ(T1().Values->Get(0), u"C:\\new");
    EXPECT_EQ(T1().Values->StoredCount(), 4u);

    T1().FileName = dir.Path(u"same.tbl");
    ASSERT_TRUE(SaveTable(T1(), FormatTbl, options));
    EXPECT_EQ(dir.Read("same.tbl"), originalBytes);

    // Entries changed by an edit, a paste (of the text it already shows)
    // and a clear are written from their text; the others keep their bytes
    // wherever a delete and a move take them.
    ASSERT_TRUE(ApplyEditedText(T1(), *T1().Values, 1, u"one\\ntwo changed"));
    PasteValue(T1(), 3, u"x\\ny");
    ClearEntries(T1(), 4, 4);
    DeleteEntries(T1(), 2, 2);
    MoveEntry(T1(), 0, 2);
    const Bytes changed = RawTblImage({{"b", "one\ntwo changed"}, {"d", "x\ny"}, {"a", "C:\\new"}, {"", ""}});
    const std::string changedBytes(changed.begin(), changed.end());
    ASSERT_TRUE(SaveTable(T1(), FormatTbl, options));
    EXPECT_EQ(dir.Read("same.tbl"), changedBytes);

    // Undone, every entry has its bytes back; redone, the changes again.
    while (Undo(T1())) {}
    EXPECT_EQ(T1().Values->StoredCount(), 4u);
    ASSERT_TRUE(SaveTable(T1(), FormatTbl, options));
    EXPECT_EQ(dir.Read("same.tbl"), originalBytes);
    while (Redo(T1())) {}
    ASSERT_TRUE(SaveTable(T1(), FormatTbl, options));
    EXPECT_EQ(dir.Read("same.tbl"), changedBytes);

    // A text file cannot hold kept bytes: the question says so (the
    // cleared entry's empty key is the second loss).
    T1().FileName = dir.Path(u"out.txt");
    view1.answer = AskAnswer::No;
    EXPECT_FALSE(SaveTable(T1(), FormatTabbedText, options));
    ASSERT_EQ(view1.questions.size(), 1u);
    EXPECT_EQ(view1.questions[0].substr(0, 90),
              u"2 entries cannot be stored exactly in this file (first: row 3, "
              u"key a: it holds text its di");
}

TEST_F(DocumentsTest, TextLoadUsesTheOpenEncodingChoice) {
    TempDir dir;
    // "é" in code page 1252; as UTF-8 this byte stops the decoding.
    ASSERT_TRUE(dir.Write("ansi.txt", "k\t\xE9\n"));
    T1().FileName = dir.Path(u"ansi.txt");
    options.text.readEncoding = static_cast<TextEncoding>(2);
    EXPECT_TRUE(LoadTable(T1(), FormatTabbedText, options));
    EXPECT_EQ(T1().Values->Get(0), u"\u00E9");
    options.text.readEncoding = static_cast<TextEncoding>(1);
    EXPECT_FALSE(LoadTable(T1(), FormatTabbedText, options));
}

TEST(FormatOfFileName, FollowsTheLastFullStop) {
    const struct {
        const char16_t* name;
        std::int32_t format;
    } cases[] = {
        {u"dir/a.tbl", 1}, {u"a.TBL", 1},     {u"a.TbL", 1},       {u"b.txt", 2}, {u"b.TxT", 2},
        {u"c.tbla", 0},    {u"c.text", 0},    {u"noextension", 0}, {u"", 0},      {u"d.tbl.bak", 0},
        {u"e.x.txt", 2},   {u"dir.tbl/f", 0}, {u".tbl", 1},        {u"f.tb", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatOfFileName(c.name), c.format) << platform::ToUtf8(c.name);
}

TEST_F(DocumentsTest, OpenByExtensionIgnoresUnknownNames) {
    TempDir dir;
    WriteTbl(dir, "t.TBL", Numbered(2));
    Fill(T1(), Numbered(4));
    T1().FileName = dir.Path(u"t.tbla");
    EXPECT_FALSE(OpenByExtension(T1(), options));
    EXPECT_EQ(T1().Count(), 4u);
    EXPECT_TRUE(view1.calls.empty());
    EXPECT_TRUE(view1.messages.empty());

    T1().FileName = dir.Path(u"t.TBL");
    EXPECT_TRUE(OpenByExtension(T1(), options));
    EXPECT_EQ(EntriesOf(T1()), Numbered(2));
}

// ---- Saving ----------------------------------------------------------------

TEST_F(DocumentsTest, SavedTextTableClearsEveryFlagAndTheModifiedState) {
    TempDir dir;
    Fill(T1(), {{u"a", u"1"}, {u"b", u"2"}, {u"c", u"3"}});
    MarkAll(T1(), 3, 2);
    T1().FileName = dir.Path(u"out.txt");
    options.text.writeEncoding = static_cast<TextEncoding>(1);

    EXPECT_TRUE(SaveTable(T1(), FormatTabbedText, options));
    EXPECT_EQ(dir.Read("out.txt"), "\xEF\xBB\xBFKey\tValue\r\na\t\"1\"\r\nb\t\"2\"\r\nc\t\"3\"\r\n");
    EXPECT_EQ(Flags(*T1().Keys), (std::vector<std::int32_t>{0, 0, 0}));
    EXPECT_EQ(Flags(*T1().Values), (std::vector<std::int32_t>{0, 0, 0}));
    EXPECT_FALSE(T1().Modified);
    EXPECT_TRUE(view1.messages.empty());
}

TEST_F(DocumentsTest, TblSaveReadsBackEntryForEntry) {
    TempDir dir;
    const Entries entries = {{u"A", u"\\red;one\\ntwo"}, {u"", u""}, {u"A", u"again"}};
    Fill(T1(), entries);
    T1().FileName = dir.Path(u"out.tbl");
    ASSERT_TRUE(SaveTable(T1(), FormatTbl, options));
    T2().FileName = T1().FileName;
    ASSERT_TRUE(LoadTable(T2(), FormatTbl, options));
    EXPECT_EQ(EntriesOf(T2()), entries);
}

TEST_F(DocumentsTest, FailedSavesReportAndKeepTableFlagsAndOldFile) {
    TempDir dir;
    ASSERT_TRUE(dir.Write("old.txt", "old contents"));
    ASSERT_TRUE(dir.Write("adir/inside", "x"));
    const struct {
        const char* what;
        std::u16string name;
        std::int32_t format;
        std::size_t entries;
        bool faultyDisk;
        const char16_t* cause;  // what the message says after its first line
    } cases[] = {
        {"missing directory", dir.Path(u"missing/out.tbl"), FormatTbl, 3, false, u"The folder does not exist.\n"},
        {"name is a directory", dir.Path(u"adir"), FormatTabbedText, 3, false, u"The name is a folder.\n"},
        {"empty name", u"", FormatTbl, 3, false, u"The name cannot be a file name.\n"},
        {"empty table as tbl", dir.Path(u"empty.tbl"), FormatTbl, 0, false, u"The table has no entries.\n"},
        {"empty table as text", dir.Path(u"empty.txt"), FormatDiabloText, 0, false, u"The table has no entries.\n"},
        {"70000 entries as tbl", dir.Path(u"big.tbl"), FormatTbl, 70000, false,
         u"A .tbl file holds at most 65535 entries.\n"},
        {"disk full, tbl", dir.Path(u"old.txt"), FormatTbl, 3, true, u"The disk is full.\n"},
        {"disk full, text", dir.Path(u"old.txt"), FormatTabbedText, 3, true, u"The disk is full.\n"},
        {"missing directory, json", dir.Path(u"missing/out.json"), FormatJson, 3, false,
         u"The folder does not exist.\n"},
        {"disk full, json", dir.Path(u"new.json"), FormatJson, 3, true, u"The disk is full.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fill(T1(), Numbered(c.entries));
        MarkAll(T1(), 2, 3);
        T1().FileName = c.name;
        view1.messages.clear();
        platform::SetWriteFaultHook(c.faultyDisk ? FailEveryWrite : nullptr);
        EXPECT_FALSE(SaveTable(T1(), c.format, options));
        platform::SetWriteFaultHook(nullptr);

        EXPECT_EQ(view1.messages, std::vector<std::u16string>{u"Error write data to file. The file was not changed\n" +
                                                              std::u16string(c.cause) + c.name});
        EXPECT_EQ(EntriesOf(T1()), Numbered(c.entries));
        EXPECT_EQ(Flags(*T1().Keys), std::vector<std::int32_t>(c.entries, 2));
        EXPECT_EQ(Flags(*T1().Values), std::vector<std::int32_t>(c.entries, 3));
        EXPECT_TRUE(T1().Modified);
        EXPECT_EQ(T1().FileName, c.name);
    }
    EXPECT_EQ(dir.Read("old.txt"), "old contents");
    EXPECT_EQ(dir.List(), (std::vector<std::u16string>{u"adir", u"old.txt"}));
    EXPECT_EQ(dir.List("adir"), std::vector<std::u16string>{u"inside"});
}

TEST_F(DocumentsTest, MoreThan65535EntriesSaveAsTextInOrder) {
    TempDir dir;
    Fill(T1(), Numbered(70000));
    T1().FileName = dir.Path(u"big.txt");
    ASSERT_TRUE(SaveTable(T1(), FormatTabbedText, options));
    T2().FileName = T1().FileName;
    ASSERT_TRUE(LoadTable(T2(), FormatTabbedText, options));
    ASSERT_EQ(T2().Count(), 70000u);
    EXPECT_EQ(T2().Keys->Get(65535), u"k65535");
    EXPECT_EQ(T2().Keys->Get(65536), u"k65536");
    EXPECT_EQ(T2().Values->Get(69999), u"v69999");
}

TEST_F(DocumentsTest, SaveTableAsGoesBackToTheOldNameOnFailure) {
    TempDir dir;
    Fill(T1(), Numbered(2));
    T1().FileName = dir.Path(u"first.tbl");
    EXPECT_FALSE(SaveTableAs(T1(), dir.Path(u"missing/second.tbl"), FormatTbl, options));
    EXPECT_EQ(T1().FileName, dir.Path(u"first.tbl"));
    EXPECT_TRUE(SaveTableAs(T1(), dir.Path(u"second.tbl"), FormatTbl, options));
    EXPECT_EQ(T1().FileName, dir.Path(u"second.tbl"));
}

// ---- Unsaved changes ------------------------------------------------------

TEST_F(DocumentsTest, UnmodifiedSideIsNeverAskedAbout) {
    EXPECT_TRUE(ConfirmDiscardChanges(T1()));
    EXPECT_TRUE(ConfirmEndProgram(space));
    EXPECT_TRUE(view1.questions.empty());
    EXPECT_TRUE(view2.questions.empty());
}

TEST_F(DocumentsTest, AnswersDecideWhetherTheActionGoesOn) {
    TempDir dir;
    const struct {
        AskAnswer answer;
        bool saves;
        bool goesOn;
        bool dialogShown;
    } cases[] = {
        {AskAnswer::No, false, true, false},
        {AskAnswer::Cancel, false, false, false},
        {AskAnswer::Yes, true, true, true},
        {AskAnswer::Yes, false, false, true},  // save dialog cancelled or save failed
    };
    for (const auto& c : cases) {
        Fill(T2(), Numbered(2));
        T2().Modified = true;
        view2.calls.clear();
        view2.questions.clear();
        view2.answer = c.answer;
        view2.onSave = [&] { return c.saves && SaveTableAs(T2(), dir.Path(u"saved.tbl"), FormatTbl, options); };
        EXPECT_EQ(ConfirmDiscardChanges(T2()), c.goesOn);
        EXPECT_EQ(view2.questions, std::vector<std::u16string>{u"Table 2 has unsaved changes. Save them first?"});
        EXPECT_EQ(!view2.calls.empty(), c.dialogShown);
        EXPECT_EQ(T2().Modified, !c.saves);
    }
}

TEST_F(DocumentsTest, EndOfProgramAsksSideOneThenSideTwo) {
    T1().Modified = true;
    T2().Modified = true;
    view1.answer = AskAnswer::No;
    view2.answer = AskAnswer::Cancel;
    EXPECT_FALSE(ConfirmEndProgram(space));
    EXPECT_EQ(view1.questions, std::vector<std::u16string>{u"Table 1 has unsaved changes. Save them first?"});
    EXPECT_EQ(view2.questions.size(), 1u);

    view1.answer = AskAnswer::Cancel;
    view2.questions.clear();
    EXPECT_FALSE(ConfirmEndProgram(space));
    EXPECT_TRUE(view2.questions.empty());  // stopped at side 1
}

// ---- Failing disks -----------------------------------------------------------

namespace {

std::uint64_t g_allowedBytes = 0;
std::size_t g_writes = 0;
// Lets writes through until the given number of bytes has been written.
bool FailAfterAllowedBytes(std::uint64_t writtenSoFar, std::size_t count) {
    ++g_writes;
    return writtenSoFar + count <= g_allowedBytes;
}

}  // namespace

TEST_F(DocumentsTest, SavesToLockedTargetsOrThroughFailingWritesChangeNothing) {
    // Every writer, every way a save can fail after the writer started:
    // reported, the old file byte for byte as it was, no temporary file
    // left, the table and its flags untouched.
    const std::string old(3000, 'o');
    enum Fault { ReadOnlyFile, ReadOnlyDirectory, FirstWriteFails, FailsHalfWay };
    const struct {
        const char* what;
        Fault fault;
    } faults[] = {
        {"read-only file", ReadOnlyFile},
        {"read-only directory, disk full", ReadOnlyDirectory},
        {"disk full at once", FirstWriteFails},
        {"disk full half way", FailsHalfWay},
    };
    const struct {
        std::int32_t format;
        int encoding;
    } writers[] = {{FormatTbl, 0}, {FormatTabbedText, 0}, {FormatTabbedText, 1}, {FormatDiabloText, 2}};
    const Entries small = Numbered(3);
    // Enough text (about 2 MB) for the text writers to write in pieces;
    // the second piece goes beyond what the disk takes.
    const Entries big = Numbered(60000, u"a-rather-long-key-");

    for (const auto& f : faults) {
        for (const auto& w : writers) {
            SCOPED_TRACE(std::string(f.what) + ", format " + std::to_string(w.format) + ", encoding " +
                         std::to_string(w.encoding));
#ifdef _WIN32
            // A read-only folder does not stop new files on Windows.
            if (f.fault == ReadOnlyDirectory) continue;
#endif
            // A .tbl is written in one piece: it fails at once or not at all.
            if (f.fault == FailsHalfWay && w.format == FormatTbl) continue;
            const Entries& entries = f.fault == FailsHalfWay ? big : small;
            TempDir dir;
            ASSERT_TRUE(dir.Write("sub/table", old));
            const std::filesystem::path file = dir.path() / "sub" / "table";
            if (f.fault == ReadOnlyFile) std::filesystem::permissions(file, std::filesystem::perms::owner_read);
            if (f.fault == ReadOnlyDirectory)
                std::filesystem::permissions(dir.path() / "sub",
                                             std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
            g_allowedBytes = f.fault == FailsHalfWay ? 3u << 19 : 0;
            // In a read-only folder the file is rewritten in place; the
            // disk fills up before the old bytes are touched.
            const bool hook = f.fault != ReadOnlyFile;
            platform::SetWriteFaultHook(hook ? FailAfterAllowedBytes : nullptr);

            Fill(T1(), entries);
            MarkAll(T1(), 3, 2);
            T1().FileName = file.u16string();
            options.text.writeEncoding = static_cast<TextEncoding>(w.encoding);
            view1.messages.clear();
            g_writes = 0;
            const bool saved = SaveTable(T1(), w.format, options);
            if (f.fault == FailsHalfWay) {
                EXPECT_GE(g_writes, 2u);  // a piece was written before
            }
            platform::SetWriteFaultHook(nullptr);
            std::filesystem::permissions(dir.path() / "sub", std::filesystem::perms::owner_all);

            EXPECT_FALSE(saved);
            EXPECT_EQ(view1.messages.size(), 1u);
            EXPECT_EQ(dir.Read("sub/table"), old);
            EXPECT_EQ(dir.List("sub"), std::vector<std::u16string>{u"table"});
            EXPECT_EQ(EntriesOf(T1()), entries);
            EXPECT_EQ(Flags(*T1().Keys), std::vector<std::int32_t>(entries.size(), 3));
            EXPECT_EQ(Flags(*T1().Values), std::vector<std::int32_t>(entries.size(), 2));
            EXPECT_TRUE(T1().Modified);
        }
    }
}

#ifdef __linux__
TEST_F(DocumentsTest, SavesOnARealFullDiskChangeNothing) {
    // A 64 KiB tmpfs fills up while the temporary file is written: the
    // write itself fails, not an injected one.
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small disk needs root";
    TempDir dir;
    const std::filesystem::path disk = dir.path() / "disk";
    std::filesystem::create_directory(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        const std::filesystem::path& path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk};

    const std::string old(3000, 'o');
    ASSERT_TRUE(dir.Write("disk/table", old));
    const Entries entries = Numbered(6000);  // 70 KB and more in every format
    const struct {
        std::int32_t format;
        int encoding;
    } writers[] = {{FormatTbl, 0}, {FormatTabbedText, 0}, {FormatTabbedText, 1}, {FormatDiabloText, 2}};
    for (const auto& w : writers) {
        SCOPED_TRACE("format " + std::to_string(w.format) + ", encoding " + std::to_string(w.encoding));
        Fill(T1(), entries);
        MarkAll(T1(), 2, 2);
        T1().FileName = (disk / "table").u16string();
        options.text.writeEncoding = static_cast<TextEncoding>(w.encoding);
        EXPECT_FALSE(SaveTable(T1(), w.format, options));
        EXPECT_EQ(dir.Read("disk/table"), old);
        EXPECT_EQ(dir.List("disk"), std::vector<std::u16string>{u"table"});
        EXPECT_EQ(Flags(*T1().Keys), std::vector<std::int32_t>(entries.size(), 2));
        EXPECT_TRUE(T1().Modified);
    }
    // Rewritten in place (the folder takes no new file), the full disk
    // shows before a byte of the old file changes.
    std::filesystem::permissions(disk, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    for (const auto& w : writers) {
        SCOPED_TRACE("in place, format " + std::to_string(w.format));
        Fill(T1(), entries);
        options.text.writeEncoding = static_cast<TextEncoding>(w.encoding);
        view1.messages.clear();
        EXPECT_FALSE(SaveTable(T1(), w.format, options));
        EXPECT_EQ(dir.Read("disk/table"), old);
        ASSERT_EQ(view1.messages.size(), 1u);
        EXPECT_NE(view1.messages[0].find(u"\nThe disk is full.\n"), std::u16string::npos);
    }
    std::filesystem::permissions(disk, std::filesystem::perms::owner_all);

    // With room enough the same save goes through.
    Fill(T1(), Numbered(3));
    EXPECT_TRUE(SaveTable(T1(), FormatTbl, options));
}
#endif

TEST_F(DocumentsTest, AFileInAFolderThatTakesNoNewFileIsRewrittenInPlace) {
#ifdef _WIN32
    GTEST_SKIP() << "a read-only folder takes new files on Windows";
#else
    TempDir dir;
    ASSERT_TRUE(dir.Write("sub/table.tbl", std::string(5000, 'o')));
    // A second name for the same file, and a mode of its own: both stay.
    std::filesystem::create_hard_link(dir.path() / "sub" / "table.tbl", dir.path() / "link.tbl");
    std::filesystem::permissions(dir.path() / "sub" / "table.tbl", std::filesystem::perms::owner_read |
                                                                       std::filesystem::perms::owner_write |
                                                                       std::filesystem::perms::group_read);
    std::filesystem::permissions(dir.path() / "sub",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    Fill(T1(), Numbered(3));
    MarkAll(T1(), 2, 2);
    T1().FileName = dir.Path(u"sub/table.tbl");
    EXPECT_TRUE(SaveTable(T1(), FormatTbl, options));
    EXPECT_TRUE(view1.messages.empty());
    const Bytes image = TblImage(Numbered(3));
    EXPECT_EQ(dir.Read("sub/table.tbl"), std::string(image.begin(), image.end()));
    EXPECT_EQ(dir.Read("link.tbl"), dir.Read("sub/table.tbl"));
    EXPECT_EQ(dir.List("sub"), std::vector<std::u16string>{u"table.tbl"});
    EXPECT_EQ(
        std::filesystem::status(dir.path() / "sub" / "table.tbl").permissions(),
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read);
    EXPECT_FALSE(T1().Modified);

    // A new file cannot be made there: the cause is named.
    T1().FileName = dir.Path(u"sub/new.tbl");
    EXPECT_FALSE(SaveTable(T1(), FormatTbl, options));
    ASSERT_EQ(view1.messages.size(), 1u);
    EXPECT_EQ(view1.messages[0], sErrorWriteFile + u"\nPermission denied.\n" + dir.Path(u"sub/new.tbl"));
    std::filesystem::permissions(dir.path() / "sub", std::filesystem::perms::owner_all);
#endif
}

TEST_F(DocumentsTest, TextThatCannotHoldEveryEntryIsSavedOnlyAfterYes) {
    TempDir dir;
    ASSERT_TRUE(dir.Write("out.txt", "old"));
    Fill(T1(), {{u"k", u"say \"hi\""}, {u"", u"v"}, {u"fine", u"ok"}});
    MarkAll(T1(), 2, 2);
    T1().FileName = dir.Path(u"out.txt");
    options.text.writeEncoding = static_cast<TextEncoding>(1);

    view1.answer = AskAnswer::No;
    EXPECT_FALSE(SaveTable(T1(), FormatTabbedText, options));
    EXPECT_EQ(view1.questions, std::vector<std::u16string>{u"2 entries cannot be stored exactly in this file "
                                                           u"(first: row 1, key k: the value holds a double quote). "
                                                           u"Save anyway?"});
    EXPECT_TRUE(view1.messages.empty());
    EXPECT_EQ(dir.Read("out.txt"), "old");
    EXPECT_EQ(Flags(*T1().Values), std::vector<std::int32_t>(3, 2));
    EXPECT_TRUE(T1().Modified);

    view1.answer = AskAnswer::Yes;
    EXPECT_TRUE(SaveTable(T1(), FormatTabbedText, options));
    EXPECT_EQ(view1.questions.size(), 2u);
    EXPECT_EQ(dir.Read("out.txt"), "\xEF\xBB\xBFKey\tValue\r\nk\t\"say \"hi\"\"\r\n\t\"v\"\r\nfine\t\"ok\"\r\n");
    EXPECT_FALSE(T1().Modified);

    // A table the file holds exactly asks nothing; a .tbl asks only about
    // keys or values longer than it holds, and Yes saves them cut.
    Fill(T1(), {{u"a", u"b"}});
    EXPECT_TRUE(SaveTable(T1(), FormatDiabloText, options));
    Fill(T1(), {{u"k", u"say \"hi\""}});
    T1().FileName = dir.Path(u"out.tbl");
    EXPECT_TRUE(SaveTable(T1(), FormatTbl, options));
    EXPECT_EQ(view1.questions.size(), 2u);
    const std::string saved = dir.Read("out.tbl");
    Fill(T1(), {{u"k", u"ok"}, {u"long", std::u16string(70000, u'v')}});
    T1().Modified = true;
    view1.answer = AskAnswer::No;
    EXPECT_FALSE(SaveTable(T1(), FormatTbl, options));
    ASSERT_EQ(view1.questions.size(), 3u);
    EXPECT_EQ(view1.questions.back(),
              u"1 entries cannot be stored exactly in this file (first: row 2, key long: it is "
              u"longer than the 65535 bytes a .tbl file holds). Save anyway?");
    EXPECT_TRUE(view1.messages.empty());
    EXPECT_EQ(dir.Read("out.tbl"), saved);
    EXPECT_TRUE(T1().Modified);
    view1.answer = AskAnswer::Yes;
    EXPECT_TRUE(SaveTable(T1(), FormatTbl, options));
    T2().FileName = T1().FileName;
    ASSERT_TRUE(LoadTable(T2(), FormatTbl, options));
    EXPECT_EQ(EntriesOf(T2()), (Entries{{u"k", u"ok"}, {u"long", std::u16string(65535, u'v')}}));
}

// ---- Leaks -------------------------------------------------------------------

TEST_F(DocumentsTest, RepeatedLoadsAndSavesLeakNothing) {
    // Good and failing loads and saves of every format, many times over;
    // LeakSanitizer then looks for anything left unreleased.
    TempDir dir;
    ASSERT_TRUE(dir.Write("broken.txt", "a\t1\nb\t\xC3(\n"));
    ASSERT_TRUE(dir.Write("loop.txt", "l\tv\r\n#\"loop.txt\"\r\n#\"loop.txt\"\r\n"));
    ASSERT_TRUE(dir.Write("bad.tbl", std::string(100, '\xFF')));
    const Entries entries = {{u"k", u"\\red;v\\n"}, {u"\u00E9", u"\u4E2D"}, {u"k", u""}};
    const std::u16string reads[] = {u"t.tbl",    u"t.txt",   u"d.txt",      u"broken.txt",
                                    u"loop.txt", u"bad.tbl", u"missing.txt"};
    view1.answer = AskAnswer::Yes;  // the ANSI rounds cannot hold every character
    for (int round = 0; round < 20; ++round) {
        Fill(T1(), entries);
        options.text.writeEncoding = static_cast<TextEncoding>(round % 3);
        T1().FileName = dir.Path(u"t.tbl");
        EXPECT_TRUE(SaveTable(T1(), FormatTbl, options));
        T1().FileName = dir.Path(u"t.txt");
        EXPECT_TRUE(SaveTable(T1(), FormatTabbedText, options));
        T1().FileName = dir.Path(u"d.txt");
        EXPECT_TRUE(SaveTable(T1(), FormatDiabloText, options));
        T1().FileName = dir.Path(u"missing/x.txt");
        EXPECT_FALSE(SaveTable(T1(), FormatTabbedText, options));
        platform::SetWriteFaultHook(FailEveryWrite);
        T1().FileName = dir.Path(u"t.tbl");
        EXPECT_FALSE(SaveTable(T1(), FormatTbl, options));
        platform::SetWriteFaultHook(nullptr);
        for (const auto& name : reads) {
            T2().FileName = dir.Path(name);
            OpenByExtension(T2(), options);
        }
    }
    T2().FileName = dir.Path(u"t.txt");
    EXPECT_TRUE(LoadTable(T2(), FormatTabbedText, options));
    EXPECT_EQ(EntriesOf(T2()), entries);
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}
