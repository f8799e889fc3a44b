// Small helpers for the format tests: hex byte strings, entry lists and
// sources and sinks over them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/TblTextTbl.h"

namespace vmtest {

using Bytes = std::vector<std::uint8_t>;
using Entry = std::pair<std::u16string, std::u16string>;
using Entries = std::vector<Entry>;

inline Bytes Hex(const char* text) {
    Bytes out;
    int high = -1;
    for (const char* p = text; *p; ++p) {
        int v;
        if (*p >= '0' && *p <= '9') v = *p - '0';
        else if (*p >= 'a' && *p <= 'f') v = *p - 'a' + 10;
        else if (*p >= 'A' && *p <= 'F') v = *p - 'A' + 10;
        else continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

inline Bytes BytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline vm::TableEntrySource SourceOf(const Entries& entries) {
    return [&entries](std::int32_t i, const char16_t*& key, const char16_t*& value) {
        key = entries[static_cast<std::size_t>(i)].first.c_str();
        value = entries[static_cast<std::size_t>(i)].second.c_str();
        return true;
    };
}

inline std::uint64_t TotalChars(const Entries& entries) {
    std::uint64_t total = 0;
    for (const auto& e : entries) total += e.first.size() + e.second.size();
    return total;
}

inline vm::TableEntrySink SinkInto(Entries& entries) {
    return [&entries](const char16_t* key, const char16_t* value) { entries.emplace_back(key, value); };
}

// Builds a .tbl image of the entries.
inline Bytes TblImage(const Entries& entries, const vm::TblOptions& options = {}) {
    Bytes image;
    vm::BuildTblImage(SourceOf(entries), static_cast<std::int32_t>(entries.size()), TotalChars(entries), image,
                      options);
    return image;
}

// Keys and values as the bytes a .tbl holds.
using RawEntries = std::vector<std::pair<std::string, std::string>>;

// A .tbl image whose keys and values are exactly these bytes, laid out as
// the writer lays out every table (the way a real table is laid out).
inline Bytes RawTblImage(const RawEntries& raw) {
    const Entries blank(raw.size());
    Bytes image;
    vm::BuildTblImage(SourceOf(blank), static_cast<std::int32_t>(raw.size()), 16 * raw.size(), image, {},
                      [&raw](std::int32_t i, std::string_view& key, std::string_view& value) {
                          key = raw[static_cast<std::size_t>(i)].first;
                          value = raw[static_cast<std::size_t>(i)].second;
                      });
    return image;
}

// Reads an image (copied so that it ends in the zero byte the reader needs).
inline bool ReadTbl(const Bytes& image, Entries& out, const vm::ReadLimits& limits = {}) {
    Bytes padded = image;
    padded.push_back(0);
    return vm::ReadTblImage(padded.data(), image.size(), SinkInto(out), limits);
}

// Text options that read in this encoding.
inline vm::TextOptions Reading(vm::TextEncoding encoding) {
    vm::TextOptions options;
    options.readEncoding = encoding;
    return options;
}
// Text options that write in this layout and encoding.
inline vm::TextOptions Writing(vm::TextLayout layout, vm::TextEncoding encoding) {
    vm::TextOptions options;
    options.layout = layout;
    options.writeEncoding = encoding;
    return options;
}

inline bool ReadText(const Bytes& bytes, Entries& out, vm::TextEncoding encoding = vm::TextEncoding::Autodetect) {
    Bytes padded = bytes;
    padded.insert(padded.end(), 4, 0);
    return vm::ReadTextImage(padded.data(), bytes.size(), u"", SinkInto(out), Reading(encoding), {});
}

}  // namespace vmtest
