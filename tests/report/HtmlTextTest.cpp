#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "report/HtmlText.hpp"
#include "report/SampleOrder.hpp"

using varnosk::colourScale;
using varnosk::escapeHtml;
using varnosk::nearestNeighbourOrder;
using varnosk::roundedText;

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
    EXPECT_EQ(escapeHtml(""), "");
}

TEST(HtmlText, ColourScaleRunsFromLightToDarkAndClamps) {
    EXPECT_EQ(colourScale(0.0), "#ffffd9");
    EXPECT_EQ(colourScale(1.0), "#081d58");
    EXPECT_EQ(colourScale(-3.0), colourScale(0.0));
    EXPECT_EQ(colourScale(7.0), colourScale(1.0));
    EXPECT_EQ(colourScale(NAN), "#cccccc");
    // strictly darker as the value grows, so that a grey print keeps the order
    double previous = luma(colourScale(0.0));
    for (int i = 1; i <= 100; ++i) {
        const std::string colour = colourScale(i / 100.0);
        ASSERT_EQ(colour.size(), 7u) << colour;
        const double current = luma(colour);
        EXPECT_LT(current, previous) << "at " << i / 100.0 << ": " << colour;
        previous = current;
    }
}

TEST(HtmlText, RoundedTextIsShortAndMarksMissingValues) {
    EXPECT_EQ(roundedText(0.123456), "0.123");
    EXPECT_EQ(roundedText(12345.0), "1.23e+04");
    EXPECT_EQ(roundedText(2.0), "2");
    EXPECT_EQ(roundedText(NAN), "NA");
}

TEST(SampleOrder, PutsSimilarColumnsSideBySide) {
    // columns 0 and 2 share one profile, 1 and 3 another; 3 is nearer to 2 than 1 is
    const std::vector<double> values = {1.0, 0.0, 0.9, 0.2,  //
                                        0.0, 1.0, 0.1, 0.8};
    EXPECT_EQ(nearestNeighbourOrder(values, 2, 4), (std::vector<std::size_t>{0, 2, 3, 1}));
}

TEST(SampleOrder, BreaksTiesByLowestIndexAndPlacesEveryColumnOnce) {
    EXPECT_EQ(nearestNeighbourOrder(std::vector<double>(5, 0.5), 1, 5), (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(nearestNeighbourOrder({}, 0, 3), (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_TRUE(nearestNeighbourOrder({}, 4, 0).empty());
    std::vector<double> values(7 * 50);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>((i * 7919) % 101);
    std::vector<std::size_t> order = nearestNeighbourOrder(values, 7, 50);
    std::sort(order.begin(), order.end());
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
}
