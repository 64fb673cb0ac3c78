#include "E2eSupport.hpp"

#include <unistd.h>

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <stdexcept>

namespace varnosk::e2e {

namespace {

const std::string kTestSettings =
    "[input]\ncount_matrix_file =\ncount_matrix_has_header = true\n"
    "[genes_comparison]\ndetection_limit = 6\nmin_prevalence = 3\nmin_prevalence_for_outliers = 5\n"
    "max_outliers_fraction = 0.1\n"
    "[genes_bins_creation]\nenabled = true\nnormalize_counts = true\n"
    "[seeds_creation]\nnum_best_representative_genes = 10\nmin_concordance = 0.9\nmin_seed_size = 10\n"
    "[seeds_merging]\nmin_concordance = 0.9\nmin_seed_size = 10\n"
    "[msp_creation]\nmin_concordance = 0.9\nmin_robust_concordance = 0.9\n"
    "[output]\noutput_dir =\nprint_genes_bins = true\nprint_seeds = true\n";

}  // namespace

std::string withValues(const std::string& settings_text, const Overrides& overrides) {
    std::istringstream lines(settings_text);
    std::string text, line, section;
    std::size_t replaced = 0;
    while (std::getline(lines, line)) {
        const auto start = line.find_first_not_of(" \t");
        const auto equals = line.find('=');
        if (start != std::string::npos && line[start] == '[') {
            section = line.substr(start + 1, line.find(']') - start - 1);
        } else if (start != std::string::npos && line[start] != '#' && equals != std::string::npos) {
            const std::string key = line.substr(start, line.find_last_not_of(" \t", equals - 1) + 1 - start);
            const auto found = overrides.find(section + "." + key);
            if (found != overrides.end()) {
                line = key + " = " + found->second;
                ++replaced;
            }
        }
        text += line + "\n";
    }
    if (replaced != overrides.size()) throw std::logic_error("a settings override names no key of the file");
    return text;
}

BinaryRun::BinaryRun(const fs::path& matrix, Overrides overrides) {
    fs::create_directory(out);
    overrides.insert({{"input.count_matrix_file", matrix.string()}, {"output.output_dir", out.string()}});
    test::writeFile(settings, withValues(kTestSettings, overrides));
}

BinaryRun::BinaryRun(ExampleSettings) {
    fs::create_directory(out);
    test::writeFile(settings, withValues(test::readFile(kExampleDir / "settings.ini"),
                                         {{"input.count_matrix_file", kExampleMatrix.string()},
                                          {"output.output_dir", out.string()}}));
}

test::ProcessResult BinaryRun::exec(const std::string& shell_prefix) const {
    return test::runCommand(shell_prefix + " " + kBinary + " " + settings.string());
}

std::set<std::string> BinaryRun::files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) names.insert(entry.path().filename().string());
    return names;
}

std::vector<std::string> timeReportNames(const std::string& out) {
    std::vector<std::string> names;
    const auto start = out.find("Time Statistics:\n");
    std::istringstream report(start == std::string::npos ? "" : out.substr(start));
    const std::regex line(R"((.+): [0-9]+ min [0-9]+ sec)");
    std::smatch match;
    for (std::string text; std::getline(report, text);) {
        if (std::regex_match(text, match, line)) names.push_back(match[1]);
    }
    return names;
}

MspTable readMsps(const fs::path& file) {
    MspTable msps;
    std::istringstream table(test::readFile(file));
    std::string line;
    std::getline(table, line);
    EXPECT_EQ(line, "msp_name\tgene_category\tgene_id\tgene_name");
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string msp, category, id, name;
        std::getline(fields, msp, '\t');
        std::getline(fields, category, '\t');
        std::getline(fields, id, '\t');
        std::getline(fields, name, '\t');
        msps[msp][category].insert(name);
    }
    return msps;
}

std::string fileSizeLimit(const std::string& blocks) {
#ifdef VARNOSK_MPI
    return mpirunPrefix(1) + "sh -c 'trap \"\" XFSZ; ulimit -f " + blocks + "; exec \"$0\" \"$@\"'";
#else
    return "trap '' XFSZ; ulimit -f " + blocks + ";";
#endif
}

#ifdef VARNOSK_MPI
std::string mpirunPrefix(int ranks) {
    return std::string(VARNOSK_MPIEXEC) + " -q --oversubscribe" + (::geteuid() == 0 ? " --allow-run-as-root" : "") +
           " -np " + std::to_string(ranks) + " ";
}
#endif

}  // namespace varnosk::e2e
