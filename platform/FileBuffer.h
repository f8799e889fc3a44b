// The buffer a whole-file read goes into, shared by both platform layers:
// the size limit, the allocation and the zero padding after the bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "Platform.h"

namespace vm::platform::detail {

// The buffer is not cleared: the read fills it.
inline ReadStatus AllocateFileBuffer(std::uint64_t size, std::uint64_t maxSize, std::size_t padding,
                                     BufferPtr& data) {
    if (size > maxSize) return ReadStatus::TooLarge;
    if (size > static_cast<std::uint64_t>(SIZE_MAX - padding)) return ReadStatus::NoMemory;
    const auto bytes = static_cast<std::size_t>(size);
    data = BufferPtr(static_cast<std::uint8_t*>(AllocateBuffer(bytes + padding)), BufferDeleter{bytes + padding});
    if (!data) return ReadStatus::NoMemory;
    std::memset(data.get() + bytes, 0, padding);
    return ReadStatus::Ok;
}

}  // namespace vm::platform::detail

