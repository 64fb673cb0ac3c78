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

Gene readGene(ByteReader& in, float detection_threshold) {
    Gene gene;
    gene.id = in.get<std::uint64_t>();
    in.getArray(gene.name);
    in.getArray(gene.counts);
    computeSamplePresence(gene, detection_threshold);
    return gene;
}

std::string encodeGenes(const CountMatrix& genes) {
    ByteWriter out;
    out.put<std::uint64_t>(genes.size());
    for (const auto& gene : genes) {
        out.putString(gene->name);
        out.putArray(gene->counts.data(), gene->counts.size());
    }
    return out.take();
}

void decodeGenes(std::string_view bytes, CountMatrix& genes) {
    ByteReader in(bytes);
    const auto n = in.get<std::uint64_t>();
    for (std::uint64_t i = 0; i < n; ++i) {
        auto gene = std::make_unique<Gene>();
        // ids are file positions: the parts arrive in file order
        gene->id = genes.size() + 1;
        in.getArray(gene->name);
        in.getArray(gene->counts);
        genes.push_back(std::move(gene));
    }
}

const Gene* GenesById::find(std::uint64_t id) const {
    const auto found = std::lower_bound(genes_.begin(), genes_.end(), id,
                                        [](const Gene* gene, std::uint64_t value) { return gene->id < value; });
    if (found == genes_.end() || (*found)->id != id) {
        throw std::runtime_error("error: gene " + std::to_string(id) + " is unknown to this process.");
    }
    return *found;
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
