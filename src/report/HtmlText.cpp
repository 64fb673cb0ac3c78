#include "report/HtmlText.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace varnosk {

std::string escapeHtml(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\'': escaped += "&#39;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

std::string shortName(std::string_view name, std::size_t max_length) {
    std::size_t characters = 0;
    std::size_t kept = name.size();
    for (std::size_t i = 0; i < name.size(); ++i) {
        // continuation bytes (10xxxxxx) belong to the character before them
        if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;
        if (characters == max_length - 1) kept = i;
        // stops at the first character too many, so a huge name costs no more than a short one
        if (++characters > max_length) return std::string(name.substr(0, kept)) + "…";
    }
    return std::string(name);
}

std::string colourScale(double t) {
    if (std::isnan(t)) return "#cccccc";
    t = std::clamp(t, 0.0, 1.0);
    // a sequential scale whose lightness falls steadily, so it also reads in grey print
    constexpr std::array<std::array<double, 3>, 4> stops = {
        {{255, 255, 217}, {127, 205, 187}, {29, 145, 192}, {8, 29, 88}}};
    const double position = t * static_cast<double>(stops.size() - 1);
    const std::size_t low = std::min(static_cast<std::size_t>(position), stops.size() - 2);
    const double share = position - static_cast<double>(low);
    char text[8];
    int channels[3];
    for (std::size_t c = 0; c < 3; ++c) {
        channels[c] = static_cast<int>(std::lround(stops[low][c] + share * (stops[low + 1][c] - stops[low][c])));
    }
    std::snprintf(text, sizeof text, "#%02x%02x%02x", channels[0], channels[1], channels[2]);
    return text;
}

std::string roundedText(double value, int digits) {
    if (std::isnan(value)) return "NA";
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    return std::string(buffer, result.ptr);
}

}  // namespace varnosk
