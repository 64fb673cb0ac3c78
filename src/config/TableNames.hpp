#pragma once

#include <cstdint>
#include <string>

namespace varnosk {

// A cluster name of the output tables: the prefix, then the number padded on the left with
// zeros to at least `width` digits ("seed" 7 3 -> "seed007").
inline std::string zeroPaddedName(const std::string& prefix, std::uint64_t number, std::size_t width) {
    const std::string digits = std::to_string(number);
    std::string name = prefix;
    if (digits.size() < width) name.append(width - digits.size(), '0');
    return name + digits;
}

}  // namespace varnosk
