#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

namespace varnosk {

// The one shape of a parallel loop over items. Each thread builds its workspace with
// make_workspace() (a movable value) before the loop, also a thread that gets no item; item i
// is computed by work(workspace, i) into slot i; on_finished(finished, num_items) runs inside
// the process-wide unnamed critical section after each item (progress reports). Items are
// handed out one at a time (dynamic schedule) since their costs differ widely. The first
// exception is kept and rethrown after the loop; the items not yet started are then skipped.
// Slots are returned in item order, so the result never depends on the number of threads.
template <typename Result, typename MakeWorkspace, typename Work, typename OnFinished>
std::vector<Result> computeInParallelSlots(std::size_t num_items, MakeWorkspace make_workspace, Work work,
                                           OnFinished on_finished) {
    std::vector<Result> slots(num_items);
    std::uint64_t finished = 0;
    std::exception_ptr failure;
    std::atomic<bool> failed{false};

#pragma omp parallel
    {
        // Every thread must reach the loop, so a workspace that cannot be built is recorded
        // as the failure instead of leaving the region early.
        std::optional<decltype(make_workspace())> workspace;
        try {
            workspace.emplace(make_workspace());
        } catch (...) {
#pragma omp critical
            {
                if (!failure) failure = std::current_exception();
            }
            failed.store(true, std::memory_order_relaxed);
        }
#pragma omp for schedule(dynamic, 1)
        for (std::size_t i = 0; i < num_items; ++i) {
            if (failed.load(std::memory_order_relaxed)) continue;
            try {
                slots[i] = work(*workspace, i);
            } catch (...) {
#pragma omp critical
                {
                    if (!failure) failure = std::current_exception();
                }
                failed.store(true, std::memory_order_relaxed);
                continue;
            }
#pragma omp critical
            {
                ++finished;
                on_finished(finished, static_cast<std::uint64_t>(num_items));
            }
        }
    }
    if (failure) std::rethrow_exception(failure);
    return slots;
}

}  // namespace varnosk
