// The command-line tool, driven in-process through RunCli: conversions and
// their exact bytes, info, merge, and that every failure leaves the output
// file alone and exits with the right status.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "VellumarkVersion.h"
#include "cli/Cli.h"
#include "formats/TblTextTbl.h"
#include "platform/Platform.h"
#include "tests/TestFiles.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Entries = std::vector<std::pair<std::u16string, std::u16string>>;

// A fresh directory per test that hands out file names as UTF-16.
class CliTempDir {
public:
    std::u16string operator/(const char* name) const { return (dir_.path() / name).u16string(); }
    // The names in the directory, sorted.
    std::vector<std::u16string> List() const {
        std::vector<std::u16string> names;
        for (const auto& entry : fs::directory_iterator(dir_.path()))
            names.push_back(entry.path().filename().u16string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    vmtest::TempDir dir_;
};

Bytes ReadBytes(const std::u16string& name) {
    std::ifstream in(fs::path(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::u16string& name, const std::string& bytes) {
    std::ofstream out(fs::path(name), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Bytes BytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

// UTF-16LE bytes of ASCII text.
Bytes Utf16Bytes(const std::string& ascii) {
    Bytes out{0xFF, 0xFE};
    for (char c : ascii) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

bool WriteTbl(const std::u16string& name, const Entries& entries, int offset8 = 1, int addToHash = 0) {
    vm::TblOptions options;
    options.offset8 = offset8;
    options.addToHashSize = addToHash;
    std::uint64_t total = 0;
    for (const auto& e : entries) total += e.first.size() + e.second.size();
    const bool ok = vm::WriteTblFile(
        name,
        [&entries](std::int32_t i, const char16_t*& key, const char16_t*& value) {
            key = entries[static_cast<std::size_t>(i)].first.c_str();
            value = entries[static_cast<std::size_t>(i)].second.c_str();
            return true;
        },
        static_cast<std::int32_t>(entries.size()), total, options);
    return ok;
}

Entries ReadAny(const std::u16string& name) {
    Entries out;
    const vm::TableEntrySink sink = [&out](const char16_t* k, const char16_t* v) { out.emplace_back(k, v); };
    const std::u16string ext = name.substr(name.size() - 4);
    const bool ok = ext == u".tbl" ? vm::ReadTblFile(name, sink, {}) : vm::ReadTextTable(name, sink, {}, {});
    EXPECT_TRUE(ok) << vm::platform::ToUtf8(name);
    return out;
}

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun Cli(std::vector<std::u16string> args) {
    std::ostringstream out, err;
    const int status = vm::RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

// Mixed entries: colour macros, newline escapes, Latin-1 letters and a
// repeated key.
const Entries Sample = {
    {u"greet", u"Hello there"}, {u"warn", u"\\red;Danger\\white; ahead"}, {u"lines", u"first\\nsecond"},
    {u"greet", u"Hello again"}, {u"umlaut", u"Gr\u00FC\u00DFe"},          {u"empty", u""},
};

// ---- Conversions -----------------------------------------------------------

TEST(CliConvert, TblToTblKeepsTheInputsHeaderNumbers) {
    CliTempDir dir;
    const auto in = dir / "in.tbl";
    const auto out = dir / "out.TBL";
    ASSERT_TRUE(WriteTbl(in, Sample, 7, 5));
    const CliRun r = Cli({u"convert", in, out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(out), ReadBytes(in));

    // Options given on the command line win over the input's numbers.
    ASSERT_EQ(Cli({u"convert", in, out, u"--offset8", u"2", u"--add-to-hash", u"0"}).status, 0);
    const Bytes image = ReadBytes(out);
    ASSERT_GE(image.size(), 21u);
    const vm::TblHeader h = vm::ParseTblHeader(image.data());
    EXPECT_EQ(h.Offset8, 2);
    EXPECT_EQ(h.HashSize, Sample.size());
}

TEST(CliConvert, TblThroughEveryTextFormAndBackIsByteIdentical) {
    CliTempDir dir;
    const auto original = dir / "original.tbl";
    const auto text = dir / "table.txt";
    const auto back = dir / "back.tbl";
    ASSERT_TRUE(WriteTbl(original, Sample, 7, 5));
    const Bytes expected = ReadBytes(original);

    const std::vector<std::vector<std::u16string>> forms = {
        {},
        {u"--encoding", u"utf8"},
        {u"--encoding", u"ansi", u"--codepage", u"1252"},
        {u"--layout", u"diablo"},
        {u"--layout", u"diablo", u"--encoding", u"utf8"},
        {u"--no-quotes"},
        {u"--no-header"},
        {u"--color-codes"},
        {u"--color-codes", u"--encoding", u"utf8", u"--layout", u"diablo"},
    };
    for (const auto& form : forms) {
        std::vector<std::u16string> toText = {u"convert", original, text};
        toText.insert(toText.end(), form.begin(), form.end());
        const CliRun r1 = Cli(toText);
        ASSERT_EQ(r1.status, 0) << r1.err;
        EXPECT_TRUE(r1.err.empty()) << r1.err;
        std::vector<std::u16string> toTbl = {u"convert", text, back, u"--offset8", u"7", u"--add-to-hash", u"5"};
        if (form.size() >= 4 && form[3] == u"1252") toTbl.insert(toTbl.end(), {u"--codepage", u"1252"});
        const CliRun r2 = Cli(toTbl);
        ASSERT_EQ(r2.status, 0) << r2.err;
        EXPECT_EQ(ReadBytes(back), expected) << "form #" << (&form - forms.data());
    }
}

TEST(CliConvert, TextToTblUsesTheDefaultHeaderNumbers) {
    CliTempDir dir;
    const auto text = dir / "t.txt";
    const auto out = dir / "t.tbl";
    WriteBytes(text, "\xEF\xBB\xBFKey\tValue\r\na\t\"b\"\r\nc\t\"d\"\r\n");
    ASSERT_EQ(Cli({u"convert", text, out}).status, 0);
    const Bytes image = ReadBytes(out);
    ASSERT_GE(image.size(), 21u);
    const vm::TblHeader h = vm::ParseTblHeader(image.data());
    EXPECT_EQ(h.Offset8, 1);
    EXPECT_EQ(h.NumElements, 2);
    EXPECT_EQ(h.HashSize, 2u);
    EXPECT_EQ(ReadAny(out), (Entries{{u"a", u"b"}, {u"c", u"d"}}));
}

TEST(CliConvert, EachTextOptionGivesTheExpectedBytes) {
    CliTempDir dir;
    const auto in = dir / "one.tbl";
    ASSERT_TRUE(WriteTbl(in, {{u"a", u"b"}}));
    const auto out = dir / "one.txt";
    struct Case {
        std::vector<std::u16string> options;
        Bytes bytes;
    };
    const std::string bom = "\xEF\xBB\xBF";
    const std::vector<Case> cases = {
        {{}, Utf16Bytes("Key\tValue\r\na\t\"b\"\r\n")},
        {{u"--no-header"}, Utf16Bytes("a\t\"b\"\r\n")},
        {{u"--no-quotes"}, Utf16Bytes("Key\tValue\r\na\tb\r\n")},
        {{u"--layout", u"diablo"}, Utf16Bytes("a,\t,\t\"b\"\r\n")},
        {{u"--encoding", u"utf8"}, BytesOf(bom + "Key\tValue\r\na\t\"b\"\r\n")},
        // UTF-8 and ANSI tabbed files carry the header whatever the option says.
        {{u"--encoding", u"utf8", u"--no-header"}, BytesOf(bom + "Key\tValue\r\na\t\"b\"\r\n")},
        {{u"--encoding=utf8", u"--layout=diablo"}, BytesOf(bom + "a,\t,\t\"b\"\r\n")},
        {{u"--encoding", u"ansi"}, BytesOf("Key\tValue\r\na\t\"b\"\r\n")},
        {{u"--encoding", u"ansi", u"--layout", u"diablo"}, BytesOf("a,\t,\t\"b\"\r\n")},
    };
    for (const auto& c : cases) {
        std::vector<std::u16string> args = {u"convert", in, out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun r = Cli(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadBytes(out), c.bytes) << "case #" << (&c - cases.data());
    }
}

TEST(CliConvert, ColourMacrosOrCodesInText) {
    CliTempDir dir;
    const auto in = dir / "c.tbl";
    const auto out = dir / "c.txt";
    ASSERT_TRUE(WriteTbl(in, {{u"a", u"\\red;x"}}));
    ASSERT_EQ(Cli({u"convert", in, out, u"--encoding", u"utf8", u"--layout", u"diablo"}).status, 0);
    EXPECT_EQ(ReadBytes(out), BytesOf("\xEF\xBB\xBF"
                                      "a,\t,\t\"\\red;x\"\r\n"));
    ASSERT_EQ(Cli({u"convert", in, out, u"--encoding", u"utf8", u"--layout", u"diablo", u"--color-codes"}).status, 0);
    EXPECT_EQ(ReadBytes(out), BytesOf("\xEF\xBB\xBF"
                                      "a,\t,\t\"\xC3\xBF"
                                      "c1x\"\r\n"));
}

TEST(CliConvert, OptionsOfOneRunDoNotLeakIntoTheNext) {
    CliTempDir dir;
    const auto in = dir / "one.tbl";
    const auto out = dir / "one.txt";
    const auto tbl = dir / "copy.tbl";
    ASSERT_TRUE(WriteTbl(in, {{u"a", u"b"}}));
    ASSERT_EQ(Cli({u"convert", in, out, u"--no-header", u"--no-quotes", u"--color-codes"}).status, 0);
    ASSERT_EQ(Cli({u"convert", out, tbl, u"--offset8", u"9", u"--add-to-hash", u"3"}).status, 0);
    ASSERT_EQ(Cli({u"convert", in, out}).status, 0);
    EXPECT_EQ(ReadBytes(out), Utf16Bytes("Key\tValue\r\na\t\"b\"\r\n"));
    ASSERT_EQ(Cli({u"convert", out, tbl}).status, 0);
    EXPECT_EQ(ReadBytes(tbl), ReadBytes(in));
}

TEST(CliConvert, TextThatCannotHoldEveryEntryIsRefusedUnlessLossy) {
    CliTempDir dir;
    const auto in = dir / "w.tbl";
    const auto out = dir / "w.txt";
    ASSERT_TRUE(WriteTbl(in, {{u"a", u"\u6F22x"}, {u"b", u"say \"hi\""}, {u"", u"v"}, {u"c", u"ok"}}));
    WriteBytes(out, "precious");
    CliRun r = Cli({u"convert", in, out, u"--encoding", u"ansi", u"--codepage", u"1252"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadBytes(out), BytesOf("precious"));
    for (const char* line : {"3 entries cannot be stored exactly in this text file:\n",
                             "  row 1, key 'a': a character is missing from the ANSI code page\n",
                             "  row 2, key 'b': the value holds a double quote\n",
                             "  row 3, key '': the key is empty or blank\n", "--lossy"})
        EXPECT_NE(r.err.find(line), std::string::npos) << line << "\n" << r.err;
    EXPECT_EQ(dir.List(), (std::vector<std::u16string>{u"w.tbl", u"w.txt"}));

    r = Cli({u"convert", in, out, u"--encoding", u"ansi", u"--codepage", u"1252", u"--lossy"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: 3 entries were not stored exactly in '" + vm::platform::ToUtf8(out) +
                         "' (first: row 1, key 'a': a character is missing from the ANSI code page)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadBytes(out), BytesOf("Key\tValue\r\na\t\"?x\"\r\nb\t\"say \"hi\"\"\r\n\t\"v\"\r\nc\t\"ok\"\r\n"));

    // Representable text gives no warning, and the code page is honoured.
    ASSERT_TRUE(WriteTbl(in, {{u"a", u"\u00E9\u20AC"}}));
    const CliRun quiet = Cli({u"convert", in, out, u"--encoding", u"ansi", u"--codepage", u"1252"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_TRUE(quiet.err.empty()) << quiet.err;
    EXPECT_EQ(ReadBytes(out), BytesOf("Key\tValue\r\na\t\"\xE9\x80\"\r\n"));
}

TEST(CliConvert, ReadsTextInTheEncodingAskedFor) {
    CliTempDir dir;
    const auto in = dir / "latin.txt";
    const auto out = dir / "latin.tbl";
    // 0xE9 0x80: "é€" in code page 1252; no mark, and not UTF-8.
    WriteBytes(in, "a\t\"\xE9\x80\"\r\n");
    ASSERT_EQ(Cli({u"convert", in, out, u"--from-encoding", u"ansi", u"--codepage", u"1252"}).status, 0);
    EXPECT_EQ(ReadAny(out), (Entries{{u"a", u"\u00E9\u20AC"}}));
    // A lone continuation byte stops UTF-8 decoding: a corrupt input.
    WriteBytes(in, "a\t\"\x80\"\r\n");
    const CliRun bad = Cli({u"convert", in, dir / "x.tbl", u"--from-encoding", u"utf8"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_FALSE(fs::exists(fs::path(dir / "x.tbl")));
}

// ---- info ------------------------------------------------------------------

TEST(CliInfo, TblHeaderFieldsAndChecksum) {
    CliTempDir dir;
    const auto name = dir / "i.tbl";
    ASSERT_TRUE(WriteTbl(name, Sample, 3, 4));
    Bytes image = ReadBytes(name);
    const vm::TblHeader h = vm::ParseTblHeader(image.data());
    const CliRun r = Cli({u"info", name});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto has = [&r](const std::string& line) {
        EXPECT_NE(r.out.find(line + "\n"), std::string::npos) << "missing '" << line << "' in\n" << r.out;
    };
    char crc[8];
    std::snprintf(crc, sizeof crc, "0x%04X", h.Crc);
    has("NumElements: 6");
    has("HashSize: 10");
    has("Offset8: 3");
    has("DataStart: " + std::to_string(21 + 2 * 6 + 17 * 10));
    has("MaxProbe: " + std::to_string(h.MaxProbe));
    has("FileSize: " + std::to_string(image.size()));
    has(std::string("Crc: ") + crc);
    has(std::string("ComputedCrc: ") + crc + " (matches)");
    has("Entries: 6");

    // A changed byte in the string area: still readable, checksum differs.
    image[h.DataStart] ^= 0x20;
    WriteBytes(name, std::string(image.begin(), image.end()));
    const CliRun changed = Cli({u"info", name});
    EXPECT_EQ(changed.status, 0) << changed.err;
    EXPECT_NE(changed.out.find("(does not match the stored Crc)"), std::string::npos) << changed.out;
}

TEST(CliInfo, BrokenTblIsReportedWithWhatCanBeShown) {
    CliTempDir dir;
    const auto name = dir / "b.tbl";
    ASSERT_TRUE(WriteTbl(name, Sample));
    Bytes image = ReadBytes(name);
    // FileSize beyond the file: no checksum range, and the reader refuses it.
    image[17] = 0xFF;
    image[18] = 0xFF;
    WriteBytes(name, std::string(image.begin(), image.end()));
    const CliRun r = Cli({u"info", name});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("NumElements: 6\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ComputedCrc: none"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("corrupt"), std::string::npos) << r.err;

    WriteBytes(name, "tiny");
    const CliRun tiny = Cli({u"info", name});
    EXPECT_EQ(tiny.status, 1);
    EXPECT_TRUE(tiny.out.empty()) << tiny.out;
}

TEST(CliInfo, AValuePastItsStoredLengthIsAWarning) {
    CliTempDir dir;
    const auto name = dir / "s.tbl";
    const auto out = dir / "s.txt";
    ASSERT_TRUE(WriteTbl(name, {{u"a", u"one"}, {u"b", u"two and more"}}));
    Bytes image = ReadBytes(name);
    const std::size_t slot = image[23] | (image[24] << 8);  // entry 2
    image[21 + 4 + 17 * slot + 15] = 3;                     // three characters: "two"
    WriteBytes(name, std::string(image.begin(), image.end()));
    const std::string warning =
        "1 value(s) go on past their stored length; they were read, and are written back, "
        "up to it (first: row 2)";
    const CliRun info = Cli({u"info", name});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.err.find("warning: '" + vm::platform::ToUtf8(name) + "': " + warning), std::string::npos)
        << info.err;

    WriteBytes(out, "precious");
    const CliRun strict = Cli({u"convert", name, out, u"--strict"});
    EXPECT_EQ(strict.status, 1);
    EXPECT_NE(strict.err.find("error: '" + vm::platform::ToUtf8(name) + "': " + warning), std::string::npos)
        << strict.err;
    EXPECT_EQ(ReadBytes(out), BytesOf("precious"));
    const CliRun r = Cli({u"convert", name, out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAny(out), (Entries{{u"a", u"one"}, {u"b", u"two"}}));
}

TEST(CliInfo, TextEncodingAndCount) {
    CliTempDir dir;
    const auto name = dir / "t.txt";
    WriteBytes(name, "\xEF\xBB\xBFKey\tValue\r\na\t\"1\"\r\nb\t\"2\"\r\n// note\r\na\t\"3\"\r\n");
    CliRun r = Cli({u"info", name});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Encoding: UTF-8\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Entries: 3\n"), std::string::npos) << r.out;

    const Bytes utf16 = Utf16Bytes("a\t\"1\"\r\n");
    WriteBytes(name, std::string(utf16.begin(), utf16.end()));
    r = Cli({u"info", name});
    EXPECT_NE(r.out.find("Encoding: UTF-16LE\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Entries: 1\n"), std::string::npos) << r.out;

    WriteBytes(name, "a\t\"\xE9\"\r\n");
    r = Cli({u"info", name, u"--codepage", u"1252"});
    EXPECT_NE(r.out.find("Encoding: ANSI (code page 1252)\n"), std::string::npos) << r.out;

    EXPECT_EQ(Cli({u"info", name, u"--layout", u"tabbed"}).status, 2);  // a write option
    EXPECT_EQ(Cli({u"info", dir / "missing.txt"}).status, 1);
}

// ---- merge -----------------------------------------------------------------

TEST(CliMerge, CopiesValuesByKeyAndOccurrence) {
    CliTempDir dir;
    const auto source = dir / "source.txt";
    const auto target = dir / "target.txt";
    const auto out = dir / "out.txt";
    WriteBytes(source,
               "\xEF\xBB\xBFKey\tValue\r\nb\t\"B1\"\r\nrep\t\"R1\"\r\nrep\t\"R2\"\r\nnew\t\"N\"\r\nc\t\"c\"\r\n");
    WriteBytes(target,
               "\xEF\xBB\xBFKey\tValue\r\nrep\t\"r1\"\r\nb\t\"b\"\r\nc\t\"c\"\r\nrep\t\"r2\"\r\nrep\t\"r3\"\r\n");
    const CliRun r = Cli({u"merge", source, target, out, u"--encoding", u"utf8"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("3 values changed\n"), std::string::npos) << r.out;
    EXPECT_EQ(ReadAny(out), (Entries{{u"rep", u"R1"}, {u"b", u"B1"}, {u"c", u"c"}, {u"rep", u"R2"}, {u"rep", u"r3"}}));
}

TEST(CliMerge, TblTargetKeepsItsHeaderNumbers) {
    CliTempDir dir;
    const auto source = dir / "s.tbl";
    const auto target = dir / "t.tbl";
    const auto out = dir / "o.tbl";
    ASSERT_TRUE(WriteTbl(source, {{u"k", u"new"}}, 1, 0));
    ASSERT_TRUE(WriteTbl(target, {{u"k", u"old"}, {u"m", u"keep"}}, 9, 6));
    const CliRun r = Cli({u"merge", source, target, out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1 values changed\n"), std::string::npos) << r.out;
    const auto expected = dir / "expected.tbl";
    ASSERT_TRUE(WriteTbl(expected, {{u"k", u"new"}, {u"m", u"keep"}}, 9, 6));
    EXPECT_EQ(ReadBytes(out), ReadBytes(expected));
}

// ---- update, translate, copy-time-dialogs -----------------------------------

TEST(CliFileTools, UpdateAndTranslateGoThroughTheOtherTable) {
    CliTempDir dir;
    const auto table = dir / "table.txt";
    const auto other = dir / "other.txt";
    const auto file = dir / "file.txt";
    const auto out = dir / "out.txt";
    WriteBytes(table, "t0\tzero\nK1\tone\nt2\ttwo\n");
    WriteBytes(other, "K0\tS0\nK1\tS1\nK2\tS2\n");
    WriteBytes(file, "S2\tnew two\nS1\tnew one\n");

    CliRun r = Cli({u"update", table, other, file, out, u"--encoding", u"utf8"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("2 values changed\n"), std::string::npos) << r.out;
    EXPECT_EQ(ReadAny(out), (Entries{{u"t0", u"zero"}, {u"K1", u"new one"}, {u"t2", u"new two"}}));

    // Translate: file key S1 is other's value of key K1; table's key K1 gets it.
    r = Cli({u"translate", table, other, file, out, u"--encoding", u"utf8"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1 values changed\n"), std::string::npos) << r.out;
    EXPECT_EQ(ReadAny(out), (Entries{{u"t0", u"zero"}, {u"K1", u"new one"}, {u"t2", u"two"}}));
}

TEST(CliFileTools, CopyTimeDialogsAndFailures) {
    CliTempDir dir;
    const auto source = dir / "s.tbl";
    const auto target = dir / "t.tbl";
    const auto out = dir / "o.tbl";
    ASSERT_TRUE(WriteTbl(source, {{u"a", u"150Go"}, {u"b", u"x"}}, 1, 0));
    ASSERT_TRUE(WriteTbl(target, {{u"a", u"007 Hi"}, {u"b", u"12"}}, 3, 2));
    CliRun r = Cli({u"copy-time-dialogs", source, target, out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1 values changed\n"), std::string::npos) << r.out;
    const auto expected = dir / "expected.tbl";
    ASSERT_TRUE(WriteTbl(expected, {{u"a", u"150 Hi"}, {u"b", u"12"}}, 3, 2));
    EXPECT_EQ(ReadBytes(out), ReadBytes(expected));

    WriteBytes(out, "precious");
    EXPECT_EQ(Cli({u"copy-time-dialogs", dir / "missing.tbl", target, out}).status, 1);
    EXPECT_EQ(Cli({u"update", target, source, dir / "missing.txt", out}).status, 1);
    EXPECT_EQ(Cli({u"translate", target, source, out}).status, 2);
    EXPECT_EQ(ReadBytes(out), BytesOf("precious"));
}

// ---- Failures ----------------------------------------------------------------

TEST(CliErrors, MissingOrCorruptInputLeavesOutputAlone) {
    CliTempDir dir;
    const auto out = dir / "out.txt";
    CliRun r = Cli({u"convert", dir / "missing.tbl", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.tbl"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no such file"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(fs::path(out)));

    const auto corrupt = dir / "corrupt.tbl";
    WriteBytes(corrupt, std::string(64, '\x7F'));
    WriteBytes(out, "precious");
    r = Cli({u"convert", corrupt, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("corrupt"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(out), BytesOf("precious"));

    r = Cli({u"merge", dir / "missing.txt", corrupt, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadBytes(out), BytesOf("precious"));

    // An input without entries is not written out as nothing.
    const auto empty = dir / "empty.txt";
    WriteBytes(empty, "\xEF\xBB\xBFKey\tValue\r\n");
    r = Cli({u"convert", empty, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no entries"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(out), BytesOf("precious"));
    WriteBytes(empty, "");
    EXPECT_EQ(Cli({u"convert", empty, out}).status, 1);
    EXPECT_EQ(ReadBytes(out), BytesOf("precious"));
}

TEST(CliErrors, WrongUsageExitsWithTwoAndWritesNothing) {
    CliTempDir dir;
    const auto in = dir / "in.tbl";
    const auto out = dir / "out.tbl";
    ASSERT_TRUE(WriteTbl(in, {{u"a", u"b"}}));
    WriteBytes(out, "precious");
    const std::vector<std::vector<std::u16string>> bad = {
        {},
        {u"frobnicate"},
        {u"convert"},
        {u"convert", in},
        {u"convert", in, out, dir / "third"},
        {u"convert", in, out, u"--bogus"},
        {u"convert", in, out, u"--offset8", u"256"},
        {u"convert", in, out, u"--offset8", u"-1"},
        {u"convert", in, out, u"--offset8", u"99999999999999999999"},
        {u"convert", in, out, u"--add-to-hash", u"x"},
        {u"convert", in, out, u"--add-to-hash", u""},
        {u"convert", in, out, u"--add-to-hash"},
        {u"convert", in, out, u"--codepage", u"70000"},
        {u"convert", in, out, u"--codepage", u"12345"},  // no such code page
        {u"convert", in, out, u"--layout", u"round"},
        {u"convert", in, out, u"--encoding", u"auto"},
        {u"convert", in, out, u"--from-encoding", u"ebcdic"},
        {u"convert", in, out, u"--no-quotes=yes"},
        {u"convert", in, u""},
        {u"merge", in, out},
        {u"info"},
    };
    for (const auto& args : bad) {
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, 2) << "args #" << (&args - bad.data()) << ": " << r.err;
        EXPECT_NE(r.err.find("error: "), std::string::npos);
    }
    EXPECT_EQ(ReadBytes(out), BytesOf("precious"));
}

std::string ManyEntries(int count) {
    std::string text = "\xEF\xBB\xBFKey\tValue\r\n";
    for (int i = 0; i < count; ++i) text += "k" + std::to_string(i) + "\t\"v\"\r\n";
    return text;
}

TEST(CliErrors, TablesTooLargeForTblAreRefused) {
    CliTempDir dir;
    const auto in = dir / "big.txt";
    const auto out = dir / "big.tbl";
    WriteBytes(out, "precious");
    WriteBytes(in, ManyEntries(70000));
    CliRun r = Cli({u"convert", in, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("65535"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(out), BytesOf("precious"));

    // As text the same table is fine.
    r = Cli({u"convert", in, dir / "big2.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAny(dir / "big2.txt").size(), 70000u);

    WriteBytes(in, ManyEntries(65500));
    r = Cli({u"convert", in, out, u"--add-to-hash", u"100"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("65536"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(out), BytesOf("precious"));
    // Refused writes leave no temporary file behind.
    EXPECT_EQ(dir.List(), (std::vector<std::u16string>{u"big.tbl", u"big.txt", u"big2.txt"}));
    EXPECT_EQ(Cli({u"convert", in, out, u"--add-to-hash", u"36"}).status, 0);

    // A value longer than the 65535 bytes of a .tbl string: refused with
    // the entry named, or written cut with --lossy and a warning.
    std::string chinese;
    for (int i = 0; i < 30000; ++i) chinese += "\xE4\xB8\xAD";
    WriteBytes(in, "\xEF\xBB\xBFKey\tValue\r\na\t\"1\"\r\nlong\t\"" + chinese + "\"\r\n");
    const Bytes before = ReadBytes(out);
    r = Cli({u"convert", in, out, u"--strict"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("1 entry cannot be stored exactly in this .tbl file:\n  row 2, key 'long': it is longer than "
                         "the 65535 bytes a .tbl file holds\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--lossy"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(out), before);
    r = Cli({u"convert", in, out, u"--lossy"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: 1 entry was not stored exactly in"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAny(out), (Entries{{u"a", u"1"}, {u"long", std::u16string(21845, u'\u4E2D')}}));
}

TEST(CliErrors, UnwritableOutputIsAFailure) {
    CliTempDir dir;
    const auto in = dir / "in.tbl";
    ASSERT_TRUE(WriteTbl(in, {{u"a", u"b"}}));
    for (const char* name : {"no-such-dir/out.tbl", "no-such-dir/out.txt", "no-such-dir/out.json"}) {
        const CliRun r = Cli({u"convert", in, dir / name});
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_NE(r.err.find("cannot write '" + vm::platform::ToUtf8(dir / name) + "': the folder does not exist"),
                  std::string::npos)
            << r.err;
    }
    // The output is a directory.
    fs::create_directories(fs::path(dir / "adir.txt"));
    EXPECT_EQ(Cli({u"convert", in, dir / "adir.txt"}).status, 1);
}

// ---- Help, version and the real program ------------------------------------

TEST(CliHelp, HelpAndVersion) {
    for (const char16_t* arg : {u"--help", u"-h", u"help"}) {
        const CliRun r = Cli({arg});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, vm::CliHelpText());
    }
    EXPECT_EQ(Cli({u"convert", u"--help"}).out, vm::CliHelpText());
    const CliRun v = Cli({u"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "vellumark-cli " VM_VERSION "\n");
    // The version shown is the one the resources' version block numbers.
    std::string shown = std::to_string(VM_VERSION_MAJOR) + "." + std::to_string(VM_VERSION_MINOR);
    if (VM_VERSION_PATCH != 0) shown += "." + std::to_string(VM_VERSION_PATCH);
    EXPECT_EQ(shown, VM_VERSION);
}

#if !defined(_WIN32) && defined(VM_CLI_PATH)
int RunProgram(const std::string& arguments) {
    const std::string command = std::string("'") + VM_CLI_PATH + "' " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuoted(const std::u16string& name) { return "'" + vm::platform::ToUtf8(name) + "'"; }
#endif

TEST(CliProgram, ExitStatusOfTheRealBinary) {
#if defined(_WIN32) || !defined(VM_CLI_PATH)
    GTEST_SKIP() << "the program is only run natively on POSIX";
#else
    if (!fs::exists(VM_CLI_PATH)) GTEST_SKIP() << VM_CLI_PATH << " not built";
    CliTempDir dir;
    const auto in = dir / "in.tbl";
    const auto out = dir / "out.txt";
    ASSERT_TRUE(WriteTbl(in, Sample));
    EXPECT_EQ(RunProgram("--version"), 0);
    EXPECT_EQ(RunProgram("convert " + ShellQuoted(in) + " " + ShellQuoted(out) + " --encoding utf8"), 0);
    EXPECT_EQ(ReadAny(out), Sample);
    EXPECT_EQ(RunProgram("convert " + ShellQuoted(dir / "missing.tbl") + " " + ShellQuoted(out)), 1);
    EXPECT_EQ(RunProgram("convert"), 2);
#endif
}

}  // namespace
