#include "CopyMatchedValues.h"

#include <string_view>
#include <unordered_map>
#include <vector>

namespace vm {

namespace {

struct ViewHash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view s) const { return std::hash<std::u16string_view>{}(s); }
};

struct ViewEqual {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const { return a == b; }
};

// The destination entries sharing one effective key, in entry order; the
// ones before `next` are taken.
struct Group {
    std::vector<std::uint32_t> members;
    std::size_t next = 0;
};

}  // namespace

bool IsRepeatKey(const std::u16string& key) {
    return key.size() == 1 && (key[0] == u'X' || key[0] == u'x');
}

std::size_t CopyMatchedValues(const TStringList& sk, const TStringList& sv,
                              const TStringList& dk, TStringList& dv) {
    if (sk.Empty() || dk.Empty()) return 0;

    // Effective destination keys, fixed before any value is written. The
    // map owns copies of the keys, so writing dv cannot change them even
    // when dv is dk itself.
    std::unordered_map<std::u16string, Group, ViewHash, ViewEqual> groups;
    const std::size_t destCount = dk.Count();
    groups.reserve(destCount);
    Group* group = nullptr;
    for (std::size_t k = 0; k < destCount; ++k) {
        const std::u16string& key = dk.Get(k);
        if (k == 0 || !IsRepeatKey(key)) group = &groups[key];
        group->members.push_back(static_cast<std::uint32_t>(k));
    }

    std::size_t taken = 0;
    std::size_t changed = 0;
    std::u16string current = u"x";
    Group* currentGroup = nullptr;
    bool looked = false;
    const std::size_t sourceCount = sk.Count();
    for (std::size_t j = 0; j < sourceCount; ++j) {
        if (taken == destCount) break;
        const std::u16string& key = sk.Get(j);
        if (!IsRepeatKey(key) && key != current) {
            current = key;
            looked = false;
        }
        if (!looked) {
            const auto it = groups.find(std::u16string_view(current));
            currentGroup = it == groups.end() ? nullptr : &it->second;
            looked = true;
        }
        if (!currentGroup || currentGroup->next == currentGroup->members.size()) continue;
        const std::size_t k = currentGroup->members[currentGroup->next++];
        const std::u16string& value = sv.Get(j);
        if (dv.Get(k) != value) {
            if (k >= dv.Count()) {
                // Growing dv may move the strings of its partner list, which
                // can be sv; take the value out first.
                const std::u16string copy = value;
                dv.Set(k, copy);
            } else {
                dv.Set(k, value);
            }
            dv.SetFlag(k, 2);
            ++changed;
        }
        ++taken;
    }
    return changed;
}

}  // namespace vm
