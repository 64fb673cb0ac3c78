#include "matrix/ReadAhead.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace varnosk {
namespace {

// Four blocks of 1 MiB: enough to absorb the reader's pauses, small beside any matrix.
constexpr std::size_t kNumBlocks = 4;
constexpr std::size_t kBlockSize = std::size_t{1} << 20;

}  // namespace

ReadAhead::ReadAhead(std::unique_ptr<ByteSource> source) : source_(std::move(source)), blocks_(kNumBlocks) {
    for (Block& block : blocks_) block.bytes.resize(kBlockSize);
    try {
        thread_ = std::thread([this] { produce(); });
    } catch (const std::system_error&) {
        // no room for the thread's stack, as under an address-space limit: memory ran out
        throw std::bad_alloc();
    }
}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ReadAhead::produce() {
    for (;;) {
        std::size_t slot = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || filled_ < blocks_.size(); });
            if (stopping_) return;
            slot = (first_ + filled_) % blocks_.size();
        }
        // The slot lies outside the reader's range until it is published below.
        Block& block = blocks_[slot];
        block.size = 0;
        bool at_end = false;
        std::exception_ptr failure;
        try {
            while (block.size < block.bytes.size()) {
                const std::size_t got = source_->read(block.bytes.data() + block.size, block.bytes.size() - block.size);
                if (got == 0) {
                    at_end = true;
                    break;
                }
                block.size += got;
            }
        } catch (...) {
            failure = std::current_exception();
        }
        input_position_.store(source_->inputPosition(), std::memory_order_relaxed);
        {
            const std::lock_guard lock(mutex_);
            if (block.size > 0) ++filled_;
            if (at_end || failure) {
                ended_ = true;
                failure_ = failure;
            }
        }
        changed_.notify_all();
        if (at_end || failure) return;
    }
}

std::size_t ReadAhead::readSome(char* out, std::size_t capacity) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return filled_ > 0 || ended_; });
    if (filled_ == 0) {
        if (failure_) std::rethrow_exception(failure_);
        return 0;
    }
    const Block& block = blocks_[first_];
    lock.unlock();
    // The first block belongs to the reader until it is handed back.
    const std::size_t got = std::min(capacity, block.size - offset_);
    std::memcpy(out, block.bytes.data() + offset_, got);
    offset_ += got;
    if (offset_ == block.size) {
        offset_ = 0;
        lock.lock();
        first_ = (first_ + 1) % blocks_.size();
        --filled_;
        lock.unlock();
        changed_.notify_all();
    }
    return got;
}

}  // namespace varnosk
