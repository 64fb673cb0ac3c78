#include "output/OutputFile.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "TestSupport.hpp"

namespace varnosk {
namespace {

namespace fs = std::filesystem;

// The message of the error `name` raises when written with `text` into `output`, or "<no error>".
std::string writeError(const OutputDirectory& output, const std::string& name, const std::string& text = "new\n") {
    try {
        OutputFile file(output, name);
        file.stream() << text;
        file.close();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "<no error>";
}

std::size_t entries(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(OutputFile, AppearsUnderItsNameOnlyWhenClosed) {
    test::TempDir dir;
    for (const std::string& directory : {dir.str(), dir.str() + "/"}) {
        const std::string name = directory == dir.str() ? "table.tsv" : "other.tsv";
        const OutputDirectory output(directory);
        OutputFile file(output, name);
        EXPECT_EQ(file.path(), dir.str() + "/" + name);
        file.stream() << "a\tb\n" << 1.5 << "\n" << std::string(100000, 'x') << "\n";
        EXPECT_FALSE(fs::exists(dir.path() / name));
        file.close();
        // written byte for byte: "\n" stays a bare line feed
        EXPECT_EQ(test::readFile(dir.path() / name), "a\tb\n1.5\n" + std::string(100000, 'x') + "\n");
    }
    // a file abandoned by an error leaves nothing behind
    {
        const OutputDirectory output(dir.str());
        OutputFile abandoned(output, "cut.tsv");
        abandoned.stream() << "half a line";
    }
    EXPECT_EQ(entries(dir.path()), 2u);
}

TEST(OutputFile, NeverReplacesOrFollowsWhatIsAlreadyThere) {
    test::TempDir dir;
    test::TempDir outside;
    const fs::path precious = outside.path() / "precious.txt";
    test::writeFile(precious, "keep\n");
    fs::create_symlink(precious, dir.path() / "link.tsv");
    fs::create_symlink(outside.path() / "absent.txt", dir.path() / "dangling.tsv");
    test::writeFile(dir.path() / "planted.tsv", "planted\n");
    fs::create_directory(dir.path() / "subdir.tsv");
    const OutputDirectory output(dir.str());
    // a second run writing the same table fails too
    EXPECT_EQ(writeError(output, "t.tsv", "first\n"), "<no error>");
    for (const std::string name : {"link.tsv", "dangling.tsv", "planted.tsv", "subdir.tsv", "t.tsv"}) {
        EXPECT_EQ(writeError(output, name),
                  "error: " + dir.str() + "/" + name + " could not be written (File exists).");
    }
    EXPECT_EQ(test::readFile(precious), "keep\n");
    EXPECT_FALSE(fs::exists(outside.path() / "absent.txt"));
    EXPECT_EQ(test::readFile(dir.path() / "planted.tsv"), "planted\n");
    EXPECT_EQ(test::readFile(dir.path() / "t.tsv"), "first\n");
    EXPECT_EQ(entries(dir.path()), 5u);
}

TEST(OutputFile, MessageGivesTheSystemsReasonForTheCallThatFailed) {
    struct Case {
        std::string what;
        std::string name;
        std::function<void(const fs::path& directory)> before;
        std::function<void(std::ostream& stream)> during;
        std::string reason;
    };
    const auto nothing = [](const auto&) {};
    const Case cases[] = {
        {"a temporary name longer than the system allows", std::string(250, 'n'), nothing, nothing,
         "File name too long"},
        {"a directory removed after it was opened", "t.tsv", [](const fs::path& d) { fs::remove(d); }, nothing,
         "No such file or directory"},
        // no write failed, so there is no errno to give
        {"a stream made bad by something other than a write", "t.tsv", nothing,
         [](std::ostream& stream) { stream.setstate(std::ios::badbit); }, "Input/output error"},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        const fs::path out = dir.path() / "out";
        fs::create_directory(out);
        const OutputDirectory output(out.string());
        c.before(out);
        std::string message = "<no error>";
        try {
            OutputFile file(output, c.name);
            file.stream() << "text\n";
            c.during(file.stream());
            file.close();
        } catch (const std::runtime_error& error) {
            message = error.what();
        }
        EXPECT_EQ(message, "error: " + (out / c.name).string() + " could not be written (" + c.reason + ").") << c.what;
        // nothing is left under a temporary name
        if (fs::exists(out)) {
            EXPECT_EQ(entries(out), 0u) << c.what;
        }
    }
}

TEST(OutputFile, FilesGoToTheDirectoryOpenedEvenWhenItIsRenamed) {
    test::TempDir dir;
    fs::create_directory(dir.path() / "out");
    const OutputDirectory output((dir.path() / "out").string());
    fs::rename(dir.path() / "out", dir.path() / "moved");
    fs::create_directory(dir.path() / "out");
    EXPECT_EQ(writeError(output, "t.tsv"), "<no error>");
    EXPECT_TRUE(fs::exists(dir.path() / "moved" / "t.tsv"));
    EXPECT_EQ(entries(dir.path() / "out"), 0u);
    try {
        OutputDirectory missing((dir.path() / "gone").string());
        ADD_FAILURE() << "a missing directory was opened";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "error: " + (dir.path() / "gone").string() + " is not a valid directory.");
    }
}

}  // namespace
}  // namespace varnosk
