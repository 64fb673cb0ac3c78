#include "E2eSupport.hpp"

#include <unistd.h>

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <utility>

namespace varnosk::e2e {

std::string settingsText(const std::string& matrix, const std::string& output_dir, const Overrides& overrides) {
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections = {
        {"input", {{"count_matrix_file", matrix}, {"count_matrix_has_header", "true"}}},
        {"genes_comparison",
         {{"detection_limit", "6"},
          {"min_prevalence", "3"},
          {"min_prevalence_for_outliers", "5"},
          {"max_outliers_fraction", "0.1"}}},
        {"genes_bins_creation", {{"enabled", "true"}, {"normalize_counts", "true"}}},
        {"seeds_creation", {{"num_best_representative_genes", "10"}, {"min_concordance", "0.9"}, {"min_seed_size", "10"}}},
        {"seeds_merging", {{"min_concordance", "0.9"}, {"min_seed_size", "10"}}},
        {"msp_creation", {{"min_concordance", "0.9"}, {"min_robust_concordance", "0.9"}}},
        {"output", {{"output_dir", output_dir}, {"print_genes_bins", "true"}, {"print_seeds", "true"}}},
    };
    std::ostringstream text;
    for (const auto& [section, keys] : sections) {
        text << "[" << section << "]\n";
        for (const auto& [key, value] : keys) {
            const auto found = overrides.find(section + "." + key);
            text << key << " = " << (found == overrides.end() ? value : found->second) << "\n";
        }
        text << "\n";
    }
    return text.str();
}

BinaryRun::BinaryRun(const fs::path& matrix, const Overrides& overrides) {
    fs::create_directory(out);
    test::writeFile(settings, settingsText(matrix.string(), out.string(), overrides));
}

std::string withPaths(const std::string& settings_text, const std::string& matrix, const std::string& output_dir) {
    std::istringstream lines(settings_text);
    std::ostringstream text;
    const std::regex matrix_key(R"(^\s*count_matrix_file\s*=.*)");
    const std::regex output_key(R"(^\s*output_dir\s*=.*)");
    std::string line;
    while (std::getline(lines, line)) {
        if (std::regex_match(line, matrix_key)) line = "count_matrix_file = " + matrix;
        if (std::regex_match(line, output_key)) line = "output_dir = " + output_dir;
        text << line << "\n";
    }
    return text.str();
}

BinaryRun::BinaryRun(ExampleSettings) {
    fs::create_directory(out);
    test::writeFile(settings,
                    withPaths(test::readFile(kExampleDir / "settings.ini"), kExampleMatrix.string(), out.string()));
}

test::ProcessResult BinaryRun::exec(const std::string& shell_prefix) const {
    return test::runCommand(shell_prefix + " " + kBinary + " " + settings.string());
}

std::set<std::string> BinaryRun::files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) names.insert(entry.path().filename().string());
    return names;
}

std::string beforeTimeReport(const std::string& out) { return out.substr(0, out.find("Time Statistics:\n")); }

std::vector<std::string> timeReportNames(const std::string& out) {
    std::vector<std::string> names;
    const auto start = out.find("Time Statistics:\n");
    if (start == std::string::npos) return names;
    std::istringstream report(out.substr(start + 17));
    const std::regex line(R"((.+): [0-9]+ min [0-9]+ sec)");
    std::string text;
    std::smatch match;
    while (std::getline(report, text)) {
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
