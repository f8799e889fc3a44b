#include "TableFiles.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "CopyMatchedValues.h"
#include "DocumentTexts.h"
#include "formats/CRC.h"
#include "History.h"
#include "formats/JsonStrings.h"
#include "formats/Options.h"
#include "formats/TblTextTbl.h"
#include "platform/Platform.h"

namespace vm {

namespace {

TextEncoding ReadingEncoding(int choice) {
    switch (choice) {
    case 0: return TextEncoding::Unicode;
    case 1: return TextEncoding::UTF8;
    case 2: return TextEncoding::ANSI;
    default: return TextEncoding::Autodetect;
    }
}

TextEncoding WritingEncoding(int choice) {
    switch (choice) {
    case 1: return TextEncoding::UTF8;
    case 2: return TextEncoding::ANSI;
    default: return TextEncoding::Unicode;
    }
}

// The layout a format number names; the text reader reads both layouts
// whatever it is told, so this only matters for writing and for includes.
TextLayout LayoutOf(std::int32_t format) {
    return format >= FormatDiabloText ? TextLayout::DiabloII : TextLayout::Tabbed;
}

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameExtension(std::u16string_view ext, std::u16string_view lower) {
    if (ext.size() != lower.size()) return false;
    for (std::size_t i = 0; i < ext.size(); ++i)
        if (AsciiLower(ext[i]) != lower[i]) return false;
    return true;
}

// A key as a message shows it: a long one cut.
std::u16string ShownKey(const std::u16string& key) {
    constexpr std::size_t longest = 60;
    return key.size() <= longest ? key : key.substr(0, longest) + u"...";
}

// Counts and row numbers in messages; none comes near 2^31.
std::u16string Decimal(std::size_t n) { return IntToDecimal(static_cast<std::int32_t>(std::min<std::size_t>(n, INT32_MAX))); }

// Reads the LanguageJSON column of p.FileName into p's lists and ties each
// entry to its object.
bool LoadJson(TTblObjects& p, JsonError& error) {
    auto doc = std::make_shared<JsonDocument>();
    if (!LoadJsonStrings(p.FileName, LanguageJSON, *doc, &error)) return false;
    const std::size_t count = doc->column.items.size();
    p.Keys->Reserve(count);
    p.Values->Reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        p.Keys->Append(doc->column.Key(i));
        p.Values->Append(doc->column.Value(i));
        p.Keys->SetOrigin(i, static_cast<std::uint32_t>(i + 1));
    }
    p.JsonObjectOf.resize(count + 1);
    for (std::size_t i = 0; i <= count; ++i) p.JsonObjectOf[i] = static_cast<std::uint32_t>(i);
    p.JsonLanguage = LanguageJSON;
    p.JsonFileName = p.FileName;
    p.JsonOwned.assign(count, true);
    p.Json = std::move(doc);
    return true;
}

TableEntrySource SourceOf(const TStringList& keys, const TStringList& values) {
    const std::size_t count = keys.Count();
    // The writers pull every entry in order; the strings stay where they
    // are while they run.
    return [&keys, &values, count](std::int32_t i, const char16_t*& key, const char16_t*& value) {
        if (i < 0 || static_cast<std::size_t>(i) >= count) return false;
        key = keys.Get(static_cast<std::size_t>(i)).c_str();
        value = values.Get(static_cast<std::size_t>(i)).c_str();
        return true;
    };
}

// The object entry i is tied to in p.Json (see TTblObjects::JsonObjectOf).
std::uint32_t JsonObjectOfEntry(const TTblObjects& p, std::size_t i) {
    const std::uint32_t origin = p.Keys->Origin(i);
    return origin < p.JsonObjectOf.size() ? p.JsonObjectOf[origin] : 0;
}

// A string-file side written back over its file as the file is now: its
// own column, inserts, deletes and moves, and what others saved there
// since. The new tie of every entry goes to origins.
bool BuildOwnColumn(const TTblObjects& p, std::string& bytes, std::vector<std::uint32_t>& origins, JsonError& error) {
    JsonDocument disk;
    const JsonDocument* base = p.Json.get();
    if (platform::FileExists(p.JsonFileName)) {
        if (!LoadJsonStrings(p.JsonFileName, -1, disk, &error)) return false;
        base = &disk;
    }
    const TStringList& keys = *p.Keys;
    const TStringList& values = *p.Values;
    // An entry whose object someone else removed stays out of the file,
    // unless it was changed here since: then it comes back as a new object.
    const JsonOriginSource origin = [&p, &keys, &values](std::int32_t i) {
        const auto k = static_cast<std::size_t>(i);
        const std::uint32_t o = JsonObjectOfEntry(p, k);
        if (o != JsonOriginGone) return o;
        return (keys.Flag(k) & FlagChanged) || (values.Flag(k) & FlagChanged) ? 0u : JsonOriginGone;
    };
    return BuildJsonColumn({base, p.Json.get(), p.JsonLanguage, NewIdJSON, &p.JsonOwned}, SourceOf(keys, values),
                           origin, static_cast<std::int32_t>(p.Count()), bytes, &origins, &error);
}

// Any other table into the JsonLanguage column of a string file by key, as
// the command-line tool's --into does; a file that is not there yet is
// made in the game's layout.
bool BuildByKey(const TTblObjects& p, std::string& bytes, JsonError& error) {
    JsonDocument target = EmptyJsonDocument();
    if (platform::FileExists(p.FileName) && !LoadJsonStrings(p.FileName, p.JsonLanguage, target, &error)) return false;
    TableLists column;
    DeliverJsonColumn(target, [&column](const char16_t* k, const char16_t* v) { column.Append(k, v); });
    const std::size_t tied = column.Count();
    MergeByKey(*p.Keys, *p.Values, column);
    if (column.Count() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return false;
    const std::int64_t firstId = NewIdJSON > 0 ? NewIdJSON : target.objects.empty() ? 1 : 0;
    return BuildJsonColumn({&target, nullptr, p.JsonLanguage, firstId}, SourceOf(column.Keys, column.Values),
                           [tied](std::int32_t i) { return static_cast<std::size_t>(i) < tied ? static_cast<std::uint32_t>(i + 1) : 0u; },
                           static_cast<std::int32_t>(column.Count()), bytes, nullptr, &error);
}

bool SaveJson(TTblObjects& p, JsonError& error) {
    if (p.Count() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return false;
    std::string bytes;
    std::vector<std::uint32_t> origins;
    if (!(p.Json ? BuildOwnColumn(p, bytes, origins, error) : BuildByKey(p, bytes, error))) return false;
    if (!WriteJsonBytes(p.FileName, bytes, &error.cause)) return false;
    if (!p.Json) return true;
    // What was written is what the side shows now.
    auto written = std::make_shared<JsonDocument>();
    if (!ParseJsonStrings(std::move(bytes), p.JsonLanguage, *written)) return false;
    // The objects written for this table are its own, as the table has
    // them (a key the other side changed stays the other side's until this
    // side changes it); the rest are others'.
    p.JsonOwned.assign(written->objects.size(), false);
    // Every origin leads to its object in what was written: the entries'
    // own (a new entry gets a new origin), and those only the undo history
    // holds now lead to none, so an entry given back becomes a new object.
    std::fill(p.JsonObjectOf.begin() + 1, p.JsonObjectOf.end(), 0u);
    for (std::size_t i = 0; i < origins.size(); ++i) {
        std::uint32_t origin = p.Keys->Origin(i);
        if (origin == 0 || origin >= p.JsonObjectOf.size()) {
            origin = static_cast<std::uint32_t>(p.JsonObjectOf.size());
            p.JsonObjectOf.push_back(0);
            p.Keys->SetOrigin(i, origin);
        }
        p.JsonObjectOf[origin] = origins[i];
        if (origins[i] == 0 || origins[i] == JsonOriginGone) continue;
        p.JsonOwned[origins[i] - 1] = true;
        written->column.Set(origins[i] - 1, p.Keys->Get(i), p.Values->Get(i));
    }
    p.Json = std::move(written);
    p.JsonFileName = p.FileName;
    return true;
}

// Ends a side's tie to a string file.
void Untie(TTblObjects& p) {
    p.Json.reset();
    p.JsonFileName.clear();
    p.JsonOwned.clear();
    p.JsonObjectOf.clear();
    p.Keys->ClearOrigins();
}

std::u16string FileNameOnly(const std::u16string& path) {
    const std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::u16string WithJsonDetail(const std::u16string& message, const JsonError& error) {
    if (error.problem == JsonProblem::None) return message;
    return message + u"\n" + platform::FromUtf8(DescribeJsonError(error));
}

std::u16string SourceCaption(const TTblObjects& p) {
    if (!p.Json) return {};
    const char* code = JsonLanguageCodes[p.JsonLanguage];
    return FileNameOnly(p.JsonFileName) + u" [" + std::u16string(code, code + 4) + u"]";
}

std::u16string ReadFailureText(const ReadReport& report) {
    switch (report.failure) {
    case ReadFailure::IncludeOutside: return sErrorIncludeOutside + u"\n" + report.failureName;
    case ReadFailure::IncludeBudget: return sErrorIncludeBudget;
    case ReadFailure::TooLarge: {
        const std::string limit = std::to_string(MaxFileSize);
        return FillIn(sErrorFileTooLarge, {std::u16string(limit.begin(), limit.end())});
    }
    default: return sErrorReadFile;
    }
}

std::u16string ReadWarningText(const ReadReport& report) {
    std::u16string text = sWarnRead;
    if (report.missingIncludes)
        text += u"\n" + FillIn(sWarnMissingInclude, {Decimal(report.missingIncludes), report.firstMissingInclude});
    if (report.deepIncludes)
        text += u"\n" + FillIn(sWarnDeepInclude, {Decimal(report.deepIncludes), report.firstDeepInclude});
    if (report.cutStrings)
        text += u"\n" + FillIn(sWarnCutStrings, {Decimal(report.cutStrings), Decimal(report.firstCutEntry + 1)});
    if (report.shortLengths)
        text += u"\n" + FillIn(sWarnShortLengths, {Decimal(report.shortLengths), Decimal(report.firstShortLength + 1)});
    if (report.utf8ReadAsAnsi) text += u"\n" + sWarnUtf8AsAnsi;
    return text;
}

void ShowReadResult(TTblObjects& p, bool ok, const ReadReport& report, const std::u16string& fileName,
                    const JsonError* json) {
    if (!ok)
        p.View->ShowMessage((json ? WithJsonDetail(ReadFailureText(report), *json) : ReadFailureText(report)) + u"\n" +
                                fileName,
                            AppCaption);
    else if (report.AnyWarning())
        p.View->ShowMessage(ReadWarningText(report) + u"\n" + fileName, AppCaption);
}

bool LoadTable(TTblObjects& p, std::int32_t format) {
    // A failed load keeps the side's unsaved-changes state: what it had
    // not saved is still not saved anywhere.
    const bool wasModified = p.Modified;
    p.Keys->Clear();
    p.Values->Clear();
    Untie(p);

    TStringList& keys = *p.Keys;
    TStringList& values = *p.Values;
    // Room for the file's text in one block per list, so that a large
    // table is read without growing them piece by piece (a file too large
    // to be read gets nothing).
    if (const std::uint64_t bytes = platform::FileSizeOf(p.FileName); bytes <= MaxFileSize) {
        keys.Reserve(0, static_cast<std::size_t>(bytes));
        values.Reserve(0, static_cast<std::size_t>(bytes));
    }
    const TableEntrySink sink = [&keys, &values](const char16_t* key, const char16_t* value) {
        keys.Append(key);
        values.Append(value);
    };
    ReadReport report;
    JsonError error;
    AppendToLists appendToLists(keys, values);
    const bool ok = format == FormatTbl    ? ReadTblFile(p.FileName, appendToLists, &report)
                    : format == FormatJson ? LoadJson(p, error)
                                           : ReadTextTable(p.FileName, sink, ReadingEncoding(OpenEncoding),
                                                           LayoutOf(format), &report);
    // The side's history starts anew with the table read; after a failed
    // read it is not at a saved point when the side had unsaved changes.
    StartHistory(p, ok || !wasModified);
    p.Modified = ok ? false : wasModified;
    ShowReadResult(p, ok, report, p.FileName, &error);
    p.View->ShowSource(SourceCaption(p));

    const std::int32_t rows = RowCountOf(p);
    p.View->SetRowCount(rows);
    p.Other->View->SetRowCount(rows);
    p.View->SetNumberColumnWidth(rows);
    if (CurrentRow < 0 || CurrentRow >= rows) {
        p.View->SelectRow(0);
        CurrentRow = 0;
    }
    p.View->SwitchEditorRow(CurrentRow, -1);
    p.View->EnableSave();
    return ok;
}

std::int32_t FormatOfFileName(std::u16string_view fileName) {
    const std::size_t dot = fileName.rfind(u'.');
    if (dot == std::u16string_view::npos) return 0;
    const std::u16string_view ext = fileName.substr(dot);
    if (SameExtension(ext, u".tbl")) return FormatTbl;
    if (SameExtension(ext, u".txt")) return FormatTabbedText;
    if (SameExtension(ext, u".json")) return FormatJson;
    return 0;
}

bool OpenByExtension(TTblObjects& p) {
    const std::int32_t format = FormatOfFileName(p.FileName);
    if (format == 0) return false;
    return LoadTable(p, format);
}

bool SaveTable(TTblObjects& p, std::int32_t format) {
    const std::size_t count = p.Count();
    const TStringList& keys = *p.Keys;
    const TStringList& values = *p.Values;
    const TableEntrySource source = SourceOf(keys, values);

    // Unchanged entries read from a .tbl with bytes their text would not
    // give back are written with those bytes.
    const StoredBytesSource stored = StoredBytesOf(keys, values);
    bool ok = false;
    WriteReport report;
    JsonError error;
    // A file that cannot hold every entry exactly is written only when the
    // user says so; "No" saves nothing and says nothing more.
    const auto saveAnyway = [&] {
        const TextLossEntry& first = report.losses.front();
        return p.View->AskYesNo(FillIn(sAskLossyText, {Decimal(report.lossCount), Decimal(first.entry + 1),
                                                        ShownKey(keys.Get(first.entry)),
                                                        sTextLoss[static_cast<int>(first.reason)]}),
                                AppCaption);
    };
    if (format == FormatJson) {
        ok = SaveJson(p, error);
    } else if (format < FormatTabbedText) {
        // More than 65535 entries do not fit a .tbl file; the writer
        // refuses them too, but the count must not wrap on the way there.
        if (count <= 65535) {
            std::uint64_t total = 0;
            for (std::size_t i = 0; i < count; ++i) total += keys.Get(i).size() + values.Get(i).size();
            ok = WriteTblFile(p.FileName, source, static_cast<std::int32_t>(count), total, &report, stored);
            if (!ok && report.refusedAsLossy) {
                if (!saveAnyway()) return false;
                report.allowLossy = true;
                ok = WriteTblFile(p.FileName, source, static_cast<std::int32_t>(count), total, &report, stored);
            }
        }
    } else if (count <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        const auto n = static_cast<std::int32_t>(count);
        const TextLayout layout = LayoutOf(format);
        const TextEncoding encoding = WritingEncoding(Encoding);
        if (!CheckTextTable(source, n, layout, encoding, report, stored) && report.lossCount != 0 && !saveAnyway())
            return false;
        report.allowLossy = true;
        ok = WriteTextTable(p.FileName, source, n, layout, encoding, &report, stored);
    }

    if (!ok) {
        // The cause of a failed write, when the system told one, and the
        // file's name on a line of its own.
        std::u16string text = WithJsonDetail(sErrorWriteFile, error);
        const int cause = static_cast<int>(format == FormatJson ? error.cause : report.error);
        if (cause > 0 && cause < WriteErrorCount && !sWriteError[cause].empty()) text += u"\n" + sWriteError[cause];
        p.View->ShowMessage(text + u"\n" + p.FileName, AppCaption);
        return false;
    }
    if (format != FormatJson) Untie(p);
    p.View->ShowSource(SourceCaption(p));
    for (std::size_t i = 0; i < count; ++i) {
        p.Keys->SetFlag(i, FlagPlain);
        p.Values->SetFlag(i, FlagPlain);
    }
    MarkSaved(p);
    return true;
}

bool SaveTableAs(TTblObjects& p, const std::u16string& fileName, std::int32_t format) {
    std::u16string oldName = p.FileName;
    p.FileName = fileName;
    if (SaveTable(p, format)) return true;
    p.FileName = std::move(oldName);
    return false;
}

}  // namespace vm
