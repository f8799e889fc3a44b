// The open and save dialogs without a window: the hooks against fake
// controls, and OpenDialog/SaveDialog against a fake dialog that drives the
// hook the way the platform's dialog does.

#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "documents/FileDialogs.h"
#include "documents/TableFiles.h"
#include "formats/TblFile.h"
#include "formats/TextHelpers.h"
#include "tests/DocumentTestUtil.h"
#include "tests/FormatTestUtil.h"
#include "tests/TestFiles.h"

using namespace vm;
using namespace vmtest;

namespace {

struct FakeControls final : DialogControls {
    struct Control {
        std::u16string text;
        std::vector<std::u16string> items;
        int selected = -1;
        bool checked = false, shown = true, enabled = true;
    };
    std::map<int, Control> controls;
    std::vector<int> maxCharsAsked;

    Control& operator[](int id) { return controls[id]; }
    void SetText(int id, const std::u16string& text) override { controls[id].text = text; }
    std::u16string GetText(int id, int maxChars) override {
        maxCharsAsked.push_back(maxChars);
        return controls[id].text.substr(0, static_cast<std::size_t>(maxChars));
    }
    void AddItem(int id, const std::u16string& text) override { controls[id].items.push_back(text); }
    void SelectItem(int id, int index) override { controls[id].selected = index; }
    int SelectedItem(int id) override { return controls[id].selected; }
    void SetChecked(int id, bool checked) override { controls[id].checked = checked; }
    bool IsChecked(int id) override { return controls[id].checked; }
    void Show(int id, bool shown) override { controls[id].shown = shown; }
    void Enable(int id, bool enabled) override { controls[id].enabled = enabled; }
};

// Plays the platform's dialog: creation, a notification with the filter
// chosen, what the user does in the panel, destruction, and the answer.
struct FakeShower final : FileDialogShower {
    std::vector<FileDialogRequest> shown;  // as handed over
    bool confirm = true;
    std::u16string chosenPath;
    int chosenFilter = 1;
    std::function<void(FakeControls&, DialogHook&)> user = [](FakeControls&, DialogHook&) {};
    FakeControls panel;

    bool Show(FileDialogRequest& request, DialogHook& hook) override {
        shown.push_back(request);
        panel = FakeControls{};
        hook.OnCreate(panel);
        hook.OnNotify(panel, chosenFilter);
        user(panel, hook);
        hook.OnDestroy(panel);
        if (!confirm) return false;
        request.fileName = chosenPath;
        request.filterIndex = chosenFilter;
        return true;
    }
};

class FileDialogsTest : public DocumentsTest {
protected:
    void SetUp() override {
        DocumentsTest::SetUp();
        space.FileDialogs = &shower;
        space.DialogFilterIndex = 0;
        space.DialogDir = u"C:\\Games\\";
        space.AfterDialogSave = [this] { ++settingsWritten; };
    }
    void TearDown() override {
        space.FileDialogs = nullptr;
        space.AfterDialogSave = nullptr;
        space.DialogDir.clear();
        DocumentsTest::TearDown();
    }

    FakeShower shower;
    TempDir dir;
    int settingsWritten = 0;
};

// ---- Hooks -----------------------------------------------------------------

TEST(OpenDialogHookTest, EncodingBoxMapsItemsToEncodings) {
    EditorOptions editor;
    TextEncoding& OpenEncoding = editor.formats.text.readEncoding;
    const std::vector<std::u16string> items = {u"Autodetect", u"Default Unicode(LE)", u"Default UTF8", u"Default ANSI"};
    for (int encoding = 0; encoding < 4; ++encoding) {
        OpenEncoding = static_cast<TextEncoding>(encoding);
        FakeControls c;
        OpenDialogHook hook(editor);
        hook.OnCreate(c);
        EXPECT_EQ(c[IdOpenEncoding].items, items);
        EXPECT_EQ(c[IdOpenEncoding].selected, (encoding + 1) % 4);
        // Item n stands for the encoding (n + 3) mod 4.
        c[IdOpenEncoding].selected = encoding;
        hook.OnDestroy(c);
        EXPECT_EQ(static_cast<int>(OpenEncoding), (encoding + 3) % 4);
    }
    // Nothing selected keeps the choice.
    FakeControls c;
    OpenEncoding = TextEncoding::UTF8;
    OpenDialogHook(editor).OnDestroy(c);
    EXPECT_EQ(OpenEncoding, TextEncoding::UTF8);
}

TEST(OpenDialogHookTest, LabelsAndTheTblFilter) {
    ResetDocumentTexts();
    sLabelEncoding = u"Kodierung:";
    FakeControls c;
    EditorOptions editor;
    OpenDialogHook hook(editor);
    hook.OnCreate(c);
    EXPECT_EQ(c[IdOpenLabelEncoding].text, u"Kodierung:");
    EXPECT_EQ(c[IdOpenLabelTxtOptions].text, u"TXT Options");
    using Step = std::tuple<int, bool, bool>;
    // Text files have an encoding, string files a language, .tbl files
    // neither; all supported files may be any of them. The panel is headed
    // by the options of string files when they are chosen.
    for (const auto& [filter, encoding, language] :
         {Step{OpenAllFilter, true, true}, Step{OpenTblFilter, false, false}, Step{OpenTextFilter, true, false},
          Step{OpenJsonFilter, false, true}, Step{OpenTblFilter, false, false}}) {
        hook.OnNotify(c, filter);
        EXPECT_EQ(c[IdOpenEncoding].enabled, encoding) << filter;
        EXPECT_EQ(c[IdOpenLanguage].enabled, language) << filter;
        EXPECT_EQ(c[IdOpenLabelTxtOptions].text, filter == OpenJsonFilter ? u"JSON Options" : u"TXT Options") << filter;
    }
    ResetDocumentTexts();
}

class SaveDialogHookTest : public ::testing::Test {
protected:
    void SetUp() override { ResetDocumentTexts(); }
    void TearDown() override { ResetDocumentTexts(); }
    FakeControls c;
    EditorOptions editor;
};

TEST_F(SaveDialogHookTest, CreationFillsThePanelFromTheOptions) {
    sLabelAddHash = u"Extra:";
    FormatOptions& o = editor.formats;
    o.text.writeEncoding = TextEncoding::UTF8;
    o.text.header = false;
    o.text.quoteValues = true;
    o.text.colorMacros = false;
    o.tbl.offset8 = 9;
    o.tbl.addToHashSize = 12;
    SaveDialogHook(editor, 3).OnCreate(c);
    const std::map<int, std::u16string> texts = {
        {IdSaveLabelTblOptions, u"TBL Options"},
        {IdSaveLabelAddHash, u"Extra:"},
        {IdSaveLabelOffset8, u"Value of byte in offset8 (Default 1):"},
        {IdSaveLabelTxtOptions, u"TXT Options"},
        {IdSaveLabelEncoding, u"Encoding:"},
        {IdSaveHeader, u"Add header to Tabbed text files"},
        {IdSaveQuote, u"Add quotes to Value string for Tabbed text files"},
        {IdSaveColorApi, u"Use ColorApi (always On for Ansi text)"},
        {IdSaveOffset8, u"9"},
        {IdSaveAddHash, u"12"},
    };
    for (const auto& [id, text] : texts) EXPECT_EQ(c[id].text, text) << id;
    EXPECT_EQ(c[IdSaveEncoding].items, (std::vector<std::u16string>{u"Unicode(LE)", u"UTF8", u"ANSI"}));
    EXPECT_EQ(c[IdSaveEncoding].selected, 1);
    EXPECT_FALSE(c[IdSaveHeader].checked);
    EXPECT_TRUE(c[IdSaveQuote].checked);
    EXPECT_FALSE(c[IdSaveColorApi].checked);
}

TEST_F(SaveDialogHookTest, FilterChoosesTheGroupAndEncodingTheColorBox) {
    SaveDialogHook hook(editor, 3);
    hook.OnCreate(c);
    const std::vector<int> tblGroup = {IdSaveLabelTblOptions, IdSaveLabelOffset8, IdSaveOffset8, IdSaveLabelAddHash,
                                       IdSaveAddHash};
    const std::vector<int> textGroup = {IdSaveLabelTxtOptions, IdSaveLabelEncoding, IdSaveEncoding,
                                        IdSaveQuote,           IdSaveColorApi,      IdSaveHeader};
    struct Case {
        int filter;
        bool tabbedBoxesEnabled;
    };
    for (const Case& k : {Case{3, false}, Case{1, false}, Case{2, true}, Case{1, true}}) {
        hook.OnNotify(c, k.filter);
        for (const int id : tblGroup) EXPECT_EQ(c[id].shown, k.filter == 1) << k.filter << " " << id;
        for (const int id : textGroup) EXPECT_EQ(c[id].shown, k.filter != 1) << k.filter << " " << id;
        EXPECT_EQ(c[IdSaveQuote].enabled, k.tabbedBoxesEnabled) << k.filter;
        EXPECT_EQ(c[IdSaveHeader].enabled, k.tabbedBoxesEnabled) << k.filter;
    }

    using Step = std::pair<int, bool>;
    for (const auto& [item, enabled] : {Step{2, false}, Step{1, true}, Step{2, false}, Step{0, true}}) {
        c[IdSaveEncoding].selected = item;
        hook.OnCommand(c, IdSaveEncoding, ComboSelectionChanged);
        EXPECT_EQ(c[IdSaveColorApi].enabled, enabled) << item;
    }
    c[IdSaveEncoding].selected = 2;
    hook.OnCommand(c, IdSaveOffset8, ComboSelectionChanged);  // another control
    EXPECT_TRUE(c[IdSaveColorApi].enabled);
}

TEST_F(SaveDialogHookTest, DestructionStoresTheOptionsWithinTheirBounds) {
    struct Case {
        std::u16string offset8, addHash;
        int maxAddToHash;
        std::size_t entries;
        int wantOffset8, wantAddHash;
    };
    const Case cases[] = {
        {u"300", u"5000", 255, 3, 255, 255},
        {u"7", u"20", 255, 3, 7, 20},
        {u"", u"", 255, 3, 0, 0},
        {u"300", u"300", 1000, 3, 255, 300},                     // one byte, whatever the hash bound
        {u"-1", u"-1", 255, 3, 255, 255},                        // pasted signs count as large numbers
        {std::u16string(255, u'0') + u"7", u"1", 255, 3, 0, 1},  // 255 characters read
        {u"1", u"70000", 100000, 3, 1, 65533},                   // every entry plus the extra slots fit 65536
        {u"1", u"300", 1000, 65400, 1, 136},
        {u"1", u"300", 1000, 70000, 1, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.offset8.begin(), k.offset8.end()) + " " +
                     std::string(k.addHash.begin(), k.addHash.end()));
        editor.maxAddToHashSize = k.maxAddToHash;
        FakeControls panel;
        SaveDialogHook hook(editor, k.entries);
        hook.OnCreate(panel);
        panel[IdSaveOffset8].text = k.offset8;
        panel[IdSaveAddHash].text = k.addHash;
        hook.OnDestroy(panel);
        EXPECT_EQ(editor.formats.tbl.offset8, k.wantOffset8);
        EXPECT_EQ(editor.formats.tbl.addToHashSize, k.wantAddHash);
        EXPECT_EQ(panel.maxCharsAsked, (std::vector<int>{255, 255}));
    }

    c[IdSaveEncoding].selected = 2;
    c[IdSaveQuote].checked = false;
    c[IdSaveColorApi].checked = true;
    c[IdSaveHeader].checked = false;
    SaveDialogHook(editor, 0).OnDestroy(c);
    EXPECT_EQ(editor.formats.text.writeEncoding, TextEncoding::ANSI);
    EXPECT_FALSE(editor.formats.text.quoteValues);
    EXPECT_TRUE(editor.formats.text.colorMacros);
    EXPECT_FALSE(editor.formats.text.header);
}

TEST(NamePartTest, DropsDirectoryAndExtension) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"C:\\Mods\\data\\string.tbl", u"string"},
        {u"/home/m/patch.string.txt", u"patch.string"},
        {u"C:table.txt", u"table"},
        {u"dir.d/noext", u"noext"},
        {u"name", u"name"},
        {u"dir/.hidden", u".hidden"},
        {u"", u""},
    };
    for (const auto& [path, name] : cases) EXPECT_EQ(NamePart(path), name);
}

// ---- OpenDialog ------------------------------------------------------------

TEST_F(FileDialogsTest, OpenLoadsTheChosenFileWithTheChosenFilter) {
    ASSERT_TRUE(dir.Write("table.txt", "k1\tv1\nk2\tv2\n"));
    T1().FileName = u"D:\\elsewhere\\old.tbl";
    space.DialogFilterIndex = 3;  // left by a save as DiabloII text
    shower.chosenPath = dir.Path(u"table.txt");
    shower.chosenFilter = OpenTextFilter;

    OpenDialog(T1(), 0);
    ASSERT_EQ(shower.shown.size(), 1u);
    const FileDialogRequest& r = shower.shown[0];
    EXPECT_FALSE(r.save);
    EXPECT_EQ(r.filter, OpenFilter);
    EXPECT_EQ(r.templateName, u"OPENTEMPLATE");
    EXPECT_EQ(r.initialDir, u"C:\\Games\\");
    EXPECT_EQ(r.fileName, u"old");
    EXPECT_EQ(r.filterIndex, OpenAllFilter);  // every open dialog starts with all files
    EXPECT_EQ(T1().FileName, dir.Path(u"table.txt"));
    EXPECT_EQ(Texts(*T1().Keys), (std::vector<std::u16string>{u"k1", u"k2"}));
    EXPECT_EQ(space.DialogFilterIndex, 3);  // the save dialog's own
}

TEST_F(FileDialogsTest, CancelledOrEmptyOpenChangesNothingButTheEncoding) {
    Fill(T1(), {{u"a", u"1"}});
    T1().FileName = u"keep.tbl";
    space.DialogFilterIndex = 1;
    space.options.formats.text.readEncoding = TextEncoding::Autodetect;
    shower.confirm = false;
    shower.chosenFilter = 2;
    shower.user = [](FakeControls& c, DialogHook&) {
        EXPECT_EQ(c[IdOpenEncoding].selected, 0);  // "Autodetect"
        c[IdOpenEncoding].selected = 2;            // "Default UTF8"
    };
    OpenDialog(T1(), 0);
    EXPECT_EQ(space.options.formats.text.readEncoding, TextEncoding::UTF8);
    EXPECT_EQ(space.DialogFilterIndex, 1);

    shower.user = [](FakeControls&, DialogHook&) {};
    shower.confirm = true;
    shower.chosenPath.clear();
    OpenDialog(T1(), 0);
    EXPECT_EQ(T1().FileName, u"keep.tbl");
    EXPECT_EQ(Texts(*T1().Keys), (std::vector<std::u16string>{u"a"}));
}

TEST_F(FileDialogsTest, OnlyOpeningATableAsksAboutUnsavedChanges) {
    T1().Modified = true;
    view1.answer = AskAnswer::Cancel;
    OpenDialog(T1(), 0);
    EXPECT_EQ(view1.questions.size(), 1u);
    EXPECT_TRUE(shower.shown.empty());

    // The tools change the table in place: no question, and the tool file
    // is the one named.
    space.ToolFileName = u"/x/glossary.txt";
    shower.confirm = false;
    OpenDialog(T1(), 1);
    OpenDialog(T1(), 2);
    EXPECT_EQ(view1.questions.size(), 1u);
    ASSERT_EQ(shower.shown.size(), 2u);
    EXPECT_EQ(shower.shown[0].fileName, u"glossary");

    view1.answer = AskAnswer::No;
    OpenDialog(T1(), 0);
    EXPECT_EQ(view1.questions.size(), 2u);
    EXPECT_EQ(shower.shown.size(), 3u);
}

TEST_F(FileDialogsTest, ToolModesUpdateFromTheChosenFile) {
    ASSERT_TRUE(dir.Write("file.txt", "S\tE\n"));
    Fill(T1(), {{u"t0", u"a"}, {u"t1", u"b"}});
    Fill(T2(), {{u"o0", u"-"}, {u"o1", u"S"}});
    shower.chosenPath = dir.Path(u"file.txt");
    shower.chosenFilter = OpenTextFilter;
    OpenDialog(T1(), 1, u"Update Table1 from File");
    EXPECT_EQ(shower.shown.back().title, u"Update Table1 from File");  // the task, not "Open"
    EXPECT_EQ(space.ToolFileName, dir.Path(u"file.txt"));
    EXPECT_EQ(Texts(*T1().Values), (std::vector<std::u16string>{u"a", u"E"}));
    EXPECT_TRUE(T1().FileName.empty());
}

// ---- SaveDialog ------------------------------------------------------------

TEST_F(FileDialogsTest, SaveWritesUnderTheTypedNameAndThenTheSettings) {
    Fill(T1(), {{u"k1", u"v1"}, {u"k2", u"v2"}, {u"k3", u"v3"}});
    T1().FileName = u"C:\\old\\string.tbl";
    T1().Modified = true;
    space.options.maxAddToHashSize = 100000;
    shower.chosenPath = dir.Path(u"saved");  // as the dialog returns it
    shower.chosenFilter = 3;
    shower.user = [](FakeControls& c, DialogHook&) { c[IdSaveAddHash].text = u"70000"; };

    EXPECT_TRUE(SaveDialog(T1()));
    const FileDialogRequest& r = shower.shown[0];
    EXPECT_TRUE(r.save);
    EXPECT_EQ(r.filter, SaveFilter);
    EXPECT_EQ(r.templateName, u"SAVETEMPLATE");
    EXPECT_EQ(r.initialDir, u"C:\\Games\\");
    EXPECT_EQ(r.fileName, u"string");
    EXPECT_TRUE(r.title.empty());
    EXPECT_EQ(r.defaultExtension, u"tbl");                      // a typed name gets the chosen type's extension
    EXPECT_EQ(space.options.formats.tbl.addToHashSize, 65533);  // the hook knew the table's 3 entries
    EXPECT_EQ(T1().FileName, dir.Path(u"saved"));
    EXPECT_EQ(dir.List(), std::vector<std::u16string>{u"saved"});
    EXPECT_FALSE(T1().Modified);
    EXPECT_EQ(settingsWritten, 1);

    // The next save dialog starts with the filter of this one, an open dialog with all files.
    shower.confirm = false;
    OpenDialog(T2(), 0);
    EXPECT_EQ(shower.shown.back().filterIndex, OpenAllFilter);
    SaveDialog(T2());
    EXPECT_EQ(shower.shown.back().filterIndex, 3);
}

TEST_F(FileDialogsTest, FailedOrCancelledSaveKeepsNameAndSettings) {
    Fill(T1(), {{u"k1", u"v1"}});
    T1().FileName = u"C:\\old\\string.tbl";
    T1().Modified = true;
    shower.chosenPath = dir.Path(u"missing-dir/out.txt");
    shower.chosenFilter = 2;
    EXPECT_FALSE(SaveDialog(T1()));
    EXPECT_EQ(T1().FileName, u"C:\\old\\string.tbl");
    EXPECT_TRUE(T1().Modified);
    EXPECT_EQ(view1.messages, std::vector<std::u16string>{sErrorWriteFile + u"\nThe folder does not exist.\n" +
                                                          dir.Path(u"missing-dir/out.txt")});
    EXPECT_EQ(settingsWritten, 0);

    shower.confirm = false;
    shower.chosenFilter = 1;
    EXPECT_FALSE(SaveDialog(T1()));
    EXPECT_EQ(T1().FileName, u"C:\\old\\string.tbl");
    EXPECT_EQ(space.DialogFilterIndex, 2);  // from the confirmed, failed one
    EXPECT_EQ(settingsWritten, 0);

    space.FileDialogs = nullptr;
    EXPECT_FALSE(SaveDialog(T1()));
}

// A string file opens in the language chosen in the dialog, which is kept
// for the next one; its side's save dialog starts with the string file
// filter and the side's language; the open dialog after it starts with
// all supported files again.
TEST_F(FileDialogsTest, StringFilesChooseTheirLanguageInBothDialogs) {
    ASSERT_TRUE(dir.Write("s.json", "[{\"id\": 1, \"Key\": \"k\", \"enUS\": \"e\", \"deDE\": \"d\"}]"));
    shower.chosenPath = dir.Path(u"s.json");
    shower.chosenFilter = OpenJsonFilter;
    shower.user = [](FakeControls& c, DialogHook&) {
        EXPECT_EQ(c[IdOpenLanguage].items.size(), 13u);
        EXPECT_EQ(c[IdOpenLanguage].selected, 0);  // enUS
        EXPECT_FALSE(c[IdOpenEncoding].enabled);
        EXPECT_TRUE(c[IdOpenLanguage].enabled);
        c[IdOpenLanguage].selected = 2;  // deDE
    };
    OpenDialog(T1(), 0);
    EXPECT_EQ(space.options.formats.json.language, 2);
    EXPECT_EQ(Texts(*T1().Values), std::vector<std::u16string>{u"d"});

    T1().Values->Set(0, u"neu");
    shower.chosenFilter = SaveJsonFilter;
    space.options.formats.json.language = 0;  // the open dialog's choice is not the save dialog's
    shower.user = [](FakeControls& c, DialogHook&) {
        EXPECT_EQ(c[IdSaveLanguage].selected, 2);
        EXPECT_TRUE(c[IdSaveLanguage].shown);
        EXPECT_FALSE(c[IdSaveEncoding].shown);
        EXPECT_FALSE(c[IdSaveOffset8].shown);
    };
    space.DialogFilterIndex = 1;
    ASSERT_TRUE(SaveDialog(T1()));
    EXPECT_EQ(shower.shown.back().filterIndex, SaveJsonFilter);
    EXPECT_EQ(shower.shown.back().fileName, u"s.json");
    EXPECT_EQ(dir.Read("s.json"), "[{\"id\": 1, \"Key\": \"k\", \"enUS\": \"e\", \"deDE\": \"neu\"}]");
    EXPECT_EQ(space.options.formats.json.language, 0);

    shower.confirm = false;
    shower.user = [](FakeControls& c, DialogHook&) { EXPECT_FALSE(c[IdOpenLanguage].enabled); };
    shower.chosenFilter = 2;
    OpenDialog(T2(), 0);
    EXPECT_EQ(shower.shown.back().filterIndex, OpenAllFilter);
}

// A table opened from a .tbl file and saved from the window is written
// back with its own header byte 8 and spare hash slots, which the dialog
// offers; the settings' values stay the defaults for other tables and take
// nothing from the file.
TEST_F(FileDialogsTest, SavedTblKeepsItsOwnHeaderAndTheSettingsTheirs) {
    space.options.formats.tbl = TblOptions{.offset8 = 1, .addToHashSize = 3};
    space.options.maxAddToHashSize = 4;  // a file's own 255 spare slots still pass
    struct Case {
        std::size_t entries;
        int offset8, spare;
    };
    for (const Case k : {Case{1143, 1, 8}, Case{5, 0, 0}, Case{5, 0, 8}, Case{5, 1, 255}, Case{5, 7, 0},
                         Case{5, 255, 255}, Case{1, 0, 3}}) {
        SCOPED_TRACE(std::to_string(k.entries) + " " + std::to_string(k.offset8) + " " + std::to_string(k.spare));
        Entries entries;
        for (std::size_t i = 0; i < k.entries; ++i) {
            const std::string n = std::to_string(i);
            entries.emplace_back(u"key" + std::u16string(n.begin(), n.end()),
                                 u"v" + std::u16string(n.begin(), n.end()));
        }
        const Bytes image = TblImage(entries, TblOptions{.offset8 = k.offset8, .addToHashSize = k.spare});
        const std::string bytes(image.begin(), image.end());
        ASSERT_TRUE(dir.Write("in.tbl", bytes));
        shower.user = [](FakeControls&, DialogHook&) {};
        shower.chosenPath = dir.Path(u"in.tbl");
        shower.chosenFilter = OpenTblFilter;
        OpenDialog(T1(), 0);
        ASSERT_EQ(T1().Count(), k.entries);
        shower.chosenFilter = 1;  // the save dialog's .tbl filter

        // Confirmed as it opens, twice: the same bytes each time.
        for (const char16_t* out : {u"out.tbl", u"out.tbl"}) {
            shower.chosenPath = dir.Path(out);
            shower.user = [&](FakeControls& c, DialogHook&) {
                EXPECT_EQ(c[IdSaveOffset8].text, IntToDecimal(k.offset8));
                EXPECT_EQ(c[IdSaveAddHash].text, IntToDecimal(k.spare));
            };
            ASSERT_TRUE(SaveDialog(T1()));
            EXPECT_EQ(dir.Read("out.tbl"), bytes);
        }
        EXPECT_EQ(space.options.formats.tbl.offset8, 1);
        EXPECT_EQ(space.options.formats.tbl.addToHashSize, 3);
    }

    // What is typed into the dialog is this file's from then on, not the
    // settings'.
    shower.user = [](FakeControls& c, DialogHook&) {
        c[IdSaveOffset8].text = u"9";
        c[IdSaveAddHash].text = u"200";  // past the settings' bound of 4, and above the file's 3
    };
    ASSERT_TRUE(SaveDialog(T1()));
    TblHeader header = ParseTblHeader(reinterpret_cast<const std::uint8_t*>(dir.Read("out.tbl").data()));
    EXPECT_EQ(header.Offset8, 9);
    EXPECT_EQ(header.HashSize, 1u + 4u);
    EXPECT_EQ(space.options.formats.tbl.offset8, 1);
    EXPECT_EQ(space.options.formats.tbl.addToHashSize, 3);
    shower.user = [&](FakeControls& c, DialogHook&) {
        EXPECT_EQ(c[IdSaveOffset8].text, u"9");
        EXPECT_EQ(c[IdSaveAddHash].text, u"4");
    };
    ASSERT_TRUE(SaveDialog(T1()));

    // A text table loaded over it, and one saved as text, get the settings'.
    ASSERT_TRUE(dir.Write("in.txt", "a\tb\n"));
    shower.user = [](FakeControls&, DialogHook&) {};
    shower.chosenPath = dir.Path(u"in.txt");
    shower.chosenFilter = OpenTextFilter;
    OpenDialog(T1(), 0);
    EXPECT_FALSE(T1().Tbl);
    for (TTblObjects* p : {&T1(), &T2()}) {
        if (p == &T2()) {
            Fill(T2(), {{u"x", u"y"}});
            T2().Tbl = TblOptions{.offset8 = 0, .addToHashSize = 0};
            shower.user = [](FakeControls&, DialogHook&) {};
            shower.chosenPath = dir.Path(u"out.txt");
            shower.chosenFilter = 2;
            ASSERT_TRUE(SaveDialog(T2()));
            EXPECT_FALSE(T2().Tbl);
        }
        shower.chosenPath = dir.Path(u"plain.tbl");
        shower.chosenFilter = 1;
        shower.user = [](FakeControls& c, DialogHook&) {
            EXPECT_EQ(c[IdSaveOffset8].text, u"1");
            EXPECT_EQ(c[IdSaveAddHash].text, u"3");
        };
        ASSERT_TRUE(SaveDialog(*p));
        header = ParseTblHeader(reinterpret_cast<const std::uint8_t*>(dir.Read("plain.tbl").data()));
        EXPECT_EQ(header.Offset8, 1);
        EXPECT_EQ(header.HashSize, 1u + 3u);
    }
}

}  // namespace

namespace {

// ---- Save without a dialog -------------------------------------------------

// A table opened through the dialog and saved with Save comes back as the
// very bytes it was read from, whatever the settings say: a .tbl file with
// its own header, a text file in its own encoding and shape, a string file
// with its other languages. No dialog is shown.
TEST_F(FileDialogsTest, SaveWritesAnUnchangedTableBackAsItWasWithoutADialog) {
    const Entries entries = {{u"greeting", u"\\red;Hello\\nthere"}, {u"farewell", u"Bye"}, {u"x", u""}};
    // The settings differ from every file's own choice.
    space.options.formats.tbl = TblOptions{.offset8 = 3, .addToHashSize = 9};
    space.options.formats.text.writeEncoding = TextEncoding::UTF8;
    space.options.formats.text.quoteValues = false;
    space.options.formats.text.header = false;
    space.options.formats.text.colorMacros = true;
    std::vector<std::pair<std::string, std::string>> files;
    for (const TblOptions header :
         {TblOptions{.offset8 = 0, .addToHashSize = 0}, TblOptions{.offset8 = 7, .addToHashSize = 255},
          TblOptions{.offset8 = 255, .addToHashSize = 1}}) {
        const Bytes image = TblImage(entries, header);
        files.push_back({"t" + std::to_string(files.size()) + ".tbl", std::string(image.begin(), image.end())});
    }
    // Text files as the writer writes them, in every shape.
    for (const TextEncoding encoding : {TextEncoding::Unicode, TextEncoding::UTF8, TextEncoding::ANSI})
        for (const std::int32_t format : {FormatTabbedText, FormatDiabloText})
            for (const bool quotes : {true, false})
                for (const bool header : {true, false})
                    for (const bool macros : {true, false}) {
                        if (format == FormatDiabloText && !quotes) continue;
                        FormatOptions o;
                        o.text.writeEncoding = encoding;
                        o.text.quoteValues = quotes;
                        o.text.header = header;
                        o.text.colorMacros = macros;
                        Fill(T2(), entries);
                        const std::string name = "x" + std::to_string(files.size()) + ".txt";
                        ASSERT_TRUE(SaveTableAs(T2(), dir.Path(std::u16string(name.begin(), name.end())), format, o));
                        files.push_back({name, dir.Read(name)});
                    }
    files.push_back({"s.json",
                     "[\r\n  {\"id\": 5, \"Key\": \"k\", \"enUS\": \"e\", \"deDE\": \"d\"},\r\n"
                     "  {\"id\": 9, \"Key\": \"m\", \"enUS\": \"f\", \"deDE\": \"g\"}\r\n]\r\n"});

    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(dir.Write(name.c_str(), bytes));
        shower.chosenPath = dir.Path(std::u16string(name.begin(), name.end()));
        shower.chosenFilter = OpenAllFilter;
        shower.user = [](FakeControls& c, DialogHook&) { c[IdOpenLanguage].selected = 2; };  // deDE
        OpenDialog(T1(), 0);
        ASSERT_GT(T1().Count(), 0u);
        const std::size_t dialogs = shower.shown.size();
        // Changed and changed back: the table is what was read.
        const std::u16string value = T1().Values->Get(0);
        T1().Values->Set(0, u"other");
        T1().Values->Set(0, value);
        T1().Modified = true;
        ASSERT_TRUE(SaveInPlace(T1()));
        EXPECT_EQ(shower.shown.size(), dialogs);
        EXPECT_EQ(dir.Read(name), bytes);
        EXPECT_FALSE(T1().Modified);
        EXPECT_TRUE(view1.messages.empty());
        EXPECT_TRUE(view1.questions.empty());
    }
    EXPECT_EQ(view1.source, u"s.json [deDE]");

    // A table of no file goes through the dialog.
    Fill(T2(), entries);
    T2().FileName.clear();
    T2().FileFormat = 0;
    shower.chosenPath = dir.Path(u"new.tbl");
    shower.chosenFilter = 1;
    ASSERT_TRUE(SaveInPlace(T2()));
    EXPECT_EQ(shower.shown.back().save, true);
    EXPECT_EQ(T2().FileName, dir.Path(u"new.tbl"));
    EXPECT_EQ(view2.source, u"new.tbl");
}

// What a save would lose is asked about as before; "No" writes nothing.
TEST_F(FileDialogsTest, SaveStillAsksBeforeATextFileLosesAnEntry) {
    ASSERT_TRUE(dir.Write("t.txt", "a\tb\r\n"));
    shower.chosenPath = dir.Path(u"t.txt");
    shower.chosenFilter = OpenAllFilter;
    OpenDialog(T1(), 0);
    T1().Values->Set(0, u"say \"hi\"");
    view1.answer = AskAnswer::No;
    EXPECT_FALSE(SaveInPlace(T1()));
    EXPECT_EQ(view1.questions.size(), 1u);
    EXPECT_EQ(dir.Read("t.txt"), "a\tb\r\n");
}

TEST(LanguageColumnTest, ANameMayEndInAStringFileColumn) {
    struct Case {
        std::u16string given, name;
        int language;
    };
    for (const Case& k : {Case{u"strings.json:deDE", u"strings.json", 2},
                          Case{u"C:\\m\\x.json:zhCN", u"C:\\m\\x.json", 12}, Case{u"C:\\x.json", u"C:\\x.json", -1},
                          Case{u"C:deDE", u"C:deDE", -1}, Case{u"a.json:xxXX", u"a.json:xxXX", -1},
                          Case{u"a.json:", u"a.json:", -1}, Case{u"plain.tbl", u"plain.tbl", -1}}) {
        std::u16string name = k.given;
        EXPECT_EQ(SplitLanguageColumn(name), k.language);
        EXPECT_EQ(name, k.name);
    }
}

TEST_F(FileDialogsTest, RecentFilesKeepTheLastFirstAndOnce) {
    for (const char16_t* f : {u"a", u"b", u"c", u"b", u"d"}) NoteRecentFile(space, f, 3);
    EXPECT_EQ(space.RecentFiles, (std::vector<std::u16string>{u"d", u"b", u"c"}));
}

}  // namespace
