// INI files on Windows: the system's private profile functions, behind the
// checks both implementations share (see Profile.h).

#include <windows.h>

#include <vector>

#include "platform/Profile.h"

namespace vm::platform {

namespace {

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

}  // namespace

std::uint32_t GetProfileInt(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                            std::int32_t defaultValue) {
    if (!detail::UsableProfileNames(file, section, key)) return static_cast<std::uint32_t>(defaultValue);
    return GetPrivateProfileIntW(Wide(section), Wide(key), defaultValue, Wide(file));
}

std::u16string GetProfileString(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                                const std::u16string& defaultValue, std::size_t capacity) {
    if (capacity == 0) return {};
    const DWORD size = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(capacity);
    // Unusable names read as a missing key.
    if (!detail::UsableProfileNames(file, section, key)) return detail::DefaultProfileText(defaultValue, size);
    std::vector<wchar_t> buffer(size, L'\0');
    const DWORD n =
        GetPrivateProfileStringW(Wide(section), Wide(key), Wide(defaultValue), buffer.data(), size, Wide(file));
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), n < size ? n : size - 1);
}

bool WriteProfileString(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                        const std::u16string& value) {
    if (!detail::UsableProfileNames(file, section, key) || !detail::SafeProfileText(value)) return false;
    return WritePrivateProfileStringW(Wide(section), Wide(key), Wide(value), Wide(file)) != FALSE;
}

}  // namespace vm::platform
