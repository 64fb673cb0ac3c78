#pragma once

#include <string>

namespace varnosk {

// A name, path or token as echoed in a message: control characters escaped as \xHH so that
// a message stays one readable line, and an empty text shown as ''.
inline std::string shown(const std::string& text) {
    if (text.empty()) return "''";
    static const char kHex[] = "0123456789abcdef";
    std::string result;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            result += "\\x";
            result += kHex[byte >> 4];
            result += kHex[byte & 0xf];
        } else {
            result += c;
        }
    }
    return result;
}

}  // namespace varnosk
