// How readers hand out entries and writers pull them: one entry per call,
// in entry order. Strings are zero-terminated UTF-16 and valid only during
// (sink) or until the next call (source).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace vm {

using TableEntrySink = std::function<void(const char16_t* key, const char16_t* value)>;

// Sets key and value of entry i and returns true; false fails the write.
using TableEntrySource =
    std::function<bool(std::int32_t i, const char16_t*& key, const char16_t*& value)>;

// A .tbl entry whose key or value, written again from the form the reader
// delivers it in, would not give back the bytes the file holds (a literal
// backslash and "n", a carriage return, UTF-8 in another form, a string
// cut by the reader) is handed to this right after the sink: the bytes of
// that key and value as the file holds them (up to their zero byte), an
// empty view for a string that comes back by itself. Valid during the call.
using StoredBytesSink = std::function<void(std::string_view keyBytes, std::string_view valueBytes)>;

// Where a writer finds such bytes for entry i: it sets the views (valid
// until the next call); an empty view means the string is written from
// its text as usual.
using StoredBytesSource = std::function<void(std::int32_t i, std::string_view& keyBytes, std::string_view& valueBytes)>;

// What a reader that fills a table's lists hands its entries to: one call
// per entry with both strings and their lengths (each string is still
// followed by a zero unit), so the receiver copies them without looking for
// their ends. The .tbl reader checks for bytes to keep only when the
// receiver wants them, and hands them over right after the entry, as
// StoredBytesSink describes.
class TableEntryReceiver {
public:
    virtual void Entry(std::u16string_view key, std::u16string_view value) = 0;
    // count entries in order, as that many Entry calls would hand them over
    // (which is what the default makes of them).
    virtual void Entries(const std::u16string_view* keys, const std::u16string_view* values, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) Entry(keys[i], values[i]);
    }
    // Room for units units where the reader may decode the next entry's
    // key or value before it hands them to Entry, so that the receiver
    // keeps them where they are instead of copying them; null (the
    // default) has the reader use buffers of its own. Valid until that
    // Entry call; the key's room and the value's must not overlap. A room
    // may take several strings one after another, each followed by its
    // zero unit: handing over (by Entry or Entries) a string that starts
    // where the room does leaves the rest of the room, after that string's
    // zero unit, valid for the next one.
    virtual char16_t* KeyRoom(std::size_t /*units*/) { return nullptr; }
    virtual char16_t* ValueRoom(std::size_t /*units*/) { return nullptr; }
    virtual bool WantsStored() const { return false; }
    virtual void Stored(std::string_view /*keyBytes*/, std::string_view /*valueBytes*/) {}

protected:
    ~TableEntryReceiver() = default;
};

enum class TextEncoding : int { Unicode = 0, UTF8 = 1, ANSI = 2, Autodetect = 3 };
enum class TextLayout : int { Tabbed = 0, DiabloII = 1 };

}  // namespace vm
