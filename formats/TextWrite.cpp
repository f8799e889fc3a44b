// Writing text tables in the Tabbed or DiabloII layout, as UTF-16LE, UTF-8
// or the ANSI code page. The file is written through a temporary file, so a
// failure never leaves a partly written table behind.

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "CRC.h"
#include "ColorMacros.h"
#include "Global.h"
#include "Options.h"
#include "TextTable.h"
#include "platform/Platform.h"

namespace vm {

namespace {

static_assert(std::endian::native == std::endian::little,
              "UTF-16LE text is copied unit by unit as it lies in memory");

constexpr std::size_t FlushSize = 1 << 20;
constexpr std::size_t Utf8KeyBytes = 65536;     // 65535 bytes and the terminator
constexpr std::size_t Utf8ValueBytes = 155648;  // 155647 bytes and the terminator
constexpr std::size_t AnsiKeyBytes = 65536;
constexpr std::size_t AnsiValueBytes = 229376;

class BufferedOutput {
public:
    explicit BufferedOutput(platform::AtomicFileWriter& file) : file_(file) {}

    void Bytes(const void* data, std::size_t count) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        buffer_.insert(buffer_.end(), p, p + count);
        if (buffer_.size() >= FlushSize) Flush();
    }
    void Units(const char16_t* units, std::size_t count) { Bytes(units, count * 2); }
    void Units(const std::u16string_view text) { Units(text.data(), text.size()); }

    bool Flush() {
        if (ok_ && !buffer_.empty()) ok_ = file_.Write(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok_;
    }
    bool ok() const { return ok_; }

private:
    platform::AtomicFileWriter& file_;
    std::vector<std::uint8_t> buffer_;
    bool ok_ = true;
};

// A raw line break inside a text would split its line and read back as
// bogus entries: LF is written as the newline escape (backslash, "n") and
// CR is dropped, which is what a .tbl round trip gives.
const char16_t* SingleLine(const char16_t* text, std::u16string& scratch) {
    if (!text) return u"";
    const char16_t* p = text;
    while (*p && *p != u'\n' && *p != u'\r') ++p;
    if (!*p) return text;
    scratch.assign(text, static_cast<std::size_t>(p - text));
    for (; *p; ++p) {
        if (*p == u'\n') scratch.append(u"\\n");
        else if (*p != u'\r') scratch.push_back(*p);
    }
    return scratch.c_str();
}

// UTF-8 of at most maxUnits units of text into at most capacity bytes
// (terminator included). The buffer grows to what the text can need, so a
// small table never pays for the largest value.
std::size_t EncodeUtf8(std::vector<char>& buffer, const char16_t* text, std::size_t maxUnits,
                       std::size_t capacity) {
    const std::size_t units = std::min(WideLength(text), maxUnits);
    const std::size_t room = std::min(3 * units + 1, capacity);
    if (buffer.size() < room) buffer.resize(room);
    return Utf16ToUtf8(buffer.data(), room, text, maxUnits);
}

bool WriteText(const std::u16string& fileName, const TableEntrySource& source, std::int32_t count,
               TextLayout layout, TextEncoding encoding, bool* replaced) {
    if (fileName.empty() || !source || count <= 0) return false;
    if (encoding != TextEncoding::Unicode && encoding != TextEncoding::UTF8 &&
        encoding != TextEncoding::ANSI)
        return false;
    NewlineAsLineFeed = false;

    platform::AtomicFileWriter file;
    if (!file.Open(fileName)) return false;
    BufferedOutput out(file);

    const bool tabbed = layout == TextLayout::Tabbed;
    const bool quoted = !tabbed || QuoteValueTTF;
    const bool colorCodes = !ColorApiTXT && encoding != TextEncoding::ANSI;
    const std::u16string_view separator =
        tabbed ? (quoted ? std::u16string_view(u"\t\"") : std::u16string_view(u"\t"))
               : std::u16string_view(u",\t,\t\"");
    const std::u16string_view lineEnd = quoted ? std::u16string_view(u"\"\r\n") : std::u16string_view(u"\r\n");

    // The header is stored in the ANSI code page; it is widened and written
    // in the file's own encoding (ANSI files take its bytes as they are).
    std::u16string header;
    if (tabbed && encoding != TextEncoding::ANSI &&
        !platform::AnsiToWide(HeaderTTF.data(), HeaderTTF.size(), header))
        header.clear();

    std::vector<char16_t> scratch;  // a value in stored form, grown as needed
    std::u16string keyLine, valueLine;
    std::string narrow;
    bool anyReplaced = false;

    if (encoding == TextEncoding::Unicode) {
        out.Bytes("\xFF\xFE", 2);
        if (tabbed && AddHeader) {
            out.Units(header);
            out.Units(u"\r\n", 2);
        }
    } else {
        if (encoding == TextEncoding::UTF8) out.Bytes("\xEF\xBB\xBF", 3);
        if (tabbed) {
            if (encoding == TextEncoding::UTF8) {
                std::string bytes(header.size() * 3 + 1, '\0');
                bytes.resize(Utf16ToUtf8(bytes.data(), bytes.size(), header.c_str(), header.size()));
                out.Bytes(bytes.data(), bytes.size());
            } else {
                out.Bytes(HeaderTTF.data(), HeaderTTF.size());
            }
            out.Bytes("\r\n", 2);
        }
    }

    std::vector<char> encoded;
    for (std::int32_t i = 0; i < count && out.ok(); ++i) {
        const char16_t* rawKey = nullptr;
        const char16_t* rawValue = nullptr;
        source(i, rawKey, rawValue);
        const char16_t* key = SingleLine(rawKey, keyLine);
        const char16_t* value = SingleLine(rawValue, valueLine);
        std::size_t valueUnits;
        if (colorCodes) {
            // The stored form is never longer than the display form.
            const std::size_t limit = std::min(WideLength(value), DisplayBufferUnits - 1);
            if (scratch.size() < limit + 1) scratch.resize(limit + 1);
            valueUnits = MacrosToColorCodes(value, scratch.data(), limit);
            value = scratch.data();
        } else {
            valueUnits = WideLength(value);
        }

        if (encoding == TextEncoding::Unicode) {
            out.Units(key, WideLength(key));
            out.Units(separator);
            out.Units(value, valueUnits);
            out.Units(lineEnd);
            continue;
        }

        if (encoding == TextEncoding::UTF8) {
            const std::size_t bytes = EncodeUtf8(encoded, key, KeyBufferUnits, Utf8KeyBytes);
            out.Bytes(encoded.data(), bytes);
        } else {
            platform::WideToAnsi(key, WideLength(key), AnsiKeyBytes, narrow, anyReplaced);
            out.Bytes(narrow.data(), narrow.size());
        }
        for (char16_t c : separator) {
            const char b = static_cast<char>(c);
            out.Bytes(&b, 1);
        }
        if (encoding == TextEncoding::UTF8) {
            const std::size_t bytes =
                EncodeUtf8(encoded, value, std::min(valueUnits, DisplayBufferUnits), Utf8ValueBytes);
            out.Bytes(encoded.data(), bytes);
        } else {
            platform::WideToAnsi(value, std::min(valueUnits, DisplayBufferUnits), AnsiValueBytes,
                                 narrow, anyReplaced);
            out.Bytes(narrow.data(), narrow.size());
        }
        for (char16_t c : lineEnd) {
            const char b = static_cast<char>(c);
            out.Bytes(&b, 1);
        }
    }

    if (!out.Flush() || !file.Commit()) return false;
    if (replaced && anyReplaced) *replaced = true;
    return true;
}

}  // namespace

bool WriteTextTable(const std::u16string& fileName, const TableEntrySource& source,
                    std::int32_t count, TextLayout layout, TextEncoding encoding, bool* replaced) {
    // Running out of memory fails the write like a full disk: the temporary
    // file goes, the old file stays.
    try {
        return WriteText(fileName, source, count, layout, encoding, replaced);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace vm
