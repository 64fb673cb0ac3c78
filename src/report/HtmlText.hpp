#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varnosk {

// `text` made safe as HTML or SVG text and as a quoted attribute value: &, <, >, " and '
// become character references. Every name that comes from the input goes through it.
std::string escapeHtml(std::string_view text);

// Longest input name the report shows whole, in characters: a name may be written once per
// heatmap column and cell, so long ones would make the file grow with their length.
inline constexpr std::size_t kMaxShownNameLength = 48;

// `name` unchanged when it has at most `max_length` (>= 1) characters, else its first
// max_length - 1 characters and "…". Characters are UTF-8 code points, so no multi-byte
// sequence is split; cut before escaping, so that no character reference is split either.
std::string shortName(std::string_view name, std::size_t max_length = kMaxShownNameLength);

// The heatmap colour of `t` in [0, 1] as "#rrggbb", light yellow (0) through teal to dark
// blue (1), interpolated linearly in RGB between fixed stops; darker for larger t. Values
// outside are clamped; not-a-number gives grey "#cccccc".
std::string colourScale(double t);

// `value` with at most `digits` significant digits ("0.123", "1.2e+04"), independent of
// the locale; "NA" for not-a-number.
std::string roundedText(double value, int digits = 3);

}  // namespace varnosk
