#include "matrix/RawCounts.hpp"

#include <cmath>

namespace varnosk {

RawCounts::RawCounts(const std::string& path, bool has_header, const MatrixFileFacts& facts, const CountMatrix& matrix)
    : path_(path), has_header_(has_header), reread_(facts.can_be_read_again), identity_(facts.identity) {
    if (reread_) return;
    // ids run from 1 in matrix order
    copies_.reserve(matrix.size());
    for (const auto& gene : matrix) copies_.push_back(gene->counts);
}

void RawCounts::keepOnly(const CountMatrix& matrix) {
    if (reread_) return;
    std::vector<bool> kept(copies_.size(), false);
    for (const auto& gene : matrix) kept[gene->id - 1] = true;
    for (std::size_t i = 0; i < copies_.size(); ++i) {
        if (!kept[i]) std::vector<float>().swap(copies_[i]);
    }
}

void RawCounts::visit(const GeneList& genes, ProgressSink& progress, const RawCountsVisitor& visit) const {
    if (!reread_) {
        for (const Gene* gene : genes) visit(*gene, copies_[gene->id - 1]);
        progress.update(1, 1);
        return;
    }
    rereadGenes(path_, has_header_, identity_, genes, progress, [&](const Gene& gene, const std::vector<float>& raw) {
        // the transform takes the single-precision root of each count
        for (std::size_t s = 0; s < raw.size(); ++s) {
            if (std::sqrt(raw[s]) != gene.counts[s]) return false;
        }
        visit(gene, raw);
        return true;
    });
}

}  // namespace varnosk
