// Reading .tbl files: the header checks, the walk over the index array and
// the decoding of every key and value out of the file image.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "formats/ColorMacros.h"
#include "formats/FileReports.h"
#include "formats/FormatLimits.h"
#include "formats/TblFile.h"
#include "formats/TextHelpers.h"
#include "platform/Platform.h"

namespace vm {

namespace {

inline std::uint16_t Load16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

inline std::uint32_t Load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::uint32_t TblKeyHash(const std::uint8_t* bytes, std::size_t count, std::uint32_t hashSize) {
    std::uint32_t h = 0;
    for (std::size_t i = 0; i < count; ++i) {
        h = (h << 4) + bytes[i];
        // Without a branch: when g is 0 both steps change nothing.
        const std::uint32_t g = h & 0xF0000000u;
        h ^= g >> 24;
        h &= ~g;
    }
    return h % hashSize;
}

TblHeader ParseTblHeader(const std::uint8_t* image) {
    TblHeader h;
    h.Crc = Load16(image + 0);
    h.NumElements = Load16(image + 2);
    h.HashSize = Load32(image + 4);
    h.Offset8 = image[8];
    h.DataStart = Load32(image + 9);
    h.MaxProbe = Load32(image + 13);
    h.FileSize = Load32(image + 17);
    return h;
}

namespace {

// What one look at each of the n bytes of a string, decoded into `units`
// units, tells. codes: whether it may hold colour codes or line breaks (LF,
// CR, or BF, the last byte of U+00FF); without, its text is its own display
// form. mayNotComeBack: false when the string surely comes back when
// written again from what the reader makes of it: UTF-8 in the one form
// the writer makes, and in a value no backslash (a literal "\\n" or colour
// word) and no carriage return (dropped on reading). The decoder accepts
// more than that form: overlong forms (lead bytes C0, C1, E0 followed by
// 80..9F), four-byte sequences (F0 and above) and a three-byte sequence
// whose last byte is ASCII. The first three show in single bytes (E0 is let
// through to the exact comparison whatever follows it); the last makes
// fewer units than the string has bytes that are not continuation bytes,
// as every other sequence gives one unit per lead byte. Encoded surrogates
// are the writer's own form. Anything this does not clear gets the exact
// comparison.
struct Look {
    bool codes;
    bool mayNotComeBack;
};

Look LookAt(const std::uint8_t* p, std::size_t n, std::size_t units, bool value) {
    // Over every byte, without stopping at the first odd one: most strings
    // have none, and a loop of a known count is one the compiler widens.
    // A decoded string has at most 65535 units of up to three bytes (a
    // four-byte character gives two), so 32 bits count its bytes.
    const unsigned inValue = value;
    std::uint32_t continuations = 0;
    unsigned codes = 0, odd = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned b = p[i];
        continuations += (b & 0xC0u) == 0x80u;
        codes |= (b == '\n') | (b == '\r') | (b == 0xBF);
        odd |= (b == 0xC0) | (b == 0xC1) | (b == 0xE0) | (b >= 0xF0) | (inValue & ((b == '\\') | (b == '\r')));
    }
    return {codes != 0, odd != 0 || units != n - continuations};
}

// Whether writing a string again gives back the bytes it was read from:
// the .tbl writer's conversion of its text, compared with the bytes.
class WriteBack {
public:
    bool Same(const char16_t* text, std::size_t units, bool value, std::string_view bytes) {
        const char16_t* from = text;
        if (value) {
            units = std::min(units, DisplayBufferUnits - 1);
            from = TblStoredForm(text, units, stored_);
        } else {
            units = std::min(units, KeyBufferUnits);
        }
        const std::size_t room = std::min<std::size_t>(3 * units, TblMaxStringBytes) + 1;
        if (bytes_.size() < room) bytes_.resize(room);
        return std::string_view(bytes_.data(), Utf16ToUtf8Counted(bytes_.data(), room, from, units)) == bytes;
    }

private:
    std::vector<char16_t> stored_;
    std::vector<char> bytes_;
};

// The bytes of the string at offset up to its zero byte (image[size] is
// one, at the latest).
std::string_view StringAt(const std::uint8_t* image, std::uint64_t size, std::uint64_t offset) {
    const void* zero = std::memchr(image + offset, 0, static_cast<std::size_t>(size + 1 - offset));
    return std::string_view(reinterpret_cast<const char*>(image + offset),
                            static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - (image + offset)));
}

// One read of an image: every entry decoded into buffers of its own and
// handed to the receiver.
class ImageReader {
public:
    ImageReader(const std::uint8_t* image, std::uint64_t size, TableEntryReceiver& receiver, ReadReport* report)
        : image_(image),
          size_(size),
          receiver_(receiver),
          report_(report),
          wantsStored_(receiver.WantsStored()),
          // A string in the image has at most `size` bytes and so at most
          // `size` units; a display form is at most 8/3 as long as its
          // string (plus one final "\color;"). So a small file gets small
          // buffers; the results are the same. Their contents are always
          // written before they are read, so they are not cleared.
          stringUnits_(static_cast<std::size_t>(std::min<std::uint64_t>(KeyBufferUnits, size + 1))),
          keyBuffer_(std::make_unique_for_overwrite<char16_t[]>(stringUnits_)),
          valueBuffer_(std::make_unique_for_overwrite<char16_t[]>(stringUnits_)),
          displayBuffer_(std::make_unique_for_overwrite<char16_t[]>(
              std::min<std::size_t>(DisplayBufferUnits, 3 * stringUnits_ + 8))),
          budget_(size > UINT64_MAX / TblStringBudgetFactor ? UINT64_MAX : TblStringBudgetFactor * size) {}

    // Entry i: false when the read must fail.
    bool Entry(std::uint64_t i, std::uint64_t keyOffset, std::uint64_t valueOffset, std::uint32_t valueLength);

private:
    // Takes bytes from the budget: entries may share their strings, so a
    // small file could name the same 65535-character string for every one
    // of its 65535 entries and fill gigabytes of memory with copies. The
    // bytes decoded over all entries are bounded by a multiple of the
    // file's size; beyond that the read stops and fails like an entry that
    // points outside the file. Files whose entries have strings of their
    // own never come near it.
    bool Spend(std::uint64_t bytes) {
        if (bytes > budget_) return false;
        budget_ -= bytes;
        return true;
    }

    // Decodes the string at offset, at most maxChars characters, into
    // dest: its units, and the bytes they took in bytes.
    std::size_t Decode(std::uint64_t offset, std::size_t maxChars, char16_t* dest, std::size_t& bytes) const {
        return Utf8ToUtf16(dest, 2 * stringUnits_, reinterpret_cast<const char*>(image_ + offset), maxChars, &bytes);
    }

    static void Count(std::uint32_t& count, std::size_t& first, std::uint64_t i) {
        if (count++ == 0) first = static_cast<std::size_t>(i);
    }

    const std::uint8_t* image_;
    std::uint64_t size_;
    TableEntryReceiver& receiver_;
    ReadReport* report_;
    bool wantsStored_;
    std::size_t stringUnits_;
    std::unique_ptr<char16_t[]> keyBuffer_, valueBuffer_, displayBuffer_;
    std::uint64_t budget_;
    WriteBack writeBack_;
};

bool ImageReader::Entry(std::uint64_t i, std::uint64_t keyOffset, std::uint64_t valueOffset,
                        std::uint32_t valueLength) {
    // A value is read up to its stored length in characters; a stored
    // length of 0 (a 65535-byte value whose length wrapped) takes it up to
    // its zero byte.
    std::size_t keyBytes = 0, valueBytes = 0;
    const std::size_t keyUnits = Decode(keyOffset, KeyBufferUnits, keyBuffer_.get(), keyBytes);
    const std::size_t units =
        Decode(valueOffset, valueLength == 0 ? KeyBufferUnits : valueLength, valueBuffer_.get(), valueBytes);
    if (!Spend(keyBytes + valueBytes)) return false;
    // A string that stops decoding before its zero byte (too long, or a
    // sequence that is not UTF-8) is cut. A value that stops having taken
    // at least its stored length less one in bytes has ended at its stored
    // length, and the bytes after it are not part of it: the stored length
    // wins, so that what is shown, exported and written back is the same.
    const bool keyCut = image_[keyOffset + keyBytes] != 0;
    const bool valueStopped = image_[valueOffset + valueBytes] != 0;
    const bool pastLength = valueStopped && valueLength != 0 && valueBytes + 1 >= valueLength;
    const bool valueCut = valueStopped && !pastLength;
    if (report_) {
        if (keyCut || valueCut) Count(report_->cutStrings, report_->firstCutEntry, i);
        if (pastLength) Count(report_->shortLengths, report_->firstShortLength, i);
    }
    // Most values hold no colour code or line break and are their own
    // display form; their bytes tell.
    const std::uint8_t* valueAt = image_ + valueOffset;
    const Look value = LookAt(valueAt, valueBytes, units, true);
    const char16_t* display = valueBuffer_.get();
    std::size_t displayed = units;
    if (value.codes) {
        displayed = ColorCodesToMacrosCounted(display, units, displayBuffer_.get());
        display = displayBuffer_.get();
    }
    const char16_t* key = keyBuffer_.get();
    receiver_.Entry(std::u16string_view(key, keyUnits), std::u16string_view(display, displayed));

    if (!wantsStored_) return true;
    // The bytes of a string that would not come back are handed on; a
    // string cut by the reader never comes back.
    std::string_view keptKey, keptValue;
    // A key of as many units as bytes is ASCII, which always comes back.
    if (keyCut || (keyUnits != keyBytes && LookAt(image_ + keyOffset, keyBytes, keyUnits, false).mayNotComeBack)) {
        const std::string_view bytes = StringAt(image_, size_, keyOffset);
        if (keyCut || !writeBack_.Same(key, keyUnits, false, bytes)) keptKey = bytes;
    }
    if (valueCut || value.mayNotComeBack) {
        const std::string_view bytes = valueCut ? StringAt(image_, size_, valueOffset)
                                                : std::string_view(reinterpret_cast<const char*>(valueAt), valueBytes);
        if (valueCut || !writeBack_.Same(display, displayed, true, bytes)) keptValue = bytes;
    }
    if (keptKey.empty() && keptValue.empty()) return true;
    if (!Spend(keptKey.size() + keptValue.size())) return false;
    receiver_.Stored(keptKey, keptValue);
    return true;
}

bool ReadImage(const std::uint8_t* image, std::uint64_t size, TableEntryReceiver& receiver, std::uint64_t maxFileSize,
               ReadReport* report) {
    if (!image) return false;
    if (size > maxFileSize || size < TblMinFileSize) return false;

    const TblHeader h = ParseTblHeader(image);
    const std::uint64_t n = h.NumElements;
    const std::uint64_t hashSize = h.HashSize;
    const std::uint64_t dataStart = h.DataStart;
    const std::uint64_t fileSize = h.FileSize;
    const std::uint64_t nodeTable = TblHeaderSize + 2 * n;

    // All in 64 bits: 17 x HashSize alone can pass 32 bits.
    if (n != 0 && hashSize < n - 1) return false;
    if (hashSize > maxFileSize) return false;
    if (nodeTable + TblNodeSize * hashSize >= size) return false;
    if (dataStart >= size) return false;
    if (dataStart < TblNodeSize * hashSize) return false;
    if (fileSize > size) return false;
    if (dataStart >= fileSize) return false;
    if (n == 0) return true;

    // Entries handed over before a failure stay handed over.
    ImageReader reader(image, size, receiver, report);
    const std::uint8_t* index = image + TblHeaderSize;
    for (std::uint64_t i = 0; i < n; ++i) {
        const std::uint64_t slot = Load16(index + 2 * i);
        if (slot >= hashSize) return false;  // names no slot of the node table
        const std::uint8_t* node = image + nodeTable + TblNodeSize * slot;
        const std::uint64_t keyOffset = Load32(node + 7);
        const std::uint64_t valueOffset = Load32(node + 11);
        const std::uint32_t valueLength = Load16(node + 15);
        if (keyOffset < dataStart || keyOffset > fileSize) return false;
        if (valueOffset < dataStart || valueOffset > fileSize) return false;
        if (!reader.Entry(i, keyOffset, valueOffset, valueLength)) return false;
    }
    return true;
}

// The sink and the kept-bytes sink as a receiver.
class SinkReceiver final : public TableEntryReceiver {
public:
    SinkReceiver(const TableEntrySink& sink, const StoredBytesSink& stored) : sink_(sink), stored_(stored) {}
    void Entry(std::u16string_view key, std::u16string_view value) override { sink_(key.data(), value.data()); }
    bool WantsStored() const override { return static_cast<bool>(stored_); }
    void Stored(std::string_view keyBytes, std::string_view valueBytes) override { stored_(keyBytes, valueBytes); }

private:
    const TableEntrySink& sink_;
    const StoredBytesSink& stored_;
};

}  // namespace

bool ReadTblImage(const std::uint8_t* image, std::uint64_t size, TableEntryReceiver& receiver, const ReadLimits& limits,
                  ReadReport* report) {
    if (report) *report = ReadReport{};
    // Running out of memory, in the reader or in the receiver, ends the
    // read like any other failure; the entries delivered so far stay
    // delivered.
    bool ok = false;
    try {
        ok = ReadImage(image, size, receiver, limits.maxFileSize, report);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (report && !ok) report->failure = size > limits.maxFileSize ? ReadFailure::TooLarge : ReadFailure::Corrupt;
    return ok;
}

bool ReadTblImage(const std::uint8_t* image, std::uint64_t size, const TableEntrySink& sink, const ReadLimits& limits,
                  ReadReport* report, const StoredBytesSink& stored) {
    if (!sink) {
        if (report) {
            *report = ReadReport{};
            report->failure = size > limits.maxFileSize ? ReadFailure::TooLarge : ReadFailure::Corrupt;
        }
        return false;
    }
    SinkReceiver receiver(sink, stored);
    return ReadTblImage(image, size, receiver, limits, report);
}

bool ReadTblFile(const std::u16string& fileName, TableEntryReceiver& receiver, const ReadLimits& limits,
                 ReadReport* report) {
    if (report) *report = ReadReport{};
    platform::FileImage file;
    // One zero byte after the image ends every string at the latest there.
    const platform::ReadStatus status = fileName.empty()
                                            ? platform::ReadStatus::NotFound
                                            : platform::ReadWholeFile(fileName, limits.maxFileSize, 1, file);
    if (status != platform::ReadStatus::Ok) {
        if (report)
            report->failure =
                status == platform::ReadStatus::TooLarge ? ReadFailure::TooLarge : ReadFailure::Unreadable;
        return false;
    }
    return ReadTblImage(file.data.get(), file.size, receiver, limits, report);
}

bool ReadTblFile(const std::u16string& fileName, const TableEntrySink& sink, const ReadLimits& limits,
                 ReadReport* report, const StoredBytesSink& stored) {
    if (!sink) {
        if (report) {
            *report = ReadReport{};
            report->failure = ReadFailure::Unreadable;
        }
        return false;
    }
    SinkReceiver receiver(sink, stored);
    return ReadTblFile(fileName, receiver, limits, report);
}

}  // namespace vm
