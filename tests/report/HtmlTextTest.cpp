#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "report/HtmlText.hpp"

using namespace varnosk;

namespace {

// Rec. 601 luma of "#rrggbb".
double luma(const std::string& colour) {
    const auto channel = [&](int i) { return std::stoi(colour.substr(1 + 2 * i, 2), nullptr, 16); };
    return 0.299 * channel(0) + 0.587 * channel(1) + 0.114 * channel(2);
}

}  // namespace

TEST(HtmlText, EscapesMarkupAmpersandsAndBothQuotes) {
    EXPECT_EQ(escapeHtml("<script>alert(1)</script>"), "&lt;script&gt;alert(1)&lt;/script&gt;");
    EXPECT_EQ(escapeHtml("a&b \"c\" 'd'"), "a&amp;b &quot;c&quot; &#39;d&#39;");
    // an existing reference is text too, so it is escaped again rather than passed through
    EXPECT_EQ(escapeHtml("&amp;"), "&amp;amp;");
    EXPECT_EQ(escapeHtml("gène_1\tx"), "gène_1\tx");
}

TEST(HtmlText, ColourScaleRunsFromLightToDarkAndClampsAndValuesAreShort) {
    EXPECT_EQ(colourScale(0.0), "#ffffd9");
    EXPECT_EQ(colourScale(1.0), "#081d58");
    EXPECT_EQ(colourScale(-3.0), colourScale(0.0));
    EXPECT_EQ(colourScale(7.0), colourScale(1.0));
    EXPECT_EQ(colourScale(NAN), "#cccccc");
    // strictly darker as the value grows, so that a grey print keeps the order
    for (int i = 1; i <= 100; ++i) {
        ASSERT_EQ(colourScale(i / 100.0).size(), 7u);
        EXPECT_LT(luma(colourScale(i / 100.0)), luma(colourScale((i - 1) / 100.0))) << i / 100.0;
    }
    EXPECT_EQ(roundedText(0.123456), "0.123");
    EXPECT_EQ(roundedText(12345.0), "1.23e+04");
    EXPECT_EQ(roundedText(2.0), "2");
    EXPECT_EQ(roundedText(NAN), "NA");
}

TEST(HtmlText, ShortNameCutsLongNamesBetweenCharacters) {
    struct Case {
        std::string name;
        std::size_t max_length;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"", 5, ""},
        {"abcde", 5, "abcde"},
        {"abcdef", 5, "abcd…"},
        {"abc", 1, "…"},
        {"héllo wörld", 5, "héll…"},
        {"€€€€€€", 5, "€€€€…"},
        {"a𝄞𝄞𝄞𝄞", 3, "a𝄞…"},
        {"𝄞𝄞", 2, "𝄞𝄞"},  // eight bytes, two characters
        // stray continuation bytes stay with the character before them
        {"a\x80\x80"
         "bc",
         2, "a\x80\x80…"},
    };
    for (const Case& c : cases) EXPECT_EQ(shortName(c.name, c.max_length), c.shown) << c.name << " / " << c.max_length;

    const std::string limit(kMaxShownNameLength, 'x');
    EXPECT_EQ(shortName(limit), limit);
    EXPECT_EQ(shortName(limit + "y"), limit.substr(1) + "…");
    // cut before escaping: whole references, as many characters as any other name
    std::string ampersands;
    for (std::size_t i = 1; i < kMaxShownNameLength; ++i) ampersands += "&amp;";
    EXPECT_EQ(escapeHtml(shortName(std::string(100, '&'))), ampersands + "…");
}
