// vellumark-cli: convert, merge and info over .tbl and text tables.
//
// Every command reads its inputs completely before anything is written, and
// writes through the formats' temporary-file writers, so a failed run never
// creates, truncates or changes an output file. Failures are reported as
// exceptions inside this file and turned into a message and an exit status
// by RunCli.

#include "cli/Cli.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "documents/CopyMatchedValues.h"
#include "documents/CrossTableTools.h"
#include "documents/DocumentTexts.h"
#include "documents/TableList.h"
#include "formats/CRC.h"
#include "formats/Global.h"
#include "formats/JsonStrings.h"
#include "formats/TblTextTbl.h"
#include "platform/Platform.h"

namespace vm {

namespace {

constexpr const char* VersionLine = "vellumark-cli 0.96";

constexpr const char* HelpText =
    R"(Usage: vellumark-cli COMMAND ARGUMENTS [OPTIONS]

Commands:
  convert IN OUT           Read IN and write its entries to OUT.
  merge SOURCE TARGET OUT  Copy every value of SOURCE to the entry of TARGET
                           with the same key (the n-th entry of a key in
                           SOURCE goes to the n-th entry of that key in
                           TARGET) and write the result to OUT.
  update TABLE OTHER FILE OUT
                           Update TABLE from FILE through OTHER: where the
                           value of row k of OTHER is a key of FILE, the
                           value of row k of TABLE becomes that key's value
                           in FILE. The result is written to OUT.
  translate TABLE OTHER FILE OUT
                           Translate TABLE by way of FILE: each key of FILE
                           that is a value of OTHER takes that entry's key
                           in OTHER, and the values of FILE then go by key
                           into TABLE. The result is written to OUT.
  copy-time-dialogs SOURCE TARGET OUT
                           Row by row, where the values of SOURCE and TARGET
                           both start with a positive number, TARGET's number
                           is replaced by SOURCE's. The result is written to
                           OUT.
  info FILE                Show the header fields and checksum of a .tbl
                           file, the encoding of a text table, or the layout,
                           field orders, repeated ids and keys and missing
                           or empty languages of a .json string file, and
                           the number of entries.
  help, --help, -h         Show this help.
  --version                Show the version.

A file name ending in .tbl (any case) is a binary string table, one ending
in .json a string file of the remastered game (all languages in one file,
one language column read or written at a time); any other name is a text
table.

Options for convert, merge, update, translate and copy-time-dialogs:
  --layout tabbed|diablo   Text layout written: key TAB "value" (tabbed, the
                           default) or key , TAB , TAB "value" (diablo).
  --encoding utf16|utf8|ansi
                           Text encoding written (default utf16).
  --from-encoding auto|utf16|utf8|ansi
                           Text encoding read (default auto). A byte-order
                           mark in the file always wins.
  --codepage N             ANSI code page used for reading and writing text
                           (0 = the system's; 1252 outside Windows).
  --offset8 N              Byte 8 of a written .tbl header, 0..255.
  --add-to-hash N          Extra hash slots in a written .tbl, 0..255.
                           From .tbl to .tbl (the table written to OUT) both
                           default to the input's own values, so a table
                           written back is byte-identical; otherwise the
                           defaults are 1 and 0.
  --no-header              No "Key TAB Value" header line in UTF-16 tabbed
                           text. UTF-8 and ANSI tabbed text always carry the
                           header line.
  --no-quotes              Tabbed text: values without double quotes.
  --color-codes            Write the game's colour codes in text instead of
                           macros such as \red; (UTF-16 and UTF-8 only).
  --language L             The language column of .json files read and
                           written: enUS (the default), zhTW, deDE, esES,
                           frFR, itIT, koKR, plPL, esMX, jaJP, ptBR, ruRU or
                           zhCN.
  --into BASE.json         convert only, OUT a .json file: OUT is BASE with
                           column L updated from IN by key (repeated keys
                           paired in order, X and x as in merge); keys BASE
                           lacks become new objects with every language
                           filled. Everything else keeps BASE's bytes.
  --first-id N             Ids of new objects in a .json OUT start at N (a
                           mod's own range). Default: 1 for a new file,
                           above the highest id of the file otherwise.
  --lossy                  Write a text file even when some entries cannot be
                           stored in it exactly (a double quote in a value,
                           a key with a tab, comma, two slashes or a leading
                           #, an empty key, a character the ANSI code page
                           lacks, ...), and a .tbl file with keys or values
                           longer than 65535 bytes, cut. Without it such a
                           table is refused and the first of those entries
                           are listed.

Options for every command:
  --strict                 Treat warnings about what a read did not take
                           exactly (missing or too deeply nested include
                           files, cut keys or values, UTF-8 read as ANSI) as
                           errors.
  --includes-anywhere      Let include lines name any file. Without it an
                           include must lie in the folder of the file that
                           was read first (or below it).
  --max-file-size N        The largest file read, in bytes (default
                           4194304). Outputs larger than this are reported.
  --                       Everything after this is a file name.

Options for info: --from-encoding, --codepage and the options for every
command.

Exit status: 0 on success, 1 when a file cannot be read or written, 2 on
wrong usage.
)";

// Wrong usage: exit status 2.
struct UsageError {
    std::string message;
};

// A file that cannot be read or written: exit status 1.
struct FileError {
    std::string message;
};

std::string Quoted(const std::u16string& name) {
    std::string quoted(1, '\'');
    quoted += platform::ToUtf8(name);
    quoted += '\'';
    return quoted;
}

std::u16string AsciiLower(std::u16string_view text) {
    std::u16string lower(text);
    for (char16_t& c : lower)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return lower;
}

bool IsTblName(const std::u16string& name) {
    return name.size() >= 4 && AsciiLower(std::u16string_view(name).substr(name.size() - 4)) == u".tbl";
}

bool IsJsonName(const std::u16string& name) {
    return name.size() >= 5 && AsciiLower(std::u16string_view(name).substr(name.size() - 5)) == u".json";
}

// ---- Arguments -------------------------------------------------------------

struct Settings {
    TextLayout layout = TextLayout::Tabbed;
    TextEncoding encoding = TextEncoding::Unicode;
    TextEncoding fromEncoding = TextEncoding::Autodetect;
    std::optional<int> codePage;
    std::optional<int> offset8;
    std::optional<int> addToHash;
    bool noHeader = false;
    bool noQuotes = false;
    bool colorCodes = false;
    int language = 0;  // of .json files
    std::optional<std::u16string> into;
    std::optional<std::int64_t> firstId;
    bool lossy = false;
    bool strict = false;
    bool includesAnywhere = false;
    std::optional<std::uint64_t> maxFileSize;
};

// A decimal number without sign or blanks, within [low, high].
std::uint64_t ParseNumber(const std::u16string& option, const std::u16string& text, std::uint64_t low,
                          std::uint64_t high) {
    const std::string range = std::to_string(low) + " to " + std::to_string(high);
    if (text.empty() || text.find_first_not_of(u"0123456789") != std::u16string::npos)
        throw UsageError{platform::ToUtf8(option) + " needs a number from " + range + ", not '" +
                         platform::ToUtf8(text) + "'"};
    std::uint64_t value = 0;
    for (char16_t c : text) {
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
        if (value > high) break;  // also keeps a long digit string from overflowing
    }
    if (value < low || value > high)
        throw UsageError{platform::ToUtf8(option) + " must be from " + range + ", not " +
                         platform::ToUtf8(text)};
    return value;
}

int ParseSmall(const std::u16string& option, const std::u16string& text, int high) {
    return static_cast<int>(ParseNumber(option, text, 0, static_cast<std::uint64_t>(high)));
}

// The options that take no value: each sets one switch. The writing ones
// do not apply to info.
struct Switch {
    std::u16string_view name;
    bool Settings::*field;
    bool writing;
};
constexpr Switch Switches[] = {
    {u"--strict", &Settings::strict, false},          {u"--includes-anywhere", &Settings::includesAnywhere, false},
    {u"--no-header", &Settings::noHeader, true},      {u"--no-quotes", &Settings::noQuotes, true},
    {u"--color-codes", &Settings::colorCodes, true},  {u"--lossy", &Settings::lossy, true},
};

TextEncoding ParseEncoding(const std::u16string& option, const std::u16string& text, bool allowAuto) {
    const std::u16string v = AsciiLower(text);
    if (v == u"utf16" || v == u"utf-16") return TextEncoding::Unicode;
    if (v == u"utf8" || v == u"utf-8") return TextEncoding::UTF8;
    if (v == u"ansi") return TextEncoding::ANSI;
    if (allowAuto && v == u"auto") return TextEncoding::Autodetect;
    throw UsageError{platform::ToUtf8(option) + " must be " +
                     (allowAuto ? "auto, utf16, utf8 or ansi" : "utf16, utf8 or ansi") + ", not '" +
                     platform::ToUtf8(text) + "'"};
}

int ParseLanguage(const std::u16string& option, const std::u16string& text) {
    const int language = JsonLanguageIndex(text);
    if (language < 0) {
        std::string codes;
        for (const char* code : JsonLanguageCodes) codes += std::string(codes.empty() ? "" : ", ") + code;
        throw UsageError{platform::ToUtf8(option) + " must be one of " + codes + ", not '" + platform::ToUtf8(text) + "'"};
    }
    return language;
}

// A whole number of up to 18 digits (ids of string files are 64-bit).
std::int64_t ParseId(const std::u16string& option, const std::u16string& text) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of(u"0123456789") != std::u16string::npos)
        throw UsageError{platform::ToUtf8(option) + " needs a whole number of up to 18 digits, not '" +
                         platform::ToUtf8(text) + "'"};
    std::int64_t value = 0;
    for (char16_t c : text) value = value * 10 + (c - u'0');
    return value;
}

TextLayout ParseLayout(const std::u16string& option, const std::u16string& text) {
    const std::u16string v = AsciiLower(text);
    if (v == u"tabbed") return TextLayout::Tabbed;
    if (v == u"diablo") return TextLayout::DiabloII;
    throw UsageError{platform::ToUtf8(option) + " must be tabbed or diablo, not '" +
                     platform::ToUtf8(text) + "'"};
}

// Splits the arguments after the command into file names and options.
// Options may stand anywhere, with their value as the next argument or
// after "="; "--" ends the options. writeOptions is false for info, which
// only takes the reading options.
std::vector<std::u16string> ParseArguments(const std::vector<std::u16string>& args, std::size_t first,
                                           bool writeOptions, Settings& s) {
    std::vector<std::u16string> names;
    bool optionsEnded = false;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != u'-') {
            names.push_back(arg);
            continue;
        }
        if (arg == u"--") {
            optionsEnded = true;
            continue;
        }
        std::u16string option = arg;
        std::optional<std::u16string> inlineValue;
        if (const auto eq = arg.find(u'='); eq != std::u16string::npos && arg.starts_with(u"--")) {
            option = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        auto value = [&]() -> std::u16string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= args.size()) throw UsageError{platform::ToUtf8(option) + " needs a value"};
            return args[++i];
        };
        auto flag = [&]() {
            if (inlineValue) throw UsageError{platform::ToUtf8(option) + " takes no value"};
        };

        const Switch* sw = nullptr;
        for (const Switch& candidate : Switches)
            if (option == candidate.name) sw = &candidate;
        if (!writeOptions && ((sw && sw->writing) || option == u"--layout" || option == u"--encoding" ||
                              option == u"--offset8" || option == u"--add-to-hash" || option == u"--language" ||
                              option == u"--into" || option == u"--first-id")) {
            throw UsageError{platform::ToUtf8(option) + " does not apply to info"};
        } else if (sw) {
            flag();
            s.*(sw->field) = true;
        } else if (option == u"--from-encoding") {
            s.fromEncoding = ParseEncoding(option, value(), true);
        } else if (option == u"--codepage") {
            s.codePage = ParseSmall(option, value(), 65535);
        } else if (option == u"--max-file-size") {
            s.maxFileSize = ParseNumber(option, value(), 1, std::uint64_t{1} << 40);
        } else if (option == u"--layout") {
            s.layout = ParseLayout(option, value());
        } else if (option == u"--encoding") {
            s.encoding = ParseEncoding(option, value(), false);
        } else if (option == u"--offset8") {
            s.offset8 = ParseSmall(option, value(), 255);
        } else if (option == u"--add-to-hash") {
            s.addToHash = ParseSmall(option, value(), 255);
        } else if (option == u"--language") {
            s.language = ParseLanguage(option, value());
        } else if (option == u"--into") {
            s.into = value();
            if (s.into->empty()) throw UsageError{"--into needs a file name"};
        } else if (option == u"--first-id") {
            s.firstId = ParseId(option, value());
        } else {
            throw UsageError{"unknown option " + platform::ToUtf8(arg)};
        }
    }
    return names;
}

void ExpectNames(const std::vector<std::u16string>& names, std::size_t count, const char* command,
                 const char* synopsis) {
    if (names.size() != count)
        throw UsageError{std::string(command) + " needs " + synopsis + " (" +
                         std::to_string(names.size()) + " file name" + (names.size() == 1 ? "" : "s") +
                         " given)"};
    for (const auto& name : names)
        if (name.empty()) throw UsageError{std::string(command) + ": a file name is empty"};
}

// The options that act on the process-wide settings, for reading and
// writing alike.
void ApplyCodePage(const Settings& s) {
    IncludesAnywhere = s.includesAnywhere;
    if (s.maxFileSize) MaxFileSize = *s.maxFileSize;
    if (!s.codePage) return;
    platform::AnsiCodePage = *s.codePage;
    std::u16string probe;
    if (!platform::AnsiToWide("A", 1, probe))
        throw UsageError{"code page " + std::to_string(*s.codePage) + " is not available on this system"};
}

// ---- Reading ---------------------------------------------------------------

platform::FileImage ReadImage(const std::u16string& name) {
    platform::FileImage image;
    // Four zero bytes after the image: the .tbl reader needs one, the text
    // reader a zero UTF-16 unit even after an odd byte.
    switch (platform::ReadWholeFile(name, MaxFileSize, 4, image)) {
    case platform::ReadStatus::Ok:
        return image;
    case platform::ReadStatus::NotFound:
        throw FileError{"cannot read " + Quoted(name) + ": no such file"};
    case platform::ReadStatus::TooLarge:
        throw FileError{"cannot read " + Quoted(name) + ": it is larger than the limit of " +
                        std::to_string(MaxFileSize) + " bytes (see --max-file-size)"};
    case platform::ReadStatus::NoMemory:
        throw FileError{"cannot read " + Quoted(name) + ": not enough memory"};
    case platform::ReadStatus::IoError:
        break;
    }
    throw FileError{"cannot read " + Quoted(name) + ": the file cannot be opened or read"};
}

struct LoadedTable {
    TableLists table;
    bool tbl = false;
    TblHeader header;  // .tbl only
    // .json only: the file, so that a .json output written from this table
    // keeps its layout and its other languages. Entry i came from object
    // i + 1 while i is below the file's object count.
    std::shared_ptr<const JsonDocument> json;
};

TableEntrySink AppendTo(TableLists& table) {
    return [&table](const char16_t* key, const char16_t* value) { table.Append(key, value); };
}

std::string Utf8(const char16_t* text) { return platform::ToUtf8(text); }

// Why a read failed, as a message.
std::string ReadFailureMessage(const std::u16string& name, bool tbl, const ReadReport& report) {
    const std::string head = "cannot read " + Quoted(name) + ": ";
    switch (report.failure) {
    case ReadFailure::IncludeOutside:
        return head + "the include line naming " + Quoted(report.failureName) +
               " leads outside the folder of the file (allow it with --includes-anywhere)";
    case ReadFailure::IncludeBudget:
        return head + "its include lines pull in too much (more than " + std::to_string(IncludeFileBudget) +
               " include files, " + std::to_string(IncludeEntryBudget) + " included entries or " +
               std::to_string(IncludeBudgetFactor) + " times the size limit in bytes)";
    case ReadFailure::Corrupt:
        if (!report.failureName.empty())
            return head + "the included file " + Quoted(report.failureName) + " stops decoding part-way";
        break;
    default:
        break;
    }
    return head + "it is corrupt or of unknown format (" +
           (tbl ? "not a valid .tbl file" : "the text stops decoding part-way") + ")";
}

std::shared_ptr<const JsonDocument> LoadJson(const std::u16string& name, int language) {
    const platform::FileImage image = ReadImage(name);
    auto doc = std::make_shared<JsonDocument>();
    JsonError error;
    if (!ParseJsonStrings(std::string(reinterpret_cast<const char*>(image.data.get()), image.size), language, *doc,
                          &error))
        throw FileError{"cannot read " + Quoted(name) + ": it is not a string file: " + DescribeJsonError(error)};
    return doc;
}

// One warning per kind of what a read did not take exactly; with --strict
// they fail the command before anything is written.
void ReportReadWarnings(const std::u16string& name, const ReadReport& r, const Settings& s, std::ostream& err) {
    if (!r.AnyWarning()) return;
    std::vector<std::string> lines;
    if (r.missingIncludes)
        lines.push_back(std::to_string(r.missingIncludes) + " include line(s) name no file that can be read (first: " +
                        Quoted(r.firstMissingInclude) + ")");
    if (r.deepIncludes)
        lines.push_back(std::to_string(r.deepIncludes) + " include line(s) beyond the nesting limit of " +
                        std::to_string(MaxIncludeDepth) + " were skipped (first: " + Quoted(r.firstDeepInclude) + ")");
    if (r.cutStrings)
        lines.push_back(std::to_string(r.cutStrings) +
                        " key(s) or value(s) were cut: longer than 65535 units or not UTF-8 to their end (first: row " +
                        std::to_string(r.firstCutEntry + 1) + ")");
    if (r.shortLengths)
        lines.push_back(std::to_string(r.shortLengths) + " value(s) go on past their stored length; they were read, and "
                        "are written back, up to it (first: row " + std::to_string(r.firstShortLength + 1) + ")");
    if (r.utf8ReadAsAnsi)
        lines.push_back("it looks like UTF-8 without a byte-order mark but is not UTF-8 throughout, so it was read "
                        "as ANSI (code page " + std::to_string(platform::EffectiveCodePage()) + ")");
    for (const std::string& line : lines) err << (s.strict ? "error: " : "warning: ") << Quoted(name) << ": " << line << "\n";
    if (s.strict) throw FileError{"cannot use " + Quoted(name) + ": not read exactly (--strict)"};
}

void LoadTable(const std::u16string& name, const Settings& s, LoadedTable& loaded, std::ostream& err) {
    if (IsJsonName(name)) {
        loaded.json = LoadJson(name, s.language);
        DeliverJsonColumn(*loaded.json, AppendTo(loaded.table));
        return;
    }
    const platform::FileImage image = ReadImage(name);
    loaded.tbl = IsTblName(name);
    ReadReport report;
    if (loaded.tbl) {
        if (image.size < TblMinFileSize) throw FileError{ReadFailureMessage(name, true, report)};
        loaded.header = ParseTblHeader(image.data.get());
        loaded.table.ReserveForFile(image.size, loaded.header.NumElements);
        AppendToLists appendToLists(loaded.table.Keys, loaded.table.Values);
        if (!ReadTblImage(image.data.get(), image.size, appendToLists, &report))
            throw FileError{ReadFailureMessage(name, true, report)};
    } else {
        if (image.size == 0) throw FileError{"cannot read " + Quoted(name) + ": the file is empty"};
        loaded.table.ReserveForFile(image.size, 0);
        if (!ReadTextImage(image.data.get(), image.size, platform::DirectoryOf(name), AppendTo(loaded.table),
                           s.fromEncoding, s.layout, &report))
            throw FileError{ReadFailureMessage(name, false, report)};
    }
    ReportReadWarnings(name, report, s, err);
}

// ---- Writing ---------------------------------------------------------------

// Where the .tbl numbers of a written table come from when the command line
// does not give them: the header of a .tbl input.
struct TblDefaults {
    const LoadedTable* from = nullptr;
    std::u16string name;
};

std::string WriteFailureMessage(const std::u16string& name, platform::WriteError error);

// Writes table into the language column of a .json file: over base (the
// file the table came from or an --into file) when there is one, entry i
// tied to object i + 1 of it while i is below tiedCount; otherwise a new
// file in the game's layout.
void SaveJson(const std::u16string& name, const TableLists& table, const Settings& s, const JsonDocument* base,
              std::size_t tiedCount) {
    const JsonDocument empty = EmptyJsonDocument();
    if (table.Count() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw FileError{"cannot write " + Quoted(name) + ": too many entries"};
    const TableEntrySource source = [&table](std::int32_t i, const char16_t*& key, const char16_t*& value) {
        key = table.Keys.Get(static_cast<std::size_t>(i)).c_str();
        value = table.Values.Get(static_cast<std::size_t>(i)).c_str();
        return true;
    };
    const JsonOriginSource origin = [tiedCount](std::int32_t i) {
        return static_cast<std::size_t>(i) < tiedCount ? static_cast<std::uint32_t>(i + 1) : 0u;
    };
    const JsonWriteRequest request{base ? base : &empty, nullptr, s.language,
                                   s.firstId.value_or(base ? 0 : 1)};
    JsonError error;
    if (!WriteJsonColumn(name, request, source, origin, static_cast<std::int32_t>(table.Count()), nullptr, &error)) {
        if (error.cause != platform::WriteError::None) throw FileError{WriteFailureMessage(name, error.cause)};
        throw FileError{"cannot write " + Quoted(name) + ": " + DescribeJsonError(error)};
    }
}

std::string WriteFailureMessage(const std::u16string& name, platform::WriteError error) {
    const int index = static_cast<int>(error);
    std::string cause = index > 0 && index < WriteErrorCount && *BuiltInWriteError[index]
                            ? Utf8(BuiltInWriteError[index])
                            : std::string("The file or its folder cannot be written.");
    cause[0] = static_cast<char>(cause[0] - 'A' + 'a');  // every cause starts with a capital
    cause.pop_back();                                      // and ends with a full stop
    return "cannot write " + Quoted(name) + ": " + cause;
}

// A key as it can stand in a message: control characters shown as escapes,
// a long key cut.
std::string ShownKey(const std::u16string& key) {
    std::u16string shown;
    for (char16_t c : key) {
        if (shown.size() >= 60) {
            shown += u"...";
            break;
        }
        if (c == u'\t') shown += u"\\t";
        else if (c == u'\r') shown += u"\\r";
        else if (c == u'\n') shown += u"\\n";
        else if (c < 0x20) shown += u'?';
        else shown += c;
    }
    return "'" + platform::ToUtf8(shown) + "'";
}

std::string LossLine(const TableLists& table, const TextLossEntry& loss) {
    return "row " + std::to_string(loss.entry + 1) + ", key " + ShownKey(table.Keys.Get(loss.entry)) + ": " +
           Utf8(BuiltInTextLoss[static_cast<int>(loss.reason)]);
}

void WarnIfTooLargeToRead(const std::u16string& name, std::uint64_t bytes, std::ostream& err) {
    if (bytes > MaxFileSize)
        err << "warning: " << Quoted(name) << " is " << bytes << " bytes, more than the read limit of "
            << MaxFileSize << " bytes: reading it back needs --max-file-size " << bytes << "\n";
}

// Entries the file cannot hold exactly: a refused write lists the first of
// them; one written anyway (--lossy) warns with the first.
void RefuseIfLossy(const std::u16string& name, const TableLists& table, const WriteReport& report, const char* file,
                   std::ostream& err) {
    if (!report.refusedAsLossy) return;
    err << "error: " << Quoted(name) << " was not written: " << report.lossCount << " entr"
        << (report.lossCount == 1 ? "y" : "ies") << " cannot be stored exactly in this " << file << ":\n";
    for (const TextLossEntry& loss : report.losses) err << "  " << LossLine(table, loss) << "\n";
    if (report.lossCount > report.losses.size())
        err << "  ... and " << report.lossCount - report.losses.size() << " more\n";
    throw FileError{"use --lossy to write it anyway, or another format"};
}

void WarnIfLossy(const std::u16string& name, const TableLists& table, const WriteReport& report, std::ostream& err) {
    if (report.lossCount != 0)
        err << "warning: " << report.lossCount << " entr" << (report.lossCount == 1 ? "y was" : "ies were")
            << " not stored exactly in " << Quoted(name) << " (first: " << LossLine(table, report.losses.front())
            << ")\n";
}

void SaveTable(const std::u16string& name, const TableLists& table, const Settings& s,
               const TblDefaults& defaults, std::ostream& err) {
    const std::size_t count = table.Count();
    QuoteValueTTF = !s.noQuotes;
    AddHeader = !s.noHeader;
    ColorApiTXT = !s.colorCodes;

    const TableEntrySource source = [&table](std::int32_t i, const char16_t*& key, const char16_t*& value) {
        if (i < 0 || static_cast<std::size_t>(i) >= table.Count()) return false;
        key = table.Keys.Get(static_cast<std::size_t>(i)).c_str();
        value = table.Values.Get(static_cast<std::size_t>(i)).c_str();
        return true;
    };

    if (!IsTblName(name)) {
        WriteReport report;
        report.allowLossy = s.lossy;
        const bool written = WriteTextTable(name, source, static_cast<std::int32_t>(count), s.layout, s.encoding, &report,
                                            StoredBytesOf(table.Keys, table.Values));
        RefuseIfLossy(name, table, report, "text file", err);
        if (!written) throw FileError{WriteFailureMessage(name, report.error)};
        WarnIfLossy(name, table, report, err);
        if (report.encodingMustBeNamed)
            err << "warning: " << Quoted(name) << " is ANSI text that Autodetect may take for another encoding: read it "
                << "with --from-encoding ansi --codepage " << platform::EffectiveCodePage() << "\n";
        WarnIfTooLargeToRead(name, report.bytes, err);
        return;
    }

    std::string addOrigin = "--add-to-hash";
    Offset8 = 1;
    AddToHashSize = 0;
    if (defaults.from) {
        const TblHeader& h = defaults.from->header;
        Offset8 = h.Offset8;
        if (h.HashSize >= h.NumElements && h.HashSize - h.NumElements <= 255) {
            AddToHashSize = static_cast<int>(h.HashSize - h.NumElements);
            addOrigin = "the extra hash slots of " + Quoted(defaults.name);
        }
    }
    if (s.offset8) Offset8 = *s.offset8;
    if (s.addToHash) {
        AddToHashSize = *s.addToHash;
        addOrigin = "--add-to-hash";
    }

    if (count > 65535)
        throw FileError{"cannot write " + Quoted(name) + ": a .tbl file holds at most 65535 entries, this table has " +
                        std::to_string(count)};
    if (count + static_cast<std::size_t>(AddToHashSize) > 65536)
        throw FileError{"cannot write " + Quoted(name) + ": " + std::to_string(count) + " entries plus " +
                        std::to_string(AddToHashSize) + " extra hash slots (" + addOrigin +
                        ") exceed the 65536 slots of a .tbl file"};

    std::uint64_t totalChars = 0;
    for (std::size_t i = 0; i < count; ++i) totalChars += table.Keys.Get(i).size() + table.Values.Get(i).size();
    TblImageBuffer image;
    // Entries read from a .tbl keep the bytes their text would not give back.
    WriteReport report;
    report.allowLossy = s.lossy;
    const bool built = BuildTblImage(source, static_cast<std::int32_t>(count), totalChars, image,
                                     StoredBytesOf(table.Keys, table.Values), &report);
    RefuseIfLossy(name, table, report, ".tbl file", err);
    if (!built)
        throw FileError{"cannot write " + Quoted(name) +
                        ": the table does not fit a .tbl file (out of memory or strings too long)"};
    platform::AtomicFileWriter file;
    if (!file.Open(name) || !file.Write(image.data(), image.size()) || !file.Commit())
        throw FileError{WriteFailureMessage(name, file.Error())};
    WarnIfLossy(name, table, report, err);
    WarnIfTooLargeToRead(name, image.size(), err);
}

// A .tbl or text OUT needs entries; a .json OUT may be an empty array.
void RequireEntries(const LoadedTable& loaded, const std::u16string& name, const std::u16string& out) {
    if (loaded.table.Count() == 0 && !IsJsonName(out))
        throw FileError{Quoted(name) + " holds no entries; " + Quoted(out) + " was not written"};
}

// Writes the table that was loaded as `loaded` (and changed since) to out:
// a .json out over the .json file it came from, when it came from one.
void SaveLoaded(const std::u16string& out, const LoadedTable& loaded, const std::u16string& loadedName,
                const Settings& s, std::ostream& err) {
    if (IsJsonName(out)) {
        const std::size_t tied = loaded.json ? loaded.json->objects.size() : 0;
        SaveJson(out, loaded.table, s, loaded.json.get(), tied);
        return;
    }
    TblDefaults defaults;
    if (loaded.tbl) defaults = {&loaded, loadedName};
    SaveTable(out, loaded.table, s, defaults, err);
}

// Where --into, --first-id and --language may stand.
void CheckJsonOptions(const Settings& s, const std::u16string& out, bool intoAllowed, const char* command) {
    if (s.into && !intoAllowed) throw UsageError{std::string("--into does not apply to ") + command};
    if ((s.into || s.firstId) && !IsJsonName(out))
        throw UsageError{std::string(s.into ? "--into" : "--first-id") + " applies only to a .json OUT"};
    if (s.into && !IsJsonName(*s.into)) throw UsageError{"--into needs a .json file"};
}

// ---- Commands --------------------------------------------------------------

int Convert(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
    Settings s;
    const auto names = ParseArguments(args, 1, true, s);
    ExpectNames(names, 2, "convert", "IN and OUT");
    ApplyCodePage(s);
    const std::u16string& inName = names[0];
    const std::u16string& outName = names[1];

    CheckJsonOptions(s, outName, true, "convert");

    LoadedTable input;
    LoadTable(inName, s, input, err);
    if (s.into) {
        // BASE's column takes IN's values by key; keys it lacks are added.
        LoadedTable base;
        LoadTable(*s.into, s, base, err);
        const std::size_t tied = base.table.Count();
        std::size_t added = 0;
        const std::size_t changed = MergeByKey(input.table.Keys, input.table.Values, base.table, &added);
        SaveJson(outName, base.table, s, base.json.get(), tied);
        out << changed << " values changed, " << added << " new objects\n";
        out << base.table.Count() << " entries written to " << Quoted(outName) << "\n";
        return CliOk;
    }
    RequireEntries(input, inName, outName);
    SaveLoaded(outName, input, inName, s, err);
    out << input.table.Count() << " entries written to " << Quoted(outName) << "\n";
    return CliOk;
}

// merge and copy-time-dialogs: SOURCE TARGET OUT, TARGET changed by apply
// from SOURCE and written to OUT.
template <typename Apply>
int SourceIntoTarget(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err,
                     const char* command, Apply apply) {
    Settings s;
    const auto names = ParseArguments(args, 1, true, s);
    ExpectNames(names, 3, command, "SOURCE, TARGET and OUT");
    ApplyCodePage(s);
    CheckJsonOptions(s, names[2], false, command);

    LoadedTable source, target;
    LoadTable(names[0], s, source, err);
    LoadTable(names[1], s, target, err);
    RequireEntries(target, names[1], names[2]);
    const std::size_t changed = apply(source.table, target.table);
    SaveLoaded(names[2], target, names[1], s, err);
    out << changed << " values changed\n";
    out << target.table.Count() << " entries written to " << Quoted(names[2]) << "\n";
    return CliOk;
}

int Merge(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
    return SourceIntoTarget(args, out, err, "merge", [](const TableLists& source, TableLists& target) {
        return CopyMatchedValues(source.Keys, source.Values, target.Keys, target.Values);
    });
}

int CopyTimeDialogsCommand(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
    return SourceIntoTarget(args, out, err, "copy-time-dialogs", [](const TableLists& source, TableLists& target) {
        return CopyTimeDialogValues(source.Values, target.Values);
    });
}

// update and translate: TABLE OTHER FILE OUT.
int FileTool(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err, std::int32_t mode) {
    const char* command = mode == ToolUpdate ? "update" : "translate";
    Settings s;
    const auto names = ParseArguments(args, 1, true, s);
    ExpectNames(names, 4, command, "TABLE, OTHER, FILE and OUT");
    ApplyCodePage(s);
    CheckJsonOptions(s, names[3], false, command);

    LoadedTable table, other, file;
    LoadTable(names[0], s, table, err);
    LoadTable(names[1], s, other, err);
    LoadTable(names[2], s, file, err);
    const std::size_t changed = ApplyFileEntries(table.table.Keys, table.table.Values, other.table.Keys,
                                                 other.table.Values, file.table.Keys, file.table.Values, mode);
    RequireEntries(table, names[0], names[3]);
    SaveLoaded(names[3], table, names[0], s, err);
    out << changed << " values changed\n";
    out << table.table.Count() << " entries written to " << Quoted(names[3]) << "\n";
    return CliOk;
}

std::string Hex16(std::uint16_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) s.push_back(digits[(v >> shift) & 0xF]);
    return s;
}

// "2 spaces", "1 tab", "none": the blanks a gap ends in (after its last
// line end; a file on one line has none).
std::string Indentation(const std::string& gap) {
    const std::size_t lf = gap.rfind('\n');
    if (lf == std::string::npos) return "none";
    const std::string blanks = gap.substr(lf + 1);
    if (blanks.empty()) return "none";
    const auto count = [&blanks](const char* one) {
        return std::to_string(blanks.size()) + " " + one + (blanks.size() == 1 ? "" : "s");
    };
    if (blanks.find_first_not_of(' ') == std::string::npos) return count("space");
    if (blanks.find_first_not_of('\t') == std::string::npos) return count("tab");
    return "mixed blanks";
}

// A list of what repeats, at most ten items, then how many more.
template <typename T>
void PrintRepeats(std::ostringstream& report, const char* title, const std::vector<std::pair<T, std::size_t>>& repeats) {
    report << title << ": " << (repeats.empty() ? "none" : std::to_string(repeats.size())) << "\n";
    for (std::size_t i = 0; i < repeats.size() && i < 10; ++i) report << "  " << repeats[i].first << " (" << repeats[i].second << " objects)\n";
    if (repeats.size() > 10) report << "  ... and " << repeats.size() - 10 << " more\n";
}

// What a string file holds and how it is laid out.
void JsonInfo(const std::u16string& name, std::ostringstream& report) {
    const std::shared_ptr<const JsonDocument> doc = LoadJson(name, 0);
    const JsonLayout& l = doc->layout;
    const bool objects = !doc->objects.empty();
    report << "Format: json (string file of the remastered game)\n"
           << "Entries: " << doc->objects.size() << "\n"
           << "ByteOrderMark: " << (l.byteOrderMark ? "yes" : "no") << "\n"
           << "LineEnds: " << (l.lineEnd == "\r\n" ? "CRLF" : l.lineEnd == "\n" ? "LF" : "none (one line)") << "\n"
           << "FinalLineEnd: " << (doc->bytes.ends_with('\n') ? "yes" : "no") << "\n";
    if (objects) {
        report << "Indentation: objects " << Indentation(l.firstGap) << ", fields " << Indentation(l.fieldGap) << "\n";
        report << "NameSeparator: \"" << l.nameSeparator << "\"\n";
    }

    // Field orders, most frequent first.
    std::map<std::string, std::size_t> orders;
    std::vector<std::string> firstSeen;
    for (const JsonObject& o : doc->objects) {
        std::string order;
        for (std::uint32_t f = 0; f < o.fieldCount; ++f) {
            const JsonField& field = doc->fields[o.firstField + f];
            if (f) order += ' ';
            const std::string_view text = doc->Text(field.name);
            order += text.substr(1, text.size() - 2);
        }
        if (orders[order]++ == 0) firstSeen.push_back(order);
    }
    std::stable_sort(firstSeen.begin(), firstSeen.end(),
                     [&orders](const std::string& a, const std::string& b) { return orders[a] > orders[b]; });
    report << "FieldOrders: " << firstSeen.size() << "\n";
    for (const std::string& order : firstSeen) report << "  " << orders[order] << " x " << order << "\n";

    std::map<std::int64_t, std::size_t> ids;
    std::map<std::u16string, std::size_t> keys;
    for (std::size_t i = 0; i < doc->objects.size(); ++i) {
        ++ids[doc->objects[i].id];
        ++keys[doc->column.Key(i)];
    }
    std::vector<std::pair<std::int64_t, std::size_t>> repeatedIds;
    std::vector<std::pair<std::string, std::size_t>> repeatedKeys;
    for (std::size_t i = 0; i < doc->objects.size(); ++i) {
        std::size_t& n = ids[doc->objects[i].id];
        if (n > 1) repeatedIds.emplace_back(doc->objects[i].id, n), n = 0;
        std::size_t& k = keys[doc->column.Key(i)];
        if (k > 1) repeatedKeys.emplace_back("\"" + platform::ToUtf8(doc->column.Key(i)) + "\"", k), k = 0;
    }
    PrintRepeats(report, "RepeatedIds", repeatedIds);
    PrintRepeats(report, "RepeatedKeys", repeatedKeys);

    report << "Languages (missing fields, empty values):\n";
    for (int language = 0; language < JsonLanguageCount; ++language) {
        std::size_t missing = 0, empty = 0;
        for (const JsonObject& o : doc->objects) {
            if (!doc->Has(o, static_cast<std::uint8_t>(language))) ++missing;
            else if (doc->Field(o, static_cast<std::uint8_t>(language)).value.size() == 2) ++empty;
        }
        report << "  " << JsonLanguageCodes[language] << ": " << missing << " missing, " << empty << " empty\n";
    }
}

const char* EncodingName(TextEncoding e) {
    switch (e) {
    case TextEncoding::Unicode: return "UTF-16LE";
    case TextEncoding::UTF8: return "UTF-8";
    default: return "ANSI";
    }
}

// Why the reader took the text in the encoding it did.
std::string EncodingWhy(EncodingReason reason, TextEncoding choice) {
    switch (reason) {
    case EncodingReason::ByteOrderMark: return "byte-order mark";
    case EncodingReason::Chosen: return std::string("--from-encoding ") + (choice == TextEncoding::Unicode ? "utf16" : choice == TextEncoding::UTF8 ? "utf8" : "ansi");
    case EncodingReason::WellFormedUtf8: return "no byte-order mark; every byte sequence is UTF-8";
    case EncodingReason::AnsiSingleByte: return "no byte-order mark; not UTF-8; one character per byte in the code page";
    case EncodingReason::AnsiMultiByte:
        return "no byte-order mark; not UTF-8; no zero byte, and the multi-byte code page decodes it";
    case EncodingReason::ZeroBytes: return "no byte-order mark; not UTF-8; zero bytes or no decoding in the code page";
    }
    return {};
}

int Info(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
    Settings s;
    const auto names = ParseArguments(args, 1, false, s);
    ExpectNames(names, 1, "info", "one FILE");
    ApplyCodePage(s);
    const std::u16string& name = names[0];
    if (IsJsonName(name)) {
        std::ostringstream report;
        report << "File: " << platform::ToUtf8(name) << "\n";
        JsonInfo(name, report);
        out << report.str();
        return CliOk;
    }
    const platform::FileImage image = ReadImage(name);
    const std::uint8_t* bytes = image.data.get();

    // Collected first, printed in one piece, so a failure leaves no half
    // report on out.
    std::ostringstream report;
    report << "File: " << platform::ToUtf8(name) << "\n";
    std::size_t entries = 0;
    const TableEntrySink count = [&entries](const char16_t*, const char16_t*) { ++entries; };
    ReadReport read;

    if (IsTblName(name)) {
        if (image.size < TblHeaderSize) throw FileError{ReadFailureMessage(name, true, read)};
        const TblHeader h = ParseTblHeader(bytes);
        report << "Format: tbl\n"
               << "NumElements: " << h.NumElements << "\n"
               << "HashSize: " << h.HashSize << "\n"
               << "Offset8: " << static_cast<unsigned>(h.Offset8) << "\n"
               << "DataStart: " << h.DataStart << "\n"
               << "MaxProbe: " << h.MaxProbe << "\n"
               << "FileSize: " << h.FileSize;
        if (h.FileSize != image.size) report << " (the file holds " << image.size << " bytes)";
        report << "\n"
               << "Crc: " << Hex16(h.Crc) << "\n";
        if (h.DataStart <= h.FileSize && h.FileSize <= image.size) {
            const std::uint16_t crc = Crc16(bytes + h.DataStart, h.FileSize - h.DataStart);
            report << "ComputedCrc: " << Hex16(crc)
                   << (crc == h.Crc ? " (matches)" : " (does not match the stored Crc)") << "\n";
        } else {
            report << "ComputedCrc: none (DataStart..FileSize lies outside the file)\n";
        }
        if (!ReadTblImage(bytes, image.size, count, &read)) {
            out << report.str() << "Entries: unreadable\n";
            throw FileError{ReadFailureMessage(name, true, read)};
        }
    } else {
        if (image.size == 0) throw FileError{"cannot read " + Quoted(name) + ": the file is empty"};
        EncodingReason reason = EncodingReason::Chosen;
        const TextEncoding used = DetectTextEncoding(bytes, image.size, s.fromEncoding, &reason);
        report << "Format: text\nEncoding: " << EncodingName(used);
        if (used == TextEncoding::ANSI) report << " (code page " << platform::EffectiveCodePage() << ")";
        report << "\nEncodingChosenBy: " << EncodingWhy(reason, s.fromEncoding) << "\n";
        if (!ReadTextImage(bytes, image.size, platform::DirectoryOf(name), count, s.fromEncoding, s.layout, &read)) {
            out << report.str() << "Entries: unreadable\n";
            throw FileError{ReadFailureMessage(name, false, read)};
        }
    }
    report << "Entries: " << entries << "\n";
    out << report.str();
    ReportReadWarnings(name, read, s, err);
    return CliOk;
}

// What the command printed must have arrived: a failed write to standard
// output (a full disk, a closed pipe) is a failure of the command.
int Finished(int status, std::ostream& out, std::ostream& err) {
    errno = 0;
    out.flush();
    if (out) return status;
    const int error = errno;
    err << "error: cannot write the output" << (error ? std::string(": ") + std::strerror(error) : std::string())
        << "\n";
    return CliFileError;
}

}  // namespace

const char* CliHelpText() { return HelpText; }

int RunCli(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
    ResetOptions();
    platform::AnsiCodePage = 0;
    try {
        if (args.empty()) throw UsageError{"no command given"};
        const std::u16string& command = args[0];
        if (command == u"--help" || command == u"-h" || command == u"help") {
            out << HelpText;
            return Finished(CliOk, out, err);
        }
        if (command == u"--version") {
            out << VersionLine << "\n";
            return Finished(CliOk, out, err);
        }
        // Help asked for anywhere on the line wins over running the command.
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (args[i] == u"--") break;
            if (args[i] == u"--help" || args[i] == u"-h") {
                out << HelpText;
                return Finished(CliOk, out, err);
            }
        }
        if (command == u"convert") return Finished(Convert(args, out, err), out, err);
        if (command == u"merge") return Finished(Merge(args, out, err), out, err);
        if (command == u"update") return Finished(FileTool(args, out, err, ToolUpdate), out, err);
        if (command == u"translate") return Finished(FileTool(args, out, err, ToolTranslate), out, err);
        if (command == u"copy-time-dialogs") return Finished(CopyTimeDialogsCommand(args, out, err), out, err);
        if (command == u"info") return Finished(Info(args, out, err), out, err);
        throw UsageError{"unknown command '" + platform::ToUtf8(command) + "'"};
    } catch (const UsageError& e) {
        err << "error: " << e.message << "\nTry 'vellumark-cli --help' for more information.\n";
        return CliUsageError;
    } catch (const FileError& e) {
        err << "error: " << e.message << "\n";
        return CliFileError;
    } catch (const std::bad_alloc&) {
        err << "error: not enough memory\n";
        return CliFileError;
    } catch (const std::exception& e) {
        err << "error: " << e.what() << "\n";
        return CliFileError;
    }
}

}  // namespace vm
