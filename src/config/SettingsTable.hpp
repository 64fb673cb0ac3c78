#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "config/Settings.hpp"

namespace varnosk {

// Every key of the settings file, described once. The loader and its range checks, the
// record of the run (application_settings.ini), the report's settings table and --help come
// from this table, in its order, which is the order of the file; tests hold the README's
// table and the manual page's SETTINGS to it. A new key is one row here, one field in
// Settings, and its line in those two documents.

enum class SettingKind { InputFile, OutputDirectory, Boolean, Integer, Real };

// The commands of the program that read a key: `varnosk settings.ini` clusters,
// `varnosk profile settings.ini` profiles an existing MSP set.
enum SettingCommands : unsigned { kClusterCommand = 1u, kProfileCommand = 2u };

using SettingField =
    std::variant<std::string Settings::*, bool Settings::*, std::uint64_t Settings::*, double Settings::*>;

struct SettingKey {
    std::string_view section;
    std::string_view name;
    SettingKind kind;
    SettingField field;
    // Optional keys take the value of the field in a default-constructed Settings.
    bool required;
    // Integers: at least `min_integer`, and at least the value of `at_least` when it is set.
    std::uint64_t min_integer;
    std::uint64_t Settings::*at_least;
    // Reals: within [min_real; max_real]; NaN is refused by every real key, ranged or not.
    double min_real;
    double max_real;
    std::string_view meaning;
    unsigned commands;
    // Keys of an optional section are read, checked and recorded only when this field (the
    // section's file) is set; one given without it is an error. Null for every other key.
    std::string Settings::*present_if = nullptr;
    // Commands in which the key is one of the comparison settings that are optional as a
    // whole: read when any of them is given (Settings::comparison_settings_given), and then
    // every one of them is needed. A profile run needs them only for cohesion.
    unsigned optional_group_in = 0;

    std::string dottedName() const;
    bool hasRealRange() const;
};

std::span<const SettingKey> settingsTable();

// Whether a key is in use: a key of an optional section when its section's file is set, one
// of the comparison settings when they were given; always for the other keys.
inline bool isPresent(const Settings& settings, const SettingKey& key) {
    if (key.optional_group_in != 0 && !settings.comparison_settings_given) return false;
    return key.present_if == nullptr || !(settings.*key.present_if).empty();
}

// The key whose field is `field`; throws std::logic_error when there is none.
const SettingKey& settingKeyOf(const SettingField& field);

// The value as the settings file writes it, read back exactly: booleans as true/false,
// reals with six significant digits when those are exact, otherwise the shortest exact text.
std::string settingValueText(const Settings& settings, const SettingKey& key);

// What the key accepts, in words: "0 to 0.5", "max(5, `min_prevalence`) or more", "any",
// with "(default ...)" after an optional key's range.
std::string allowedValuesText(const SettingKey& key);

// The word for the kind: "path", "boolean", "integer", "real".
std::string_view kindName(SettingKind kind);

}  // namespace varnosk
