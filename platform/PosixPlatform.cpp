// The platform layer on POSIX systems: files through open/read/write/
// rename, code pages through iconv. File names are UTF-16 in the core and
// proper UTF-8 here.

// Sizes and offsets are 64-bit on every target, 32-bit ones included.
#define _FILE_OFFSET_BITS 64

#include "platform/FileBuffer.h"
#include "platform/Platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <random>
#include <vector>

#include "platform/NameRules.h"
#include "platform/ProperUtf8.h"

namespace vm::platform {

namespace {

// A name the file calls can take: UTF-8, and no embedded zero unit (which
// would silently cut the name short at the system call).
bool NativeName(const std::u16string& name, std::string& out) {
    if (name.empty() || name.find(u'\0') != std::u16string::npos) return false;
    out = ToUtf8(name);
    return true;
}

std::string NativeDirectoryOf(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    if (slash == std::string::npos) return ".";
    std::size_t end = slash;
    while (end > 0 && name[end - 1] == '/') --end;
    return end == 0 ? std::string("/") : name.substr(0, end);
}

void CloseQuietly(int fd) {
    if (fd >= 0) ::close(fd);
}

std::atomic<WriteFaultHook> g_writeFaultHook{nullptr};

}  // namespace

// ---- Large buffers -------------------------------------------------------

namespace {

constexpr std::size_t HugePageBytes = std::size_t{2} << 20;

std::size_t LargeSpan(std::size_t bytes) { return (bytes + HugePageBytes - 1) & ~(HugePageBytes - 1); }

// A few freed blocks are kept for the next request of the same span: a
// table read or written again (a reload, a save after an edit) then finds
// its buffers mapped already. Their pages are marked free, so the kernel
// may take them back when memory runs short, except those of the block
// freed last while it is small: it is the one the next request most
// likely takes (reading a file frees its image right before the next read
// wants one), and marking its pages costs a flush of the address
// translations each time, about as much as reading the file. It is marked
// as soon as another block is freed.
class BlockCache {
public:
    void* Take(std::size_t span) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = blocks_.size(); i-- > 0;) {
            if (blocks_[i].span != span) continue;
            void* block = blocks_[i].block;
            total_ -= span;
            blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(i));
            return block;
        }
        return nullptr;
    }

    void Put(void* block, std::size_t span) {
        if (span > MaxTotal) {
            ::munmap(block, span);
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (!blocks_.empty()) MarkFree(blocks_.back());
        while (!blocks_.empty() && (blocks_.size() >= MaxBlocks || total_ + span > MaxTotal)) {
            ::munmap(blocks_.front().block, blocks_.front().span);  // the oldest goes first
            total_ -= blocks_.front().span;
            blocks_.erase(blocks_.begin());
        }
        blocks_.push_back(Cached{block, span, false});
        total_ += span;
        if (span > HotBytes) MarkFree(blocks_.back());
    }

private:
    static constexpr std::size_t MaxBlocks = 8;
    static constexpr std::size_t MaxTotal = std::size_t{64} << 20;
    static constexpr std::size_t HotBytes = std::size_t{8} << 20;
    struct Cached {
        void* block;
        std::size_t span;
        bool marked;
    };
    static void MarkFree(Cached& cached) {
        if (cached.marked) return;
#ifdef MADV_FREE
        ::madvise(cached.block, cached.span, MADV_FREE);
#endif
        cached.marked = true;
    }
    std::mutex mutex_;
    std::vector<Cached> blocks_;
    std::size_t total_ = 0;
};

BlockCache& Cache() {
    static BlockCache* cache = new BlockCache;  // never destroyed: blocks may be freed at exit
    return *cache;
}

}  // namespace

void* AllocateLarge(std::size_t bytes) {
    if (bytes == 0 || bytes > SIZE_MAX - 2 * HugePageBytes) return nullptr;
    const std::size_t span = LargeSpan(bytes);
    if (void* cached = Cache().Take(span)) return cached;
    // One huge page more than needed is mapped, and what lies before and
    // after the aligned span is given back.
    void* raw = ::mmap(nullptr, span + HugePageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + HugePageBytes - 1) & ~std::uintptr_t{HugePageBytes - 1};
    if (aligned > start) ::munmap(raw, aligned - start);
    const std::uintptr_t end = start + span + HugePageBytes;
    if (end > aligned + span) ::munmap(reinterpret_cast<void*>(aligned + span), end - (aligned + span));
#ifdef MADV_HUGEPAGE
    // Only a request: where huge pages are off, 4 KiB pages serve.
    ::madvise(reinterpret_cast<void*>(aligned), span, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

void FreeLarge(void* block, std::size_t bytes) {
    if (block) Cache().Put(block, LargeSpan(bytes));
}

// ---- Reading -------------------------------------------------------------

ReadStatus ReadWholeFile(const std::u16string& name, std::uint64_t maxSize, std::size_t padding, FileImage& out) {
    out.data.reset();
    out.size = 0;
    std::string path;
    if (!NativeName(name, path)) return ReadStatus::NotFound;

    // O_NONBLOCK keeps a FIFO from stalling the open; it changes nothing
    // for regular files.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return (errno == ENOENT || errno == ENOTDIR || errno == EISDIR) ? ReadStatus::NotFound : ReadStatus::IoError;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        CloseQuietly(fd);
        return ReadStatus::IoError;
    }
    if (S_ISDIR(st.st_mode)) {
        CloseQuietly(fd);
        return ReadStatus::NotFound;
    }
    if (!S_ISREG(st.st_mode) || st.st_size < 0) {
        CloseQuietly(fd);
        return ReadStatus::IoError;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    BufferPtr data;
    if (const ReadStatus status = detail::AllocateFileBuffer(size, maxSize, padding, data); status != ReadStatus::Ok) {
        CloseQuietly(fd);
        return status;
    }
    const std::size_t bytes = static_cast<std::size_t>(size);

    std::size_t done = 0;
    while (done < bytes) {
        const std::size_t chunk = std::min<std::size_t>(bytes - done, std::size_t{1} << 30);
        const ssize_t n = ::read(fd, data.get() + done, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {  // an error, or the file shrank under us
            CloseQuietly(fd);
            return ReadStatus::IoError;
        }
        done += static_cast<std::size_t>(n);
    }
    CloseQuietly(fd);
    out.data = std::move(data);
    out.size = size;
    return ReadStatus::Ok;
}

bool FileExists(const std::u16string& name) {
    std::string path;
    if (!NativeName(name, path)) return false;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::u16string& name) {
    std::string path;
    if (!NativeName(name, path)) return false;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::u16string> FilesInFolder(const std::u16string& folder) {
    std::vector<std::u16string> names;
    std::string path;
    if (!NativeName(folder, path)) return names;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st;
        if (::stat((path + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(FromUtf8(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::uint64_t FileSizeOf(const std::u16string& name) {
    std::string path;
    if (!NativeName(name, path)) return 0;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

// ---- Writing -------------------------------------------------------------

namespace {

WriteError ErrorOf(int error) {
    switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return WriteError::DiskFull;
    case EACCES:
    case EPERM: return WriteError::PermissionDenied;
    case EROFS: return WriteError::ReadOnlyFileSystem;
    case ENOENT:
    case ENOTDIR: return WriteError::NoFolder;
    case EISDIR: return WriteError::IsDirectory;
    case EFBIG: return WriteError::FileTooLarge;
    case ENAMETOOLONG: return WriteError::BadName;
    default: return WriteError::Other;
    }
}

// The temporary files of the open writers, for the interrupt handler: a
// fixed table of names it can read without taking a lock or allocating.
// A slot is claimed with a compare-and-swap, filled, and only then marked
// ready; the handler looks at ready slots only.
constexpr int TempSlots = 16;
struct TempSlot {
    std::atomic<int> state{0};  // 0 free, 1 being filled or emptied, 2 ready
    char path[PATH_MAX];
};
TempSlot g_tempSlots[TempSlots];

int RegisterTemp(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < TempSlots; ++i) {
        int expected = 0;
        if (g_tempSlots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(g_tempSlots[i].path, path.c_str(), path.size() + 1);
            g_tempSlots[i].state.store(2);
            return i;
        }
    }
    return -1;  // more writers than slots: that one is not cleaned up
}

void UnregisterTemp(int& slot) {
    if (slot < 0) return;
    g_tempSlots[slot].state.store(1);
    g_tempSlots[slot].path[0] = 0;
    g_tempSlots[slot].state.store(0);
    slot = -1;
}

void RemoveTempsAndDie(int signal) {
    for (TempSlot& slot : g_tempSlots)
        if (slot.state.load() == 2 && slot.path[0]) ::unlink(slot.path);
    // Die of the same signal, so the parent sees what happened.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Blocks the interrupt signals for as long as it lives: an in-place
// rewrite must finish (or put the old bytes back) before the process ends.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        ::pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t old_;
};

bool WriteAllAt(int fd, const std::uint8_t* p, std::size_t count, off_t offset) {
    while (count > 0) {
        const std::size_t chunk = std::min<std::size_t>(count, std::size_t{1} << 30);
        const ssize_t n = ::pwrite(fd, p, chunk, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        p += n;
        count -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

bool ReadAll(int fd, std::vector<std::uint8_t>& out, std::uint64_t size) {
    out.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(fd, out.data() + done, std::min<std::size_t>(out.size() - done, std::size_t{1} << 30),
                                  static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;  // the file shrank under us
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

struct AtomicFileWriter::Impl : detail::WriterState {
    int fd = -1;
    std::string target;
    std::string temp;
    std::string directory;
    bool replacing = false;
    struct stat old {};
    int tempSlot = -1;

    bool FailErrno() { return Fail(ErrorOf(errno)); }
};

AtomicFileWriter::AtomicFileWriter() : impl_(std::make_unique<Impl>()) {}

AtomicFileWriter::~AtomicFileWriter() { Abort(); }

WriteError AtomicFileWriter::Error() const { return impl_->error; }
bool AtomicFileWriter::InPlace() const { return impl_->inPlace; }

bool AtomicFileWriter::Open(const std::u16string& target) {
    Abort();
    Impl& w = *impl_;
    w = Impl{};
    std::string path;
    if (!NativeName(target, path)) return w.Fail(WriteError::BadName);

    // A symbolic link stays a link: the file it points to is the one
    // replaced.
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return w.FailErrno();
        path = resolved;
        std::free(resolved);
    }

    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return w.Fail(WriteError::IsDirectory);
        if (!S_ISREG(st.st_mode)) return w.Fail(WriteError::Other);
        // The mode bits, not access(): as root access() says yes to
        // everything, but a file its owner marked read-only stays untouched.
        if (!(st.st_mode & S_IWUSR)) return w.Fail(WriteError::ReadOnlyFile);
        w.replacing = true;
        w.old = st;
    } else if (errno != ENOENT) {
        return w.FailErrno();
    }

    const std::string dir = NativeDirectoryOf(path);
    struct stat dirStat;
    if (::stat(dir.c_str(), &dirStat) != 0) return w.FailErrno();
    if (!S_ISDIR(dirStat.st_mode)) return w.Fail(WriteError::NoFolder);
    w.target = path;
    w.directory = dir;

    auto openInPlace = [&w]() {
        // The folder takes no new file, but the file itself may be
        // rewritten: the old bytes stay until Commit() has the new ones.
        const int fd = ::open(w.target.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return w.FailErrno();
        w.fd = fd;
        w.inPlace = true;
        return true;
    };
    if (!(dirStat.st_mode & S_IWUSR)) {
        if (w.replacing) return openInPlace();
        return w.Fail(WriteError::PermissionDenied);
    }

    // A short name of our own beside the target (a name built from the
    // target's could exceed the length limit). O_EXCL makes it ours alone.
    static std::atomic<unsigned> counter{0};
    std::random_device entropy;
    std::mt19937 rng(entropy() ^ (static_cast<unsigned>(::getpid()) << 16) ^ counter++);
    const mode_t mode = w.replacing ? S_IRUSR | S_IWUSR : 0666;  // new files: umask applies
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(rng()));
        std::string temp = dir + "/.vellumark-" + suffix + ".tmp";
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            w.fd = fd;
            w.temp = std::move(temp);
            w.tempSlot = RegisterTemp(w.temp);
            return true;
        }
        if (errno == EACCES && w.replacing) return openInPlace();
        if (errno != EEXIST) return w.FailErrno();
    }
    return w.Fail(WriteError::Other);
}

bool AtomicFileWriter::Write(const void* bytes, std::size_t count) {
    Impl& w = *impl_;
    if (w.fd < 0 || w.failed) return false;
    bool toFile = false;
    if (!w.Take(bytes, count, g_writeFaultHook.load(), toFile)) return false;
    if (!toFile) return true;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    std::size_t left = count;
    while (left > 0) {
        const std::size_t chunk = std::min<std::size_t>(left, std::size_t{1} << 30);
        const ssize_t n = ::write(w.fd, p, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // Once a write failed the file has a hole: Commit() must refuse.
            w.failed = true;
            if (n == 0) errno = ENOSPC;
            return w.FailErrno();
        }
        p += n;
        left -= static_cast<std::size_t>(n);
        w.written += static_cast<std::uint64_t>(n);
    }
    return true;
}

namespace {

// Rewrites the open file with `bytes`; on any failure the old bytes go
// back, so the file ends as it was or as it should be.
bool RewriteInPlace(int fd, const std::vector<std::uint8_t>& bytes, int& error) {
    SignalsHeld held;
    struct stat st;
    std::vector<std::uint8_t> old;
    if (::fstat(fd, &st) != 0 || !ReadAll(fd, old, static_cast<std::uint64_t>(st.st_size))) {
        error = errno;
        return false;
    }
    // Grow first, so a full disk shows before a byte of the old text is
    // overwritten; then the new bytes, then the length.
    if (bytes.size() > old.size()) {
        const int r = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes.size()));
        if (r != 0 && r != EINVAL && r != EOPNOTSUPP) {
            error = r;
            (void)!::ftruncate(fd, static_cast<off_t>(old.size()));
            return false;
        }
    }
    if (WriteAllAt(fd, bytes.data(), bytes.size(), 0) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 &&
        ::fsync(fd) == 0)
        return true;
    error = errno;
    (void)WriteAllAt(fd, old.data(), old.size(), 0);
    (void)!::ftruncate(fd, static_cast<off_t>(old.size()));
    (void)::fsync(fd);
    return false;
}

}  // namespace

bool AtomicFileWriter::Commit() {
    Impl& w = *impl_;
    if (w.fd < 0 || w.failed) {
        const WriteError error = w.error;
        Abort();
        w.error = error;
        return false;
    }
    auto fail = [this, &w](int error) {
        Abort();
        return w.Fail(ErrorOf(error));
    };
    if (w.inPlace) {
        int error = 0;
        if (!RewriteInPlace(w.fd, w.pending, error)) return fail(error);
        const int fd = w.fd;
        w.fd = -1;
        w.pending.clear();
        if (::close(fd) != 0) return w.FailErrno();
        return true;
    }
    if (w.replacing) {
        // Keep who owns the file and its permission bits. Ownership can only
        // be given away with the right to do so; without it the file is ours.
        if (w.old.st_uid != ::geteuid() || w.old.st_gid != ::getegid())
            (void)!::fchown(w.fd, w.old.st_uid, w.old.st_gid);
        if (::fchmod(w.fd, w.old.st_mode & 07777) != 0) return fail(errno);
    }
    if (::fsync(w.fd) != 0) return fail(errno);
    const int fd = w.fd;
    w.fd = -1;
    if (::close(fd) != 0 || ::rename(w.temp.c_str(), w.target.c_str()) != 0) return fail(errno);
    w.temp.clear();
    UnregisterTemp(w.tempSlot);
    // Make the rename itself durable; the data is already on disk, so a
    // failure here does not make the write a failure.
    const int dirFd = ::open(w.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void AtomicFileWriter::Abort() {
    if (!impl_) return;
    Impl& w = *impl_;
    if (w.fd >= 0) {
        ::close(w.fd);
        w.fd = -1;
    }
    if (!w.temp.empty()) {
        ::unlink(w.temp.c_str());
        w.temp.clear();
    }
    UnregisterTemp(w.tempSlot);
    w.pending.clear();
    w.failed = false;
}

void RemoveTemporaryFilesOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = RemoveTempsAndDie;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

void SetWriteFaultHook(WriteFaultHook hook) { g_writeFaultHook.store(hook); }

// ---- Code pages ----------------------------------------------------------

int AnsiCodePage = 0;

int EffectiveCodePage() { return AnsiCodePage == 0 ? 1252 : AnsiCodePage; }

namespace {

// Code pages whose characters take more than one byte (or a shift state).
bool IsMultiByte(int cp) {
    switch (cp) {
    case 932:
    case 936:
    case 949:
    case 950:
    case 1361:
    case 10001:
    case 10002:
    case 10003:
    case 10008:
    case 20000:
    case 20001:
    case 20002:
    case 20003:
    case 20004:
    case 20005:
    case 20932:
    case 20936:
    case 20949:
    case 50220:
    case 50221:
    case 50222:
    case 50225:
    case 50227:
    case 50229:
    case 51932:
    case 51936:
    case 51949:
    case 51950:
    case 52936:
    case 54936:
    case 65000:
    case 65001: return true;
    default: return false;
    }
}

// iconv names to try for a code page number, best first.
std::vector<std::string> IconvNames(int cp) {
    std::vector<std::string> names;
    switch (cp) {
    case 65001: names.push_back("UTF-8"); break;
    case 936:
        names.push_back("CP936");
        names.push_back("GBK");
        break;
    case 54936: names.push_back("GB18030"); break;
    case 950:
        names.push_back("CP950");
        names.push_back("BIG5");
        break;
    case 949:
        names.push_back("CP949");
        names.push_back("UHC");
        break;
    case 932:
        names.push_back("CP932");
        names.push_back("SHIFT_JIS");
        break;
    case 1361: names.push_back("JOHAB"); break;
    case 20127: names.push_back("ASCII"); break;
    case 20866: names.push_back("KOI8-R"); break;
    case 21866: names.push_back("KOI8-U"); break;
    case 20932:
    case 51932: names.push_back("EUC-JP"); break;
    case 51949: names.push_back("EUC-KR"); break;
    case 50220:
    case 50221:
    case 50222: names.push_back("ISO-2022-JP"); break;
    case 50225: names.push_back("ISO-2022-KR"); break;
    case 52936: names.push_back("HZ"); break;
    default:
        if (cp >= 28591 && cp <= 28605) names.push_back("ISO-8859-" + std::to_string(cp - 28590));
        break;
    }
    names.push_back("CP" + std::to_string(cp));
    names.push_back("WINDOWS-" + std::to_string(cp));
    return names;
}

iconv_t OpenIconv(int cp, bool toWide) {
    if (cp <= 0) return reinterpret_cast<iconv_t>(-1);
    for (const std::string& name : IconvNames(cp)) {
        iconv_t cd = toWide ? ::iconv_open("UTF-16LE", name.c_str()) : ::iconv_open(name.c_str(), "UTF-16LE");
        if (cd != reinterpret_cast<iconv_t>(-1)) return cd;
    }
    return reinterpret_cast<iconv_t>(-1);
}

bool Valid(iconv_t cd) { return cd != reinterpret_cast<iconv_t>(-1); }

// A single-byte code page as two tables. Built once per code page by
// converting each byte alone; a byte the code page leaves undefined decodes
// to the unit of the same number, and the reverse table sends that unit
// back to it, so every byte survives a round trip.
struct ByteTable {
    bool usable = false;     // iconv knows the code page
    bool multiByte = false;  // a byte alone was incomplete: not single-byte after all
    std::array<char16_t, 256> decode{};
    std::vector<std::int16_t> encode;  // unit -> byte, -1 where none
};

ByteTable BuildByteTable(int cp) {
    ByteTable table;
    iconv_t cd = OpenIconv(cp, true);
    if (!Valid(cd)) return table;
    table.usable = true;
    std::array<bool, 256> defined{};
    for (int b = 0; b < 256; ++b) {
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char in = static_cast<char>(b);
        char* inp = &in;
        std::size_t inLeft = 1;
        char buffer[16];
        char* outp = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = ::iconv(cd, &inp, &inLeft, &outp, &outLeft);
        if (r == static_cast<std::size_t>(-1) && errno == EINVAL) table.multiByte = true;
        // Some converters hold a character back to combine it with the
        // next one; flushing releases it.
        if (r != static_cast<std::size_t>(-1)) ::iconv(cd, nullptr, nullptr, &outp, &outLeft);
        const std::size_t produced = sizeof buffer - outLeft;
        if (r != static_cast<std::size_t>(-1) && produced == 2) {
            table.decode[b] = static_cast<char16_t>(static_cast<std::uint8_t>(buffer[0]) |
                                                    (static_cast<std::uint8_t>(buffer[1]) << 8));
            defined[b] = true;
        } else {
            table.decode[b] = static_cast<char16_t>(b);
        }
    }
    ::iconv_close(cd);
    table.encode.assign(65536, -1);
    for (int pass = 0; pass < 2; ++pass) {  // real mappings win over stand-ins
        for (int b = 0; b < 256; ++b) {
            if (defined[b] != (pass == 0)) continue;
            std::int16_t& slot = table.encode[table.decode[b]];
            if (slot < 0) slot = static_cast<std::int16_t>(b);
        }
    }
    return table;
}

const ByteTable& ByteTableFor(int cp) {
    thread_local int lastCp = -1;
    thread_local const ByteTable* last = nullptr;
    if (cp == lastCp && last) return *last;
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<ByteTable>> tables;  // never shrinks
    std::lock_guard<std::mutex> lock(mutex);
    auto& slot = tables[cp];
    if (!slot) slot = std::make_unique<ByteTable>(BuildByteTable(cp));
    lastCp = cp;
    last = slot.get();
    return *slot;
}

// One open converter pair per thread for the last multi-byte code page.
struct IconvPair {
    int cp = -1;
    iconv_t toWide = reinterpret_cast<iconv_t>(-1);
    iconv_t fromWide = reinterpret_cast<iconv_t>(-1);
    ~IconvPair() { Close(); }
    void Close() {
        if (Valid(toWide)) ::iconv_close(toWide);
        if (Valid(fromWide)) ::iconv_close(fromWide);
        toWide = fromWide = reinterpret_cast<iconv_t>(-1);
    }
    IconvPair& For(int codePage) {
        if (codePage != cp) {
            Close();
            cp = codePage;
            toWide = OpenIconv(codePage, true);
            fromWide = OpenIconv(codePage, false);
        }
        return *this;
    }
};

IconvPair& ConvertersFor(int cp) {
    thread_local IconvPair pair;
    return pair.For(cp);
}

bool UseByteTable(int cp, const ByteTable*& table) {
    if (IsMultiByte(cp)) return false;
    const ByteTable& t = ByteTableFor(cp);
    if (t.multiByte) return false;
    table = &t;
    return true;
}

}  // namespace

bool AnsiToWide(const char* bytes, std::size_t count, std::u16string& out) {
    out.clear();
    if (count == 0) return true;
    if (!bytes) return false;
    const int cp = EffectiveCodePage();
    const ByteTable* table = nullptr;
    if (UseByteTable(cp, table)) {
        if (!table->usable) return false;
        out.resize(count);
        for (std::size_t i = 0; i < count; ++i) out[i] = table->decode[static_cast<std::uint8_t>(bytes[i])];
        return true;
    }

    iconv_t cd = ConvertersFor(cp).toWide;
    if (!Valid(cd)) return false;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    // Most code pages give at most one unit per byte; a few give more, and
    // the buffer grows for them.
    std::vector<char> buffer(count * 2 + 16);
    char* inp = const_cast<char*>(bytes);
    std::size_t inLeft = count;
    std::size_t used = 0;
    bool inputDone = false;
    for (;;) {
        char* outp = buffer.data() + used;
        std::size_t outLeft = buffer.size() - used;
        // After the input, a call without input ends any shift state.
        const std::size_t r =
            inputDone ? ::iconv(cd, nullptr, nullptr, &outp, &outLeft) : ::iconv(cd, &inp, &inLeft, &outp, &outLeft);
        const int error = errno;
        used = buffer.size() - outLeft;
        if (r != static_cast<std::size_t>(-1)) {
            if (inputDone) break;
            inputDone = true;
            continue;
        }
        if (error != E2BIG) return false;  // an invalid or incomplete sequence
        buffer.resize(buffer.size() * 2);
    }
    const std::size_t units = used / 2;
    out.resize(units);
    for (std::size_t i = 0; i < units; ++i) {
        out[i] = static_cast<char16_t>(static_cast<std::uint8_t>(buffer[2 * i]) |
                                       (static_cast<std::uint8_t>(buffer[2 * i + 1]) << 8));
    }
    return true;
}

void WideToAnsi(const char16_t* units, std::size_t count, std::size_t maxBytes, std::string& out, bool& replaced) {
    out.clear();
    if (!units || count == 0) return;
    const int cp = EffectiveCodePage();
    const ByteTable* table = nullptr;
    if (UseByteTable(cp, table)) {
        out.reserve(std::min(count, maxBytes));
        for (std::size_t i = 0; i < count && out.size() < maxBytes; ++i) {
            const std::int16_t b = table->usable ? table->encode[units[i]] : -1;
            if (b >= 0 && !detail::IsSurrogate(units[i])) {
                out.push_back(static_cast<char>(b));
                continue;
            }
            if (detail::PairAt(units, count, i)) ++i;  // one character, one "?"
            out.push_back('?');
            replaced = true;
        }
        return;
    }

    // Character by character, so the result can be cut between two of
    // them. The converter keeps its shift state from one to the next.
    iconv_t cd = ConvertersFor(cp).fromWide;
    if (Valid(cd)) ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    for (std::size_t i = 0; i < count;) {
        const std::size_t length = detail::PairAt(units, count, i) ? 2 : 1;
        char in[4];
        for (std::size_t k = 0; k < length; ++k) {
            in[2 * k] = static_cast<char>(units[i + k] & 0xFF);
            in[2 * k + 1] = static_cast<char>(units[i + k] >> 8);
        }
        char encoded[16];
        std::size_t produced = 0;
        bool ok = false;
        if (Valid(cd) && !(length == 1 && detail::IsSurrogate(units[i]))) {
            char* inp = in;
            std::size_t inLeft = length * 2;
            char* outp = encoded;
            std::size_t outLeft = sizeof encoded;
            ok = ::iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0;
            produced = sizeof encoded - outLeft;
        }
        if (!ok) {
            encoded[0] = '?';
            produced = 1;
        }
        if (out.size() + produced > maxBytes) break;
        out.append(encoded, produced);
        if (!ok) replaced = true;
        i += length;
    }
    if (Valid(cd)) {
        // Return a stateful encoding to its initial shift state.
        char tail[16];
        char* outp = tail;
        std::size_t outLeft = sizeof tail;
        if (::iconv(cd, nullptr, nullptr, &outp, &outLeft) != static_cast<std::size_t>(-1)) {
            const std::size_t produced = sizeof tail - outLeft;
            if (out.size() + produced <= maxBytes) out.append(tail, produced);
        }
    }
}

// ---- Names and arguments -------------------------------------------------

std::u16string DirectoryOf(const std::u16string& name) {
    const std::size_t slash = name.rfind(u'/');
    if (slash == std::u16string::npos) return {};
    std::size_t end = slash;
    while (end > 0 && name[end - 1] == u'/') --end;
    return end == 0 ? std::u16string(u"/") : name.substr(0, end);
}

bool IsAbsolutePath(const std::u16string& name) { return !name.empty() && name[0] == u'/'; }

std::u16string JoinPath(const std::u16string& dir, const std::u16string& name) {
    if (dir.empty()) return name;
    if (dir.back() == u'/') return dir + name;
    return dir + u'/' + name;
}

bool NamesRootOrDrive(const std::u16string& name) { return IsAbsolutePath(name); }

namespace {

bool Resolved(const std::string& path, std::string& out) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return false;
    out = resolved;
    std::free(resolved);
    return true;
}

}  // namespace

PlaceOfName PlaceInFolder(const std::u16string& folder, const std::u16string& relativeName) {
    if (NamesRootOrDrive(relativeName) || detail::ClimbsOut(relativeName, u"/", false)) return PlaceOfName::Outside;
    std::string dir, file, realDir, realFile;
    if (!NativeName(folder.empty() ? u"." : folder, dir) ||
        !NativeName(JoinPath(folder.empty() ? u"." : folder, relativeName), file))
        return PlaceOfName::Missing;
    if (!Resolved(dir, realDir) || !Resolved(file, realFile)) return PlaceOfName::Missing;
    if (realDir == "/") return PlaceOfName::Inside;
    return detail::LiesBelow(
               realFile, realDir, +[](char c) { return c == '/'; })
               ? PlaceOfName::Inside
               : PlaceOfName::Outside;
}

std::vector<std::u16string> CommandLineArguments(int argc, char** argv) {
    std::vector<std::u16string> args;
    if (!argv) return args;
    for (int i = 1; i < argc; ++i) {
        if (argv[i]) args.push_back(FromUtf8(argv[i]));
    }
    return args;
}

std::string ToUtf8(std::u16string_view text) { return detail::EncodeUtf8(text); }

std::u16string FromUtf8(std::string_view text) { return detail::DecodeUtf8(text); }

}  // namespace vm::platform
