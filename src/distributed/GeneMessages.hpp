#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
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
// The same without presence bits, for genes whose bits are then computed all in one block.
Gene readGeneWithoutPresence(ByteReader& in);

// A gene that the receiver only names in a table: its id and name, no counts.
void writeGeneName(ByteWriter& out, const Gene& gene);
Gene readGeneName(ByteReader& in);

// Finds genes by id among those a rank holds, its own and those others sent it.
class GenesById {
public:
    GenesById() = default;
    explicit GenesById(const GeneList& genes) { add(genes); }
    void add(const GeneList& genes);
    void add(const CountMatrix& genes);
    // Throws when no gene has that id: the sender must have sent what the receiver lacks.
    const Gene* find(std::uint64_t id) const;
    bool holds(std::uint64_t id) const { return genes_.contains(id); }

private:
    std::unordered_map<std::uint64_t, const Gene*> genes_;
};

// The genes the root holds once other ranks sent it theirs: its own, and the profiles or
// names it received, kept until the end of the run.
class RootGenes {
public:
    void addOwn(const GeneList& genes) { by_id_.add(genes); }
    // Keeps a gene another rank sent, unless a gene with its id is held already.
    void keepReceived(Gene gene);
    const GenesById& byId() const { return by_id_; }

private:
    CountMatrix received_;
    GenesById by_id_;
};

void writeSeed(ByteWriter& out, const Seed& seed);
Seed readSeed(ByteReader& in, const GenesById& genes, float detection_threshold);

}  // namespace varnosk
