// The ranks-as-threads cluster keeps MpiCluster's rules, which the distributed stages rely on:
// who throws what on agreement, and where each collective's bytes go.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/OutOfMemory.hpp"
#include "distributed/InProcessCluster.hpp"

namespace varnosk::test {
namespace {

// What agree() threw on one rank.
struct Outcome {
    std::string kind;  // "none", "own", "runtime_error", "elsewhere"
    std::string message;
    bool known_before = false;
    bool known_after = false;
};

// Each rank that `fail` names fails with its own exception; every rank agrees.
template <typename Fail>
std::vector<Outcome> agreeAfter(int ranks, Fail fail) {
    struct Own : std::out_of_range {
        using std::out_of_range::out_of_range;
    };
    return runOnRanks(ranks, [&](InProcessCluster& cluster) {
        Outcome outcome{"none", "", cluster.failureKnownToAll(), false};
        std::exception_ptr failure;
        try {
            fail(cluster.rank());
        } catch (const std::bad_alloc&) {
            failure = std::current_exception();
        } catch (const std::exception& error) {
            failure = std::make_exception_ptr(Own(error.what()));
        }
        try {
            cluster.agree(failure);
        } catch (const Own& error) {
            outcome.kind = "own";
            outcome.message = error.what();
        } catch (const MemoryExhaustedElsewhere& error) {
            outcome.kind = "elsewhere";
            outcome.message = error.what();
        } catch (const std::bad_alloc&) {
            outcome.kind = "own";
            outcome.message = "bad_alloc";
        } catch (const std::runtime_error& error) {
            outcome.kind = "runtime_error";
            outcome.message = error.what();
        }
        outcome.known_after = cluster.failureKnownToAll();
        // the cluster still works after a failed agreement
        outcome.message += "|" + std::to_string(cluster.allGather(std::to_string(cluster.rank())).size());
        return outcome;
    });
}

TEST(InProcessCluster, AgreementEndsEveryRankWithTheLowestFailingRanksFailure) {
    // ranks 1 and 3 fail: rank 1 keeps its own exception, every other rank (3 too) gets its text
    const std::vector<Outcome> two_fail = agreeAfter(4, [](int rank) {
        if (rank == 1 || rank == 3) throw std::runtime_error("error: rank " + std::to_string(rank) + " failed.");
    });
    ASSERT_EQ(two_fail.size(), 4u);
    for (int rank = 0; rank < 4; ++rank) {
        const Outcome& outcome = two_fail[static_cast<std::size_t>(rank)];
        EXPECT_EQ(outcome.kind, rank == 1 ? "own" : "runtime_error") << rank;
        EXPECT_EQ(outcome.message, "error: rank 1 failed.|4") << rank;
        EXPECT_FALSE(outcome.known_before) << rank;
        EXPECT_TRUE(outcome.known_after) << rank;
    }

    // memory exhausted on one rank: the others throw a bad_alloc too, with the memory message
    const std::vector<Outcome> memory = agreeAfter(3, [](int rank) {
        if (rank == 2) throw std::bad_alloc();
    });
    EXPECT_EQ(memory[0].kind, "elsewhere");
    EXPECT_EQ(memory[0].message, std::string(kOutOfMemoryMessage) + "|3");
    EXPECT_EQ(memory[1].kind, "elsewhere");
    EXPECT_EQ(memory[2].kind, "own");
    EXPECT_EQ(memory[2].message, "bad_alloc|3");

    // nobody fails: nobody throws, and no failure is known
    for (const int ranks : {1, 3}) {
        for (const Outcome& outcome : agreeAfter(ranks, [](int) {})) {
            EXPECT_EQ(outcome.kind, "none");
            EXPECT_EQ(outcome.message, "|" + std::to_string(ranks));
            EXPECT_EQ(outcome.known_after, ranks == 1);
        }
    }
    // a single rank knows its failure is known to all, as a single process
    const std::vector<Outcome> alone = agreeAfter(1, [](int) { throw std::runtime_error("error: alone."); });
    EXPECT_EQ(alone[0].kind, "own");
    EXPECT_TRUE(alone[0].known_before);
}

// "g1" for ("g", 1): appended, since GCC 12 warns wrongly on a literal before a string
std::string tag(const char* prefix, int rank) { return std::string(prefix) + std::to_string(rank); }

TEST(InProcessCluster, EveryCollectiveDeliversEachRanksBytesWhereMpiWould) {
    for (const int ranks : {1, 2, 3}) {
        struct Seen {
            std::string broadcast;
            std::vector<std::string> gathered, all, incoming;
            std::string passed;
        };
        const std::vector<Seen> seen = runOnRanks(ranks, [](InProcessCluster& cluster) {
            const std::string me = std::to_string(cluster.rank());
            Seen s;
            // a zero byte, and an empty message from rank 1, must travel as they are
            s.broadcast = cluster.broadcast(std::string("root\0", 5) + me);
            s.gathered = cluster.gather(cluster.rank() == 1 ? "" : tag("g", cluster.rank()));
            s.all = cluster.allGather(tag("a", cluster.rank()));
            std::vector<std::string> outgoing;
            for (int to = 0; to < cluster.size(); ++to) outgoing.push_back(me + ">" + std::to_string(to));
            s.incoming = cluster.exchange(std::move(outgoing));
            s.passed = cluster.passAlong("start", [&](std::string value) { return value + "," + me; });
            return s;
        });
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(ranks));
        std::string passed = "start";
        for (int r = 0; r < ranks; ++r) passed += "," + std::to_string(r);
        for (int me = 0; me < ranks; ++me) {
            const Seen& s = seen[static_cast<std::size_t>(me)];
            const std::string label = std::to_string(me) + " of " + std::to_string(ranks);
            EXPECT_EQ(s.broadcast, std::string("root\0"
                                               "0",
                                               6))
                << label;
            std::vector<std::string> gathered, all, incoming;
            for (int r = 0; r < ranks; ++r) {
                gathered.push_back(r == 1 ? "" : tag("g", r));
                all.push_back(tag("a", r));
                incoming.push_back(std::to_string(r) + ">" + std::to_string(me));
            }
            // only the root gathers
            EXPECT_EQ(s.gathered, me == 0 ? gathered : std::vector<std::string>()) << label;
            EXPECT_EQ(s.all, all) << label;
            EXPECT_EQ(s.incoming, incoming) << label;
            // in rank order, each rank given what the one before it made, the last one's result everywhere
            EXPECT_EQ(s.passed, passed) << label;
        }
    }
}

TEST(InProcessCluster, ARankThatFailsOutsideAgreementStopsTheOthersWaitingForIt) {
    // as when a rank ends an MPI job: its failure comes back, not a hang
    try {
        runOnRanks(3, [](InProcessCluster& cluster) {
            if (cluster.rank() == 2) throw std::invalid_argument("rank 2 gave up");
            cluster.broadcast("never complete");
        });
        ADD_FAILURE() << "no failure came back";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "rank 2 gave up");
    }
}

}  // namespace
}  // namespace varnosk::test
