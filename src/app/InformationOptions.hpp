#pragma once

#include <ostream>

namespace varnosk {

// "varnosk --help" and "varnosk --version": writes the text on `out` and returns true. Any
// other command line returns false and is left to the settings loader.
bool printInformationOption(int argc, const char* const argv[], std::ostream& out);

}  // namespace varnosk
