#include "documents/Workspace.h"

#include "documents/DocumentTexts.h"
#include "documents/History.h"

namespace vm {

Workspace::Workspace(TableSideView* view0, TableSideView* view1) : history(NewHistoryState()) {
    TableSideView* views[2] = {view0 ? view0 : &noView_[0], view1 ? view1 : &noView_[1]};
    for (int s = 0; s < 2; ++s) {
        TTblObjects& p = sides[s];
        p.Space = this;
        p.View = views[s];
        p.Side = s;
        p.Keys = &tables[s].Keys;
        p.Values = &tables[s].Values;
        p.OtherKeys = &tables[1 - s].Keys;
        p.OtherValues = &tables[1 - s].Values;
        p.Other = &sides[1 - s];
    }
    sides[0].AskSaveKey = BuiltInAskSaveKeyLeft;
    sides[0].AskSaveValue = BuiltInAskSaveValueLeft;
    sides[0].AskSaveEntry = BuiltInAskSaveEntryLeft;
    sides[0].AskSaveTable = BuiltInAskSaveTable1;
    sides[1].AskSaveKey = BuiltInAskSaveKeyRight;
    sides[1].AskSaveValue = BuiltInAskSaveValueRight;
    sides[1].AskSaveEntry = BuiltInAskSaveEntryRight;
    sides[1].AskSaveTable = BuiltInAskSaveTable2;
}

}  // namespace vm
