#include "TblObjects.h"

#include <algorithm>
#include <limits>

#include "DocumentTexts.h"
#include "History.h"

namespace vm {

namespace {

TableLists Table1Lists;
TableLists Table2Lists;
TTblObjects Table1;
TTblObjects Table2;
NullSideView NoView1;
NullSideView NoView2;

void Fill(TTblObjects& p, std::uint8_t side, TableLists& own, TableLists& other, TTblObjects& otherRecord,
          TableSideView* view, TableSideView& noView) {
    p = TTblObjects{};
    p.View = view ? view : &noView;
    p.Keys = &own.Keys;
    p.Values = &own.Values;
    p.OtherKeys = &other.Keys;
    p.OtherValues = &other.Values;
    p.Other = &otherRecord;
    p.Side = side;
    if (side == 1) {
        p.AskSaveKey = u"Left Key was changed. Do you want to save this change?";
        p.AskSaveValue = u"Left VALUE was changed. Do you want to save this change?";
        p.AskSaveTable = BuiltInAskSaveTable1;
    } else {
        p.AskSaveKey = u"Right Key was changed. Do you want to save this change?";
        p.AskSaveValue = u"Right VALUE was changed. Do you want to save this change?";
        p.AskSaveTable = BuiltInAskSaveTable2;
    }
}

struct ToolListLink {
    ToolListLink() { TStringList::Link(ToolKeys, ToolValues); }
};

}  // namespace

EditorOptions WindowOptions;
std::int32_t CurrentRow = -1;
TStringList ToolKeys;
TStringList ToolValues;
std::u16string ToolFileName;

namespace {
// After every object above is constructed (one translation unit, so in
// order): the records are usable before the window exists.
const ToolListLink LinkToolLists;
[[maybe_unused]] const bool Started = (InitTableDocuments(), true);
}

TTblObjects& TableSide(int side) { return side == 2 ? Table2 : Table1; }

void InitTableDocuments(TableSideView* view1, TableSideView* view2) {
    Table1Lists.Clear();
    Table2Lists.Clear();
    Fill(Table1, 1, Table1Lists, Table2Lists, Table2, view1, NoView1);
    Fill(Table2, 2, Table2Lists, Table1Lists, Table1, view2, NoView2);
    ToolKeys.Clear();
    ToolValues.Clear();
    ToolFileName.clear();
    CurrentRow = -1;
    ResetHistory();
}

std::int32_t RowCountOf(const TTblObjects& p) {
    const std::size_t larger = std::max(p.Keys->Count(), p.OtherKeys->Count());
    // A table never comes near this; the clamp keeps the view's row count
    // a valid number whatever happens.
    constexpr auto maxRows = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(std::min(larger + 1, maxRows));
}

bool ConfirmDiscardChanges(TTblObjects& p) {
    if (!p.Modified) return true;
    switch (p.View->AskYesNoCancel(p.AskSaveTable, AppCaption)) {
    case AskAnswer::Yes:
        return p.View->SaveWithDialog() && !p.Modified;
    case AskAnswer::No:
        return true;
    case AskAnswer::Cancel:
        break;
    }
    return false;
}

bool ConfirmEndProgram() { return ConfirmDiscardChanges(Table1) && ConfirmDiscardChanges(Table2); }

}  // namespace vm
