#pragma once

#include <exception>
#include <string>

namespace varnosk {

// What the ranks of an agreement learn of a failure, whichever cluster carries the bytes.

// The text the other ranks are told: the failure's message, the out-of-memory message for any
// failed allocation.
std::string failureMessage(const std::exception_ptr& failure);

// Ends an agreement that found a failure. The lowest failing rank read the earliest part of
// the input, so its failure is the run's: that rank rethrows its own exception (`own`), every
// other rank throws what `message` says (MemoryExhaustedElsewhere for memory, otherwise
// std::runtime_error).
[[noreturn]] void throwAgreedFailure(bool is_lowest_failing_rank, const std::exception_ptr& own,
                                     const std::string& message);

}  // namespace varnosk
