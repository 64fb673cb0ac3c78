#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "matrix/SamplePresence.hpp"

namespace varnosk {

// One gene of the count matrix, or a synthetic representative profile (id 0, name "None").
// Genes of the count matrix are owned by the CountMatrix for the whole run; every later
// structure refers to them by pointer. Read-only after preprocessing, so any number of
// threads may read one gene at once.
struct Gene {
    // Position among the data lines of the file, from 1; 0 for synthetic genes.
    std::uint64_t id = 0;
    std::string name;
    // One value per sample in file column order: raw counts after reading, their
    // single-precision square roots after preprocessing.
    std::vector<float> counts;
    // Where the gene is detected and where it is non-zero, after preprocessing.
    SamplePresence presence;

    std::uint64_t numSamples() const { return counts.size(); }
    // Number of samples where the gene reaches the detection threshold.
    std::uint64_t prevalence() const { return presence.numDetected(); }
};

// Non-owning, ordered list of genes (file order unless said otherwise).
using GeneList = std::vector<const Gene*>;

}  // namespace varnosk
