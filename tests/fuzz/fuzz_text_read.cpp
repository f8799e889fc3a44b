// The text reader over arbitrary bytes in every encoding choice, with
// include lines that reach a few files of the target's own and the input
// itself. Input: one selector byte (code page, layout, header setting,
// encoding choice), then the file's bytes.
//
// Every entry must look like something the parser can cut out of a line,
// a byte-order mark must make the encoding choice irrelevant, nothing from
// outside the input's folder may come in (a file beside it and a link to
// that file hold a key that must never be read), the include budgets bound
// the entries, and the report agrees with the result.

#include <cstring>

#include "formats/FormatLimits.h"
#include "tests/fuzz/FuzzCommon.h"

namespace {

vmfuzz::ScratchDir* g_dir = nullptr;

constexpr int CodePages[] = {1252, 1251, 936, 65001};
constexpr const char* Headers[] = {"Key\tValue", "Id\tText,Key\tValue"};

std::string Utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

void CheckEntry(const char16_t* key, const char16_t* value) {
    const std::u16string k(key), v(value);
    FUZZ_CHECK(k != u"OUTSIDE");  // only in files outside the folder
    // The key ends at the first tab, comma, CR, LF or double slash; a
    // line starting with "#" is an include, and empty or blank keys are
    // skipped.
    FUZZ_CHECK(!k.empty());
    FUZZ_CHECK(k.find_first_not_of(u' ') != std::u16string::npos);
    FUZZ_CHECK(k.find_first_of(u"\t,\r\n") == std::u16string::npos);
    FUZZ_CHECK(k.find(u"//") == std::u16string::npos);
    FUZZ_CHECK(k[0] != u'#');
    // A value ends at its closing quote, CR or LF.
    FUZZ_CHECK(v.find_first_of(u"\"\r\n") == std::u16string::npos);
    FUZZ_CHECK(v.size() < vm::DisplayBufferUnits);
}

}  // namespace

// Small files keep every include budget small, and so each run fast.
constexpr vm::ReadLimits Limits{4096, false};

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static vmfuzz::ScratchDir dir;
    g_dir = &dir;
    // The input's folder is "in"; its include lines reach these files.
    dir.Write("in/a.txt",
              "\xEF\xBB\xBF"
              "a1\tone\r\na2,\t,\t\"two\"\r\n");
    dir.Write("in/w.txt", Utf16File(u"w\t\"\\red;x\"\r\n#include \"a.txt\"\r\n"));
    dir.Write("in/loop.txt",
              "\xEF\xBB\xBF"
              "l\tv\r\n#\"loop.txt\"\r\n");
    dir.Write("in/sub/deep.txt", Utf16File(u"d\tdeep\r\n#\"../w.txt\"\r\n"));
    dir.Write("in/empty.txt", "");
    // Every file here has a byte-order mark, so that a marked input reads
    // the same under every encoding choice, includes and all. Outside the
    // folder, reached by "..", by an absolute name and by a link, and in
    // the current directory: a key no read may deliver.
    dir.Write("outside.txt",
              "\xEF\xBB\xBF"
              "OUTSIDE\tleaked\r\n");
    dir.Write("in/cwd/cwd.txt",
              "\xEF\xBB\xBF"
              "OUTSIDE\tleaked\r\n");
    if (symlink((dir.path() + "/outside.txt").c_str(), dir.File("in/link.txt").c_str()) != 0)
        vmfuzz::Fail("symlink", __FILE__, __LINE__);
    if (chdir(dir.File("in/cwd").c_str()) != 0) vmfuzz::Fail("chdir", __FILE__, __LINE__);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned selector = data[0];
    const std::uint8_t* bytes = data + 1;
    const std::size_t length = size - 1;
    vm::platform::AnsiCodePage = CodePages[selector & 3];
    // The layout does not matter to a read: both are read whatever it says.
    vm::TextOptions options;
    options.layout = selector & 4 ? vm::TextLayout::DiabloII : vm::TextLayout::Tabbed;
    options.skippedHeaders = Headers[(selector >> 3) & 1];

    // Include lines naming "input.txt" read these very bytes again.
    g_dir->Write("in/input.txt", std::string(reinterpret_cast<const char*>(bytes), length));
    const std::vector<std::uint8_t> padded = vmfuzz::Padded(bytes, length, 4);

    auto read = [&](vm::TextEncoding choice, vmfuzz::Entries& entries) {
        vm::ReadReport report;
        options.readEncoding = choice;
        const bool ok = vm::ReadTextImage(
            padded.data(), length, g_dir->Wide("in"),
            [&](const char16_t* k, const char16_t* v) {
                CheckEntry(k, v);
                entries.emplace_back(k, v);
            },
            options, Limits, &report);
        if (length == 0) FUZZ_CHECK(!ok && entries.empty());
        FUZZ_CHECK(ok == (report.failure == vm::ReadFailure::None));
        if (report.failure == vm::ReadFailure::IncludeOutside) FUZZ_CHECK(!report.failureName.empty());
        // The first file gives at most one entry per line; its includes at
        // most the budget.
        FUZZ_CHECK(entries.size() <= length + vm::IncludeEntryBudget);
        FUZZ_CHECK((report.missingIncludes == 0) == report.firstMissingInclude.empty());
        FUZZ_CHECK((report.deepIncludes == 0) == report.firstDeepInclude.empty());
        return ok;
    };

    // One encoding choice per run (Unicode, UTF8, ANSI, Autodetect) keeps
    // the runs fast; with a byte-order mark every other choice must give
    // the same.
    const auto choice = static_cast<vm::TextEncoding>((selector >> 4) & 3);
    vmfuzz::Entries first;
    const bool ok = read(choice, first);
    const bool marked = (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) ||
                        (length >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0);
    if (marked) {
        for (int c = 0; c < 4; ++c) {
            if (c == static_cast<int>(choice)) continue;
            vmfuzz::Entries other;
            FUZZ_CHECK(read(static_cast<vm::TextEncoding>(c), other) == ok);
            vmfuzz::CheckSameEntries(first, other, "a byte-order mark decides the encoding");
        }
    }
    return 0;
}
