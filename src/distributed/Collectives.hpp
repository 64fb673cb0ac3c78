#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "distributed/Bytes.hpp"
#include "distributed/Cluster.hpp"

namespace varnosk {

// Collective steps built on the cluster's byte operations, shared by the stages of several
// ranks. Each is called by every rank, outside any agreed step but for its own.

// Every rank's value, on every rank, in rank order.
template <typename T>
std::vector<T> allGatherValue(Cluster& cluster, const T& value) {
    ByteWriter out;
    out.put(value);
    std::vector<T> values;
    for (const std::string& part : cluster.allGather(out.take())) values.push_back(ByteReader(part).get<T>());
    return values;
}

// Per position, the sum of every rank's values.
std::vector<std::uint64_t> sumOverRanks(Cluster& cluster, const std::vector<std::uint64_t>& mine);

// The number of genes of every rank together.
std::uint64_t countGenesOnRanks(Cluster& cluster, std::uint64_t num_genes);

// Records that every rank but the root sends it, in rounds of a bounded number of bytes, so
// that no rank holds all it sends a second time as one message. `write_next` writes this
// rank's next record and returns false when it has none left; the root calls `read` on each
// record, each rank's records in the order written (those of different ranks interleave).
template <typename WriteNext, typename Read>
void streamToRoot(Cluster& cluster, WriteNext write_next, Read read) {
    constexpr std::size_t kRoundBytes = std::size_t{16} << 20;
    bool done = cluster.isRoot();
    for (;;) {
        std::string round = agreed(cluster, [&] {
            ByteWriter out;
            std::uint64_t count = 0;
            out.put(count);
            while (!done && out.size() < kRoundBytes) {
                // each record after its length, written in place
                const std::size_t at = out.size();
                out.put<std::uint64_t>(0);
                if (!write_next(out)) {
                    out.putAt<std::uint64_t>(at, 0);
                    done = true;
                    break;
                }
                out.putAt<std::uint64_t>(at, out.size() - at - sizeof(std::uint64_t));
                ++count;
            }
            out.putAt(0, count);
            return out.take();
        });
        std::vector<std::string> parts = cluster.gather(std::move(round));
        agreed(cluster, [&] {
            for (std::size_t from = 1; from < parts.size(); ++from) {
                ByteReader in(parts[from]);
                const auto count = in.get<std::uint64_t>();
                for (std::uint64_t i = 0; i < count; ++i) {
                    ByteReader record = in.takeRecord();
                    read(from, record);
                }
                std::string().swap(parts[from]);
            }
        });
        if (sumOverRanks(cluster, {done ? 0u : 1u}).front() == 0) return;
    }
}

}  // namespace varnosk
