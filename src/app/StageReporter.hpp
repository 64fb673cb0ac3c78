#pragma once

#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/ProgressLine.hpp"
#include "app/StageTimer.hpp"

namespace varnosk {

// The console of a run: every stage is announced on a line of its own, timed, and closed with
// a text that ends its output block with a blank line. Stages that report progress get the
// console's progress line, opened here; a run-ending error while it is open starts on a line
// of its own. Main thread only.
class StageReporter {
public:
    explicit StageReporter(std::ostream& out) : out_(out), progress_(out) {}

    void open(const std::string& message, const std::string& stopwatch) {
        line(message);
        timer_.start(stopwatch);
    }

    // Opens the stage and its progress line, runs `stage(progress)` and returns its result.
    template <typename Stage>
    auto withProgress(const std::string& message, const std::string& stopwatch, Stage stage) {
        open(message, stopwatch);
        progress_.begin();
        try {
            return stage(progress_);
        } catch (...) {
            out_ << '\n' << std::flush;
            throw;
        }
    }

    void close(const std::string& text) {
        timer_.stop();
        progress_.close();
        out_ << text << '\n' << std::flush;
    }

    void line(const std::string& text) { out_ << text << '\n' << std::flush; }

    // The stages closed so far with their seconds, for the run report (which shows the stages
    // before it; its own time is in the console's time report only).
    std::vector<std::pair<std::string, double>> finishedSeconds() const {
        std::vector<std::pair<std::string, double>> seconds;
        for (std::size_t i = 0; i < timer_.finished().size(); ++i) {
            seconds.emplace_back(timer_.finished()[i].first, timer_.finishedSteadySeconds()[i]);
        }
        return seconds;
    }

    // Stops the total and prints every stage's time: the end of a run. Losing it is a failure,
    // as for any part of the result.
    void printTimeReport() {
        timer_.stop();
        timer_.report(out_) << '\n' << std::flush;
        if (!out_) throw std::runtime_error("error: standard output could not be written.");
    }

    StageTimer& timer() { return timer_; }
    std::ostream& out() { return out_; }

private:
    std::ostream& out_;
    ProgressLine progress_;
    StageTimer timer_;
};

}  // namespace varnosk
