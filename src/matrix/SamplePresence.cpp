#include "matrix/SamplePresence.hpp"

namespace varnosk {

void SamplePresence::compute(const std::vector<float>& counts, float threshold) {
    words_ = (counts.size() + 63) / 64;
    bits_.assign(2 * words_, 0);
    bits_.shrink_to_fit();
    std::uint64_t* detected = bits_.data();
    std::uint64_t* nonzero = detected + words_;
    for (std::size_t s = 0; s < counts.size(); ++s) {
        const float c = counts[s];
        const std::uint64_t bit = std::uint64_t{1} << (s % 64);
        detected[s / 64] |= c >= threshold ? bit : 0;
        nonzero[s / 64] |= c != 0.0f ? bit : 0;
    }
}

}  // namespace varnosk
