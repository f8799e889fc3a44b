#include "documents/StringIds.h"

#include <algorithm>
#include <limits>

#include "documents/TableIO.h"

namespace vm {

namespace {

constexpr std::int64_t MaxId = std::numeric_limits<std::int64_t>::max();

void SortUnique(std::vector<std::int64_t>& ids) {
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
}

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

// The last part of a name, after the folder DirectoryOf gives.
std::u16string LastPart(const std::u16string& name, const std::u16string& folder) {
    std::size_t at = folder.size();
    while (at < name.size() && IsSeparator(name[at])) ++at;
    return name.substr(at);
}

}  // namespace

// ---- The allocator ----------------------------------------------------------

void TakenIds::Add(std::int64_t id) {
    const auto at = std::lower_bound(ids.begin(), ids.end(), id);
    if (at == ids.end() || *at != id) ids.insert(at, id);
}

void TakenIds::Add(const JsonDocument& doc) {
    ids.reserve(ids.size() + doc.objects.size());
    for (const JsonObject& o : doc.objects) ids.push_back(o.id);
    SortUnique(ids);
}

void TakenIds::Add(const TakenIds& other) {
    ids.insert(ids.end(), other.ids.begin(), other.ids.end());
    SortUnique(ids);
}

bool TakenIds::Has(std::int64_t id) const { return std::binary_search(ids.begin(), ids.end(), id); }

std::optional<std::int64_t> NewIdSource::Next() {
    if (exhausted_) return std::nullopt;
    std::int64_t id = next_;
    // The taken ids from next_ on are consecutive in the sorted set; step
    // over them.
    for (auto at = std::lower_bound(taken_.ids.begin(), taken_.ids.end(), id); at != taken_.ids.end() && *at == id;
         ++at) {
        if (id == MaxId) {
            exhausted_ = true;
            return std::nullopt;
        }
        ++id;
    }
    if (id == MaxId) exhausted_ = true;
    else next_ = id + 1;
    ++given_;
    highest_ = id;
    return id;
}

// ---- The counter file -------------------------------------------------------

std::optional<CounterNumber> FindCounterNumber(std::string_view bytes) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    CounterNumber n;
    while (n.begin < bytes.size() && !digit(bytes[n.begin])) ++n.begin;
    if (n.begin == bytes.size()) return std::nullopt;
    n.end = n.begin;
    bool tooLarge = false;
    for (; n.end < bytes.size() && digit(bytes[n.end]); ++n.end) {
        const int d = bytes[n.end] - '0';
        if (n.value > (MaxId - d) / 10) tooLarge = true;
        else if (!tooLarge) n.value = n.value * 10 + d;
    }
    if (tooLarge) return std::nullopt;
    return n;
}

std::string WithCounterNumber(std::string_view bytes, const CounterNumber& number, std::int64_t value) {
    std::string out(bytes.substr(0, number.begin));
    out += std::to_string(value);
    out += bytes.substr(number.end);
    return out;
}

// ---- A string file's folder -------------------------------------------------

std::u16string IdCounterFileOf(const std::u16string& fileName) {
    const std::u16string folder = platform::DirectoryOf(fileName);
    if (folder.empty()) return platform::JoinPath(u"..", IdCounterFileName);
    const std::u16string parent = platform::DirectoryOf(folder);
    if (parent == folder) return {};  // a root has no parent
    // "a/." and "a/.." name their parent through "..".
    const std::u16string last = LastPart(folder, parent);
    if (last == u"." || last == u"..") return platform::JoinPath(platform::JoinPath(folder, u".."), IdCounterFileName);
    return platform::JoinPath(parent, IdCounterFileName);
}

StringFolder ReadStringFolder(const std::u16string& fileName, const ReadLimits& limits) {
    StringFolder f;
    const std::u16string folder = platform::DirectoryOf(fileName);
    const std::u16string own = LastPart(fileName, folder);
    for (const std::u16string& name : platform::FilesInFolder(folder.empty() ? u"." : folder)) {
        if (name == own || FormatOfFileName(name) != FormatJson) continue;
        const std::u16string file = platform::JoinPath(folder, name);
        JsonDocument doc;
        JsonError error;
        if (!LoadJsonStrings(file, -1, limits, doc, &error)) {
            StringIdWarning w;
            w.kind = StringIdWarning::Kind::SiblingUnreadable;
            w.file = file;
            w.json = error;
            f.warnings.push_back(std::move(w));
            continue;
        }
        f.siblings.push_back({file, {}});
        f.siblings.back().ids.Add(doc);
    }

    ReadIdCounter(fileName, limits, f);
    return f;
}

void ReadIdCounter(const std::u16string& fileName, const ReadLimits& limits, StringFolder& f) {
    const std::u16string counter = IdCounterFileOf(fileName);
    if (counter.empty() || !platform::FileExists(counter)) return;
    StringIdWarning w;
    w.file = counter;
    platform::FileImage image;
    w.read = platform::ReadWholeFile(counter, limits.maxFileSize, 0, image);
    if (w.read != platform::ReadStatus::Ok) {
        w.kind = StringIdWarning::Kind::CounterUnreadable;
        f.warnings.push_back(std::move(w));
        return;
    }
    f.counterFile = counter;
    f.counterBytes.assign(reinterpret_cast<const char*>(image.data.get()), static_cast<std::size_t>(image.size));
    f.counter = FindCounterNumber(f.counterBytes);
    if (!f.counter) {
        w.kind = StringIdWarning::Kind::CounterNoNumber;
        f.warnings.push_back(std::move(w));
    }
}

NewIdStart ChooseNewIdStart(const StringFolder& folder, const TakenIds& own, std::int64_t firstId) {
    NewIdStart r;
    if (firstId > 0) {
        // The file's own ids from the first id on are the mod's range as
        // earlier saves filled it: the allocator goes on above them. Only
        // another file holding the first id means the range collides.
        for (const StringFolder::Sibling& s : folder.siblings)
            if (s.ids.Has(firstId)) {
                r.firstIdHolder = s.file;
                return r;
            }
        r.start = firstId;
        return r;
    }
    if (folder.counter) {
        r.start = std::max<std::int64_t>(1, folder.counter->value);
        return r;
    }
    std::optional<std::int64_t> highest;
    const auto consider = [&highest](const TakenIds& ids) {
        if (!ids.Empty()) highest = std::max(highest.value_or(ids.Highest()), ids.Highest());
    };
    consider(own);
    for (const StringFolder::Sibling& s : folder.siblings) consider(s.ids);
    if (!highest) r.start = 1;
    else if (*highest != MaxId) r.start = std::max<std::int64_t>(1, *highest + 1);
    return r;
}

void AdvanceIdCounter(StringFolder& folder, std::int64_t highestGiven) {
    if (folder.counterFile.empty() || !folder.counter) return;
    StringIdWarning w;
    w.kind = StringIdWarning::Kind::CounterNotWritten;
    w.file = folder.counterFile;
    w.number = highestGiven;
    if (highestGiven == MaxId) {
        // No number above it to write.
        w.write = platform::WriteError::Other;
        folder.warnings.push_back(std::move(w));
        return;
    }
    const std::int64_t next = highestGiven + 1;
    if (next <= folder.counter->value) return;
    std::string bytes = WithCounterNumber(folder.counterBytes, *folder.counter, next);
    platform::AtomicFileWriter file;
    if (file.Open(folder.counterFile) && file.Write(bytes.data(), bytes.size()) && file.Commit()) {
        folder.counter->end = folder.counter->begin + std::to_string(next).size();
        folder.counter->value = next;
        folder.counterBytes = std::move(bytes);
        return;
    }
    w.write = file.Error() != platform::WriteError::None ? file.Error() : platform::WriteError::Other;
    folder.warnings.push_back(std::move(w));
}

}  // namespace vm
