#include "shell/InterfaceTexts.h"

namespace vm {

std::u16string sNoData = u"<empty>";
std::u16string sGoTo = u"Go to:";
std::u16string sFindKey = u"Find Key:";
std::u16string sFindValue = u"Find Value:";

void ResetInterfaceTexts() {
    sNoData = u"<empty>";
    sGoTo = u"Go to:";
    sFindKey = u"Find Key:";
    sFindValue = u"Find Value:";
}

}  // namespace vm
