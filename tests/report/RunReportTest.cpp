#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "TestSupport.hpp"
#include "output/OutputDirectory.hpp"
#include "report/RunReport.hpp"

using namespace varnosk;

namespace {

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// A run of `num_msps` MSPs of varied sizes over `num_samples` samples, every MSP's first
// core gene named `gene_name`.
struct SyntheticRun {
    Settings settings;
    Gene gene;
    std::vector<std::string> samples;
    MspList msps;
    std::vector<MspSummary> summaries;
    AbundanceTable relative;

    SyntheticRun(std::size_t num_msps, std::size_t num_samples, const std::string& gene_name = "g1") {
        settings.count_matrix_file = "matrix.tsv";
        gene.name = gene_name;
        for (std::size_t s = 0; s < num_samples; ++s) samples.push_back("sample_" + std::to_string(s));
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
    }

    std::string write(const std::vector<std::string>& sample_names) const {
        test::TempDir dir("varnosk-report");
        const OutputDirectory output(dir.str());
        writeReport({settings, 1000, 10, sample_names, {{"Reading count matrix", 0.25}, {"Creating seeds", 65}}, 4, 30,
                     20, 10, msps, summaries, relative},
                    output, "report.html");
        return test::readFile(dir.path() / "report.html");
    }
    std::string write() const { return write(samples); }
};

}  // namespace

TEST(RunReport, LargestRunStaysUnderFiveMegabytesWithOneBarPerMspAndCappedHeatmap) {
    // first core genes named as assemblers name them, long
    const SyntheticRun run(5000, 2000, "k141_1234567_contig_000042_gene_000001234");
    const std::string html = run.write();
    EXPECT_LT(html.size(), 5'000'000u);
    EXPECT_EQ(occurrences(html, "class=\"msp-bar\""), 5000u);
    const std::size_t rows = occurrences(html, "class=\"heat-row\"");
    EXPECT_LE(rows, kMaxHeatmapRows);
    EXPECT_GE(rows, kMaxHeatmapRows / 2);
    // every row holds the same number of cells, within the cap
    const std::size_t cells = occurrences(html, "<rect x=") ;
    EXPECT_GT(cells, rows * kMaxHeatmapColumns / 2);
    // four MSPs in five are detected somewhere and get a point
    EXPECT_EQ(occurrences(html, "class=\"msp-dot\""), 4000u);
    EXPECT_EQ(occurrences(html, "class=\"msp-row\""), 5000u);
}

TEST(RunReport, SmallestRunShowsEveryCellAndItsLabels) {
    const SyntheticRun run(1, 3);
    const std::string html = run.write();
    EXPECT_EQ(occurrences(html, "class=\"msp-bar\""), 1u);
    EXPECT_EQ(occurrences(html, "class=\"heat-row\""), 1u);
    for (const char* sample : {">sample_0<", ">sample_1<", ">sample_2<"}) EXPECT_NE(html.find(sample), std::string::npos);
    EXPECT_NE(html.find("1 min 5 s<"), std::string::npos);
    EXPECT_NE(html.find("0.25 s<"), std::string::npos);
    // the one MSP is detected nowhere: no point, said in words
    EXPECT_NE(html.find("No MSP is detected in any sample."), std::string::npos);
}

TEST(RunReport, InputNamesShowAsTextNeverAsMarkup) {
    const std::string hostile = "<script>alert(1)</script>&\"'";
    SyntheticRun run(3, 3, hostile);
    run.settings.count_matrix_file = "dir/" + hostile + ".tsv";
    const std::string html = run.write({hostile, "a&b", "\"quoted\""});
    EXPECT_EQ(occurrences(html, "<script"), 1u) << "only the report's own script";
    EXPECT_EQ(occurrences(html, "alert(1)</script>"), 0u);
    EXPECT_GE(occurrences(html, "&lt;script&gt;alert(1)&lt;/script&gt;&amp;&quot;&#39;"), 5u);
    EXPECT_NE(html.find(">a&amp;b<"), std::string::npos);
    EXPECT_NE(html.find("&quot;quoted&quot;"), std::string::npos);
}

TEST(RunReport, RunWithoutMspsStillGetsAReport) {
    const SyntheticRun run(0, 4);
    const std::string html = run.write();
    EXPECT_EQ(occurrences(html, "class=\"msp-bar\""), 0u);
    EXPECT_EQ(occurrences(html, "No MSP was found."), 3u);
    EXPECT_NE(html.find("</html>"), std::string::npos);
}
