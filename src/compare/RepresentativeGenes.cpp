#include "compare/RepresentativeGenes.hpp"
