// Reading text tables: decoding (byte-order mark, explicit choice or
// detection), the header check and the one-pass line parser that cuts keys
// and values in place.

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "formats/ColorMacros.h"
#include "formats/FileReports.h"
#include "formats/FormatLimits.h"
#include "formats/TextDetail.h"
#include "formats/TextHelpers.h"
#include "formats/TextTable.h"
#include "platform/Platform.h"

namespace vm {

namespace {

// One top-level read and everything its include lines pull in.
//
// Include lines are confined to the folder of the first file: a name that
// is absolute, names a drive, or leads out of that folder (by ".." or
// through a link) fails the read, unless the limits let includes go anywhere. The work
// is bounded however the files include each other: the depth limit alone
// would let a file that includes itself k times be read k^8 times, so one
// read follows at most IncludeFileBudget include lines, takes at most
// IncludeEntryBudget entries from included files and at most
// IncludeBudgetFactor x the largest file's size in bytes. A spent budget skips every
// later include line (the first file's own lines are still read) and fails
// the read. An include that leads outside the folder, or an included file
// that stops decoding, ends the read at once as a failure. Either way the
// entries delivered until then stay delivered. What the read only skips
// (missing includes, includes beyond the nesting limit, cut values, a
// UTF-8 file read as ANSI) goes to the report as warnings.
struct ReadSession {
    std::u16string root;  // the first file's folder; empty: the current folder
    ReadLimits limits;
    std::vector<std::u16string> headers;  // the first lines taken for a header
    int depth = 0;
    std::uint64_t bytesLeft = 0;
    std::uint32_t filesLeft = IncludeFileBudget;
    std::uint64_t includedEntriesLeft = IncludeEntryBudget;
    std::size_t entries = 0;   // delivered so far, at every depth
    bool stopped = false;      // nothing more is read
    bool budgetSpent = false;  // no more included files or entries
    ReadFailure failure = ReadFailure::None;
    std::u16string failureName;
    ReadReport* report = nullptr;

    void Fail(ReadFailure why, const std::u16string& name) {
        if (failure != ReadFailure::None) return;
        failure = why;
        failureName = name;
    }
    void Stop(ReadFailure why, const std::u16string& name) {
        Fail(why, name);
        stopped = true;
    }
    void Spend(const std::u16string& name) {
        Fail(ReadFailure::IncludeBudget, name);
        budgetSpent = true;
    }
    // Whether the parse of the current file goes on: included files are
    // left at once when the budget is spent.
    bool Halted() const { return stopped || (budgetSpent && depth > 0); }
};

struct IncludeLevel {
    explicit IncludeLevel(ReadSession& s) : session(s) { ++session.depth; }
    ~IncludeLevel() { --session.depth; }
    ReadSession& session;
};

}  // namespace

bool detail::IsWellFormedUtf8(const std::uint8_t* p, std::size_t n) {
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

namespace {

using detail::IsWellFormedUtf8;

// True when the bytes hold at least one well-formed sequence of two or
// more bytes: text in a code page rarely does, UTF-8 text almost always.
bool HasUtf8Sequence(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const unsigned b = p[i];
        std::size_t need = b >= 0xC2 && b < 0xE0 ? 1 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : 0;
        if (need == 0 || n - i - 1 < need) continue;
        if (IsWellFormedUtf8(p + i, need + 1)) return true;
    }
    return false;
}

struct DecodedText {
    std::u16string text;
    TextEncoding used = TextEncoding::Unicode;
    EncodingReason reason = EncodingReason::Chosen;
    bool complete = true;         // false when UTF-8 decoding stopped early
    bool utf8ReadAsAnsi = false;  // UTF-8 sequences in a file that is not UTF-8
};

void DecodeUtf16(const std::uint8_t* bytes, std::size_t count, std::u16string& text) {
    text.resize(count / 2);  // an odd last byte is ignored
    if (!text.empty()) std::memcpy(text.data(), bytes, text.size() * 2);
}

void DecodeUtf8(const std::uint8_t* bytes, std::size_t count, DecodedText& out) {
    out.text.resize(count + 1);
    std::size_t read = 0;
    const std::size_t units =
        Utf8ToUtf16(out.text.data(), out.text.size() * 2, reinterpret_cast<const char*>(bytes), 2 * count, &read);
    out.text.resize(units);
    out.complete = read == count;
    out.used = TextEncoding::UTF8;
}

// ANSI when the code page gives at least as many units as the file has
// bytes (so no zero byte and no double-byte characters), and also when the
// file holds no zero byte at all and the code page decodes all of it: text
// in a double-byte code page gives fewer units than bytes, while UTF-16LE
// text always has zero bytes (its tabs, commas and line breaks). Otherwise
// the text is taken as UTF-16LE without a mark.
void DecodeAnsiOrUtf16(const std::uint8_t* bytes, std::size_t count, DecodedText& out) {
    const void* zero = std::memchr(bytes, 0, count);
    const std::size_t upToZero =
        zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes) : count;
    if (platform::AnsiToWide(reinterpret_cast<const char*>(bytes), upToZero, out.text) &&
        (out.text.size() >= count || !zero)) {
        out.used = TextEncoding::ANSI;
        if (out.reason != EncodingReason::Chosen)
            out.reason = out.text.size() >= count ? EncodingReason::AnsiSingleByte : EncodingReason::AnsiMultiByte;
        return;
    }
    DecodeUtf16(bytes, count, out.text);
    out.used = TextEncoding::Unicode;
    out.reason = EncodingReason::ZeroBytes;
}

DecodedText Decode(const std::uint8_t* bytes, std::size_t size, TextEncoding choice) {
    DecodedText out;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        DecodeUtf16(bytes + 2, size - 2, out.text);
        out.used = TextEncoding::Unicode;
        out.reason = EncodingReason::ByteOrderMark;
    } else if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        DecodeUtf8(bytes + 3, size - 3, out);
        out.reason = EncodingReason::ByteOrderMark;
    } else if (choice == TextEncoding::Unicode) {
        DecodeUtf16(bytes, size, out.text);
        out.used = TextEncoding::Unicode;
    } else if (choice == TextEncoding::UTF8) {
        DecodeUtf8(bytes, size, out);
    } else if (choice == TextEncoding::Autodetect && IsWellFormedUtf8(bytes, size)) {
        DecodeUtf8(bytes, size, out);
        out.reason = EncodingReason::WellFormedUtf8;
    } else {
        if (choice == TextEncoding::Autodetect) {
            out.reason = EncodingReason::ZeroBytes;  // settled below
            out.utf8ReadAsAnsi = HasUtf8Sequence(bytes, size);
        }
        DecodeAnsiOrUtf16(bytes, size, out);
        if (out.used != TextEncoding::ANSI) out.utf8ReadAsAnsi = false;
    }
    return out;
}

}  // namespace

std::vector<std::u16string> detail::HeaderItems(const std::string& skippedHeaders) {
    std::vector<std::u16string> items;
    std::u16string headers;
    if (!platform::AnsiToWide(skippedHeaders.data(), skippedHeaders.size(), headers)) return items;
    std::size_t start = 0;
    while (start <= headers.size()) {
        std::size_t end = headers.find(u',', start);
        if (end == std::u16string::npos) end = headers.size();
        if (end == start) break;
        items.push_back(headers.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

bool detail::StartsWithHeader(const char16_t* text, const std::vector<std::u16string>& headers) {
    for (const std::u16string& item : headers)
        if (BoundedCompare(text, item.c_str(), item.size()) == 0) return true;
    return false;
}

namespace {

using detail::StartsWithHeader;

bool IsSpacesOnly(const char16_t* key) {
    for (; *key; ++key)
        if (*key != u' ') return false;
    return true;
}

bool ReadImage(const std::uint8_t* bytes, std::uint64_t size, const std::u16string& relativeDir,
               const TableEntrySink& sink, TextEncoding encoding, ReadSession& session);

struct ParseContext {
    const std::u16string& relativeDir;  // this file's folder, from the session's root
    const TableEntrySink& sink;
    TextEncoding encoding;
    char16_t* display;
    ReadSession& session;
};

void Missing(ReadSession& session, const std::u16string& name) {
    if (!session.report) return;
    if (session.report->missingIncludes++ == 0) session.report->firstMissingInclude = name;
}

void ReadInclude(const ParseContext& ctx, const char16_t* value) {
    ReadSession& session = ctx.session;
    std::u16string name(value);
    // A "#" line without a name in quotes is no include: nothing to read.
    if (name.empty() || session.stopped || session.budgetSpent) return;
    if (session.depth >= MaxIncludeDepth) {
        if (session.report && session.report->deepIncludes++ == 0) session.report->firstDeepInclude = name;
        return;
    }
    if (session.filesLeft == 0) return session.Spend(name);
    --session.filesLeft;

    // Names are taken from the including file's folder, never from the
    // current directory.
    const std::u16string relative = platform::JoinPath(ctx.relativeDir, name);
    std::u16string path;
    if (session.limits.includesAnywhere) {
        path = platform::NamesRootOrDrive(name) ? name : platform::JoinPath(session.root, relative);
    } else {
        switch (platform::PlaceInFolder(session.root, relative)) {
        case platform::PlaceOfName::Outside: return session.Stop(ReadFailure::IncludeOutside, name);
        case platform::PlaceOfName::Missing: return Missing(session, name);
        case platform::PlaceOfName::Inside: break;
        }
        path = platform::JoinPath(session.root, relative);
    }

    platform::FileImage file;
    const std::uint64_t limit = std::min(session.limits.maxFileSize, session.bytesLeft);
    const platform::ReadStatus status = platform::ReadWholeFile(path, limit, 4, file);
    if (status == platform::ReadStatus::TooLarge && limit < session.limits.maxFileSize) return session.Spend(name);
    if (status != platform::ReadStatus::Ok) return Missing(session, name);
    session.bytesLeft -= file.size;

    IncludeLevel level(session);
    const std::u16string nestedDir = platform::DirectoryOf(relative);
    if (!ReadImage(file.data.get(), file.size, nestedDir, ctx.sink, ctx.encoding, session) && !session.Halted() &&
        file.size != 0)
        session.Stop(ReadFailure::Corrupt, name);  // the file stops decoding part-way
}

void Deliver(const ParseContext& ctx, const char16_t* key, const char16_t* value) {
    ReadSession& session = ctx.session;
    if (session.depth > 0) {
        if (session.includedEntriesLeft == 0) return session.Spend(u"");
        --session.includedEntriesLeft;
    }
    std::size_t units = 0;
    while (units <= KeyBufferUnits && value[units] != 0) ++units;
    if (units > KeyBufferUnits) {
        units = KeyBufferUnits;
        if (session.report && session.report->cutStrings++ == 0) session.report->firstCutEntry = session.entries;
    }
    ColorCodesToMacrosCounted(value, units, ctx.display);
    ++session.entries;
    ctx.sink(key, ctx.display);
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
        case u'\r': text[p] = 0; break;
        case u'\n': {
            text[p] = 0;
            const char16_t* key = text + lineStart;
            const char16_t* value = valueStart ? valueStart : empty;
            if (*key == u'#') {
                ReadInclude(ctx, value);
            } else if (*key != 0 && !IsSpacesOnly(key)) {
                Deliver(ctx, key, value);
            }
            if (ctx.session.Halted()) return;
            lineStart = p + 1;
            valueStart = nullptr;
            separated = false;
            commas = 0;
            quote = 0;
            keyEnded = false;
            lastSlash = static_cast<std::size_t>(-1);
            break;
        }
        default: break;
        }
    }
}

bool ReadImage(const std::uint8_t* bytes, std::uint64_t size, const std::u16string& relativeDir,
               const TableEntrySink& sink, TextEncoding encoding, ReadSession& session) {
    if (!bytes || !sink || size == 0 || size > session.limits.maxFileSize) return false;
    DecodedText decoded = Decode(bytes, static_cast<std::size_t>(size), encoding);
    if (session.report) {
        if (session.depth == 0) {
            session.report->encoding = decoded.used;
            session.report->encodingReason = decoded.reason;
        }
        if (decoded.utf8ReadAsAnsi) session.report->utf8ReadAsAnsi = true;
    }
    std::u16string& text = decoded.text;
    if (!decoded.complete) {
        // Only whole lines before the undecodable sequence are read.
        const std::size_t lastBreak = text.rfind(u'\n');
        text.resize(lastBreak == std::u16string::npos ? 0 : lastBreak + 1);
    }
    text.push_back(u'\n');  // the last line needs no line break of its own

    // A value is at most the text and at most KeyBufferUnits units long;
    // its display form at most 8/3 of that (plus one final "\color;").
    const std::size_t displayUnits = std::min(DisplayBufferUnits, 3 * std::min(KeyBufferUnits, text.size()) + 8);
    auto display = std::make_unique_for_overwrite<char16_t[]>(displayUnits);
    const ParseContext ctx{relativeDir, sink, encoding, display.get(), session};
    const bool header = StartsWithHeader(text.c_str(), session.headers);
    Parse(text.data(), text.size(), header, ctx);
    return decoded.complete && session.failure == ReadFailure::None;
}

bool ReadTopLevel(const std::uint8_t* bytes, std::uint64_t size, const std::u16string& baseDir,
                  const TableEntrySink& sink, const TextOptions& options, const ReadLimits& limits,
                  ReadReport* report) {
    ReadSession session;
    session.root = baseDir;
    session.limits = limits;
    session.headers = detail::HeaderItems(options.skippedHeaders);
    const std::uint64_t maxFileSize = limits.maxFileSize;
    session.bytesLeft = maxFileSize > UINT64_MAX / IncludeBudgetFactor ? UINT64_MAX : maxFileSize * IncludeBudgetFactor;
    session.report = report;
    if (report) *report = ReadReport{};
    bool ok = false;
    // Running out of memory, in the reader or in the sink, ends the read
    // like any other failure; the entries delivered so far stay delivered.
    try {
        ok = ReadImage(bytes, size, u"", sink, options.readEncoding, session);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (report && !ok) {
        report->failure = session.failure != ReadFailure::None ? session.failure
                          : size > maxFileSize                 ? ReadFailure::TooLarge
                          : (!bytes || size == 0)              ? ReadFailure::Unreadable
                                                               : ReadFailure::Corrupt;
        report->failureName = session.failureName;
    }
    return ok;
}

}  // namespace

TextEncoding DetectTextEncoding(const std::uint8_t* bytes, std::uint64_t size, TextEncoding choice,
                                EncodingReason* reason) {
    // Decoding relies on a zero byte after the text; the caller's bytes
    // need not have one.
    std::vector<std::uint8_t> padded(bytes, bytes + size);
    padded.push_back(0);
    const DecodedText decoded = Decode(padded.data(), static_cast<std::size_t>(size), choice);
    if (reason) *reason = decoded.reason;
    return decoded.used;
}

bool ReadTextImage(const std::uint8_t* bytes, std::uint64_t size, const std::u16string& baseDir,
                   const TableEntrySink& sink, const TextOptions& options, const ReadLimits& limits,
                   ReadReport* report) {
    return ReadTopLevel(bytes, size, baseDir, sink, options, limits, report);
}

bool ReadTextTable(const std::u16string& fileName, const TableEntrySink& sink, const TextOptions& options,
                   const ReadLimits& limits, ReadReport* report) {
    if (report) *report = ReadReport{};
    if (fileName.empty() || !sink) {
        if (report) report->failure = ReadFailure::Unreadable;
        return false;
    }
    platform::FileImage file;
    if (const platform::ReadStatus status = platform::ReadWholeFile(fileName, limits.maxFileSize, 4, file);
        status != platform::ReadStatus::Ok) {
        if (report)
            report->failure =
                status == platform::ReadStatus::TooLarge ? ReadFailure::TooLarge : ReadFailure::Unreadable;
        return false;
    }
    return ReadTopLevel(file.data.get(), file.size, platform::DirectoryOf(fileName), sink, options, limits, report);
}

}  // namespace vm

namespace vm {

namespace {

// Unit i of the bytes in their encoding, looked at only for the marks of
// a line's shape (tabs, commas, quotes, line ends, colour codes): a UTF-8
// or ANSI byte stands for itself.
char16_t UnitAt(const std::uint8_t* bytes, std::uint64_t i, bool wide) {
    return wide ? static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)) : static_cast<char16_t>(bytes[i]);
}

}  // namespace

TextOptions TextShapeOfImage(const std::uint8_t* bytes, std::uint64_t size, TextEncoding encoding,
                             const TextOptions& options) {
    TextOptions shape = options;
    shape.writeEncoding = encoding;
    if (!bytes) return shape;
    const bool wide = encoding == TextEncoding::Unicode;
    const std::uint64_t units = wide ? size / 2 : size;
    std::uint64_t at = 0;
    if (wide && units > 0 && UnitAt(bytes, 0, wide) == 0xFEFF) at = 1;
    if (encoding == TextEncoding::UTF8 && size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) at = 3;
    // UTF-8 is written with its mark; a file of ASCII alone without one is
    // what the ANSI writer writes.
    if (encoding == TextEncoding::UTF8 && at == 0 &&
        std::all_of(bytes, bytes + size, [](std::uint8_t b) { return b < 0x80; }))
        shape.writeEncoding = TextEncoding::ANSI;

    // A colour code as stored: U+00FF and "c" (in UTF-8 the bytes C3 BF).
    if (encoding != TextEncoding::ANSI) {
        const std::u16string_view mark = wide ? std::u16string_view(u"\u00FFc") : std::u16string_view(u"\u00C3\u00BFc");
        for (std::uint64_t i = at; i + mark.size() <= units; ++i) {
            std::size_t n = 0;
            while (n < mark.size() && UnitAt(bytes, i + n, wide) == mark[n]) ++n;
            if (n == mark.size()) {
                shape.colorMacros = false;
                break;
            }
        }
    }

    // The first two lines: a header, or the first entry.
    std::u16string lines[2];
    for (std::u16string& line : lines) {
        while (at < units) {
            const char16_t u = UnitAt(bytes, at++, wide);
            if (u == u'\n') break;
            if (u != u'\r') line.push_back(u);
        }
    }
    const bool header = detail::StartsWithHeader(lines[0].c_str(), detail::HeaderItems(options.skippedHeaders));
    shape.header = header;
    const std::u16string& entry = header ? lines[1] : lines[0];
    if (entry.empty()) return shape;
    if (entry.find(u",\t,\t\"") != std::u16string::npos) {
        shape.layout = TextLayout::DiabloII;
        return shape;
    }
    shape.layout = TextLayout::Tabbed;
    const std::size_t tab = entry.find(u'\t');
    if (tab != std::u16string::npos)
        shape.quoteValues = tab + 1 < entry.size() && entry[tab + 1] == u'"' && entry.back() == u'"';
    return shape;
}

}  // namespace vm
