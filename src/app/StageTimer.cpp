#include "app/StageTimer.hpp"

#include <stdexcept>

namespace varnosk {

void StageTimer::start(const std::string& name) { startAt(name, std::time(nullptr)); }

void StageTimer::startAt(const std::string& name, std::time_t now) {
    running_.push_back({name, now, std::chrono::steady_clock::now()});
}

void StageTimer::stop() { stopAt(std::time(nullptr)); }

void StageTimer::stopAt(std::time_t now) {
    if (running_.empty()) throw std::runtime_error("error: no timer running.");
    Running stage = std::move(running_.back());
    running_.pop_back();
    finished_.emplace_back(std::move(stage.name), static_cast<std::int64_t>(now - stage.started));
    steady_seconds_.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stage.steady_start).count());
}

std::ostream& StageTimer::report(std::ostream& out) const {
    out << "Time Statistics:\n";
    for (const auto& [name, elapsed] : finished_) {
        const std::int64_t minutes = elapsed / 60;
        out << name << ": " << minutes << " min " << elapsed - 60 * minutes << " sec\n";
    }
    return out;
}

}  // namespace varnosk
