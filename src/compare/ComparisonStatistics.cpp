#include "compare/ComparisonStatistics.hpp"
