// Ids for new objects of the remastered game's string files. The files of
// one strings folder (data/local/lng/strings/*.json) share one id space,
// so a new object's id must be held by none of them; mod managers keep the
// next free id in a counter file, data/local/lng/next_string_id.txt, beside
// the strings folder.
//
// Two parts: a plain allocator over a set of taken ids, which knows
// nothing of files (TakenIds, NewIdSource), and what a save needs to know
// of a string file's folder (ReadStringFolder, AdvanceIdCounter). Nothing
// here shows anything; what went wrong comes back as warnings the caller
// words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/FormatOptions.h"
#include "formats/JsonStrings.h"
#include "platform/Platform.h"

namespace vm {

// ---- The allocator ----------------------------------------------------------

// A set of ids, kept sorted without repeats.
struct TakenIds {
    std::vector<std::int64_t> ids;

    void Add(std::int64_t id);
    // Every object's id (many at once: sorted once, not per id).
    void Add(const JsonDocument& doc);
    void Add(const TakenIds& other);
    bool Has(std::int64_t id) const;
    bool Empty() const { return ids.empty(); }
    std::int64_t Highest() const { return ids.back(); }  // not Empty()
};

// Hands out ids from start upwards, one per call, skipping every id of
// taken (also ids added to it between calls) and never the same id twice.
// After it has given INT64 max, or when every id from its next one up is
// taken, it gives none: it never wraps around. taken must outlive it.
class NewIdSource {
public:
    NewIdSource(const TakenIds& taken, std::int64_t start) : taken_(taken), next_(start) {}

    std::optional<std::int64_t> Next();
    std::size_t Given() const { return given_; }
    std::int64_t Highest() const { return highest_; }  // the last id given, when Given() > 0

private:
    const TakenIds& taken_;
    std::int64_t next_;
    bool exhausted_ = false;
    std::size_t given_ = 0;
    std::int64_t highest_ = 0;
};

// ---- The counter file -------------------------------------------------------

inline constexpr char16_t IdCounterFileName[] = u"next_string_id.txt";

// The number of a counter file: its first run of ASCII digits, bytes
// [begin, end) of it. None when the file has no digit or the run is
// larger than INT64 max.
struct CounterNumber {
    std::size_t begin = 0, end = 0;
    std::int64_t value = 0;
};
std::optional<CounterNumber> FindCounterNumber(std::string_view bytes);

// The counter's bytes with its number replaced by value; every other byte
// stays.
std::string WithCounterNumber(std::string_view bytes, const CounterNumber& number, std::int64_t value);

// ---- A string file's folder -------------------------------------------------

// What a save could not take into account, or do, for its new ids.
struct StringIdWarning {
    enum class Kind {
        SiblingUnreadable,  // a string file of the folder cannot be read: its ids may be given again
        CounterUnreadable,  // the counter file exists but cannot be read (read says why)
        CounterNoNumber,    // the counter file holds no usable number; it is neither used nor advanced
        CounterNotWritten,  // the counter file could not be advanced to number (write says why)
    };
    Kind kind = Kind::SiblingUnreadable;
    std::u16string file;
    JsonError json;  // SiblingUnreadable
    platform::ReadStatus read = platform::ReadStatus::Ok;
    platform::WriteError write = platform::WriteError::None;
    std::int64_t number = 0;  // CounterNotWritten
};

// The ids held by the other string files of a file's folder, and its
// counter file.
struct StringFolder {
    struct Sibling {
        std::u16string file;  // the folder joined with the name
        TakenIds ids;
    };
    std::vector<Sibling> siblings;  // every other readable *.json file, by name
    std::u16string counterFile;     // the counter's name; empty: there is none
    std::string counterBytes;
    std::optional<CounterNumber> counter;  // its number, when it has one
    std::vector<StringIdWarning> warnings;
};

// Where the counter of a string file belongs: next_string_id.txt in the
// parent of the file's folder. Empty when the folder has no parent (a
// root).
std::u16string IdCounterFileOf(const std::u16string& fileName);

// Reads the ids of every *.json file (extension in any case) of fileName's
// folder but fileName itself, each within limits, and the counter file.
// A file that cannot be read, a counter without a number, are warnings.
// fileName need not exist; the folder joined with an empty name reads
// every string file of the folder.
StringFolder ReadStringFolder(const std::u16string& fileName, const ReadLimits& limits);

// Only the counter file of fileName's folder, into folder (its warnings
// too), when there is one.
void ReadIdCounter(const std::u16string& fileName, const ReadLimits& limits, StringFolder& folder);

// Where the new ids of a save start: at firstId when it is
// above 0 and no sibling holds it (ids own, the file itself, holds from
// there on are the range earlier saves filled; the allocator skips them);
// otherwise at the counter's number when the folder has one; otherwise
// above the highest id of own and the siblings (1 when there is none). No
// start below 1 is chosen.
struct NewIdStart {
    std::optional<std::int64_t> start;  // none: firstId is taken, or no id is left above the highest
    std::u16string firstIdHolder;       // the sibling that holds firstId
};
NewIdStart ChooseNewIdStart(const StringFolder& folder, const TakenIds& own, std::int64_t firstId);

// After a save that gave new ids up to highestGiven: sets the counter of
// folder to highestGiven + 1 when that is above its number, rewriting the
// file atomically with its other bytes kept. Nothing when the folder has no
// counter with a number. A failed write (or no number above INT64 max)
// becomes a warning of folder.
void AdvanceIdCounter(StringFolder& folder, std::int64_t highestGiven);

}  // namespace vm
