#include "distributed/Collectives.hpp"

namespace varnosk {

std::vector<std::uint64_t> sumOverRanks(Cluster& cluster, const std::vector<std::uint64_t>& mine) {
    ByteWriter out;
    out.putArray(mine.data(), mine.size());
    std::vector<std::uint64_t> sums(mine.size(), 0);
    std::vector<std::uint64_t> part_values;
    for (const std::string& part : cluster.allGather(out.take())) {
        ByteReader(part).getArray(part_values);
        for (std::size_t i = 0; i < sums.size(); ++i) sums[i] += part_values[i];
    }
    return sums;
}

std::uint64_t countGenesOnRanks(Cluster& cluster, std::uint64_t num_genes) {
    if (cluster.size() == 1) return num_genes;
    return sumOverRanks(cluster, {num_genes}).front();
}

}  // namespace varnosk
