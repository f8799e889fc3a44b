// Copy values, copy time dialogs, update and translate through the sides.

#include <gtest/gtest.h>

#include "documents/CrossTableTools.h"
#include "platform/Platform.h"
#include "tests/DocumentTestUtil.h"
#include "tests/TestFiles.h"

using namespace vm;
using namespace vmtest;

namespace {
using Texts_ = std::vector<std::u16string>;
using FlagList = std::vector<std::int32_t>;
}  // namespace

TEST_F(DocumentsTest, CopyValuesPairsByKeyIntoTheTarget) {
    Fill(T1(), {{u"A", u"1"}, {u"X", u"2"}, {u"X", u"3"}, {u"B", u"4"}});
    Fill(T2(), {{u"A", u"0"}, {u"x", u"0"}, {u"B", u"4"}, {u"A", u"0"}});
    space.CurrentRow = 2;
    EXPECT_EQ(CopyValues(T2(), {}), 3u);
    EXPECT_EQ(Texts(*T2().Values), (Texts_{u"1", u"2", u"4", u"3"}));
    EXPECT_EQ(Flags(*T2().Values), (FlagList{2, 2, 0, 2}));  // the equal value stays plain
    EXPECT_TRUE(T2().Modified);
    EXPECT_FALSE(T1().Modified);
    EXPECT_EQ(view2.calls, (std::vector<std::string>{"redraw", "switch 2 -1"}));
}

TEST_F(DocumentsTest, CopyValuesWithNothingToChangeLeavesTheSideUnmodified) {
    Fill(T1(), {{u"A", u"1"}});
    Fill(T2(), {{u"A", u"1"}, {u"B", u"2"}});
    EXPECT_EQ(CopyValues(T2(), {}), 0u);
    EXPECT_FALSE(T2().Modified);
}

TEST(CopyTimeDialogValues, ReplacesExactlyTheNumberThatWasRead) {
    const struct {
        const char16_t* other;
        const char16_t* target;
        const char16_t* result;
    } cases[] = {
        {u"150Go", u"90Hi", u"150Hi"}, {u"150", u"+12x", u"150x"},
        {u"150", u"007x", u"150x"},    {u"7 sec", u"1234567 sec", u"7 sec"},
        {u"150", u"Hi", u"Hi"},        {u"150", u"-5x", u"-5x"},
        {u"150", u"0x", u"0x"},        {u"Go", u"90", u"90"},
        {u"-3", u"90", u"90"},         {u"", u"90", u"90"},
    };
    for (const auto& c : cases) {
        TableLists other, target;
        other.Append(u"k", c.other);
        target.Append(u"k", c.target);
        target.Values.SetFlag(0, 3);
        CopyTimeDialogValues(other.Values, target.Values);
        EXPECT_EQ(target.Values.Get(0), c.result) << "other " << platform::ToUtf8(c.other);
        EXPECT_EQ(target.Values.Flag(0), 3);
    }
}

TEST_F(DocumentsTest, CopyTimeDialogsGoesByRowAndReloadsTheEditors) {
    Fill(T1(), {{u"a", u"10 s"}, {u"b", u"20 s"}});
    Fill(T2(), {{u"z", u"1 s"}, {u"y", u"2 s"}, {u"w", u"3 s"}});  // row 2 has no partner
    space.CurrentRow = 1;
    EXPECT_EQ(CopyTimeDialogs(T2(), {}), 2u);
    EXPECT_EQ(Texts(*T2().Values), (Texts_{u"10 s", u"20 s", u"3 s"}));
    EXPECT_EQ(Flags(*T2().Values), (FlagList{0, 0, 0}));
    EXPECT_TRUE(T2().Modified);
    EXPECT_EQ(view2.calls, (std::vector<std::string>{"redraw", "switch 1 -1"}));
}

TEST_F(DocumentsTest, UpdateLooksTheFileUpAmongTheOtherTablesValues) {
    TempDir dir;
    ASSERT_TRUE(dir.Write("file.txt", "S\tE\nQ\tF\n"));
    Fill(T1(), {{u"t0", u"a"}, {u"t1", u"b"}});
    Fill(T2(), {});
    for (int i = 0; i < 8; ++i) T2().Values->Set(static_cast<std::size_t>(i), u"-");
    T2().Values->Set(7, u"S");
    T2().Values->Set(1, u"Q");
    space.ToolFileName = dir.Path(u"file.txt");

    EXPECT_EQ(UpdateFromFile(T1(), 2, ToolUpdate, options, {}), 2u);
    ASSERT_EQ(T1().Count(), 8u);  // grew to row 7
    EXPECT_EQ(T1().Values->Get(7), u"E");
    EXPECT_EQ(T1().Values->Flag(7), FlagChanged);
    EXPECT_EQ(T1().Values->Get(1), u"F");
    EXPECT_EQ(T1().Keys->Get(1), u"t1");  // keys never change
    EXPECT_EQ(T1().Values->Get(0), u"a");
    EXPECT_EQ(Texts(space.tool.Keys), (Texts_{u"S", u"Q"}));
    EXPECT_TRUE(T1().Modified);
    EXPECT_FALSE(T2().Modified);
}

TEST_F(DocumentsTest, TranslateMapsTheFileThroughTheOtherTable) {
    TempDir dir;
    ASSERT_TRUE(dir.Write("file.txt", "S\tT\nunused\tU\n"));
    Fill(T1(), {{u"K0", u"other"}, {u"K1", u"S"}});
    Fill(T2(), {{u"a", u"1"}, {u"b", u"2"}, {u"K1", u"old"}});
    space.ToolFileName = dir.Path(u"file.txt");

    EXPECT_EQ(UpdateFromFile(T2(), 2, ToolTranslate, options, {}), 1u);
    EXPECT_EQ(Texts(*T2().Values), (Texts_{u"1", u"2", u"T"}));
    EXPECT_EQ(T2().Values->Flag(2), FlagChanged);
    EXPECT_EQ(Texts(space.tool.Keys), (Texts_{u"K1", u"unused"}));
}

TEST_F(DocumentsTest, TranslateFixesTheFilesRepeatKeysBeforeRenamingThem) {
    // The file's second entry stands for key "A" by the repeat rule. Its
    // first key is rewritten to "K1" in the first pass; the second must
    // still count as "A" and so pair with the second "A" of Table 1.
    TempDir dir;
    ASSERT_TRUE(dir.Write("file.txt", "A\tfirst\nX\tsecond\n"));
    Fill(T1(), {{u"K1", u"A"}, {u"K2", u"A"}});
    Fill(T2(), {{u"K2", u""}, {u"K1", u""}});
    space.ToolFileName = dir.Path(u"file.txt");

    UpdateFromFile(T2(), 2, ToolTranslate, options, {});
    EXPECT_EQ(Texts(space.tool.Keys), (Texts_{u"K1", u"K2"}));
    EXPECT_EQ(Texts(*T2().Values), (Texts_{u"second", u"first"}));
}

TEST_F(DocumentsTest, UnreadableToolFileReportsOnceAndUsesWhatWasRead) {
    TempDir dir;
    ASSERT_TRUE(dir.Write("file.txt", "\xEF\xBB\xBFS\tE\nbad\t\xFF\n"));  // UTF-8 mark, then a bad byte
    Fill(T1(), {{u"t", u"a"}});
    Fill(T2(), {{u"o", u"S"}});
    space.ToolFileName = dir.Path(u"file.txt");
    EXPECT_EQ(UpdateFromFile(T1(), 2, ToolUpdate, options, {}), 1u);
    EXPECT_EQ(T1().Values->Get(0), u"E");
    EXPECT_EQ(view1.messages, std::vector<std::u16string>{sErrorReadFile + u"\n" + space.ToolFileName});

    space.ToolFileName = dir.Path(u"missing.tbl");
    view1.calls.clear();
    EXPECT_EQ(UpdateFromFile(T1(), 1, ToolUpdate, options, {}), 0u);
    EXPECT_TRUE(space.tool.Keys.Empty());
    EXPECT_EQ(view1.messages.size(), 2u);
    EXPECT_EQ(view1.calls, (std::vector<std::string>{"redraw", "switch -1 -1"}));
}
