// The check of what the editor has open: a side's unsaved edits count in
// place of its file, a finding of a file no side shows says which file to
// open and at which row, and a side's other language comes from its file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "documents/History.h"
#include "documents/OpenCheck.h"
#include "documents/TableFiles.h"
#include "tests/DocumentTestUtil.h"
#include "tests/TestFiles.h"

using namespace vm;
using namespace vmtest;

namespace {

std::string Object(int id, const std::string& key, const std::string& en, const std::string& de) {
    std::string o = "  {\r\n    \"id\": " + std::to_string(id) + ",\r\n    \"Key\": \"" + key + "\"";
    for (const char* l : JsonLanguageCodes)
        o += std::string(",\r\n    \"") + l + "\": \"" + (std::string(l) == "deDE" ? de : en) + "\"";
    return o + "\r\n  }";
}

std::string FileOf(const std::vector<std::string>& objects) {
    std::string s = "\xEF\xBB\xBF[";
    for (std::size_t i = 0; i < objects.size(); ++i) s += (i ? ",\r\n" : "\r\n") + objects[i];
    return s + "\r\n]\r\n";
}

std::vector<std::string> Summary(const OpenCheck& check) {
    std::vector<std::string> out;
    for (const Finding& f : check.findings) {
        const FindingPlace at = PlaceOfFinding(check, f);
        out.push_back(std::string(f.rule) + " " + platform::ToUtf8(f.key) + " " + LanguageName(f.language) + " side " +
                      std::to_string(at.side) + " row " + std::to_string(at.side >= 0 ? at.row : at.objectRow));
    }
    return out;
}

class OpenCheckTest : public DocumentsTest {
protected:
    TempDir dir;
};

TEST_F(OpenCheckTest, FindingsFollowTheSidesAndNameTheRowsOfFilesNotOpen) {
    ASSERT_TRUE(dir.Write("strings/a.json",
                          FileOf({Object(1, "hit", "Hit %d", "Treffer %d"), Object(2, "miss", "Miss", "Fehlschlag")})));
    ASSERT_TRUE(dir.Write("strings/b.json", FileOf({Object(3, "one", "One", "Eins"), Object(2, "two", "%s", "zwei")})));
    T1().FileName = dir.Path(u"strings/a.json");
    options.json.language = 2;  // deDE
    ASSERT_TRUE(OpenByExtension(T1(), options));

    CheckOptions only;
    only.rules = {"placeholders", "duplicate-id"};
    OpenCheck check;
    RunOpenCheck(space, only, check);
    EXPECT_EQ(Summary(check),
              (std::vector<std::string>{"duplicate-id miss  side 0 row 1", "duplicate-id two  side -1 row 1",
                                        "placeholders two deDE side -1 row 1"}));

    // An edit not saved yet counts; the folder is not read again.
    T1().Values->Set(0, u"Treffer");
    ASSERT_TRUE(dir.Write("strings/b.json", FileOf({Object(3, "one", "One", "Eins")})));
    RecheckOpen(space, check);
    EXPECT_EQ(Summary(check),
              (std::vector<std::string>{"placeholders hit deDE side 0 row 0", "duplicate-id miss  side 0 row 1",
                                        "duplicate-id two  side -1 row 1", "placeholders two deDE side -1 row 1"}));

    // The file on both sides, in two languages: one file, each language
    // found on the side that shows it.
    T2().FileName = dir.Path(u"strings/a.json");
    options.json.language = 0;
    ASSERT_TRUE(OpenByExtension(T2(), options));
    T2().Values->Set(1, u"Miss %s");
    check.options.languages = 1 | 4;  // enUS, deDE
    RecheckOpen(space, check);
    EXPECT_EQ(Summary(check),
              (std::vector<std::string>{"placeholders hit deDE side 0 row 0", "duplicate-id miss  side 0 row 1",
                                        "placeholders miss deDE side 0 row 1", "duplicate-id two  side -1 row 1",
                                        "placeholders two deDE side -1 row 1"}));
    T2().FileName.clear();
    T2().Json.reset();

    // A row inserted on the side is a new object with its text in every
    // language: nothing is missing from it.
    T1().Keys->Append(u"new");
    T1().Values->Append(u"Neu %d");
    only.rules = {"missing-language", "placeholders"};
    RunOpenCheck(space, only, check);
    EXPECT_EQ(Summary(check), (std::vector<std::string>{"placeholders hit deDE side 0 row 0"}));
}

}  // namespace

namespace {

TEST_F(OpenCheckTest, OneFileOnBothSidesCountsEachObjectOnce) {
    // Two objects with one id: each is found once, whether one side shows
    // the file or both do.
    ASSERT_TRUE(dir.Write("strings/a.json", FileOf({Object(4, "x", "X", "X-de"), Object(4, "y", "Y", "Y-de")})));
    for (int side = 0; side < 2; ++side) {
        space.sides[side].FileName = dir.Path(u"strings/a.json");
        options.json.language = side == 0 ? 2 : 0;
        ASSERT_TRUE(OpenByExtension(space.sides[side], options));
    }
    CheckOptions only;
    only.rules = {"duplicate-id", "duplicate-key"};
    OpenCheck check;
    RunOpenCheck(space, only, check);
    EXPECT_EQ(Summary(check),
              (std::vector<std::string>{"duplicate-id x  side 0 row 0", "duplicate-id y  side 0 row 1"}));
}

}  // namespace

namespace {

TEST_F(OpenCheckTest, FixesFillAndTrimOnTheSidesAsOneUndoStepEach) {
    std::string b = FileOf({Object(1, " pad", "Pad", "Pad-de"), Object(2, "hole", "Hole \\u00ffc1red", "")});
    b.replace(b.rfind(",\r\n    \"deDE\": \"\""), std::string(",\r\n    \"deDE\": \"\"").size(), "");  // no deDE field
    ASSERT_TRUE(dir.Write("strings/b.json", b));
    ASSERT_TRUE(dir.Write("strings/c.json", FileOf({Object(2, "again", "Again", "Wieder")})));
    for (int side = 0; side < 2; ++side) {
        space.sides[side].FileName = dir.Path(u"strings/b.json");
        options.json.language = side == 0 ? 0 : 2;
        ASSERT_TRUE(OpenByExtension(space.sides[side], options));
    }
    CheckOptions only;
    only.rules = {"missing-language", "whitespace", "duplicate-id"};
    only.languages = 1 | 4;
    OpenCheck check;
    RunOpenCheck(space, only, check);
    std::vector<std::size_t> all(check.findings.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    ASSERT_EQ(all.size(), 4u);  // the key, the field, id 2 twice

    const OpenFixCount fixed = FixOpenFindings(space, check, all, 0);
    EXPECT_EQ(fixed.fixed, 2u);
    EXPECT_EQ(fixed.left, 2u);  // new ids are for the command line
    EXPECT_EQ(T1().Keys->Get(0), u"pad");
    EXPECT_EQ(T2().Values->Get(1), u"Hole \\red;red");
    EXPECT_EQ(UndoName(T1()), u"Fix 1 finding");
    RecheckOpen(space, check);
    EXPECT_EQ(Summary(check),
              (std::vector<std::string>{"duplicate-id hole  side 0 row 1", "duplicate-id again  side -1 row 0"}));
    Undo(T2());
    EXPECT_EQ(T2().Values->Get(1), u"");
}

}  // namespace
