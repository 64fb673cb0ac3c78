#include "config/OutputFile.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "TestSupport.hpp"

namespace varnosk {
namespace {

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "<no error>";
}

TEST(OutputFile, JoinsNameToDirectoryAndTruncates) {
    test::TempDir dir;
    test::writeFile(dir.path() / "table.tsv", "an older and much longer content\n");
    for (const std::string& directory : {dir.str(), dir.str() + "/"}) {
        OutputFile file(directory, "table.tsv");
        EXPECT_EQ(file.path(), dir.str() + "/table.tsv");
        file.stream() << "a\tb\n" << 1.5 << "\n";
        file.close();
    }
    // written byte for byte: "\n" stays a bare line feed
    EXPECT_EQ(test::readFile(dir.path() / "table.tsv"), "a\tb\n1.5\n");
}

TEST(OutputFile, OpenFailureNamesThePath) {
    test::TempDir dir;
    const std::string missing = (dir.path() / "missing").string();
    EXPECT_EQ(errorOf([&] { OutputFile file(missing, "x.tsv"); }),
              "error: " + missing + "/x.tsv could not be written.");
    // a directory in place of the file
    std::filesystem::create_directory(dir.path() / "x.tsv");
    EXPECT_EQ(errorOf([&] { OutputFile file(dir.str(), "x.tsv"); }), "error: " + dir.str() + "/x.tsv could not be written.");
}

TEST(OutputFile, FailedWriteIsReportedOnClose) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    // opening succeeds; the device refuses the data when the buffer is flushed
    EXPECT_EQ(errorOf([] {
                  OutputFile file("/dev", "full");
                  file.stream() << "lost line\n";
                  file.close();
              }),
              "error: /dev/full could not be written.");
}

}  // namespace
}  // namespace varnosk
