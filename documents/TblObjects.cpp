#include "documents/TblObjects.h"

#include <algorithm>
#include <limits>

#include "documents/DocumentTexts.h"
#include "documents/Workspace.h"

namespace vm {

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
    case AskAnswer::Yes: return p.View->SaveWithDialog() && !p.Modified;
    case AskAnswer::No: return true;
    case AskAnswer::Cancel: break;
    }
    return false;
}

bool ConfirmEndProgram(Workspace& space) {
    return ConfirmDiscardChanges(space.sides[0]) && ConfirmDiscardChanges(space.sides[1]);
}

}  // namespace vm
