#include "distributed/AgreedFailure.hpp"

#include <new>
#include <stdexcept>

#include "common/OutOfMemory.hpp"

namespace varnosk {

std::string failureMessage(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return kOutOfMemoryMessage;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "error: unknown failure.";
    }
}

void throwAgreedFailure(bool is_lowest_failing_rank, const std::exception_ptr& own, const std::string& message) {
    if (is_lowest_failing_rank) std::rethrow_exception(own);
    if (message == kOutOfMemoryMessage) throw MemoryExhaustedElsewhere();
    throw std::runtime_error(message);
}

}  // namespace varnosk
