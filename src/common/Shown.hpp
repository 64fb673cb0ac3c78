#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varnosk {

// Bytes of a gene name, sample name or token echoed in a message: a 10 MB name must not
// make a 10 MB message.
inline constexpr std::size_t kShownNameBytes = 200;
// Bytes of a path echoed in a message: no longer path can be opened (PATH_MAX).
inline constexpr std::size_t kShownPathBytes = 4096;

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

// `text` with control characters escaped, its first `limit` bytes only when it is longer,
// cut before a UTF-8 continuation byte and followed by "... (<n> more bytes)".
inline std::string escapedAndCut(std::string_view text, std::size_t limit) {
    std::size_t kept = text.size();
    if (kept > limit) {
        kept = limit;
        // at most three continuation bytes follow a lead byte
        for (int step = 0; step < 3 && kept > 0 && (static_cast<unsigned char>(text[kept]) & 0xc0) == 0x80; ++step) {
            --kept;
        }
    }
    std::string result;
    result.reserve(kept + 32);
    for (const char c : text.substr(0, kept)) appendEscapingControls(result, c);
    if (kept < text.size()) result += "... (" + std::to_string(text.size() - kept) + " more bytes)";
    return result;
}

// A name or token as echoed in a message: control characters escaped as \xHH so that a
// message stays one readable line, cut after kShownNameBytes, an empty text shown as ''.
inline std::string shown(std::string_view text) {
    if (text.empty()) return "''";
    return escapedAndCut(text, kShownNameBytes);
}

// A path as echoed in a message: as shown(), cut only beyond kShownPathBytes.
inline std::string shownPath(std::string_view path) {
    if (path.empty()) return "''";
    return escapedAndCut(path, kShownPathBytes);
}

// The message for an input (settings or matrix) that cannot be opened for reading.
inline std::string cannotBeRead(std::string_view path) {
    return "error: " + shownPath(path) +
           " cannot be read. Check that the path is valid and that you have read permissions.";
}

}  // namespace varnosk
