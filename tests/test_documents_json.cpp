// Sides showing a language column of a string file (.json): loading with
// the chosen language, each entry tied to its object through insert,
// delete and move, saving back over the file as it is on disk (so the two
// sides can hold two languages of one file), and tables of other formats
// saved into a string file and back out.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "documents/History.h"
#include "documents/ItemOperations.h"
#include "documents/ObjectLanguages.h"
#include "documents/TableFiles.h"
#include "formats/JsonStrings.h"
#include "tests/DocumentTestUtil.h"
#include "tests/TestFiles.h"

using namespace vm;
using namespace vmtest;

namespace {

constexpr int enUS = 0, deDE = 2;

// An object of the game's layout with English and German texts.
std::string Object(int id, const std::string& key, const std::string& en, const std::string& de) {
    return "  {\r\n    \"id\": " + std::to_string(id) + ",\r\n    \"Key\": \"" + key + "\",\r\n    \"enUS\": \"" + en +
           "\",\r\n    \"deDE\": \"" + de + "\"\r\n  }";
}

std::string FileOf(const std::vector<std::string>& objects) {
    std::string s = "\xEF\xBB\xBF[";
    for (std::size_t i = 0; i < objects.size(); ++i) s += (i ? ",\r\n" : "\r\n") + objects[i];
    return s + "\r\n]\r\n";
}

class JsonSideTest : public DocumentsTest {
protected:
    TempDir dir;

    void Open(TTblObjects& p, const char16_t* name, int language) {
        p.FileName = dir.Path(name);
        options.json.language = language;
        ASSERT_TRUE(OpenByExtension(p, options));
    }
    void Edit(TTblObjects& p, std::size_t row, const std::u16string& value) {
        p.Values->Set(row, value);
        p.Values->SetFlag(row, FlagChanged);
        p.Modified = true;
    }
};

TEST_F(JsonSideTest, LoadsTheChosenColumnTiedToItsObjectsAndShowsWhereFrom) {
    ASSERT_TRUE(dir.Write("s.json", FileOf({Object(1, "a", "\\u00ffc1A", "x"), Object(2, "b", "B", "y")})));
    Open(T2(), u"s.json", deDE);
    EXPECT_EQ(Texts(*T2().Values), (std::vector<std::u16string>{u"x", u"y"}));
    EXPECT_EQ(T2().Keys->Origin(1), 2u);
    EXPECT_EQ(view2.source, u"s.json [deDE]");
    Open(T1(), u"s.json", enUS);
    EXPECT_EQ(T1().Values->Get(0), u"\\red;A");
    EXPECT_FALSE(T1().Modified);

    // A file that is not a string file loads nothing and says where.
    ASSERT_TRUE(dir.Write("bad.json", "[\r\n  {\"id\": 1}\r\n]"));
    T1().FileName = dir.Path(u"bad.json");
    EXPECT_FALSE(LoadTable(T1(), FormatJson, options));
    EXPECT_EQ(T1().Count(), 0u);
    EXPECT_EQ(view1.messages.back(),
              sErrorReadFile + u"\nline 2, column 3: this object has no \"Key\"\n" + T1().FileName);
    EXPECT_EQ(view1.source, u"");
    EXPECT_EQ(T1().Json, nullptr);
}

// English in Table 1, German in Table 2, one file: each side saves its
// column, its inserts, deletes and moves, and keeps what the other saved.
TEST_F(JsonSideTest, TwoLanguagesOfOneFileSavedFromBothSides) {
    const std::string a = Object(1, "a", "A", "a-de"), b = Object(2, "b", "B", "b-de"), c = Object(3, "c", "C", "c-de");
    ASSERT_TRUE(dir.Write("s.json", FileOf({a, b, c})));
    Open(T1(), u"s.json", enUS);
    Open(T2(), u"s.json", deDE);

    Edit(T1(), 0, u"A2");
    InsertEntries(T1(), 2, 2);  // before c
    T1().Keys->Set(2, u"n");
    Edit(T1(), 2, u"\\gold;N");
    ASSERT_TRUE(SaveTable(T1(), FormatJson, options));
    EXPECT_EQ(T1().JsonObjectOf[T1().Keys->Origin(2)], 3u);  // tied to the object it became
    EXPECT_FALSE(T1().Modified);

    Edit(T2(), 2, u"c-neu");
    DeleteEntries(T2(), 1, 1);  // b
    MoveEntry(T2(), 1, 0);      // c first
    ASSERT_TRUE(SaveTable(T2(), FormatJson, options));

    std::string n = "  {\r\n    \"id\": 4,\r\n    \"Key\": \"n\"";
    for (const char* code : JsonLanguageCodes)
        n += std::string(",\r\n    \"") + code +
             "\": \"\xC3\xBF"
             "c4N\"";
    n += "\r\n  }";
    // n followed b, which Table 2 removed: it stays after a.
    EXPECT_EQ(dir.Read("s.json"), FileOf({Object(3, "c", "C", "c-neu"), Object(1, "a", "A2", "a-de"), n}));

    // Both sides save again unchanged: the file stays as it is, Table 1's
    // new object and Table 2's new key included.
    T2().Keys->Set(0, u"c2");
    ASSERT_TRUE(SaveTable(T2(), FormatJson, options));
    const std::string now = dir.Read("s.json");
    EXPECT_NE(now.find("\"Key\": \"c2\""), std::string::npos);
    ASSERT_TRUE(SaveTable(T1(), FormatJson, options));
    ASSERT_TRUE(SaveTable(T2(), FormatJson, options));
    EXPECT_EQ(dir.Read("s.json"), now);
}

TEST_F(JsonSideTest, AnEntryWhoseObjectTheOtherSideRemovedComesBackOnlyWhenChanged) {
    ASSERT_TRUE(dir.Write("s.json", FileOf({Object(1, "a", "A", "a-de"), Object(2, "b", "B", "b-de")})));
    Open(T1(), u"s.json", enUS);
    Open(T2(), u"s.json", deDE);
    DeleteEntries(T1(), 1, 1);
    ASSERT_TRUE(SaveTable(T1(), FormatJson, options));
    ASSERT_TRUE(SaveTable(T2(), FormatJson, options));  // b unchanged here: stays removed
    EXPECT_EQ(dir.Read("s.json"), FileOf({Object(1, "a", "A", "a-de")}));
    EXPECT_EQ(T2().JsonObjectOf[T2().Keys->Origin(1)], JsonOriginGone);
    Edit(T2(), 1, u"b-neu");
    ASSERT_TRUE(SaveTable(T2(), FormatJson, options));
    EXPECT_NE(dir.Read("s.json").find("\"Key\": \"b\""), std::string::npos);
    EXPECT_NE(dir.Read("s.json").find("\"zhCN\": \"b-neu\""), std::string::npos);
}

TEST_F(JsonSideTest, UndoneDeletesFindTheirObjectOrBecomeNewOnesAfterASave) {
    const std::string a = Object(1, "a", "A", "a-de"), b = Object(2, "b", "B", "b-de"), c = Object(3, "c", "C", "c-de");
    const std::string original = FileOf({a, b, c});
    ASSERT_TRUE(dir.Write("s.json", original));
    Open(T1(), u"s.json", enUS);

    // Deleted and given back before a save: the file comes back as it was.
    DeleteEntries(T1(), 1, 1);
    ASSERT_TRUE(Undo(T1()));
    ASSERT_TRUE(SaveTable(T1(), FormatJson, options));
    EXPECT_EQ(dir.Read("s.json"), original);

    // Deleted, saved, given back: its object is gone from the file, so it
    // comes back as a new object; c keeps its own object and texts.
    DeleteEntries(T1(), 1, 1);
    ASSERT_TRUE(SaveTable(T1(), FormatJson, options));
    ASSERT_TRUE(Undo(T1()));
    ASSERT_TRUE(SaveTable(T1(), FormatJson, options));
    std::string nb = "  {\r\n    \"id\": 4,\r\n    \"Key\": \"b\"";
    for (const char* code : JsonLanguageCodes) nb += std::string(",\r\n    \"") + code + "\": \"B\"";
    nb += "\r\n  }";
    EXPECT_EQ(dir.Read("s.json"), FileOf({a, nb, c}));
}

TEST_F(JsonSideTest, OtherFormatsOutOfAndIntoStringFiles) {
    ASSERT_TRUE(dir.Write("s.json", FileOf({Object(1, "a", "A", "a-de"), Object(2, "b", "B", "b-de")})));
    Open(T1(), u"s.json", deDE);
    // Saved as text, the side is that text table now.
    ASSERT_TRUE(SaveTableAs(T1(), dir.Path(u"de.txt"), FormatTabbedText, options));
    EXPECT_EQ(T1().Json, nullptr);
    EXPECT_EQ(T1().Keys->Origin(0), 0u);
    EXPECT_EQ(view1.source, u"de.txt");

    // A text table goes into a string file's column by key.
    Fill(T1(), {{u"b", u"b-neu"}, {u"z", u"Z"}});
    T1().JsonLanguage = deDE;
    ASSERT_TRUE(SaveTableAs(T1(), dir.Path(u"s.json"), FormatJson, options));
    std::string z = "  {\r\n    \"id\": 3,\r\n    \"Key\": \"z\"";
    for (const char* code : JsonLanguageCodes) z += std::string(",\r\n    \"") + code + "\": \"Z\"";
    z += "\r\n  }";
    EXPECT_EQ(dir.Read("s.json"), FileOf({Object(1, "a", "A", "a-de"), Object(2, "b", "B", "b-neu"), z}));
    // A new file starts in the game's layout, ids from the settings' first id.
    options.json.firstId = 5000;
    ASSERT_TRUE(SaveTableAs(T1(), dir.Path(u"new.json"), FormatJson, options));
    EXPECT_EQ(dir.Read("new.json").find("\xEF\xBB\xBF[\r\n  {\r\n    \"id\": 5000,\r\n    \"Key\": \"b\""), 0u);

    // A file that is no string file is not overwritten.
    ASSERT_TRUE(dir.Write("bad.json", "{}"));
    EXPECT_FALSE(SaveTableAs(T1(), dir.Path(u"bad.json"), FormatJson, options));
    EXPECT_EQ(dir.Read("bad.json"), "{}");
    EXPECT_EQ(view1.messages.back(),
              sErrorWriteFile + u"\nline 1, column 1: the file is not an array of objects\n" + dir.Path(u"bad.json"));
}

}  // namespace

namespace {

// Every language of an object: what the file holds now, and the columns
// the sides show as their tables hold them; a change of a shown column goes
// into its table, one of another language is kept by the side until its
// save writes it, and one undo takes the step back from both.
TEST_F(JsonSideTest, EveryLanguageOfAnObjectIsShownEditedAndSaved) {
    const std::string b =
        "  {\"id\": 7, \"Key\": \"b\", \"enUS\": \"B\", \"deDE\": \"b-de\", \"ruRU\": \"\\u00ffc1b-ru\"}";
    const std::string file = FileOf({Object(1, "a", "A", "a-de"), b});
    ASSERT_TRUE(dir.Write("s.json", file));
    Open(T1(), u"s.json", enUS);
    Open(T2(), u"s.json", deDE);
    MoveEntry(T2(), 1, 0);  // the other side's entry of the object lies elsewhere
    Edit(T1(), 1, u"B2");   // not saved yet

    ObjectLanguages shown;
    ASSERT_TRUE(ReadObjectLanguages(T1(), 1, shown, options.limits));
    EXPECT_EQ(shown.key, u"b");
    EXPECT_EQ(shown.texts[enUS], u"B2");
    EXPECT_EQ(shown.texts[deDE], u"b-de");
    EXPECT_EQ(shown.texts[11], u"\\red;b-ru");  // ruRU, from the file
    EXPECT_EQ(shown.texts[4], u"");             // frFR: no such field
    EXPECT_EQ(shown.side[enUS], &T1());
    EXPECT_EQ(shown.side[deDE], &T2());
    EXPECT_EQ(shown.entry[deDE], 0);
    EXPECT_EQ(shown.side[11], &T1());  // kept by the side asked
    EXPECT_EQ(shown.entry[11], -1);

    std::u16string texts[JsonLanguageCount];
    for (int i = 0; i < JsonLanguageCount; ++i) texts[i] = shown.texts[i];
    texts[enUS] = u"B3";
    texts[deDE] = u"b-neu";
    texts[11] = u"\\blue;b-ru2";
    ASSERT_TRUE(ApplyObjectLanguages(T1(), 1, shown, texts));
    EXPECT_EQ(T1().Values->Get(1), u"B3");
    EXPECT_EQ(T2().Values->Get(0), u"b-neu");
    EXPECT_TRUE(T2().Modified);
    ASSERT_TRUE(ReadObjectLanguages(T1(), 1, shown, options.limits));
    EXPECT_EQ(shown.texts[11], u"\\blue;b-ru2");
    Undo(T1());
    EXPECT_EQ(T1().Values->Get(1), u"B2");
    EXPECT_EQ(T2().Values->Get(0), u"b-de");
    EXPECT_EQ(T2().Keys->Get(0), u"b");  // its own move stays
    ASSERT_TRUE(ReadObjectLanguages(T1(), 1, shown, options.limits));
    EXPECT_EQ(shown.texts[11], u"\\red;b-ru");
    Redo(T1());

    // The save writes the kept text into its field and nothing else but
    // the side's own column; undoing after the save and saving again gives
    // the file back byte for byte.
    ASSERT_TRUE(SaveTable(T1(), FormatJson, options));
    EXPECT_TRUE(T1().OtherLanguages.empty());
    std::string expected = file;
    const auto replace = [&expected](const std::string& from, const std::string& to) {
        expected.replace(expected.find(from), from.size(), to);
    };
    replace("\"enUS\": \"B\"", "\"enUS\": \"B3\"");
    replace("\\u00ffc1b-ru", "\\u00ffc3b-ru2");
    EXPECT_EQ(dir.Read("s.json"), expected);
    Undo(T1());
    ASSERT_TRUE(SaveTable(T1(), FormatJson, options));
    replace("\"enUS\": \"B3\"", "\"enUS\": \"B2\"");
    replace("\\u00ffc3b-ru2", "\\u00ffc1b-ru");
    EXPECT_EQ(dir.Read("s.json"), expected);

    // Another format cannot keep such texts: the save asks first.
    ASSERT_TRUE(ReadObjectLanguages(T1(), 1, shown, options.limits));
    for (int i = 0; i < JsonLanguageCount; ++i) texts[i] = shown.texts[i];
    texts[4] = u"fr";
    ASSERT_TRUE(ApplyObjectLanguages(T1(), 1, shown, texts));
    view1.answer = AskAnswer::No;
    EXPECT_FALSE(SaveTableAs(T1(), dir.Path(u"s.txt"), FormatTabbedText, options));
    EXPECT_EQ(view1.questions.back(), FillIn(sAskOtherLanguagesLost, {u"1"}));
    EXPECT_EQ(T1().OtherLanguages.size(), 1u);
    EXPECT_EQ(T1().FileName, dir.Path(u"s.json"));

    // A new entry has no object; a table of another file no languages.
    InsertEntries(T1(), 0, 0);
    EXPECT_FALSE(ReadObjectLanguages(T1(), 0, shown, options.limits));
    Fill(T2(), {{u"x", u"y"}});
    T2().Json.reset();
    EXPECT_FALSE(ReadObjectLanguages(T2(), 0, shown, options.limits));
}

}  // namespace
