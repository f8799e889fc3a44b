// Whatever the text reader makes of the input is written as text in every
// encoding and read back. Input: one selector byte (reading encoding,
// layout written, quoting, colour codes, header), then the file's bytes.
//
// What a text file cannot hold, and so what the expected entries account
// for: line breaks in a value (written as backslash-"n"); characters the
// ANSI code page lacks (written as "?"); colour codes in text that the
// reader turns into macros (so a display value comes back as the reader
// makes it of the written text); a first line in a header-less file that
// starts like the header; and an ANSI file whose first bytes look like a
// byte-order mark. The reader's own entries never have empty or blank
// keys, tabs, commas or double slashes in keys, or quotes in values, so
// those need no exception.

#include <cstring>

#include "FuzzCommon.h"
#include "formats/Global.h"

namespace {

vmfuzz::ScratchDir* g_dir = nullptr;
vmfuzz::AnsiModel g_ansi;

// Inputs stay small enough that no writer limit cuts a key or value.
constexpr std::size_t MaxInput = 16384;

// LF as the newline escape, CR dropped: how the writer keeps a value on
// its line.
std::u16string SingleLine(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'\n') out += u"\\n";
        else if (c != u'\r') out.push_back(c);
    }
    return out;
}

struct Written {
    vm::TextLayout layout;
    vm::TextEncoding encoding;
};

// The entries a file written from `entries` must read back as, or false
// when the format cannot hold the table at all.
bool Expected(const vmfuzz::Entries& entries, const Written& w, vmfuzz::Entries& out) {
    const bool ansi = w.encoding == vm::TextEncoding::ANSI;
    const bool macros = vm::ColorApiTXT || ansi;
    const bool tabbed = w.layout == vm::TextLayout::Tabbed;
    out.clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::u16string key = ansi ? g_ansi.Map(entries[i].first) : entries[i].first;
        std::u16string text = SingleLine(entries[i].second);
        if (ansi) text = g_ansi.Map(text);
        if (!macros) text = vmfuzz::ToStored(text, false);
        if (i == 0) {
            const std::u16string line = key + (tabbed ? (vm::QuoteValueTTF ? u"\t\"" : u"\t") : u",\t,\t\"") + text;
            // Without a header line, a first line that starts like the
            // header is taken for one.
            const bool headerWritten = tabbed && (w.encoding != vm::TextEncoding::Unicode || vm::AddHeader);
            if (!headerWritten && line.compare(0, 9, u"Key\tValue") == 0) continue;
            // Without a header or mark, an ANSI file starting with the bytes
            // of a mark is read in that encoding.
            if (ansi && !tabbed && (key.compare(0, 2, u"\u00FF\u00FE") == 0 || key.compare(0, 3, u"\u00EF\u00BB\u00BF") == 0))
                return false;
        }
        out.emplace_back(key, vmfuzz::ToDisplay(text));
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vm::ResetOptions();
    vm::platform::AnsiCodePage = 1252;
    g_ansi.Build();
    static vmfuzz::ScratchDir dir;
    g_dir = &dir;
    // Include lines in the input find nothing here.
    if (chdir(dir.path().c_str()) != 0) vmfuzz::Fail("chdir", __FILE__, __LINE__);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > MaxInput) return 0;
    const unsigned selector = data[0];
    const std::vector<std::uint8_t> padded = vmfuzz::Padded(data + 1, size - 1, 4);

    vm::ResetOptions();
    const vm::TextEncoding readAs = static_cast<vm::TextEncoding>(selector & 3);
    vmfuzz::Entries entries;
    vm::ReadTextImage(padded.data(), size - 1, u"", vmfuzz::SinkInto(entries), readAs, vm::TextLayout::Tabbed);

    const vm::TextLayout layout = selector & 4 ? vm::TextLayout::DiabloII : vm::TextLayout::Tabbed;
    vm::QuoteValueTTF = (selector & 8) == 0;
    vm::ColorApiTXT = (selector & 16) == 0;
    vm::AddHeader = (selector & 32) == 0;
    const std::u16string name = g_dir->Wide("out.txt");
    const std::string file = g_dir->File("out.txt");

    for (vm::TextEncoding encoding : {vm::TextEncoding::Unicode, vm::TextEncoding::UTF8, vm::TextEncoding::ANSI}) {
        const bool written = vm::WriteTextTable(name, vmfuzz::SourceOf(entries),
                                                static_cast<std::int32_t>(entries.size()), layout, encoding);
        if (entries.empty()) {
            // Nothing to write: refused, and no file made.
            FUZZ_CHECK(!written);
            FUZZ_CHECK(access(file.c_str(), F_OK) != 0);
            continue;
        }
        FUZZ_CHECK(written);

        vmfuzz::Entries back, expected;
        // A file with a mark reads the same whatever the choice; an ANSI
        // file has none and is read as ANSI.
        const vm::TextEncoding choice = encoding == vm::TextEncoding::ANSI ? vm::TextEncoding::ANSI
                                                                           : vm::TextEncoding::Autodetect;
        const bool read = vm::ReadTextTable(name, vmfuzz::SinkInto(back), choice, vm::TextLayout::Tabbed);
        std::remove(file.c_str());
        if (Expected(entries, {layout, encoding}, expected)) {
            FUZZ_CHECK(read);
            vmfuzz::CheckSameEntries(expected, back, "text round trip");
        }
    }
    return 0;
}
