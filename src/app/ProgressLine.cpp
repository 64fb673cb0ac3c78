#include "app/ProgressLine.hpp"

namespace varnosk {

void ProgressLine::begin() {
    out_ << "Progress: 0%" << std::flush;
    open_ = true;
}

std::uint64_t ProgressLine::percentage(std::uint64_t done, std::uint64_t total) {
    return static_cast<std::uint64_t>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
}

void ProgressLine::update(std::uint64_t done, std::uint64_t total) {
    out_ << "\rProgress: " << percentage(done, total) << "%" << std::flush;
}

}  // namespace varnosk
