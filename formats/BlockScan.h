// Reading strings 16 bytes at a time when their end is not known yet.
//
// A 16-byte block that starts at least 16 bytes before the end of a 4 KiB
// page lies in that page (pages are 4 KiB or multiples of it). When its
// first byte belongs to a string, the page is mapped, so the whole block
// can be read without a fault, even where it reaches past the string's
// terminator; the bytes beyond the terminator are never used. The scanning
// routines load such blocks through LoadBlock only, and go one unit at a
// time near the end of a page. The address sanitizer would take the part
// of a block past a terminator for an overflow, so in sanitizer builds
// LoadBlock is a function of its own that is not instrumented; every other
// access of the routines stays watched.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#define VM_BLOCK_SCAN 1

#if defined(__SANITIZE_ADDRESS__)
#define VM_BLOCK_LOAD_UNWATCHED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VM_BLOCK_LOAD_UNWATCHED 1
#endif
#endif

namespace vm::detail {

inline constexpr std::uintptr_t PageBytes = 4096;

// True when the 16 bytes from p lie in the page of p.
inline bool BlockInPage(const void* p) {
    return (reinterpret_cast<std::uintptr_t>(p) & (PageBytes - 1)) <= PageBytes - 16;
}

#ifdef VM_BLOCK_LOAD_UNWATCHED
__attribute__((no_sanitize_address, noinline)) inline __m128i LoadBlock(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
#else
inline __m128i LoadBlock(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
#endif

}  // namespace vm::detail

#endif
