#pragma once

#include <charconv>
#include <string>

namespace varnosk {

// The shortest text that reads back as exactly `value` (0.1 as "0.1", 1/3 as
// "0.3333333333333333", 1e-7 as "1e-07"), independent of the locale: R and pandas read it
// back to the same double.
inline std::string shortestText(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace varnosk
