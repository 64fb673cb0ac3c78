#pragma once

#include <string>

#include "config/SettingsTable.hpp"

namespace varnosk {

// What the command line asks for a run: `varnosk [-t N | --threads N] [profile] settings.ini`.
// Clustering is the default; a settings file called "profile" is given as ./profile.
struct Invocation {
    int threads = 0;  // 0: OpenMP's default, which OMP_NUM_THREADS sets
    unsigned command = kClusterCommand;
    std::string settings_path;
};

inline constexpr int kMaxThreads = 4096;

// Options first, then the command, then the settings file. Throws std::runtime_error with the usage message
// for any other shape, and with its own message for a thread count that is not a whole
// number from 1 to kMaxThreads.
Invocation parseInvocation(int argc, const char* const argv[]);

}  // namespace varnosk
