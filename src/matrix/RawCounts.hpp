#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/ProgressSink.hpp"
#include "matrix/CountMatrix.hpp"
#include "matrix/CountMatrixReader.hpp"

namespace varnosk {

// Hands each gene with its counts as the file holds them.
using RawCountsVisitor = std::function<void(const Gene& gene, const std::vector<float>& raw_counts)>;

// The counts of chosen genes as the file holds them, once the square-root transform has
// replaced them in memory. A regular file (plain or compressed) is read again for just those
// genes, and every count read is checked against the transformed one, so a file changed
// during the run is an error, not a wrong table; this costs no memory. A pipe cannot be read
// twice: its counts are copied before the transform, and kept only for the genes that
// survive filtering, so for that time the counts take twice the memory. Main thread only.
class RawCounts {
public:
    // Call right after reading, before the transform.
    RawCounts(const std::string& path, bool has_header, const MatrixFileFacts& facts, const CountMatrix& matrix);

    // Releases the copied counts of genes no longer in `matrix` (after rare-gene filtering).
    void keepOnly(const CountMatrix& matrix);

    // Calls visit for each of `genes` (ascending id, all still in the matrix), in that order.
    // Throws "error: <path> changed during the run: ..." when a reread line differs.
    void visit(const GeneList& genes, ProgressSink& progress, const RawCountsVisitor& visit) const;

private:
    std::string path_;
    bool has_header_ = false;
    bool reread_ = false;
    FileIdentity identity_;
    std::vector<std::vector<float>> copies_;  // by gene id - 1, for a pipe
};

}  // namespace varnosk
