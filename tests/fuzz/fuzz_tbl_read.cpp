// The .tbl reader over arbitrary bytes: it must stay inside the image,
// deliver bounded strings, report success only for a complete walk,
// deliver no more text than the file's size allows, and report cut
// strings only among the entries it delivered.

#include "formats/FormatLimits.h"
#include "tests/fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The reader wants a zero byte after the image; nothing more is
    // readable, so ASan sees any read beyond it.
    const std::vector<std::uint8_t> image = vmfuzz::Padded(data, size, 1);
    std::size_t entries = 0;
    std::uint64_t units = 0;
    vm::ReadReport report;
    const bool ok = vm::ReadTblImage(
        image.data(), size,
        [&](const char16_t* key, const char16_t* value) {
            const std::size_t keyUnits = vm::WideLength(key);
            const std::size_t valueUnits = vm::WideLength(value);
            FUZZ_CHECK(keyUnits < vm::KeyBufferUnits);
            FUZZ_CHECK(valueUnits < vm::DisplayBufferUnits);
            units += keyUnits + valueUnits;
            ++entries;
        },
        {}, &report);

    FUZZ_CHECK(ok == (report.failure == vm::ReadFailure::None));
    FUZZ_CHECK(report.cutStrings <= entries);
    if (report.cutStrings != 0) FUZZ_CHECK(report.firstCutEntry < entries);

    if (size < vm::TblMinFileSize) FUZZ_CHECK(!ok);
    if (size >= vm::TblHeaderSize) {
        const vm::TblHeader header = vm::ParseTblHeader(image.data());
        FUZZ_CHECK(entries <= header.NumElements);
        if (ok) FUZZ_CHECK(entries == header.NumElements);
    } else {
        FUZZ_CHECK(entries == 0);
    }
    // A key unit comes from at least one byte and a display unit from at
    // least 3/8 of one, within the reader's string budget.
    FUZZ_CHECK(units <= 3 * vm::TblStringBudgetFactor * size);
    return 0;
}
