#pragma once

#include <cstddef>

namespace varnosk {

// Plain sums of pairs (x, y) taken in one pass, and the centred sums derived from them. The
// derivation cancels where the values are large against their spread: callers that need
// bounds add their rounding error (for non-negative values, a few count eps times the sums
// of squares).
struct PlainSums {
    std::size_t count = 0;
    double x = 0.0;
    double y = 0.0;
    double xx = 0.0;
    double yy = 0.0;
    double xy = 0.0;

    void add(double xs, double ys) {
        x += xs;
        y += ys;
        xx += xs * xs;
        yy += ys * ys;
        xy += xs * ys;
        ++count;
    }

    double centredXX() const { return xx - x * (x / static_cast<double>(count)); }
    double centredYY() const { return yy - y * (y / static_cast<double>(count)); }
    double centredXY() const { return xy - x * (y / static_cast<double>(count)); }
};

}  // namespace varnosk
