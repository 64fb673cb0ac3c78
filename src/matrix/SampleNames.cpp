#include "matrix/SampleNames.hpp"

#include <string_view>

namespace varnosk {
namespace {

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::vector<std::string> splitFields(std::string_view line) {
    while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
    std::vector<std::string> fields;
    if (line.find('\t') != std::string_view::npos) {
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            fields.emplace_back(line.substr(start, tab - start));
            if (tab == std::string_view::npos) break;
            start = tab + 1;
        }
        return fields;
    }
    std::size_t p = 0;
    while (p < line.size()) {
        while (p < line.size() && isBlank(line[p])) ++p;
        const std::size_t start = p;
        while (p < line.size() && !isBlank(line[p])) ++p;
        if (p > start) fields.emplace_back(line.substr(start, p - start));
    }
    return fields;
}

std::vector<std::string> generatedNames(std::size_t num_samples) {
    std::vector<std::string> names;
    names.reserve(num_samples);
    for (std::size_t s = 1; s <= num_samples; ++s) names.push_back("sample_" + std::to_string(s));
    return names;
}

}  // namespace

SampleNames sampleNames(const std::optional<std::string>& header, std::size_t num_samples) {
    if (!header) return {generatedNames(num_samples), ""};
    std::vector<std::string> fields = splitFields(*header);
    const std::string generated = ", so the samples are named sample_1 to sample_" + std::to_string(num_samples) + ".";
    if (fields.size() == num_samples + 1) fields.erase(fields.begin());
    if (fields.size() != num_samples) {
        return {generatedNames(num_samples), "The matrix header has " + std::to_string(fields.size()) + " fields for " +
                                                 std::to_string(num_samples) + " samples" + generated};
    }
    for (std::size_t s = 0; s < fields.size(); ++s) {
        if (fields[s].empty()) {
            return {generatedNames(num_samples),
                    "The matrix header names no sample " + std::to_string(s + 1) + generated};
        }
    }
    return {std::move(fields), ""};
}

}  // namespace varnosk
