// The settings pass over an arbitrary Vellumark.ini: every option must end
// inside its range, the Language menu gets one entry per name, and a
// writing pass followed by a reading pass gives the same options.

#include "documents/History.h"
#include "documents/Workspace.h"
#include "shell/Settings.h"
#include "tests/fuzz/FuzzCommon.h"

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

// The workspace of the pass under test.
vm::Workspace* g_space = nullptr;

Snapshot Take() {
    const vm::WindowLayout& l = vm::Layout;
    const vm::EditorOptions& e = g_space->options;
    const vm::FormatOptions& o = e.formats;
    return {o.limits.maxFileSize,
            g_space->options.maxUndoSize,
            o.tbl.addToHashSize,
            e.maxAddToHashSize,
            o.tbl.offset8,
            static_cast<int>(o.text.writeEncoding),
            vm::ViewMode,
            vm::Language,
            e.notAskChange,
            o.text.quoteValues,
            o.text.colorMacros,
            o.limits.includesAnywhere,
            o.text.headerLine,
            o.text.skippedHeaders,
            o.json.language,
            static_cast<int>(o.json.firstId),
            l.left,
            l.top,
            l.width,
            l.height,
            l.keyColumnWidth,
            l.maximized};
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
    vm::Workspace space;
    g_space = &space;
    vm::ResetSettings();
    Host host;
    vm::TheSettingsHost = &host;
    Dir().Write("Vellumark.ini", std::string(reinterpret_cast<const char*>(data), size));
    vm::SettingsFileName = Dir().Wide("Vellumark.ini");

    vm::ExchangeSettings(*g_space, false);
    FUZZ_CHECK(!vm::StartupPass);
    FUZZ_CHECK(host.languageItems == vm::LanguageCount + 1);  // "English" and each name
    const vm::FormatOptions& o = g_space->options.formats;
    FUZZ_CHECK(o.tbl.offset8 >= 0 && o.tbl.offset8 <= 255);
    FUZZ_CHECK(static_cast<int>(o.text.writeEncoding) >= 0 && static_cast<int>(o.text.writeEncoding) <= 2);
    FUZZ_CHECK(vm::ViewMode >= vm::MenuOnlyTable1 && vm::ViewMode <= vm::MenuTwoTables);
    FUZZ_CHECK(vm::Language >= 0 && vm::Language <= vm::LanguageCount);
    FUZZ_CHECK(o.json.language >= 0 && o.json.language < 13 && o.json.firstId >= 0);
    FUZZ_CHECK(static_cast<unsigned>(o.tbl.addToHashSize) <= static_cast<unsigned>(g_space->options.maxAddToHashSize));
    FUZZ_CHECK(vm::Layout.width >= 0 && vm::Layout.height >= 0 && vm::Layout.keyColumnWidth >= 0);

    // What a writing pass stores, a reading pass reads back.
    vm::ExchangeSettings(*g_space, true);
    const Snapshot written = Take();
    vm::ExchangeSettings(*g_space, false);
    const Snapshot reread = Take();
    if (!(reread == written)) {
        Print("written", written);
        Print("read back", reread);
    }
    FUZZ_CHECK(reread == written);
    vm::TheSettingsHost = nullptr;
    return 0;
}
