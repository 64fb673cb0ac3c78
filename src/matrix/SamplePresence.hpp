#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace varnosk {

// Two bitsets over the samples of one gene, one bit per sample: the count reaches the
// detection threshold ("detected"), the count is not zero ("non-zero"). The comparator reads
// co-detection and exclusive presence from them in a few word operations, and they take a bit
// per sample where a list of detected samples took four bytes each.
class SamplePresence {
public:
    // Bits of counts (square-root scale) against threshold; reuses the capacity.
    void compute(const std::vector<float>& counts, float threshold);

    std::size_t words() const { return words_; }
    const std::uint64_t* detected() const { return bits_.data(); }
    const std::uint64_t* nonzero() const { return bits_.data() + words_; }

    bool isDetected(std::size_t sample) const { return (detected()[sample / 64] >> (sample % 64)) & 1u; }
    std::uint64_t numDetected() const {
        std::uint64_t n = 0;
        for (std::size_t k = 0; k < words_; ++k) n += static_cast<std::uint64_t>(std::popcount(detected()[k]));
        return n;
    }

private:
    std::size_t words_ = 0;
    std::vector<std::uint64_t> bits_;  // detected, then non-zero
};

// Calls f(sample) for every set bit of the words a[k] & b[k], in ascending sample order.
template <typename Combine, typename F>
inline void forEachSample(std::size_t words, Combine combine, F f) {
    for (std::size_t k = 0; k < words; ++k) {
        std::uint64_t bits = combine(k);
        while (bits != 0) {
            f(static_cast<std::uint32_t>(k * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
            bits &= bits - 1;
        }
    }
}

}  // namespace varnosk
