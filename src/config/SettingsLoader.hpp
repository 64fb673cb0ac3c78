#pragma once

#include <cstdint>
#include <string>

#include "config/Settings.hpp"
#include "config/SettingsTable.hpp"

namespace varnosk {

// Parses and validates the settings file at `settings_path`, checks the count matrix file
// and the output directory (existing and empty). Throws std::exception-derived errors whose what() is the full text to show;
// writes nothing anywhere.
// Only the keys of `command` (SettingCommands) are read; any other key is unrecognised.
Settings loadSettings(const std::string& settings_path, unsigned command = kClusterCommand);

// Each check throws std::runtime_error with the user-facing message on failure.
void checkFileReadable(const std::string& path);
void checkRange(const std::string& key, double value, double low, double high);
void checkRange(const std::string& key, std::uint64_t value, std::uint64_t low, std::uint64_t high);
void checkDirectory(const std::string& path);
void checkEmptyDirectory(const std::string& path);

}  // namespace varnosk
