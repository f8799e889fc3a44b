// Writes the seed corpora of the fuzz targets with our own writers:
// fuzz_make_seeds DIR makes DIR/<target>/ for every target. The seeds are
// committed; run this again only when the formats change.

#include <fstream>
#include <iostream>

#include "formats/JsonStrings.h"
#include "tests/fuzz/FuzzCommon.h"

namespace {

namespace fs = std::filesystem;
using vmfuzz::Entries;

const Entries Tables[] = {
    {{u"x", u""}},
    {{u"a", u"1"}, {u"b", u"\\red;two\\nlines"}, {u"a", u"dup"}},
    {{u"\u00E9t\u00E9", u"\u0416\u4E2D\U0001F600"}, {u"k k ", u"\\color;A\\grey;"}, {u"q", u"tab\there, comma"}},
};

Entries Numbered(int count) {
    Entries entries;
    for (int i = 0; i < count; ++i)
        entries.emplace_back(u"key" + vm::IntToDecimal(i), u"\\gold;value " + vm::IntToDecimal(i * 7));
    return entries;
}

void Save(const fs::path& dir, const std::string& name, const std::string& bytes) {
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Tbl(const Entries& entries, int extraSlots = 0) {
    std::vector<std::uint8_t> image;
    vm::TblOptions options;
    options.addToHashSize = extraSlots;
    if (!vm::BuildTblImage(vmfuzz::SourceOf(entries), static_cast<std::int32_t>(entries.size()),
                           vmfuzz::TotalChars(entries), image, options))
        vmfuzz::Fail("BuildTblImage", __FILE__, __LINE__);
    return std::string(image.begin(), image.end());
}

std::string Text(const vmfuzz::ScratchDir& scratch, const Entries& entries, vm::TextLayout layout,
                 vm::TextEncoding encoding) {
    const std::string file = scratch.File("seed.txt");
    // ANSI cannot hold every character of the tables; the seeds keep the "?".
    vm::WriteReport report;
    report.allowLossy = true;
    vm::TextOptions options;
    options.layout = layout;
    options.writeEncoding = encoding;
    if (!vm::WriteTextTable(vm::platform::FromUtf8(file), vmfuzz::SourceOf(entries),
                            static_cast<std::int32_t>(entries.size()), options, {}, &report))
        vmfuzz::Fail("WriteTextTable", __FILE__, __LINE__);
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Raw entries for the round trip: UTF-16LE units, U+0000 between entries,
// U+0001 between key and value.
std::string RawEntries(const Entries& entries) {
    std::string out;
    auto put = [&out](char16_t c) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    };
    for (const auto& [key, value] : entries) {
        for (char16_t c : key) put(c);
        put(1);
        for (char16_t c : value) put(c);
        put(0);
    }
    return out;
}

std::string Widened(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_make_seeds DIR\n";
        return 2;
    }
    const fs::path root = argv[1];
    vm::platform::AnsiCodePage = 1252;
    vmfuzz::ScratchDir scratch;

    int n = 0;
    for (const Entries& table : {Tables[0], Tables[1], Tables[2], Numbered(20)}) {
        for (int extra : {0, 7}) {
            const std::string image = Tbl(table, extra);
            const std::string name = "seed" + std::to_string(n++) + ".tbl";
            Save(root / "fuzz_tbl_read", name, image);
            Save(root / "fuzz_tbl_roundtrip", name, image);
        }
    }
    // A table whose strings their text would not give back: a literal
    // backslash and "n", a carriage return, a four-byte sequence, an
    // overlong form, a stray byte, a colour word that is text.
    {
        const std::vector<std::pair<std::string, std::string>> raw = {{"literal", "C:\\new"},
                                                                      {"crlf", "one\r\ntwo"},
                                                                      {"k\xF0\x9F\x98\x80", "four"},
                                                                      {"overlong", "\xC0\xAF"},
                                                                      {"stray",
                                                                       "ab\xED\xA0\x02"
                                                                       "cd"},
                                                                      {"word", "\\red; text"}};
        const Entries blank(raw.size());
        std::vector<std::uint8_t> image;
        vm::BuildTblImage(vmfuzz::SourceOf(blank), static_cast<std::int32_t>(raw.size()), 0, image, {},
                          [&raw](std::int32_t i, std::string_view& key, std::string_view& value) {
                              key = raw[static_cast<std::size_t>(i)].first;
                              value = raw[static_cast<std::size_t>(i)].second;
                          });
        const std::string bytes(image.begin(), image.end());
        Save(root / "fuzz_tbl_read", "kept-bytes.tbl", bytes);
        Save(root / "fuzz_tbl_roundtrip", "kept-bytes.tbl", bytes);
    }

    // Include lines for the text reader: the files its target provides, the
    // input itself, a loop, a missing file and a name cut by a comment.
    const std::string includes =
        "#\"a.txt\"\r\n#include \"input.txt\"\r\n#\"loop.txt\"\r\n#\"sub/deep.txt\"\r\n"
        "#\"missing.txt\"\r\n#\"a//b.txt\"\r\n// comment\r\nk // note\tv\r\n";
    const vm::TextEncoding encodings[] = {vm::TextEncoding::Unicode, vm::TextEncoding::UTF8, vm::TextEncoding::ANSI};
    n = 0;
    for (int t = 1; t < 3; ++t) {
        for (vm::TextLayout layout : {vm::TextLayout::Tabbed, vm::TextLayout::DiabloII}) {
            for (vm::TextEncoding encoding : encodings) {
                const std::string text = Text(scratch, Tables[t], layout, encoding);
                const char selector = static_cast<char>(n % 64);
                const std::string name = "seed" + std::to_string(n++) + ".txt";
                Save(root / "fuzz_text_roundtrip", name, selector + text);
                const std::string more = encoding == vm::TextEncoding::Unicode ? Widened(includes) : includes;
                Save(root / "fuzz_text_read", name, selector + text + more);
            }
        }
    }
    // String files: the game's layout from an empty file, and the layouts
    // of small files of other shapes (minified with escapes, LF with wide
    // indents, other field orders) grown by the writer.
    const char* const jsonBases[] = {
        nullptr,
        "[{\"id\":1,\"Key\":\"a\",\"enUS\":\"\\u003cb\\u003e\",\"deDE\":\"\\u00e9\\n\"}]",
        "[\n    {\n        \"Key\": \"k\",\n        \"id\": 9,\n        \"enUS\": \"\xC3\xBF"
        "cMx\",\n        \"mod\": [1, {\"n\": null}]\n    }\n]",
    };
    n = 0;
    for (const char* base : jsonBases) {
        vm::JsonDocument doc = vm::EmptyJsonDocument();
        if (base && !vm::ParseJsonStrings(base, 0, doc)) vmfuzz::Fail("ParseJsonStrings", __FILE__, __LINE__);
        for (int t = 0; t < 3; ++t) {
            const Entries& table = Tables[t];
            std::string bytes;
            if (!vm::BuildJsonColumn({&doc, nullptr, 0, 1}, vmfuzz::SourceOf(table), nullptr,
                                     static_cast<std::int32_t>(table.size()), bytes))
                vmfuzz::Fail("BuildJsonColumn", __FILE__, __LINE__);
            const std::string selectors = {static_cast<char>(n), static_cast<char>(n * 5 + 1)};
            Save(root / "fuzz_json_roundtrip", "seed" + std::to_string(n++) + ".json", selectors + bytes);
        }
    }

    // The header of tabbed files and a few odd lines without any mark.
    Save(root / "fuzz_text_read", "plain.txt",
         std::string(1, '\x03') + "Key\tValue\r\n" + includes + "x\t\"q\"z\"\r\n");
    // Include lines that leave the folder: by "..", by a link, by the
    // current directory and by an absolute name.
    Save(root / "fuzz_text_read", "confined.txt",
         std::string(1, '\x13') +
             "a\t1\r\n#\"cwd.txt\"\r\n#\"link.txt\"\r\n#\"sub/../../outside.txt\"\r\n"
             "#\"/etc/hostname\"\r\n#\"../outside.txt\"\r\n");
    // Entries a text file cannot hold, for the round trip's check.
    const Entries awkward = {{u"", u"empty key"},    {u"   ", u"blank"},          {u"a\tb", u"tab"},
                             {u"a,b", u"comma"},     {u"a//b", u"comment"},       {u"#inc", u"\"x.txt\""},
                             {u"line\nbreak", u"v"}, {u"k", u"cr\rhere"},         {u"k", u"say \"hi\""},
                             {u"Key", u"Value"},     {u"\u00FF\u00FEmark", u"v"}, {u"k", u"\u4E2D"},
                             {u"ok", u"\\n\\red;"}};
    Save(root / "fuzz_text_roundtrip", "awkward.txt", std::string(1, '\x40') + RawEntries(awkward));
    Save(root / "fuzz_text_roundtrip", "awkward-diablo.txt", std::string(1, '\x6C') + RawEntries(awkward));
    Save(root / "fuzz_text_roundtrip", "header-first.txt",
         std::string(1, '\x68') + RawEntries({{u"Key", u"Value"}, {u"b", u"2"}}));
    std::cout << "seeds written to " << root << "\n";
    return 0;
}
