#include "app/InformationOptions.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>

#include "config/SettingsTable.hpp"

namespace varnosk {
namespace {

// What was asked for is the output itself: losing it is a failure, as for the main run.
bool written(const std::ostream& out) {
    if (!out) throw std::runtime_error("error: standard output could not be written.");
    return true;
}

}  // namespace

bool printInformationOption(int argc, const char* const argv[], std::ostream& out) {
    if (argc != 2 || argv[1] == nullptr) return false;
    const std::string_view option = argv[1];
    if (option == "--version") {
        out << "varnosk " << VARNOSK_VERSION << '\n' << std::flush;
        return written(out);
    }
    if (option != "--help") return false;
    out << "varnosk " << VARNOSK_VERSION << ": groups the genes of a metagenomic gene count matrix into\n"
        << "metagenomic species pan-genomes (MSPs): genes whose abundances rise and fall together\n"
        << "across samples, as core, accessory and shared genes.\n"
        << "\n"
        << "Usage: varnosk [-t N | --threads N] settings.ini\n"
        << "       varnosk [-t N | --threads N] profile settings.ini\n"
        << "       varnosk --help | --version\n"
        << "\n"
        << "The settings file names the count matrix, the parameters of every stage and an existing,\n"
        << "empty output directory. Its keys, by section (README.md says what each one does, and\n"
        << "examples/settings.ini is a complete example). A profile run measures the samples of a\n"
        << "count matrix against an existing MSP set, without clustering: it reads [input],\n"
        << "[profile], [msp_abundance], [taxonomy] and output_dir of [output], and, for cohesion,\n"
        << "[genes_comparison] with num_best_representative_genes of [seeds_creation] if given.\n";
    std::string_view section;
    for (const SettingKey& key : settingsTable()) {
        if (key.section != section) {
            section = key.section;
            out << "  [" << section << "]\n";
        }
        std::string line = "    " + std::string(key.name);
        line.resize(std::max<std::size_t>(line.size() + 1, 36), ' ');
        line += kindName(key.kind);
        const std::string allowed = allowedValuesText(key);
        if (!allowed.empty()) line.resize(std::max<std::size_t>(line.size() + 1, 45), ' ');
        out << line << allowed << '\n';
    }
    out << "\n"
        << "Threads: -t N or --threads N (1 to 4096); without it, OMP_NUM_THREADS, else one per CPU.\n"
        << "The tables are the same whatever the number.\n"
        << "\n"
        << "The tables written into the output directory are described in README.md. Progress and a\n"
        << "time report go to standard output, errors to standard error (exit status 255; 1 when\n"
        << "memory runs out).\n"
        << std::flush;
    return written(out);
}

}  // namespace varnosk
