// Reading text tables: decoding (byte-order mark, explicit choice or
// detection), the header check and the one-pass line parser that cuts keys
// and values in place.

#include <algorithm>
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

int IncludeDepth = 0;

struct IncludeLevel {
    IncludeLevel() { ++IncludeDepth; }
    ~IncludeLevel() { --IncludeDepth; }
};

// The include budget of the current top-level read. The depth limit alone
// does not bound the work: a file that includes itself k times would be
// read k^8 times. So every top-level read may pull in through its include
// lines, at every depth together, at most IncludeBudgetFactor x MaxFileSize
// bytes, and the work of one read stays proportional to that. An included
// file is read only when it fits both MaxFileSize and what is left of the
// budget. When the budget is the limit it does not fit (or is used up),
// that include and every later one are skipped and the top-level read
// reports failure; the entries delivered until then stay delivered. A file
// that is only too large for MaxFileSize contributes nothing, like a
// missing one.
std::uint64_t IncludeBytesLeft = 0;
bool IncludeBudgetSpent = false;

// True when every lead byte is followed by exactly the continuation bytes
// it needs. Three-byte encoded surrogates (what our writers produce for
// characters beyond U+FFFF) count as well-formed, and so do proper
// four-byte sequences. A zero byte never occurs in UTF-8 text.
bool IsWellFormedUtf8(const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        const unsigned b = p[i];
        if (b != 0 && b < 0x80) {
            ++i;
            continue;
        }
        std::size_t need;
        unsigned low = 0x80, high = 0xBF;  // range of the second byte
        if (b >= 0xC0 && b < 0xE0) {
            need = 1;
        } else if (b >= 0xE0 && b < 0xF0) {
            need = 2;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (n - i - 1 < need) return false;
        if (p[i + 1] < low || p[i + 1] > high) return false;
        for (std::size_t j = 2; j <= need; ++j)
            if ((p[i + j] & 0xC0u) != 0x80u) return false;
        i += need + 1;
    }
    return true;
}

struct DecodedText {
    std::u16string text;
    TextEncoding used = TextEncoding::Unicode;
    bool complete = true;  // false when UTF-8 decoding stopped early
};

void DecodeUtf16(const std::uint8_t* bytes, std::size_t count, std::u16string& text) {
    text.resize(count / 2);  // an odd last byte is ignored
    if (!text.empty()) std::memcpy(text.data(), bytes, text.size() * 2);
}

void DecodeUtf8(const std::uint8_t* bytes, std::size_t count, DecodedText& out) {
    out.text.resize(count + 1);
    std::size_t read = 0;
    const std::size_t units = Utf8ToUtf16(out.text.data(), out.text.size() * 2,
                                          reinterpret_cast<const char*>(bytes), 2 * count, &read);
    out.text.resize(units);
    out.complete = read == count;
    out.used = TextEncoding::UTF8;
}

// ANSI when the code page gives at least as many units as the file has
// bytes (so no zero byte and no double-byte characters); otherwise the
// text is taken as UTF-16LE without a mark.
void DecodeAnsiOrUtf16(const std::uint8_t* bytes, std::size_t count, DecodedText& out) {
    const void* zero = std::memchr(bytes, 0, count);
    const std::size_t upToZero =
        zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes) : count;
    if (platform::AnsiToWide(reinterpret_cast<const char*>(bytes), upToZero, out.text) &&
        out.text.size() >= count) {
        out.used = TextEncoding::ANSI;
        return;
    }
    DecodeUtf16(bytes, count, out.text);
    out.used = TextEncoding::Unicode;
}

DecodedText Decode(const std::uint8_t* bytes, std::size_t size, TextEncoding choice) {
    DecodedText out;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        DecodeUtf16(bytes + 2, size - 2, out.text);
        out.used = TextEncoding::Unicode;
    } else if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        DecodeUtf8(bytes + 3, size - 3, out);
    } else if (choice == TextEncoding::Unicode) {
        DecodeUtf16(bytes, size, out.text);
        out.used = TextEncoding::Unicode;
    } else if (choice == TextEncoding::UTF8) {
        DecodeUtf8(bytes, size, out);
    } else if (choice == TextEncoding::Autodetect && IsWellFormedUtf8(bytes, size)) {
        DecodeUtf8(bytes, size, out);
    } else {
        DecodeAnsiOrUtf16(bytes, size, out);
    }
    return out;
}

// The first line is a header when the text starts with one of the
// comma-separated items of HeadersTTF; the search ends at an empty item.
bool StartsWithHeader(const char16_t* text) {
    std::u16string headers;
    if (!platform::AnsiToWide(HeadersTTF.data(), HeadersTTF.size(), headers)) return false;
    std::size_t start = 0;
    while (start <= headers.size()) {
        std::size_t end = headers.find(u',', start);
        if (end == std::u16string::npos) end = headers.size();
        if (end == start) return false;
        const std::u16string item = headers.substr(start, end - start);
        if (BoundedCompare(text, item.c_str(), item.size()) == 0) return true;
        start = end + 1;
    }
    return false;
}

bool IsSpacesOnly(const char16_t* key) {
    for (; *key; ++key)
        if (*key != u' ') return false;
    return true;
}

bool ReadImage(const std::uint8_t* bytes, std::uint64_t size, const std::u16string& baseDir,
               const TableEntrySink& sink, TextEncoding encoding, TextLayout layout);

struct ParseContext {
    const std::u16string& baseDir;
    const TableEntrySink& sink;
    TextEncoding encoding;
    TextLayout layout;
    char16_t* display;
};

void ReadInclude(const ParseContext& ctx, const char16_t* value) {
    if (IncludeDepth >= MaxIncludeDepth || IncludeBudgetSpent) return;
    std::u16string name(value);
    if (name.empty()) return;
    // A relative name is looked for beside the including file first, then
    // in the current directory.
    if (!platform::IsAbsolutePath(name) && !ctx.baseDir.empty()) {
        std::u16string beside = platform::JoinPath(ctx.baseDir, name);
        if (platform::FileExists(beside)) name = std::move(beside);
    }
    platform::FileImage file;
    const std::uint64_t limit = std::min(MaxFileSize, IncludeBytesLeft);
    const platform::ReadStatus status = platform::ReadWholeFile(name, limit, 4, file);
    if (status == platform::ReadStatus::TooLarge && limit < MaxFileSize) IncludeBudgetSpent = true;
    if (status != platform::ReadStatus::Ok) return;
    IncludeBytesLeft -= file.size;

    IncludeLevel level;
    ReadImage(file.data.get(), file.size, platform::DirectoryOf(name), ctx.sink, ctx.encoding,
              ctx.layout);  // result ignored
}

// One pass over text (which ends in LF and a terminator), cutting
// separators, closing quotes, CR and LF to zero units in place.
void Parse(char16_t* text, std::size_t length, bool headerLine, const ParseContext& ctx) {
    static const char16_t empty[1] = {0};
    std::size_t lineStart = 0;
    const char16_t* valueStart = nullptr;
    bool separated = false;
    int commas = 0;
    int quote = 0;
    bool keyEnded = false;
    std::size_t lastSlash = static_cast<std::size_t>(-1);

    if (headerLine) {
        text[0] = 0;
        separated = true;
        commas = 1;
    }

    for (std::size_t p = 0; p < length; ++p) {
        switch (text[p]) {
        case u'\t':
            if (commas == 0 && !separated) {
                text[p] = 0;
                valueStart = text + p + 1;
                keyEnded = true;
                separated = true;
                quote = 1;
            }
            break;
        case u',':
            if (!separated) {
                ++commas;
                if (commas == 1) {
                    text[p] = 0;
                    keyEnded = true;
                } else if (commas == 2) {
                    quote = 1;
                }
            }
            break;
        case u'"':
            if (quote == 1) {
                quote = 2;
                valueStart = text + p + 1;
            } else if (quote == 2) {
                text[p] = 0;
            }
            break;
        case u'#':
            if (p == lineStart) {
                separated = true;
                commas = 1;
                quote = 1;
            }
            break;
        case u'/':
            if (!keyEnded && p > 0 && lastSlash == p - 1) {
                text[lastSlash] = 0;
                separated = true;
                commas = 1;
                quote = 0;
            } else {
                lastSlash = p;
            }
            break;
        case u'\r':
            text[p] = 0;
            break;
        case u'\n': {
            text[p] = 0;
            const char16_t* key = text + lineStart;
            const char16_t* value = valueStart ? valueStart : empty;
            if (*key == u'#') {
                ReadInclude(ctx, value);
            } else if (*key != 0 && !IsSpacesOnly(key)) {
                ColorCodesToMacros(value, ctx.display, KeyBufferUnits);
                ctx.sink(key, ctx.display);
            }
            lineStart = p + 1;
            valueStart = nullptr;
            separated = false;
            commas = 0;
            quote = 0;
            keyEnded = false;
            lastSlash = static_cast<std::size_t>(-1);
            break;
        }
        default:
            break;
        }
    }
}

bool ReadImage(const std::uint8_t* bytes, std::uint64_t size, const std::u16string& baseDir,
               const TableEntrySink& sink, TextEncoding encoding, TextLayout layout) {
    if (!bytes || !sink || size == 0 || size > MaxFileSize) return false;
    const bool topLevel = IncludeDepth == 0;
    if (topLevel) {
        IncludeBytesLeft = MaxFileSize > UINT64_MAX / IncludeBudgetFactor ? UINT64_MAX
                                                                           : MaxFileSize * IncludeBudgetFactor;
        IncludeBudgetSpent = false;
    }
    DecodedText decoded = Decode(bytes, static_cast<std::size_t>(size), encoding);
    std::u16string& text = decoded.text;
    if (!decoded.complete) {
        // Only whole lines before the undecodable sequence are read.
        const std::size_t lastBreak = text.rfind(u'\n');
        text.resize(lastBreak == std::u16string::npos ? 0 : lastBreak + 1);
    }
    text.push_back(u'\n');  // the last line needs no line break of its own

    // A value is at most the text and at most KeyBufferUnits units long;
    // its display form at most 8/3 of that (plus one final "\color;").
    const std::size_t displayUnits =
        std::min(DisplayBufferUnits, 3 * std::min(KeyBufferUnits, text.size()) + 8);
    auto display = std::make_unique_for_overwrite<char16_t[]>(displayUnits);
    const ParseContext ctx{baseDir, sink, encoding, layout, display.get()};
    const bool header = StartsWithHeader(text.c_str());
    Parse(text.data(), text.size(), header, ctx);
    return decoded.complete && !(topLevel && IncludeBudgetSpent);
}

}  // namespace

TextEncoding DetectTextEncoding(const std::uint8_t* bytes, std::uint64_t size, TextEncoding choice) {
    // Decoding relies on a zero byte after the text; the caller's bytes
    // need not have one.
    std::vector<std::uint8_t> padded(bytes, bytes + size);
    padded.push_back(0);
    return Decode(padded.data(), static_cast<std::size_t>(size), choice).used;
}

bool ReadTextImage(const std::uint8_t* bytes, std::uint64_t size, const std::u16string& baseDir,
                   const TableEntrySink& sink, TextEncoding encoding, TextLayout layout) {
    // Running out of memory, in the reader or in the sink, ends the read
    // like any other failure; the entries delivered so far stay delivered.
    try {
        return ReadImage(bytes, size, baseDir, sink, encoding, layout);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ReadTextTable(const std::u16string& fileName, const TableEntrySink& sink,
                   TextEncoding encoding, TextLayout layout) {
    if (fileName.empty() || !sink) return false;
    platform::FileImage file;
    if (platform::ReadWholeFile(fileName, MaxFileSize, 4, file) != platform::ReadStatus::Ok)
        return false;
    return ReadTextImage(file.data.get(), file.size, platform::DirectoryOf(fileName), sink,
                         encoding, layout);
}

}  // namespace vm
