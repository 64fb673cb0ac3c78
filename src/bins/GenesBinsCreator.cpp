#include "bins/GenesBinsCreator.hpp"
