#include "distributed/GeneMessages.hpp"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "matrix/Preprocessing.hpp"

namespace varnosk {

void writeGene(ByteWriter& out, const Gene& gene) {
    out.put<std::uint64_t>(gene.id);
    out.putString(gene.name);
    out.putArray(gene.counts.data(), gene.counts.size());
}

Gene readGeneWithoutPresence(ByteReader& in) {
    Gene gene;
    gene.id = in.get<std::uint64_t>();
    in.getArray(gene.name);
    in.getArray(gene.counts);
    return gene;
}

Gene readGene(ByteReader& in, float detection_threshold) {
    Gene gene = readGeneWithoutPresence(in);
    computeSamplePresence(gene, detection_threshold);
    return gene;
}

void writeGeneName(ByteWriter& out, const Gene& gene) {
    out.put<std::uint64_t>(gene.id);
    out.putString(gene.name);
}

Gene readGeneName(ByteReader& in) {
    Gene gene;
    gene.id = in.get<std::uint64_t>();
    in.getArray(gene.name);
    return gene;
}

void GenesById::add(const GeneList& genes) {
    for (const Gene* gene : genes) genes_.emplace(gene->id, gene);
}

void GenesById::add(const CountMatrix& genes) {
    for (const auto& gene : genes) genes_.emplace(gene->id, gene.get());
}

const Gene* GenesById::find(std::uint64_t id) const {
    const auto found = genes_.find(id);
    if (found == genes_.end())
        throw std::runtime_error("error: gene " + std::to_string(id) + " is unknown to this process.");
    return found->second;
}

void RootGenes::keepReceived(Gene gene) {
    if (by_id_.holds(gene.id)) return;
    received_.push_back(std::make_unique<Gene>(std::move(gene)));
    by_id_.add(GeneList{received_.back().get()});
}

void writeSeed(ByteWriter& out, const Seed& seed) {
    out.put<std::uint64_t>(seed.genes.size());
    for (const Gene* gene : seed.genes) out.put<std::uint64_t>(gene->id);
    writeGene(out, seed.representative);
}

Seed readSeed(ByteReader& in, const GenesById& genes, float detection_threshold) {
    Seed seed;
    const auto n = in.get<std::uint64_t>();
    seed.genes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(n, 1u << 20)));
    for (std::uint64_t i = 0; i < n; ++i) seed.genes.push_back(genes.find(in.get<std::uint64_t>()));
    seed.representative = readGene(in, detection_threshold);
    return seed;
}

}  // namespace varnosk
