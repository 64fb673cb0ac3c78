#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace varnosk {

// Named wall-clock stopwatches. The time report counts whole seconds of the calendar
// clock; the run report also gets each stage's steady-clock seconds, so that stages
// under a second still show. Stops pair with starts last in, first out. Main thread only.
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
    // The same stopwatches with their steady-clock seconds.
    const std::vector<double>& finishedSteadySeconds() const { return steady_seconds_; }

    // For tests: stop the most recent stopwatch as if `now` were the current time.
    void stopAt(std::time_t now);
    void startAt(const std::string& name, std::time_t now);

private:
    struct Running {
        std::string name;
        std::time_t started;
        std::chrono::steady_clock::time_point steady_start;
    };
    std::vector<Running> running_;
    std::vector<std::pair<std::string, std::int64_t>> finished_;
    std::vector<double> steady_seconds_;
};

}  // namespace varnosk
