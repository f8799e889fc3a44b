// The open and save dialogs: the request each one hands to the platform's
// dialog, what happens with the chosen file, and the hooks that fill the
// option panels and store the options when the panel goes away.
#include "documents/FileDialogs.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "documents/CrossTableTools.h"
#include "documents/DocumentTexts.h"
#include "documents/FileCompare.h"
#include "documents/TableFiles.h"
#include "documents/Workspace.h"
#include "formats/JsonStrings.h"
#include "formats/TextHelpers.h"

namespace vm {

const char16_t* const OpenFilter =
    u"All supported files|*.tbl;*.txt;*.json|*.tbl (Diablo II table file)|*.tbl|*.txt (Tabbed & Diablo II "
    u"format)|*.txt|D2R strings (*.json)|*.json|";
const char16_t* const SaveFilter =
    u"*.tbl (Diablo II table file)|*.tbl|*.txt (Tabbed format)|*.txt|*.txt (Diablo II "
    u"format)|*.txt|D2R strings (*.json)|*.json|";

namespace {

constexpr int TblFilter = 1;
constexpr int TabbedFilter = 2;
constexpr int DiabloFilter = 3;
constexpr int AnsiItem = 2;                    // of the save dialog's encoding box
constexpr int NumberChars = 255;               // read from the number boxes
constexpr std::uint32_t MaxHashSlots = 65536;  // of a .tbl file

// Item n of the open dialog's box stands for the encoding (n + 3) mod 4.
constexpr const char16_t* OpenEncodingItems[] = {u"Autodetect", u"Default Unicode(LE)", u"Default UTF8",
                                                 u"Default ANSI"};
constexpr const char16_t* SaveEncodingItems[] = {u"Unicode(LE)", u"UTF8", u"ANSI"};

constexpr int TblGroup[] = {IdSaveLabelTblOptions, IdSaveLabelOffset8, IdSaveOffset8, IdSaveLabelAddHash,
                            IdSaveAddHash};
constexpr int TextGroup[] = {IdSaveLabelTxtOptions, IdSaveLabelEncoding, IdSaveEncoding,
                             IdSaveQuote,           IdSaveColorApi,      IdSaveHeader};
constexpr int JsonGroup[] = {IdSaveLabelJsonOptions, IdSaveLabelLanguage, IdSaveLanguage};

FileDialogRequest PrepareRequest(const Workspace& ws, bool save, const std::u16string& fileName) {
    FileDialogRequest request;
    request.save = save;
    request.filter = save ? SaveFilter : OpenFilter;
    request.templateName = save ? u"SAVETEMPLATE" : u"OPENTEMPLATE";
    request.initialDir = ws.DialogDir;
    request.fileName = NamePart(fileName);
    request.filterIndex = save ? ws.DialogFilterIndex : OpenAllFilter;
    return request;
}

// The thirteen language codes in a box, the chosen one selected.
void FillLanguages(DialogControls& c, int id, int selected) {
    for (const char* code : JsonLanguageCodes) c.AddItem(id, std::u16string(code, code + 4));
    c.SelectItem(id, selected >= 0 && selected < JsonLanguageCount ? selected : 0);
}

// The language selected in a box; none selected keeps the choice.
void TakeLanguage(DialogControls& c, int id, int& language) {
    const int item = c.SelectedItem(id);
    if (item >= 0 && item < JsonLanguageCount) language = item;
}

// Shows the dialog; true when the user confirmed a name. A confirmed save
// dialog's filter index is kept for the next one.
bool ShowDialog(Workspace& ws, FileDialogRequest& request, DialogHook& hook) {
    if (!ws.FileDialogs->Show(request, hook)) return false;
    if (request.save) ws.DialogFilterIndex = request.filterIndex;
    return !request.fileName.empty();
}

// The format an open dialog's filter reads the chosen file in: under "All
// supported files" the one its extension names (text for any other name).
std::int32_t OpenFormat(int filterIndex, const std::u16string& fileName) {
    switch (filterIndex) {
    case OpenTblFilter: return FormatTbl;
    case OpenJsonFilter: return FormatJson;
    case OpenAllFilter: {
        const std::int32_t format = FormatOfFileName(fileName);
        return format != 0 ? format : FormatTabbedText;
    }
    default: return FormatTabbedText;
    }
}

// The number in a box, compared unsigned: a pasted "-1" is a large number.
std::uint32_t NumberIn(DialogControls& c, int id) {
    return static_cast<std::uint32_t>(DecimalToInt(c.GetText(id, NumberChars).c_str()));
}

}  // namespace

std::u16string NamePart(const std::u16string& path) {
    const std::size_t slash = path.find_last_of(u"\\/:");
    std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
    // A leading dot starts a name, not an extension.
    const std::size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos && dot > 0) name.erase(dot);
    return name;
}

void OpenDialog(TTblObjects& p, int mode, const std::u16string& title, RowBlock selection) {
    Workspace& ws = *p.Space;
    if (!ws.FileDialogs) return;
    // The table about to be replaced may hold unsaved changes; the tools
    // change it entry by entry and need no question.
    if (mode == 0 && !ConfirmDiscardChanges(p)) return;
    FileDialogRequest request = PrepareRequest(ws, false, mode == 0 ? p.FileName : ws.ToolFileName);
    request.title = title;
    EditorOptions& options = ws.options;
    OpenDialogHook hook(options);
    const bool confirmed = ShowDialog(ws, request, hook);
    // The panel's choices (the encoding, a string file's language) are
    // kept for the next run too.
    if (ws.AfterOpenDialog) ws.AfterOpenDialog();
    if (!confirmed) return;
    const std::int32_t format = OpenFormat(request.filterIndex, request.fileName);
    if (mode == 0) {
        p.FileName = request.fileName;
        LoadTable(p, format, options.formats);
    } else if (mode == ToolCompare) {
        ws.ToolFileName = request.fileName;
        CompareWithFile(p, request.fileName, format, options.formats);
    } else {
        ws.ToolFileName = request.fileName;
        UpdateFromFile(p, format, mode, options.formats, selection);
    }
}

bool SaveDialog(TTblObjects& p) {
    Workspace& ws = *p.Space;
    if (!ws.FileDialogs) return false;
    EditorOptions& options = ws.options;
    FileDialogRequest request = PrepareRequest(ws, true, p.FileName);
    // A name typed without an extension gets the chosen type's (the first
    // type's, .tbl, until another is chosen).
    request.defaultExtension = u"tbl";
    if (p.Json) {
        // Confirming the dialog as it opens writes the column back into its
        // own file, so the name keeps its extension.
        request.filterIndex = SaveJsonFilter;
        const std::size_t slash = p.JsonFileName.find_last_of(u"\\/:");
        request.fileName = slash == std::u16string::npos ? p.JsonFileName : p.JsonFileName.substr(slash + 1);
    }
    // A .tbl file's own header options are offered and used instead of the
    // settings', so that an unchanged table is written back as it was.
    std::optional<TblOptions> own = p.Tbl;
    SaveDialogHook hook(options, p.Count(), p.Json ? p.JsonLanguage : options.formats.json.language,
                        own ? &*own : nullptr);
    if (!ShowDialog(ws, request, hook)) return false;
    FormatOptions formats = options.formats;
    if (own) formats.tbl = *own;
    const std::int32_t format = request.filterIndex == SaveJsonFilter ? FormatJson : request.filterIndex;
    // A string file gets the column chosen.
    const int language = p.JsonLanguage;
    if (format == FormatJson) p.JsonLanguage = hook.Language();
    // A failed save keeps the old name (and has shown its message); the
    // settings are written only after a save that happened.
    if (!SaveTableAs(p, request.fileName, format, formats)) {
        p.JsonLanguage = language;
        return false;
    }
    if (ws.AfterDialogSave) ws.AfterDialogSave();
    return true;
}

bool SaveInPlace(TTblObjects& p) {
    if (p.FileName.empty() || p.FileFormat == 0) return SaveDialog(p);
    FormatOptions formats = p.Space->options.formats;
    if (p.Tbl) formats.tbl = *p.Tbl;
    if (p.Text) formats.text = *p.Text;
    return SaveTable(p, p.FileFormat, formats);
}

// ---- Open dialog ---------------------------------------------------------

void OpenDialogHook::OnCreate(DialogControls& c) {
    c.SetText(IdOpenLabelTxtOptions, sLabelTxtOptions);
    c.SetText(IdOpenLabelEncoding, sLabelEncoding);
    for (const char16_t* item : OpenEncodingItems) c.AddItem(IdOpenEncoding, item);
    c.SelectItem(IdOpenEncoding, (static_cast<int>(options_.formats.text.readEncoding) + 1) % 4);
    c.SetText(IdOpenLabelLanguage, sLabelLanguage);
    FillLanguages(c, IdOpenLanguage, options_.formats.json.language);
}

void OpenDialogHook::OnNotify(DialogControls& c, int filterIndex) {
    // The panel's heading names the options the chosen type has.
    const bool json = filterIndex == OpenJsonFilter;
    if (json != jsonHeading_) {
        jsonHeading_ = json;
        c.SetText(IdOpenLabelTxtOptions, json ? sLabelJsonOptions : sLabelTxtOptions);
    }
    // "All supported files" may open any of them: both choices stay open.
    const bool all = filterIndex == OpenAllFilter;
    c.Enable(IdOpenEncoding, all || filterIndex == OpenTextFilter);
    c.Enable(IdOpenLanguage, all || filterIndex == OpenJsonFilter);
}

void OpenDialogHook::OnCommand(DialogControls&, int, int) {}

void OpenDialogHook::OnDestroy(DialogControls& c) {
    const int item = c.SelectedItem(IdOpenEncoding);
    // None selected: keep the choice.
    if (item >= 0) options_.formats.text.readEncoding = static_cast<TextEncoding>((item + 3) % 4);
    TakeLanguage(c, IdOpenLanguage, options_.formats.json.language);
}

// ---- Save dialog ---------------------------------------------------------

void SaveDialogHook::OnCreate(DialogControls& c) {
    c.SetText(IdSaveLabelTblOptions, sLabelTblOptions);
    c.SetText(IdSaveLabelAddHash, sLabelAddHash);
    c.SetText(IdSaveLabelOffset8, sLabelOffset8);
    c.SetText(IdSaveLabelTxtOptions, sLabelTxtOptions);
    c.SetText(IdSaveLabelEncoding, sLabelEncoding);
    c.SetText(IdSaveHeader, sCheckBoxCaptionTTF);
    c.SetText(IdSaveQuote, sCheckBoxQuoteTTF);
    c.SetText(IdSaveColorApi, sComboBoxColorApi);
    for (const char16_t* item : SaveEncodingItems) c.AddItem(IdSaveEncoding, item);
    const FormatOptions& o = options_.formats;
    c.SelectItem(IdSaveEncoding, static_cast<int>(o.text.writeEncoding));
    c.SetChecked(IdSaveHeader, o.text.header);
    c.SetChecked(IdSaveQuote, o.text.quoteValues);
    c.SetChecked(IdSaveColorApi, o.text.colorMacros);
    c.SetText(IdSaveOffset8, IntToDecimal(tbl_.offset8));
    c.SetText(IdSaveAddHash, IntToDecimal(tbl_.addToHashSize));
    c.SetText(IdSaveLabelJsonOptions, sLabelJsonOptions);
    c.SetText(IdSaveLabelLanguage, sLabelLanguage);
    FillLanguages(c, IdSaveLanguage, language_ >= 0 ? language_ : o.json.language);
}

void SaveDialogHook::OnNotify(DialogControls& c, int filterIndex) {
    const bool tbl = filterIndex == TblFilter;
    const bool json = filterIndex == SaveJsonFilter;
    for (const int id : TblGroup) c.Show(id, tbl);
    for (const int id : TextGroup) c.Show(id, !tbl && !json);
    for (const int id : JsonGroup) c.Show(id, json);
    if (tbl || json) return;
    if (filterIndex == TabbedFilter || filterIndex == DiabloFilter) {
        c.Enable(IdSaveQuote, filterIndex == TabbedFilter);
        c.Enable(IdSaveHeader, filterIndex == TabbedFilter);
    }
}

void SaveDialogHook::OnCommand(DialogControls& c, int id, int code) {
    // ANSI text always keeps the colour macros.
    if (id == IdSaveEncoding && code == ComboSelectionChanged)
        c.Enable(IdSaveColorApi, c.SelectedItem(IdSaveEncoding) != AnsiItem);
}

void SaveDialogHook::OnDestroy(DialogControls& c) {
    FormatOptions& o = options_.formats;
    const int item = c.SelectedItem(IdSaveEncoding);
    // None selected: keep the choice.
    if (item >= 0 && item <= AnsiItem) o.text.writeEncoding = static_cast<TextEncoding>(item);
    o.text.quoteValues = c.IsChecked(IdSaveQuote);
    o.text.colorMacros = c.IsChecked(IdSaveColorApi);
    o.text.header = c.IsChecked(IdSaveHeader);

    // Header byte 8 holds one byte: a larger number is its largest value,
    // not its low bits.
    const std::uint32_t offset8 = NumberIn(c, IdSaveOffset8);
    const TblOptions shown = tbl_;
    tbl_.offset8 = static_cast<int>(offset8 > 255 ? 255 : offset8);

    std::uint32_t extra = NumberIn(c, IdSaveAddHash);
    // The bound of the options, or more when the file's own header has more.
    auto maxExtra = static_cast<std::uint32_t>(options_.maxAddToHashSize);
    if (&tbl_ != &o.tbl) maxExtra = std::max(maxExtra, static_cast<std::uint32_t>(shown.addToHashSize));
    if (extra > maxExtra) extra = maxExtra;
    // The written file must hold every entry and the extra slots.
    const std::uint64_t room = entryCount_ < MaxHashSlots ? MaxHashSlots - entryCount_ : 0;
    if (extra > room) extra = static_cast<std::uint32_t>(room);
    tbl_.addToHashSize = static_cast<int>(extra);
    if (language_ < 0) language_ = o.json.language;
    TakeLanguage(c, IdSaveLanguage, language_);
}

}  // namespace vm
