#include "editing/Findings.h"

#include "documents/TableFiles.h"
#include "editing/Commands.h"
#include "editing/EditingWindow.h"
#include "editing/Editors.h"
#include "editing/TableView.h"
#include "platform/Platform.h"
#include "toolkit/MessageBox.h"

namespace vm {

namespace {

// Window messages posted to the main window: work the findings out again.
constexpr UINT RecheckMessage = WM_APP + 41;

FindingsState& State() { return TheWindow->findingsState; }
FindingsControls& Controls() { return TheWindow->findings; }
Workspace& Space() { return TheWindow->Space(); }

bool Passes(const FindingsState& st, const Finding& f) {
    if (st.severity == 1 && f.severity == Severity::Info) return false;
    if (st.severity == 2 && f.severity != Severity::Error) return false;
    return st.rule < 0 || f.rule == CheckRules[static_cast<std::size_t>(st.rule)].name;
}

std::u16string Number(std::size_t n) { return platform::FromUtf8(std::to_string(n)); }

// The list after the findings or the filters changed.
void Fill() {
    FindingsState& st = State();
    FindingsControls& c = Controls();
    st.shown.clear();
    std::size_t counts[3] = {};
    for (std::size_t i = 0; i < st.check.findings.size(); ++i) {
        const Finding& f = st.check.findings[i];
        ++counts[static_cast<int>(f.severity)];
        if (Passes(st, f)) st.shown.push_back(i);
    }
    // A space first keeps the text off the window's edge.
    c.counts.SetText(u" " + (st.check.findings.empty()
                                 ? sFindingsNone
                                 : FillIn(sFindingsCounts, {Number(counts[2]), Number(counts[1]), Number(counts[0])})));
    if (st.current >= static_cast<int>(st.shown.size())) st.current = static_cast<int>(st.shown.size()) - 1;
    c.list.SetRowCount(static_cast<int>(st.shown.size()));
    c.list.RedrawAll();
}

// Loads file into p, a string file's column language (or the side's own).
bool OpenInto(TTblObjects& p, const std::u16string& file, int language) {
    if (!ConfirmDiscardChanges(p)) return false;
    FormatOptions options = p.Space->options.formats;
    if (language >= 0 && language < JsonLanguageCount) options.json.language = language;
    else if (p.Json) options.json.language = p.JsonLanguage;
    p.FileName = file;
    return OpenByExtension(p, options);
}

}  // namespace

void FilterFindings() {
    State().current = -1;
    Fill();
}

void LabelFindings() {
    FindingsControls& c = Controls();
    if (!c.list.hwnd) return;
    const std::u16string* columns[] = {&sFindingColumnSeverity, &sFindingColumnRule,    &sFindingColumnKey,
                                       &sFindingColumnLanguage, &sFindingColumnMessage, &sFindingColumnPlace};
    for (int i = 0; i < 6; ++i) c.list.SetColumnText(i, *columns[i]);
    c.close.SetText(sFindingsClose);
    c.fix.SetText(sFindingsFix);
    const FindingsState& st = State();
    c.severity.SetItems({sFindingsAllSeverities, sFindingsWarnings, sFindingsErrors}, st.severity);
    std::vector<std::u16string> rules{sFindingsAllRules};
    for (const CheckRule& r : CheckRules) rules.push_back(platform::FromUtf8(r.name));
    c.rule.SetItems(rules, st.rule + 1);
    if (!st.check.inputs.empty()) Fill();
}

void RunCheckCommand() {
    EditingWindow& w = *TheWindow;
    FindingsState& st = State();
    RunOpenCheck(Space(), {}, st.check);
    st.current = -1;
    st.recheckPending = false;
    FindingsControls& c = Controls();
    if (!c.panel.IsVisible()) {
        c.panel.SetVisible(true);
        w.form.Layout();
    }
    LabelFindings();
    Fill();
    c.list.SetFocus();
    if (!st.shown.empty()) c.list.SelectOnly(0);
}

void FindingsAfterChange() {
    FindingsState& st = State();
    if (st.recheckPending || !Controls().panel.IsVisible()) return;
    st.recheckPending = true;
    PostMessage(TheWindow->form.hwnd, RecheckMessage, 0, 0);
}

void RecheckFindings() {
    FindingsState& st = State();
    if (!st.recheckPending) return;
    st.recheckPending = false;
    RecheckOpen(Space(), st.check);
    Fill();
}

bool OnFindingsMessage(unsigned int msg) {
    if (msg != RecheckMessage) return false;
    RecheckFindings();
    return true;
}

void GoToFinding(int row) {
    FindingsState& st = State();
    if (row < 0 || row >= static_cast<int>(st.shown.size())) return;
    st.current = row;
    const Finding f = st.check.findings[st.shown[static_cast<std::size_t>(row)]];
    const FindingPlace place = PlaceOfFinding(st.check, f);
    Workspace& ws = Space();
    if (place.side >= 0) {
        TTblObjects& p = ws.sides[place.side];
        const bool otherColumn =
            p.Json && f.language >= 0 && f.language < JsonLanguageCount && f.language != p.JsonLanguage;
        if (!otherColumn) return GoToRow(p, place.row);
        // The row's object in the file, which is its row in any column.
        const std::uint32_t object = JsonObjectOfEntry(p, static_cast<std::size_t>(place.row));
        if (!OpenInto(p, p.FileName, f.language)) return;
        RecheckOpen(ws, st.check);
        Fill();
        return GoToRow(p, object > 0 && object != JsonOriginGone ? static_cast<std::int32_t>(object - 1) : place.row);
    }
    if (place.file.empty()) return;
    TTblObjects& p = TheWindow->EditTarget();
    if (!OpenInto(p, place.file, f.language)) return;
    RecheckOpen(ws, st.check);
    Fill();
    GoToRow(p, place.objectRow);
}

void StepFinding(int delta) {
    FindingsState& st = State();
    FindingsControls& c = Controls();
    if (!c.panel.IsVisible() || st.shown.empty()) return;
    const int n = static_cast<int>(st.shown.size());
    const int next = st.current < 0 ? (delta > 0 ? 0 : n - 1) : ((st.current + delta) % n + n) % n;
    c.list.SelectOnly(next);
    c.list.EnsureVisible(next);
    GoToFinding(next);
}

void FixShownFindings() {
    EditingWindow& w = *TheWindow;
    Workspace& ws = Space();
    FindingsState& st = State();
    if (st.shown.empty()) return;
    // What the editors hold goes into the tables first (asking as usual),
    // so that the fixes and the typing both stay.
    const std::int32_t row = ws.CurrentRow;
    for (TTblObjects& side : ws.sides) SwitchEditorRow(side, row, row);
    const OpenFixCount n = FixOpenFindings(ws, st.check, st.shown, st.check.options.sourceLanguage);
    for (TTblObjects& side : ws.sides) {
        w.SideOf(side).list.RedrawAll();
        SwitchEditorRow(side, row, -1);
    }
    tk::ShowMessageBox(w.form.hwnd, FillIn(sFindingsFixed, {Number(n.fixed), Number(n.left)}), u"Vellumark", MB_OK);
}

void CloseFindings() {
    EditingWindow& w = *TheWindow;
    FindingsControls& c = Controls();
    c.panel.SetVisible(false);
    w.form.Layout();
    w.KeepKeyboard();
}

std::u16string FindingCell(int row, int column) {
    const FindingsState& st = State();
    if (row < 0 || row >= static_cast<int>(st.shown.size())) return {};
    const Finding& f = st.check.findings[st.shown[static_cast<std::size_t>(row)]];
    switch (column) {
    case 0: return platform::FromUtf8(SeverityName(f.severity));
    case 1: return platform::FromUtf8(f.rule);
    case 2: return f.key;
    case 3: return platform::FromUtf8(LanguageName(f.language));
    case 4: return platform::FromUtf8(f.message);
    case 5: {
        const std::u16string leaf = NameInFolder(st.check.strings.files[f.file].name);
        return f.line ? leaf + u":" + Number(f.line) : leaf;
    }
    default: return {};
    }
}

}  // namespace vm
