#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "distributed/Cluster.hpp"

namespace varnosk::test {

class InProcessRendezvous;

// One rank of a run whose ranks are threads of this process, so that the code that splits a
// run over ranks is exercised without MPI. It keeps MpiCluster's rules: collectives in the
// same order on every rank, the lowest failing rank's own exception on agreement and its
// message elsewhere, gather only on the root. Each collective is a rendezvous: every rank
// leaves its bytes, waits for the others, takes what it needs, and waits again before the
// slots are used for the next one. One InProcessCluster per rank thread; runOnRanks makes them.
class InProcessCluster final : public Cluster {
public:
    InProcessCluster(std::shared_ptr<InProcessRendezvous> shared, int rank);

    int rank() const override { return rank_; }
    int size() const override;
    void agree(const std::exception_ptr& failure) override;
    bool failureKnownToAll() const override { return agreed_failure_ || size() == 1; }
    // The process is the job, as MPI_Abort ends an MPI job: every rank ends with it. The
    // console streams are flushed first, since _Exit runs no destructor.
    [[noreturn]] void abortAll(int status) override;
    std::string broadcast(std::string bytes) override;
    std::vector<std::string> gather(std::string bytes) override;
    std::vector<std::string> allGather(std::string bytes) override;
    std::vector<std::string> exchange(std::vector<std::string> outgoing) override;
    std::string passAlong(std::string first, const std::function<std::string(std::string)>& step) override;

    // This rank takes part in no further collective. A rank still waiting for it (or arriving
    // later) throws instead of waiting forever; `failure` (null for a rank that returned) is
    // kept if it is the first, as the likely cause of what the others then throw.
    void leave(const std::exception_ptr& failure);
    // The failure of the first rank that left with one, or null.
    std::exception_ptr firstFailure() const;

private:
    std::shared_ptr<InProcessRendezvous> shared_;
    int rank_;
    bool agreed_failure_ = false;
};

// The clusters of `size` ranks that meet in one rendezvous, rank r's at index r.
std::vector<std::unique_ptr<InProcessCluster>> makeInProcessRanks(int size);

// Runs f(cluster) for each of `size` ranks, each on a thread of its own, and waits for all.
// Returns each rank's result in rank order (nothing when f returns void). When f throws on
// any rank, the ranks still waiting for it in a collective throw too, and after every thread
// has ended the first failure is rethrown here.
template <typename F>
auto runOnRanks(int size, F f) {
    using Result = std::invoke_result_t<F&, InProcessCluster&>;
    constexpr bool kVoid = std::is_void_v<Result>;
    using Slot = std::conditional_t<kVoid, bool, std::optional<Result>>;
    const std::vector<std::unique_ptr<InProcessCluster>> ranks = makeInProcessRanks(size);
    std::vector<Slot> results(ranks.size());
    std::vector<std::thread> threads;
    threads.reserve(ranks.size());
    std::size_t started = 0;
    try {
        for (; started < ranks.size(); ++started) {
            threads.emplace_back([&, r = started] {
                InProcessCluster& cluster = *ranks[r];
                try {
                    if constexpr (kVoid) {
                        f(cluster);
                    } else {
                        results[r].emplace(f(cluster));
                    }
                } catch (...) {
                    cluster.leave(std::current_exception());
                    return;
                }
                cluster.leave(nullptr);
            });
        }
    } catch (...) {
        // a thread that could not start must not leave the started ones waiting for it
        for (std::size_t r = started; r < ranks.size(); ++r) ranks[r]->leave(std::current_exception());
    }
    for (std::thread& thread : threads) thread.join();
    if (const std::exception_ptr failure = ranks.front()->firstFailure()) std::rethrow_exception(failure);
    if constexpr (!kVoid) {
        std::vector<Result> values;
        values.reserve(results.size());
        for (auto& result : results) values.push_back(std::move(*result));
        return values;
    }
}

}  // namespace varnosk::test
