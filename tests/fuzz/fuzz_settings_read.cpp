// The settings pass over an arbitrary Vellumark.ini: every option must end
// inside its range, the Language menu gets one entry per name, and a
// writing pass followed by a reading pass gives the same options.

#include "FuzzCommon.h"
#include "formats/Options.h"
#include "shell/Settings.h"

namespace {

struct Host final : vm::SettingsHost {
    int languageItems = 0;
    void AddLanguageItem(const std::u16string&) override { ++languageItems; }
    void HideLanguagePlaceholder() override {}
    void SetMenuChecked(int, bool) override {}
    std::u16string MenuCaption(int) override { return u"English"; }
    void LoadLanguage(const std::u16string&) override {}
    void ApplyViewLayout() override {}
    void OpenCommandLineFiles() override {}
};

struct Snapshot {
    std::uint64_t maxFileSize;
    int add, maxAdd, offset8, encoding, view, language;
    bool notAsk, quote, colorApi;
    std::string header, headers;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take() {
    return {vm::MaxFileSize, vm::AddToHashSize, vm::MaxAddToHashSize, vm::Offset8, vm::Encoding, vm::ViewMode,
            vm::Language, vm::NotAskChange, vm::QuoteValueTTF, vm::ColorApiTXT, vm::HeaderTTF, vm::HeadersTTF};
}

// Names each option that did not survive the writing pass, before the
// check fails.
void Report(const Snapshot& a, const Snapshot& b) {
    const auto number = [](const char* name, std::uint64_t x, std::uint64_t y) {
        if (x != y)
            std::fprintf(stderr, "%s: written %llu, read back %llu\n", name, static_cast<unsigned long long>(x),
                         static_cast<unsigned long long>(y));
    };
    const auto text = [](const char* name, const std::string& x, const std::string& y) {
        if (x != y)
            std::fprintf(stderr, "%s: written [%s], read back [%s]\n", name,
                         vmfuzz::Printable(std::u16string(x.begin(), x.end())).c_str(),
                         vmfuzz::Printable(std::u16string(y.begin(), y.end())).c_str());
    };
    number("MaxFileSize", a.maxFileSize, b.maxFileSize);
    number("AddToHashSize", a.add, b.add);
    number("MaxAddToHashSize", a.maxAdd, b.maxAdd);
    number("Offset8", a.offset8, b.offset8);
    number("Encoding", a.encoding, b.encoding);
    number("ViewMode", a.view, b.view);
    number("Language", a.language, b.language);
    number("NotAskChange", a.notAsk, b.notAsk);
    number("QuoteValueTTF", a.quote, b.quote);
    number("ColorApiTXT", a.colorApi, b.colorApi);
    text("HeaderTTF", a.header, b.header);
    text("HeadersTTF", a.headers, b.headers);
}

vmfuzz::ScratchDir& Dir() {
    static vmfuzz::ScratchDir dir;
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vm::ResetOptions();
    vm::ResetSettings();
    vm::HeaderTTF = vm::HeadersTTF = "Key\tValue";
    Host host;
    vm::TheSettingsHost = &host;
    Dir().Write("Vellumark.ini", std::string(reinterpret_cast<const char*>(data), size));
    vm::SettingsFileName = Dir().Wide("Vellumark.ini");

    vm::ExchangeSettings(false);
    FUZZ_CHECK(!vm::StartupPass);
    FUZZ_CHECK(host.languageItems == vm::LanguageCount + 1);  // "English" and each name
    FUZZ_CHECK(vm::Offset8 >= 0 && vm::Offset8 <= 255);
    FUZZ_CHECK(vm::Encoding >= 0 && vm::Encoding <= 2);
    FUZZ_CHECK(vm::ViewMode >= vm::ViewOnlyTable1 && vm::ViewMode <= vm::ViewTwoTables);
    FUZZ_CHECK(vm::Language >= 0 && vm::Language <= vm::LanguageCount);
    FUZZ_CHECK(static_cast<unsigned>(vm::AddToHashSize) <= static_cast<unsigned>(vm::MaxAddToHashSize));

    // What a writing pass stores, a reading pass reads back.
    vm::ExchangeSettings(true);
    const Snapshot written = Take();
    vm::ExchangeSettings(false);
    const Snapshot reread = Take();
    if (!(reread == written)) Report(written, reread);
    FUZZ_CHECK(reread == written);
    vm::TheSettingsHost = nullptr;
    return 0;
}
