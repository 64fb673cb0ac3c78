// Keeps the tree reading as the pipeline: a file of src/ includes headers of its own folder,
// of an earlier stage or of a shared utility folder, never of a later stage or the driver.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace fs = std::filesystem;

namespace {

// Position of each folder of src/ in the pipeline; shared utilities come first.
const std::map<std::string, int> kRank = {
    {"common", 0}, {"output", 1},    {"config", 2},   {"matrix", 3},  {"compare", 4},      {"bins", 5}, {"seeds", 6},
    {"msp", 7},    {"abundance", 8}, {"taxonomy", 9}, {"report", 10}, {"distributed", 11}, {"app", 12}};

TEST(IncludeDirection, EveryIncludeBetweenFoldersPointsDownThePipeline) {
    const fs::path src = fs::path(VARNOSK_SOURCE_DIR) / "src";
    const std::regex include(R"(^\s*#\s*include\s*"([a-z_]+)/)");
    int checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file()) continue;
        const std::string folder = fs::relative(entry.path(), src).begin()->string();
        const auto from = kRank.find(folder);
        ASSERT_NE(from, kRank.end()) << "src/" << folder << " has no place in the pipeline order";
        std::ifstream file(entry.path());
        std::string line;
        std::smatch match;
        for (int number = 1; std::getline(file, line); ++number) {
            if (!std::regex_search(line, match, include)) continue;
            const std::string target = match[1];
            const auto to = kRank.find(target);
            ASSERT_NE(to, kRank.end()) << entry.path() << ":" << number << " includes unknown folder " << target;
            ++checked;
            if (target == folder) continue;
            EXPECT_LT(to->second, from->second)
                << entry.path() << ":" << number << " includes " << target << "/ from " << folder << "/";
        }
    }
    EXPECT_GT(checked, 50);
}

}  // namespace
