// The settings file: one pass reads or writes every option, key by key in
// a fixed order, and then re-applies the options to the window.
#include "shell/Settings.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "documents/History.h"
#include "documents/Workspace.h"
#include "formats/JsonStrings.h"
#include "formats/TextHelpers.h"
#include "platform/Platform.h"
#include "platform/Profile.h"

namespace vm {

int ViewMode = MenuTwoTables;
int Language = 0;
int LanguageCount = 0;
bool StartupPass = true;
WindowLayout Layout;
SettingsHost* TheSettingsHost = nullptr;
std::u16string SettingsFileName;

namespace {

constexpr char16_t Section[] = u"GENERAL";
constexpr std::size_t StringCapacity = 4096;  // at most 4095 characters read
constexpr std::int32_t DefaultMaxFileSize = 4194304;

// A pass without a window still exchanges the options.
class NoHost final : public SettingsHost {
public:
    void AddLanguageItem(int, const std::u16string&) override {}
    void SetMenuChecked(int, bool) override {}
    std::u16string MenuCaption(int) override { return {}; }
    void LoadLanguage(const std::u16string&) override {}
    void ApplyViewLayout() override {}
    void OpenCommandLineFiles() override {}
};

std::u16string UnsignedDecimal(std::uint32_t value) {
    std::u16string text;
    do {
        text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return text;
}

// One key of the file, read (the current value is the default of a missing
// key) or written. Either way the result is what the pass goes on with.
class Exchange {
public:
    explicit Exchange(bool store) : store_(store) {}

    std::int32_t Signed(const char16_t* key, std::int32_t value) const {
        if (store_) {
            platform::WriteProfileString(SettingsFileName, Section, key, IntToDecimal(value));
            return value;
        }
        return static_cast<std::int32_t>(platform::GetProfileInt(SettingsFileName, Section, key, value));
    }

    std::uint32_t Unsigned(const char16_t* key, std::uint32_t value) const {
        if (store_) {
            platform::WriteProfileString(SettingsFileName, Section, key, UnsignedDecimal(value));
            return value;
        }
        return platform::GetProfileInt(SettingsFileName, Section, key, static_cast<std::int32_t>(value));
    }

    bool Boolean(const char16_t* key, bool value) const { return Signed(key, value ? 1 : 0) != 0; }

    std::u16string Wide(const char16_t* key, const std::u16string& value) const {
        if (store_) {
            platform::WriteProfileString(SettingsFileName, Section, key, value);
            return value;
        }
        return platform::GetProfileString(SettingsFileName, Section, key, value, StringCapacity);
    }
    // An ANSI string, exchanged in its wide form. One that does not decode
    // in the code page is kept as it is and its key left alone.
    std::string Ansi(const char16_t* key, const std::string& value) const {
        std::u16string wide;
        if (!platform::AnsiToWide(value.data(), value.size(), wide)) return value;
        if (store_) {
            platform::WriteProfileString(SettingsFileName, Section, key, wide);
        } else {
            wide = platform::GetProfileString(SettingsFileName, Section, key, wide, StringCapacity);
        }
        std::string narrow;
        bool replaced = false;
        platform::WideToAnsi(wide.data(), wide.size(), SIZE_MAX, narrow, replaced);
        return narrow;
    }

private:
    bool store_;
};

// The layout keys, after the others. Read, a negative size counts as none.
void ExchangeLayout(const Exchange& x, SettingsHost& host, bool store) {
    if (store) host.CurrentLayout(Layout);
    Layout.left = x.Signed(u"WindowLeft", Layout.left);
    Layout.top = x.Signed(u"WindowTop", Layout.top);
    Layout.width = std::max(0, x.Signed(u"WindowWidth", Layout.width));
    Layout.height = std::max(0, x.Signed(u"WindowHeight", Layout.height));
    Layout.maximized = x.Boolean(u"WindowMaximized", Layout.maximized);
    Layout.keyColumnWidth = std::max(0, x.Signed(u"KeyColumnWidth", Layout.keyColumnWidth));
    Layout.editorHeight = std::max(0, x.Signed(u"EditorHeight", Layout.editorHeight));
}

// "English", then each comma-separated name of "Languages" as it stands;
// without that key (an empty one counts), the language files found.
void BuildLanguageMenu(SettingsHost& host) {
    const std::u16string missing = u"\x01";  // no text of a settings file
    std::u16string rest = platform::GetProfileString(SettingsFileName, Section, u"Languages", missing, StringCapacity);
    std::vector<std::u16string> names;
    if (rest == missing) {
        names = host.LanguageFiles();
        rest.clear();
    }
    while (!rest.empty()) {
        const std::size_t comma = rest.find(u',');
        names.push_back(rest.substr(0, comma));
        rest = comma == std::u16string::npos ? std::u16string() : rest.substr(comma + 1);
    }
    host.AddLanguageItem(MenuFirstLanguage, u"English");
    int count = 0;
    for (const std::u16string& name : names) host.AddLanguageItem(MenuFirstLanguage + ++count, name);
    LanguageCount = count;
}

// The recent files, "RecentFile1" (the last) on; unused keys are empty.
void ExchangeRecentFiles(const Exchange& x, Workspace& space) {
    std::vector<std::u16string>& files = space.RecentFiles;
    std::vector<std::u16string> read;
    for (int i = 0; i < RecentFileCount; ++i) {
        const std::u16string key = u"RecentFile" + IntToDecimal(i + 1);
        const std::u16string entry = x.Wide(key.c_str(), i < static_cast<int>(files.size()) ? files[i] : u"");
        if (!entry.empty()) read.push_back(entry);
    }
    files = std::move(read);
}

// The string files' language column, by its code; another text keeps the
// choice.
void ExchangeJsonLanguage(const Exchange& x, FormatOptions& o) {
    const char* code = JsonLanguageCodes[o.json.language];
    const int language = JsonLanguageIndex(x.Wide(u"LanguageJSON", std::u16string(code, code + 4)));
    if (language >= 0) o.json.language = language;
}

}  // namespace

void ExchangeSettings(Workspace& space, bool Store) {
    NoHost noHost;
    SettingsHost& host = TheSettingsHost ? *TheSettingsHost : noHost;
    host.BeginPass();
    if (StartupPass) BuildLanguageMenu(host);

    const Exchange x(Store);
    EditorOptions& options = space.options;
    FormatOptions& o = options.formats;
    options.maxAddToHashSize =
        static_cast<int>(x.Unsigned(u"MaxAddToHashSize", static_cast<std::uint32_t>(options.maxAddToHashSize)));
    o.tbl.addToHashSize =
        static_cast<int>(x.Unsigned(u"AddToHashSize", static_cast<std::uint32_t>(o.tbl.addToHashSize)));
    if (static_cast<std::uint32_t>(o.tbl.addToHashSize) > static_cast<std::uint32_t>(options.maxAddToHashSize))
        o.tbl.addToHashSize = options.maxAddToHashSize;

    // Above 255 is 255; anything else, negative numbers too, modulo 256.
    const std::int32_t offset8 = x.Signed(u"Offset8", o.tbl.offset8);
    o.tbl.offset8 = offset8 > 255 ? 255 : (offset8 & 0xFF);

    // Always exchanged with the built-in limit, so a writing pass puts a
    // limit set by hand back to it. A negative limit lets no file through,
    // as 0 does.
    const std::int32_t maxFileSize = x.Signed(u"MaxFileSize", DefaultMaxFileSize);
    o.limits.maxFileSize = maxFileSize < 0 ? 0 : static_cast<std::uint64_t>(maxFileSize);

    // The memory the undo history may hold, in bytes (0: no history).
    options.maxUndoSize = x.Unsigned(
        u"MaxUndoSize", static_cast<std::uint32_t>(std::min<std::uint64_t>(options.maxUndoSize, 0xFFFFFFFFu)));
    TrimHistory(space);

    const std::uint32_t encoding = x.Unsigned(u"Encoding ", static_cast<std::uint32_t>(o.text.writeEncoding));
    if (encoding <= 2) o.text.writeEncoding = static_cast<TextEncoding>(encoding);

    options.notAskChange = x.Boolean(u"NotAskChange", options.notAskChange);
    host.SetMenuChecked(MenuAskChange, !options.notAskChange);
    o.text.quoteValues = x.Boolean(u"QuoteValueTTF", o.text.quoteValues);
    o.text.headerLine = x.Ansi(u"HeaderTTF", o.text.headerLine);
    o.text.skippedHeaders = x.Ansi(u"HeadersTTF", o.text.skippedHeaders);
#ifndef VM_ANSI_BUILD
    // The single-byte program keeps this option for one run only.
    o.text.colorMacros = x.Boolean(u"ColorApiTXT", o.text.colorMacros);
    host.SetMenuChecked(MenuColorApi, o.text.colorMacros);
#endif

    // The string files' language column; new objects' first id, 0 for
    // above the file's highest.
    ExchangeJsonLanguage(x, o);
    const std::int32_t newId = x.Signed(u"NewIdJSON", static_cast<std::int32_t>(o.json.firstId));
    o.json.firstId = newId < 0 ? 0 : newId;
    host.SetMenuChecked(ViewMode, false);
    const auto view = static_cast<std::uint32_t>(x.Signed(u"ViewTbl", ViewMode - MenuOnlyTable1));
    ViewMode = view <= 2 ? MenuOnlyTable1 + static_cast<int>(view) : MenuTwoTables;
    host.SetMenuChecked(ViewMode, true);

    Language = x.Signed(u"Language", Language);
    if (Language < 0 || Language > LanguageCount) Language = 0;
    // The language's name too: a language file put beside the program
    // moves the numbers of the ones after it, and the name finds the
    // chosen one again.
    const std::u16string languageName = x.Wide(u"LanguageName", host.MenuCaption(MenuFirstLanguage + Language));
    for (int i = 0; i <= LanguageCount && !Store; ++i)
        if (host.MenuCaption(MenuFirstLanguage + i) == languageName) Language = i;
    // Include lines of text tables may leave the first file's folder only
    // when this is set by hand.
    o.limits.includesAnywhere = x.Boolean(u"IncludesAnywhere", o.limits.includesAnywhere);
    host.SetMenuChecked(MenuFirstLanguage + Language, true);
    ExchangeLayout(x, host, Store);
    ExchangeRecentFiles(x, space);
    host.LoadLanguage(host.MenuCaption(MenuFirstLanguage + Language));

    host.ApplyViewLayout();
    host.EndPass();
    if (StartupPass) {
        host.OpenCommandLineFiles();
        StartupPass = false;
    }
}

void StoreWindowLayout() {
    NoHost noHost;
    ExchangeLayout(Exchange(true), TheSettingsHost ? *TheSettingsHost : noHost, true);
}

void StoreRecentFiles(Workspace& space) { ExchangeRecentFiles(Exchange(true), space); }

void StoreOpenChoices(Workspace& space) { ExchangeJsonLanguage(Exchange(true), space.options.formats); }

void ResetSettings() {
    Layout = WindowLayout{};
    ViewMode = MenuTwoTables;
    Language = 0;
    LanguageCount = 0;
    StartupPass = true;
}

}  // namespace vm
