// Language files over arbitrary bytes: every key is looked up in the first
// section, a found value is a piece of the file, and a text is never
// longer than the profile functions allow nor empty.

#include "shell/Language.h"
#include "tests/fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    // The section is the first bracketed name, so inputs reach the keys.
    std::string section = "Deutsch";
    if (const std::size_t open = file.find('['); open != std::string_view::npos) {
        const std::size_t close = file.find(']', open);
        if (close != std::string_view::npos) section.assign(file.substr(open + 1, close - open - 1));
    }
    for (std::u16string_view key : vm::LanguageKeys()) {
        const std::string k(key.begin(), key.end());
        std::string value;
        if (vm::FindIniValue(file, section, k, value)) FUZZ_CHECK(value.size() <= size);
        const std::u16string text = vm::ReadLangText(file, section, k, u"built-in");
        FUZZ_CHECK(!text.empty());
        FUZZ_CHECK(text.size() <= 4095);
    }
    return 0;
}
