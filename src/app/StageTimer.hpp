#pragma once

#include <cstdint>
#include <ctime>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace varnosk {

// Named wall-clock stopwatches with second resolution. Stops pair with starts last in,
// first out. Main thread only.
class StageTimer {
public:
    void start(const std::string& name);
    // Throws std::runtime_error("error: no timer running.") when nothing runs.
    void stop();
    // "Time Statistics:" then one "<name>: <m> min <s> sec" line per stopped stopwatch,
    // in the order they stopped.
    std::ostream& report(std::ostream& out) const;
    // The stopped stopwatches with their whole seconds, in the order they stopped.
    const std::vector<std::pair<std::string, std::int64_t>>& finished() const { return finished_; }

    // For tests: stop the most recent stopwatch as if `now` were the current time.
    void stopAt(std::time_t now);
    void startAt(const std::string& name, std::time_t now);

private:
    std::vector<std::pair<std::string, std::time_t>> running_;
    std::vector<std::pair<std::string, std::int64_t>> finished_;
};

}  // namespace varnosk
