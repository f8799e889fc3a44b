// The platform layer on Windows: files through CreateFileW and friends,
// code pages through MultiByteToWideChar/WideCharToMultiByte. UTF-16 names
// go to the wide API as they are (wchar_t is 16 bits here).

#include "platform/FileBuffer.h"
#include "platform/Platform.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/NameRules.h"
#include "platform/ProperUtf8.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide API takes UTF-16 units");

namespace vm::platform {

namespace {

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// A name the API can take: not empty and no embedded zero unit (which
// would silently cut the name short).
bool UsableName(const std::u16string& name) { return !name.empty() && name.find(u'\0') == std::u16string::npos; }

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

std::atomic<WriteFaultHook> g_writeFaultHook{nullptr};

}  // namespace

// ---- Large buffers -------------------------------------------------------

void* AllocateLarge(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void FreeLarge(void* block, std::size_t) {
    if (block) VirtualFree(block, 0, MEM_RELEASE);
}

// ---- Reading -------------------------------------------------------------

ReadStatus ReadWholeFile(const std::u16string& name, std::uint64_t maxSize, std::size_t padding, FileImage& out) {
    out.data.reset();
    out.size = 0;
    if (!UsableName(name)) return ReadStatus::NotFound;
    const DWORD attributes = GetFileAttributesW(Wide(name));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
                error == ERROR_BAD_NETPATH)
                   ? ReadStatus::NotFound
                   : ReadStatus::IoError;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ReadStatus::NotFound;

    HANDLE file = CreateFileW(Wide(name), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? ReadStatus::NotFound
                                                                                : ReadStatus::IoError;
    }
    // The size of the file actually opened (a name with wildcards or a
    // race with a rename cannot make it someone else's).
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file, &length) || length.QuadPart < 0) {
        CloseHandle(file);
        return ReadStatus::IoError;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(length.QuadPart);
    BufferPtr data;
    if (const ReadStatus status = detail::AllocateFileBuffer(size, maxSize, padding, data); status != ReadStatus::Ok) {
        CloseHandle(file);
        return status;
    }
    const std::size_t bytes = static_cast<std::size_t>(size);

    std::size_t done = 0;
    while (done < bytes) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes - done, DWORD{1} << 30));
        DWORD got = 0;
        if (!ReadFile(file, data.get() + done, chunk, &got, nullptr) || got == 0) {
            CloseHandle(file);  // an error, or the file shrank under us
            return ReadStatus::IoError;
        }
        done += got;
    }
    CloseHandle(file);
    out.data = std::move(data);
    out.size = size;
    return ReadStatus::Ok;
}

bool FileExists(const std::u16string& name) {
    if (!UsableName(name)) return false;
    const DWORD attributes = GetFileAttributesW(Wide(name));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::u16string& name) {
    if (!UsableName(name)) return false;
    const DWORD attributes = GetFileAttributesW(Wide(name));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::u16string> FilesInFolder(const std::u16string& folder) {
    std::vector<std::u16string> names;
    if (!UsableName(folder)) return names;
    const std::u16string pattern = JoinPath(folder, u"*");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(Wide(pattern), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.emplace_back(reinterpret_cast<const char16_t*>(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::uint64_t FileSizeOf(const std::u16string& name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!UsableName(name) || !GetFileAttributesExW(Wide(name), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// ---- Writing -------------------------------------------------------------

namespace {

WriteError ErrorOf(DWORD error) {
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return WriteError::DiskFull;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD: return WriteError::PermissionDenied;
    case ERROR_WRITE_PROTECT: return WriteError::ReadOnlyFileSystem;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_BAD_NETPATH: return WriteError::NoFolder;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_PATHNAME: return WriteError::BadName;
    case ERROR_FILE_TOO_LARGE: return WriteError::FileTooLarge;
    default: return WriteError::Other;
    }
}

// The temporary files of the open writers. The console's interrupt handler
// runs on a thread of its own, so a lock is enough here.
std::mutex g_tempMutex;
std::vector<std::u16string> g_temps;

void RegisterTemp(const std::u16string& name) {
    std::lock_guard<std::mutex> lock(g_tempMutex);
    g_temps.push_back(name);
}

void UnregisterTemp(const std::u16string& name) {
    std::lock_guard<std::mutex> lock(g_tempMutex);
    const auto it = std::find(g_temps.begin(), g_temps.end(), name);
    if (it != g_temps.end()) g_temps.erase(it);
}

BOOL WINAPI RemoveTempsOnInterrupt(DWORD) {
    {
        std::lock_guard<std::mutex> lock(g_tempMutex);
        // The files are open with delete sharing: they go when the process
        // ends and closes them.
        for (const std::u16string& name : g_temps) DeleteFileW(Wide(name));
    }
    return FALSE;  // the default handling ends the process
}

bool SeekTo(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != 0;
}

bool WriteAll(HANDLE file, const std::uint8_t* p, std::size_t count) {
    while (count > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, DWORD{1} << 30));
        DWORD put = 0;
        if (!WriteFile(file, p, chunk, &put, nullptr)) return false;
        if (put == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        p += put;
        count -= put;
    }
    return true;
}

// Rewrites the open file with `bytes`; on any failure the old bytes go
// back, so the file ends as it was or as it should be.
bool RewriteInPlace(HANDLE file, const std::vector<std::uint8_t>& bytes, DWORD& error) {
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file, &length)) {
        error = GetLastError();
        return false;
    }
    std::vector<std::uint8_t> old(static_cast<std::size_t>(length.QuadPart));
    std::size_t done = 0;
    if (!SeekTo(file, 0)) {
        error = GetLastError();
        return false;
    }
    while (done < old.size()) {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(old.size() - done, DWORD{1} << 30));
        if (!ReadFile(file, old.data() + done, chunk, &got, nullptr) || got == 0) {
            error = got == 0 ? ERROR_READ_FAULT : GetLastError();
            return false;
        }
        done += got;
    }
    if (SeekTo(file, 0) && WriteAll(file, bytes.data(), bytes.size()) && SetEndOfFile(file) && FlushFileBuffers(file))
        return true;
    error = GetLastError();
    if (SeekTo(file, 0) && WriteAll(file, old.data(), old.size())) SetEndOfFile(file);
    FlushFileBuffers(file);
    return false;
}

}  // namespace

struct AtomicFileWriter::Impl : detail::WriterState {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::u16string target;
    std::u16string temp;
    DWORD oldAttributes = INVALID_FILE_ATTRIBUTES;

    bool FailLast() { return Fail(ErrorOf(GetLastError())); }
};

AtomicFileWriter::AtomicFileWriter() : impl_(std::make_unique<Impl>()) {}

AtomicFileWriter::~AtomicFileWriter() { Abort(); }

WriteError AtomicFileWriter::Error() const { return impl_->error; }
bool AtomicFileWriter::InPlace() const { return impl_->inPlace; }

bool AtomicFileWriter::Open(const std::u16string& target) {
    Abort();
    Impl& w = *impl_;
    w = Impl{};
    if (!UsableName(target) || IsSeparator(target.back())) return w.Fail(WriteError::BadName);

    const DWORD attributes = GetFileAttributesW(Wide(target));
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return w.Fail(WriteError::IsDirectory);
        if (attributes & FILE_ATTRIBUTE_READONLY) return w.Fail(WriteError::ReadOnlyFile);
        w.oldAttributes = attributes;
    } else {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) return w.Fail(ErrorOf(error));  // includes a missing directory
    }

    std::u16string dir = DirectoryOf(target);
    if (dir.empty()) dir = u".";
    const DWORD dirAttributes = GetFileAttributesW(Wide(dir));
    if (dirAttributes == INVALID_FILE_ATTRIBUTES || !(dirAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return w.Fail(WriteError::NoFolder);
    w.target = target;

    // A short name of our own beside the target; CREATE_NEW makes it ours
    // alone. Delete sharing lets the interrupt handler remove it.
    static std::atomic<unsigned> counter{0};
    const unsigned seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[32];
        const unsigned value = seed + counter.fetch_add(1) * 40503u + static_cast<unsigned>(attempt);
        for (int i = 0; i < 8; ++i) suffix[i] = L"0123456789abcdef"[(value >> (28 - 4 * i)) & 15];
        suffix[8] = 0;
        std::u16string temp =
            JoinPath(dir, u"~vellumark-" + std::u16string(reinterpret_cast<char16_t*>(suffix)) + u".tmp");
        HANDLE file = CreateFileW(Wide(temp), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            w.file = file;
            w.temp = std::move(temp);
            RegisterTemp(w.temp);
            return true;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED && w.oldAttributes != INVALID_FILE_ATTRIBUTES) {
            // The folder takes no new file, but the file itself may be
            // rewritten: the old bytes stay until Commit() has the new ones.
            HANDLE same = CreateFileW(Wide(target), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (same == INVALID_HANDLE_VALUE) return w.FailLast();
            w.file = same;
            w.inPlace = true;
            return true;
        }
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return w.Fail(ErrorOf(error));
    }
    return w.Fail(WriteError::Other);
}

bool AtomicFileWriter::Write(const void* bytes, std::size_t count) {
    Impl& w = *impl_;
    if (w.file == INVALID_HANDLE_VALUE || w.failed) return false;
    bool toFile = false;
    if (!w.Take(bytes, count, g_writeFaultHook.load(), toFile)) return false;
    if (!toFile) return true;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    if (!WriteAll(w.file, p, count)) {
        // Once a write failed the file has a hole: Commit() must refuse.
        w.failed = true;
        return w.FailLast();
    }
    w.written += count;
    return true;
}

bool AtomicFileWriter::Commit() {
    Impl& w = *impl_;
    auto fail = [this, &w](DWORD error) {
        Abort();
        return w.Fail(ErrorOf(error));
    };
    if (w.file == INVALID_HANDLE_VALUE || w.failed) {
        const WriteError error = w.error;
        Abort();
        w.error = error;
        return false;
    }
    if (w.inPlace) {
        DWORD error = 0;
        if (!RewriteInPlace(w.file, w.pending, error)) return fail(error);
        CloseHandle(w.file);
        w.file = INVALID_HANDLE_VALUE;
        w.pending.clear();
        return true;
    }
    if (!FlushFileBuffers(w.file)) return fail(GetLastError());
    HANDLE file = w.file;
    w.file = INVALID_HANDLE_VALUE;
    if (!CloseHandle(file) ||
        !MoveFileExW(Wide(w.temp), Wide(w.target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(GetLastError());
    UnregisterTemp(w.temp);
    w.temp.clear();
    // Hidden or system files stay so; the contents are already in place,
    // so a failure here does not undo the write.
    constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    if (w.oldAttributes != INVALID_FILE_ATTRIBUTES && (w.oldAttributes & kept) != FILE_ATTRIBUTE_ARCHIVE) {
        const DWORD now = GetFileAttributesW(Wide(w.target));
        if (now != INVALID_FILE_ATTRIBUTES) {
            DWORD wanted = (now & ~kept) | (w.oldAttributes & kept);
            if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
            SetFileAttributesW(Wide(w.target), wanted);
        }
    }
    return true;
}

void AtomicFileWriter::Abort() {
    if (!impl_) return;
    Impl& w = *impl_;
    if (w.file != INVALID_HANDLE_VALUE) {
        CloseHandle(w.file);
        w.file = INVALID_HANDLE_VALUE;
    }
    if (!w.temp.empty()) {
        DeleteFileW(Wide(w.temp));
        UnregisterTemp(w.temp);
        w.temp.clear();
    }
    w.pending.clear();
    w.failed = false;
}

void RemoveTemporaryFilesOnInterrupt() { SetConsoleCtrlHandler(RemoveTempsOnInterrupt, TRUE); }

void SetWriteFaultHook(WriteFaultHook hook) { g_writeFaultHook.store(hook); }

// ---- Code pages ----------------------------------------------------------

int AnsiCodePage = 0;

int EffectiveCodePage() { return AnsiCodePage == 0 ? static_cast<int>(GetACP()) : AnsiCodePage; }

namespace {

UINT ApiCodePage() { return AnsiCodePage == 0 ? CP_ACP : static_cast<UINT>(AnsiCodePage); }

bool IsMultiByte(UINT cp) {
    if (cp == CP_UTF8 || cp == 54936) return true;
    CPINFO info;
    return GetCPInfo(cp, &info) && info.MaxCharSize > 1;
}

// Code pages for which WideCharToMultiByte takes no flags.
bool TakesNoFlags(UINT cp) {
    return cp == 42 || cp == 50220 || cp == 50221 || cp == 50222 || cp == 50225 || cp == 50227 || cp == 50229 ||
           cp == 52936 || cp == 54936 || (cp >= 57002 && cp <= 57011) || cp == 65000 || cp == CP_UTF8;
}

// Code pages that hold characters beyond U+FFFF.
bool HoldsSupplementary(UINT cp) { return cp == CP_UTF8 || cp == 54936 || cp == 65000; }

// Converts a run of units that holds no lone surrogate; returns the byte
// count (0 on failure) and reports a default character through usedDefault.
int Encode(UINT cp, const char16_t* units, int count, char* out, int capacity, bool& usedDefault) {
    const bool noFlags = TakesNoFlags(cp);
    BOOL used = FALSE;
    const int n = WideCharToMultiByte(cp, noFlags ? 0 : WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(units),
                                      count, out, capacity, nullptr, (cp == CP_UTF8 || cp == 65000) ? nullptr : &used);
    usedDefault = used != FALSE;
    return n;
}

}  // namespace

bool AnsiToWide(const char* bytes, std::size_t count, std::u16string& out) {
    out.clear();
    if (count == 0) return true;
    if (!bytes || count > static_cast<std::size_t>(INT_MAX)) return false;
    const UINT cp = ApiCodePage();
    const UINT resolved = cp == CP_ACP ? GetACP() : cp;
    // In a multi-byte code page an invalid sequence fails the call; in a
    // single-byte one every byte has a unit.
    const DWORD flags = IsMultiByte(resolved) ? MB_ERR_INVALID_CHARS : 0;
    const int length = static_cast<int>(count);
    const int units = MultiByteToWideChar(cp, flags, bytes, length, nullptr, 0);
    if (units <= 0) return false;
    out.resize(static_cast<std::size_t>(units));
    if (MultiByteToWideChar(cp, flags, bytes, length, reinterpret_cast<wchar_t*>(out.data()), units) != units) {
        out.clear();
        return false;
    }
    return true;
}

void WideToAnsi(const char16_t* units, std::size_t count, std::size_t maxBytes, std::string& out, bool& replaced) {
    out.clear();
    if (!units || count == 0) return;
    const UINT cp = ApiCodePage();
    const UINT resolved = cp == CP_ACP ? GetACP() : cp;
    const bool supplementary = HoldsSupplementary(resolved);

    // Runs of units the API converts as they are, split at the characters
    // handled here: a lone surrogate (no code page holds one) and, where
    // the code page has none, a character beyond U+FFFF (one "?" for the
    // pair, which the API might otherwise turn into two).
    std::vector<char> buffer;
    std::size_t i = 0;
    while (i < count && out.size() < maxBytes) {
        std::size_t end = i;
        while (end < count && end - i < (1u << 20)) {
            if (detail::PairAt(units, count, end)) {
                if (!supplementary) break;
                end += 2;
            } else if (detail::IsSurrogate(units[end])) {
                break;
            } else {
                ++end;
            }
        }
        if (end == i) {  // a character of our own to replace
            out.push_back('?');
            replaced = true;
            i += detail::PairAt(units, count, i) ? 2 : 1;
            continue;
        }

        const int runUnits = static_cast<int>(end - i);
        const std::size_t room = maxBytes - out.size();
        bool usedDefault = false;
        const int needed = Encode(resolved, units + i, runUnits, nullptr, 0, usedDefault);
        if (needed <= 0) {  // a code page the system lacks: every character is lost
            for (; i < end && out.size() < maxBytes; i += detail::PairAt(units, count, i) ? 2 : 1) out.push_back('?');
            replaced = true;
            if (i < end) break;
            continue;
        }
        int take = runUnits;
        if (static_cast<std::size_t>(needed) > room) {
            // The longest run of whole characters that fits: a binary search
            // over the character boundaries (never between a pair's halves).
            std::vector<int> bounds{0};
            for (std::size_t k = i; k < end; k += detail::PairAt(units, count, k) ? 2 : 1)
                bounds.push_back(static_cast<int>(k + (detail::PairAt(units, count, k) ? 2 : 1) - i));
            std::size_t low = 0, high = bounds.size() - 1;  // low fits, high does not
            while (high - low > 1) {
                const std::size_t mid = low + (high - low) / 2;
                const int n = Encode(resolved, units + i, bounds[mid], nullptr, 0, usedDefault);
                if (n > 0 && static_cast<std::size_t>(n) <= room) low = mid;
                else high = mid;
            }
            take = bounds[low];
        }
        if (take == 0) break;
        buffer.resize(static_cast<std::size_t>(needed));
        const int n = Encode(resolved, units + i, take, buffer.data(), needed, usedDefault);
        if (n > 0) {
            out.append(buffer.data(), static_cast<std::size_t>(n));
            if (usedDefault) replaced = true;
        }
        if (take < runUnits) break;  // cut: nothing after it may follow
        i = end;
    }
}

// ---- Names and arguments -------------------------------------------------

std::u16string DirectoryOf(const std::u16string& name) {
    std::size_t slash = name.find_last_of(u"\\/");
    if (slash == std::u16string::npos) return {};
    std::size_t end = slash;
    while (end > 0 && IsSeparator(name[end - 1])) --end;
    if (end == 0) return name.substr(0, 1);                     // "\x"
    if (end == 2 && name[1] == u':') return name.substr(0, 3);  // "C:\x"
    return name.substr(0, end);
}

bool IsAbsolutePath(const std::u16string& name) {
    if (name.empty()) return false;
    if (IsSeparator(name[0])) return true;  // "\x" and "\\server\x"
    return name.size() >= 3 && name[1] == u':' && IsSeparator(name[2]) &&
           ((name[0] >= u'A' && name[0] <= u'Z') || (name[0] >= u'a' && name[0] <= u'z'));
}

std::u16string JoinPath(const std::u16string& dir, const std::u16string& name) {
    if (dir.empty()) return name;
    if (IsSeparator(dir.back())) return dir + name;
    return dir + u'\\' + name;
}

bool NamesRootOrDrive(const std::u16string& name) {
    if (name.empty()) return false;
    if (IsSeparator(name[0])) return true;       // "\x", "\\server\x", "\\?\x", "\\.\x"
    return name.size() >= 2 && name[1] == u':';  // "C:\x" and "C:x"
}

namespace {

// The final name of an existing file or folder: links and junctions
// resolved, in one spelling, upper case for comparing.
bool FinalName(const std::u16string& name, std::u16string& out) {
    HANDLE h = CreateFileW(Wide(name), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::vector<wchar_t> buffer(1024);
    DWORD n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
    if (n >= buffer.size()) {
        buffer.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
    }
    CloseHandle(h);
    if (n == 0 || n >= buffer.size()) return false;
    CharUpperBuffW(buffer.data(), n);
    out.assign(reinterpret_cast<const char16_t*>(buffer.data()), n);
    while (!out.empty() && IsSeparator(out.back())) out.pop_back();
    return true;
}

}  // namespace

PlaceOfName PlaceInFolder(const std::u16string& folder, const std::u16string& relativeName) {
    if (NamesRootOrDrive(relativeName) || detail::ClimbsOut(relativeName, u"\\/", true)) return PlaceOfName::Outside;
    if (!UsableName(relativeName)) return PlaceOfName::Missing;
    // A colon after the first character names a stream of a file.
    if (relativeName.find(u':') != std::u16string::npos) return PlaceOfName::Outside;
    const std::u16string dir = folder.empty() ? u"." : folder;
    const std::u16string file = JoinPath(dir, relativeName);
    const DWORD attributes = GetFileAttributesW(Wide(file));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return PlaceOfName::Missing;
    std::u16string realDir, realFile;
    if (!FinalName(dir, realDir) || !FinalName(file, realFile)) return PlaceOfName::Missing;
    return detail::LiesBelow(realFile, realDir, IsSeparator) ? PlaceOfName::Inside : PlaceOfName::Outside;
}

std::vector<std::u16string> CommandLineArguments(int, char**) {
    std::vector<std::u16string> args;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    LocalFree(argv);
    return args;
}

std::string ToUtf8(std::u16string_view text) { return detail::EncodeUtf8(text); }

std::u16string FromUtf8(std::string_view text) { return detail::DecodeUtf8(text); }

}  // namespace vm::platform
