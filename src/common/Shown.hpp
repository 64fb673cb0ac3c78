#pragma once

#include <string>

namespace varnosk {

// Appends `c` to `text`, a control character as \xHH.
inline void appendEscapingControls(std::string& text, char c) {
    static const char kHex[] = "0123456789abcdef";
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
        text += "\\x";
        text += kHex[byte >> 4];
        text += kHex[byte & 0xf];
    } else {
        text += c;
    }
}

// A name, path or token as echoed in a message: control characters escaped as \xHH so that
// a message stays one readable line, and an empty text shown as ''.
inline std::string shown(const std::string& text) {
    if (text.empty()) return "''";
    std::string result;
    for (const char c : text) appendEscapingControls(result, c);
    return result;
}

}  // namespace varnosk
