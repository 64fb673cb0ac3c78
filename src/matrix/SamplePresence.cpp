#include "matrix/SamplePresence.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace varnosk {

void SamplePresence::compute(const std::vector<float>& counts, float threshold) {
    auto block = std::make_shared<std::uint64_t[]>(std::max<std::size_t>(1, strideFor(counts.size())));
    std::uint64_t* bits = block.get();
    computeInto(counts, threshold, std::move(block), bits);
}

void SamplePresence::computeInto(const std::vector<float>& counts, float threshold,
                                 std::shared_ptr<std::uint64_t[]> block, std::uint64_t* bits) {
    words_ = wordsFor(counts.size());
    block_ = std::move(block);
    bits_ = bits;
    std::uint64_t* detected = bits_;
    std::uint64_t* nonzero = detected + words_;
    std::fill_n(bits_, stride(), 0);
    for (std::size_t s = 0; s < counts.size(); ++s) {
        const float c = counts[s];
        const std::uint64_t bit = std::uint64_t{1} << (s % 64);
        detected[s / 64] |= c >= threshold ? bit : 0;
        nonzero[s / 64] |= c != 0.0f ? bit : 0;
    }
}

void SamplePresence::moveTo(std::uint64_t* bits) {
    if (bits != bits_) std::memmove(bits, bits_, stride() * sizeof(std::uint64_t));
    bits_ = bits;
}

}  // namespace varnosk
