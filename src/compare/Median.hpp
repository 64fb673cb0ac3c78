#pragma once

#include <algorithm>
#include <cstddef>

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
            const std::size_t num_equal =
                partitionBranchless(first, last, [pivot](T v) { return !(pivot < v); });
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

}  // namespace detail

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

}  // namespace varnosk
