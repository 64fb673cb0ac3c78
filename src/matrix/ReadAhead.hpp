#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "matrix/ByteSource.hpp"

namespace varnosk {

// Runs a source in a thread of its own, a few blocks ahead of the reader, so that
// decompression and parsing overlap. The source is used by that thread only; the bytes, and
// then its error if it fails, reach the reader in order. Destroying the object stops the
// thread (after the read it is in returns).
class ReadAhead final : public ByteSource {
public:
    explicit ReadAhead(std::unique_ptr<ByteSource> source);
    ~ReadAhead() override;
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    std::uint64_t inputPosition() const override { return input_position_.load(std::memory_order_relaxed); }

protected:
    std::size_t readSome(char* out, std::size_t capacity) override;

private:
    struct Block {
        std::vector<char> bytes;
        std::size_t size = 0;
    };

    void produce();

    std::unique_ptr<ByteSource> source_;
    std::vector<Block> blocks_;  // a ring: [first_, first_ + filled_) holds data for the reader
    std::size_t first_ = 0;
    std::size_t filled_ = 0;
    std::size_t offset_ = 0;  // bytes of the first block already returned (reader only)
    bool ended_ = false;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<std::uint64_t> input_position_{0};
    std::thread thread_;
};

}  // namespace varnosk
