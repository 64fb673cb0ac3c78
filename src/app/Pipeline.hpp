#pragma once

#include <ostream>

namespace varnosk {

// Runs the whole program for one command line: settings, run records and every stage in
// order, with their messages on `out`. Returns the exit status of a complete run (0).
// Run-ending errors propagate as exceptions whose what() is the full message.
int runPipeline(int argc, const char* const argv[], std::ostream& out);

}  // namespace varnosk
