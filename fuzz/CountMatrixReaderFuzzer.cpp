// Feeds arbitrary bytes to the count matrix reader, from memory: plain text, or compressed data
// decoded in a thread of its own (the seed corpus holds one file of each format). The reader
// must either return a well-formed matrix or throw its one error; anything else (a crash, a
// sanitizer report, a matrix that breaks its invariants) is a finding.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "matrix/CountMatrixReader.hpp"

class Discard final : public varnosk::ProgressSink {
public:
    void update(std::uint64_t, std::uint64_t) override {}
};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses whether the file has a header.
    const bool has_header = (data[0] & 1) != 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    Discard progress;
    try {
        const varnosk::CountMatrix matrix = varnosk::readCountMatrixFromMemory(bytes, has_header, progress);
        if (matrix.empty()) std::abort();
        const auto samples = matrix.front()->counts.size();
        for (std::size_t i = 0; i < matrix.size(); ++i) {
            const varnosk::Gene& gene = *matrix[i];
            if (gene.id != i + 1 || gene.counts.size() != samples || samples == 0 || gene.name.empty()) std::abort();
            for (const float count : gene.counts) {
                if (!(count >= 0.0f) || !std::isfinite(count)) std::abort();
            }
        }
    } catch (const std::runtime_error&) {
        // A rejected file is a correct outcome.
    }
    return 0;
}
