#include "documents/CopyMatchedValues.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

namespace vm {

namespace {

constexpr std::uint32_t None = 0xFFFFFFFFu;

// The hash that places keys in the groups' table is keyed with a secret
// drawn once per process (SipHash-1-3): keys come from files anyone can
// write, and with a fixed hash a file of keys crafted for one slot would
// make every lookup walk all of them. The pairings never depend on it.
struct HashKey {
    std::uint64_t k0, k1;
};

HashKey DrawHashKey() {
    std::random_device entropy;
    HashKey key{};
    for (int i = 0; i < 4; ++i) {
        key.k0 = (key.k0 << 16) ^ entropy();
        key.k1 = (key.k1 << 16) ^ entropy();
    }
    // The clock too, should the device give little.
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    key.k0 ^= now;
    key.k1 ^= now * 0x9E3779B97F4A7C15ull;
    return key;
}

const HashKey& ProcessHashKey() {
    static const HashKey key = DrawHashKey();
    return key;
}

inline std::uint64_t Rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct SipState {
    std::uint64_t v0, v1, v2, v3;
    void Round() {
        v0 += v1;
        v1 = Rotl(v1, 13);
        v1 ^= v0;
        v0 = Rotl(v0, 32);
        v2 += v3;
        v3 = Rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = Rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = Rotl(v1, 17);
        v1 ^= v2;
        v2 = Rotl(v2, 32);
    }
};

}  // namespace

std::uint64_t KeyedHash(std::u16string_view s, std::uint64_t k0, std::uint64_t k1) {
    SipState st{k0 ^ 0x736F6D6570736575ull, k1 ^ 0x646F72616E646F6Dull, k0 ^ 0x6C7967656E657261ull,
                k1 ^ 0x7465646279746573ull};
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t n = s.size() * sizeof(char16_t);
    const std::uint64_t total = n;
    for (; n >= 8; n -= 8, p += 8) {
        std::uint64_t m;
        std::memcpy(&m, p, 8);
        st.v3 ^= m;
        st.Round();
        st.v0 ^= m;
    }
    std::uint64_t last = total << 56;
    for (std::size_t i = 0; i < n; ++i) last |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    st.v3 ^= last;
    st.Round();
    st.v0 ^= last;
    st.v2 ^= 0xFF;
    st.Round();
    st.Round();
    st.Round();
    return st.v0 ^ st.v1 ^ st.v2 ^ st.v3;
}

namespace {

std::uint32_t HashOf(std::u16string_view s) {
    const HashKey& key = ProcessHashKey();
    return static_cast<std::uint32_t>(KeyedHash(s, key.k0, key.k1));
}

// Groups of destination entries that share an effective key. Each distinct
// key is copied once into one contiguous block, so lookups stay in a small
// area of memory and do not depend on the destination list, which may be
// written while the groups are still in use.
class KeyGroups {
public:
    explicit KeyGroups(std::size_t maxGroups) {
        std::size_t capacity = 16;
        while (capacity < maxGroups * 2) capacity *= 2;
        slots_.assign(capacity, Slot{});
        mask_ = capacity - 1;
        offset_.reserve(maxGroups);
        length_.reserve(maxGroups);
        text_.reserve(maxGroups * 8);
    }

    // The group of key; a new group when the key is new.
    std::uint32_t FindOrAdd(std::u16string_view key) {
        const std::uint32_t h = HashOf(key);
        const std::size_t i = Probe(key, h);
        if (slots_[i].group != None) return slots_[i].group;
        const auto group = static_cast<std::uint32_t>(offset_.size());
        slots_[i] = Slot{h, group};
        offset_.push_back(static_cast<std::uint32_t>(text_.size()));
        length_.push_back(static_cast<std::uint32_t>(key.size()));
        text_.append(key);
        return group;
    }

    std::uint32_t Find(std::u16string_view key) const { return slots_[Probe(key, HashOf(key))].group; }

    std::u16string_view KeyOf(std::uint32_t group) const {
        return std::u16string_view(text_).substr(offset_[group], length_[group]);
    }

private:
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t group = None;
    };

    // The slot holding key, or the empty slot where it belongs.
    std::size_t Probe(std::u16string_view key, std::uint32_t h) const {
        for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (s.group == None || (s.hash == h && KeyOf(s.group) == key)) return i;
        }
    }

    std::vector<Slot> slots_;  // never more than half full
    std::size_t mask_ = 0;
    std::vector<std::uint32_t> offset_, length_;  // each group's key in text_
    std::u16string text_;
};

}  // namespace

bool IsRepeatKey(std::u16string_view key) { return key.size() == 1 && (key[0] == u'X' || key[0] == u'x'); }

std::vector<std::uint32_t> PairByKey(const TStringList& sk, const TStringList& dk) {
    const std::size_t destCount = dk.Count();
    const std::size_t sourceCount = sk.Count();
    std::vector<std::uint32_t> partner(sourceCount, NoPartner);
    if (sourceCount == 0 || destCount == 0) return partner;

    // 1. Effective destination keys as groups; each group's entries are
    // chained in entry order, so the n-th free entry of a key is the next
    // link of its chain.
    KeyGroups groups(destCount);
    std::vector<std::uint32_t> groupOf(destCount);
    std::vector<std::uint32_t> nextInGroup(destCount, None);
    std::vector<std::uint32_t> head, tail;
    head.reserve(destCount);
    tail.reserve(destCount);
    std::uint32_t group = None;
    for (std::size_t k = 0; k < destCount; ++k) {
        const TText key = dk.Get(k);
        if (k == 0 || !IsRepeatKey(key)) group = groups.FindOrAdd(key);
        groupOf[k] = group;
        if (group == head.size()) {
            head.push_back(static_cast<std::uint32_t>(k));
            tail.push_back(static_cast<std::uint32_t>(k));
        } else {
            nextInGroup[tail[group]] = static_cast<std::uint32_t>(k);
            tail[group] = static_cast<std::uint32_t>(k);
        }
    }

    // 2. Walk the source: the current key (starting as "x") picks the
    // group, and the group's next free entry is the partner. Tables in the
    // same order are the usual case, so the entry after the last partner is
    // tried before the key is hashed.
    std::u16string current = u"x";
    std::uint32_t g = groups.Find(current);
    std::size_t taken = 0;
    std::size_t after = 0;  // the entry after the last partner
    for (std::size_t j = 0; j < sourceCount && taken < destCount; ++j) {
        const TText key = sk.Get(j);
        if (!IsRepeatKey(key) && key != current) {
            current = key;
            if (after < destCount && groups.KeyOf(groupOf[after]) == current) g = groupOf[after];
            else g = groups.Find(current);
        }
        if (g == None || head[g] == None) continue;
        const std::uint32_t k = head[g];
        head[g] = nextInGroup[k];
        after = k + 1;
        ++taken;
        partner[j] = k;
    }
    return partner;
}

std::size_t CopyMatchedValues(const TStringList& sk, const TStringList& sv, const TStringList& dk, TStringList& dv,
                              std::vector<std::size_t>* unpaired, EntryChangeObserver* observer) {
    const std::vector<std::uint32_t> partner = PairByKey(sk, dk);
    if (unpaired) unpaired->clear();
    std::size_t changed = 0;
    for (std::size_t j = 0; j < partner.size(); ++j) {
        const std::uint32_t k = partner[j];
        if (k == NoPartner) {
            if (unpaired) unpaired->push_back(j);
            continue;
        }
        const TText value = sv.Get(j);
        if (dv.Get(k) == value) continue;
        // The observer may grow dv (and its partner) to reach k; strings
        // stay where they are when a list grows.
        if (observer) observer->BeforeChange(dv, k);
        dv.Set(k, value);
        dv.SetFlag(k, 2);
        ++changed;
    }
    return changed;
}

std::size_t MergeByKey(const TStringList& sk, const TStringList& sv, TableLists& dest, std::size_t* added) {
    std::vector<std::size_t> unpaired;
    const std::size_t changed = CopyMatchedValues(sk, sv, dest.Keys, dest.Values, &unpaired);
    std::u16string current = u"x";  // what a leading repeat key stands for, as in the pairing
    std::size_t next = 0;
    for (std::size_t j = 0; j < sk.Count() && next < unpaired.size(); ++j) {
        const TText key = sk.Get(j);
        if (!IsRepeatKey(key)) current = key;
        if (unpaired[next] != j) continue;
        ++next;
        dest.Append(std::u16string_view(current), std::u16string_view(sv.Get(j)));
    }
    if (added) *added = unpaired.size();
    return changed;
}

}  // namespace vm
