// Writing text tables in the Tabbed or DiabloII layout, as UTF-16LE, UTF-8
// or the ANSI code page. The file is written through a temporary file, so a
// failure never leaves a partly written table behind.
//
// Text files have no escapes, so some tables cannot be stored in them
// exactly. Before a file is written, a first pass over the table runs the
// very conversions the write makes and checks every line against what the
// reader would make of it; a table that would not come back is refused
// unless the caller allows the losses.

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "formats/ColorMacros.h"
#include "formats/FormatLimits.h"
#include "formats/TextDetail.h"
#include "formats/TextHelpers.h"
#include "formats/TextTable.h"
#include "platform/Platform.h"

namespace vm {

namespace {

static_assert(std::endian::native == std::endian::little, "UTF-16LE text is copied unit by unit as it lies in memory");

constexpr std::size_t FlushSize = 1 << 20;
constexpr std::size_t Utf8KeyBytes = 65536;     // 65535 bytes and the terminator
constexpr std::size_t Utf8ValueBytes = 155648;  // 155647 bytes and the terminator
constexpr std::size_t AnsiKeyBytes = 65536;
constexpr std::size_t AnsiValueBytes = 229376;

// Where the bytes go: the file, or nowhere when only the size is wanted.
class BufferedOutput {
public:
    explicit BufferedOutput(platform::AtomicFileWriter* file) : file_(file) {}

    void Bytes(const void* data, std::size_t count) {
        total_ += count;
        if (!file_) return;
        const auto* p = static_cast<const std::uint8_t*>(data);
        buffer_.insert(buffer_.end(), p, p + count);
        if (buffer_.size() >= FlushSize) Flush();
    }
    void Units(const char16_t* units, std::size_t count) { Bytes(units, count * 2); }
    void Units(const std::u16string_view text) { Units(text.data(), text.size()); }

    bool Flush() {
        if (file_ && ok_ && !buffer_.empty()) ok_ = file_->Write(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok_;
    }
    bool ok() const { return ok_; }
    std::uint64_t total() const { return total_; }

private:
    platform::AtomicFileWriter* file_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t total_ = 0;
    bool ok_ = true;
};

// A raw line break inside a text would split its line and read back as
// bogus entries: LF is written as the newline escape (backslash, "n") and
// CR is dropped, which is what a .tbl round trip gives. The line ends in a
// zero unit.
std::u16string_view SingleLine(const char16_t* text, std::u16string& scratch) {
    if (!text) return u"";
    const std::u16string_view line(text, WideLength(text));
    if (FindLineBreak(line, 0) == line.size()) return line;
    scratch.clear();
    AppendNewlineEscaped(scratch, line);
    return scratch;
}

// The UTF-8 length of text as Utf16ToUtf8 writes it (every unit by itself).
std::size_t Utf8Length(const char16_t* text, std::size_t units) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < units; ++i) bytes += text[i] < 0x80 ? 1 : text[i] < 0x800 ? 2 : 3;
    return bytes;
}

// UTF-8 of at most maxUnits units of text into at most capacity bytes
// (terminator included). The buffer grows to what the text can need, so a
// small table never pays for the largest value.
std::size_t EncodeUtf8(std::vector<char>& buffer, const char16_t* text, std::size_t maxUnits, std::size_t capacity) {
    const std::size_t units = std::min(WideLength(text), maxUnits);
    const std::size_t room = std::min(3 * units + 1, capacity);
    if (buffer.size() < room) buffer.resize(room);
    return Utf16ToUtf8(buffer.data(), room, text, maxUnits);
}

// What a key does to its line when it is read back, or false when nothing.
bool KeyLoss(const char16_t* key, TextLoss& reason) {
    if (!key || !*key) {
        reason = TextLoss::EmptyKey;
        return true;
    }
    if (key[0] == u'#') {
        reason = TextLoss::KeyStartsInclude;
        return true;
    }
    bool blank = true;
    for (const char16_t* p = key; *p; ++p) {
        switch (*p) {
        case u'\t': reason = TextLoss::KeyWithTab; return true;
        case u',': reason = TextLoss::KeyWithComma; return true;
        case u'\r':
        case u'\n': reason = TextLoss::LineBreakInKey; return true;
        case u'/':
            if (p[1] == u'/') {
                reason = TextLoss::KeyWithComment;
                return true;
            }
            break;
        default: break;
        }
        if (*p != u' ') blank = false;
    }
    if (blank) {
        reason = TextLoss::EmptyKey;
        return true;
    }
    return false;
}

bool ValueLoss(const char16_t* value, TextLoss& reason) {
    if (!value) return false;
    for (const char16_t* p = value; *p; ++p) {
        if (*p == u'"') {
            reason = TextLoss::Quote;
            return true;
        }
        if (*p == u'\r') {
            reason = TextLoss::CarriageReturn;
            return true;
        }
    }
    return false;
}

// One pass over the table: the check (nothing written, every entry looked
// at) or the write itself.
class TextPass {
public:
    TextPass(const TableEntrySource& source, const StoredBytesSource& stored, std::int32_t count,
             const TextOptions& options, const ReadLimits& limits, WriteReport& report,
             platform::AtomicFileWriter* file)
        : source_(source),
          stored_(stored),
          count_(count),
          encoding_(options.writeEncoding),
          headerLine_(options.headerLine),
          maxFileSize_(limits.maxFileSize),
          report_(report),
          out_(file),
          checking_(!file) {
        tabbed_ = options.layout == TextLayout::Tabbed;
        quoted_ = !tabbed_ || options.quoteValues;
        colorCodes_ = !options.colorMacros && encoding_ != TextEncoding::ANSI;
        separator_ = tabbed_ ? (quoted_ ? std::u16string_view(u"\t\"") : std::u16string_view(u"\t"))
                             : std::u16string_view(u",\t,\t\"");
        lineEnd_ = quoted_ ? std::u16string_view(u"\"\r\n") : std::u16string_view(u"\r\n");
        headerWritten_ = tabbed_ && (encoding_ != TextEncoding::Unicode || options.header);
        if (checking_ && !headerWritten_) {
            // What a read takes for a header line, to see whether the first
            // line written would pass for one.
            headers_ = detail::HeaderItems(options.skippedHeaders);
            for (const std::u16string& item : headers_) headerRoom_ = std::max(headerRoom_, item.size());
        }
    }

    bool Run() {
        WriteHead();
        for (std::int32_t i = 0; i < count_ && out_.ok() && !pastReadLimit_; ++i)
            WriteEntry(static_cast<std::size_t>(i));
        if (checking_) {
            // The reader appends a line break after the last line.
            if (prefix_.size() < headerRoom_) prefix_.push_back(u'\n');
            CheckHeaderLine();
            if (dbcs_ || (highBytes_ && allUtf8_)) report_.encodingMustBeNamed = true;
        }
        report_.bytes = out_.total();
        return out_.Flush();
    }

private:
    void WriteHead() {
        // The header is stored in the ANSI code page; it is widened and
        // written in the file's own encoding (ANSI files take its bytes as
        // they are).
        std::u16string header;
        if (tabbed_ && encoding_ != TextEncoding::ANSI &&
            !platform::AnsiToWide(headerLine_.data(), headerLine_.size(), header))
            header.clear();
        if (encoding_ == TextEncoding::Unicode) {
            out_.Bytes("\xFF\xFE", 2);
            if (headerWritten_) {
                out_.Units(header);
                out_.Units(u"\r\n", 2);
            }
            return;
        }
        if (encoding_ == TextEncoding::UTF8) out_.Bytes("\xEF\xBB\xBF", 3);
        if (!tabbed_) return;
        if (encoding_ == TextEncoding::UTF8) {
            std::string bytes(header.size() * 3 + 1, '\0');
            bytes.resize(Utf16ToUtf8(bytes.data(), bytes.size(), header.c_str(), header.size()));
            out_.Bytes(bytes.data(), bytes.size());
        } else {
            AnsiPiece(headerLine_.data(), headerLine_.size());
            out_.Bytes(headerLine_.data(), headerLine_.size());
        }
        out_.Bytes("\r\n", 2);
    }

    void WriteEntry(std::size_t i) {
        const char16_t* rawKey = nullptr;
        const char16_t* rawValue = nullptr;
        source_(static_cast<std::int32_t>(i), rawKey, rawValue);
        bool lossy = false;
        TextLoss reason = TextLoss::EmptyKey;
        if (checking_) {
            lossy = KeyLoss(rawKey, reason) || ValueLoss(rawValue, reason);
            // Bytes an entry was read with and its text does not give back
            // have no place in a text file.
            std::string_view keptKey, keptValue;
            if (!lossy && stored_) stored_(static_cast<std::int32_t>(i), keptKey, keptValue);
            if (!keptKey.empty() || !keptValue.empty()) {
                lossy = true;
                reason = TextLoss::StoredForm;
            }
        }

        const std::u16string_view keyLine = SingleLine(rawKey, keyLine_);
        const std::u16string_view valueLine = SingleLine(rawValue, valueLine_);
        const char16_t* key = keyLine.data();
        const char16_t* value = valueLine.data();
        std::size_t valueUnits;
        if (colorCodes_) {
            // The stored form is never longer than the display form.
            const std::size_t limit = std::min(valueLine.size(), DisplayBufferUnits - 1);
            if (scratch_.size() < limit + 1) scratch_.resize(limit + 1);
            valueUnits = MacrosToColorCodes(value, scratch_.data(), limit, false);
            value = scratch_.data();
        } else {
            valueUnits = valueLine.size();
        }
        // The reader takes at most KeyBufferUnits units of a value back.
        bool cut = valueUnits > KeyBufferUnits;

        const std::size_t keyUnits = keyLine.size();
        if (encoding_ == TextEncoding::Unicode) {
            out_.Units(key, keyUnits);
            out_.Units(separator_);
            out_.Units(value, valueUnits);
            out_.Units(lineEnd_);
        } else if (encoding_ == TextEncoding::UTF8) {
            cut = cut || (checking_ && Utf8Length(key, keyUnits) >= Utf8KeyBytes);
            std::size_t bytes = EncodeUtf8(encoded_, key, KeyBufferUnits, Utf8KeyBytes);
            out_.Bytes(encoded_.data(), bytes);
            Ascii(separator_);
            const std::size_t units = std::min(valueUnits, DisplayBufferUnits);
            cut = cut || (checking_ && Utf8Length(value, units) >= Utf8ValueBytes);
            bytes = EncodeUtf8(encoded_, value, units, Utf8ValueBytes);
            out_.Bytes(encoded_.data(), bytes);
            Ascii(lineEnd_);
        } else {
            bool replaced = false;
            cut = !Ansi(key, keyUnits, AnsiKeyBytes, replaced) || cut;
            Ascii(separator_);
            cut = !Ansi(value, std::min(valueUnits, DisplayBufferUnits), AnsiValueBytes, replaced) || cut;
            Ascii(lineEnd_);
            if (replaced) {
                report_.replaced = true;
                if (!lossy) {
                    lossy = true;
                    reason = TextLoss::NotInCodePage;
                }
            }
        }
        if (!checking_) return;

        if (!lossy && cut) {
            lossy = true;
            reason = TextLoss::TooLong;
        }
        if (i == 0 && !lossy && startsLikeMark_) {
            lossy = true;
            reason = TextLoss::StartsLikeMark;
        }
        if (!lossy && out_.total() > maxFileSize_) {
            lossy = true;
            reason = TextLoss::FileTooLarge;
        }
        if (lossy) {
            Lost(i, reason);
            if (i == 0) firstLost_ = true;
        }
        if (out_.total() > maxFileSize_) {
            // Every later entry lies beyond what a read takes back: counted
            // without a look, so the check of a huge table ends here.
            pastReadLimit_ = true;
            for (std::size_t k = i + 1; k < static_cast<std::size_t>(count_); ++k) {
                if (report_.losses.size() >= MaxReportedLosses) {
                    report_.lossCount += static_cast<std::size_t>(count_) - k;
                    break;
                }
                Lost(k, TextLoss::FileTooLarge);
            }
        }
        if (prefix_.size() < headerRoom_) {
            prefix_.append(key, keyUnits);
            prefix_.append(separator_);
            prefix_.append(value, valueUnits);
            prefix_.append(lineEnd_);
            if (prefix_.size() >= headerRoom_) CheckHeaderLine();
        }
    }

    void Ascii(std::u16string_view text) {
        char bytes[8];
        for (std::size_t k = 0; k < text.size(); ++k) bytes[k] = static_cast<char>(text[k]);
        out_.Bytes(bytes, text.size());
    }

    // Writes units in the code page; false when they had to be cut.
    bool Ansi(const char16_t* units, std::size_t count, std::size_t maxBytes, bool& replaced) {
        platform::WideToAnsi(units, count, checking_ ? SIZE_MAX : maxBytes, narrow_, replaced);
        const bool whole = narrow_.size() <= maxBytes;
        if (!whole) platform::WideToAnsi(units, count, maxBytes, narrow_, replaced);
        if (checking_) AnsiPiece(narrow_.data(), narrow_.size(), count);
        out_.Bytes(narrow_.data(), narrow_.size());
        return whole;
    }

    // What Autodetect will make of the ANSI bytes: UTF-8 when they all
    // read as UTF-8, and a double-byte code page needs the encoding named
    // wherever the reading system's code page differs.
    void AnsiPiece(const char* bytes, std::size_t size, std::size_t units = SIZE_MAX) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(bytes);
        if (out_.total() == 0 && size >= 2 &&
            ((b[0] == 0xFF && b[1] == 0xFE) || (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)))
            startsLikeMark_ = true;
        if (units != SIZE_MAX && size > units) dbcs_ = true;
        for (std::size_t k = 0; k < size; ++k) {
            if (b[k] < 0x80) continue;
            highBytes_ = true;
            if (!detail::IsWellFormedUtf8(b, size)) allUtf8_ = false;
            break;
        }
    }

    // Without a header line of its own, a file whose first line starts
    // like the header loses that line.
    void CheckHeaderLine() {
        if (headerChecked_ || headerWritten_ || count_ <= 0) return;
        headerChecked_ = true;
        if (!firstLost_ && detail::StartsWithHeader(prefix_.c_str(), headers_)) {
            firstLost_ = true;
            Lost(0, TextLoss::ReadsAsHeader);
        }
    }

    void Lost(std::size_t entry, TextLoss reason) {
        ++report_.lossCount;
        if (report_.losses.size() < MaxReportedLosses) {
            report_.losses.push_back({entry, reason});
            std::sort(report_.losses.begin(), report_.losses.end(),
                      [](const TextLossEntry& a, const TextLossEntry& b) { return a.entry < b.entry; });
        }
    }

    const TableEntrySource& source_;
    const StoredBytesSource& stored_;
    std::int32_t count_;
    TextEncoding encoding_;
    const std::string& headerLine_;
    std::uint64_t maxFileSize_;
    WriteReport& report_;
    BufferedOutput out_;
    bool checking_;
    bool tabbed_ = true, quoted_ = true, colorCodes_ = false, headerWritten_ = true;
    std::u16string_view separator_, lineEnd_;
    std::vector<char16_t> scratch_;  // a value in stored form, grown as needed
    std::u16string keyLine_, valueLine_;
    std::string narrow_;
    std::vector<char> encoded_;
    // The check's view of the file as the reader will see it.
    std::u16string prefix_;
    std::vector<std::u16string> headers_;
    std::size_t headerRoom_ = 0;
    bool headerChecked_ = false;
    bool firstLost_ = false;
    bool pastReadLimit_ = false;  // checking: the rest is beyond the read limit
    bool startsLikeMark_ = false;
    bool dbcs_ = false, highBytes_ = false, allUtf8_ = true;
};

bool Usable(const std::u16string* fileName, const TableEntrySource& source, std::int32_t count, TextEncoding encoding) {
    return (!fileName || !fileName->empty()) && source && count > 0 &&
           (encoding == TextEncoding::Unicode || encoding == TextEncoding::UTF8 || encoding == TextEncoding::ANSI);
}

void ClearResults(WriteReport& r) {
    const bool allow = r.allowLossy;
    r = WriteReport{};
    r.allowLossy = allow;
}

bool WriteText(const std::u16string& fileName, const TableEntrySource& source, std::int32_t count,
               const TextOptions& options, const ReadLimits& limits, WriteReport& report,
               const StoredBytesSource& stored) {
    if (!Usable(&fileName, source, count, options.writeEncoding)) {
        if (fileName.empty()) report.error = platform::WriteError::BadName;
        return false;
    }
    // The check first, so that a refused table leaves no trace at all.
    if (!TextPass(source, stored, count, options, limits, report, nullptr).Run()) return false;
    if (report.lossCount != 0 && !report.allowLossy) {
        report.refusedAsLossy = true;
        return false;
    }

    platform::AtomicFileWriter file;
    if (!file.Open(fileName)) {
        report.error = file.Error();
        return false;
    }
    WriteReport written;  // the check has filled the report already
    if (!TextPass(source, stored, count, options, limits, written, &file).Run() || !file.Commit()) {
        report.error = file.Error() != platform::WriteError::None ? file.Error() : platform::WriteError::Other;
        return false;
    }
    report.bytes = written.bytes;  // the check stops counting at the read limit
    return true;
}

}  // namespace

bool CheckTextTable(const TableEntrySource& source, std::int32_t count, const TextOptions& options,
                    const ReadLimits& limits, WriteReport& report, const StoredBytesSource& stored) {
    ClearResults(report);
    if (!Usable(nullptr, source, count, options.writeEncoding)) return false;
    try {
        TextPass(source, stored, count, options, limits, report, nullptr).Run();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return report.lossCount == 0;
}

bool WriteTextTable(const std::u16string& fileName, const TableEntrySource& source, std::int32_t count,
                    const TextOptions& options, const ReadLimits& limits, WriteReport* report,
                    const StoredBytesSource& stored) {
    WriteReport local;
    WriteReport& r = report ? *report : local;
    ClearResults(r);
    // Running out of memory fails the write like a full disk: the temporary
    // file goes, the old file stays.
    try {
        return WriteText(fileName, source, count, options, limits, r, stored);
    } catch (const std::bad_alloc&) {
        r.error = platform::WriteError::Other;
        return false;
    }
}

}  // namespace vm
