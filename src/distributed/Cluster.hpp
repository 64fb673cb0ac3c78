#pragma once

#include <cstdlib>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace varnosk {

// The processes (ranks) of one run and the few collective operations the driver needs, on
// byte buffers. Every rank calls each collective operation in the same order; rank 0 is the
// root, which alone writes the output directory and the console. Main thread only.
class Cluster {
public:
    virtual ~Cluster() = default;

    virtual int rank() const = 0;
    virtual int size() const = 0;
    bool isRoot() const { return rank() == 0; }

    // Collective. `failure` is what this rank caught since the last agreement, or null. When
    // any rank failed, every rank throws: the lowest failing rank its own exception, the
    // others a std::runtime_error with its message, so that the run ends everywhere with the
    // text a single process would show.
    virtual void agree(const std::exception_ptr& failure) = 0;
    // Whether the exception that ends this rank's run is known to every rank (it came from
    // agree), so that the root alone prints it; otherwise the rank must end the whole run.
    virtual bool failureKnownToAll() const = 0;
    // Ends every rank at once, for a failure that no agreement reached.
    [[noreturn]] virtual void abortAll(int status) = 0;

    // Collective: the root's bytes, on every rank.
    virtual std::string broadcast(std::string bytes) = 0;
    // Collective: on the root, every rank's bytes in rank order; elsewhere nothing.
    virtual std::vector<std::string> gather(std::string bytes) = 0;
    // Collective: every rank's bytes in rank order, on every rank.
    virtual std::vector<std::string> allGather(std::string bytes) = 0;
    // Collective: `outgoing[r]` goes to rank r (one entry per rank, this rank's own
    // included); returns what each rank sent this one, in rank order.
    virtual std::vector<std::string> exchange(std::vector<std::string> outgoing) = 0;
    // Collective: one value passed along the ranks in rank order: rank 0 applies `step` to
    // `first`, every other rank to what the rank before it made. Every rank gets the last
    // rank's result. For sums that must be added in one fixed order. `step` must not throw.
    virtual std::string passAlong(std::string first, const std::function<std::string(std::string)>& step) = 0;
};

// One process alone: agreement rethrows, collectives return what they are given.
class SingleProcess final : public Cluster {
public:
    int rank() const override { return 0; }
    int size() const override { return 1; }
    void agree(const std::exception_ptr& failure) override {
        if (failure) std::rethrow_exception(failure);
    }
    bool failureKnownToAll() const override { return true; }
    [[noreturn]] void abortAll(int status) override { std::exit(status); }
    std::string broadcast(std::string bytes) override { return bytes; }
    std::vector<std::string> gather(std::string bytes) override { return {std::move(bytes)}; }
    std::vector<std::string> allGather(std::string bytes) override { return {std::move(bytes)}; }
    std::vector<std::string> exchange(std::vector<std::string> outgoing) override { return outgoing; }
    std::string passAlong(std::string first, const std::function<std::string(std::string)>& step) override {
        return step(std::move(first));
    }
};

// Runs `step` on this rank, then agrees with the others: returns its result when it succeeded
// on every rank, throws on every rank when it failed on any. Every collective operation must
// sit between two such steps, never inside one, so that no rank waits for a failed one.
template <typename Step>
auto agreed(Cluster& cluster, Step step) {
    using Result = decltype(step());
    std::exception_ptr failure;
    if constexpr (std::is_void_v<Result>) {
        try {
            step();
        } catch (...) {
            failure = std::current_exception();
        }
        cluster.agree(failure);
    } else {
        std::optional<Result> result;
        try {
            result.emplace(step());
        } catch (...) {
            failure = std::current_exception();
        }
        cluster.agree(failure);
        return std::move(*result);
    }
}

}  // namespace varnosk
