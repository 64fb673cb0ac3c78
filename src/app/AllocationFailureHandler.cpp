#include "app/AllocationFailureHandler.hpp"

#include <unistd.h>

#include <cstdlib>
#include <new>

namespace varnosk {
namespace {

// Runs when operator new cannot allocate: nothing may allocate here, so write the message
// with a raw system call and leave without unwinding.
void onAllocationFailure() {
    static const char message[] = "error: memory allocation failed.\n";
    const ssize_t ignored = ::write(STDERR_FILENO, message, sizeof(message) - 1);
    (void)ignored;
    std::_Exit(1);
}

}  // namespace

void installAllocationFailureHandler() { std::set_new_handler(onAllocationFailure); }

}  // namespace varnosk
