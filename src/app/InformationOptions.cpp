#include "app/InformationOptions.hpp"

#include <stdexcept>
#include <string_view>

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
        << "Usage: varnosk settings.ini\n"
        << "       varnosk --help | --version\n"
        << "\n"
        << "The settings file names the count matrix, the parameters of every stage and an existing,\n"
        << "empty output directory; every key is described in README.md, and examples/settings.ini\n"
        << "is a complete example. The tables written into the output directory are described in\n"
        << "README.md too. Threads: set OMP_NUM_THREADS. Progress and a time report go to standard\n"
        << "output, errors to standard error (exit status 255; 1 when memory runs out).\n"
        << std::flush;
    return written(out);
}

}  // namespace varnosk
