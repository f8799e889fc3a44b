#include "documents/TableFiles.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "documents/CopyMatchedValues.h"
#include "documents/DocumentTexts.h"
#include "documents/History.h"
#include "documents/ObjectLanguages.h"
#include "documents/Workspace.h"
#include "formats/JsonStrings.h"
#include "formats/TextHelpers.h"
#include "platform/Platform.h"

namespace vm {

namespace {

// A key as a message shows it: a long one cut.
std::u16string ShownKey(const std::u16string& key) {
    constexpr std::size_t longest = 60;
    return key.size() <= longest ? key : key.substr(0, longest) + u"...";
}

// Counts and row numbers in messages; none comes near 2^31.
std::u16string Decimal(std::size_t n) {
    return IntToDecimal(static_cast<std::int32_t>(std::min<std::size_t>(n, INT32_MAX)));
}

// Ties each entry of p's lists, just read from p.FileName, to its object
// of the string file.
void Tie(TTblObjects& p, std::shared_ptr<const JsonDocument> doc, int language) {
    const std::size_t count = p.Count();
    for (std::size_t i = 0; i < count; ++i) p.Keys->SetOrigin(i, static_cast<std::uint32_t>(i + 1));
    p.JsonObjectOf.resize(count + 1);
    for (std::size_t i = 0; i <= count; ++i) p.JsonObjectOf[i] = static_cast<std::uint32_t>(i);
    p.JsonLanguage = language;
    p.JsonFileName = p.FileName;
    p.JsonOwned.assign(count, true);
    p.Json = std::move(doc);
}

// Where a save of p as a string file goes. A side showing a string file's
// column writes it back over the file as it is now: its own column,
// inserts, deletes and moves, and what others saved there since. Any other
// table goes into the column by key, as the command-line tool's --into
// does (a file that is not there yet is made in the game's layout); then
// column holds the table merged into the file's column, to be written.
bool PrepareJsonSave(const TTblObjects& p, const FormatOptions& options, JsonDocument& disk, TableLists& column,
                     JsonTarget& target, JsonError& error) {
    if (p.Json) {
        target.base = p.Json.get();
        if (platform::FileExists(p.JsonFileName)) {
            if (!LoadJsonStrings(p.JsonFileName, -1, options.limits, disk, &error)) return false;
            target.base = &disk;
        }
        // The texts of Edit > "All Languages" for the languages no side
        // shows go into the file as it is now, before the side's column.
        if (!p.OtherLanguages.empty()) {
            if (target.base != &disk) disk = *p.Json;
            if (!SetOtherLanguages(disk, p.OtherLanguages, error)) return false;
            target.base = &disk;
        }
        target.loaded = p.Json.get();
        target.owned = &p.JsonOwned;
        // An entry whose object someone else removed stays out of the file,
        // unless it was changed here since: then it comes back as a new object.
        const TStringList& keys = *p.Keys;
        const TStringList& values = *p.Values;
        target.origin = [&p, &keys, &values](std::int32_t i) {
            const auto k = static_cast<std::size_t>(i);
            const std::uint32_t o = JsonObjectOfEntry(p, k);
            if (o != JsonOriginGone) return o;
            return (keys.Flag(k) & FlagChanged) || (values.Flag(k) & FlagChanged) ? 0u : JsonOriginGone;
        };
        return true;
    }
    if (platform::FileExists(p.FileName)) {
        if (!LoadJsonStrings(p.FileName, options.json.language, options.limits, disk, &error)) return false;
        target.base = &disk;
    }
    DeliverJsonColumn(disk, [&column](const char16_t* k, const char16_t* v) { column.Append(k, v); });
    const std::size_t tied = column.Count();
    MergeByKey(*p.Keys, *p.Values, column);
    target.origin = [tied](std::int32_t i) {
        return static_cast<std::size_t>(i) < tied ? static_cast<std::uint32_t>(i + 1) : 0u;
    };
    return true;
}

// After p's own column was written: what was written is what the side
// shows now.
void Retie(TTblObjects& p, SaveReport& report) {
    auto written = std::make_shared<JsonDocument>();
    if (!ParseJsonStrings(std::move(report.jsonBytes), p.JsonLanguage, *written)) return;
    const std::vector<std::uint32_t>& origins = report.jsonOrigins;
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
}

// Ends a side's tie to a string file.
void Untie(TTblObjects& p) {
    p.Json.reset();
    p.JsonFileName.clear();
    p.JsonOwned.clear();
    p.JsonObjectOf.clear();
    p.OtherLanguages.clear();
    p.Keys->ClearOrigins();
}

std::u16string FileNameOnly(const std::u16string& path) {
    const std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// What the choice of a saved string file's new ids could not take into
// account or do, one line each under a heading.
std::u16string IdWarningsText(const std::vector<StringIdWarning>& warnings) {
    std::u16string text = sWarnIds;
    for (const StringIdWarning& w : warnings) {
        text += u"\n";
        switch (w.kind) {
        case StringIdWarning::Kind::SiblingUnreadable:
            text += FillIn(sWarnIdSibling, {FileNameOnly(w.file), platform::FromUtf8(DescribeJsonError(w.json))});
            break;
        case StringIdWarning::Kind::CounterUnreadable: text += FillIn(sWarnIdCounterRead, {w.file}); break;
        case StringIdWarning::Kind::CounterNoNumber: text += FillIn(sWarnIdCounterNumber, {w.file}); break;
        case StringIdWarning::Kind::CounterNotWritten: {
            text += FillIn(sWarnIdCounterWrite, {w.file, Ascii(std::to_string(w.number))});
            const int cause = static_cast<int>(w.write);
            if (cause > 0 && cause < WriteErrorCount && !sWriteError[cause].empty()) text += u" " + sWriteError[cause];
            break;
        }
        }
    }
    return text;
}

}  // namespace

std::u16string WithJsonDetail(const std::u16string& message, const JsonError& error) {
    if (error.problem == JsonProblem::None) return message;
    return message + u"\n" + platform::FromUtf8(DescribeJsonError(error));
}

std::u16string SourceCaption(const TTblObjects& p) {
    if (!p.Json) return p.FileFormat != 0 ? FileNameOnly(p.FileName) : std::u16string();
    const char* code = JsonLanguageCodes[p.JsonLanguage];
    return FileNameOnly(p.JsonFileName) + u" [" + std::u16string(code, code + 4) + u"]";
}

std::u16string ReadFailureText(const ReadReport& report, const ReadLimits& limits) {
    switch (report.failure) {
    case ReadFailure::IncludeOutside: return sErrorIncludeOutside + u"\n" + report.failureName;
    case ReadFailure::IncludeBudget: return sErrorIncludeBudget;
    case ReadFailure::TooLarge: {
        const std::string limit = std::to_string(limits.maxFileSize);
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

void ShowReadResult(TTblObjects& p, bool ok, const LoadReport& report, const std::u16string& fileName,
                    const ReadLimits& limits) {
    if (!ok)
        p.View->ShowMessage(WithJsonDetail(ReadFailureText(report.read, limits), report.json) + u"\n" + fileName,
                            AppCaption);
    else if (report.read.AnyWarning()) p.View->ShowMessage(ReadWarningText(report.read) + u"\n" + fileName, AppCaption);
}

bool LoadTable(TTblObjects& p, std::int32_t format, const FormatOptions& options) {
    // A failed load keeps the side's unsaved-changes state: what it had
    // not saved is still not saved anywhere.
    const bool wasModified = p.Modified;
    p.Keys->Clear();
    p.Values->Clear();
    Untie(p);
    p.Tbl.reset();
    p.Compared.reset();  // the marks were of the table replaced

    LoadReport report;
    const bool ok = LoadTableFile(p.FileName, format, options, *p.Keys, *p.Values, report);
    if (ok && report.document) Tie(p, std::move(report.document), options.json.language);
    if (ok && format == FormatTbl && report.tblHeader) p.Tbl = TblOptionsOfHeader(*report.tblHeader, options.tbl);
    p.Text.reset();
    p.FileFormat = 0;
    if (ok) {
        p.FileFormat = format == FormatTbl || format == FormatJson ? format : FormatTabbedText;
        if (report.textShape) {
            p.Text = report.textShape;
            if (p.Text->layout == TextLayout::DiabloII) p.FileFormat = FormatDiabloText;
        }
    }
    // The side's history starts anew with the table read; after a failed
    // read it is not at a saved point when the side had unsaved changes.
    StartHistory(p, ok || !wasModified);
    p.Modified = ok ? false : wasModified;
    ShowReadResult(p, ok, report, p.FileName, options.limits);
    p.View->ShowSource(SourceCaption(p));
    if (ok) p.View->FileOpened();

    const std::int32_t rows = RowCountOf(p);
    p.View->SetRowCount(rows);
    p.Other->View->SetRowCount(rows);
    p.View->SetNumberColumnWidth(rows);
    std::int32_t& current = p.Space->CurrentRow;
    if (current < 0 || current >= rows) {
        p.View->SelectRow(0);
        current = 0;
    }
    p.View->SwitchEditorRow(current, -1);
    p.View->EnableSave();
    return ok;
}

bool OpenByExtension(TTblObjects& p, const FormatOptions& options) {
    const std::int32_t format = FormatOfFileName(p.FileName);
    if (format == 0) return false;
    return LoadTable(p, format, options);
}

bool SaveTable(TTblObjects& p, std::int32_t format, const FormatOptions& formatOptions) {
    if (format < FormatTbl) format = FormatTbl;
    // A string file gets the side's column (the one the save dialog chose).
    FormatOptions options = formatOptions;
    options.json.language = p.JsonLanguage;
    // Only a string file holds the texts kept for its other languages.
    if (format != FormatJson && !p.OtherLanguages.empty() &&
        !p.View->AskYesNo(FillIn(sAskOtherLanguagesLost, {Decimal(p.OtherLanguages.size())}), AppCaption))
        return false;
    // A string file takes a side's own column, or the table merged into
    // the file's column by key.
    JsonDocument disk;
    TableLists merged;
    JsonTarget target;
    SaveReport report;
    bool ok = format != FormatJson || PrepareJsonSave(p, options, disk, merged, target, report.json);
    const bool byKey = format == FormatJson && !p.Json;
    const TStringList& keys = byKey ? merged.Keys : *p.Keys;
    const TStringList& values = byKey ? merged.Values : *p.Values;
    if (ok) {
        ok = SaveTableFile(p.FileName, format, keys, values, options, false, target, report);
        // A file that cannot hold every entry exactly is written only when
        // the user says so; "No" saves nothing and says nothing more.
        if (!ok && report.failure == SaveFailure::Lossy && !report.write.losses.empty()) {
            const TextLossEntry& first = report.write.losses.front();
            const std::u16string question =
                FillIn(sAskLossyText, {Decimal(report.write.lossCount), Decimal(first.entry + 1),
                                       ShownKey(keys.Get(first.entry)), sTextLoss[static_cast<int>(first.reason)]});
            if (!p.View->AskYesNo(question, AppCaption)) return false;
            ok = SaveTableFile(p.FileName, format, keys, values, options, true, target, report);
        }
    }

    if (!ok) {
        // The cause of a failed write, when there is one to tell, and the
        // file's name on a line of its own.
        std::u16string text = WithJsonDetail(sErrorWriteFile, report.json);
        const int cause = static_cast<int>(report.write.error);
        const int failure = static_cast<int>(report.failure);
        if (cause > 0 && cause < WriteErrorCount && !sWriteError[cause].empty()) text += u"\n" + sWriteError[cause];
        else if (failure > 0 && failure < SaveFailureCount && !sSaveFailure[failure].empty())
            text += u"\n" + FillIn(sSaveFailure[failure],
                                   {Ascii(std::to_string(options.json.firstId)), FileNameOnly(report.firstIdHolder)});
        p.View->ShowMessage(text + u"\n" + p.FileName, AppCaption);
        return false;
    }
    if (format != FormatJson) Untie(p);
    else if (p.Json) Retie(p, report);
    p.OtherLanguages.clear();  // written
    // The file now has the header written (or none).
    if (format == FormatTbl) p.Tbl = options.tbl;
    else p.Tbl.reset();
    p.FileFormat = format;
    p.Text.reset();
    if (format == FormatTabbedText || format == FormatDiabloText) {
        p.Text = options.text;
        p.Text->layout = format == FormatDiabloText ? TextLayout::DiabloII : TextLayout::Tabbed;
    }
    p.View->ShowSource(SourceCaption(p));
    for (std::size_t i = 0; i < p.Count(); ++i) {
        p.Keys->SetFlag(i, FlagPlain);
        p.Values->SetFlag(i, FlagPlain);
    }
    p.View->Redraw();  // no row is green any more
    MarkSaved(p);
    p.View->FileOpened();
    if (!report.idWarnings.empty())
        p.View->ShowMessage(IdWarningsText(report.idWarnings) + u"\n" + p.FileName, AppCaption);
    return true;
}

bool SaveTableAs(TTblObjects& p, const std::u16string& fileName, std::int32_t format, const FormatOptions& options) {
    std::u16string oldName = p.FileName;
    p.FileName = fileName;
    if (SaveTable(p, format, options)) return true;
    p.FileName = std::move(oldName);
    return false;
}

int SplitLanguageColumn(std::u16string& name) {
    const std::size_t colon = name.rfind(u':');
    // "C:" and the colon of "C:\\" belong to a drive.
    if (colon == std::u16string::npos || colon < 2) return -1;
    const int language = JsonLanguageIndex(std::u16string_view(name).substr(colon + 1));
    if (language >= 0) name.erase(colon);
    return language;
}

std::u16string RecentEntryOf(const TTblObjects& p) {
    if (!p.Json) return p.FileName;
    const char* code = JsonLanguageCodes[p.JsonLanguage];
    return p.FileName + u":" + std::u16string(code, code + 4);
}

void NoteRecentFile(Workspace& ws, const std::u16string& entry, std::size_t count) {
    std::vector<std::u16string>& files = ws.RecentFiles;
    std::erase(files, entry);
    files.insert(files.begin(), entry);
    if (files.size() > count) files.resize(count);
}

std::uint32_t JsonObjectOfEntry(const TTblObjects& p, std::size_t i) {
    const std::uint32_t origin = p.Keys->Origin(i);
    return origin < p.JsonObjectOf.size() ? p.JsonObjectOf[origin] : 0;
}

}  // namespace vm
