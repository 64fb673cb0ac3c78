#pragma once

#include <cstdint>
#include <ostream>

#include "common/ProgressSink.hpp"

namespace varnosk {

// The carriage-return progress indicator on the console: "Progress: 0%", then
// "\rProgress: <floor(done * 100 / total)>%" on every report, each flushed. Owned by the
// driver, which knows whether a line is open when an error ends the run.
class ProgressLine final : public ProgressSink {
public:
    explicit ProgressLine(std::ostream& out) : out_(out) {}

    // Writes "Progress: 0%"; the line stays open until close().
    void begin();
    void update(std::uint64_t done, std::uint64_t total) override;
    // The stage's closing message will overwrite the line.
    void close() { open_ = false; }
    bool isOpen() const { return open_; }

    // Truncated percentage, 0 to 100.
    static std::uint64_t percentage(std::uint64_t done, std::uint64_t total);

private:
    std::ostream& out_;
    bool open_ = false;
};

}  // namespace varnosk
