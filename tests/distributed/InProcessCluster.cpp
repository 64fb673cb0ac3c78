#include "distributed/InProcessCluster.hpp"

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <new>
#include <stdexcept>

#include "distributed/AgreedFailure.hpp"

namespace varnosk::test {

// The slots and the barrier that the ranks of one run share. Slots are read and written
// under the mutex only; the barrier between a collective's writes and its reads, and again
// before the next collective writes, keeps the ranks in step.
class InProcessRendezvous {
public:
    explicit InProcessRendezvous(int size) : size_(size), slots_(static_cast<std::size_t>(size)) {}

    int size() const { return size_; }

    // Runs `use(slots)` alone.
    template <typename Use>
    auto withSlots(Use use) {
        const std::lock_guard lock(mutex_);
        return use(slots_);
    }

    // Returns once every rank has called it this round; throws when a rank has left, since
    // the round can then never complete.
    void barrier() {
        std::unique_lock lock(mutex_);
        throwIfAbandoned();
        const std::uint64_t round = round_;
        if (++arrived_ == size_) {
            arrived_ = 0;
            ++round_;
            changed_.notify_all();
            return;
        }
        changed_.wait(lock, [&] { return round_ != round || departed_ > 0; });
        if (round_ == round) throwIfAbandoned();
    }

    void leave(const std::exception_ptr& failure) {
        const std::lock_guard lock(mutex_);
        ++departed_;
        if (failure && !first_failure_) first_failure_ = failure;
        changed_.notify_all();
    }

    std::exception_ptr firstFailure() const {
        const std::lock_guard lock(mutex_);
        return first_failure_;
    }

private:
    void throwIfAbandoned() const {
        if (departed_ > 0) {
            throw std::logic_error("a rank left the run while the others called a collective operation");
        }
    }

    const int size_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int arrived_ = 0;
    int departed_ = 0;
    std::uint64_t round_ = 0;
    std::exception_ptr first_failure_;
    // per rank, what it left for the others in the current collective
    std::vector<std::vector<std::string>> slots_;
};

namespace {

// A slot holding `bytes` alone, moved in (a braced list would copy them).
void fill(std::vector<std::string>& slot, std::string bytes) {
    slot.clear();
    slot.push_back(std::move(bytes));
}

}  // namespace

InProcessCluster::InProcessCluster(std::shared_ptr<InProcessRendezvous> shared, int rank)
    : shared_(std::move(shared)), rank_(rank) {}

int InProcessCluster::size() const { return shared_->size(); }

void InProcessCluster::agree(const std::exception_ptr& failure) {
    if (size() == 1) {
        if (failure) std::rethrow_exception(failure);
        return;
    }
    const auto me = static_cast<std::size_t>(rank_);
    shared_->withSlots([&](auto& slots) {
        slots[me].clear();
        if (failure) slots[me].push_back(failureMessage(failure));
    });
    shared_->barrier();
    // the lowest failing rank read the earliest part of the input: its error comes first
    const std::optional<std::pair<std::size_t, std::string>> first = shared_->withSlots([&](auto& slots) {
        std::optional<std::pair<std::size_t, std::string>> lowest;
        for (std::size_t r = 0; r < slots.size() && !lowest; ++r) {
            if (!slots[r].empty()) lowest.emplace(r, slots[r].front());
        }
        return lowest;
    });
    shared_->barrier();
    if (!first) return;
    agreed_failure_ = true;
    throwAgreedFailure(first->first == me, failure, first->second);
}

void InProcessCluster::abortAll(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::_Exit(status);
}

std::string InProcessCluster::broadcast(std::string bytes) {
    if (rank_ == 0) shared_->withSlots([&](auto& slots) { fill(slots[0], std::move(bytes)); });
    shared_->barrier();
    std::string root_bytes = shared_->withSlots([&](auto& slots) { return slots[0].front(); });
    shared_->barrier();
    return root_bytes;
}

std::vector<std::string> InProcessCluster::gather(std::string bytes) {
    const auto me = static_cast<std::size_t>(rank_);
    shared_->withSlots([&](auto& slots) { fill(slots[me], std::move(bytes)); });
    shared_->barrier();
    std::vector<std::string> parts;
    if (rank_ == 0) {
        shared_->withSlots([&](auto& slots) {
            for (auto& slot : slots) parts.push_back(std::move(slot.front()));
        });
    }
    shared_->barrier();
    return parts;
}

std::vector<std::string> InProcessCluster::allGather(std::string bytes) {
    const auto me = static_cast<std::size_t>(rank_);
    shared_->withSlots([&](auto& slots) { fill(slots[me], std::move(bytes)); });
    shared_->barrier();
    std::vector<std::string> parts = shared_->withSlots([&](auto& slots) {
        std::vector<std::string> copies;
        for (const auto& slot : slots) copies.push_back(slot.front());
        return copies;
    });
    shared_->barrier();
    return parts;
}

std::vector<std::string> InProcessCluster::exchange(std::vector<std::string> outgoing) {
    const auto me = static_cast<std::size_t>(rank_);
    if (outgoing.size() != static_cast<std::size_t>(size())) {
        throw std::logic_error("exchange needs one message per rank");
    }
    shared_->withSlots([&](auto& slots) { slots[me] = std::move(outgoing); });
    shared_->barrier();
    // each rank takes its own entry of every slot, so the moves never meet
    std::vector<std::string> incoming = shared_->withSlots([&](auto& slots) {
        std::vector<std::string> mine;
        for (auto& slot : slots) mine.push_back(std::move(slot[me]));
        return mine;
    });
    shared_->barrier();
    return incoming;
}

std::string InProcessCluster::passAlong(std::string first, const std::function<std::string(std::string)>& step) {
    // one turn per rank; each waits for the turn before its own, and `step` runs outside the
    // lock, as it would on a process of its own
    for (int turn = 0; turn < size(); ++turn) {
        if (turn == rank_) {
            std::string value =
                rank_ == 0 ? std::move(first) : shared_->withSlots([&](auto& slots) { return std::move(slots[0][0]); });
            value = step(std::move(value));
            shared_->withSlots([&](auto& slots) { fill(slots[0], std::move(value)); });
        }
        shared_->barrier();
    }
    std::string last = shared_->withSlots([&](auto& slots) { return slots[0].front(); });
    shared_->barrier();
    return last;
}

void InProcessCluster::leave(const std::exception_ptr& failure) { shared_->leave(failure); }

std::exception_ptr InProcessCluster::firstFailure() const { return shared_->firstFailure(); }

std::vector<std::unique_ptr<InProcessCluster>> makeInProcessRanks(int size) {
    if (size < 1) throw std::invalid_argument("a run needs at least one rank");
    auto shared = std::make_shared<InProcessRendezvous>(size);
    std::vector<std::unique_ptr<InProcessCluster>> ranks;
    for (int r = 0; r < size; ++r) ranks.push_back(std::make_unique<InProcessCluster>(shared, r));
    return ranks;
}

}  // namespace varnosk::test
