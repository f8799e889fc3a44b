// What the fuzz targets share: entry lists with sinks and sources over
// them, a private scratch directory, a check that saves the input as a
// crash, and the model of what each file format can hold.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "formats/TblTextTbl.h"
#include "formats/TextHelpers.h"
#include "platform/Platform.h"
#include "tests/FormatTestUtil.h"

namespace vmfuzz {

using vmtest::Entries;
using vmtest::Entry;

// libFuzzer saves the input of any run that aborts.
[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "check failed: %s (%s:%d)\n", what, file, line);
    std::abort();
}

#define FUZZ_CHECK(condition) ((condition) ? (void)0 : ::vmfuzz::Fail(#condition, __FILE__, __LINE__))

inline std::string Printable(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[12];
            std::snprintf(hex, sizeof hex, "<%04X>", static_cast<unsigned>(c));
            out += hex;
        }
    }
    return out;
}

// Compares entry lists and reports the first difference before failing.
inline void CheckSameEntries(const Entries& expected, const Entries& actual, const char* what) {
    if (expected == actual) return;
    std::fprintf(stderr, "%s: %zu entries expected, %zu read\n", what, expected.size(), actual.size());
    for (std::size_t i = 0; i < expected.size() && i < actual.size(); ++i) {
        if (expected[i] == actual[i]) continue;
        std::fprintf(stderr, "entry %zu:\n  expected [%s] [%s]\n  read     [%s] [%s]\n", i,
                     Printable(expected[i].first).c_str(), Printable(expected[i].second).c_str(),
                     Printable(actual[i].first).c_str(), Printable(actual[i].second).c_str());
        break;
    }
    Fail(what, __FILE__, __LINE__);
}

using vmtest::SinkInto;
using vmtest::SourceOf;
using vmtest::TotalChars;

// The input followed by zero bytes, as the readers want their images.
inline std::vector<std::uint8_t> Padded(const std::uint8_t* data, std::size_t size, std::size_t zeros) {
    std::vector<std::uint8_t> bytes(data, data + size);
    bytes.insert(bytes.end(), zeros, 0);
    return bytes;
}

// A directory of the target's own on tmpfs when there is one (the writers
// sync every file they replace), removed when the process ends.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        pattern += "/vellumark-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) Fail("mkdtemp", __FILE__, __LINE__);
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::u16string Wide(const std::string& name = {}) const {
        return vm::platform::FromUtf8(name.empty() ? path_ : File(name));
    }

    void Write(const std::string& name, const std::string& bytes) const {
        const std::string file = File(name);
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        FILE* f = std::fopen(file.c_str(), "wb");
        if (!f) Fail("cannot create a scratch file", __FILE__, __LINE__);
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
            Fail("cannot write a scratch file", __FILE__, __LINE__);
        std::fclose(f);
    }

private:
    std::string path_;
};

// ---- What the formats hold -----------------------------------------------

inline bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Display form to stored form and back, with the newline rule given.
inline std::u16string ToStored(const std::u16string& display, bool newlineAsLineFeed) {
    std::u16string out(display.size() + 1, u'\0');
    out.resize(vm::MacrosToColorCodes(display.c_str(), out.data(), display.size(), newlineAsLineFeed));
    return out;
}

inline std::u16string ToDisplay(const std::u16string& stored) {
    std::u16string out(stored.size() * 8 / 3 + 8, u'\0');
    out.resize(vm::ColorCodesToMacros(stored.c_str(), out.data(), stored.size()));
    return out;
}

// The bytes a unit takes in the tables' UTF-8 (every unit by itself).
inline std::size_t Utf8Bytes(char16_t u) { return u < 0x80 ? 1 : u < 0x800 ? 2 : 3; }

// The longest prefix of text whose UTF-8 takes at most maxBytes bytes,
// never ending between the two halves of a surrogate pair.
inline std::u16string CutToUtf8(const std::u16string& text, std::size_t maxBytes) {
    std::size_t bytes = 0, i = 0;
    while (i < text.size()) {
        const std::size_t n = IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1]) ? 2 : 1;
        std::size_t need = 0;
        for (std::size_t k = 0; k < n; ++k) need += Utf8Bytes(text[i + k]);
        if (bytes + need > maxBytes) break;
        bytes += need;
        i += n;
    }
    return text.substr(0, i);
}

}  // namespace vmfuzz
