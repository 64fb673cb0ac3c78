#include "config/SettingsLoader.hpp"

#include "common/Shown.hpp"
#include "config/SettingsTable.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <type_traits>
#include <variant>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <boost/program_options.hpp>

namespace po = boost::program_options;

namespace varnosk {

namespace {

constexpr std::uint64_t kUnsignedMax = std::numeric_limits<std::uint64_t>::max();

// The stock conversion wraps "-1" to 18446744073709551615; a negative count or size is a
// malformed value, reported with the parser's own message for one.
class UnsignedValue final : public po::typed_value<std::uint64_t> {
public:
    explicit UnsignedValue(std::uint64_t* store_to) : po::typed_value<std::uint64_t>(store_to) {}

    void xparse(boost::any& value_store, const std::vector<std::string>& new_tokens) const override {
        po::validators::check_first_occurrence(value_store);
        const std::string& token = po::validators::get_single_string(new_tokens);
        if (!token.empty() && token.front() == '-') throw po::invalid_option_value(token);
        po::typed_value<std::uint64_t>::xparse(value_store, new_tokens);
    }
};

// The stock conversion reads an empty value as true (a command-line switch given without
// argument); in a file where every key is required, "key =" is a missing value instead.
class BoolValue final : public po::typed_value<bool> {
public:
    explicit BoolValue(bool* store_to) : po::typed_value<bool>(store_to) {}

    void xparse(boost::any& value_store, const std::vector<std::string>& new_tokens) const override {
        po::validators::check_first_occurrence(value_store);
        const std::string& token = po::validators::get_single_string(new_tokens, true);
        if (token.empty()) throw po::invalid_bool_value(token);
        po::typed_value<bool>::xparse(value_store, new_tokens);
    }
};

// The parser builds its messages by replacing placeholders such as %value% until none is
// left, so a key or value that itself contains one (a typo, or a hostile file) would make it
// loop forever. Such text has its percent signs shown as '?' before the message is built,
// and, like every echoed token, its control characters escaped and its length bounded.
struct ParserErrorText : po::error_with_option_name {
    static void defusePlaceholders(po::error_with_option_name& error) {
        static const std::regex placeholder("%[A-Za-z_]*%");
        auto& substitutions = error.*(&ParserErrorText::m_substitutions);
        for (auto& [name, text] : substitutions) {
            text = escapedAndCut(text, kShownNameBytes);
            if (std::regex_search(text, placeholder)) std::replace(text.begin(), text.end(), '%', '?');
        }
    }
};

// One option per key of the table, in its order, each section under its own caption.
po::options_description describeOptions(Settings& settings, unsigned command) {
    po::options_description all;
    for (const SettingKey& key : settingsTable()) {
        if ((key.commands & command) == 0) continue;
        const std::string name = key.dottedName();
        std::visit(
            [&](auto member) {
                auto* field = &(settings.*member);
                using Value = std::decay_t<decltype(*field)>;
                po::typed_value<Value>* value = nullptr;
                if constexpr (std::is_same_v<Value, std::uint64_t>)
                    value = new UnsignedValue(field);
                else if constexpr (std::is_same_v<Value, bool>)
                    value = new BoolValue(field);
                else
                    value = po::value<Value>(field);
                if (key.optional_group_in & command) {
                    // checked as a group once the file is read
                } else if (key.required) {
                    value->required();
                } else {
                    value->default_value(*field);
                }
                all.add_options()(name.c_str(), value);
            },
            key.field);
    }
    return all;
}

// Files and directories, ranges, and NaN for the reals without one, in table order.
void checkValue(const Settings& settings, const SettingKey& key) {
    const std::string name = key.dottedName();
    switch (key.kind) {
        case SettingKind::InputFile: checkFileReadable(settings.*std::get<std::string Settings::*>(key.field)); break;
        case SettingKind::OutputDirectory: {
            const std::string& path = settings.*std::get<std::string Settings::*>(key.field);
            checkDirectory(path);
            checkEmptyDirectory(path);
            break;
        }
        case SettingKind::Boolean: break;
        case SettingKind::Integer: {
            const std::uint64_t low =
                key.at_least == nullptr ? key.min_integer : std::max(key.min_integer, settings.*key.at_least);
            checkRange(name, settings.*std::get<std::uint64_t Settings::*>(key.field), low, kUnsignedMax);
            break;
        }
        case SettingKind::Real: {
            const double value = settings.*std::get<double Settings::*>(key.field);
            if (key.hasRealRange()) checkRange(name, value, key.min_real, key.max_real);
            // every number is a threshold, but NaN would silently never match
            else if (std::isnan(value))
                throw std::runtime_error("error: " + name + " must be a number.");
            break;
        }
    }
}

// Whether the keys that are optional together in this command were given: all or none.
bool comparisonSettingsGiven(const po::variables_map& values, unsigned command) {
    std::string given;
    std::string missing;
    std::string group;
    for (const SettingKey& key : settingsTable()) {
        if ((key.optional_group_in & command) == 0) continue;
        const std::string name = key.dottedName();
        group.append(group.empty() ? "" : ", ").append(name);
        (values.count(name) != 0 ? given : missing).append(", ").append(name);
    }
    if (given.empty()) return group.empty();
    if (missing.empty()) return true;
    throw std::runtime_error("error: " + given.substr(2) + " given without " + missing.substr(2) +
                             ": cohesion needs all of " + group + ", or none for no cohesion.");
}

template <typename T>
std::string rangeMessage(const std::string& key, T low, T high) {
    std::ostringstream message;
    message << "error: " << key << " must be a value within range: [" << low << ";" << high << "]";
    return message.str();
}

}  // namespace

Settings loadSettings(const std::string& settings_path, unsigned command) {
    checkFileReadable(settings_path);

    Settings settings;
    const po::options_description options = describeOptions(settings, command);
    po::variables_map values;
    try {
        std::ifstream file(settings_path);
        po::store(po::parse_config_file(file, options, false), values);
        po::notify(values);
    } catch (po::error_with_option_name& error) {
        ParserErrorText::defusePlaceholders(error);
        throw;
    }

    settings.comparison_settings_given = comparisonSettingsGiven(values, command);
    for (const SettingKey& key : settingsTable()) {
        if ((key.commands & command) == 0) continue;
        if (!isPresent(settings, key)) {
            // a key of a section that is not in use: given alone, it would silently do nothing
            const auto given = values.find(key.dottedName());
            if (given != values.end() && !given->second.defaulted()) {
                throw std::runtime_error("error: " + key.dottedName() + " needs " +
                                         settingKeyOf(key.present_if).dottedName() + ".");
            }
            continue;
        }
        checkValue(settings, key);
    }

    // normalisation only serves binning
    settings.normalize_counts = settings.normalize_counts && settings.bins_enabled;
    return settings;
}

void checkFileReadable(const std::string& path) {
    // Checked without opening: a named pipe or process substitution can be opened only once,
    // by the reader. A directory opens as an empty file on Linux; it is not a readable input.
    struct stat status {};
    const bool readable = ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode) &&
                          ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
    if (!readable) {
        throw std::runtime_error(cannotBeRead(path));
    }
}

void checkRange(const std::string& key, double value, double low, double high) {
    // written so that NaN, which compares false with everything, fails
    if (!(value >= low && value <= high)) throw std::runtime_error(rangeMessage(key, low, high));
}

void checkRange(const std::string& key, std::uint64_t value, std::uint64_t low, std::uint64_t high) {
    if (value < low || value > high) throw std::runtime_error(rangeMessage(key, low, high));
}

void checkDirectory(const std::string& path) {
    boost::system::error_code ignored;
    if (!boost::filesystem::is_directory(path, ignored)) {
        throw std::runtime_error("error: " + shownPath(path) + " is not a valid directory.");
    }
}

void checkEmptyDirectory(const std::string& path) {
    boost::system::error_code error;
    const boost::filesystem::directory_iterator first(path, error);
    if (error) throw std::runtime_error("error: " + shownPath(path) + " cannot be listed (" + error.message() + ").");
    if (first != boost::filesystem::directory_iterator()) {
        throw std::runtime_error("error: " + shownPath(path) + " is not an empty directory.");
    }
}

}  // namespace varnosk
