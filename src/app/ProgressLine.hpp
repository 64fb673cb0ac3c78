#pragma once

#include <cstdint>
#include <ostream>

namespace varnosk {

// The carriage-return progress indicator. Callers in parallel loops must call update
// inside the process-wide unnamed critical section that also counts the finished work.
namespace progress {

// Writes "Progress: 0%" and flushes.
void begin(std::ostream& out);
// Writes "\rProgress: <floor(done * 100 / total)>%" and flushes.
void update(std::ostream& out, std::uint64_t done, std::uint64_t total);
// Truncated percentage, 0 to 100.
std::uint64_t percentage(std::uint64_t done, std::uint64_t total);

}  // namespace progress
}  // namespace varnosk
