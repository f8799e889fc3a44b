// The seam between the portable core and the operating system: file access
// and code-page conversion. Two implementations exist, Win32Platform.cpp
// (the Windows API) and PosixPlatform.cpp (POSIX calls and iconv); exactly
// one of them is linked. Nothing outside platform/ and toolkit/ includes a
// system header for these jobs.
//
// File names are UTF-16 everywhere in the core. The POSIX side turns them
// into proper UTF-8 (a surrogate pair becomes one four-byte sequence).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vm::platform {

// ---- Reading -------------------------------------------------------------

enum class ReadStatus {
    Ok,
    NotFound,   // missing, a directory, or the name is empty
    TooLarge,   // the file is larger than the limit passed in
    NoMemory,   // the buffer for the file could not be allocated
    IoError,    // it could not be opened or read completely
};

// A whole file read into memory. `data` holds `size` bytes followed by
// `padding` zero bytes (as asked for by the caller), so parsers can rely on
// a terminator after the last byte.
struct FileImage {
    std::unique_ptr<std::uint8_t[]> data;
    std::uint64_t size = 0;
};

// Reads the whole file. Fails with TooLarge, before allocating anything,
// when the file holds more than maxSize bytes. All sizes are 64-bit.
ReadStatus ReadWholeFile(const std::u16string& name, std::uint64_t maxSize,
                         std::size_t padding, FileImage& out);

// True when a regular file (not a directory) of that name exists.
bool FileExists(const std::u16string& name);

// ---- Writing -------------------------------------------------------------

// Writes a file so that the target is replaced only once every byte has
// been written: the bytes go to a temporary file beside the target, which
// is renamed over the target by Commit(). Destroying the writer without a
// successful Commit() removes the temporary file and leaves the target
// exactly as it was.
//
// Open() fails when the target is a directory, an existing read-only file,
// or lies in a directory that is missing or cannot be written. A replaced
// file keeps its permission bits (POSIX) or its hidden/system attributes
// (Windows). Once a Write() has failed, Commit() fails too: a file with a
// gap in it is never put in place.
class AtomicFileWriter {
public:
    AtomicFileWriter();
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool Open(const std::u16string& target);
    bool Write(const void* bytes, std::size_t count);
    bool Commit();   // flush, close, rename over the target
    void Abort();    // close and remove the temporary file

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Test seam for failing disks: when set (not null), it is called before
// every write of an AtomicFileWriter with the number of bytes written so
// far and the size of the coming write; returning false makes that write
// fail as if the disk were full.
using WriteFaultHook = bool (*)(std::uint64_t writtenSoFar, std::size_t count);
void SetWriteFaultHook(WriteFaultHook hook);

// ---- Code pages ----------------------------------------------------------

// The ANSI code page used for text files and settings. 0 means the
// system's own (on Windows the active code page, elsewhere 1252). Set from
// the command line of the CLI (--codepage N) or by tests.
extern int AnsiCodePage;

// The code page actually in effect (AnsiCodePage resolved).
int EffectiveCodePage();

// Decodes count bytes of the ANSI code page into UTF-16, replacing the
// contents of out. In a single-byte code page every byte decodes (a byte
// the code page leaves undefined maps to the unit of the same number), so
// single-byte decoding never fails and a narrow-wide-narrow round trip is
// lossless. Returns false, with out empty, when the conversion fails: an
// invalid or cut sequence in a multi-byte code page, or a code page the
// system does not know.
bool AnsiToWide(const char* bytes, std::size_t count, std::u16string& out);

// Encodes count UTF-16 units into the ANSI code page, replacing the
// contents of out. A character the code page cannot hold is written as "?"
// and `replaced` is set to true (it is never reset here, so a caller can
// collect it over many calls). A surrogate pair is one character (one "?");
// a lone surrogate is never mappable; in a code page the system does not
// know every character is a "?". When the result would exceed maxBytes it
// is cut at a character boundary: never inside a double-byte character or
// a surrogate pair.
void WideToAnsi(const char16_t* units, std::size_t count, std::size_t maxBytes,
                std::string& out, bool& replaced);

// ---- Names and arguments -------------------------------------------------

// The directory part of a file name, without the trailing separator; empty
// when the name has none. A root keeps its separator ("/" for "/x",
// "C:\" for "C:\x"), since without it the name would mean another place.
std::u16string DirectoryOf(const std::u16string& name);

// True for an absolute name (POSIX "/x"; Windows "C:\x", "\\server\x" or
// "\x").
bool IsAbsolutePath(const std::u16string& name);

// dir + separator + name.
std::u16string JoinPath(const std::u16string& dir, const std::u16string& name);

// The process's command-line arguments after the program name, as UTF-16.
// On Windows they are taken from the wide command line and argv is ignored.
std::vector<std::u16string> CommandLineArguments(int argc, char** argv);

// Proper UTF-8 <-> UTF-16 for file names and console text (surrogate pairs
// as four-byte sequences; invalid input becomes U+FFFD). A lone surrogate
// is written in its three-byte form and read back as itself, so every
// UTF-16 name has a UTF-8 name of its own. Not the table conversions,
// which follow their own rules.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace vm::platform
