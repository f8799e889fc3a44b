// The seam between the portable core and the operating system: file access
// and code-page conversion. Two implementations exist, Win32Platform.cpp
// (the Windows API) and PosixPlatform.cpp (POSIX calls and iconv); exactly
// one of them is linked. Nothing outside platform/ and toolkit/ includes a
// system header for these jobs.
//
// File names are UTF-16 everywhere in the core. The POSIX side turns them
// into UTF-8 (a surrogate pair becomes one four-byte sequence), and a name
// the system gives as bytes that are not UTF-8 comes back as those very
// bytes (see FromUtf8).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace vm::platform {

// ---- Large buffers -------------------------------------------------------

// Memory for buffers of half a megabyte and more (file images, table text,
// the image of a written table). On Linux it is mapped on its own, aligned
// to 2 MiB and marked for transparent huge pages, so that filling a few
// MiB takes a handful of page faults instead of one per 4 KiB page (on
// virtual machines a fault costs about 10 microseconds); a few freed
// blocks are kept for the next request of the same size. The memory is
// not cleared. AllocateLarge returns null when refused; FreeLarge takes
// the size that was asked for.
void* AllocateLarge(std::size_t bytes);
void FreeLarge(void* block, std::size_t bytes);

// Buffers from this size on come from AllocateLarge, smaller ones from the
// heap.
inline constexpr std::size_t LargeBufferBytes = std::size_t{512} << 10;

// A buffer of any size by the rule above; null when refused. FreeBuffer
// takes the size that was asked for.
// Builds with AddressSanitizer take every buffer from the heap, where the
// sanitizer watches its bounds.
#if defined(__SANITIZE_ADDRESS__)
#define VM_HEAP_BUFFERS_ONLY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VM_HEAP_BUFFERS_ONLY 1
#endif
#endif

inline bool IsLargeBuffer([[maybe_unused]] std::size_t bytes) {
#ifdef VM_HEAP_BUFFERS_ONLY
    return false;
#else
    return bytes >= LargeBufferBytes;
#endif
}

inline void* AllocateBuffer(std::size_t bytes) {
    if (IsLargeBuffer(bytes)) return AllocateLarge(bytes);
    return ::operator new(bytes == 0 ? 1 : bytes, std::nothrow);
}

inline void FreeBuffer(void* block, std::size_t bytes) {
    if (!block) return;
    if (IsLargeBuffer(bytes)) FreeLarge(block, bytes);
    else ::operator delete(block);
}

struct BufferDeleter {
    std::size_t bytes = 0;
    void operator()(std::uint8_t* block) const { FreeBuffer(block, bytes); }
};
using BufferPtr = std::unique_ptr<std::uint8_t[], BufferDeleter>;

// A standard allocator over AllocateBuffer, for containers that may grow
// to megabytes. Elements made without a value are default-initialised, so
// resize() leaves the bytes of a vector of bytes as they are (a buffer
// that is about to be written costs no clearing).
template <class T>
struct BufferAllocator {
    using value_type = T;
    BufferAllocator() = default;
    template <class U>
    BufferAllocator(const BufferAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        if (void* p = AllocateBuffer(n * sizeof(T))) return static_cast<T*>(p);
        throw std::bad_alloc();
    }
    void deallocate(T* p, std::size_t n) noexcept { FreeBuffer(p, n * sizeof(T)); }
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U>
    bool operator==(const BufferAllocator<U>&) const noexcept {
        return true;
    }
};

// ---- Reading -------------------------------------------------------------

enum class ReadStatus {
    Ok,
    NotFound,  // missing, a directory, or the name is empty
    TooLarge,  // the file is larger than the limit passed in
    NoMemory,  // the buffer for the file could not be allocated
    IoError,   // it could not be opened or read completely
};

// A whole file read into memory. `data` holds `size` bytes followed by
// `padding` zero bytes (as asked for by the caller), so parsers can rely on
// a terminator after the last byte.
struct FileImage {
    BufferPtr data;
    std::uint64_t size = 0;
};

// Reads the whole file. Fails with TooLarge, before allocating anything,
// when the file holds more than maxSize bytes. All sizes are 64-bit.
ReadStatus ReadWholeFile(const std::u16string& name, std::uint64_t maxSize, std::size_t padding, FileImage& out);

// True when a regular file (not a directory) of that name exists.
bool FileExists(const std::u16string& name);

// True when a directory of that name exists.
bool FolderExists(const std::u16string& name);

// The names (without the folder) of the regular files directly in folder,
// sorted by their UTF-16 units; empty when the folder cannot be read.
std::vector<std::u16string> FilesInFolder(const std::u16string& folder);

// The size in bytes of a regular file of that name, 0 when there is none;
// a hint for sizing buffers before the file is read.
std::uint64_t FileSizeOf(const std::u16string& name);

// ---- Writing -------------------------------------------------------------

// Why a write failed.
enum class WriteError {
    None,
    DiskFull,            // no space left (or the quota is used up)
    PermissionDenied,    // the system refused access to the file or its folder
    ReadOnlyFileSystem,  // the file or its folder lies on a read-only file system
    ReadOnlyFile,        // the file is marked read-only
    NoFolder,            // the folder of the file does not exist
    IsDirectory,         // the name is a directory
    FileTooLarge,        // the file system does not take a file that large
    BadName,             // the name is empty or cannot be a file name
    Other,               // anything else the system reports
};

// Writes a file so that the target is replaced only once every byte has
// been written: the bytes go to a temporary file beside the target, which
// is renamed over the target by Commit(). Destroying the writer without a
// successful Commit() removes the temporary file and leaves the target
// exactly as it was.
//
// When the target exists and may be written but its folder may not (no
// temporary file can be made beside it), the file is rewritten in place
// instead: the new bytes are collected in memory, and Commit() writes them
// over the old ones while it keeps the old bytes, which it puts back when
// any step fails. Interrupt signals wait until that is done.
//
// Open() fails when the target is a directory, an existing read-only file,
// or lies in a directory that is missing or cannot be written (and the
// file cannot be rewritten in place). A replaced file keeps its permission
// bits (POSIX) or its hidden/system attributes (Windows). Once a Write()
// has failed, Commit() fails too: a file with a gap in it is never put in
// place. Error() tells why the last call failed.
class AtomicFileWriter {
public:
    AtomicFileWriter();
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool Open(const std::u16string& target);
    bool Write(const void* bytes, std::size_t count);
    bool Commit();  // flush, close, rename over the target
    void Abort();   // close and remove the temporary file
    WriteError Error() const;
    bool InPlace() const;  // rewriting the target itself (its folder is not writable)

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files of the
// writers that are open at that moment before the process ends (POSIX;
// Windows: Ctrl+C and closing the console). For command-line programs; a
// window program keeps the default handling.
void RemoveTemporaryFilesOnInterrupt();

// ---- Include names -------------------------------------------------------

// True for a name that does not lie below a folder it is joined to: an
// absolute name, and on Windows also a drive ("C:x"), a UNC name or a
// device name ("\\.\x", "\\?\x").
bool NamesRootOrDrive(const std::u16string& name);

// Where a relative name, taken from folder, leads.
enum class PlaceOfName {
    Inside,   // an existing file inside folder (links and ".." resolved)
    Outside,  // a name that leads out of folder, by ".." or through a link
    Missing,  // no existing file of that name, and not outside by its spelling
};
// Looks only at the spelling first: a name whose ".." parts climb above
// folder is Outside without any look at the disk. Otherwise both are
// resolved on disk (links included) and compared.
PlaceOfName PlaceInFolder(const std::u16string& folder, const std::u16string& relativeName);

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
void WideToAnsi(const char16_t* units, std::size_t count, std::size_t maxBytes, std::string& out, bool& replaced);

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

// UTF-8 <-> UTF-16 for file names and console text (surrogate pairs as
// four-byte sequences). A byte that is not part of a well-formed UTF-8
// sequence is read as the lone surrogate U+DC00 + byte and written back as
// that byte, so any byte string, a POSIX file name in any encoding,
// survives FromUtf8 then ToUtf8 exactly. Other lone surrogates are written
// in their three-byte form. Not the table conversions, which follow their
// own rules.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace vm::platform
