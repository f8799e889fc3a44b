#include "editing/Compare.h"

#include "documents/FileCompare.h"
#include "documents/FileDialogs.h"
#include "editing/Commands.h"
#include "editing/EditingWindow.h"
#include "editing/TableView.h"
#include "platform/Platform.h"

namespace vm {

namespace {

std::u16string Number(std::size_t n) { return platform::FromUtf8(std::to_string(n)); }

std::u16string WithoutFolder(const std::u16string& path) {
    const std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

// The side a step goes through: the one in focus when it has a comparison,
// else the other when that has one.
TTblObjects* ComparedSide() {
    TTblObjects& p = TheWindow->EditTarget();
    if (p.Compared) return &p;
    return p.Other->Compared ? p.Other : nullptr;
}

}  // namespace

void RunCompareCommand() {
    TTblObjects& p = TheWindow->EditTarget();
    std::u16string title = TheWindow->menu.Caption(MenuCompare);
    while (!title.empty() && title.back() == u'.') title.pop_back();
    OpenDialog(p, ToolCompare, title);
    if (!p.Compared) return;
    const FileComparison& c = *p.Compared;
    p.View->ShowMessage(FillIn(sCompareSummary, {Number(p.Side + 1), WithoutFolder(c.fileName), Number(c.added),
                                                 Number(c.changed), Number(c.removed)}),
                        u"Vellumark");
}

void StepDifference(int delta) {
    TTblObjects* p = ComparedSide();
    if (!p) return;
    const std::int32_t row = NextDifference(*p, p->Space->CurrentRow, delta);
    if (row < 0) {
        MessageBeep(MB_OK);
        return;
    }
    GoToRow(*p, row);
}

void ClearComparisons() {
    for (TTblObjects& p : TheWindow->Space().sides) {
        if (!p.Compared) continue;
        p.Compared.reset();
        p.View->Redraw();
    }
}

void ComparisonsAfterChange() {
    for (TTblObjects& p : TheWindow->Space().sides) {
        if (!p.Compared) continue;
        RemarkDifferences(p);
        p.View->Redraw();
    }
}

}  // namespace vm
