#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

namespace varnosk {

namespace detail {

// Moves the values of [first, last) that satisfy below(v) to the front and returns how many
// there are. Branch-free (Lomuto with an unconditional swap): ratio and residual values come
// in random order, and a branch on each comparison would mispredict half the time.
template <typename T, typename Below>
std::size_t partitionBranchless(T* first, T* last, Below below) {
    std::size_t num_below = 0;
    for (T* p = first; p != last; ++p) {
        const T value = *p;
        *p = first[num_below];
        first[num_below] = value;
        num_below += below(value) ? 1 : 0;
    }
    return num_below;
}

// Reorders values[0 .. n-1] so that values[k] is the value a full sort would put there, no
// value before it is larger and none after it is smaller (as std::nth_element).
template <typename T>
void selectNth(T* values, std::size_t k, std::size_t n) {
    constexpr std::size_t kSmall = 16;
    T* first = values;
    T* last = values + n;
    T* nth = values + k;
    // Median-of-three pivots make quadratic inputs unlikely; past this many rounds the
    // library's introselect finishes the job with its guaranteed bound.
    int rounds_left = 64;
    while (last - first > static_cast<std::ptrdiff_t>(kSmall)) {
        if (--rounds_left == 0) {
            std::nth_element(first, nth, last);
            return;
        }
        const T a = *first;
        const T b = first[(last - first) / 2];
        const T c = last[-1];
        const T pivot = std::max(std::min(a, b), std::min(std::max(a, b), c));
        const std::size_t num_less = partitionBranchless(first, last, [pivot](T v) { return v < pivot; });
        if (num_less == 0) {
            // The pivot is the smallest value: split off the values equal to it instead.
            const std::size_t num_equal = partitionBranchless(first, last, [pivot](T v) { return !(pivot < v); });
            if (nth < first + num_equal) return;
            first += num_equal;
        } else if (nth < first + num_less) {
            last = first + num_less;
        } else {
            first += num_less;
        }
    }
    std::sort(first, last);
}

inline void compareExchange(double& a, double& b) {
    const bool in_order = a < b;
    const double low = in_order ? a : b;
    const double high = in_order ? b : a;
    a = low;
    b = high;
}

// Calls f(i, j) for each compare-exchange of Batcher's odd-even merge sort of N inputs (a
// power of two), in network order.
template <std::size_t N, typename F>
constexpr void forEachBatcherPair(F f) {
    for (std::size_t p = 1; p < N; p *= 2) {
        for (std::size_t k = p; k >= 1; k /= 2) {
            for (std::size_t j = k % p; j + k < N; j += 2 * k) {
                for (std::size_t i = 0; i < std::min(k, N - j - k); ++i) {
                    if ((i + j) / (2 * p) == (i + j + k) / (2 * p)) f(i + j, i + j + k);
                }
            }
        }
    }
}

template <std::size_t N>
constexpr std::size_t batcherPairCount() {
    std::size_t count = 0;
    forEachBatcherPair<N>([&count](std::size_t, std::size_t) { ++count; });
    return count;
}

template <std::size_t N>
constexpr std::array<std::pair<std::uint8_t, std::uint8_t>, batcherPairCount<N>()> batcherPairs() {
    std::array<std::pair<std::uint8_t, std::uint8_t>, batcherPairCount<N>()> pairs{};
    std::size_t at = 0;
    forEachBatcherPair<N>([&](std::size_t i, std::size_t j) {
        pairs[at++] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(j)};
    });
    return pairs;
}

}  // namespace detail

// Sorts values[0 .. n-1], n <= N (a power of two, at most 128), none of them a NaN, by a
// fixed network: no branch depends on the values, which come in random order. Zeros of
// opposite signs may end in either order.
template <std::size_t N>
void sortByNetwork(double* values, std::size_t n) {
    static constexpr auto kPairs = detail::batcherPairs<N>();
    double v[N];
    for (std::size_t i = 0; i < N; ++i) v[i] = i < n ? values[i] : std::numeric_limits<double>::infinity();
    // Unrolled, so that every position is a constant and the values can stay in registers.
    [&v]<std::size_t... I>(std::index_sequence<I...>) {
        (detail::compareExchange(v[kPairs[I].first], v[kPairs[I].second]), ...);
    }
    (std::make_index_sequence<kPairs.size()>{});
    std::copy(v, v + n, values);
}

// Median of values[0 .. n-1] by selection (no full sort); reorders the range. For odd n the
// middle value; for even n the largest of the lower half and the smallest of the upper half,
// averaged in double precision. n must be positive.
template <typename T>
double medianBySelection(T* values, std::size_t n) {
    const std::size_t half = n / 2;
    detail::selectNth(values, half, n);
    const double upper = static_cast<double>(values[half]);
    if (n % 2 == 1) return upper;
    T lower = values[0];
    for (std::size_t i = 1; i < half; ++i) lower = values[i] > lower ? values[i] : lower;
    return (static_cast<double>(lower) + upper) * 0.5;
}

// Median of sorted values[0 .. n-1], n positive, as medianBySelection computes it.
inline double medianOfSorted(const double* values, std::size_t n) {
    const std::size_t half = n / 2;
    if (n % 2 == 1) return values[half];
    return (values[half - 1] + values[half]) * 0.5;
}

struct Quartiles {
    double lower;
    double upper;
};

// The medians of the n / 2 smallest and of the n / 2 largest of values[0 .. n-1] (the middle
// value of an odd n in neither), n >= 2, none a NaN; reorders the values. Up to 32 values are
// sorted whole by a network, cheaper than three selections; the values are the same.
inline Quartiles halfMedians(double* values, std::size_t n) {
    const std::size_t half = n / 2;
    constexpr std::size_t kMaxSorted = 32;
    if (n > kMaxSorted) {
        detail::selectNth(values, half, n);
        return {medianBySelection(values, half), medianBySelection(values + half + n % 2, half)};
    }
    if (n <= kMaxSorted / 2) {
        sortByNetwork<kMaxSorted / 2>(values, n);
    } else {
        sortByNetwork<kMaxSorted>(values, n);
    }
    return {medianOfSorted(values, half), medianOfSorted(values + half + n % 2, half)};
}

}  // namespace varnosk
