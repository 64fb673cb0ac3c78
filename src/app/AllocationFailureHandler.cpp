#include "app/AllocationFailureHandler.hpp"

#include "common/OutOfMemory.hpp"

#include <unistd.h>

#include <cstdlib>
#include <new>

namespace varnosk {
namespace {

// Runs when operator new cannot allocate: nothing may allocate here, so write the message
// with a raw system call and leave without unwinding.
void onAllocationFailure() {
    static const char newline = '\n';
    const ssize_t ignored = ::write(STDERR_FILENO, kOutOfMemoryMessage, sizeof(kOutOfMemoryMessage) - 1) +
                            ::write(STDERR_FILENO, &newline, 1);
    (void)ignored;
    std::_Exit(kOutOfMemoryStatus);
}

}  // namespace

void installAllocationFailureHandler() { std::set_new_handler(onAllocationFailure); }

}  // namespace varnosk
