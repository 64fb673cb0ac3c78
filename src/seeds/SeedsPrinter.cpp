#include "seeds/SeedsPrinter.hpp"
