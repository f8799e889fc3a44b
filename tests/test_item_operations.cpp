// Insert, clear, delete and move: entries keep their flags, the table grows
// where the rules say, and the modified state follows real changes only.

#include <gtest/gtest.h>

#include "documents/ItemOperations.h"
#include "tests/DocumentTestUtil.h"

using namespace vm;
using namespace vmtest;

namespace {

// Entries "0".."n-1" as keys and "v0".. as values; entry 3 changed (green)
// and entry 4 marked.
void Numbered(TTblObjects& p, std::size_t n) {
    Fill(p, {});
    for (std::size_t i = 0; i < n; ++i) {
        const std::u16string s(1, static_cast<char16_t>(u'0' + i));
        p.Keys->Append(s);
        p.Values->Append(u"v" + s);
    }
    if (n > 3) p.Values->SetFlag(3, FlagChanged);
    if (n > 4) p.Keys->SetFlag(4, FlagMarkBit);
}

using Texts_ = std::vector<std::u16string>;
using FlagList = std::vector<std::int32_t>;

}  // namespace

TEST_F(DocumentsTest, InsertMovesLaterEntriesDownWithTheirFlags) {
    Numbered(T1(), 5);
    InsertEntries(T1(), 2, 3);
    EXPECT_EQ(Texts(*T1().Keys), (Texts_{u"0", u"1", u"", u"", u"2", u"3", u"4"}));
    EXPECT_EQ(Texts(*T1().Values), (Texts_{u"v0", u"v1", u"", u"", u"v2", u"v3", u"v4"}));
    EXPECT_EQ(Flags(*T1().Values), (FlagList{0, 0, 0, 0, 0, 2, 0}));
    EXPECT_EQ(Flags(*T1().Keys), (FlagList{0, 0, 0, 0, 0, 0, 1}));
    EXPECT_TRUE(T1().Modified);
    EXPECT_EQ(view1.calls, std::vector<std::string>{"switch 2 -1"});
    EXPECT_TRUE(T2().Keys->Empty());
}

TEST_F(DocumentsTest, InsertBeyondTheEndGrowsFirst) {
    Numbered(T1(), 5);
    InsertEntries(T1(), 8, 8);
    EXPECT_EQ(T1().Count(), 9u);
    EXPECT_EQ(T1().Values->Count(), 9u);
    EXPECT_EQ(Texts(*T1().Keys), (Texts_{u"0", u"1", u"2", u"3", u"4", u"", u"", u"", u""}));
}

TEST_F(DocumentsTest, EmptyOrNegativeRangesChangeNothingButStillLoadTheEditors) {
    Numbered(T1(), 3);
    InsertEntries(T1(), 2, 1);
    ClearEntries(T1(), 2, 1);
    DeleteEntries(T1(), 3, 5);  // beyond the end
    DeleteEntries(T1(), -1, 0);
    InsertEntries(T1(), -2, 0);
    MoveEntry(T1(), 2, 3);
    MoveEntry(T1(), -1, 0);
    EXPECT_EQ(Texts(*T1().Keys), (Texts_{u"0", u"1", u"2"}));
    EXPECT_FALSE(T1().Modified);
    EXPECT_EQ(view1.calls, (std::vector<std::string>{"switch 2 -1", "redraw", "switch 2 -1", "switch 3 -1",
                                                     "switch -1 -1", "switch -2 -1"}));
}

TEST_F(DocumentsTest, ClearKeepsFlagsAndCountsOnlyRealChanges) {
    Numbered(T1(), 5);
    ClearEntries(T1(), 3, 3);
    EXPECT_EQ(T1().Keys->Get(3), u"");
    EXPECT_EQ(T1().Values->Get(3), u"");
    EXPECT_EQ(T1().Values->Flag(3), FlagChanged);  // still green
    EXPECT_TRUE(T1().Modified);
    EXPECT_EQ(view1.calls, (std::vector<std::string>{"redraw", "switch 3 -1"}));

    T1().Modified = false;
    ClearEntries(T1(), 3, 3);  // already empty
    EXPECT_FALSE(T1().Modified);
}

TEST_F(DocumentsTest, ClearBelowTheEndLengthensTheTable) {
    Numbered(T1(), 4);
    ClearEntries(T1(), 6, 6);
    EXPECT_EQ(T1().Count(), 7u);
    EXPECT_EQ(T1().Values->Count(), 7u);
    EXPECT_EQ(T1().Keys->Get(3), u"3");
    EXPECT_TRUE(T1().Modified);
}

TEST_F(DocumentsTest, DeleteRemovesEntriesWithTheirFlags) {
    Numbered(T1(), 6);
    DeleteEntries(T1(), 1, 2);
    EXPECT_EQ(Texts(*T1().Keys), (Texts_{u"0", u"3", u"4", u"5"}));
    EXPECT_EQ(Flags(*T1().Values), (FlagList{0, 2, 0, 0}));
    EXPECT_EQ(Flags(*T1().Keys), (FlagList{0, 0, 1, 0}));

    DeleteEntries(T1(), 2, 100);  // clipped to the end
    EXPECT_EQ(Texts(*T1().Values), (Texts_{u"v0", u"v3"}));
    EXPECT_EQ(view1.calls.back(), "switch 2 -1");
}

TEST_F(DocumentsTest, MoveCarriesKeyValueAndBothFlags) {
    Numbered(T1(), 6);
    MoveEntry(T1(), 4, 3);
    EXPECT_EQ(Texts(*T1().Keys), (Texts_{u"0", u"1", u"2", u"4", u"3", u"5"}));
    EXPECT_EQ(Flags(*T1().Keys), (FlagList{0, 0, 0, 1, 0, 0}));
    EXPECT_EQ(Flags(*T1().Values), (FlagList{0, 0, 0, 0, 2, 0}));
    EXPECT_TRUE(view1.calls.empty());

    MoveEntry(T1(), 0, 5);  // across the whole table
    EXPECT_EQ(Texts(*T1().Values), (Texts_{u"v1", u"v2", u"v4", u"v3", u"v5", u"v0"}));
    MoveEntry(T1(), 5, 0);
    EXPECT_EQ(Texts(*T1().Values), (Texts_{u"v0", u"v1", u"v2", u"v4", u"v3", u"v5"}));
    EXPECT_TRUE(T1().Modified);
}

TEST_F(DocumentsTest, SidesShareTheirListsThroughTheOtherReferences) {
    EXPECT_EQ(T1().OtherKeys, T2().Keys);
    EXPECT_EQ(T2().OtherValues, T1().Values);
    EXPECT_EQ(T1().Other, &T2());
    T2().Values->Set(10, u"ten");
    EXPECT_EQ(T1().OtherKeys->Count(), 11u);  // keys grew with the values
    EXPECT_EQ(T1().OtherValues->Get(10), u"ten");
    EXPECT_EQ(T1().Keys->Get(5), u"");  // reading beyond the end
    EXPECT_TRUE(T1().Keys->Empty());
    EXPECT_EQ(RowCountOf(T1()), 12);
}

// The value editor shows the table's "\n" as a line break and gives back
// CR LF or a lone LF; a lone CR is dropped. Breaks are placed on both sides
// of the eight-unit blocks the conversion scans, and the text around them
// keeps wide units.
TEST(EditorTextTest, LineBreaksBecomeTheTablesEscapeWhereverTheyStand) {
    const std::vector<std::pair<std::u16string, std::u16string>> examples = {
        {u"", u""},
        {u"\r\n", u"\\n"},
        {u"\n\n", u"\\n\\n"},
        {u"a\rb\r", u"ab"},
        {u"\r\r\n", u"\\n"},
        {u"1234567\r\n89", u"1234567\\n89"},
        {u"12345678\n", u"12345678\\n"},
        {u"\u4e2d\u6587\u6587\u672c\u6587\u672c\u6587\u672c\r\n\u0420\u0443\u0441",
         u"\u4e2d\u6587\u6587\u672c\u6587\u672c\u6587\u672c\\n\u0420\u0443\u0441"},
    };
    for (const auto& [editor, value] : examples) {
        EXPECT_EQ(EditorTextToValue(editor), value);
        EXPECT_EQ(EditorTextToValue(ValueToEditorText(value)), value);
    }
    // Every placement of one break in a text of 40 units.
    for (std::size_t at = 0; at < 40; ++at) {
        std::u16string editor(40, u'x');
        editor.insert(at, u"\r\n");
        std::u16string value(40, u'x');
        value.insert(at, u"\\n");
        EXPECT_EQ(EditorTextToValue(editor), value) << at;
        editor.erase(at, 1);  // a lone LF
        EXPECT_EQ(EditorTextToValue(editor), value) << at;
    }
}
