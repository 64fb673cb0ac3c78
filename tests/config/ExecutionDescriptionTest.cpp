#include "config/ExecutionDescription.hpp"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <stdexcept>
#include <string>

#include "TestSupport.hpp"

namespace varnosk {
namespace {

std::tm brokenDown(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

std::string localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return formatLocalDateTime(local);
}

TEST(ExecutionDescription, FormatsLocalTimeAsIsoExtendedText) {
    EXPECT_EQ(formatLocalDateTime(brokenDown(2026, 2, 3, 9, 5, 7)), "2026-02-03T09:05:07");
    EXPECT_EQ(formatLocalDateTime(brokenDown(1999, 12, 31, 23, 59, 59)), "1999-12-31T23:59:59");
    EXPECT_EQ(formatLocalDateTime(brokenDown(2024, 2, 29, 0, 0, 0)), "2024-02-29T00:00:00");
}

TEST(ExecutionDescription, DescribesTheRunningProcess) {
    const std::string before = localNow();
    const ExecutionDescription d = describeExecution();
    const std::string after = localNow();

    EXPECT_EQ(d.program_name, "Varnosk");
    EXPECT_EQ(d.program_version, "1.1.3");
    EXPECT_TRUE(std::regex_match(d.date, std::regex(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2})"))) << d.date;
    // ISO extended text orders like the times it names
    EXPECT_LE(before, d.date);
    EXPECT_LE(d.date, after);

    const auto who = test::runCommand("id -un");
    if (who.status == 0) {
        EXPECT_EQ(d.user + "\n", who.out);
    }

    char host[1024] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(d.hostname, host);
    EXPECT_EQ(d.wd, std::filesystem::current_path().string());
}

TEST(ExecutionDescription, UserIdWithoutEntryGivesEmptyName) {
    EXPECT_EQ(userName(0), "root");
    const uid_t unknown = 3999999999u;
    if (getpwuid(unknown) != nullptr) GTEST_SKIP() << "uid " << unknown << " exists here";
    EXPECT_EQ(userName(unknown), "");
}

TEST(ExecutionDescription, WritesSixQuotedLines) {
    test::TempDir dir;
    const ExecutionDescription d{"Varnosk", "1.1.3", "2026-02-03T09:05:07", "", "node-7", "/home/a b"};
    writeExecutionDescription(d, OutputDirectory(dir.str()), "execution_description.ini");
    EXPECT_EQ(test::readFile(dir.path() / "execution_description.ini"),
              "program_name=\"Varnosk\"\n"
              "program_version=\"1.1.3\"\n"
              "date=\"2026-02-03T09:05:07\"\n"
              "user=\"\"\n"
              "hostname=\"node-7\"\n"
              "wd=\"/home/a b\"\n");

    // a second record into the same directory must not replace the first
    try {
        writeExecutionDescription(d, OutputDirectory(dir.str()), "execution_description.ini");
        ADD_FAILURE() << "the record was replaced";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "error: " + dir.str() + "/execution_description.ini could not be written.");
    }
}

TEST(ExecutionDescription, ValuesAreEscapedOntoOneLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"/home/a b", "\"/home/a b\""},
        {"/tmp/x\"\nuser=\"root", "\"/tmp/x\\\"\\nuser=\\\"root\""},
        {"back\\slash\ttab\rcr", "\"back\\\\slash\\ttab\\rcr\""},
        {std::string("nul\0bel\a\x7f", 9), "\"nul\\x00bel\\x07\\x7f\""},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
    };
    for (const auto& [value, expected] : cases) EXPECT_EQ(quoted(value), expected) << value;
}

}  // namespace
}  // namespace varnosk
