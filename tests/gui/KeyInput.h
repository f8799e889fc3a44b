// Key presses sent through the system's input queue (SendInput), as a user
// types them: shared by the window tests and the window benchmark.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <iterator>
#include <vector>

namespace keyinput {

// Keys of the extended block (arrows, Insert, Delete, Home, End, Page Up
// and Down), which the keyboard sends with the extended flag.
inline bool IsExtended(WORD vk) {
    switch (vk) {
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_INSERT:
    case VK_DELETE: return true;
    default: return false;
    }
}

inline INPUT KeyInput(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = (IsExtended(vk) ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    return in;
}

// A key pressed and released, with modifier keys held around it.
inline void Press(WORD vk, std::initializer_list<WORD> held = {}) {
    std::vector<INPUT> in;
    for (WORD m : held) in.push_back(KeyInput(m, false));
    in.push_back(KeyInput(vk, false));
    in.push_back(KeyInput(vk, true));
    for (auto m = std::rbegin(held); m != std::rend(held); ++m) in.push_back(KeyInput(*m, true));
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

}  // namespace keyinput
