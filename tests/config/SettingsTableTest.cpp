#include "config/SettingsTable.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.hpp"

namespace varnosk {
namespace {

namespace fs = std::filesystem;

// The README's row for a key, as its settings table writes it (an empty cell as "| |").
std::string markdownRow(const SettingKey& key) {
    const std::string cells[] = {"`[" + std::string(key.section) + "]` `" + std::string(key.name) + "`",
                                 std::string(kindName(key.kind)), allowedValuesText(key), std::string(key.meaning)};
    std::string row = "|";
    for (const std::string& cell : cells) row += cell.empty() ? " |" : " " + cell + " |";
    return row;
}

// The rows of the README's settings table: the lines that start with a section in backticks.
std::vector<std::string> readmeSettingsRows() {
    std::istringstream readme(test::readFile(fs::path(VARNOSK_SOURCE_DIR) / "README.md"));
    std::vector<std::string> rows;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("| `[", 0) == 0) rows.push_back(line);
    }
    return rows;
}

TEST(SettingsTable, ReadmeDescribesEveryKeyAsTheTableDoes) {
    std::vector<std::string> expected;
    for (const SettingKey& key : settingsTable()) expected.push_back(markdownRow(key));
    const std::vector<std::string> documented = readmeSettingsRows();
    EXPECT_EQ(documented.size(), expected.size());
    for (std::size_t i = 0; i < std::min(documented.size(), expected.size()); ++i) {
        EXPECT_EQ(documented[i], expected[i]) << "README.md's settings table, row " << i + 1;
    }
}

// Backquoted words in bold, as the manual page writes them.
std::string manualText(std::string_view text) {
    std::string out;
    bool bold = false;
    for (const char c : text) {
        if (c == '`') {
            out += bold ? "\\fR" : "\\fB";
            bold = !bold;
        } else {
            out += c;
        }
    }
    return out;
}

// Every key in its section of the manual page's SETTINGS, in table order, as the table
// describes it; and the page renders without a warning.
TEST(SettingsTable, ManualPageDescribesEveryKeyAsTheTableDoes) {
    const fs::path page = VARNOSK_MANUAL_PAGE;
    std::vector<std::string> expected;
    for (const SettingKey& key : settingsTable()) {
        const std::string allowed = allowedValuesText(key);
        expected.push_back("[" + std::string(key.section) + "] " + std::string(key.name) + ": \\fI" +
                           std::string(kindName(key.kind)) + "\\fR" +
                           (allowed.empty() ? "" : ", " + manualText(allowed)) + ": " + manualText(key.meaning) + ".");
    }
    std::vector<std::string> documented;
    std::istringstream in(test::readFile(page));
    std::string section;
    for (std::string line, previous; std::getline(in, line); previous = line) {
        if (line.rfind(".SH ", 0) == 0) section.clear();
        if (line.rfind(".SS \"[", 0) == 0) section = line.substr(5, line.size() - 6);
        if (!section.empty() && previous == ".TP" && line.rfind(".B ", 0) == 0) {
            std::string description;
            std::getline(in, description);
            documented.push_back(section + " " + line.substr(3) + ": " + description);
            line = description;
        }
    }
    EXPECT_EQ(documented.size(), expected.size());
    for (std::size_t i = 0; i < std::min(documented.size(), expected.size()); ++i) {
        EXPECT_EQ(documented[i], expected[i]) << page << ", key " << i + 1;
    }

    if (test::runCommand("command -v groff").status != 0)
        GTEST_SKIP() << "groff (Debian package groff-base) is not installed";
    const test::ProcessResult rendered = test::runCommand("groff -ww -man -Tutf8 -z " + page.string());
    EXPECT_EQ(rendered.status, 0);
    EXPECT_EQ(rendered.out + rendered.err, "");
}

// Each key names one field, of the type its kind reads, and every key a range names exists.
TEST(SettingsTable, KeysAreDistinctAndTheirFieldsFitTheirKinds) {
    std::set<std::string> names;
    std::set<std::size_t> seen_fields;
    for (const SettingKey& key : settingsTable()) {
        EXPECT_TRUE(names.insert(key.dottedName()).second) << key.dottedName();
        EXPECT_EQ(&settingKeyOf(key.field), &key) << key.dottedName() << " shares its field";
        const std::size_t alternative = key.field.index();
        switch (key.kind) {
            case SettingKind::InputFile:
            case SettingKind::OutputDirectory: EXPECT_EQ(alternative, 0u) << key.dottedName(); break;
            case SettingKind::Boolean: EXPECT_EQ(alternative, 1u) << key.dottedName(); break;
            case SettingKind::Integer: EXPECT_EQ(alternative, 2u) << key.dottedName(); break;
            case SettingKind::Real: EXPECT_EQ(alternative, 3u) << key.dottedName(); break;
        }
        if (key.at_least != nullptr) {
            EXPECT_NO_THROW(settingKeyOf(key.at_least)) << key.dottedName();
        }
        EXPECT_NE(key.commands, 0u) << key.dottedName();
    }
}

}  // namespace
}  // namespace varnosk
