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

#include "VellumarkVersion.h"
#include "cli/CheckCommand.h"
#include "cli/DiffCommand.h"
#include "cli/RebaseCommand.h"
#include "documents/CopyMatchedValues.h"
#include "documents/CrossTableTools.h"
#include "documents/DocumentTexts.h"
#include "documents/TableIO.h"
#include "documents/TableList.h"
#include "formats/Checksum.h"
#include "formats/FormatLimits.h"
#include "formats/JsonStrings.h"
#include "formats/TblTextTbl.h"
#include "formats/TextHelpers.h"
#include "platform/Platform.h"

namespace vm {

namespace {

constexpr const char* VersionLine = "vellumark-cli " VM_VERSION;

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
  check PATH...            Check a mod's strings as a whole (ids and keys in
                           two files, missing languages, placeholders lost
                           in translation, ...); see 'check --help'.
  diff OLD NEW             What changed between two tables, string files or
                           folders: entries added, removed, changed (per
                           language) and moved; see 'diff --help'.
  rebase OLD_GAME NEW_GAME MOD OUT
                           Apply what MOD changed against OLD_GAME to
                           NEW_GAME and write it to OUT; see 'rebase --help'.
  apply PATCH TARGET OUT   Apply a patch of 'diff --patch' by key to TARGET
                           and write it to OUT; see 'apply --help'.
  fix PATH...              Fix in place what check finds that can be fixed;
                           see 'check --help'.
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
                           mod's own range); refused when OUT or another
                           .json file of its folder holds N. Without it they
                           start at the number in next_string_id.txt in the
                           folder above OUT's, when there is one (it is
                           advanced past the new ids after the write), or
                           else above the highest id of every .json file in
                           OUT's folder (1 when there is none). No id that
                           a .json file of the folder holds is given again.
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

// ---- Arguments -------------------------------------------------------------

// What the command line says; Prepare turns it into the one value of the
// formats' options that every read and write of the command takes.
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

    FormatOptions options;
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
        throw UsageError{platform::ToUtf8(option) + " must be from " + range + ", not " + platform::ToUtf8(text)};
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
    {u"--strict", &Settings::strict, false},         {u"--includes-anywhere", &Settings::includesAnywhere, false},
    {u"--no-header", &Settings::noHeader, true},     {u"--no-quotes", &Settings::noQuotes, true},
    {u"--color-codes", &Settings::colorCodes, true}, {u"--lossy", &Settings::lossy, true},
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
        throw UsageError{platform::ToUtf8(option) + " must be one of " + codes + ", not '" + platform::ToUtf8(text) +
                         "'"};
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
    throw UsageError{platform::ToUtf8(option) + " must be tabbed or diablo, not '" + platform::ToUtf8(text) + "'"};
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
        if (!writeOptions &&
            ((sw && sw->writing) || option == u"--layout" || option == u"--encoding" || option == u"--offset8" ||
             option == u"--add-to-hash" || option == u"--language" || option == u"--into" || option == u"--first-id")) {
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
        throw UsageError{std::string(command) + " needs " + synopsis + " (" + std::to_string(names.size()) +
                         " file name" + (names.size() == 1 ? "" : "s") + " given)"};
    for (const auto& name : names)
        if (name.empty()) throw UsageError{std::string(command) + ": a file name is empty"};
}

// The options every read and write of the command goes by, and the code
// page of ANSI text.
void Prepare(Settings& s) {
    FormatOptions& o = s.options;
    o.limits.includesAnywhere = s.includesAnywhere;
    if (s.maxFileSize) o.limits.maxFileSize = *s.maxFileSize;
    o.text.readEncoding = s.fromEncoding;
    o.text.writeEncoding = s.encoding;
    o.text.layout = s.layout;
    o.text.header = !s.noHeader;
    o.text.quoteValues = !s.noQuotes;
    o.text.colorMacros = !s.colorCodes;
    o.json.language = s.language;
    o.json.firstId = s.firstId.value_or(0);
    if (!s.codePage) return;
    platform::AnsiCodePage = *s.codePage;
    std::u16string probe;
    if (!platform::AnsiToWide("A", 1, probe))
        throw UsageError{"code page " + std::to_string(*s.codePage) + " is not available on this system"};
}

// The format a file is read and written in: its extension's, and text in
// the layout asked for for any other name.
std::int32_t FormatOf(const std::u16string& name, const Settings& s) {
    const std::int32_t format = FormatOfFileName(name);
    if (format == FormatTbl || format == FormatJson) return format;
    return s.layout == TextLayout::DiabloII ? FormatDiabloText : FormatTabbedText;
}

bool IsJsonName(const std::u16string& name) { return FormatOfFileName(name) == FormatJson; }

// ---- Reading ---------------------------------------------------------------

struct LoadedTable {
    TableLists table;
    // What the file says of itself: a .tbl file's header, a string file as
    // it was read (entry i came from object i + 1 while i is below its
    // object count).
    LoadReport report;
};

std::string Utf8(const char16_t* text) { return platform::ToUtf8(text); }

// Why a read failed, as a message.
std::string ReadFailureMessage(const std::u16string& name, std::int32_t format, const LoadReport& loaded,
                               const ReadLimits& limits) {
    const std::string head = "cannot read " + Quoted(name) + ": ";
    switch (loaded.file) {
    case platform::ReadStatus::Ok: break;
    case platform::ReadStatus::NotFound: return head + "no such file";
    case platform::ReadStatus::TooLarge:
        return head + "it is larger than the limit of " + std::to_string(limits.maxFileSize) +
               " bytes (see --max-file-size)";
    case platform::ReadStatus::NoMemory: return head + "not enough memory";
    case platform::ReadStatus::IoError: return head + "the file cannot be opened or read";
    }
    if (format == FormatJson) return head + "it is not a string file: " + DescribeJsonError(loaded.json);
    const bool tbl = format == FormatTbl;
    if (!tbl && loaded.fileBytes == 0) return head + "the file is empty";
    const ReadReport& report = loaded.read;
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
    default: break;
    }
    return head + "it is corrupt or of unknown format (" +
           (tbl ? "not a valid .tbl file" : "the text stops decoding part-way") + ")";
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
        lines.push_back(std::to_string(r.shortLengths) +
                        " value(s) go on past their stored length; they were read, and "
                        "are written back, up to it (first: row " +
                        std::to_string(r.firstShortLength + 1) + ")");
    if (r.utf8ReadAsAnsi)
        lines.push_back(
            "it looks like UTF-8 without a byte-order mark but is not UTF-8 throughout, so it was read "
            "as ANSI (code page " +
            std::to_string(platform::EffectiveCodePage()) + ")");
    for (const std::string& line : lines)
        err << (s.strict ? "error: " : "warning: ") << Quoted(name) << ": " << line << "\n";
    if (s.strict) throw FileError{"cannot use " + Quoted(name) + ": not read exactly (--strict)"};
}

void LoadTable(const std::u16string& name, const Settings& s, LoadedTable& loaded, std::ostream& err) {
    const std::int32_t format = FormatOf(name, s);
    if (!LoadTableFile(name, format, s.options, loaded.table.Keys, loaded.table.Values, loaded.report))
        throw FileError{ReadFailureMessage(name, format, loaded.report, s.options.limits)};
    ReportReadWarnings(name, loaded.report.read, s, err);
}

// ---- Writing ---------------------------------------------------------------

std::string WriteFailureMessage(const std::u16string& name, platform::WriteError error) {
    const int index = static_cast<int>(error);
    std::string cause = index > 0 && index < WriteErrorCount && *BuiltInWriteError[index]
                            ? Utf8(BuiltInWriteError[index])
                            : std::string("The file or its folder cannot be written.");
    cause[0] = static_cast<char>(cause[0] - 'A' + 'a');  // every cause starts with a capital
    cause.pop_back();                                    // and ends with a full stop
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

// What the choice of a string file's new ids could not take into account
// or do.
std::string IdWarningLine(const StringIdWarning& w) {
    const std::string file = Quoted(w.file);
    const std::string unused = "; it was neither used nor advanced";
    switch (w.kind) {
    case StringIdWarning::Kind::SiblingUnreadable:
        return file + " cannot be read, so a new id may repeat one of its ids: " + DescribeJsonError(w.json);
    case StringIdWarning::Kind::CounterUnreadable:
        return "the id counter " + file + " cannot be read" +
               (w.read == platform::ReadStatus::TooLarge   ? " (it is larger than --max-file-size)"
                : w.read == platform::ReadStatus::NoMemory ? " (not enough memory)"
                                                           : "") +
               unused;
    case StringIdWarning::Kind::CounterNoNumber:
        return "the id counter " + file + " holds no number that can be used" + unused;
    case StringIdWarning::Kind::CounterNotWritten: {
        std::string line =
            "the id counter " + file + " could not be advanced past the new id " + std::to_string(w.number);
        const int index = static_cast<int>(w.write);
        if (index > 0 && index < WriteErrorCount && *BuiltInWriteError[index]) {
            std::string cause = Utf8(BuiltInWriteError[index]);
            cause[0] = static_cast<char>(cause[0] - 'A' + 'a');
            cause.pop_back();
            line += ": " + cause;
        }
        return line;
    }
    }
    return {};
}

// What a table is written from: the table as loaded (and changed since),
// under the name it was read from.
struct Written {
    const LoadedTable& loaded;
    const std::u16string& name;
};

// Writes table to name. A .tbl file takes the header options of a .tbl
// input unless the command line gives them; a .json file is written into
// json's file.
void SaveTable(const std::u16string& name, const TableLists& table, const Settings& s, const Written& from,
               const JsonTarget& json, std::ostream& err) {
    const std::int32_t format = FormatOf(name, s);
    FormatOptions options = s.options;
    std::string slotsFrom = "--add-to-hash";
    if (const auto& header = from.loaded.report.tblHeader) {
        options.tbl = TblOptionsOfHeader(*header, options.tbl);
        if (header->HashSize >= header->NumElements && header->HashSize - header->NumElements <= 255)
            slotsFrom = "the extra hash slots of " + Quoted(from.name);
    }
    if (s.offset8) options.tbl.offset8 = *s.offset8;
    if (s.addToHash) {
        options.tbl.addToHashSize = *s.addToHash;
        slotsFrom = "--add-to-hash";
    }

    SaveReport report;
    if (!SaveTableFile(name, format, table.Keys, table.Values, options, s.lossy, json, report)) {
        const std::size_t count = table.Count();
        const std::string head = "cannot write " + Quoted(name) + ": ";
        switch (report.failure) {
        case SaveFailure::NoEntries:
            throw FileError{Quoted(from.name) + " holds no entries; " + Quoted(name) + " was not written"};
        case SaveFailure::TooManyEntries:
            throw FileError{head + (format == FormatTbl ? "a .tbl file holds at most 65535 entries, this table has " +
                                                              std::to_string(count)
                                                        : std::string("too many entries"))};
        case SaveFailure::TooManyHashSlots:
            throw FileError{head + std::to_string(count) + " entries plus " +
                            std::to_string(options.tbl.addToHashSize) + " extra hash slots (" + slotsFrom +
                            ") exceed the 65536 slots of a .tbl file"};
        case SaveFailure::DoesNotFit:
            throw FileError{head + "the table does not fit a .tbl file (out of memory or strings too long)"};
        case SaveFailure::Lossy:
            err << "error: " << Quoted(name) << " was not written: " << report.write.lossCount << " entr"
                << (report.write.lossCount == 1 ? "y" : "ies") << " cannot be stored exactly in this "
                << (format == FormatTbl ? ".tbl" : "text") << " file:\n";
            for (const TextLossEntry& loss : report.write.losses) err << "  " << LossLine(table, loss) << "\n";
            if (report.write.lossCount > report.write.losses.size())
                err << "  ... and " << report.write.lossCount - report.write.losses.size() << " more\n";
            throw FileError{"use --lossy to write it anyway, or another format"};
        case SaveFailure::Json: throw FileError{head + DescribeJsonError(report.json)};
        case SaveFailure::FirstIdTaken:
            throw FileError{head + "the first id " + std::to_string(options.json.firstId) +
                            " (--first-id) is already held by " + Quoted(report.firstIdHolder) +
                            "; new ids must be unique across the string files of the folder"};
        case SaveFailure::None:
        case SaveFailure::File: break;
        }
        throw FileError{WriteFailureMessage(name, report.write.error)};
    }
    for (const StringIdWarning& warning : report.idWarnings) err << "warning: " << IdWarningLine(warning) << "\n";
    const WriteReport& w = report.write;
    if (w.lossCount != 0)
        err << "warning: " << w.lossCount << " entr" << (w.lossCount == 1 ? "y was" : "ies were")
            << " not stored exactly in " << Quoted(name) << " (first: " << LossLine(table, w.losses.front()) << ")\n";
    if (w.encodingMustBeNamed)
        err << "warning: " << Quoted(name) << " is ANSI text that Autodetect may take for another encoding: read it "
            << "with --from-encoding ansi --codepage " << platform::EffectiveCodePage() << "\n";
    if (format != FormatJson && w.bytes > options.limits.maxFileSize)
        err << "warning: " << Quoted(name) << " is " << w.bytes << " bytes, more than the read limit of "
            << options.limits.maxFileSize << " bytes: reading it back needs --max-file-size " << w.bytes << "\n";
}

// A string file's column, entries tied to the first tiedCount objects of
// base (null: a new file in the game's layout).
JsonTarget IntoJson(const JsonDocument* base, std::size_t tiedCount) {
    JsonTarget target;
    target.base = base;
    target.origin = [tiedCount](std::int32_t i) {
        return static_cast<std::size_t>(i) < tiedCount ? static_cast<std::uint32_t>(i + 1) : 0u;
    };
    return target;
}

// Writes the table that was loaded as `loaded` (and changed since) to out:
// a .json out over the .json file it came from, when it came from one.
void SaveLoaded(const std::u16string& out, const LoadedTable& loaded, const std::u16string& loadedName,
                const Settings& s, std::ostream& err) {
    const JsonDocument* doc = loaded.report.document.get();
    SaveTable(out, loaded.table, s, {loaded, loadedName}, IntoJson(doc, doc ? doc->objects.size() : 0), err);
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
    Prepare(s);
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
        SaveTable(outName, base.table, s, {base, *s.into}, IntoJson(base.report.document.get(), tied), err);
        out << changed << " values changed, " << added << " new objects\n";
        out << base.table.Count() << " entries written to " << Quoted(outName) << "\n";
        return CliOk;
    }
    SaveLoaded(outName, input, inName, s, err);
    out << input.table.Count() << " entries written to " << Quoted(outName) << "\n";
    return CliOk;
}

// merge and copy-time-dialogs: SOURCE TARGET OUT, TARGET changed by apply
// from SOURCE and written to OUT.
template <typename Apply>
int SourceIntoTarget(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err, const char* command,
                     Apply apply) {
    Settings s;
    const auto names = ParseArguments(args, 1, true, s);
    ExpectNames(names, 3, command, "SOURCE, TARGET and OUT");
    Prepare(s);
    CheckJsonOptions(s, names[2], false, command);

    LoadedTable source, target;
    LoadTable(names[0], s, source, err);
    LoadTable(names[1], s, target, err);
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
    Prepare(s);
    CheckJsonOptions(s, names[3], false, command);

    LoadedTable table, other, file;
    LoadTable(names[0], s, table, err);
    LoadTable(names[1], s, other, err);
    LoadTable(names[2], s, file, err);
    const std::size_t changed = ApplyFileEntries(table.table.Keys, table.table.Values, other.table.Keys,
                                                 other.table.Values, file.table.Keys, file.table.Values, mode);
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
void PrintRepeats(std::ostringstream& report, const char* title,
                  const std::vector<std::pair<T, std::size_t>>& repeats) {
    report << title << ": " << (repeats.empty() ? "none" : std::to_string(repeats.size())) << "\n";
    for (std::size_t i = 0; i < repeats.size() && i < 10; ++i)
        report << "  " << repeats[i].first << " (" << repeats[i].second << " objects)\n";
    if (repeats.size() > 10) report << "  ... and " << repeats.size() - 10 << " more\n";
}

// What a string file holds and how it is laid out.
void JsonInfo(const JsonDocument& doc, std::ostringstream& report) {
    const JsonLayout& l = doc.layout;
    const bool objects = !doc.objects.empty();
    report << "Format: json (string file of the remastered game)\n"
           << "Entries: " << doc.objects.size() << "\n"
           << "ByteOrderMark: " << (l.byteOrderMark ? "yes" : "no") << "\n"
           << "LineEnds: "
           << (l.lineEnd == "\r\n" ? "CRLF"
               : l.lineEnd == "\n" ? "LF"
                                   : "none (one line)")
           << "\n"
           << "FinalLineEnd: " << (doc.bytes.ends_with('\n') ? "yes" : "no") << "\n";
    if (objects) {
        report << "Indentation: objects " << Indentation(l.firstGap) << ", fields " << Indentation(l.fieldGap) << "\n";
        report << "NameSeparator: \"" << l.nameSeparator << "\"\n";
    }

    // Field orders, most frequent first.
    std::map<std::string, std::size_t> orders;
    std::vector<std::string> firstSeen;
    for (const JsonObject& o : doc.objects) {
        std::string order;
        for (std::uint32_t f = 0; f < o.fieldCount; ++f) {
            const JsonField& field = doc.fields[o.firstField + f];
            if (f) order += ' ';
            const std::string_view text = doc.Text(field.name);
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
    for (std::size_t i = 0; i < doc.objects.size(); ++i) {
        ++ids[doc.objects[i].id];
        ++keys[doc.column.Key(i)];
    }
    std::vector<std::pair<std::int64_t, std::size_t>> repeatedIds;
    std::vector<std::pair<std::string, std::size_t>> repeatedKeys;
    for (std::size_t i = 0; i < doc.objects.size(); ++i) {
        std::size_t& n = ids[doc.objects[i].id];
        if (n > 1) repeatedIds.emplace_back(doc.objects[i].id, n), n = 0;
        std::size_t& k = keys[doc.column.Key(i)];
        if (k > 1) repeatedKeys.emplace_back("\"" + platform::ToUtf8(doc.column.Key(i)) + "\"", k), k = 0;
    }
    PrintRepeats(report, "RepeatedIds", repeatedIds);
    PrintRepeats(report, "RepeatedKeys", repeatedKeys);

    report << "Languages (missing fields, empty values):\n";
    for (int language = 0; language < JsonLanguageCount; ++language) {
        std::size_t missing = 0, empty = 0;
        for (const JsonObject& o : doc.objects) {
            if (!doc.Has(o, static_cast<std::uint8_t>(language))) ++missing;
            else if (doc.Field(o, static_cast<std::uint8_t>(language)).value.size() == 2) ++empty;
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
    case EncodingReason::Chosen:
        return std::string("--from-encoding ") + (choice == TextEncoding::Unicode ? "utf16"
                                                  : choice == TextEncoding::UTF8  ? "utf8"
                                                                                  : "ansi");
    case EncodingReason::WellFormedUtf8: return "no byte-order mark; every byte sequence is UTF-8";
    case EncodingReason::AnsiSingleByte:
        return "no byte-order mark; not UTF-8; one character per byte in the code page";
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
    Prepare(s);
    const std::u16string& name = names[0];
    const std::int32_t format = FormatOf(name, s);
    LoadedTable loaded;
    const bool ok = LoadTableFile(name, format, s.options, loaded.table.Keys, loaded.table.Values, loaded.report);
    const LoadReport& r = loaded.report;

    // Collected first, printed in one piece, so a failure leaves no half
    // report on out.
    std::ostringstream report;
    report << "File: " << platform::ToUtf8(name) << "\n";
    if (format == FormatJson) {
        if (!ok) throw FileError{ReadFailureMessage(name, format, r, s.options.limits)};
        JsonInfo(*r.document, report);
        out << report.str();
        return CliOk;
    }
    if (format == FormatTbl && r.tblHeader) {
        const TblHeader& h = *r.tblHeader;
        report << "Format: tbl\n"
               << "NumElements: " << h.NumElements << "\n"
               << "HashSize: " << h.HashSize << "\n"
               << "Offset8: " << static_cast<unsigned>(h.Offset8) << "\n"
               << "DataStart: " << h.DataStart << "\n"
               << "MaxProbe: " << h.MaxProbe << "\n"
               << "FileSize: " << h.FileSize;
        if (h.FileSize != r.fileBytes) report << " (the file holds " << r.fileBytes << " bytes)";
        report << "\n"
               << "Crc: " << Hex16(h.Crc) << "\n";
        // The checksum over the bytes as they are: the load decodes the
        // entries and never looks at it.
        platform::FileImage image;
        if (h.DataStart <= h.FileSize && h.FileSize <= r.fileBytes &&
            platform::ReadWholeFile(name, s.options.limits.maxFileSize, 0, image) == platform::ReadStatus::Ok &&
            h.FileSize <= image.size) {
            const std::uint16_t crc = Crc16(image.data.get() + h.DataStart, h.FileSize - h.DataStart);
            report << "ComputedCrc: " << Hex16(crc)
                   << (crc == h.Crc ? " (matches)" : " (does not match the stored Crc)") << "\n";
        } else {
            report << "ComputedCrc: none (DataStart..FileSize lies outside the file)\n";
        }
    } else if (format != FormatTbl && r.file == platform::ReadStatus::Ok && r.fileBytes != 0) {
        const TextEncoding used = r.read.encoding;
        report << "Format: text\nEncoding: " << EncodingName(used);
        if (used == TextEncoding::ANSI) report << " (code page " << platform::EffectiveCodePage() << ")";
        report << "\nEncodingChosenBy: " << EncodingWhy(r.read.encodingReason, s.fromEncoding) << "\n";
    }
    if (!ok) {
        if (r.tblHeader || (format != FormatTbl && r.file == platform::ReadStatus::Ok && r.fileBytes != 0))
            out << report.str() << "Entries: unreadable\n";
        throw FileError{ReadFailureMessage(name, format, r, s.options.limits)};
    }
    report << "Entries: " << loaded.table.Count() << "\n";
    out << report.str();
    ReportReadWarnings(name, r.read, s, err);
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
        // The commands with help of their own.
        struct OwnCommand {
            std::u16string_view name;
            int (*run)(const std::vector<std::u16string>&, std::ostream&, std::ostream&);
            std::string (*help)();
        };
        static constexpr OwnCommand OwnCommands[] = {
            {u"check", RunCheck, CheckHelpText}, {u"fix", RunCheck, CheckHelpText},
            {u"diff", RunDiff, DiffHelpText},    {u"rebase", RunRebase, RebaseHelpText},
            {u"apply", RunApply, ApplyHelpText},
        };
        for (const OwnCommand& c : OwnCommands) {
            if (command != c.name) continue;
            for (std::size_t i = 1; i < args.size() && args[i] != u"--"; ++i)
                if (args[i] == u"--help" || args[i] == u"-h") {
                    out << c.help();
                    return Finished(CliOk, out, err);
                }
            return Finished(c.run(args, out, err), out, err);
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
