#pragma once

#include <ostream>
#include <string>

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

    StageTimer& timer() { return timer_; }
    std::ostream& out() { return out_; }

private:
    std::ostream& out_;
    ProgressLine progress_;
    StageTimer timer_;
};

}  // namespace varnosk
