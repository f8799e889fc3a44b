// INI files on POSIX systems, with the rules of the Windows profile
// functions (see Profile.h). The file is kept as its lines: each line's
// bytes as they were read and its decoded text for the lookups. A write
// changes or adds one line and puts every other line back byte for byte.

#include "platform/Profile.h"

#include <optional>
#include <vector>

#include "platform/Platform.h"

namespace vm::platform {

namespace {

using detail::TrimBlanks;

// Larger files are not taken for settings files.
constexpr std::uint64_t MaxProfileBytes = 64u << 20;

enum class ProfileEncoding { Ansi, Utf8, Utf16 };

struct ProfileLine {
    std::string raw;      // the bytes, line break included
    std::u16string text;  // decoded, without the line break
    bool hasBreak = false;
};

struct ProfileFile {
    ProfileEncoding encoding = ProfileEncoding::Ansi;
    std::string bom;
    std::vector<ProfileLine> lines;
    bool crlf = true;  // the line break new lines get
};

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

std::u16string DecodeLine(ProfileEncoding encoding, std::string_view bytes) {
    std::u16string text;
    switch (encoding) {
    case ProfileEncoding::Utf16:
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<std::uint8_t>(bytes[i]) | static_cast<std::uint8_t>(bytes[i + 1])
                                                                                    << 8);
        return text;
    case ProfileEncoding::Utf8: return FromUtf8(bytes);
    case ProfileEncoding::Ansi:
        if (AnsiToWide(bytes.data(), bytes.size(), text)) return text;
        // Not valid in a multi-byte code page: good enough to find names
        // by; the line itself keeps its bytes unless it is the one written.
        for (const char b : bytes) text += static_cast<char16_t>(static_cast<std::uint8_t>(b));
        return text;
    }
    return text;
}

std::string EncodeText(ProfileEncoding encoding, std::u16string_view text) {
    switch (encoding) {
    case ProfileEncoding::Utf16: {
        std::string bytes;
        for (const char16_t u : text) {
            bytes += static_cast<char>(u & 0xFF);
            bytes += static_cast<char>(u >> 8);
        }
        return bytes;
    }
    case ProfileEncoding::Utf8: return ToUtf8(text);
    case ProfileEncoding::Ansi: {
        std::string bytes;
        bool replaced = false;
        WideToAnsi(text.data(), text.size(), SIZE_MAX, bytes, replaced);
        return bytes;
    }
    }
    return {};
}

// Splits the bytes after the byte-order mark into lines. A UTF-16 line ends
// after the unit 0x000A, an 8-bit one after the byte 0x0A (which is never
// part of a multi-byte character in an ANSI code page or in UTF-8).
void SplitLines(std::string_view bytes, ProfileFile& file) {
    const std::size_t unit = file.encoding == ProfileEncoding::Utf16 ? 2 : 1;
    bool firstBreakSeen = false;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = start;
        bool hasBreak = false;
        while (end + unit <= bytes.size()) {
            const bool lf = bytes[end] == '\n' && (unit == 1 || bytes[end + 1] == '\0');
            end += unit;
            if (lf) {
                hasBreak = true;
                break;
            }
        }
        if (!hasBreak) end = bytes.size();  // an odd last byte of UTF-16 stays with its line
        ProfileLine line;
        line.raw.assign(bytes.substr(start, end - start));
        line.hasBreak = hasBreak;
        std::size_t textBytes = line.raw.size() - (hasBreak ? unit : 0);
        // A carriage return before the line feed, or ending the file, is
        // part of the line break, not of the text.
        const bool cr = textBytes >= unit && line.raw[textBytes - unit] == '\r' &&
                        (unit == 1 || line.raw[textBytes - unit + 1] == '\0');
        if (cr) textBytes -= unit;
        if (hasBreak && !firstBreakSeen) {
            file.crlf = cr;
            firstBreakSeen = true;
        }
        line.text = DecodeLine(file.encoding, std::string_view(line.raw).substr(0, textBytes));
        file.lines.push_back(std::move(line));
        start = end;
    }
}

// Reads the file into lines. A missing file is an empty one; false when it
// exists but cannot be read.
bool LoadProfile(const std::u16string& name, ProfileFile& file) {
    FileImage image;
    const ReadStatus status = ReadWholeFile(name, MaxProfileBytes, 0, image);
    if (status == ReadStatus::NotFound) return true;
    if (status != ReadStatus::Ok) return false;
    std::string_view bytes(reinterpret_cast<const char*>(image.data.get()), static_cast<std::size_t>(image.size));
    if (bytes.substr(0, 2) == "\xFF\xFE") {
        file.encoding = ProfileEncoding::Utf16;
        file.bom = bytes.substr(0, 2);
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        file.encoding = ProfileEncoding::Utf8;
        file.bom = bytes.substr(0, 3);
    }
    SplitLines(bytes.substr(file.bom.size()), file);
    return true;
}

// The name of a "[name]" line, or nothing for any other line.
std::optional<std::u16string_view> SectionName(std::u16string_view line) {
    line = TrimBlanks(line);
    if (line.empty() || line[0] != u'[') return std::nullopt;
    line.remove_prefix(1);
    return TrimBlanks(line.substr(0, line.find(u']')));
}

// The key and the raw value of a "key=value" line.
bool SplitKeyLine(std::u16string_view line, std::u16string_view& key, std::u16string_view& value) {
    const std::u16string_view trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed[0] == u';' || trimmed[0] == u'[') return false;
    const std::size_t eq = trimmed.find(u'=');
    if (eq == std::u16string_view::npos) return false;
    key = TrimBlanks(trimmed.substr(0, eq));
    value = TrimBlanks(trimmed.substr(eq + 1));
    return true;
}

struct Position {
    std::size_t section = SIZE_MAX;  // index of the "[section]" line
    std::size_t key = SIZE_MAX;      // index of the key's line
    std::size_t last = SIZE_MAX;     // last non-blank line of the section
};

Position Find(const ProfileFile& file, std::u16string_view section, std::u16string_view key) {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    Position at;
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        const std::u16string_view text = file.lines[i].text;
        if (const auto name = SectionName(text)) {
            if (at.section != SIZE_MAX) break;  // the end of ours
            if (SameName(*name, section)) at.section = at.last = i;
            continue;
        }
        if (at.section == SIZE_MAX) continue;
        if (!TrimBlanks(text).empty()) at.last = i;
        std::u16string_view k, v;
        if (at.key == SIZE_MAX && SplitKeyLine(text, k, v) && SameName(k, key)) at.key = i;
    }
    return at;
}

// The value of the key as the profile functions hand it out, or nothing.
std::optional<std::u16string> Lookup(const std::u16string& name, const std::u16string& section,
                                     const std::u16string& key) {
    if (!detail::UsableProfileNames(name, section, key)) return std::nullopt;
    ProfileFile file;
    if (!LoadProfile(name, file)) return std::nullopt;
    const Position at = Find(file, section, key);
    if (at.key == SIZE_MAX) return std::nullopt;
    std::u16string_view k, value;
    SplitKeyLine(file.lines[at.key].text, k, value);
    if (value.size() >= 2 && (value[0] == u'"' || value[0] == u'\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return std::u16string(value);
}

}  // namespace

std::uint32_t GetProfileInt(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                            std::int32_t defaultValue) {
    const std::optional<std::u16string> value = Lookup(file, section, key);
    if (!value || value->empty()) return static_cast<std::uint32_t>(defaultValue);
    std::size_t i = 0;
    const bool negative = (*value)[0] == u'-';
    if (negative || (*value)[0] == u'+') ++i;
    std::uint32_t n = 0;
    for (; i < value->size() && (*value)[i] >= u'0' && (*value)[i] <= u'9'; ++i)
        n = n * 10u + static_cast<std::uint32_t>((*value)[i] - u'0');
    return negative ? 0u - n : n;
}

std::u16string GetProfileString(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                                const std::u16string& defaultValue, std::size_t capacity) {
    std::optional<std::u16string> value = Lookup(file, section, key);
    if (!value) return detail::DefaultProfileText(defaultValue, capacity);
    if (capacity == 0) return {};
    if (value->size() > capacity - 1) value->resize(capacity - 1);
    return std::move(*value);
}

bool WriteProfileString(const std::u16string& name, const std::u16string& section, const std::u16string& key,
                        const std::u16string& value) {
    if (!detail::UsableProfileNames(name, section, key) || !detail::SafeProfileText(value)) return false;
    ProfileFile file;
    if (!LoadProfile(name, file)) return false;

    const std::string eol = EncodeText(file.encoding, file.crlf ? u"\r\n" : u"\n");
    const auto makeLine = [&](std::u16string_view text) {
        ProfileLine line;
        line.text = text;
        line.raw = EncodeText(file.encoding, text) + eol;
        line.hasBreak = true;
        return line;
    };
    // A line that gets a successor must end in a line break.
    const auto endLine = [&](std::size_t i) {
        if (i < file.lines.size() && !file.lines[i].hasBreak) {
            // A carriage return that ended the file becomes the new break.
            const std::string cr = EncodeText(file.encoding, u"\r");
            std::string& raw = file.lines[i].raw;
            if (raw.size() >= cr.size() && raw.compare(raw.size() - cr.size(), cr.size(), cr) == 0)
                raw.resize(raw.size() - cr.size());
            file.lines[i].raw += eol;
            file.lines[i].hasBreak = true;
        }
    };

    const Position at = Find(file, section, key);
    if (at.key != SIZE_MAX) {
        std::u16string_view fileKey, oldValue;
        SplitKeyLine(file.lines[at.key].text, fileKey, oldValue);
        const bool hadBreak = file.lines[at.key].hasBreak;
        file.lines[at.key] = makeLine(std::u16string(fileKey) + u"=" + value);
        if (!hadBreak && at.key + 1 == file.lines.size()) {
            // Keep a file that did not end in a line break that way.
            file.lines[at.key].raw.resize(file.lines[at.key].raw.size() - eol.size());
            file.lines[at.key].hasBreak = false;
        }
    } else if (at.section != SIZE_MAX) {
        endLine(at.last);
        file.lines.insert(file.lines.begin() + static_cast<std::ptrdiff_t>(at.last + 1), makeLine(key + u"=" + value));
    } else {
        if (!file.lines.empty()) {
            endLine(file.lines.size() - 1);
            if (!TrimBlanks(file.lines.back().text).empty()) file.lines.push_back(makeLine(u""));
        }
        file.lines.push_back(makeLine(u"[" + section + u"]"));
        file.lines.push_back(makeLine(key + u"=" + value));
    }

    std::string bytes = file.bom;
    if (bytes.empty() && file.encoding == ProfileEncoding::Utf16) bytes = "\xFF\xFE";
    for (const ProfileLine& line : file.lines) bytes += line.raw;
    AtomicFileWriter writer;
    return writer.Open(name) && writer.Write(bytes.data(), bytes.size()) && writer.Commit();
}

}  // namespace vm::platform
