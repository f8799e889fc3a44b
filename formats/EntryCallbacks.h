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
using TableEntrySource = std::function<bool(std::int32_t i, const char16_t*& key, const char16_t*& value)>;

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
// followed by a zero unit), from buffers of the reader's own that are valid
// during the call. The .tbl reader checks for bytes to keep only when the
// receiver wants them, and hands them over right after the entry, as
// StoredBytesSink describes.
class TableEntryReceiver {
public:
    virtual void Entry(std::u16string_view key, std::u16string_view value) = 0;
    virtual bool WantsStored() const { return false; }
    virtual void Stored(std::string_view /*keyBytes*/, std::string_view /*valueBytes*/) {}

protected:
    ~TableEntryReceiver() = default;
};

}  // namespace vm
