// Whole sessions over both sides: load, edit, rearrange, use the tools,
// save, reload and compare.

#include <gtest/gtest.h>

#include "documents/CrossTableTools.h"
#include "documents/ItemOperations.h"
#include "documents/TableFiles.h"
#include "platform/Platform.h"
#include "tests/DocumentTestUtil.h"
#include "tests/FormatTestUtil.h"
#include "tests/TestFiles.h"

using namespace vm;
using namespace vmtest;

namespace {

std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

Entries EntriesOf(const TTblObjects& p) {
    Entries out;
    for (std::size_t i = 0; i < p.Count(); ++i) out.emplace_back(p.Keys->Get(i), p.Values->Get(i));
    return out;
}

// The editors' way of changing an entry.
void Edit(TTblObjects& p, std::size_t i, const std::u16string& value) {
    p.Values->Set(i, value);
    p.Values->SetFlag(i, FlagChanged);
    p.Modified = true;
}

}  // namespace

TEST_F(DocumentsTest, EditRearrangeTranslateSaveAndReload) {
    TempDir dir;
    // Table 1: an English .tbl; Table 2: a German UTF-16 text table with the
    // same keys in another order and a few missing.
    Entries english, german;
    for (int i = 0; i < 300; ++i) {
        english.emplace_back(U("key" + std::to_string(i)), U("\\gold;Item " + std::to_string(i)));
        if (i % 7 != 3) german.emplace_back(U("key" + std::to_string(299 - i)), U("Ding " + std::to_string(299 - i)));
    }
    english[10].first = u"X";  // a repeat key: shares key9's group
    const Bytes image = TblImage(english);
    ASSERT_TRUE(dir.Write("en.tbl", std::string(image.begin(), image.end())));
    std::string text = "\xFF\xFE";
    for (const auto& [k, v] : german)
        for (char16_t c : k + u"\t\"" + v + u"\"\r\n")
            text.append({static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)});
    ASSERT_TRUE(dir.Write("de.txt", text));

    T1().FileName = dir.Path(u"en.tbl");
    T2().FileName = dir.Path(u"de.txt");
    ASSERT_TRUE(OpenByExtension(T1(), options));
    ASSERT_TRUE(OpenByExtension(T2(), options));
    ASSERT_EQ(EntriesOf(T1()), english);
    ASSERT_EQ(EntriesOf(T2()).size(), german.size());
    EXPECT_EQ(view2.calls.front(), "rows 301");  // side 1 already held 300

    // Edit, insert, delete and move on side 1.
    Edit(T1(), 0, u"\\red;Edited");
    InsertEntries(T1(), 1, 2);
    T1().Keys->Set(1, u"fresh");
    T1().Values->Set(2, u"line one\\nline two");
    DeleteEntries(T1(), 5, 5);
    MoveEntry(T1(), 3, 4);
    EXPECT_TRUE(T1().Modified);

    // Copy side 1's values over side 2 by key, then translate side 2 by
    // way of a file keyed by side 1's texts.
    EXPECT_GT(CopyValues(T2(), {}), 200u);
    ASSERT_TRUE(dir.Write("glossary.txt",
                          "\xEF\xBB\xBF\\red;Edited\t\xC3\x9C"
                          "bersetzt\n"));
    space.ToolFileName = dir.Path(u"glossary.txt");
    EXPECT_EQ(UpdateFromFile(T2(), 2, ToolTranslate, options, {}), 1u);
    std::size_t key0 = 0;
    while (T2().Keys->Get(key0) != u"key0") ++key0;
    EXPECT_EQ(T2().Values->Get(key0), u"\u00DCbersetzt");
    EXPECT_EQ(T2().Values->Flag(key0), FlagChanged);

    // Save side 1 as .tbl and side 2 as DiabloII UTF-8 text; reload both.
    const Entries saved1 = EntriesOf(T1());
    const Entries saved2 = EntriesOf(T2());
    options.text.writeEncoding = static_cast<TextEncoding>(1);
    ASSERT_TRUE(SaveTableAs(T1(), dir.Path(u"out1.tbl"), FormatTbl, options));
    ASSERT_TRUE(SaveTableAs(T2(), dir.Path(u"out2.txt"), FormatDiabloText, options));
    EXPECT_FALSE(T1().Modified);
    EXPECT_FALSE(T2().Modified);
    ASSERT_TRUE(LoadTable(T1(), FormatTbl, options));
    ASSERT_TRUE(LoadTable(T2(), FormatTabbedText, options));
    EXPECT_EQ(EntriesOf(T1()), saved1);
    EXPECT_EQ(EntriesOf(T2()), saved2);
    for (std::size_t i = 0; i < T2().Count(); ++i) ASSERT_EQ(T2().Values->Flag(i), 0) << i;
    EXPECT_TRUE(view1.messages.empty());
    EXPECT_TRUE(view2.messages.empty());
}

TEST_F(DocumentsTest, FailedSaveThenRetryElsewhereLosesNothing) {
    TempDir dir;
    Fill(T1(), {{u"a", u"1"}, {u"b", u"2"}});
    Edit(T1(), 1, u"changed");
    ASSERT_TRUE(dir.Write("keep.tbl", "old bytes"));
    T1().FileName = dir.Path(u"keep.tbl");

    // A missing folder, then a disk that fills up half way.
    EXPECT_FALSE(SaveTableAs(T1(), dir.Path(u"gone/new.tbl"), FormatTbl, options));
    platform::SetWriteFaultHook([](std::uint64_t written, std::size_t count) { return written + count <= 8; });
    EXPECT_FALSE(SaveTable(T1(), FormatTbl, options));
    platform::SetWriteFaultHook(nullptr);
    EXPECT_EQ(dir.Read("keep.tbl"), "old bytes");
    EXPECT_EQ(dir.List(), std::vector<std::u16string>{u"keep.tbl"});
    EXPECT_EQ(view1.messages.size(), 2u);

    // The question still stands, and the retry keeps the edit.
    EXPECT_TRUE(T1().Modified);
    view1.answer = AskAnswer::Yes;
    view1.onSave = [&] { return SaveTableAs(T1(), dir.Path(u"retry.tbl"), FormatTbl, options); };
    EXPECT_TRUE(ConfirmDiscardChanges(T1()));
    T2().FileName = dir.Path(u"retry.tbl");
    ASSERT_TRUE(LoadTable(T2(), FormatTbl, options));
    EXPECT_EQ(EntriesOf(T2()), (Entries{{u"a", u"1"}, {u"b", u"changed"}}));
}
