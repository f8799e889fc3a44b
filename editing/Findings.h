// The findings panel below the lists: Tools > Check runs the mod-wide check
// on the open tables and the folders they came from, the panel lists what
// it found (filtered by severity and rule), Enter or a double-click goes to
// the row that holds a finding (opening its file's column when no side
// shows it), F8 and Shift+F8 step through them, and after every change of
// a table the findings are worked out again from what the sides hold.
#pragma once

#include <string>
#include <vector>

#include "documents/DocumentTexts.h"
#include "documents/OpenCheck.h"
#include "editing/FindingTexts.h"

namespace vm {

struct FindingsState {
    OpenCheck check;
    std::vector<std::size_t> shown;  // the findings the list shows, by the filters
    int severity = 0;                // 0 all, 1 errors and warnings, 2 errors
    int rule = -1;                   // a rule of CheckRules, -1 all
    int current = -1;                // the shown finding gone to last
    bool recheckPending = false;
};

// Tools > Check.
void RunCheckCommand();
// After a table changed: the findings again, once the current message is
// handled.
void FindingsAfterChange();
// Worked out again now, when a change asked for it.
void RecheckFindings();
// True for the window message FindingsAfterChange posts (then it rechecks).
bool OnFindingsMessage(unsigned int msg);
// Goes to the finding the list shows at row.
void GoToFinding(int row);
// F8 (1) and Shift+F8 (-1).
void StepFinding(int delta);
void CloseFindings();
// Fixes what the open sides can of the findings the list shows, and says
// how many it fixed.
void FixShownFindings();
// The list again after a filter changed.
void FilterFindings();
// The list's cell texts.
std::u16string FindingCell(int row, int column);
// The panel's captions and filter items in the current language.
void LabelFindings();

}  // namespace vm
