#pragma once

#include <new>

namespace varnosk {

// How a run that ran out of memory ends, whichever allocation failed: operator new, or a
// library (a decoder's window, say) that reports it and is answered with std::bad_alloc.
inline constexpr char kOutOfMemoryMessage[] = "error: memory allocation failed.";
inline constexpr int kOutOfMemoryStatus = 1;

// What the ranks that did not run out of memory throw when another rank did.
struct MemoryExhaustedElsewhere final : std::bad_alloc {
    const char* what() const noexcept override { return kOutOfMemoryMessage; }
};

}  // namespace varnosk
