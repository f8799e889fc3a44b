// Rules about names that both platform layers apply, each with its own
// separators (only one of the layers is linked, so these are inline).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vm::platform::detail {

// True when the ".." parts of a relative name climb above the folder it
// starts in. separators are the units that split name parts; with
// trimDotsAndBlanks a part's trailing dots and blanks go first, as
// Windows drops them ("..." and ".. " name the parent too).
inline bool ClimbsOut(std::u16string_view name, std::u16string_view separators, bool trimDotsAndBlanks) {
    long depth = 0;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of(separators, start);
        if (end == std::u16string_view::npos) end = name.size();
        std::u16string_view part = name.substr(start, end - start);
        while (trimDotsAndBlanks && part.size() > 2 && (part.back() == u'.' || part.back() == u' '))
            part.remove_suffix(1);
        if (part == u"..") {
            if (--depth < 0) return true;
        } else if (!part.empty() && part != u".") {
            ++depth;
        }
        start = end + 1;
    }
    return false;
}

// True when file (resolved) lies below folder (resolved, no trailing
// separator): folder, then a separator, then more.
template <typename String>
bool LiesBelow(const String& file, const String& folder, bool (*isSeparator)(typename String::value_type)) {
    return file.size() > folder.size() && file.compare(0, folder.size(), folder) == 0 &&
           isSeparator(file[folder.size()]);
}

}  // namespace vm::platform::detail
