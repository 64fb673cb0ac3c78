#include "app/ProgressLine.hpp"

namespace varnosk::progress {

void begin(std::ostream& out) { out << "Progress: 0%" << std::flush; }

std::uint64_t percentage(std::uint64_t done, std::uint64_t total) {
    return static_cast<std::uint64_t>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
}

void update(std::ostream& out, std::uint64_t done, std::uint64_t total) {
    out << "\rProgress: " << percentage(done, total) << "%" << std::flush;
}

}  // namespace varnosk::progress
