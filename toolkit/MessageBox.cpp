#include "toolkit/MessageBox.h"

namespace tk {

int (*MessageBoxOverride)(std::u16string_view, std::u16string_view, UINT) = nullptr;

int ShowMessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type) {
    if (MessageBoxOverride) return MessageBoxOverride(text, caption, type);
    return MessageBox(owner, ToNative(text).c_str(), ToNative(caption).c_str(), type);
}

}  // namespace tk
