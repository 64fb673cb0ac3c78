#include "config/ApplicationSettings.hpp"

#include <locale>
#include <ostream>
#include <string>

#include "config/SettingsTable.hpp"
#include "output/OutputFile.hpp"

namespace varnosk {

void writeApplicationSettings(const Settings& settings, const OutputDirectory& output_dir, const std::string& file_name,
                              unsigned command) {
    OutputFile file(output_dir, file_name);
    std::ostream& out = file.stream();
    // the file is read back as a settings file: no locale-dependent separators
    out.imbue(std::locale::classic());
    std::string_view section;
    for (const SettingKey& key : settingsTable()) {
        if ((key.commands & command) == 0 || !isPresent(settings, key)) continue;
        if (key.section != section) {
            out << (section.empty() ? "" : "\n") << "[" << key.section << "]\n";
            section = key.section;
        }
        out << key.name << " = " << settingValueText(settings, key) << "\n";
    }
    file.close();
}

}  // namespace varnosk
