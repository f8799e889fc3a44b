// The resource-limit checks too slow for the unit tests: the largest
// tables at full string length, huge writes on a failing disk, include
// loops and separator-only files at the full MaxFileSize, and a .tbl whose
// entries all share their strings. Each check must end in bounded time and
// memory with the result the formats promise. Run by scripts/fuzz.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>

#include "formats/FormatLimits.h"
#include "tests/fuzz/FuzzCommon.h"

namespace {

using Clock = std::chrono::steady_clock;

int g_failures = 0;
const char* g_only = nullptr;  // run only the checks whose name holds this

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Runs one check; it fails when check() is false or takes more than
// maxSeconds.
void Run(const char* name, double maxSeconds, const std::function<bool()>& check) {
    if (g_only && !std::strstr(name, g_only)) return;
    const auto start = Clock::now();
    const bool ok = check();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const bool inTime = seconds <= maxSeconds;
    std::printf("%-58s %s  %6.1f s  peak %7.0f MiB\n", name,
                !ok      ? "FAILED"
                : inTime ? "ok    "
                         : "SLOW  ",
                seconds, PeakMiB());
    std::fflush(stdout);
    if (!ok || !inTime) ++g_failures;
}

// A source that hands out the same key and value for every entry, so the
// table itself costs no memory.
vm::TableEntrySource Repeating(const std::u16string& key, const std::u16string& value) {
    return [&key, &value](std::int32_t, const char16_t*& k, const char16_t*& v) {
        k = key.c_str();
        v = value.c_str();
        return true;
    };
}

// The size limit of a read, at its default.
constexpr std::uint64_t MaxFileSize = vm::ReadLimits{}.maxFileSize;

// A .tbl of MaxFileSize bytes whose 65535 entries all have their key and
// value at the start of one string: `start`, then the letter x up to the
// last byte. A zero byte follows the image, as the reader wants.
std::vector<std::uint8_t> SharedStringTbl(const std::string& start) {
    const std::uint32_t n = 65535;
    const std::uint32_t dataStart = 21 + 19 * n;
    std::vector<std::uint8_t> image(dataStart, 0);
    image.insert(image.end(), start.begin(), start.end());
    image.resize(static_cast<std::size_t>(MaxFileSize) - 1, 'x');
    image.push_back(0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) image[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    image[2] = 0xFF;
    image[3] = 0xFF;
    put32(4, n);
    put32(9, dataStart);
    put32(17, static_cast<std::uint32_t>(image.size()));
    for (std::uint32_t i = 0; i < n; ++i) {
        image[21 + 2 * i] = static_cast<std::uint8_t>(i);
        image[22 + 2 * i] = static_cast<std::uint8_t>(i >> 8);
        const std::size_t node = 21 + 2 * n + 17 * i;
        put32(node + 7, dataStart);
        put32(node + 11, dataStart);
    }
    image.push_back(0);
    return image;
}

bool StopAt256MiB(std::uint64_t writtenSoFar, std::size_t count) { return writtenSoFar + count <= (256u << 20); }

}  // namespace

// vellumark_limits [TEXT]: every check, or those whose name holds TEXT.
int main(int argc, char** argv) {
    if (argc > 1) g_only = argv[1];
    vmfuzz::ScratchDir dir;
    vm::platform::AnsiCodePage = 1252;
    const std::u16string longKey(65535, u'k');
    const std::u16string longValue(65535, u'v');

    for (vm::TextEncoding encoding : {vm::TextEncoding::Unicode, vm::TextEncoding::UTF8, vm::TextEncoding::ANSI}) {
        const std::string name = "text: 65535 full-length entries, disk full at 256 MiB, encoding " +
                                 std::to_string(static_cast<int>(encoding));
        Run(name.c_str(), 300, [&] {
            // The writer streams: its memory stays small however large the
            // table, and the failure leaves nothing behind. (Runs before the
            // .tbl checks, whose peak would hide any growth here.)
            vm::platform::SetWriteFaultHook(StopAt256MiB);
            const double before = PeakMiB();
            // Far beyond what a read takes back: written only when allowed.
            vm::WriteReport report;
            report.allowLossy = true;
            vm::TextOptions options;
            options.layout = vm::TextLayout::DiabloII;
            options.writeEncoding = encoding;
            const bool written =
                vm::WriteTextTable(dir.Wide("big.txt"), Repeating(longKey, longValue), 65535, options, {}, &report);
            vm::platform::SetWriteFaultHook(nullptr);
            return !written && access(dir.File("big.txt").c_str(), F_OK) != 0 &&
                   std::filesystem::is_empty(dir.path()) && PeakMiB() - before < 64;
        });
    }

    Run("tbl: 65535 entries of 65535-byte keys and values refused", 900, [&] {
        // 8.6 GB of strings cannot be addressed by 32-bit offsets: refused
        // once the image reaches 4 GiB, and the memory is given back.
        std::vector<std::uint8_t> image;
        const bool built = vm::BuildTblImage(Repeating(longKey, longValue), 65535, 65535ull * 131070, image, {});
        return !built && image.capacity() == 0 && PeakMiB() < 6 * 1024;
    });

    Run("tbl: as many such entries as 4 GiB holds are written", 900, [&] {
        std::vector<std::uint8_t> image;
        const std::uint32_t count = 32763;  // 21 + 19 x 32763 + 131072 x 32763 < 2^32
        if (!vm::BuildTblImage(Repeating(longKey, longValue), count, 131070ull * count, image, {})) return false;
        const vm::TblHeader h = vm::ParseTblHeader(image.data());
        return h.NumElements == count && h.FileSize == image.size() && image.size() < (1ull << 32);
    });

    Run("text: a file including itself 16 times, default limits", 120, [&] {
        std::string loop = "e\tv\r\n";
        for (int i = 0; i < 16; ++i) loop += "#\"loop.txt\"\r\n";
        dir.Write("loop.txt", loop);
        std::size_t entries = 0;
        const bool ok =
            vm::ReadTextTable(dir.Wide("loop.txt"), [&](const char16_t*, const char16_t*) { ++entries; }, {}, {});
        std::remove(dir.File("loop.txt").c_str());
        // 16^8 reads without the budget; with it, as many files as it allows.
        return !ok && entries == 1 + vm::IncludeFileBudget;
    });

    for (char unit : {'\t', ',', '"', '/', '#', '\r', '\n', ' '}) {
        const std::string name =
            "text: MaxFileSize bytes of separator " + std::to_string(static_cast<int>(unit)) + ", every encoding";
        Run(name.c_str(), 60, [&] {
            const std::string text(static_cast<std::size_t>(MaxFileSize), unit);
            const std::vector<std::uint8_t> bytes =
                vmfuzz::Padded(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), 4);
            for (int choice = 0; choice < 4; ++choice) {
                std::size_t entries = 0;
                vm::TextOptions options;
                options.readEncoding = static_cast<vm::TextEncoding>(choice);
                if (!vm::ReadTextImage(bytes.data(), text.size(), u"",
                                       [&](const char16_t*, const char16_t*) { ++entries; }, options, {}))
                    return false;
                if (entries > 1) return false;
            }
            return true;
        });
    }

    Run("tbl: MaxFileSize file whose 65535 entries share one string", 120, [&] {
        // The largest shared string that still fits a file of MaxFileSize.
        const std::vector<std::uint8_t> image = SharedStringTbl("");
        const std::size_t size = image.size() - 1;
        std::uint64_t units = 0;
        const bool ok = vm::ReadTblImage(
            image.data(), size,
            [&](const char16_t* key, const char16_t* value) { units += vm::WideLength(key) + vm::WideLength(value); },
            {});
        return !ok && units <= vm::TblStringBudgetFactor * size;
    });

    Run("tbl: 65535 entries decoding one character of a 3 MiB string", 20, [&] {
        // Every key and value is the letter a, cut short by a stray byte,
        // at the start of one string of nearly 3 MiB. Each decode must look
        // only a little beyond what it decodes, not to the string's end.
        const std::vector<std::uint8_t> image = SharedStringTbl("a\x80");
        std::size_t entries = 0;
        const bool ok = vm::ReadTblImage(image.data(), image.size() - 1,
                                         [&](const char16_t* key, const char16_t* value) {
                                             if (std::u16string(key) == u"a" && std::u16string(value) == u"a")
                                                 ++entries;
                                         },
                                         {});
        return ok && entries == 65535;
    });

    std::printf("%s\n", g_failures ? "resource limits: FAILED" : "resource limits: all ok");
    return g_failures ? 1 : 0;
}
