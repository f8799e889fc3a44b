#include "toolkit/Toolkit.h"

#include "platform/Platform.h"

namespace tk {

NativeString ToNative(std::u16string_view text) {
#ifdef UNICODE
    return NativeString(reinterpret_cast<const wchar_t*>(text.data()), text.size());
#else
    std::string narrow;
    bool replaced = false;
    vm::platform::WideToAnsi(text.data(), text.size(), static_cast<std::size_t>(-1), narrow, replaced);
    return narrow;
#endif
}

std::u16string FromNative(const NativeChar* text, std::size_t count) {
#ifdef UNICODE
    return std::u16string(reinterpret_cast<const char16_t*>(text), count);
#else
    std::u16string wide;
    vm::platform::AnsiToWide(text, count, wide);
    return wide;
#endif
}

namespace {

// Under wine a font of default quality asks the X server's resources how
// to smooth it each time it is selected into a device context (without
// any resources, by reading the resource files anew every time): a list
// paints with dozens of selections. Wine smooths such a font in grey
// anyway; asking for that directly costs nothing. Windows keeps its own
// default (ClearType where the user has it).
bool UnderWine() {
    static const bool wine = GetProcAddress(GetModuleHandle(TEXT("ntdll.dll")), "wine_get_version") != nullptr;
    return wine;
}

}  // namespace

HFONT CreateFontByName(const NativeChar* face, int height, int weight, BYTE charset) {
    LOGFONT f{};
    f.lfHeight = height;
    f.lfWeight = weight;
    f.lfCharSet = charset;
    if (UnderWine()) f.lfQuality = ANTIALIASED_QUALITY;
    NativeString(face).copy(f.lfFaceName, LF_FACESIZE - 1);
    return CreateFontIndirect(&f);
}

HINSTANCE Instance() { return GetModuleHandle(nullptr); }

}  // namespace tk
