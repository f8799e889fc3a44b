// What both platform layers share about file contents: the buffer a
// whole-file read goes into (the size limit, the allocation and the zero
// padding after the bytes) and the state of a writer before its bytes
// reach the system.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/Platform.h"

namespace vm::platform::detail {

// The buffer is not cleared: the read fills it.
inline ReadStatus AllocateFileBuffer(std::uint64_t size, std::uint64_t maxSize, std::size_t padding, BufferPtr& data) {
    if (size > maxSize) return ReadStatus::TooLarge;
    if (size > static_cast<std::uint64_t>(SIZE_MAX - padding)) return ReadStatus::NoMemory;
    const auto bytes = static_cast<std::size_t>(size);
    data = BufferPtr(static_cast<std::uint8_t*>(AllocateBuffer(bytes + padding)), BufferDeleter{bytes + padding});
    if (!data) return ReadStatus::NoMemory;
    std::memset(data.get() + bytes, 0, padding);
    return ReadStatus::Ok;
}

// The part of an AtomicFileWriter that does not depend on the system.
struct WriterState {
    bool failed = false;                // a write failed: Commit() must refuse
    bool inPlace = false;               // rewriting the target itself at Commit()
    std::vector<std::uint8_t> pending;  // in place: the new bytes until Commit()
    std::uint64_t written = 0;
    WriteError error = WriteError::None;

    bool Fail(WriteError e) {
        error = e;
        return false;
    }

    // The first steps of Write(): the test hook, and in place the keeping
    // of the bytes. False on failure; otherwise toFile tells whether the
    // bytes still have to be written to the open file.
    bool Take(const void* bytes, std::size_t count, WriteFaultHook hook, bool& toFile) {
        toFile = false;
        if (count == 0) return true;
        if (!bytes) {
            failed = true;
            return Fail(WriteError::Other);
        }
        if (hook && !hook(written, count)) {
            failed = true;
            return Fail(WriteError::DiskFull);
        }
        if (!inPlace) {
            toFile = true;
            return true;
        }
        try {
            const auto* p = static_cast<const std::uint8_t*>(bytes);
            pending.insert(pending.end(), p, p + count);
        } catch (const std::bad_alloc&) {
            failed = true;
            return Fail(WriteError::Other);
        }
        written += count;
        return true;
    }
};

}  // namespace vm::platform::detail
