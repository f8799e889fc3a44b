#include "documents/CrossTableTools.h"

#include "documents/DocumentTexts.h"
#include "documents/History.h"
#include "documents/TableFiles.h"
#include "formats/TextHelpers.h"

namespace vm {

namespace {

// The number of leading characters DecimalToInt reads: an optional sign
// and the digits after it.
std::size_t DecimalPrefixLength(std::u16string_view text) {
    std::size_t n = 0;
    if (n < text.size() && (text[n] == u'-' || text[n] == u'+')) ++n;
    while (n < text.size() && text[n] >= u'0' && text[n] <= u'9') ++n;
    return n;
}

void FinishTool(TTblObjects& p) {
    p.View->Redraw();
    // Text typed into the editors and not yet applied would otherwise be
    // applied over the tool's result when the row changes.
    p.View->SwitchEditorRow(p.Space->CurrentRow, -1);
}

}  // namespace

std::size_t CopyValues(TTblObjects& p, RowBlock selection) {
    std::size_t changed = 0;
    {
        HistoryStep step(StepKind::CopyValues, p, {p.Space->CurrentRow, selection});
        HistoryObserver observer(step, p);
        changed = CopyMatchedValues(*p.OtherKeys, *p.OtherValues, *p.Keys, *p.Values, nullptr, &observer);
    }
    FinishTool(p);
    return changed;
}

std::size_t CopyTimeDialogValues(const TStringList& otherValues, TStringList& values, EntryChangeObserver* observer) {
    std::size_t changed = 0;
    for (std::size_t i = 0; i < values.Count(); ++i) {
        const std::int32_t a = DecimalToInt(otherValues.Get(i).c_str());
        if (a <= 0) continue;
        const TText text = values.Get(i);
        if (DecimalToInt(text.c_str()) <= 0) continue;
        std::u16string result = IntToDecimal(a);
        result.append(text.substr(DecimalPrefixLength(text)));
        if (result != text) {
            if (observer) observer->BeforeChange(values, i);
            values.Set(i, result);
            ++changed;
        }
    }
    return changed;
}

std::size_t CopyTimeDialogs(TTblObjects& p, RowBlock selection) {
    std::size_t changed = 0;
    {
        HistoryStep step(StepKind::CopyTimeDialogs, p, {p.Space->CurrentRow, selection});
        HistoryObserver observer(step, p);
        changed = CopyTimeDialogValues(*p.OtherValues, *p.Values, &observer);
    }
    FinishTool(p);
    return changed;
}

std::size_t ApplyFileEntries(TStringList& keys, TStringList& values, const TStringList& otherKeys,
                             const TStringList& otherValues, TStringList& fileKeys, const TStringList& fileValues,
                             std::int32_t mode, EntryChangeObserver* observer) {
    if (fileKeys.Empty()) return 0;
    if (mode == ToolUpdate) return CopyMatchedValues(fileKeys, fileValues, otherValues, values, nullptr, observer);
    if (mode != ToolTranslate) return 0;
    // The file's keys are both the keys matched and the values written;
    // the matching fixes its keys before the first write.
    CopyMatchedValues(otherValues, otherKeys, fileKeys, fileKeys);
    return CopyMatchedValues(fileKeys, fileValues, keys, values, nullptr, observer);
}

std::size_t UpdateFromFile(TTblObjects& p, std::int32_t format, std::int32_t mode, const FormatOptions& options,
                           RowBlock selection) {
    Workspace& ws = *p.Space;
    TableLists& tool = ws.tool;
    tool.Clear();
    // A text file's encoding is always detected.
    FormatOptions reading = options;
    reading.text.readEncoding = TextEncoding::Autodetect;
    LoadReport report;
    const bool ok = LoadTableFile(ws.ToolFileName, format, reading, tool.Keys, tool.Values, report);
    ShowReadResult(p, ok, report, ws.ToolFileName, options.limits);
    std::size_t changed = 0;
    {
        HistoryStep step(mode == ToolTranslate ? StepKind::Translate : StepKind::Update, p, {ws.CurrentRow, selection});
        HistoryObserver observer(step, p);
        changed =
            ApplyFileEntries(*p.Keys, *p.Values, *p.OtherKeys, *p.OtherValues, tool.Keys, tool.Values, mode, &observer);
    }
    FinishTool(p);
    return changed;
}

}  // namespace vm
