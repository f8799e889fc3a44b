// Our thin layer over Win32 windows and common controls. Each control is a
// small struct on the Wnd base; its notifications come back to it (the
// parent reflects them), so the owner wires function members such as
// onClick instead of switching on control ids.
//
// Interface text crosses into the platform as NativeString: UTF-16 in the
// Unicode build, the ANSI code page in the ANSI build. Table text is always
// UTF-16 (std::u16string) and is converted at this boundary only.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <string_view>

namespace tk {

#ifdef UNICODE
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif
using NativeString = std::basic_string<NativeChar>;

NativeString ToNative(std::u16string_view text);
std::u16string FromNative(const NativeChar* text, std::size_t count);
inline std::u16string FromNative(const NativeString& text) { return FromNative(text.data(), text.size()); }

// A font by face name, height (negative: character height), weight and
// character set.
HFONT CreateFontByName(const NativeChar* face, int height, int weight, BYTE charset = DEFAULT_CHARSET);

// The module the program's resources live in.
HINSTANCE Instance();

// Registers the common controls and our window classes once.
void InitToolkit();

}  // namespace tk
