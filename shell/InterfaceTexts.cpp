#include "shell/InterfaceTexts.h"

namespace vm {

std::u16string sNoData = u"<empty>";
std::u16string sGoTo = u"Go to:";
std::u16string sFindKey = u"Find Key:";
std::u16string sFindValue = u"Find Value:";
std::u16string sMenuUndo = u"Undo";
std::u16string sMenuRedo = u"Redo";
std::u16string sMenuUndoStep = u"Undo %1";
std::u16string sMenuRedoStep = u"Redo %1";

void ResetInterfaceTexts() {
    sNoData = u"<empty>";
    sGoTo = u"Go to:";
    sFindKey = u"Find Key:";
    sFindValue = u"Find Value:";
    sMenuUndo = u"Undo";
    sMenuRedo = u"Redo";
    sMenuUndoStep = u"Undo %1";
    sMenuRedoStep = u"Redo %1";
}

}  // namespace vm
