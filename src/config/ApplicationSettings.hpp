#pragma once

#include <string>

#include "config/Settings.hpp"
#include "config/SettingsTable.hpp"
#include "output/OutputDirectory.hpp"

namespace varnosk {

// Writes the effective settings of `command` (SettingCommands) as a valid settings file
// (file_name inside output_dir).
// Throws the OutputFile error when the file cannot be written.
void writeApplicationSettings(const Settings& settings, const OutputDirectory& output_dir, const std::string& file_name,
                              unsigned command = kClusterCommand);

}  // namespace varnosk
