// Reading .tbl files: the header checks, the walk over the index array and
// the decoding of every key and value straight out of the file image.

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>
#include <vector>
#include <cstdint>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "CRC.h"
#include "ColorMacros.h"
#include "Global.h"
#include "FileReports.h"
#include "TblFile.h"
#include "platform/Platform.h"

namespace vm {

namespace {

inline std::uint16_t Load16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::uint64_t NodePrefetchDistance = 16;
// The room a key is first decoded into (see ReadImage).
constexpr std::size_t KeyRoomUnits = 256;

// Bits set in a 16-bit mask, without a call into the runtime where the
// processor's own count is not among the instructions compiled for.
inline unsigned CountBits16(unsigned x) {
    x -= (x >> 1) & 0x5555u;
    x = (x & 0x3333u) + ((x >> 2) & 0x3333u);
    x = (x + (x >> 4)) & 0x0F0Fu;
    return (x + (x >> 8)) & 0x1Fu;
}

inline void Prefetch([[maybe_unused]] const void* p) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(p);
#endif
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

// False when the n bytes of a string, decoded to its zero byte into
// `units` units, surely come back when the string is written again from
// what the reader makes of them: UTF-8 in the one form the writer makes,
// and in a value no backslash (a literal "\\n" or colour word) and no
// carriage return (dropped on reading). The decoder accepts more than that
// form: overlong forms (lead bytes C0, C1, E0 followed by 80..9F), four-byte
// sequences (F0 and above) and a three-byte sequence whose last byte is
// ASCII. The first three show in single bytes (E0 is let through to the
// exact comparison whatever follows it); the last makes fewer units than
// the string has bytes that are not continuation bytes, as every other
// sequence gives one unit per lead byte. Encoded surrogates are the
// writer's own form. Anything this does not clear gets the exact
// comparison.
inline bool MayNotComeBack(const std::uint8_t* p, std::size_t n, std::size_t units, bool value,
                           const std::uint8_t* readable) {
    std::size_t continuations = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // 16 bytes at a time; the last piece too, where 16 bytes from it can
    // be read (readable: the end of the image), with the bytes after the
    // string masked off.
    for (; i < n && (i + 16 <= n || static_cast<std::size_t>(readable - (p + i)) >= 16); i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const unsigned in = n - i >= 16 ? 0xFFFFu : (1u << (n - i)) - 1;
        // 80..BF are the signed bytes below -64.
        continuations += static_cast<std::size_t>(
            CountBits16(in & static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(b, _mm_set1_epi8(-64))))));
        __m128i odd = _mm_or_si128(
            _mm_cmpeq_epi8(_mm_and_si128(b, _mm_set1_epi8(static_cast<char>(0xFE))), _mm_set1_epi8(static_cast<char>(0xC0))),
            _mm_cmpeq_epi8(b, _mm_set1_epi8(static_cast<char>(0xE0))));
        odd = _mm_or_si128(odd, _mm_cmpeq_epi8(_mm_max_epu8(b, _mm_set1_epi8(static_cast<char>(0xF0))), b));
        if (value)
            odd = _mm_or_si128(odd, _mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('\\')),
                                                 _mm_cmpeq_epi8(b, _mm_set1_epi8('\r'))));
        if (in & static_cast<unsigned>(_mm_movemask_epi8(odd))) return true;
    }
#else
    (void)readable;
#endif
    for (; i < n; ++i) {
        const std::uint8_t b = p[i];
        if ((b & 0xC0u) == 0x80u) ++continuations;
        if (b == 0xC0 || b == 0xC1 || b == 0xE0 || b >= 0xF0) return true;
        if (value && (b == '\\' || b == '\r')) return true;
    }
    return units != n - continuations;
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

#if defined(__SSE2__)
// Writes the 16 bytes at s widened to 16 units at dest, whatever they are
// (the caller decides how many of them count), and gives the bytes back.
inline __m128i Widen16(const std::uint8_t* s, char16_t* dest) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_unpacklo_epi8(b, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 8), _mm_unpackhi_epi8(b, zero));
    return b;
}
// The bytes of b that are zero or not ASCII: their top bit set.
inline __m128i ZeroOrNotAscii(__m128i b) { return _mm_or_si128(b, _mm_cmpeq_epi8(b, _mm_setzero_si128())); }
#endif

// Widens the ASCII bytes at the start of s into dest, at most limit of them,
// up to the first zero byte or byte of 0x80 and above, and returns how
// many it took (a zero unit follows them in dest). That is what the exact
// decoder makes of them, and a string ending there needs nothing more;
// otherwise the decoder goes on from the first other byte. lineBreaks and
// backslashes tell whether the bytes taken hold LF or CR, and "\": for a
// string of ASCII alone, what the checks for colour codes and for bytes to
// keep would otherwise scan it for again. Whole 16-byte blocks are read
// while they end at readable at the latest (the zero byte after the image)
// and dest has room for 16 more units below maxUnits.
inline std::size_t WidenAscii(const std::uint8_t* s, const std::uint8_t* readable, std::size_t limit,
                              std::size_t maxUnits, char16_t* dest, bool& lineBreaks, bool& backslashes) {
    std::size_t i = 0;
#if defined(__SSE2__)
    unsigned breaks = 0, slashes = 0;
    while (static_cast<std::size_t>(readable - (s + i)) >= 16 && i + 16 <= maxUnits) {
        const __m128i b = Widen16(s + i, dest + i);
        const auto other = static_cast<unsigned>(_mm_movemask_epi8(ZeroOrNotAscii(b)));
        const std::size_t run = std::min<std::size_t>(other ? static_cast<std::size_t>(std::countr_zero(other)) : 16, limit - i);
        const unsigned taken = run >= 16 ? 0xFFFFu : (1u << run) - 1;
        breaks |= taken & static_cast<unsigned>(_mm_movemask_epi8(
                              _mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(b, _mm_set1_epi8('\r')))));
        slashes |= taken & static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, _mm_set1_epi8('\\'))));
        i += run;
        if (run < 16) {
            dest[i] = 0;
            lineBreaks = breaks != 0;
            backslashes = slashes != 0;
            return i;
        }
    }
    lineBreaks = breaks != 0;
    backslashes = slashes != 0;
#else
    (void)readable;
    (void)maxUnits;
    lineBreaks = backslashes = false;
#endif
    for (; i < limit; ++i) {
        const std::uint8_t b = s[i];
        if (b == 0 || b >= 0x80) break;
        lineBreaks |= b == '\n' || b == '\r';
        backslashes |= b == '\\';
        dest[i] = static_cast<char16_t>(b);
    }
    dest[i] = 0;
    return i;
}

// A string decoded as the exact decoder does it: units written to dest
// (zero-terminated), bytes taken, and whether it is ASCII alone, with the
// flags WidenAscii gives for such a string.
struct Decoded {
    std::size_t units;
    std::size_t bytes;
    bool ascii;
    bool lineBreaks;
    bool backslashes;
};

inline Decoded Decode(const std::uint8_t* s, const std::uint8_t* readable, std::size_t maxChars, char16_t* dest,
                      std::size_t destUnits) {
    Decoded d{};
    const std::size_t maxUnits = destUnits - 1;
    const std::size_t limit = std::min(maxChars, maxUnits);
    const std::size_t run = WidenAscii(s, readable, limit, maxUnits, dest, d.lineBreaks, d.backslashes);
    if (run == limit || s[run] == 0) {
        d.units = d.bytes = run;
        d.ascii = true;
        return d;
    }
    std::size_t rest = 0;
    d.units = run + Utf8ToUtf16(dest + run, (destUnits - run) * 2, reinterpret_cast<const char*>(s + run),
                                maxChars - run, &rest);
    d.bytes = run + rest;
    return d;
}

// The common strings of a table in one pass each, straight into the room
// they are kept in. Each returns false for a string it does not take, and
// the exact routines above decode that string instead (from its start), so
// what these take must be exactly what those make of it.
#if defined(__SSE2__)
// A key of ASCII alone (no zero byte before its end), short enough for
// the first room (units + 2 < destUnits, as ReadImage asks of a key in that
// room): widened 16 bytes at a time. Such a key is whole and comes back
// as it was. Blocks are read while they end at readable at the latest.
inline bool PlainKey(const std::uint8_t* s, const std::uint8_t* readable, char16_t* dest, std::size_t destUnits,
                     std::size_t& units) {
    for (std::size_t i = 0; static_cast<std::size_t>(readable - (s + i)) >= 16 && i + 19 <= destUnits; i += 16) {
        const __m128i b = Widen16(s + i, dest + i);
        const auto other = static_cast<unsigned>(_mm_movemask_epi8(ZeroOrNotAscii(b)));
        if (!other) continue;
        const std::size_t end = i + static_cast<std::size_t>(std::countr_zero(other));
        if (s[end] != 0) return false;
        dest[end] = 0;
        units = end;
        return true;
    }
    return false;
}

// A value of ASCII other than CR and "\", of letters of two and three
// bytes (not U+0800..U+0FFF, whose lead byte may start an overlong form)
// and of complete colour codes (U+00FF, "c", a code character from "/" to
// ";"), whole before maxChars:
// its display form written into dest, a room of destUnits units (line
// feeds as "\n", codes as their macro words), its length in units and the
// bytes it took. Such a value needs no bytes kept: written again it gives
// back its bytes. The display form is never more than twice the bytes (a
// 4-byte code becomes at most 8 units); the blocks written may reach up to
// 24 units past it.
inline bool PlainValue(const std::uint8_t* s, const std::uint8_t* readable, std::size_t maxChars, char16_t* dest,
                       std::size_t destUnits, std::size_t& displayed, std::size_t& bytes) {
    const __m128i lineFeed = _mm_set1_epi8('\n'), carriageReturn = _mm_set1_epi8('\r');
    const __m128i backslash = _mm_set1_epi8('\\');
    std::size_t i = 0, o = 0;
    for (;;) {
        // 16 units written and the longest macro word after them, and the
        // zero unit, all within dest.
        if (static_cast<std::size_t>(readable - (s + i)) < 16 || o + 25 > destUnits || i >= maxChars) return false;
        const __m128i b = Widen16(s + i, dest + o);
        const __m128i special =
            _mm_or_si128(ZeroOrNotAscii(b),
                         _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, lineFeed), _mm_cmpeq_epi8(b, carriageReturn)),
                                      _mm_cmpeq_epi8(b, backslash)));
        const auto found = static_cast<unsigned>(_mm_movemask_epi8(special));
        if (!found) {
            i += 16;
            o += 16;
            continue;
        }
        const auto run = static_cast<std::size_t>(std::countr_zero(found));
        i += run;
        o += run;
        const std::uint8_t c = s[i];
        if (c == 0) break;
        if (c == '\n') {
            dest[o] = u'\\';
            dest[o + 1] = u'n';
            o += 2;
            i += 1;
        } else if (c == 0xC3 && s[i + 1] == 0xBF) {
            // U+00FF starts a colour code when "c" follows; alone it is
            // itself.
            if (s[i + 2] != 'c') {
                dest[o++] = 0xFF;
                i += 2;
                continue;
            }
            if (static_cast<unsigned>(s[i + 3] - '/') > static_cast<unsigned>(';' - '/')) return false;
            for (const char16_t* w = ColorMacroTable[s[i + 3] - '/'].word; *w; ++w) dest[o++] = *w;
            i += 4;
        } else if (c < 0x80) {
            return false;
        } else {
            // Letters of two or three bytes in the form the writer makes of
            // them (no overlong form, no ASCII among the continuation
            // bytes), one unit each, while they follow one another.
            do {
                if (o + 25 > destUnits || i >= maxChars) return false;
                const unsigned b1 = s[i], b2 = s[i + 1];
                if ((b2 & 0xC0u) != 0x80u || (b1 == 0xC3 && b2 == 0xBF)) return false;
                if (b1 >= 0xC2 && b1 < 0xE0) {
                    dest[o++] = static_cast<char16_t>(((b1 & 0x1Fu) << 6) | (b2 & 0x3Fu));
                    i += 2;
                } else if (b1 >= 0xE1 && b1 < 0xF0 && (s[i + 2] & 0xC0u) == 0x80u) {
                    dest[o++] = static_cast<char16_t>(((b1 & 0x0Fu) << 12) | ((b2 & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu));
                    i += 3;
                } else {
                    return false;
                }
            } while (s[i] >= 0x80);
        }
    }
    // Every character takes one byte or more, so fewer bytes than maxChars
    // means the decoder reached the zero byte.
    if (i >= maxChars) return false;
    dest[o] = 0;
    displayed = o;
    bytes = i;
    return true;
}
#else
inline bool PlainKey(const std::uint8_t*, const std::uint8_t*, char16_t*, std::size_t, std::size_t&) { return false; }
inline bool PlainValue(const std::uint8_t*, const std::uint8_t*, std::size_t, char16_t*, std::size_t, std::size_t&,
                       std::size_t&) {
    return false;
}
#endif

// The bytes of the string at offset up to its zero byte (image[size] is
// one, at the latest).
std::string_view StringAt(const std::uint8_t* image, std::uint64_t size, std::uint64_t offset) {
    const void* zero = std::memchr(image + offset, 0, static_cast<std::size_t>(size + 1 - offset));
    return std::string_view(reinterpret_cast<const char*>(image + offset),
                            static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - (image + offset)));
}

// One read of an image: what every entry needs, and the entries that are
// not plain, one at a time by the exact routines.
class ImageReader {
public:
    ImageReader(const std::uint8_t* image, std::uint64_t size, TableEntryReceiver& receiver, ReadReport* report)
        : image_(image), size_(size), readable_(image + size + 1), receiver_(receiver), report_(report),
          wantsStored_(receiver.WantsStored()),
          stringUnits_(static_cast<std::size_t>(std::min<std::uint64_t>(KeyBufferUnits, size + 1))),
          budget_(size > UINT64_MAX / TblStringBudgetFactor ? UINT64_MAX : TblStringBudgetFactor * size) {}

    // A string in the image has at most `size` bytes and so at most `size`
    // units (stringUnits).
    std::size_t StringUnits() const { return stringUnits_; }

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

    // Entry i by the exact routines: false when the read must fail.
    bool Entry(std::uint64_t i, std::uint64_t keyOffset, std::uint64_t valueOffset, std::uint32_t valueLength);

private:
    // Scratch buffers, made when first needed; their contents are always
    // written before they are read, so they are not cleared. A display form
    // is at most 8/3 as long as its string (plus one final "\color;"), so a
    // small file gets small buffers; the results are the same.
    void MakeBuffers() {
        if (keyBuffer_) return;
        keyBuffer_ = std::make_unique_for_overwrite<char16_t[]>(stringUnits_);
        valueBuffer_ = std::make_unique_for_overwrite<char16_t[]>(stringUnits_);
        displayBuffer_ = std::make_unique_for_overwrite<char16_t[]>(
            std::min<std::size_t>(DisplayBufferUnits, 3 * stringUnits_ + 8));
    }

    const std::uint8_t* image_;
    std::uint64_t size_;
    const std::uint8_t* readable_;
    TableEntryReceiver& receiver_;
    ReadReport* report_;
    bool wantsStored_;
    std::size_t stringUnits_;
    std::uint64_t budget_;
    std::unique_ptr<char16_t[]> keyBuffer_, valueBuffer_, displayBuffer_;
    WriteBack writeBack_;
};

bool ImageReader::Entry(std::uint64_t i, std::uint64_t keyOffset, std::uint64_t valueOffset,
                        std::uint32_t valueLength) {
    MakeBuffers();
    const std::uint8_t* image = image_;
    // A stored length of 0 (a 65535-byte value whose length wrapped) takes
    // the value up to its zero byte.
    const std::size_t valueChars = valueLength == 0 ? KeyBufferUnits : valueLength;
    // A value decodes to at most two units per character, so a room of
    // that many units gives the same units as the full buffer.
    const std::size_t valueRoom = std::min(stringUnits_, 2 * valueChars + 1);
    char16_t* valueUnits = receiver_.ValueRoom(valueRoom);
    if (!valueUnits) valueUnits = valueBuffer_.get();
    const Decoded value = Decode(image + valueOffset, readable_, valueChars, valueUnits, valueRoom);
    // A key's length is known only once it is decoded: most are short and
    // go into a small room; one that fills it (so that the room may have
    // ended it) is decoded again into the full buffer.
    const std::size_t keyRoom = std::min(stringUnits_, KeyRoomUnits);
    char16_t* keyUnitsAt = receiver_.KeyRoom(keyRoom);
    Decoded key{};
    if (keyUnitsAt) key = Decode(image + keyOffset, readable_, KeyBufferUnits, keyUnitsAt, keyRoom);
    if (!keyUnitsAt || (keyRoom < stringUnits_ && key.units + 2 >= keyRoom)) {
        keyUnitsAt = keyBuffer_.get();
        key = Decode(image + keyOffset, readable_, KeyBufferUnits, keyUnitsAt, stringUnits_);
    }
    const std::size_t units = value.units, valueBytes = value.bytes;
    const std::size_t keyUnits = key.units, keyBytes = key.bytes;
    if (!Spend(keyBytes + valueBytes)) return false;
    // A string that stops decoding before its zero byte (too long, or a
    // sequence that is not UTF-8) is cut; a value that ends at its stored
    // length is whole.
    const bool keyCut = image[keyOffset + keyBytes] != 0, valueCut = image[valueOffset + valueBytes] != 0;
    if (report_ && (keyCut || (valueCut && (valueLength == 0 || valueBytes + 1 < valueLength)))) {
        if (report_->cutStrings++ == 0) report_->firstCutEntry = static_cast<std::size_t>(i);
    }
    // Most values hold no colour code or line break and are their own
    // display form; their bytes tell, read where they lie in the file.
    const char16_t* display = valueUnits;
    std::size_t displayed = units;
    const bool mayHoldCodes = value.ascii ? value.lineBreaks : Utf8MayHoldCodes(image + valueOffset, valueBytes);
    if (mayHoldCodes) {
        displayed = ColorCodesToMacrosCounted(display, units, displayBuffer_.get());
        display = displayBuffer_.get();
    }
    receiver_.Entry(std::u16string_view(keyUnitsAt, keyUnits), std::u16string_view(display, displayed));

    if (!wantsStored_) return true;
    // The bytes of a string that would not come back are handed on; a
    // string cut by the reader never comes back.
    std::string_view keptKey, keptValue;
    // A key of as many units as bytes is ASCII, which always comes back.
    if (keyCut || (keyUnits != keyBytes && MayNotComeBack(image + keyOffset, keyBytes, keyUnits, false, readable_))) {
        const std::string_view bytes = StringAt(image, size_, keyOffset);
        if (keyCut || !writeBack_.Same(keyUnitsAt, keyUnits, false, bytes)) keptKey = bytes;
    }
    // So does an ASCII value without a carriage return (it has no code
    // either) and without a backslash.
    const bool asciiValue = !valueCut && units == valueBytes && !mayHoldCodes;
    if (asciiValue ? (value.ascii ? value.backslashes : std::memchr(image + valueOffset, '\\', valueBytes) != nullptr)
                   : valueCut || MayNotComeBack(image + valueOffset, valueBytes, units, true, readable_)) {
        const std::string_view bytes = StringAt(image, size_, valueOffset);
        if (valueCut || !writeBack_.Same(display, displayed, true, bytes)) keptValue = bytes;
    }
    if (keptKey.empty() && keptValue.empty()) return true;
    if (!Spend(keptKey.size() + keptValue.size())) return false;
    receiver_.Stored(keptKey, keptValue);
    return true;
}

// Plain entries (see PlainKey and PlainValue) are decoded one after another
// into rooms of the receiver that hold many of them, and handed over in
// batches; see TableEntryReceiver.
class PlainBatch {
public:
    explicit PlainBatch(TableEntryReceiver& receiver) : receiver_(receiver) {}

    // Room for a key of keyUnits and a value of valueUnits units (zero
    // units included) after the pending entries; false when the receiver
    // gives none.
    bool Room(std::size_t keyUnits, std::size_t valueUnits) {
        if (keyLeft_ >= keyUnits && valueLeft_ >= valueUnits) return true;
        Flush();
        if (noRooms_) return false;
        keyAt_ = receiver_.KeyRoom(std::max(keyUnits, BatchRoomUnits));
        valueAt_ = receiver_.ValueRoom(std::max(valueUnits, BatchRoomUnits));
        if (!keyAt_ || !valueAt_) {
            noRooms_ = true;
            Forget();
            return false;
        }
        keyLeft_ = std::max(keyUnits, BatchRoomUnits);
        valueLeft_ = std::max(valueUnits, BatchRoomUnits);
        return true;
    }
    char16_t* KeyAt() const { return keyAt_; }
    char16_t* ValueAt() const { return valueAt_; }

    std::size_t ValueLeft() const { return valueLeft_; }

    // The key and value just written at KeyAt and ValueAt. An empty string
    // takes no room: a receiver keeps none for it.
    void Add(std::size_t keyUnits, std::size_t valueUnits) {
        keys_[pending_] = Take(keyAt_, keyLeft_, keyUnits);
        values_[pending_] = Take(valueAt_, valueLeft_, valueUnits);
        if (++pending_ == BatchEntries) Flush();
    }

    // Hands the pending entries over.
    void Flush() {
        if (pending_ == 0) return;
        const std::size_t count = pending_;
        pending_ = 0;
        receiver_.Entries(keys_, values_, count);
    }

    // Before an entry the batch does not take: the pending ones go first,
    // and that entry may leave anything in the receiver's rooms.
    void Interrupt() {
        Flush();
        Forget();
    }

private:
    static constexpr std::size_t BatchEntries = 64;
    static constexpr std::size_t BatchRoomUnits = 8192;

    static std::u16string_view Take(char16_t*& at, std::size_t& left, std::size_t units) {
        if (units == 0) return std::u16string_view(u"", 0);
        const std::u16string_view text(at, units);
        at += units + 1;
        left -= units + 1;
        return text;
    }

    void Forget() {
        keyAt_ = valueAt_ = nullptr;
        keyLeft_ = valueLeft_ = 0;
    }

    TableEntryReceiver& receiver_;
    char16_t* keyAt_ = nullptr;
    char16_t* valueAt_ = nullptr;
    std::size_t keyLeft_ = 0, valueLeft_ = 0;
    bool noRooms_ = false;
    std::size_t pending_ = 0;
    std::u16string_view keys_[BatchEntries];
    std::u16string_view values_[BatchEntries];
};

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

    ImageReader reader(image, size, receiver, report);
    PlainBatch batch(receiver);
    // Entries handed over before a failure stay handed over.
    const auto fail = [&batch] {
        batch.Flush();
        return false;
    };
    const std::uint8_t* readable = image + size + 1;
    const std::size_t keyRoom = std::min(reader.StringUnits(), KeyRoomUnits);
    const std::uint8_t* index = image + TblHeaderSize;
    for (std::uint64_t i = 0; i < n; ++i) {
        // The nodes lie in hash order, all over the node table: asking for
        // one a few entries ahead hides the wait for memory.
        if (i + NodePrefetchDistance < n) {
            const std::uint64_t ahead = Load16(index + 2 * (i + NodePrefetchDistance));
            if (ahead < hashSize) Prefetch(image + nodeTable + TblNodeSize * ahead);
        }
        const std::uint64_t slot = Load16(index + 2 * i);
        if (slot >= hashSize) return fail();  // names no slot of the node table
        const std::uint8_t* node = image + nodeTable + TblNodeSize * slot;
        const std::uint64_t keyOffset = Load32(node + 7);
        const std::uint64_t valueOffset = Load32(node + 11);
        const std::uint32_t valueLength = Load16(node + 15);
        if (keyOffset < dataStart || keyOffset > fileSize) return fail();
        if (valueOffset < dataStart || valueOffset > fileSize) return fail();

        // Most entries are plain: key and value go straight into the
        // receiver's rooms in one pass each, are whole and need no bytes
        // kept. A plain value's display form takes at most two units per
        // byte, and it has fewer bytes than valueChars; the room holds that
        // and what the block-wise writing may put after it.
        const std::size_t valueChars = valueLength == 0 ? KeyBufferUnits : valueLength;
        std::size_t keyUnits = 0, displayed = 0, valueBytes = 0;
        if (batch.Room(keyRoom, 2 * valueChars + 32) &&
            PlainValue(image + valueOffset, readable, valueChars, batch.ValueAt(), batch.ValueLeft(), displayed,
                       valueBytes) &&
            PlainKey(image + keyOffset, readable, batch.KeyAt(), keyRoom, keyUnits)) {
            if (!reader.Spend(keyUnits + valueBytes)) return fail();
            batch.Add(keyUnits, displayed);
            continue;
        }
        batch.Interrupt();
        if (!reader.Entry(i, keyOffset, valueOffset, valueLength)) return false;
    }
    batch.Flush();
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
    const platform::ReadStatus status =
        fileName.empty() ? platform::ReadStatus::NotFound : platform::ReadWholeFile(fileName, limits.maxFileSize, 1, file);
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
