#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace varnosk {

// Two bitsets over the samples of one gene, one bit per sample: the count reaches the
// detection threshold ("detected"), the count is not zero ("non-zero"). The comparator reads
// co-detection and exclusive presence from them in a few word operations, and they take a bit
// per sample where a list of detected samples took four bytes each.
//
// The bits live in a shared block: a gene of its own (a representative profile) owns a
// block, the genes of a count matrix share one for the whole matrix, in gene order, which
// saves an allocation per gene and lets a scan over the genes read one contiguous array.
class SamplePresence {
public:
    // Bits of counts (square-root scale) against threshold, in a block of their own.
    void compute(const std::vector<float>& counts, float threshold);
    // The same bits written to `bits` (strideFor(counts.size()) words) inside `block`.
    void computeInto(const std::vector<float>& counts, float threshold, std::shared_ptr<std::uint64_t[]> block,
                     std::uint64_t* bits);
    // The start of the block holding the bits, and a move of the bits to `bits` inside it
    // (which may overlap their old place).
    std::uint64_t* block() const { return block_.get(); }
    void moveTo(std::uint64_t* bits);

    static std::size_t wordsFor(std::size_t num_samples) { return (num_samples + 63) / 64; }
    // Words one gene's bits take in a block: detected, then non-zero.
    static std::size_t strideFor(std::size_t num_samples) { return 2 * wordsFor(num_samples); }
    std::size_t stride() const { return 2 * words_; }
    std::size_t words() const { return words_; }
    const std::uint64_t* detected() const { return bits_; }
    const std::uint64_t* nonzero() const { return bits_ + words_; }
    bool isDetected(std::size_t sample) const { return (detected()[sample / 64] >> (sample % 64)) & 1u; }
    std::uint64_t numDetected() const {
        std::uint64_t n = 0;
        for (std::size_t k = 0; k < words_; ++k) n += static_cast<std::uint64_t>(std::popcount(detected()[k]));
        return n;
    }

private:
    std::shared_ptr<std::uint64_t[]> block_;
    std::uint64_t* bits_ = nullptr;  // detected, then non-zero, inside block_
    std::size_t words_ = 0;
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
