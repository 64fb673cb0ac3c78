#pragma once

#include <cstdint>

namespace varnosk {

// Where a stage reports how far it has come. The stage never draws anything itself: the
// driver decides what a report looks like and whether one is shown at all. Callers in
// parallel loops report inside the process-wide unnamed critical section that also counts
// the finished work.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // `done` of `total` units of the stage's work are finished (done <= total, total > 0).
    virtual void update(std::uint64_t done, std::uint64_t total) = 0;
};

}  // namespace varnosk
