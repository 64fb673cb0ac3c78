#include "compare/GenesComparator.hpp"
