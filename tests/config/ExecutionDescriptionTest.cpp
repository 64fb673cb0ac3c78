#include "config/ExecutionDescription.hpp"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <string>

#include "TestSupport.hpp"

namespace varnosk {
namespace {

// The record of the host and the clock: the one run file the golden tables cannot pin.
TEST(ExecutionDescription, DescribesTheRunningProcess) {
    std::tm leap{};
    leap.tm_year = 2024 - 1900;
    leap.tm_mon = 1;
    leap.tm_mday = 29;
    leap.tm_hour = 9;
    leap.tm_min = 5;
    leap.tm_sec = 7;
    EXPECT_EQ(formatLocalDateTime(leap), "2024-02-29T09:05:07");

    const auto now = [] {
        const std::time_t t = std::time(nullptr);
        std::tm local{};
        localtime_r(&t, &local);
        return formatLocalDateTime(local);
    };
    const std::string before = now();
    const ExecutionDescription d = describeExecution();
    // the build's version, the one --version prints, and no copy of it
    EXPECT_EQ(d.program_version, VARNOSK_VERSION);
    EXPECT_TRUE(std::regex_match(d.date, std::regex(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2})"))) << d.date;
    // ISO extended text orders like the times it names
    EXPECT_LE(before, d.date);
    EXPECT_LE(d.date, now());
    const auto who = test::runCommand("id -un");
    if (who.status == 0) {
        EXPECT_EQ(d.user + "\n", who.out);
    }
    char host[1024] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(d.hostname, host);
    EXPECT_EQ(d.wd, std::filesystem::current_path().string());
    EXPECT_EQ(userName(0), "root");
    // a user id without an entry gives an empty name
    if (getpwuid(3999999999u) == nullptr) {
        EXPECT_EQ(userName(3999999999u), "");
    }
}

TEST(ExecutionDescription, WritesSixQuotedLinesEscapedOntoOneLineEach) {
    test::TempDir dir;
    const ExecutionDescription d{"Varnosk", "1.1.3", "2026-02-03T09:05:07", "", "node-7", "/tmp/x\"\nuser=\"root"};
    writeExecutionDescription(d, OutputDirectory(dir.str()), "execution_description.ini");
    EXPECT_EQ(test::readFile(dir.path() / "execution_description.ini"),
              "program_name=\"Varnosk\"\nprogram_version=\"1.1.3\"\ndate=\"2026-02-03T09:05:07\"\nuser=\"\"\n"
              "hostname=\"node-7\"\nwd=\"/tmp/x\\\"\\nuser=\\\"root\"\n");
    const std::pair<std::string, std::string> cases[] = {
        {"/home/a b", "\"/home/a b\""},
        {"back\\slash\ttab\rcr", "\"back\\\\slash\\ttab\\rcr\""},
        {std::string("nul\0bel\a\x7f", 9), "\"nul\\x00bel\\x07\\x7f\""},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
    };
    for (const auto& [value, expected] : cases) EXPECT_EQ(quoted(value), expected) << value;
}

}  // namespace
}  // namespace varnosk
