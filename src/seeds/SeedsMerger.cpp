#include "seeds/SeedsMerger.hpp"
