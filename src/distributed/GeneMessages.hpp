#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "distributed/Bytes.hpp"
#include "matrix/CountMatrix.hpp"
#include "seeds/Seed.hpp"

namespace varnosk {

// Genes and seeds as bytes for other ranks. A gene travels with its id, name and counts; its
// presence bits are recomputed on arrival against the run's detection threshold, as they were
// made. A seed's members travel as gene ids and are found again among the receiver's genes.

void writeGene(ByteWriter& out, const Gene& gene);
// The gene written by writeGene, its presence computed against `detection_threshold`.
Gene readGene(ByteReader& in, float detection_threshold);

std::string encodeGenes(const CountMatrix& genes);
// Appends the genes of `bytes` to `genes`.
void decodeGenes(std::string_view bytes, CountMatrix& genes);

// Finds genes by id among a list sorted by id (a count matrix's, after filtering too).
class GenesById {
public:
    explicit GenesById(const GeneList& genes) : genes_(genes) {}
    // Throws when no gene has that id: both ranks must hold the same genes.
    const Gene* find(std::uint64_t id) const;

private:
    const GeneList& genes_;
};

void writeSeed(ByteWriter& out, const Seed& seed);
Seed readSeed(ByteReader& in, const GenesById& genes, float detection_threshold);

}  // namespace varnosk
