// report.html is not pinned by the golden tables (it shows stage times): its pieces and its
// limits are checked here, its rendering in ReportBrowserTest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "TestSupport.hpp"
#include "output/OutputDirectory.hpp"
#include "report/HtmlText.hpp"
#include "report/RunReport.hpp"
#include "report/SampleOrder.hpp"

using namespace varnosk;

namespace {

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// The report of `num_msps` MSPs of varied sizes over `num_samples` samples (or the samples
// named), every MSP's first core gene named `gene_name`.
std::string report(std::size_t num_msps, std::size_t num_samples, const std::string& gene_name = "g1",
                   std::vector<std::string> samples = {}, const std::string& matrix = "matrix.tsv") {
    Settings settings;
    settings.count_matrix_file = matrix;
    Gene gene;
    gene.name = gene_name;
    for (std::size_t s = samples.size(); s < num_samples; ++s) samples.push_back("sample_" + std::to_string(s));
    MspList msps;
    std::vector<MspSummary> summaries;
    AbundanceTable relative;
    relative.num_samples = num_samples;
    for (std::size_t m = 0; m < num_msps; ++m) {
        auto msp = std::make_unique<Msp>();
        msp->core_genes.assign(20 + m % 37, &gene);
        msp->accessory_genes.assign(m % 11, &gene);
        msp->shared_core_genes.assign(m % 3, &gene);
        msp->num_genes = msp->core_genes.size() + msp->accessory_genes.size() + msp->shared_core_genes.size();
        msps.push_back(std::move(msp));
        summaries.push_back({m % num_samples, m % 5 == 0 ? NAN : 10.0 + static_cast<double>(m), 0.9});
        for (std::size_t s = 0; s < num_samples; ++s) {
            relative.values.push_back(static_cast<double>((m * 31 + s * 17) % 97) / 97.0);
        }
    }
    test::TempDir dir("varnosk-report");
    writeReport({settings,
                 1000,
                 10,
                 samples,
                 {{"Reading count matrix", 0.25}, {"Creating seeds", 65}},
                 4,
                 30,
                 20,
                 10,
                 summaryRows(msps, summaries),
                 relative,
                 {}},
                OutputDirectory(dir.str()), "report.html");
    return test::readFile(dir.path() / "report.html");
}

// The heatmap's column labels, left to right.
std::vector<std::string> columnLabels(const std::string& html) {
    const std::string start = "rotate(-60)\">";
    std::vector<std::string> labels;
    for (auto at = html.find(start); at != std::string::npos; at = html.find(start, at)) {
        at += start.size();
        labels.push_back(html.substr(at, html.find("</text>", at) - at));
    }
    return labels;
}

}  // namespace

TEST(SampleOrder, PutsSimilarColumnsSideBySideAndEveryColumnOnce) {
    // columns 0 and 2 share one profile, 1 and 3 another; 3 is nearer to 2 than 1 is
    EXPECT_EQ(nearestNeighbourOrder({1.0, 0.0, 0.9, 0.2, 0.0, 1.0, 0.1, 0.8}, 2, 4),
              (std::vector<std::size_t>{0, 2, 3, 1}));
    // ties go to the lowest index
    EXPECT_EQ(nearestNeighbourOrder(std::vector<double>(5, 0.5), 1, 5), (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(nearestNeighbourOrder({}, 0, 3), (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_TRUE(nearestNeighbourOrder({}, 4, 0).empty());
    std::vector<double> values(7 * 50);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>((i * 7919) % 101);
    std::vector<std::size_t> order = nearestNeighbourOrder(values, 7, 50);
    std::sort(order.begin(), order.end());
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
}

TEST(RunReport, LargestRunStaysUnderFiveMegabytesWithOneBarPerMspAndCappedHeatmap) {
    // first core genes named as assemblers name them, long
    const std::string html = report(5000, 2000, "k141_1234567_contig_000042_gene_000001234");
    EXPECT_LT(html.size(), 5'000'000u);
    EXPECT_EQ(occurrences(html, "class=\"msp-bar\""), 5000u);
    EXPECT_EQ(occurrences(html, "class=\"msp-row\""), 5000u);
    const std::size_t rows = occurrences(html, "class=\"heat-row\"");
    EXPECT_LE(rows, kMaxHeatmapRows);
    EXPECT_GE(rows, kMaxHeatmapRows / 2);
    EXPECT_GT(occurrences(html, "<rect x="), rows * kMaxHeatmapColumns / 2);
    // four MSPs in five are detected somewhere and get a point
    EXPECT_EQ(occurrences(html, "class=\"msp-dot\""), 4000u);
}

TEST(RunReport, SmallestAndEmptyRunsShowWhatTheyHave) {
    const std::string html = report(1, 3);
    EXPECT_EQ(occurrences(html, "class=\"msp-bar\""), 1u);
    EXPECT_EQ(occurrences(html, "class=\"heat-row\""), 1u);
    for (const char* text :
         {">sample_0<", ">sample_1<", ">sample_2<", "1 min 5 s<", "0.25 s<", "No MSP is detected in any sample."}) {
        EXPECT_NE(html.find(text), std::string::npos) << text;
    }
    const std::string empty = report(0, 4);
    EXPECT_EQ(occurrences(empty, "class=\"msp-bar\""), 0u);
    EXPECT_EQ(occurrences(empty, "No MSP was found."), 3u);
    EXPECT_NE(empty.find("</html>"), std::string::npos);
}

TEST(RunReport, InputNamesShowAsTextNeverAsMarkup) {
    const std::string hostile = "<script>alert(1)</script>&\"'";
    const std::string html = report(3, 3, hostile, {hostile, "a&b", "\"quoted\""}, "dir/" + hostile + ".tsv");
    EXPECT_EQ(occurrences(html, "<script"), 1u) << "only the report's own script";
    EXPECT_EQ(occurrences(html, "alert(1)</script>"), 0u);
    EXPECT_GE(occurrences(html, "&lt;script&gt;alert(1)&lt;/script&gt;&amp;&quot;&#39;"), 5u);
    EXPECT_NE(html.find(">a&amp;b<"), std::string::npos);
    EXPECT_NE(html.find("&quot;quoted&quot;"), std::string::npos);
}

TEST(RunReport, LongNamesAreCutSoTheFileGrowsWithWhatItDrawsNotWithTheNames) {
    // 1,000 samples of 2,000 characters: a 2 MB header for 3 x 100 cells
    std::vector<std::string> names;
    for (std::size_t s = 0; s < 1000; ++s) names.push_back(std::to_string(s) + "_" + std::string(2000, 'x'));
    const std::string gene(5000, 'g');
    const std::string html = report(3, names.size(), gene, names);
    EXPECT_LT(html.size(), 30'000 + 300 * 3 * kMaxHeatmapColumns);
    EXPECT_EQ(html.find(std::string(kMaxShownNameLength, 'x')), std::string::npos);
    EXPECT_EQ(html.find(std::string(kMaxShownNameLength, 'g')), std::string::npos);
    EXPECT_EQ(columnLabels(html).size(), kMaxHeatmapColumns);
    EXPECT_EQ(occurrences(html, "10_" + std::string(kMaxShownNameLength - 4, 'x') + "…"), 1u + 3u)
        << "label and titles";
}
