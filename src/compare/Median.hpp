#pragma once

#include <algorithm>
#include <cstddef>

namespace varnosk {

// Median of values[0 .. n-1] by selection (no full sort); reorders the range. For odd n the
// middle value; for even n the largest of the lower half and the smallest of the upper half,
// averaged in double precision. n must be positive.
template <typename T>
double medianBySelection(T* values, std::size_t n) {
    const std::size_t half = n / 2;
    std::nth_element(values, values + half, values + n);
    const double upper = static_cast<double>(values[half]);
    if (n % 2 == 1) return upper;
    const double lower = static_cast<double>(*std::max_element(values, values + half));
    return (lower + upper) * 0.5;
}

}  // namespace varnosk
