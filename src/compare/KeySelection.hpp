#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSSE3__)
#include <immintrin.h>
#endif

namespace varnosk {

// Selection on 32-bit keys (the comparator's quotient bit patterns) for the few hundred
// values of one pair: out of place, so the keys stay in their order for later filters.
// Ordering is that of unsigned integers.

namespace detail {

#if defined(__SSSE3__)
// Byte shuffles moving the lanes set in a 4-bit mask to the front, in lane order.
struct LanePackTable {
    alignas(16) std::array<std::array<std::uint8_t, 16>, 16> shuffles{};
};

constexpr LanePackTable makeLanePackTable() {
    LanePackTable table;
    for (unsigned mask = 0; mask < 16; ++mask) {
        unsigned out = 0;
        for (unsigned lane = 0; lane < 4; ++lane) {
            if (((mask >> lane) & 1u) == 0) continue;
            for (unsigned b = 0; b < 4; ++b)
                table.shuffles[mask][out * 4 + b] = static_cast<std::uint8_t>(lane * 4 + b);
            ++out;
        }
        for (; out < 4; ++out) {
            for (unsigned b = 0; b < 4; ++b) table.shuffles[mask][out * 4 + b] = 0x80;
        }
    }
    return table;
}

inline constexpr LanePackTable kLanePack = makeLanePackTable();
#endif

struct ThreeWaySplit {
    std::size_t num_less;
    std::size_t num_greater;
};

// Copies the keys below the pivot to less and those above it to greater, in order; keys
// equal to it are only counted (as n - num_less - num_greater). Both outputs need room for
// n + 3 keys: the vector loop stores four lanes at a time.
inline ThreeWaySplit splitThreeWays(const std::uint32_t* keys, std::size_t n, std::uint32_t pivot, std::uint32_t* less,
                                    std::uint32_t* greater) {
    std::size_t num_less = 0;
    std::size_t num_greater = 0;
    std::size_t i = 0;
#if defined(__SSSE3__)
    // Signed lane comparisons order unsigned keys once the top bit is flipped.
    const __m128i flip = _mm_set1_epi32(INT32_MIN);
    const __m128i p = _mm_xor_si128(_mm_set1_epi32(static_cast<int>(pivot)), flip);
    for (; i + 4 <= n; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + i));
        const __m128i s = _mm_xor_si128(v, flip);
        const auto lt = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(p, s))));
        const auto gt = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(s, p))));
        const __m128i to_less = _mm_load_si128(reinterpret_cast<const __m128i*>(kLanePack.shuffles[lt].data()));
        const __m128i to_greater = _mm_load_si128(reinterpret_cast<const __m128i*>(kLanePack.shuffles[gt].data()));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(less + num_less), _mm_shuffle_epi8(v, to_less));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(greater + num_greater), _mm_shuffle_epi8(v, to_greater));
        num_less += static_cast<std::size_t>(std::popcount(lt));
        num_greater += static_cast<std::size_t>(std::popcount(gt));
    }
#endif
    for (; i < n; ++i) {
        const std::uint32_t v = keys[i];
        less[num_less] = v;
        greater[num_greater] = v;
        num_less += v < pivot ? 1 : 0;
        num_greater += v > pivot ? 1 : 0;
    }
    return {num_less, num_greater};
}

}  // namespace detail

// Three scratch arrays of at least n + 3 keys each, none of them the keys selected from.
struct KeyScratch {
    std::uint32_t* arrays[3];
};

// The k-th smallest of keys[0 .. n-1] (k < n), leaving the keys unchanged.
inline std::uint32_t selectKey(const std::uint32_t* keys, std::size_t n, std::size_t k, KeyScratch scratch) {
    constexpr std::size_t kSmall = 12;
    const std::uint32_t* current = keys;
    int current_array = -1;  // the scratch array holding current, if any
    // Median-of-three pivots make quadratic inputs unlikely; past this many rounds the
    // library's introselect finishes the job with its guaranteed bound.
    int rounds_left = 64;
    while (n > kSmall) {
        const int first = current_array == 0 ? 1 : 0;
        const int second = current_array == 2 ? 1 : 2;
        std::uint32_t* less = scratch.arrays[first];
        std::uint32_t* greater = scratch.arrays[second];
        if (--rounds_left == 0) {
            std::copy(current, current + n, less);
            std::nth_element(less, less + k, less + n);
            return less[k];
        }
        const std::uint32_t a = current[0];
        const std::uint32_t b = current[n / 2];
        const std::uint32_t c = current[n - 1];
        const std::uint32_t pivot = std::max(std::min(a, b), std::min(std::max(a, b), c));
        const detail::ThreeWaySplit split = detail::splitThreeWays(current, n, pivot, less, greater);
        if (k < split.num_less) {
            current = less;
            current_array = first;
            n = split.num_less;
        } else if (k < n - split.num_greater) {
            return pivot;
        } else {
            k -= n - split.num_greater;
            current = greater;
            current_array = second;
            n = split.num_greater;
        }
    }
    // The key with k smaller ones at most and more than k no larger ones.
#if defined(__SSSE3__)
    // All keys in three registers: each candidate is counted against them in a few vector
    // operations instead of a loop over the keys.
    alignas(16) std::uint32_t flipped[kSmall] = {};
    for (std::size_t j = 0; j < n; ++j) flipped[j] = current[j] ^ 0x80000000u;
    const __m128i k0 = _mm_load_si128(reinterpret_cast<const __m128i*>(flipped));
    const __m128i k1 = _mm_load_si128(reinterpret_cast<const __m128i*>(flipped + 4));
    const __m128i k2 = _mm_load_si128(reinterpret_cast<const __m128i*>(flipped + 8));
    const auto lanes = [](__m128i mask) { return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(mask))); };
    const unsigned valid = (1u << n) - 1u;
    for (std::size_t i = 0;; ++i) {
        const __m128i v = _mm_set1_epi32(static_cast<int>(flipped[i]));
        const unsigned less =
            (lanes(_mm_cmpgt_epi32(v, k0)) | lanes(_mm_cmpgt_epi32(v, k1)) << 4 | lanes(_mm_cmpgt_epi32(v, k2)) << 8) &
            valid;
        const unsigned greater =
            (lanes(_mm_cmpgt_epi32(k0, v)) | lanes(_mm_cmpgt_epi32(k1, v)) << 4 | lanes(_mm_cmpgt_epi32(k2, v)) << 8) &
            valid;
        const auto num_less = static_cast<std::size_t>(std::popcount(less));
        const std::size_t num_not_greater = n - static_cast<std::size_t>(std::popcount(greater));
        if (num_less <= k && k < num_not_greater) return current[i];
    }
#else
    for (std::size_t i = 0;; ++i) {
        const std::uint32_t v = current[i];
        std::size_t num_less = 0;
        std::size_t num_not_greater = 0;
        for (std::size_t j = 0; j < n; ++j) {
            num_less += current[j] < v ? 1 : 0;
            num_not_greater += current[j] <= v ? 1 : 0;
        }
        if (num_less <= k && k < num_not_greater) return v;
    }
#endif
}

}  // namespace varnosk
