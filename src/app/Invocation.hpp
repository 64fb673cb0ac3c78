#pragma once

#include <string>

namespace varnosk {

// What the command line asks for a run: `varnosk [-t N | --threads N] settings.ini`.
struct Invocation {
    int threads = 0;  // 0: OpenMP's default, which OMP_NUM_THREADS sets
    std::string settings_path;
};

inline constexpr int kMaxThreads = 4096;

// Options first, then the settings file. Throws std::runtime_error with the usage message
// for any other shape, and with its own message for a thread count that is not a whole
// number from 1 to kMaxThreads.
Invocation parseInvocation(int argc, const char* const argv[]);

}  // namespace varnosk
