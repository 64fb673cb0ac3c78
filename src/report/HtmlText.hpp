#pragma once

#include <string>
#include <string_view>

namespace varnosk {

// `text` made safe as HTML or SVG text and as a quoted attribute value: &, <, >, " and '
// become character references. Every name that comes from the input goes through it.
std::string escapeHtml(std::string_view text);

// The heatmap colour of `t` in [0, 1] as "#rrggbb", light yellow (0) through teal to dark
// blue (1), interpolated linearly in RGB between fixed stops; darker for larger t. Values
// outside are clamped; not-a-number gives grey "#cccccc".
std::string colourScale(double t);

// `value` with at most `digits` significant digits ("0.123", "1.2e+04"), independent of
// the locale; "NA" for not-a-number.
std::string roundedText(double value, int digits = 3);

}  // namespace varnosk
