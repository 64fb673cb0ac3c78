// The collective steps of the distributed stages, on three ranks that are threads.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "distributed/Collectives.hpp"
#include "distributed/InProcessCluster.hpp"

namespace varnosk::test {
namespace {

constexpr int kRanks = 3;

TEST(Collectives, ValuesAndSumsReachEveryRankInRankOrder) {
    struct Part {
        std::uint64_t genes;
        double share;
    };
    struct Seen {
        std::vector<Part> parts;
        std::vector<std::uint64_t> sums;
        std::uint64_t genes = 0;
    };
    const std::vector<Seen> seen = runOnRanks(kRanks, [](InProcessCluster& cluster) {
        const auto r = static_cast<std::uint64_t>(cluster.rank());
        Seen s;
        s.parts = allGatherValue(cluster, Part{(r << 33) + r, 0.25 * static_cast<double>(r)});
        // sums beyond 32 bits, an empty vector and a zero in between
        s.sums = sumOverRanks(cluster, {(std::uint64_t{1} << 40) + r, 0, r * r});
        EXPECT_TRUE(sumOverRanks(cluster, {}).empty());
        s.genes = countGenesOnRanks(cluster, (std::uint64_t{1} << 32) + 10 * r);
        return s;
    });
    for (const Seen& s : seen) {
        ASSERT_EQ(s.parts.size(), static_cast<std::size_t>(kRanks));
        for (std::uint64_t r = 0; r < kRanks; ++r) {
            EXPECT_EQ(s.parts[r].genes, (r << 33) + r);
            EXPECT_EQ(s.parts[r].share, 0.25 * static_cast<double>(r));
        }
        EXPECT_EQ(s.sums, (std::vector<std::uint64_t>{(std::uint64_t{3} << 40) + 3, 0, 5}));
        EXPECT_EQ(s.genes, (std::uint64_t{3} << 32) + 30);
    }
}

// Rank 1 sends nothing, rank 2 more than one round's bytes: the root reads each rank's
// records whole and in the order written, and every rank leaves the stream together.
TEST(Collectives, StreamToRootDeliversEveryRecordOfEveryRankInOrderOverSeveralRounds) {
    constexpr std::size_t kRecords = 40;
    constexpr std::size_t kRecordBytes = std::size_t{1} << 20;  // 40 MiB in all: three rounds
    const auto record = [](std::size_t i) { return std::string(kRecordBytes - i, static_cast<char>('a' + i % 26)); };
    const std::vector<std::vector<std::pair<std::size_t, std::string>>> received =
        runOnRanks(kRanks, [&](InProcessCluster& cluster) {
            std::vector<std::pair<std::size_t, std::string>> got;
            std::size_t next = 0;
            streamToRoot(
                cluster,
                [&](ByteWriter& out) {
                    const std::size_t count = cluster.rank() == 2 ? kRecords : 0;
                    if (next == count) return false;
                    out.put<std::uint64_t>(next);
                    out.putString(record(next++));
                    return true;
                },
                [&](std::size_t from, ByteReader& in) {
                    const auto i = in.get<std::uint64_t>();
                    std::string text;
                    in.getArray(text);
                    if (!in.atEnd()) throw std::runtime_error("a record holds more than was written");
                    EXPECT_TRUE(text == record(i)) << "record " << i;
                    got.emplace_back(from, std::to_string(i));
                });
            return got;
        });
    std::vector<std::pair<std::size_t, std::string>> expected;
    for (std::size_t i = 0; i < kRecords; ++i) expected.emplace_back(2, std::to_string(i));
    EXPECT_EQ(received[0], expected);
    EXPECT_TRUE(received[1].empty());
    EXPECT_TRUE(received[2].empty());
}

TEST(Collectives, AFailureReadingOnTheRootEndsTheStreamOnEveryRank) {
    const std::vector<std::string> messages = runOnRanks(kRanks, [](InProcessCluster& cluster) {
        std::size_t sent = 0;
        try {
            streamToRoot(
                cluster, [&](ByteWriter& out) { return sent++ < 3 && (out.put<std::uint8_t>(1), true); },
                [](std::size_t from, ByteReader&) {
                    if (from == 2) throw std::runtime_error("error: rank 2's record is bad.");
                });
        } catch (const std::runtime_error& error) {
            return std::string(error.what());
        }
        return std::string("no failure");
    });
    EXPECT_EQ(messages, std::vector<std::string>(kRanks, "error: rank 2's record is bad."));
}

}  // namespace
}  // namespace varnosk::test
