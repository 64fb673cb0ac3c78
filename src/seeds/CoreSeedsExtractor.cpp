#include "seeds/CoreSeedsExtractor.hpp"
