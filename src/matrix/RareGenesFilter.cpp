#include "matrix/RareGenesFilter.hpp"
