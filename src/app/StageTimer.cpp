#include "app/StageTimer.hpp"

#include <stdexcept>

namespace varnosk {

void StageTimer::start(const std::string& name) { startAt(name, std::time(nullptr)); }

void StageTimer::startAt(const std::string& name, std::time_t now) { running_.emplace_back(name, now); }

void StageTimer::stop() { stopAt(std::time(nullptr)); }

void StageTimer::stopAt(std::time_t now) {
    if (running_.empty()) throw std::runtime_error("error: no timer running.");
    auto [name, started] = std::move(running_.back());
    running_.pop_back();
    finished_.emplace_back(std::move(name), static_cast<std::int64_t>(now - started));
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
