// Reading string files: rapidjson's event reader walks the file, and the
// handler below records where every object and field lies, checks the
// shape (an array of objects, each with an integer "id", a string "Key" and
// string languages, no field twice) and decodes one language column.

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

// The reader scans strings and blanks 16 bytes at a time where the target
// has SSE2 (every x86-64).
#if defined(__SSE2__) && !defined(RAPIDJSON_SSE2)
#define RAPIDJSON_SSE2
#endif
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include "formats/ColorMacros.h"
#include "formats/JsonStrings.h"
#include "formats/TextHelpers.h"
#include "platform/Platform.h"

namespace vm {

const char* const JsonLanguageCodes[JsonLanguageCount] = {"enUS", "zhTW", "deDE", "esES", "frFR", "itIT", "koKR",
                                                          "plPL", "esMX", "jaJP", "ptBR", "ruRU", "zhCN"};

int JsonLanguageIndex(std::string_view code) {
    for (int i = 0; i < JsonLanguageCount; ++i)
        if (code == JsonLanguageCodes[i]) return i;
    return -1;
}

int JsonLanguageIndex(std::u16string_view code) {
    if (code.size() != 4) return -1;
    std::string narrow;
    for (char16_t c : code) {
        if (c >= 0x80) return -1;
        narrow.push_back(static_cast<char>(c));
    }
    return JsonLanguageIndex(std::string_view(narrow));
}

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

// Bytes no JSON text holds raw: control characters other than tab, line
// feed and carriage return (which only blanks may be). The parser's fast
// string scan lets 1A..1F through, so they are checked here.
inline bool IsBadControl(unsigned c) { return c < 0x20 && c != '\t' && c != '\n' && c != '\r'; }

// The first of the n bytes at s that is not proper UTF-8 (an overlong form,
// a surrogate, beyond U+10FFFF, or cut short) or is a bad control byte, or
// npos. The parser copies strings unchecked, which is much faster; this
// checks them all at once.
std::size_t FirstBadByte(const unsigned char* s, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        // Printable ASCII, most of a file, in a loop of its own.
        while (i < n && s[i] >= 0x20 && s[i] < 0x80) ++i;
        if (i == n) break;
        const unsigned c = s[i];
        if (c < 0x80) {
            if (IsBadControl(c)) return i;
            ++i;
            continue;
        }
        // The length of the sequence c starts and the range of its second
        // byte, which is narrower after E0, ED, F0 and F4.
        std::size_t length = 4;
        unsigned low = 0x80, high = 0xBF;
        if (c < 0xC2 || c > 0xF4) return i;  // a continuation byte, an overlong form or beyond U+10FFFF
        if (c < 0xE0) {
            length = 2;
        } else if (c < 0xF0) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else {
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        }
        if (n - i < length || s[i + 1] < low || s[i + 1] > high) return i;
        for (std::size_t k = 2; k < length; ++k)
            if ((s[i + k] & 0xC0) != 0x80) return i;
        i += length;
    }
    return std::string_view::npos;
}

// Proper UTF-8 (already checked by the parser) to UTF-16: a character
// beyond U+FFFF becomes a surrogate pair; an escaped lone surrogate, which
// the parser encodes in three bytes, comes back as itself. dest holds at
// least count units.
std::size_t DecodeUtf8(const char* src, std::size_t count, char16_t* dest) {
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    std::size_t i = 0, n = 0;
    while (i < count) {
        const unsigned b = s[i];
        if (b < 0x80) {
            dest[n++] = static_cast<char16_t>(b);
            ++i;
            continue;
        }
        const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (length == 1 || i + length > count) {  // not from the parser; kept safe all the same
            dest[n++] = u'\uFFFD';
            ++i;
            continue;
        }
        std::uint32_t c = b & (0x7Fu >> length);
        for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (s[i + k] & 0x3Fu);
        i += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            dest[n++] = static_cast<char16_t>(0xD800 + (c >> 10));
            dest[n++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            dest[n++] = static_cast<char16_t>(c);
        }
    }
    return n;
}

struct Place {
    std::uint64_t line = 1;
    std::uint64_t column = 1;
};

// Line and column (in characters) of a byte offset; a byte-order mark takes
// no column.
Place PlaceOf(std::string_view bytes, std::size_t offset) {
    offset = std::min(offset, bytes.size());
    Place place;
    std::size_t lineStart = bytes.starts_with(ByteOrderMark) ? ByteOrderMark.size() : 0;
    for (std::size_t i = lineStart; i < offset; ++i) {
        if (bytes[i] == '\n') {
            ++place.line;
            lineStart = i + 1;
        }
    }
    for (std::size_t i = lineStart; i < offset; ++i)
        if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80) ++place.column;
    return place;
}

const char* KindName(std::uint8_t kind) {
    if (kind < JsonLanguageCount) return JsonLanguageCodes[kind];
    return kind == JsonFieldId ? "id" : "Key";
}

class Handler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Handler> {
public:
    // The parser reads a copy of the file that starts at work (and decodes
    // strings into it in place), from the offset start on.
    Handler(JsonDocument& doc, const char* work, rapidjson::InsituStringStream& stream, std::uint32_t start,
            int language)
        : doc_(doc), work_(work), stream_(stream), start_(start), language_(language) {}

    JsonProblem problem = JsonProblem::None;
    std::size_t problemOffset = 0;
    std::string problemDetail;

    bool StartArray() {
        if (depth_ == 0) {
            doc_.arrayOpen = Here();
            depth_ = 1;
            return true;
        }
        return Nested(Here());
    }

    bool EndArray(rapidjson::SizeType) {
        if (depth_ == 1) {
            doc_.arrayClose = Here();
            depth_ = 0;
            return true;
        }
        return EndNested();
    }

    bool StartObject() {
        if (depth_ == 1) {
            JsonObject object;
            object.span.begin = Here();
            object.firstField = static_cast<std::uint32_t>(doc_.fields.size());
            std::fill(std::begin(object.known), std::end(object.known), JsonNoField);
            doc_.objects.push_back(object);
            otherNames_.clear();
            keyText_ = valueText_ = NoText;
            depth_ = 2;
            return true;
        }
        return Nested(Here());
    }

    bool EndObject(rapidjson::SizeType) {
        if (depth_ != 2) return EndNested();
        JsonObject& object = doc_.objects.back();
        object.span.end = Here() + 1;
        object.fieldCount = static_cast<std::uint32_t>(doc_.fields.size()) - object.firstField;
        if (object.known[JsonFieldId] == JsonNoField) return Fail(JsonProblem::MissingId, object.span.begin);
        if (object.known[JsonFieldKey] == JsonNoField) return Fail(JsonProblem::MissingKey, object.span.begin);
        if (language_ >= 0) {
            // A missing language field reads as an empty value.
            if (valueText_ == NoText) {
                valueText_ = static_cast<std::uint32_t>(doc_.column.text.size());
                doc_.column.text.push_back(0);
            }
            doc_.column.items.push_back({keyText_, valueText_});
        }
        depth_ = 1;
        return true;
    }

    bool Key(const char* text, rapidjson::SizeType length, bool) {
        if (depth_ > 2) return true;  // inside a nested value of some other field
        JsonField field;
        field.name = StringSpan(text);
        const std::string_view name(text, length);
        const int language = JsonLanguageIndex(name);
        field.kind = language >= 0   ? static_cast<std::uint8_t>(language)
                     : name == "id"  ? JsonFieldId
                     : name == "Key" ? JsonFieldKey
                                     : JsonFieldOther;
        JsonObject& object = doc_.objects.back();
        if (field.kind == JsonFieldOther) {
            if (std::find(otherNames_.begin(), otherNames_.end(), name) != otherNames_.end())
                return Fail(JsonProblem::DuplicateField, field.name.begin, std::string(name));
            otherNames_.emplace_back(name);
        } else {
            if (object.known[field.kind] != JsonNoField)
                return Fail(JsonProblem::DuplicateField, field.name.begin, std::string(name));
            object.known[field.kind] = static_cast<std::uint32_t>(doc_.fields.size());
        }
        doc_.fields.push_back(field);
        return true;
    }

    bool String(const char* text, rapidjson::SizeType length, bool) {
        const JsonSpan span = StringSpan(text);
        if (depth_ != 2) return Element(span.begin);
        const std::uint32_t begin = span.begin;
        JsonField& field = doc_.fields.back();
        field.value = span;
        if (field.kind == JsonFieldId) return Fail(JsonProblem::IdNotInteger, begin);
        if (language_ >= 0) {
            if (field.kind == JsonFieldKey) keyText_ = AppendText(text, length, false);
            else if (field.kind == language_) valueText_ = AppendText(text, length, true);
        }
        return true;
    }

    bool Int(int v) { return Number(true, v); }
    bool Uint(unsigned v) { return Number(true, v); }
    bool Int64(std::int64_t v) { return Number(true, v); }
    bool Uint64(std::uint64_t v) {
        return Number(v <= static_cast<std::uint64_t>(INT64_MAX), static_cast<std::int64_t>(v));
    }
    bool Double(double) { return Number(false, 0); }
    bool Null() { return Scalar(4); }
    bool Bool(bool b) { return Scalar(b ? 4 : 5); }

private:
    static constexpr std::uint32_t NoText = 0xFFFFFFFFu;

    std::uint32_t Here() const { return start_ + static_cast<std::uint32_t>(stream_.Tell()); }

    // The span of a string from its decoded text, which lies where the
    // string's text began, just after its quote: up to the first quote
    // after it that no backslash escapes.
    JsonSpan StringSpan(const char* text) const {
        const std::string& b = doc_.bytes;
        const auto begin = static_cast<std::uint32_t>(text - work_) - 1;
        std::size_t q = begin;
        for (;;) {
            q = b.find('"', q + 1);
            if (q == std::string::npos) return {begin, static_cast<std::uint32_t>(b.size())};  // not after a parse
            std::size_t slashes = 0;
            while (b[q - 1 - slashes] == '\\') ++slashes;
            if (slashes % 2 == 0) return {begin, static_cast<std::uint32_t>(q + 1)};
        }
    }

    bool Fail(JsonProblem p, std::size_t offset, std::string detail = {}) {
        problem = p;
        problemOffset = offset;
        problemDetail = std::move(detail);
        return false;
    }

    // A value that is not an object where the array's elements stand, or
    // the top level that is not an array.
    bool Element(std::uint32_t at) {
        if (depth_ == 0) return Fail(JsonProblem::NotArray, at);
        if (depth_ == 1) return Fail(JsonProblem::NotObject, at);
        return true;  // inside a nested value of some other field
    }

    // The span of a number. The parser reads numbers (and strings) with a
    // copy of its stream and tells where it stands only afterwards, so the
    // stream stands at the number's first or just after its last character.
    JsonSpan NumberSpan() const {
        const std::string& b = doc_.bytes;
        auto isNumber = [](char c) { return c != 0 && std::strchr("0123456789+-.eE", c) != nullptr; };
        std::uint32_t begin = Here(), end = begin;
        if (begin < b.size() && isNumber(b[begin]) && (begin == 0 || !isNumber(b[begin - 1]))) {
            while (end < b.size() && isNumber(b[end])) ++end;
        } else {
            while (begin > 0 && isNumber(b[begin - 1])) --begin;
        }
        return {begin, end};
    }

    bool Number(bool integer, std::int64_t v) {
        const JsonSpan span = NumberSpan();
        if (depth_ != 2) return Element(span.begin);
        JsonField& field = doc_.fields.back();
        field.value = span;
        if (field.kind == JsonFieldId) {
            if (!integer) return Fail(JsonProblem::IdNotInteger, field.value.begin);
            doc_.objects.back().id = v;
            return true;
        }
        if (field.kind != JsonFieldOther) return Fail(JsonProblem::NotString, field.value.begin, KindName(field.kind));
        return true;
    }

    bool Scalar(std::uint32_t length) {
        const std::uint32_t end = Here();
        if (depth_ != 2) return Element(end - length);
        JsonField& field = doc_.fields.back();
        field.value = {end - length, end};
        if (field.kind == JsonFieldId) return Fail(JsonProblem::IdNotInteger, field.value.begin);
        if (field.kind != JsonFieldOther) return Fail(JsonProblem::NotString, field.value.begin, KindName(field.kind));
        return true;
    }

    // An object or array: as an element or the top level it is wrong; as
    // the value of a field it must be a field of some other name.
    bool Nested(std::uint32_t at) {
        if (depth_ < 2) return Element(at);
        if (depth_ == 2) {
            JsonField& field = doc_.fields.back();
            field.value.begin = at;
            if (field.kind == JsonFieldId) return Fail(JsonProblem::IdNotInteger, at);
            if (field.kind != JsonFieldOther) return Fail(JsonProblem::NotString, at, KindName(field.kind));
        }
        ++depth_;
        return true;
    }

    bool EndNested() {
        --depth_;
        if (depth_ == 2) doc_.fields.back().value.end = Here() + 1;
        return true;
    }

    // Appends a decoded string to the column: a key as written, a value in
    // display form. Returns its offset.
    std::uint32_t AppendText(const char* text, std::size_t length, bool display) {
        std::u16string& out = doc_.column.text;
        const auto at = static_cast<std::uint32_t>(out.size());
        if (!display) {
            out.resize(at + length + 1);
            const std::size_t units = DecodeUtf8(text, length, out.data() + at);
            out.resize(at + units);
            // A key holding a zero character ends there, as in every table.
            out.resize(at + std::char_traits<char16_t>::length(out.c_str() + at));
            out.push_back(0);
            return at;
        }
        scratch_.resize(length + 1);
        const std::size_t units = DecodeUtf8(text, length, scratch_.data());
        out.resize(at + 3 * units + 9);
        const std::size_t written = ColorCodesToMacrosCounted(scratch_.data(), units, out.data() + at);
        out.resize(at + written + 1);
        return at;
    }

    JsonDocument& doc_;
    const char* work_;
    rapidjson::InsituStringStream& stream_;
    std::uint32_t start_;
    int language_;
    int depth_ = 0;                        // 0 outside the array, 1 in it, 2 in an object, more in a nested value
    std::vector<std::string> otherNames_;  // the other fields of the current object
    std::uint32_t keyText_ = NoText;
    std::uint32_t valueText_ = NoText;
    std::vector<char16_t> scratch_;
};

std::string Between(const std::string& bytes, std::uint32_t begin, std::uint32_t end) {
    return begin <= end ? bytes.substr(begin, end - begin) : std::string();
}

std::string ReplaceLineEnds(std::string text, const std::string& lineEnd) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0) {
            out += lineEnd;
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The layout the file shows: its mark and line ends, the bytes between its
// first objects and fields, and how it escapes characters.
void DetectLayout(JsonDocument& doc) {
    JsonLayout& l = doc.layout;
    const std::string& b = doc.bytes;
    l = JsonLayout{};
    l.byteOrderMark = std::string_view(b).starts_with(ByteOrderMark);
    // A JSON string holds no raw line break, so the first one is the
    // layout's.
    const std::size_t lf = b.find('\n');
    const std::string lineEnd = lf == std::string::npos ? "" : lf > 0 && b[lf - 1] == '\r' ? "\r\n" : "\n";
    if (!lineEnd.empty() && lineEnd != "\r\n") {
        for (std::string* gap : {&l.firstGap, &l.objectGap, &l.lastGap, &l.fieldGap, &l.fieldSeparator, &l.closingGap})
            *gap = ReplaceLineEnds(*gap, lineEnd);
    }
    if (!doc.objects.empty()) {
        l.lineEnd = lineEnd;
        const JsonObject& first = doc.objects.front();
        const JsonObject& last = doc.objects.back();
        l.firstGap = Between(b, doc.arrayOpen + 1, first.span.begin);
        l.lastGap = Between(b, last.span.end, doc.arrayClose);
        l.objectGap = doc.objects.size() > 1 ? Between(b, first.span.end, doc.objects[1].span.begin) : "," + l.firstGap;
        const JsonField& f0 = doc.fields[first.firstField];
        const JsonField& fz = doc.fields[first.firstField + first.fieldCount - 1];
        l.fieldGap = Between(b, first.span.begin + 1, f0.name.begin);
        l.nameSeparator = Between(b, f0.name.end, f0.value.begin);
        l.closingGap = Between(b, fz.value.end, first.span.end - 1);
        l.fieldSeparator = first.fieldCount > 1 ? Between(b, f0.value.end, doc.fields[first.firstField + 1].name.begin)
                                                : "," + l.fieldGap;
    } else if (!lineEnd.empty()) {
        l.lineEnd = lineEnd;
    }

    // Escapes. Outside strings a valid file has no backslash and no byte
    // beyond ASCII, so the whole file can be searched.
    bool rawPrivateUse = false, escapedNonAscii = false, escapedPrivateUse = false;
    bool sawUpper = false, sawLower = false;
    const std::size_t start = l.byteOrderMark ? ByteOrderMark.size() : 0;
    const char* const text = b.data();
    const char* const end = text + b.size();
    bool rawNonAscii = false;
    for (const char* p = text + start; p < end && !rawNonAscii; ++p)
        rawNonAscii = static_cast<unsigned char>(*p) >= 0x80;
    // U+E000..U+F8FF: EE xx xx, or EF 80..A3 xx.
    rawPrivateUse = std::memchr(text + start, '\xEE', b.size() - start) != nullptr;
    for (const char* p = text + start;
         !rawPrivateUse && (p = static_cast<const char*>(std::memchr(p, '\xEF', end - p))); ++p)
        rawPrivateUse = p + 1 < end && static_cast<unsigned char>(p[1]) <= 0xA3;
    for (const char* p = text + start; (p = static_cast<const char*>(std::memchr(p, '\\', end - p))) && p + 1 < end;) {
        const char e = p[1];
        p += 2;
        if (e == '/') l.escapeSlash = true;
        if (e != 'u' || p + 4 > end) continue;
        unsigned code = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = p[k];
            code = code * 16 + static_cast<unsigned>(std::max(HexValue(h), 0));
            if (h >= 'a' && h <= 'f') sawLower = true;
            if (h >= 'A' && h <= 'F') sawUpper = true;
        }
        p += 4;
        if (code < 0x80) l.asciiEscaped.set(code);
        else if (code >= 0xE000 && code <= 0xF8FF) escapedPrivateUse = true;
        else escapedNonAscii = true;
    }
    l.upperHex = sawUpper || !sawLower;
    // Characters beyond ASCII are escaped only in a file that writes none
    // of them raw; the game's glyphs as the file shows them, escaped when it
    // shows none.
    l.escapeNonAscii = escapedNonAscii && !rawNonAscii;
    l.escapePrivateUse = escapedPrivateUse || !rawPrivateUse;
    if (l.escapeNonAscii) l.escapePrivateUse = true;
}

JsonError MakeError(JsonProblem problem, std::string_view bytes, std::size_t offset, std::string detail) {
    JsonError e;
    e.problem = problem;
    const Place place = PlaceOf(bytes, offset);
    e.line = place.line;
    e.column = place.column;
    e.offset = offset;
    e.detail = std::move(detail);
    return e;
}

}  // namespace

std::string DescribeJsonError(const JsonError& e) {
    std::string text;
    switch (e.problem) {
    case JsonProblem::None: return "no problem";
    case JsonProblem::Syntax: text = "not valid JSON: " + e.detail; break;
    case JsonProblem::NotArray: text = "the file is not an array of objects"; break;
    case JsonProblem::NotObject: text = "an element of the array is not an object"; break;
    case JsonProblem::MissingId: text = "this object has no \"id\""; break;
    case JsonProblem::MissingKey: text = "this object has no \"Key\""; break;
    case JsonProblem::IdNotInteger: text = "\"id\" is not a whole number"; break;
    case JsonProblem::NotString: text = "\"" + e.detail + "\" is not a string"; break;
    case JsonProblem::DuplicateField: text = "\"" + e.detail + "\" is given twice in this object"; break;
    case JsonProblem::TooLarge: text = "the file is too large" + (e.detail.empty() ? "" : " (" + e.detail + ")"); break;
    case JsonProblem::Unreadable:
        text = "the file cannot be read" + (e.detail.empty() ? "" : " (" + e.detail + ")");
        break;
    case JsonProblem::UnpairedSurrogate:
        text = "entry " + std::to_string(e.entry) + " holds half of a surrogate pair, which a string file cannot hold";
        break;
    case JsonProblem::WriteFailed:
        text = "the file cannot be written" + (e.detail.empty() ? "" : " (" + e.detail + ")");
        break;
    }
    if (e.line == 0) return text;
    return "line " + std::to_string(e.line) + ", column " + std::to_string(e.column) + ": " + text;
}

bool ParseJsonStrings(std::string bytes, int language, JsonDocument& doc, JsonError* error) {
    doc = JsonDocument{};
    if (bytes.size() >= 0xFFFFFFFFu) {
        if (error) *error = JsonError{JsonProblem::TooLarge, 0, 0, 0, -1, "4 GiB or more"};
        return false;
    }
    doc.bytes = std::move(bytes);
    if (language >= JsonLanguageCount) language = -1;
    doc.column.language = language;
    if (language >= 0) doc.column.text.reserve(doc.bytes.size() / 8);

    const std::string_view b(doc.bytes);
    const auto start = static_cast<std::uint32_t>(b.starts_with(ByteOrderMark) ? ByteOrderMark.size() : 0);
    // The parser decodes strings in place, in a copy that ends in zero
    // bytes: its 16-byte scans, which read whole aligned blocks, stay
    // inside the copy.
    std::string work;
    work.reserve(b.size() + 16);
    work.assign(b);
    work.append(16, '\0');
    const std::size_t badText =
        FirstBadByte(reinterpret_cast<const unsigned char*>(work.data()) + start, b.size() - start);
    rapidjson::InsituStringStream stream(work.data() + start);
    Handler handler(doc, work.data(), stream, start, language);
    rapidjson::Reader reader;
    constexpr unsigned flags = rapidjson::kParseIterativeFlag | rapidjson::kParseInsituFlag;
    const rapidjson::ParseResult result = reader.Parse<flags>(stream, handler);
    const std::size_t end = start + stream.Tell();

    // Whichever problem comes first in the file is the one reported.
    JsonError e;
    const std::size_t badOffset = badText == std::string_view::npos ? badText : start + badText;
    if (handler.problem != JsonProblem::None && handler.problemOffset < badOffset) {
        e = MakeError(handler.problem, b, handler.problemOffset, handler.problemDetail);
    } else if (handler.problem == JsonProblem::None && result.IsError() && start + result.Offset() < badOffset) {
        std::string what = rapidjson::GetParseError_En(result.Code());
        if (!what.empty() && what.back() == '.') what.pop_back();
        e = MakeError(JsonProblem::Syntax, b, start + result.Offset(), what);
    } else if (badOffset != std::string_view::npos) {
        e = MakeError(
            JsonProblem::Syntax, b, badOffset,
            static_cast<unsigned char>(b[badOffset]) < 0x20 ? "a control character" : "the text is not UTF-8");
    } else if (!result.IsError() && end < b.size()) {
        // The reader takes a zero byte for the end of its input.
        e = MakeError(JsonProblem::Syntax, b, end, "a zero byte");
    }
    if (e.problem != JsonProblem::None) {
        doc = JsonDocument{};
        if (error) *error = std::move(e);
        return false;
    }
    DetectLayout(doc);
    return true;
}

bool LoadJsonStrings(const std::u16string& fileName, int language, const ReadLimits& limits, JsonDocument& doc,
                     JsonError* error) {
    platform::FileImage file;
    const platform::ReadStatus status = fileName.empty()
                                            ? platform::ReadStatus::NotFound
                                            : platform::ReadWholeFile(fileName, limits.maxFileSize, 0, file);
    if (status != platform::ReadStatus::Ok) {
        doc = JsonDocument{};
        if (error) {
            *error = JsonError{};
            error->problem = status == platform::ReadStatus::TooLarge ? JsonProblem::TooLarge : JsonProblem::Unreadable;
            error->detail = status == platform::ReadStatus::TooLarge
                                ? "more than " + std::to_string(limits.maxFileSize) + " bytes"
                            : status == platform::ReadStatus::NotFound ? "no such file"
                            : status == platform::ReadStatus::NoMemory ? "not enough memory"
                                                                       : "";
        }
        return false;
    }
    try {
        return ParseJsonStrings(std::string(reinterpret_cast<const char*>(file.data.get()), file.size), language, doc,
                                error);
    } catch (const std::bad_alloc&) {
        doc = JsonDocument{};
        if (error) *error = JsonError{JsonProblem::Unreadable, 0, 0, 0, -1, "not enough memory"};
        return false;
    }
}

namespace {

// Takes the one string a value holds.
struct StringCatcher : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, StringCatcher> {
    std::u16string* out = nullptr;
    bool Default() { return false; }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        out->resize(length);
        out->resize(DecodeUtf8(text, length, out->data()));
        return true;
    }
};

}  // namespace

bool DecodeJsonString(std::string_view quoted, std::u16string& out) {
    out.clear();
    if (quoted.size() < 2 || quoted.front() != '"') return false;
    // Without a backslash the text is its bytes (a document's strings are
    // proper UTF-8 once parsed).
    const std::string_view inner = quoted.substr(1, quoted.size() - 2);
    if (quoted.back() == '"' && inner.find_first_of("\\\"") == std::string_view::npos &&
        std::none_of(inner.begin(), inner.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        out.resize(inner.size());
        out.resize(DecodeUtf8(inner.data(), inner.size(), out.data()));
        return true;
    }
    // The reader stops at a zero byte and scans 16 bytes at a time, so it
    // reads a copy that ends in 16 of them.
    std::string copy(quoted);
    copy.append(16, '\0');
    rapidjson::StringStream stream(copy.c_str());
    StringCatcher catcher;
    catcher.out = &out;
    rapidjson::Reader reader;
    return !reader.Parse<rapidjson::kParseStopWhenDoneFlag>(stream, catcher).IsError() &&
           stream.Tell() == quoted.size();
}

void DeliverJsonColumn(const JsonDocument& doc, const TableEntrySink& sink) {
    if (!sink) return;
    for (std::size_t i = 0; i < doc.column.items.size(); ++i) sink(doc.column.Key(i), doc.column.Value(i));
}

bool ReadJsonTable(const std::u16string& fileName, int language, const ReadLimits& limits, const TableEntrySink& sink,
                   JsonError* error, JsonDocument* keep) {
    JsonDocument local;
    JsonDocument& doc = keep ? *keep : local;
    if (!LoadJsonStrings(fileName, language, limits, doc, error)) return false;
    DeliverJsonColumn(doc, sink);
    return true;
}

}  // namespace vm
