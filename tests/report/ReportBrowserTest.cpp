// Opens the reports of real runs in headless Chromium: the page must run its script to the
// end without errors, hold one size bar and one heatmap row per MSP, and show hostile input
// names as text.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "TestSupport.hpp"
#include "e2e/E2eSupport.hpp"

using namespace varnosk::e2e;
using varnosk::test::ProcessResult;
using varnosk::test::readFile;
using varnosk::test::runCommand;
using varnosk::test::TempDir;
using varnosk::test::writeFile;

namespace {

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

std::size_t tableRows(const fs::path& table) {
    std::istringstream lines(readFile(table));
    std::size_t rows = 0;
    for (std::string line; std::getline(lines, line);) ++rows;
    return rows - 1;
}

bool haveChromium() { return runCommand("command -v chromium").status == 0; }

// The rendered DOM of `page`, with the browser's log on `result.err`; a profile of its own
// so that tests may run side by side.
ProcessResult dumpDom(const fs::path& page) {
    TempDir profile("varnosk-chromium");
    return runCommand("timeout 120 chromium --headless --no-sandbox --disable-gpu --user-data-dir='" + profile.str() +
                      "' --enable-logging=stderr --v=0 --dump-dom 'file://" + page.string() + "'");
}

// A full-width screenshot of `page` into `png`.
ProcessResult screenshot(const fs::path& page, const fs::path& png) {
    TempDir profile("varnosk-chromium");
    return runCommand("timeout 120 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir='" +
                      profile.str() + "' --window-size=1000,2400 --screenshot='" + png.string() + "' 'file://" +
                      page.string() + "'");
}

// Console errors and uncaught exceptions that Chromium logs from the page.
std::string pageErrors(const std::string& log) {
    std::istringstream lines(log);
    std::string errors;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("CONSOLE") != std::string::npos || line.find("Uncaught") != std::string::npos) {
            errors += line + "\n";
        }
    }
    return errors;
}

void expectRenderedReport(const BinaryRun& run) {
    const ProcessResult browser = dumpDom(run.out / "report.html");
    ASSERT_EQ(browser.status, 0) << browser.err;
    const std::string& dom = browser.out;
    EXPECT_NE(dom.find("data-report-ready=\"yes\""), std::string::npos) << "the page's script did not run to the end";
    EXPECT_EQ(pageErrors(browser.err), "");
    const std::size_t msps = tableRows(run.out / "msp_summary.tsv");
    ASSERT_GT(msps, 1u);
    EXPECT_EQ(occurrences(dom, "class=\"msp-bar\""), msps);
    EXPECT_EQ(occurrences(dom, "class=\"heat-row\""), msps);
    EXPECT_EQ(occurrences(dom, "class=\"msp-row\""), msps);
}

}  // namespace

TEST(ReportInBrowser, ExampleReportRendersWithOneBarAndOneHeatmapRowPerMsp) {
    if (!haveChromium()) GTEST_SKIP() << "chromium is not installed (scripts/install-dependencies.sh installs it)";
    BinaryRun run(BinaryRun::ExampleSettings{});
    const ProcessResult result = run.exec();
    ASSERT_EQ(result.status, 0) << result.err;
    expectRenderedReport(run);

    // the page paints: a blank one compresses to a few kilobytes, the example's charts to far more
    TempDir shots("varnosk-report-shot");
    const fs::path png = shots.path() / "report.png";
    const ProcessResult shot = screenshot(run.out / "report.html", png);
    ASSERT_EQ(shot.status, 0) << shot.err;
    const std::string image = readFile(png);
    EXPECT_EQ(image.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_GT(image.size(), 50'000u);
}

TEST(ReportInBrowser, HostileGeneAndSampleNamesShowAsText) {
    if (!haveChromium()) GTEST_SKIP() << "chromium is not installed (scripts/install-dependencies.sh installs it)";
    // the example with a script, an ampersand and quotes in its first sample names and in
    // every gene name
    const std::string hostile = "<script>alert(1)</script>";
    std::string matrix = readFile(kExampleMatrix);
    matrix = std::regex_replace(matrix, std::regex("sample_01"), hostile);
    matrix = std::regex_replace(matrix, std::regex("sample_02"), "a&b \"c\" 'd'");
    matrix = std::regex_replace(matrix, std::regex("\ngene_"), "\n" + hostile + "&\"'gene_");
    TempDir data("varnosk-report-data");
    writeFile(data.path() / "matrix.tsv", matrix);
    BinaryRun run(BinaryRun::ExampleSettings{});
    writeFile(run.settings,
              withValues(readFile(run.settings), {{"input.count_matrix_file", (data.path() / "matrix.tsv").string()}}));
    const ProcessResult result = run.exec();
    ASSERT_EQ(result.status, 0) << result.err;
    expectRenderedReport(run);

    const ProcessResult browser = dumpDom(run.out / "report.html");
    // the names came through as text: no element was made of them
    EXPECT_EQ(occurrences(browser.out, "<script"), 1u) << "only the report's own script";
    EXPECT_GE(occurrences(browser.out, "&lt;script&gt;alert(1)&lt;/script&gt;"), 2u);
    EXPECT_NE(browser.out.find("a&amp;b \"c\" 'd'"), std::string::npos);
    EXPECT_NE(browser.out.find("&lt;script&gt;alert(1)&lt;/script&gt;&amp;\"'gene_"), std::string::npos);
}
