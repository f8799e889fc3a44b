// What a read or a write has to tell beyond its Boolean result: why it
// failed, what a read did not take exactly, and which entries a text file
// cannot hold. Readers and writers fill these when the caller passes one;
// they never show anything themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/EntryCallbacks.h"
#include "formats/FormatOptions.h"
#include "platform/Platform.h"

namespace vm {

// ---- Reading ----------------------------------------------------------------

enum class ReadFailure {
    None,
    Unreadable,      // missing, empty or not readable
    TooLarge,        // larger than the read limit
    Corrupt,         // not a table of the format, or text that stops decoding
    IncludeOutside,  // an include line names a file outside the first file's folder
    IncludeBudget,   // the include lines pull in too many files, entries or bytes
};

// Why the text reader decoded a file as it did.
enum class EncodingReason {
    ByteOrderMark,   // the file starts with a byte-order mark
    Chosen,          // the caller named the encoding
    WellFormedUtf8,  // every byte sequence is UTF-8
    AnsiSingleByte,  // not UTF-8; the code page gives one character per byte
    AnsiMultiByte,   // not UTF-8, no zero byte, and the multi-byte code page decodes it
    ZeroBytes,       // not UTF-8, and zero bytes or no ANSI decoding: UTF-16LE
};

struct ReadReport {
    ReadFailure failure = ReadFailure::None;
    std::u16string failureName;  // the include named, for the include failures

    // Text only: the encoding of the first file and why.
    TextEncoding encoding = TextEncoding::Unicode;
    EncodingReason encodingReason = EncodingReason::Chosen;

    // What the read did not take exactly; the read itself succeeded.
    std::uint32_t missingIncludes = 0;  // include lines naming no readable file
    std::u16string firstMissingInclude;
    std::uint32_t deepIncludes = 0;  // include lines beyond the nesting limit, skipped
    std::u16string firstDeepInclude;
    std::uint32_t cutStrings = 0;  // keys or values cut at the reader's limit
    std::size_t firstCutEntry = 0;
    std::uint32_t shortLengths = 0;    // .tbl values longer than their stored length,
    std::size_t firstShortLength = 0;  // read up to it
    bool utf8ReadAsAnsi = false;       // looks like UTF-8 without a mark, but a broken
                                       // sequence made it ANSI

    bool AnyWarning() const {
        return missingIncludes != 0 || deepIncludes != 0 || cutStrings != 0 || shortLengths != 0 || utf8ReadAsAnsi;
    }
};

// ---- Writing ----------------------------------------------------------------

// Why a text file (or, TblTooLong, a .tbl file) cannot hold an entry exactly.
enum class TextLoss {
    EmptyKey,          // empty or spaces only: the line is skipped
    KeyWithTab,        // the key ends at the tab
    KeyWithComma,      // the key ends at the comma
    KeyWithComment,    // two slashes start a comment
    KeyStartsInclude,  // a leading "#" makes the line an include line
    LineBreakInKey,    // written as backslash-"n"
    CarriageReturn,    // a carriage return in the value is dropped
    Quote,             // a double quote in the value ends or restarts it
    ReadsAsHeader,     // the first line reads back as the header line
    StartsLikeMark,    // the file's first bytes read as a byte-order mark
    NotInCodePage,     // a character the ANSI code page lacks, written as "?"
    TooLong,           // longer than the writer writes or the reader takes back
    StoredForm,        // stored in a form its display form does not give back
                       // (a literal backslash and "n", a stray carriage return)
    FileTooLarge,      // the file grows beyond the size a read takes back
    TblTooLong,        // a key or value longer than the 65535 bytes of a .tbl string
};

struct TextLossEntry {
    std::size_t entry = 0;
    TextLoss reason = TextLoss::EmptyKey;
};

struct WriteReport {
    // In: write even when some entries cannot be stored exactly (the .tbl
    // writer cuts them). Without it the writer refuses such a table and
    // writes nothing.
    bool allowLossy = false;

    // Out.
    bool refusedAsLossy = false;
    platform::WriteError error = platform::WriteError::None;  // a failed file write
    std::size_t lossCount = 0;                                // entries the file cannot hold exactly
    std::vector<TextLossEntry> losses;                        // the first of them, in entry order
    bool replaced = false;                                    // ANSI: characters written as "?"
    bool encodingMustBeNamed = false;                         // ANSI: Autodetect would read it otherwise
    std::uint64_t bytes = 0;                                  // the size of the file written
};

inline constexpr std::size_t MaxReportedLosses = 10;

}  // namespace vm
