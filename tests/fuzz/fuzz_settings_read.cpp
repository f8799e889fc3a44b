// The settings pass over an arbitrary Vellumark.ini: every option must end
// inside its range, the Language menu gets one entry per name, and a
// writing pass followed by a reading pass gives the same options.

#include "FuzzCommon.h"
#include "documents/History.h"
#include "formats/Options.h"
#include "shell/Settings.h"

namespace {

struct Host final : vm::SettingsHost {
    int languageItems = 0;
    // "English" and each name, numbered on from the first language.
    void AddLanguageItem(int command, const std::u16string&) override {
        FUZZ_CHECK(command == vm::MenuFirstLanguage + languageItems);
        ++languageItems;
    }
    void SetMenuChecked(int, bool) override {}
    std::u16string MenuCaption(int) override { return u"English"; }
    void LoadLanguage(const std::u16string&) override {}
    void ApplyViewLayout() override {}
    void OpenCommandLineFiles() override {}
};

struct Snapshot {
    std::uint64_t maxFileSize, maxUndoSize;
    int add, maxAdd, offset8, encoding, view, language;
    bool notAsk, quote, colorApi, includesAnywhere;
    std::string header, headers;
    int languageJson, newIdJson;
    int left, top, width, height, keyColumn;
    bool maximized;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take() {
    const vm::WindowLayout& l = vm::Layout;
    return {vm::MaxFileSize, vm::MaxUndoSize, vm::AddToHashSize, vm::MaxAddToHashSize, vm::Offset8, vm::Encoding,
            vm::ViewMode, vm::Language, vm::NotAskChange, vm::QuoteValueTTF, vm::ColorApiTXT, vm::IncludesAnywhere,
            vm::HeaderTTF, vm::HeadersTTF, vm::LanguageJSON, vm::NewIdJSON,
            l.left, l.top, l.width, l.height, l.keyColumnWidth, l.maximized};
}

// Prints every option, for the report of a failed check.
void Print(const char* what, const Snapshot& s) {
    const auto text = [](const std::string& bytes) {
        std::u16string units;
        for (const unsigned char b : bytes) units += static_cast<char16_t>(b);
        return vmfuzz::Printable(units);
    };
    std::fprintf(stderr,
                 "%s: MaxFileSize %llu MaxUndoSize %llu AddToHashSize %d MaxAddToHashSize %d Offset8 %d Encoding %d "
                 "ViewMode %d Language %d NotAskChange %d QuoteValueTTF %d ColorApiTXT %d IncludesAnywhere %d "
                 "HeaderTTF [%s] HeadersTTF [%s] LanguageJSON %d NewIdJSON %d "
                 "Window %d,%d %dx%d maximised %d KeyColumnWidth %d\n",
                 what, static_cast<unsigned long long>(s.maxFileSize), static_cast<unsigned long long>(s.maxUndoSize),
                 s.add, s.maxAdd, s.offset8, s.encoding, s.view, s.language, s.notAsk, s.quote, s.colorApi,
                 s.includesAnywhere, text(s.header).c_str(), text(s.headers).c_str(), s.languageJson, s.newIdJson,
                 s.left, s.top, s.width, s.height, s.maximized, s.keyColumn);
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
    FUZZ_CHECK(vm::ViewMode >= vm::MenuOnlyTable1 && vm::ViewMode <= vm::MenuTwoTables);
    FUZZ_CHECK(vm::Language >= 0 && vm::Language <= vm::LanguageCount);
    FUZZ_CHECK(vm::LanguageJSON >= 0 && vm::LanguageJSON < 13 && vm::NewIdJSON >= 0);
    FUZZ_CHECK(static_cast<unsigned>(vm::AddToHashSize) <= static_cast<unsigned>(vm::MaxAddToHashSize));
    FUZZ_CHECK(vm::Layout.width >= 0 && vm::Layout.height >= 0 && vm::Layout.keyColumnWidth >= 0);

    // What a writing pass stores, a reading pass reads back.
    vm::ExchangeSettings(true);
    const Snapshot written = Take();
    vm::ExchangeSettings(false);
    const Snapshot reread = Take();
    if (!(reread == written)) {
        Print("written", written);
        Print("read back", reread);
    }
    FUZZ_CHECK(reread == written);
    vm::TheSettingsHost = nullptr;
    return 0;
}
